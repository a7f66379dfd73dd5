# Shell functions shared by test.sh, demo.sh and install-udf.sh. Source it;
# it defines functions and a few variables and runs nothing by itself.

TOLVANE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# What a fresh Debian 12 machine needs to build, run and test the module.
TOLVANE_PACKAGES=(
  cmake g++ make python3
  firebird3.0-server firebird-dev firebird3.0-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev gnuplot-nox valgrind time
  libboost-dev
)

tolvane_log() {
  printf '==> %s\n' "$*" >&2
}

tolvane_die() {
  printf 'error: %s\n' "$*" >&2
  exit 1
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

tolvane_missing_packages() {
  local pkg status
  for pkg in "${TOLVANE_PACKAGES[@]}"; do
    status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
    [[ "$status" == "install ok installed" ]] || printf '%s\n' "$pkg"
  done
}

# Installs whatever is missing; touches apt only when something is.
tolvane_install_packages() {
  local missing
  mapfile -t missing < <(tolvane_missing_packages)
  if ((${#missing[@]} == 0)); then
    tolvane_log "all packages present"
    return 0
  fi
  if [[ $(id -u) -ne 0 ]]; then
    tolvane_die "missing packages (${missing[*]}); run as root or install them first"
  fi
  tolvane_log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
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

tolvane_build() {
  local build_dir="$1"
  local jobs="${TOLVANE_JOBS:-2}"
  cmake --build "$build_dir" -j"$jobs"
}
