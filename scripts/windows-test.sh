#!/usr/bin/env bash
# The Windows builds: cross-compiles the x86 and x64 presets with MinGW-w64,
# runs their tests under Wine (each build folder has its own Wine prefix),
# then shows that a broken Windows call fails the platform tests.
#
#   scripts/windows-test.sh              both architectures, then the broken-call check
#   scripts/windows-test.sh x64          one architecture (x86 or x64)
#   scripts/windows-test.sh --break CALL [x86|x64]
#                                        build with CALL failing on purpose
#                                        (CreateFileA, RegOpenKeyExA,
#                                        RegQueryValueExA, GetModuleFileNameA,
#                                        LoadLibraryA) and expect the platform
#                                        tests to fail; the build is restored after
#
# Exits 0 without doing anything when the toolchains or Wine are missing
# (scripts/test.sh installs them with the other packages).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

tolvane_windows_tools_present() {
  command -v x86_64-w64-mingw32-g++-posix >/dev/null &&
    command -v i686-w64-mingw32-g++-posix >/dev/null &&
    command -v wine >/dev/null
}

build_dir() { printf '%s/build-win-%s' "$TOLVANE_ROOT" "$1"; }

# Wine's server stays a few seconds after the last program; wait for it so
# that nothing of the stage is left running.
stop_wine() {
  local prefix
  prefix="$(build_dir "$1")/wineprefix"
  [[ -d "$prefix" ]] && WINEPREFIX="$prefix" wineserver --kill >/dev/null 2>&1 || true
}

configure() {
  local arch="$1" broken="${2:-}"
  cmake --preset "windows-$arch" -DTOLVANE_BROKEN_WINDOWS_CALL="$broken" >/dev/null
}

build_and_test() {
  local arch="$1"
  configure "$arch"
  cmake --build --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}"
  local status=0
  # Wine now and then hangs a program at its exit, after its tests have
  # passed; such a run is tried again rather than waited for.
  ctest --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}" --timeout 120 --repeat until-pass:3 ||
    status=$?
  stop_wine "$arch"
  return "$status"
}

# The platform tests must fail while call is broken. Only they are rebuilt,
# both ways: the switch is put back whatever happens, and the other programs
# relink at their next build.
check_broken_call() {
  local call="$1" arch="$2" status=0
  tolvane_log "windows-$arch with $call failing on purpose: the platform tests must fail"
  configure "$arch" "$call"
  cmake --build --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}" --target windows_platform_tests >/dev/null
  ctest --preset "windows-$arch" -R '^windows_platform_tests$' --output-on-failure \
    --timeout 120 >"$(build_dir "$arch")/broken-call.log" 2>&1 || status=$?
  grep -E '^\[  FAILED  \] [A-Za-z]+\.[A-Za-z]+$' "$(build_dir "$arch")/broken-call.log" >&2 || true
  configure "$arch"
  cmake --build --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}" --target windows_platform_tests >/dev/null
  stop_wine "$arch"
  if ((status == 0)); then
    tolvane_die "the platform tests passed with $call broken"
  fi
  tolvane_log "with $call broken the platform tests fail, as they must"
}

main() {
  cd "$TOLVANE_ROOT"
  if ! tolvane_windows_tools_present; then
    tolvane_log "no MinGW-w64 toolchains or Wine: Windows builds skipped"
    return 0
  fi
  if [[ "${1:-}" == "--break" ]]; then
    [[ $# -ge 2 ]] || tolvane_die "--break needs the name of a call"
    check_broken_call "$2" "${3:-x64}"
    return
  fi
  local arches=("$@")
  ((${#arches[@]})) || arches=(x86 x64)
  local arch
  for arch in "${arches[@]}"; do
    [[ "$arch" == x86 || "$arch" == x64 ]] || tolvane_die "unknown architecture: $arch"
    tolvane_log "windows-$arch"
    build_and_test "$arch"
  done
  if (($# == 0)); then
    check_broken_call CreateFileA x64
  fi
}

main "$@"
