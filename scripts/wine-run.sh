#!/usr/bin/env bash
# Runs a Windows program under Wine in a prefix of its own, made on first
# use, with Wine's own chatter off. The Windows builds' tests run through it.
#
#   scripts/wine-run.sh --prefix DIR [--d-drive FOLDER | --no-d-drive] PROGRAM [ARGS...]
#
# --d-drive maps D: to FOLDER (a dosdevices link) for this run only;
# --no-d-drive makes sure there is no D:. Runs that touch D: should not
# overlap (CTest's RESOURCE_LOCK wine-d-drive).
set -euo pipefail

prefix=""
d_drive=""
no_d_drive=0
while (($#)); do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --d-drive) d_drive="$2"; shift 2 ;;
    --no-d-drive) no_d_drive=1; shift ;;
    *) break ;;
  esac
done
[[ -n "$prefix" && $# -ge 1 ]] || { echo "usage: $0 --prefix DIR [--d-drive FOLDER|--no-d-drive] PROGRAM [ARGS...]" >&2; exit 2; }

prefix="$(realpath -m "$prefix")"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=""

# The first run makes the prefix; runs started at the same time wait for it.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [[ ! -f "$prefix/system.reg" ]]; then
    wineboot --init >/dev/null 2>&1
    wineserver --wait
  fi
) 9>"$prefix.lock"

d_link="$prefix/dosdevices/d:"
if [[ -n "$d_drive" ]]; then
  mkdir -p "$d_drive"
  ln -sfn "$d_drive" "$d_link"
  trap 'rm -f "$d_link"' EXIT
elif ((no_d_drive)); then
  rm -f "$d_link" "$d_link:"
fi

status=0
wine "$@" || status=$?
exit "$status"
