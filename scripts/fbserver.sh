#!/usr/bin/env bash
# A private Firebird 3 server for the tests and the demo: its own root folder,
# port, lock and temp folders and security database, allowed to load external
# functions from one build's lib folder only. It never touches the system's
# server or its configuration.
#
#   scripts/fbserver.sh start|stop|status|env [--build DIR] [--state DIR]
#
# --build DIR   build folder whose lib/ the server may load modules from
#               (default: $TOLVANE_BUILD_DIR or ./build)
# --state DIR   where the server keeps everything of its own
#               (default: DIR/fbserver of the build folder)
#
# Environment for the server process, all optional:
#   TOLVANE_FB_FAILURE_DIR   failure-file folder (default: STATE/failures)
#   TOLVANE_FB_RUN_LOG_DIR   run-log folder of executa_sql (default: none, no log)
#   TOLVANE_FB_LOCK_TIMEOUT  seconds a statement waits for a lock (default 3)
#   TOLVANE_FB_CONF          the module's configuration file, UDFTOLVANE_CONF
#                            (default: STATE/udftolvane.conf, which start
#                            does not create: tests write it when they need it)
#   TOLVANE_FB_UDF_DIR       the one folder legacy modules load from
#   TOLVANE_FB_UDR_DIR       the one folder UDR modules load from (both default
#                            to the build's lib folder; an installed package's
#                            folders are tested with these and a --state of
#                            their own)
#
# "start" leaves STATE/server.env, a file of NAME=value lines
# (TOLVANE_FB_PORT, TOLVANE_FB_ADDRESS, ...) for the tests to read.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

readonly FB_LIBDIR=/usr/lib/x86_64-linux-gnu/firebird/3.0
readonly FB_CONFDIR=/etc/firebird/3.0
readonly FB_SERVER=/usr/sbin/firebird
readonly SYSDBA_PASSWORD=ravenquil

# Sets command, build_dir and state_dir from the command line.
tolvane_server_arguments fbserver "$@"

root_dir="$state_dir/root"
security_db="$state_dir/security3.fdb"
failure_dir="${TOLVANE_FB_FAILURE_DIR:-$state_dir/failures}"
lock_timeout="${TOLVANE_FB_LOCK_TIMEOUT:-3}"
module_conf="${TOLVANE_FB_CONF:-$state_dir/udftolvane.conf}"
run_log_dir="${TOLVANE_FB_RUN_LOG_DIR:-}"
udf_dir="${TOLVANE_FB_UDF_DIR:-$build_dir/lib}"
udr_dir="${TOLVANE_FB_UDR_DIR:-$build_dir/lib}"

# The environment every Firebird process of this instance runs with, the
# embedded isql that makes the security database included.
server_env() {
  env FIREBIRD="$root_dir" FIREBIRD_LOCK="$state_dir/lock" FIREBIRD_TMP="$state_dir/tmp" "$@"
}

# The pid of our server when it runs; checks the process really is a Firebird
# server of this root, so a reused pid is never taken for ours.
running_pid() {
  local pid
  [[ -f "$state_dir/pid" ]] || return 1
  pid="$(<"$state_dir/pid")"
  [[ "$pid" =~ ^[0-9]+$ && -r /proc/$pid/environ ]] || return 1
  [[ "$(readlink "/proc/$pid/exe" 2>/dev/null)" == "$FB_SERVER" ]] || return 1
  tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "FIREBIRD=$root_dir" || return 1
  echo "$pid"
}

port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

make_root() {
  rm -rf "$root_dir"
  mkdir -p "$root_dir" "$state_dir/lock" "$state_dir/tmp" "$failure_dir" ${run_log_dir:+"$run_log_dir"}
  cp "$FB_CONFDIR"/*.conf "$root_dir/"
  # The system's module configuration, if any, is no part of this server.
  rm -f "$root_dir/udftolvane.conf"
  cp "$FB_LIBDIR/firebird.msg" "$root_dir/"
  # Without it every attachment logs "Can't load INTL module".
  ln -s "$FB_LIBDIR/intl" "$root_dir/intl"
}

# Our settings replace the copied ones: the copy's own lines for these names
# are turned into comments first, so no earlier value can win.
write_config() {
  local port="$1" name
  for name in RemoteServicePort RemoteBindAddress SecurityDatabase UdfAccess; do
    sed -i -E "s/^([[:space:]]*$name[[:space:]]*=)/#\1/" "$root_dir/firebird.conf"
  done
  cat >>"$root_dir/firebird.conf" <<EOF

# --- private test server ---
RemoteServicePort = $port
RemoteBindAddress = localhost
SecurityDatabase = $security_db
UdfAccess = Restrict $udf_dir
EOF
  # UDR modules, too, come from one folder only.
  sed -i -E "s|^([[:space:]]*path[[:space:]]*=[[:space:]]*).*/udr[[:space:]]*$|\\1$udr_dir|" \
    "$root_dir/plugins.conf"
}

make_security_db() {
  [[ -s "$security_db" ]] && return 0
  tolvane_log "creating security database $security_db"
  server_env isql-fb -q <<EOF
create database '$security_db' user SYSDBA;
create or alter user SYSDBA password '$SYSDBA_PASSWORD' using plugin Srp;
commit;
exit;
EOF
}

answers() {
  local port="$1"
  fbsvcmgr "localhost/$port:service_mgr" -user SYSDBA -password "$SYSDBA_PASSWORD" \
    -info_server_version >/dev/null 2>&1
}

# Starts the server on one port; returns non-zero when it does not answer
# there (the port was taken meanwhile, or the server died).
try_port() {
  local port="$1" pid i
  write_config "$port"
  # exec, so that $! is the server itself and no shell waits behind it.
  (exec env FIREBIRD="$root_dir" FIREBIRD_LOCK="$state_dir/lock" FIREBIRD_TMP="$state_dir/tmp" \
    UDFTOLVANE_FAILURE_DIR="$failure_dir" TOLVANE_LOCK_TIMEOUT="$lock_timeout" \
    UDFTOLVANE_CONF="$module_conf" ${run_log_dir:+UDFTOLVANE_RUN_LOG_DIR="$run_log_dir"} \
    "$FB_SERVER" >>"$state_dir/server.out" 2>&1 </dev/null) &
  pid=$!
  echo "$pid" >"$state_dir/pid"
  for ((i = 0; i < 100; i++)); do
    if ! kill -0 "$pid" 2>/dev/null; then
      return 1
    fi
    if answers "$port"; then
      return 0
    fi
    sleep 0.1
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
TOLVANE_FB_UDF_DIR=$udf_dir
TOLVANE_FB_UDR_DIR=$udr_dir
TOLVANE_FB_CONF=$module_conf
TOLVANE_FB_ROOT=$root_dir
EOF
}

start() {
  local pid port
  if pid="$(running_pid)"; then
    tolvane_log "server already running (pid $pid, port $(<"$state_dir/port"))"
    return 0
  fi
  command -v isql-fb >/dev/null && [[ -x "$FB_SERVER" ]] ||
    tolvane_die "Firebird 3 is not installed (firebird3.0-server, firebird3.0-utils)"
  make_root
  write_config 3050  # the security database takes its own path from here
  make_security_db
  : >"$state_dir/server.out"
  for port in $(seq 3051 3250); do
    port_in_use "$port" && continue
    make_root
    if try_port "$port"; then
      pid="$(<"$state_dir/pid")"
      write_state "$port" "$pid"
      tolvane_log "private Firebird server on port $port (pid $pid, state $state_dir)"
      return 0
    fi
  done
  cat "$state_dir/server.out" >&2
  tolvane_die "the private Firebird server did not start"
}

stop() {
  local pid i
  if ! pid="$(running_pid)"; then
    rm -f "$state_dir/pid" "$state_dir/server.env"
    return 0
  fi
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null || true
  rm -f "$state_dir/pid" "$state_dir/server.env"
  tolvane_log "private Firebird server stopped"
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
    running_pid >/dev/null || tolvane_die "no private server runs for $state_dir"
    cat "$state_dir/server.env"
    ;;
  *) echo "usage: $0 start|stop|status|env [--build DIR] [--state DIR]" >&2; exit 2 ;;
esac
