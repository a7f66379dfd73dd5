#!/usr/bin/env bash
# The checker stages: the module runs inside the database server's process,
# so a crash, a leak, a race or a hang of ours is the server's.
#
#   scripts/checks.sh asan|tsan|valgrind|fuzz|all
#
# asan      AddressSanitizer + UndefinedBehaviorSanitizer over every unit test
#           (fake driver, fault tests, corpus replays): build-asan
# tsan      ThreadSanitizer over the tests that run calls on many threads
#           (and the scheduler of tolvane-exec over many databases):
#           build-tsan
# valgrind  memcheck over tolvane-exec on an embedded database, through the
#           real driver and the Firebird client: build-valgrind
# fuzz      every libFuzzer target for TOLVANE_FUZZ_SECONDS (default 15)
#           from its kept corpus, built with clang: build-fuzz
#
# Build folders sit beside the sources unless TOLVANE_CHECKS_DIR names
# another parent. Each stage builds only the targets it runs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

CHECKS_DIR="${TOLVANE_CHECKS_DIR:-$TOLVANE_ROOT}"
JOBS="${TOLVANE_JOBS:-2}"
FUZZ_SECONDS="${TOLVANE_FUZZ_SECONDS:-15}"
SUPPRESSIONS="$TOLVANE_ROOT/tests/faults/valgrind-firebird.supp"

# The unit-test programs and what they load; everything the "unit" label runs.
UNIT_TARGETS=(runtime_tests connection_tests script_runner_tests tools_tests fault_tests fakedrv fakedrv2
  fuzz_line_splitting_replay fuzz_integer_conversion_replay fuzz_parameter_list_replay
  fuzz_registry_file_replay fuzz_script_run_replay fuzz_isql_splitter_replay fuzz_module_config_replay)
FUZZ_TARGETS=(line_splitting integer_conversion parameter_list registry_file script_run isql_splitter module_config)

# Only the targets this checkout has: a folder without sources builds none.
existing_targets() {
  local build_dir="$1" target known
  shift
  known="$(cmake --build "$build_dir" --target help 2>/dev/null || true)"
  for target in "$@"; do
    if grep -qx "\.\.\. $target" <<<"$known"; then
      printf '%s\n' "$target"
    fi
  done
}

build_targets() {
  local build_dir="$1" targets
  shift
  mapfile -t targets < <(existing_targets "$build_dir" "$@")
  ((${#targets[@]})) || tolvane_die "none of the targets $* exists in $build_dir"
  cmake --build "$build_dir" -j"$JOBS" --target "${targets[@]}"
}

stage_asan() {
  local dir="$CHECKS_DIR/build-asan"
  tolvane_configure "$dir" -DTOLVANE_ASAN=ON -DTOLVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
  build_targets "$dir" "${UNIT_TARGETS[@]}"
  # A leak, a bad access or undefined behaviour fails the test it happens in.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$dir" -L unit --output-on-failure -j"$JOBS" --timeout 300
}

stage_tsan() {
  local dir="$CHECKS_DIR/build-tsan"
  tolvane_configure "$dir" -DTOLVANE_TSAN=ON -DTOLVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  build_targets "$dir" script_runner_tests fault_tests tools_tests fakedrv fakedrv2
  # Newer kernels randomise more address bits than this TSan can map.
  local run=()
  if [[ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 28)" -gt 28 ]] && command -v setarch >/dev/null; then
    run=(setarch "$(uname -m)" -R)
  fi
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  "${run[@]}" "$dir/bin/script_runner_tests" --gtest_filter='ConcurrencyTest.*'
  "${run[@]}" "$dir/bin/fault_tests" --gtest_filter='SharedFailureFileTest.*'
  "${run[@]}" "$dir/bin/tools_tests" --gtest_filter='FleetScheduler.*'
}

# tolvane-exec of build-valgrind under memcheck, its failure files in
# $work/failures: LOG OUTPUT ARGS...; it must end with 3 (lines failed).
memcheck_exec() {
  local log="$1" output="$2" status=0
  shift 2
  UDFTOLVANE_FAILURE_DIR="$work/failures" valgrind --tool=memcheck --error-exitcode=99 \
    --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite \
    --suppressions="$SUPPRESSIONS" --log-file="$log" \
    "$dir/bin/tolvane-exec" "$@" >"$output" 2>&1 || status=$?
  if ((status == 99)); then
    cat "$log" >&2
    tolvane_die "valgrind found memory errors or definite leaks (log: $log)"
  fi
  if ((status != 3)); then
    cat "$output" "$log" >&2
    tolvane_die "tolvane-exec $* under valgrind ended with $status"
  fi
}

stage_valgrind() {
  local dir="$CHECKS_DIR/build-valgrind"
  command -v valgrind >/dev/null || tolvane_die "valgrind is not installed"
  tolvane_configure "$dir" -DTOLVANE_BENCH=OFF -DTOLVANE_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  build_targets "$dir" tolvane-exec UDFTolvane fbdrv

  local work="$dir/valgrind-work"
  rm -rf "$work"
  mkdir -p "$work/failures"
  local db="$work/memcheck.fdb"
  isql-fb -q <<EOF
create database '$db' user 'SYSDBA';
create table t (id integer not null primary key, name varchar(20));
commit;
exit;
EOF
  # Lines that succeed, return rows, fail in the server and fail to parse:
  # every path of the statement loop, and failure files.
  printf '%s\r\n' \
    "insert into t values (1, 'one')" \
    "insert into t values (1, 'duplicate')" \
    "select id, name from t" \
    "" \
    "update t set name = 'uno' where id = 1" \
    "this is not sql" \
    "delete from t where id = 99" >"$work/script.sql"

  # tolvane-exec says 3 for a result of "ok" with failed lines: this script's.
  local log="$work/memcheck.log"
  memcheck_exec "$log" "$work/result.txt" --module "$dir/lib/UDFTolvane.so" --database "$db" "$work/script.sql"
  # The two bad lines (indices 1 and 5) leave their files; nothing else does.
  [[ -f "$work/failures/TESTE1.TXT" && -f "$work/failures/TESTE5.TXT" ]] ||
    tolvane_die "the failure files of lines 1 and 5 are missing"
  (($(find "$work/failures" -type f | wc -l) == 2)) || tolvane_die "unexpected failure files"
  grep -E 'ERROR SUMMARY|definitely lost' "$log" >&2 || true

  # The same script on two databases at once, with a journal: the threads,
  # each run's own failure folder, the journal's whole lines.
  local db2="$work/memcheck2.fdb" fleet_log="$work/memcheck-fleet.log"
  rm -rf "$work/failures"/*
  cp "$db" "$db2"
  memcheck_exec "$fleet_log" "$work/fleet.json" --database "$db" --database "$db2" --jobs 2 \
    --journal "$work/fleet.jsonl" --report json "$work/script.sql"
  [[ -f "$work/failures/1-memcheck.fdb/TESTE5.TXT" && -f "$work/failures/2-memcheck2.fdb/TESTE5.TXT" ]] ||
    tolvane_die "each database's failure files are not in a folder of its own"
  (($(wc -l <"$work/fleet.jsonl") == 2)) || tolvane_die "the journal does not hold a line per database"
  grep -E 'ERROR SUMMARY|definitely lost' "$fleet_log" >&2 || true
  rm -f "$db" "$db2"
}

stage_fuzz() {
  local dir="$CHECKS_DIR/build-fuzz"
  command -v clang++ >/dev/null || tolvane_die "clang is not installed"
  local runtime
  runtime="$(clang++ -print-file-name=libclang_rt.asan-x86_64.so)"
  [[ -f "$runtime" ]] || tolvane_die "libclang-rt-14-dev is not installed"
  # Libraries instrumented for coverage and checks; the shared sanitizer
  # runtime lets the fake driver library link with --no-undefined.
  local link="-shared-libsan -Wl,-rpath,$(dirname "$runtime")"
  CC=clang CXX=clang++ tolvane_configure "$dir" -DTOLVANE_FUZZ=ON -DTOLVANE_ASAN=ON \
    -DTOLVANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    "-DCMAKE_EXE_LINKER_FLAGS=$link" "-DCMAKE_SHARED_LINKER_FLAGS=$link" \
    "-DCMAKE_MODULE_LINKER_FLAGS=$link" >/dev/null
  build_targets "$dir" "${FUZZ_TARGETS[@]/#/fuzz_}"

  local target found=0
  mkdir -p "$dir/artifacts"
  for target in "${FUZZ_TARGETS[@]}"; do
    [[ -x "$dir/bin/fuzz_$target" ]] || continue
    # New inputs go to a scratch folder; the kept corpus is only read.
    local scratch="$dir/corpus-scratch/$target"
    mkdir -p "$scratch"
    tolvane_log "fuzz $target for ${FUZZ_SECONDS}s"
    if ! LD_PRELOAD="$runtime" ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      "$dir/bin/fuzz_$target" -max_total_time="$FUZZ_SECONDS" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target-" \
      "$scratch" "$TOLVANE_ROOT/tests/fuzz/corpus/$target" >"$dir/fuzz-$target.log" 2>&1; then
      tail -n 60 "$dir/fuzz-$target.log" >&2
      tolvane_log "fuzz $target failed; the input is in $dir/artifacts/"
      found=1
    else
      grep -E '^stat::number_of_executed_units' "$dir/fuzz-$target.log" >&2 || true
    fi
  done
  ((found == 0)) || tolvane_die "a fuzz target found a failing input"
}

main() {
  local what="${1:-}"
  case "$what" in
    asan) tolvane_stage asan stage_asan ;;
    tsan) tolvane_stage tsan stage_tsan ;;
    valgrind) tolvane_stage valgrind stage_valgrind ;;
    fuzz) tolvane_stage fuzz stage_fuzz ;;
    all)
      tolvane_stage asan stage_asan
      tolvane_stage tsan stage_tsan
      tolvane_stage valgrind stage_valgrind
      tolvane_stage fuzz stage_fuzz
      ;;
    *)
      echo "usage: $0 asan|tsan|valgrind|fuzz|all" >&2
      exit 2
      ;;
  esac
}

main "$@"
