#!/usr/bin/env bash
# planted-driver.sh TOOL MODULE DRIVER PLANTED: a libfbdrv.so planted in the
# current directory of a host is never loaded by the module, whether or not
# the real driver lies beside the module. The last row shows that the
# planted library does leave its mark when something does load it.
set -euo pipefail
tool="$1" module="$2" driver="$3" planted="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/cwd" "$work/alone" "$work/paired"
cp "$planted" "$work/cwd/libfbdrv.so"
cp "$module" "$work/alone/"
cp "$module" "$driver" "$work/paired/"
export TOLVANE_PLANTED_MARK="$work/mark"

failed=0
# row: module folder, extra environment, whether the mark must appear, what the call returns
row() {
  local folder="$1" environment="$2" want_mark="$3" want_result="$4" result
  rm -f "$TOLVANE_PLANTED_MARK"
  result="$(cd "$work/cwd" && env $environment "$tool" --module "$work/$folder/$(basename "$module")" \
              --database "$work/none.fdb" - <<<'select 1 from rdb$database' 2>&1 || true)"
  local marked=no
  [[ -e "$TOLVANE_PLANTED_MARK" ]] && marked=yes
  if [[ "$marked" != "$want_mark" || "$result" != *"$want_result"* ]]; then
    echo "FAIL $folder [$environment]: planted loaded: $marked (want $want_mark); result: $result" >&2
    failed=1
  else
    echo "ok   $folder [$environment]: planted loaded: $marked; result has \"$want_result\""
  fi
}

row alone  ""                              no  "Unable to Load libfbdrv.so"
row paired ""                              no  "/none.fdb"
row alone  "LD_LIBRARY_PATH=$work/cwd"     yes ""
exit "$failed"
