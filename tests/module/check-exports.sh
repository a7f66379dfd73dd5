#!/usr/bin/env bash
# check-exports.sh LIBRARY SYMBOL...: the library's defined dynamic symbols
# are exactly the given ones. Version-node names (type A) are not code and
# are left out.
set -euo pipefail
library="$1"
shift
[[ -f "$library" ]] || { echo "no such library: $library" >&2; exit 1; }
actual="$(nm -D --defined-only "$library" | awk '$2 != "A" { print $NF }' | sed 's/@.*//' | sort -u)"
expected="$(printf '%s\n' "$@" | sort -u)"
if [[ "$actual" != "$expected" ]]; then
  echo "exports of $library differ" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "$library exports exactly: $*"
