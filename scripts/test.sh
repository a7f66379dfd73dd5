#!/usr/bin/env bash
# All set-up on a fresh Debian 12 machine (as root), then every test:
# packages, configure, build, sanitizer/memcheck/fuzz checks, the private
# Firebird 3, 4 and 5 servers, the bench's smoke run, the Windows builds
# under Wine, CTest.
# Safe to run again: each stage does only what is missing.
#
#   ./scripts/test.sh            (build folder: $TOLVANE_BUILD_DIR or ./build)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

BUILD_DIR="${TOLVANE_BUILD_DIR:-$TOLVANE_ROOT/build}"
FBSERVER="$TOLVANE_ROOT/scripts/fbserver.sh"
FBSERVER4="$TOLVANE_ROOT/scripts/fbserver4.sh"
FBSERVER5="$TOLVANE_ROOT/scripts/fbserver5.sh"

stage_packages() {
  tolvane_install_packages DEMO TESTS WINDOWS BENCH
}

# Warnings are errors here, as in CI; the tests and the bench are built even
# where the demo made the folder without them.
stage_configure() {
  tolvane_configure "$BUILD_DIR" -DTOLVANE_WERROR=ON -DTOLVANE_TESTS=ON -DTOLVANE_BENCH=ON
}

stage_build() {
  tolvane_build "$BUILD_DIR"
}

# A fresh server each run: a running one would keep an older module loaded.
# Its address reaches the tests through the exported TOLVANE_FB_* variables.
stage_server() {
  "$FBSERVER" stop --build "$BUILD_DIR"
  "$FBSERVER" start --build "$BUILD_DIR"
  set -a
  source "$BUILD_DIR/fbserver/server.env"
  set +a
}

# The Firebird 4 and 5 servers, from the tarballs beside the clone (or
# TOLVANE_FB4_TARBALL / TOLVANE_FB5_TARBALL); without one that version's
# e2e.fb4.* / e2e.fb5.* suites report themselves skipped, or fail under
# CI=true. The tests read each server's address from its own state file.
stage_server4() {
  "$FBSERVER4" stop --build "$BUILD_DIR"
  "$FBSERVER4" start --build "$BUILD_DIR"
}

stage_server5() {
  "$FBSERVER5" stop --build "$BUILD_DIR"
  "$FBSERVER5" start --build "$BUILD_DIR"
}

stop_server() {
  "$FBSERVER" stop --build "$BUILD_DIR" || true
  "$FBSERVER4" stop --build "$BUILD_DIR" || true
  "$FBSERVER5" stop --build "$BUILD_DIR" || true
}

# The Windows builds (MinGW-w64, tests under Wine): both architectures and
# the broken-call check; skipped where the toolchains are missing (a failure
# under CI=true).
stage_windows() {
  "$TOLVANE_ROOT/scripts/windows-test.sh"
}

# The tests CTest reports skipped are noted for the summary.
stage_ctest() {
  local status=0
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j"${TOLVANE_JOBS:-2}" |
    tee "$BUILD_DIR/ctest.out" || status=$?
  sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/CTest skipped \1/p' "$BUILD_DIR/ctest.out" >>"$TOLVANE_SKIP_LOG"
  return "$status"
}

# What did not run, last, so that a pass with parts left out cannot look
# like a full one.
summary() {
  if [[ -s "$TOLVANE_SKIP_LOG" ]]; then
    tolvane_log "NOT EVERYTHING RAN: $(wc -l <"$TOLVANE_SKIP_LOG") part(s) skipped:"
    sed 's/^/      /' "$TOLVANE_SKIP_LOG" >&2
  else
    tolvane_log "nothing skipped"
  fi
}

finish() {
  local status=$?
  stop_server
  summary
  exit "$status"
}

# Sanitizers, memcheck and bounded fuzzing, each in a build folder of its own.
stage_checks() {
  "$TOLVANE_ROOT/scripts/checks.sh" all
}

# Every bench path once on a small script, against the same server: a path
# that breaks fails the run. The full bench is bench/run.sh.
stage_bench_smoke() {
  "$TOLVANE_ROOT/bench/run.sh" --smoke --build "$BUILD_DIR"
}

main() {
  tolvane_run_from_trusted_tree "$BUILD_DIR" scripts/test.sh "$@"
  cd "$TOLVANE_ROOT"
  mkdir -p "$BUILD_DIR"
  export TOLVANE_SKIP_LOG="$BUILD_DIR/skipped.txt"
  : >"$TOLVANE_SKIP_LOG"
  trap finish EXIT
  tolvane_stage packages stage_packages
  tolvane_stage configure stage_configure
  tolvane_stage build stage_build
  tolvane_stage checks stage_checks
  tolvane_stage windows stage_windows
  tolvane_stage server stage_server
  tolvane_stage server4 stage_server4
  tolvane_stage server5 stage_server5
  tolvane_stage bench-smoke stage_bench_smoke
  # Last, so that CTest's summary closes the run.
  tolvane_stage ctest stage_ctest
}

main "$@"
