#!/usr/bin/env bash
# A private Firebird 4 server for the tests (see fbserver-tree.sh).
#   scripts/fbserver4.sh start|stop|status|env [--build DIR] [--state DIR]
exec "$(dirname "${BASH_SOURCE[0]}")/fbserver-tree.sh" 4 "$@"
