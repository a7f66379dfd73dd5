# Shell functions shared by test.sh, demo.sh and install-udf.sh. Source it;
# it defines functions and a few variables and runs nothing by itself.

TOLVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# What a fresh Debian 12 machine needs, one list per purpose; a script
# installs the lists it uses (tolvane_install_packages LIST...).
# The demo: build the module, the driver and the tool; an embedded database.
TOLVANE_PACKAGES_DEMO=(
  cmake g++ make
  firebird3.0-server firebird-dev firebird3.0-utils
  libboost-dev
)
# The tests: unit and end-to-end tests, sanitizers, memcheck, fuzzing, the
# planted-library check (python3, unshare), the Firebird 5 server's needs.
TOLVANE_PACKAGES_TESTS=(
  "${TOLVANE_PACKAGES_DEMO[@]}"
  python3 libgtest-dev libgmock-dev
  clang libclang-rt-14-dev valgrind util-linux
  lintian dpkg-dev man-db  # the Debian package: dpkg-shlibdeps for CPack, lintian, man for its page
  libicu72 zlib1g libtinfo6
)
# The Windows stage: MinGW-w64 for both architectures, Wine for both.
TOLVANE_PACKAGES_WINDOWS=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
)
# The bench: its library, its plots, its memory figures.
TOLVANE_PACKAGES_BENCH=(
  libbenchmark-dev gnuplot-nox time
)

tolvane_log() {
  printf '==> %s\n' "$*" >&2
}

tolvane_die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
}

# True on a CI run (CI=true, as CI services set it).
tolvane_in_ci() {
  [[ "${CI:-}" == true ]]
}

# A part of the tests that cannot run on this machine (WHAT says what is
# missing): under CI the run fails; elsewhere the part is skipped and the
# skip noted in $TOLVANE_SKIP_LOG, whose lines scripts/test.sh prints last.
tolvane_skip_or_fail() {
  local what="$1"
  tolvane_in_ci && tolvane_die "$what; CI=true runs every part of the tests, so this is a failure"
  tolvane_log "SKIPPED: $what"
  [[ -z "${TOLVANE_SKIP_LOG:-}" ]] || printf '%s\n' "$what" >>"$TOLVANE_SKIP_LOG"
}

# The tests of the last CTest run in BUILD that failed only by outlasting
# their time limit (SECONDS) after their program had reported every test
# passed: a program that hung at its exit. One name a line.
tolvane_ctest_exit_hangs() {
  local build="$1" limit="$2"
  awk -v limit="$limit" '
    / Testing: / { name = $0; sub(/^[0-9]+\/[0-9]+ Testing: /, "", name); passed = 0; failed = 0; time = 0 }
    /^\[  PASSED  \]/ { passed = 1 }
    /^\[  FAILED  \]/ { failed = 1 }
    /^Test time = / { time = $4 + 0 }
    /^Test Failed\.$/ { if (passed && !failed && time >= limit - 1) print name }
  ' "$build/Testing/Temporary/LastTest.log" 2>/dev/null
}

# Runs one named stage and reports how long it took, so a slow stage shows.
tolvane_stage() {
  local name="$1"
  shift
  local started=$SECONDS
  tolvane_log "stage $name"
  "$@"
  tolvane_log "stage $name done in $((SECONDS - started)) s"
}

# The tarball of Firebird MAJOR (4 or 5; a relocatable server tree built from
# the public source) the tests may run a private server from, and where it is
# unpacked in a build folder. TOLVANE_FB4_TARBALL / TOLVANE_FB5_TARBALL name
# another one.
tolvane_fb_tarball() {
  local major="$1" variable="TOLVANE_FB${1}_TARBALL" default
  case "$major" in
    4) default="firebird4/firebird-4.0.7-linux-x64.tar.xz" ;;
    5) default="firebird5/firebird-5.0.4-linux-x64.tar.xz" ;;
    *) tolvane_die "no Firebird $major tarball is known" ;;
  esac
  printf '%s\n' "${!variable:-$TOLVANE_ROOT/../shared/$default}"
}

tolvane_fb_tree() {
  printf '%s\n' "$1/firebird$2/tree"
}

# Unpacks the tarball once; again only when the tarball changed. A missing
# tarball leaves an already unpacked tree in use.
tolvane_fb_unpack() {
  local tarball="$1" tree="$2" stamp
  [[ -f "$tarball" ]] || return 0
  stamp="$(stat -c '%n %s %Y' "$(realpath "$tarball")")"
  [[ -f "$tree/.unpacked" && "$(<"$tree/.unpacked")" == "$stamp" ]] && return 0
  tolvane_log "unpacking $tarball"
  rm -rf "$tree" "$tree.new"
  mkdir -p "$tree.new"
  tar -C "$tree.new" --strip-components=1 -xJf "$tarball"
  printf '%s\n' "$stamp" >"$tree.new/.unpacked"
  mv "$tree.new" "$tree"
}

tolvane_port_in_use() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The pid in PID_FILE when that process runs EXE with FIREBIRD=ROOT, so a
# reused pid is never taken for our server. A zombie has no exe link.
tolvane_server_pid() {
  local pid_file="$1" exe="$2" root="$3" pid
  [[ -f "$pid_file" ]] || return 1
  pid="$(<"$pid_file")"
  [[ "$pid" =~ ^[0-9]+$ && -r /proc/$pid/environ ]] || return 1
  [[ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" == "$(readlink -f "$exe")" ]] || return 1
  tr '\0' '\n' <"/proc/$pid/environ" | grep -qx "FIREBIRD=$root" || return 1
  echo "$pid"
}

# SIGTERM, up to ten seconds for a clean shutdown, then SIGKILL.
tolvane_stop_pid() {
  local pid="$1" i
  kill -TERM "$pid" 2>/dev/null || return 0
  for ((i = 0; i < 100; i++)); do
    [[ -n "$(readlink "/proc/$pid/exe" 2>/dev/null)" ]] || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# The packages of the lists named (DEMO, TESTS, WINDOWS, BENCH) that are
# not installed.
tolvane_missing_packages() {
  local list pkg
  for list in "$@"; do
    local -n packages="TOLVANE_PACKAGES_$list"
    for pkg in "${packages[@]}"; do
      # A library installed for more than one architecture has a line for each.
      dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -qx 'install ok installed' ||
        printf '%s\n' "$pkg"
    done
    unset -n packages
  done | awk '!seen[$0]++'
}

# Installs whatever the lists named lack; touches apt only when something is.
tolvane_install_packages() {
  local missing
  mapfile -t missing < <(tolvane_missing_packages "$@")
  if ((${#missing[@]} == 0)); then
    tolvane_log "all packages present ($*)"
    return 0
  fi
  if [[ $(id -u) -ne 0 ]]; then
    tolvane_die "missing packages (${missing[*]}); run as root or install them first"
  fi
  tolvane_log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # wine32 runs the 32-bit Windows tests and comes from the i386 architecture.
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  # The server package's postinst cannot start the service where there is no
  # init system; that is harmless here, the scripts start their own server.
  apt-get install -y -q --no-install-recommends "${missing[@]}"
}

tolvane_configure() {
  local build_dir="$1"
  shift
  cmake -S "$TOLVANE_ROOT" -B "$build_dir" "$@"
}

# Builds the targets named, or everything.
tolvane_build() {
  local build_dir="$1"
  shift
  local jobs="${TOLVANE_JOBS:-2}" targets=()
  (($# == 0)) || targets=(--target "$@")
  cmake --build "$build_dir" -j"$jobs" "${targets[@]}"
}

# The command line every private-server script takes:
#   SCRIPT start|stop|status|env [--build DIR] [--state DIR]
# Sets command, build_dir (absolute, made) and state_dir (absolute, made;
# default DIR/FOLDER of the build folder). Usage: tolvane_server_arguments FOLDER "$@".
tolvane_server_arguments() {
  local folder="$1"
  shift
  local usage="usage: $0 start|stop|status|env [--build DIR] [--state DIR]"
  command="${1:-}"
  [[ -n "$command" ]] || { echo "$usage" >&2; exit 2; }
  shift
  build_dir="${TOLVANE_BUILD_DIR:-$TOLVANE_ROOT/build}"
  state_dir=""
  while (($#)); do
    case "$1" in
      --build) build_dir="${2:?}"; shift 2 ;;
      --state) state_dir="${2:?}"; shift 2 ;;
      *) echo "$usage" >&2; exit 2 ;;
    esac
  done
  build_dir="$(mkdir -p "$build_dir" && cd "$build_dir" && pwd)"
  state_dir="${state_dir:-$build_dir/$folder}"
  mkdir -p "$state_dir"
  state_dir="$(cd "$state_dir" && pwd)"
}

# Whether PATH (as written and as its links resolve) and every folder above it
# belong to root or to this user and no group or other user can write them.
# The module reads configuration and password files only below such folders
# (a sticky bit excuses nothing), so the tests' files must lie there too.
tolvane_trusted_path() {
  local path uid mode me
  me="$(id -u)"
  for path in "$1" "$(realpath -m "$1")"; do
    while [[ ! -e "$path" ]]; do path="$(dirname "$path")"; done
    while :; do
      read -r uid mode < <(stat -c '%u %a' "$path")
      [[ "$uid" == 0 || "$uid" == "$me" ]] || return 1
      (((8#$mode & 8#022) == 0)) || return 1
      [[ "$path" == / ]] && break
      path="$(dirname "$path")"
    done
  done
}

# Runs SCRIPT (a path below the tree) again from a copy of the tree below a
# folder only root or this user can write, when BUILD_DIR lies below one that
# others can write (a clone in /tmp): there the module would refuse the
# configuration files the tests write. The copy keeps its build folders from
# one run to the next; "shared" beside the tree is linked beside the copy.
tolvane_run_from_trusted_tree() {
  local build_dir="$1" script="$2" base dest
  shift 2
  tolvane_trusted_path "$build_dir" && return 0
  if [[ "$(id -u)" -eq 0 ]]; then
    base=/var/lib/tolvane-tests
  else
    base="${XDG_CACHE_HOME:-$HOME/.cache}/tolvane-tests"
  fi
  dest="$base/$(printf '%s' "$TOLVANE_ROOT" | sha256sum | cut -c1-12)"
  mkdir -p "$dest/main"
  chmod 0755 "$base" "$dest" "$dest/main"
  tolvane_trusted_path "$dest/main" ||
    tolvane_die "$build_dir lies below a folder others can write, and so does $dest; set TOLVANE_BUILD_DIR to a folder only you can write"
  ln -sfn "$(realpath -m "$TOLVANE_ROOT/../shared")" "$dest/shared"
  find "$dest/main" -mindepth 1 -maxdepth 1 ! -name 'build*' -exec rm -rf {} +
  tar -C "$TOLVANE_ROOT" --exclude='./build*' -cf - . | tar -C "$dest/main" -xf -
  tolvane_log "$build_dir lies below a folder others can write, where the module refuses configuration files: running from $dest/main"
  unset TOLVANE_BUILD_DIR
  exec "$dest/main/$script" "$@"
}
