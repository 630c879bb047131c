#!/usr/bin/env bash
# Runs a command against a private virtual KWin that grants it fake input and the window list (see
# display-server.sh):
#
#   run-under-kwin.sh COMMAND [ARGUMENT]...
set -u
source "$(dirname "${BASH_SOURCE[0]}")/display-server.sh"
run_under kwin "$@"
