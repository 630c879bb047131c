#!/usr/bin/env bash
# Runs a command against a private headless sway (see display-server.sh):
#
#   run-under-sway.sh COMMAND [ARGUMENT]...
set -u
source "$(dirname "${BASH_SOURCE[0]}")/display-server.sh"
run_under sway "$@"
