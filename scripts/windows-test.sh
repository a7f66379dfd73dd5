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
# Without the toolchains or Wine it says which are missing and exits 0
# (skipped), or fails under CI=true (scripts/test.sh installs them with the
# other packages).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The tools the stage needs that are not installed.
missing_windows_tools() {
  local tool
  for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix wine; do
    command -v "$tool" >/dev/null || printf '%s\n' "$tool"
  done
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

readonly TEST_TIME_LIMIT=120

# A regular expression matching exactly the names given.
names_pattern() {
  local name pattern=""
  for name in "$@"; do
    pattern+="${pattern:+|}$(printf '%s' "$name" | sed 's/[][\\.*^$+?(){}|/]/\\&/g')"
  done
  printf '^(%s)$' "$pattern"
}

# Wine now and then hangs a program at its exit, after its tests have
# passed. Such a run, and only such a run, is tried again (twice at most);
# any other failure fails the stage at once. The retries are counted.
build_and_test() {
  local arch="$1" build retries=0 round status=0 hung failed
  build="$(build_dir "$arch")"
  configure "$arch"
  cmake --build --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}"
  local selection=()
  for round in 1 2 3; do
    status=0
    ctest --preset "windows-$arch" -j"${TOLVANE_JOBS:-2}" --timeout "$TEST_TIME_LIMIT" "${selection[@]}" ||
      status=$?
    ((status != 0 && round < 3)) || break
    mapfile -t hung < <(tolvane_ctest_exit_hangs "$build" "$TEST_TIME_LIMIT")
    mapfile -t failed < <(cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log" 2>/dev/null)
    # A failure that is not a hang at the exit is not tried again.
    ((${#hung[@]} > 0 && ${#hung[@]} == ${#failed[@]})) || break
    retries=$((retries + ${#hung[@]}))
    tolvane_log "windows-$arch: hung at their exit after passing, tried again: ${hung[*]}"
    selection=(-R "$(names_pattern "${hung[@]}")")
  done
  stop_wine "$arch"
  tolvane_log "windows-$arch: $retries run(s) tried again after hanging at their exit"
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
  local missing
  missing="$(missing_windows_tools | paste -sd' ' -)"
  if [[ -n "$missing" ]]; then
    tolvane_skip_or_fail "no Windows builds: missing $missing (MinGW-w64 toolchains, Wine)"
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
