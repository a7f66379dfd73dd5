#!/usr/bin/env bash
# check-exports.sh OBJDUMP DLL SYMBOL [DLL SYMBOL ...]: each DLL's export
# table (objdump -p) names exactly its one symbol, undecorated, under the
# DLL's own file name, and the DLL imports no compiler runtime DLL.
set -euo pipefail
objdump="$1"
shift
status=0
while (($# >= 2)); do
  dll="$1" symbol="$2"
  shift 2
  dump="$("$objdump" -p "$dll")"
  exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed 1d | awk 'NF { print $NF }')"
  name="$(awk '/^Name / { print $NF; exit }' <<<"$dump")"
  runtime="$(grep -Eio 'DLL Name: *(libstdc\+\+|libgcc|libwinpthread)[^ ]*' <<<"$dump" || true)"
  if [[ "$exports" != "$symbol" || "$name" != "$(basename "$dll")" || -n "$runtime" ]]; then
    echo "$dll: exports [$exports] as [$name], runtime imports [$runtime]; expected [$symbol]" >&2
    status=1
  else
    echo "$dll exports exactly $symbol, imports no compiler runtime"
  fi
done
exit "$status"
