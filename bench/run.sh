#!/usr/bin/env bash
# Builds the module, the driver, tolvane-exec and the bench's anchors, then
# times them all in one run (bench/bench.py says what and how).
#
#   bench/run.sh [--smoke] [--build DIR] [other bench.py options]
#
# --smoke      every path once on a small script (a few tens of seconds);
#              exits non-zero when any path breaks. Writes no results.
# --build DIR  build folder (default: $TOLVANE_BENCH_BUILD_DIR or ./build-bench)
# Without --smoke the table, the JSON and the plot go to bench/results/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TOLVANE_BENCH_BUILD_DIR:-$root/build-bench}"
args=()
while (($#)); do
  case "$1" in
    --build) build="${2:?}"; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

command -v gnuplot >/dev/null || echo "==> gnuplot missing (apt-get install gnuplot-nox): no plot" >&2
cmake -S "$root" -B "$build" >/dev/null
targets=(tolvane-bench-client-loop tolvane-bench-load-script TolvaneBenchUdf tolvane-bench-isql-split
  tolvane-bench-config-cost)
known="$(cmake --build "$build" --target help)"
for target in UDFTolvane fbdrv tolvane-exec; do
  if grep -qx "\.\.\. $target" <<<"$known"; then
    targets+=("$target")
  fi
done
cmake --build "$build" -j"${TOLVANE_JOBS:-2}" --target "${targets[@]}" >/dev/null
exec python3 "$root/bench/bench.py" --build "$build" "${args[@]}"
