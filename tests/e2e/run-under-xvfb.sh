#!/usr/bin/env bash
# Runs a command against a private Xvfb server (see display-server.sh):
#
#   run-under-xvfb.sh COMMAND [ARGUMENT]...
set -u
source "$(dirname "${BASH_SOURCE[0]}")/display-server.sh"
run_under xvfb "$@"
