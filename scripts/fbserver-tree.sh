#!/usr/bin/env bash
# A private Firebird 4 or 5 server for the tests, from a relocatable tarball
# built from Firebird's public source: unpacked once under the build folder,
# run with a root folder, port, lock and temp folders and security database
# of its own, allowed to load external functions and UDR modules from one
# build's lib folder only. scripts/fbserver4.sh and scripts/fbserver5.sh call
# it with their version.
#
#   scripts/fbserver-tree.sh 4|5 start|stop|status|env [--build DIR] [--state DIR]
#
# --build DIR   build folder whose lib/ the server may load modules from
#               (default: $TOLVANE_BUILD_DIR or ./build)
# --state DIR   where the server keeps everything of its own
#               (default: DIR/fbserver4 or DIR/fbserver5 of the build folder)
#
# Environment, all optional (N is the version):
#   TOLVANE_FBN_TARBALL      the tarball (default: the firebirdN folder of
#                            "shared" beside the clone)
#   TOLVANE_FBN_FAILURE_DIR  failure-file folder (default: STATE/failures)
#   TOLVANE_FBN_LOCK_TIMEOUT seconds a statement waits for a lock (default 3)
#   TOLVANE_FBN_CONF         the module's configuration file (not created)
#
# Without the tarball "start" says so and succeeds: that version's tests then
# report themselves skipped (under CI=true "start" fails instead). "start"
# leaves STATE/server.env, NAME=value lines
# (TOLVANE_FB_PORT, TOLVANE_FB_ROOT, TOLVANE_FB_TREE, ...) for the tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

major="${1:-}"
[[ "$major" == 4 || "$major" == 5 ]] || tolvane_die "usage: $0 4|5 start|stop|status|env [--build DIR] [--state DIR]"
shift
readonly SYSDBA_PASSWORD=ravenquil
# Each version its own range, so that both run beside the Firebird 3 server.
readonly FIRST_PORT=$((3251 + (5 - major) * 200)) LAST_PORT=$((3450 + (5 - major) * 200))
readonly SECURITY_DB="security$major.fdb"

# Sets command, build_dir and state_dir from the command line.
tolvane_server_arguments "fbserver$major" "$@"

tarball="$(tolvane_fb_tarball "$major")"
tree="$(tolvane_fb_tree "$build_dir" "$major")"
root_dir="$state_dir/root"
# Its own variables: test.sh exports the Firebird 3 server's TOLVANE_FB_*,
# and the servers' suites run side by side, each with its own folder.
own() {
  local variable="TOLVANE_FB${major}_$1"
  printf '%s\n' "${!variable:-$2}"
}
failure_dir="$(own FAILURE_DIR "$state_dir/failures")"
lock_timeout="$(own LOCK_TIMEOUT 3)"
# The module's configuration file (UDFTOLVANE_CONF of the server); not created.
module_conf="$(own CONF "$state_dir/udftolvane.conf")"

# Every process of this instance, the embedded isql that makes the security
# database included. No LD_LIBRARY_PATH: the tree's programs find their own
# libraries, and the module must find the server's client library without it.
server_env() {
  env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$root_dir" FIREBIRD_LOCK="$state_dir/lock" \
    FIREBIRD_TMP="$state_dir/tmp" "$@"
}

running_pid() {
  tolvane_server_pid "$state_dir/pid" "$tree/bin/firebird" "$root_dir"
}

# The instance's root: the tree's folders linked, its configuration copied,
# and our settings replacing the copy's lines of the same names.
make_root() {
  local port="$1" name
  mkdir -p "$root_dir" "$state_dir/lock" "$state_dir/tmp" "$failure_dir"
  for name in bin lib tzdata include firebird.msg; do
    ln -sfn "$tree/$name" "$root_dir/$name"
  done
  # Firebird 4 refuses a plugin or character-set module whose path goes
  # through a symbolic link: these two are hard-linked copies (plain copies
  # where links cannot be made), rebuilt on every start.
  for name in plugins intl; do
    rm -rf "$root_dir/$name"
    cp -al "$tree/$name" "$root_dir/$name" 2>/dev/null || cp -a "$tree/$name" "$root_dir/$name"
  done
  for name in databases.conf fbtrace.conf replication.conf; do
    cp "$tree/$name" "$root_dir/$name"
  done
  cp "$tree/firebird.conf" "$root_dir/firebird.conf"
  for name in RemoteServicePort RemoteBindAddress ServerMode UdfAccess; do
    sed -i -E "s/^([[:space:]]*${name}[[:space:]]*=)/#\1/" "$root_dir/firebird.conf"
  done
  cat >>"$root_dir/firebird.conf" <<EOF

# --- private test server ---
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
ServerMode = Super
UdfAccess = Restrict $build_dir/lib
EOF
  # UDR modules, too, come from the build's lib folder only.
  sed -E "s|^([[:space:]]*path[[:space:]]*=[[:space:]]*).*/udr[[:space:]]*$|\\1$build_dir/lib|" \
    "$tree/plugins.conf" >"$root_dir/plugins.conf"
}

# The tarball's security database has no Srp user: SYSDBA is made once,
# embedded, on the file under the name the configuration gives it.
make_security_db() {
  [[ -s "$root_dir/$SECURITY_DB" && ! -e "$root_dir/$SECURITY_DB.incomplete" ]] && return 0
  tolvane_log "creating security database $root_dir/$SECURITY_DB"
  touch "$root_dir/$SECURITY_DB.incomplete"
  cp "$tree/$SECURITY_DB" "$root_dir/$SECURITY_DB"
  chmod 0600 "$root_dir/$SECURITY_DB"
  server_env "$tree/bin/isql" -q -bail -user SYSDBA "$root_dir/$SECURITY_DB" <<EOF
create user SYSDBA password '$SYSDBA_PASSWORD' using plugin Srp;
commit;
EOF
  rm -f "$root_dir/$SECURITY_DB.incomplete"
}

answers() {
  server_env "$tree/bin/fbsvcmgr" "localhost/$1:service_mgr" -user SYSDBA \
    -password "$SYSDBA_PASSWORD" -info_server_version >/dev/null 2>&1
}

server_version() {
  server_env "$tree/bin/fbsvcmgr" "localhost/$1:service_mgr" -user SYSDBA -password "$SYSDBA_PASSWORD" \
    -info_server_version 2>/dev/null | sed -n 's/^Server version: *//p'
}

try_port() {
  local port="$1" pid i
  make_root "$port"
  (exec env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$root_dir" FIREBIRD_LOCK="$state_dir/lock" \
    FIREBIRD_TMP="$state_dir/tmp" UDFTOLVANE_FAILURE_DIR="$failure_dir" \
    TOLVANE_LOCK_TIMEOUT="$lock_timeout" UDFTOLVANE_CONF="$module_conf" \
    "$tree/bin/firebird" >>"$state_dir/server.out" 2>&1 </dev/null) &
  pid=$!
  echo "$pid" >"$state_dir/pid"
  for ((i = 0; i < 150; i++)); do
    [[ -n "$(readlink "/proc/$pid/exe" 2>/dev/null)" ]] || return 1
    answers "$port" && return 0
    sleep 0.2
  done
  kill -TERM "$pid" 2>/dev/null || true
  return 1
}

write_state() {
  local port="$1" pid="$2"
  echo "$port" >"$state_dir/port"
  cat >"$state_dir/server.env" <<EOF
TOLVANE_FB_PORT=$port
TOLVANE_FB_ADDRESS=localhost/$port
TOLVANE_FB_PID=$pid
TOLVANE_FB_STATE=$state_dir
TOLVANE_FB_FAILURE_DIR=$failure_dir
TOLVANE_FB_LOCK_TIMEOUT=$lock_timeout
TOLVANE_FB_LIB_DIR=$build_dir/lib
TOLVANE_FB_ROOT=$root_dir
TOLVANE_FB_TREE=$tree
TOLVANE_FB_LOCK_DIR=$state_dir/lock
TOLVANE_FB_TMP_DIR=$state_dir/tmp
TOLVANE_FB_CONF=$module_conf
EOF
}

start() {
  local pid port
  if pid="$(running_pid)"; then
    tolvane_log "Firebird $major server already running (pid $pid, port $(<"$state_dir/port"))"
    return 0
  fi
  rm -f "$state_dir/server.env"
  if [[ ! -f "$tarball" && ! -x "$tree/bin/firebird" ]]; then
    tolvane_skip_or_fail "no Firebird $major tree: no tarball at $tarball (TOLVANE_FB${major}_TARBALL) and none unpacked in $tree"
    return 0
  fi
  tolvane_fb_unpack "$tarball" "$tree"
  make_root "$FIRST_PORT"
  make_security_db
  : >"$state_dir/server.out"
  for ((port = FIRST_PORT; port <= LAST_PORT; port++)); do
    tolvane_port_in_use "$port" && continue
    if try_port "$port"; then
      pid="$(<"$state_dir/pid")"
      write_state "$port" "$pid"
      tolvane_log "private Firebird $major server $(server_version "$port") on port $port (pid $pid, state $state_dir)"
      return 0
    fi
  done
  cat "$state_dir/server.out" >&2
  tolvane_die "the private Firebird $major server did not start (see $root_dir/firebird.log)"
}

stop() {
  local pid
  if pid="$(running_pid)"; then
    tolvane_stop_pid "$pid"
    tolvane_log "private Firebird $major server stopped"
  fi
  rm -f "$state_dir/pid" "$state_dir/server.env"
}

status() {
  local pid
  if pid="$(running_pid)"; then
    echo "running: pid $pid, port $(<"$state_dir/port"), state $state_dir"
    return 0
  fi
  echo "stopped"
  return 3
}

case "$command" in
  start) start ;;
  stop) stop ;;
  status) status ;;
  env)
    running_pid >/dev/null || tolvane_die "no private Firebird $major server runs for $state_dir"
    cat "$state_dir/server.env"
    ;;
  *) echo "usage: $0 start|stop|status|env [--build DIR] [--state DIR]" >&2; exit 2 ;;
esac
