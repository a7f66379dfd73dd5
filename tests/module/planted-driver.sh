#!/usr/bin/env bash
# planted-driver.sh TOOL MODULE DRIVER PLANTED: the module loads libfbdrv.so
# from its own folder and nowhere else. A libfbdrv.so planted in the host's
# current directory, in a folder of LD_LIBRARY_PATH or in a system library
# folder (the loader's cache) is never loaded, whether or not the real driver
# lies beside the module. The control rows show that each planted library
# does leave its mark when a plain dlopen by name finds it, so a row cannot
# pass because the plant went unseen.
set -euo pipefail
tool="$1" module="$2" driver="$3" planted="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/cwd" "$work/system" "$work/alone" "$work/paired"
cp "$planted" "$work/cwd/libfbdrv.so"
cp "$planted" "$work/system/libfbdrv.so"
cp "$module" "$work/alone/"
cp "$module" "$driver" "$work/paired/"
export TOLVANE_PLANTED_MARK="$work/mark"

# A loader cache that holds the system's libraries and the planted one, put
# in place of /etc/ld.so.cache for one command in a mount namespace of its
# own: what a library installed in a system folder looks like to the loader.
echo "$work/system" >"$work/ld.so.conf"
ldconfig -X -C "$work/ld.so.cache" -f "$work/ld.so.conf"
unshare_flags=-rm
[[ "$(id -u)" == 0 ]] && unshare_flags=-m
in_system() {
  [[ -f /etc/ld.so.cache ]] || { echo "no /etc/ld.so.cache to stand in for" >&2; return 1; }
  unshare "$unshare_flags" sh -c 'mount --bind "$0" /etc/ld.so.cache && exec "$@"' "$work/ld.so.cache" "$@"
}
in_library_path() { LD_LIBRARY_PATH="$work/cwd" "$@"; }
as_is() { "$@"; }
through_module() {
  local folder="$1"
  shift
  "$@" "$tool" --module "$work/$folder/$(basename "$module")" --database "$work/none.fdb" - \
    <<<'select 1 from rdb$database'
}
by_name() { "$@" python3 -c 'import ctypes; ctypes.CDLL("libfbdrv.so")'; }

failed=0
# row: where the plant lies (how), whose load (what), whether the mark must
# appear, what the output must hold
row() {
  local how="$1" what="$2" want_mark="$3" want_result="$4" result
  rm -f "$TOLVANE_PLANTED_MARK"
  # shellcheck disable=SC2086
  result="$(cd "$work/cwd" && $what $how 2>&1 || true)"
  local marked=no
  [[ -e "$TOLVANE_PLANTED_MARK" ]] && marked=yes
  if [[ "$marked" != "$want_mark" || "$result" != *"$want_result"* ]]; then
    echo "FAIL $what [$how]: planted loaded: $marked (want $want_mark); output: $result" >&2
    failed=1
  else
    echo "ok   $what [$how]: planted loaded: $marked; output has \"$want_result\""
  fi
}

row as_is           "through_module alone"  no  "Unable to Load libfbdrv.so"
row as_is           "through_module paired" no  "/none.fdb"
row in_library_path "through_module alone"  no  "Unable to Load libfbdrv.so"
row in_library_path "through_module paired" no  "/none.fdb"
row in_system       "through_module alone"  no  "Unable to Load libfbdrv.so"
row in_system       "through_module paired" no  "/none.fdb"
row in_library_path by_name                 yes ""
row in_system       by_name                 yes ""
exit "$failed"
