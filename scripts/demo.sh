#!/usr/bin/env bash
# The module's main job, shown on an embedded database: its own set-up (the
# demo's packages; the module, the driver and the tool, nothing else), then a
# script with DDL, inserts and one line that fails, run through executa_sql
# by tolvane-exec. Shows the result text, the failure file and the table's
# rows. scripts/test.sh is the one that installs and builds everything.
#
#   ./scripts/demo.sh     (build folder: $TOLVANE_BUILD_DIR or ./build;
#                          demo files: $TOLVANE_DEMO_DIR or BUILD/demo)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

BUILD_DIR="${TOLVANE_BUILD_DIR:-$TOLVANE_ROOT/build}"
DEMO_DIR="${TOLVANE_DEMO_DIR:-$BUILD_DIR/demo}"

section() {
  printf '\n--- %s ---\n' "$*"
}

# What the demo runs: the tool, the module it loads and the driver beside it.
readonly DEMO_TARGETS=(tolvane-exec UDFTolvane fbdrv)

stage_packages() {
  tolvane_install_packages DEMO
}

# A new build folder leaves the tests and the bench out; one that exists
# keeps its own settings (scripts/test.sh may have made it).
stage_configure() {
  local options=()
  [[ -f "$BUILD_DIR/CMakeCache.txt" ]] || options=(-DTOLVANE_TESTS=OFF -DTOLVANE_BENCH=OFF)
  tolvane_configure "$BUILD_DIR" "${options[@]}" >/dev/null
}

stage_build() {
  tolvane_build "$BUILD_DIR" "${DEMO_TARGETS[@]}" >/dev/null
  local piece
  for piece in bin/tolvane-exec lib/UDFTolvane.so lib/libfbdrv.so; do
    [[ -e "$BUILD_DIR/$piece" ]] || tolvane_die "the build has no $piece yet; the demo needs it"
  done
}

stage_database() {
  rm -rf "$DEMO_DIR"
  mkdir -p "$DEMO_DIR/failures"
  # Embedded: a plain path, no server; the engine needs no password here.
  isql-fb -q -bail <<SQL
CREATE DATABASE '$DEMO_DIR/demo.fdb' USER 'SYSDBA';
SQL
  cat >"$DEMO_DIR/demo-script.sql" <<'SQL'
CREATE TABLE CUSTOMERS (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(40))
INSERT INTO CUSTOMERS VALUES (1, 'Ana Lima', 'Recife')
INSERT INTO CUSTOMERS VALUES (2, 'Bruno Costa', 'Natal')
INSERT INTO CUSTOMERS VALUES (2, 'Carla Dias', 'Belem')

UPDATE CUSTOMERS SET CITY = 'Olinda' WHERE ID = 1
SQL
}

stage_run() {
  section "the script: one statement per line; line 4 (index 3) repeats key 2 and fails"
  cat -n "$DEMO_DIR/demo-script.sql"

  section "tolvane-exec --database $DEMO_DIR/demo.fdb demo-script.sql"
  local status=0
  UDFTOLVANE_FAILURE_DIR="$DEMO_DIR/failures" \
    "$BUILD_DIR/bin/tolvane-exec" --database "$DEMO_DIR/demo.fdb" "$DEMO_DIR/demo-script.sql" || status=$?
  echo "(exit status $status: 3 means the result text was \"ok\" and a statement failed, as planned;"
  echo " the line above the summary says why it failed)"

  section "failure files in $DEMO_DIR/failures: TESTE<index>.TXT, ending in CR LF (^M$)"
  local file found=false
  for file in "$DEMO_DIR"/failures/TESTE*.TXT; do
    [[ -e "$file" ]] || continue
    found=true
    printf '%s:\n  ' "$(basename "$file")"
    cat -A "$file"
  done
  $found || echo "(none)"

  section "the table, read by another attachment"
  isql-fb -q -bail <<SQL
CONNECT '$DEMO_DIR/demo.fdb' USER 'SYSDBA';
SELECT ID, NAME, CITY FROM CUSTOMERS ORDER BY ID;
SQL
  # The failing line is the point of the demo: 3 is its expected status.
  ((status == 3)) && status=0
  return "$status"
}

main() {
  tolvane_stage packages stage_packages
  tolvane_stage configure stage_configure
  tolvane_stage build stage_build
  tolvane_stage database stage_database
  stage_run
}

main "$@"
