#!/usr/bin/env bash
# Installs UDFTolvane where a Firebird 3 server can load it and declares
# EXECUTA_SQL in a database.
#
#   scripts/install-udf.sh [options]
#
#   --build DIR          build folder holding lib/UDFTolvane.so, lib/libudftolvane_udr.so
#                        and lib/libfbdrv.so (default: $TOLVANE_BUILD_DIR or ./build)
#   --dir DIR            where to install the legacy module and the driver
#                        (default: /usr/lib/x86_64-linux-gnu/firebird/3.0/UDF)
#   --udr-dir DIR        where to install the UDR module and the driver: the
#                        server's UDR folder (plugins.conf, UDR_config path;
#                        default: /usr/lib/x86_64-linux-gnu/firebird/3.0/plugins/udr)
#   --conf FILE          the server's configuration
#                        (default: /etc/firebird/3.0/firebird.conf)
#   --firebird-root DIR  a server installed in DIR (Firebird 3, 4 or 5, e.g.
#                        /opt/firebird): DIR/firebird.conf, DIR/UDF and the
#                        UDR folder DIR/plugins.conf names become the
#                        defaults of --conf, --dir and --udr-dir
#   --allow-udf-access   when UdfAccess does not allow DIR, change that one
#                        setting (a backup of FILE is kept); without it the
#                        script only says what is missing
#   --database DB        declare EXECUTA_SQL in DB (a path, or host[/port]:path)
#   --user NAME          user for --database (default SYSDBA)
#   --password TEXT      password for --database (default: $ISC_PASSWORD)
#   --kind KIND          legacy (default): the external function in DIR;
#                        udr: the UDR function in the UDR folder, which
#                        UdfAccess does not govern; both: install both (a
#                        database holds only one EXECUTA_SQL, so --database
#                        then needs legacy or udr)
#   --no-install         skip copying the libraries (only check and declare)
#
# The server reads its configuration at start: restart it after a change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIREBIRD_ROOT="${FIREBIRD:-/usr/lib/x86_64-linux-gnu/firebird/3.0}"

usage() {
  sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

build_dir="${TOLVANE_BUILD_DIR:-$TOLVANE_ROOT/build}"
target_dir="$FIREBIRD_ROOT/UDF"
udr_dir="$FIREBIRD_ROOT/plugins/udr"
conf_file=/etc/firebird/3.0/firebird.conf
allow_access=false
database=""
user=SYSDBA
password="${ISC_PASSWORD:-}"
kind=legacy
install_files=true

# The folders and configuration file of a server installed in one folder.
# The UDR folder is the first "path" of UDR_config in its plugins.conf.
use_firebird_root() {
  local root="$1" udr
  [[ -f "$root/firebird.conf" ]] || tolvane_die "no firebird.conf in $root (--firebird-root DIR)"
  root="$(cd "$root" && pwd)"
  FIREBIRD_ROOT="$root"
  conf_file="$root/firebird.conf"
  target_dir="$root/UDF"
  udr="$(awk '/^[[:space:]]*Config[[:space:]]*=[[:space:]]*UDR_config/ { inside = 1 }
              inside && /^[[:space:]]*path[[:space:]]*=/ { sub(/^[^=]*=[[:space:]]*/, ""); print; exit }
              inside && /}/ { inside = 0 }' "$root/plugins.conf" 2>/dev/null || true)"
  udr="${udr%%;*}"
  udr="${udr%"${udr##*[![:space:]]}"}"
  udr="${udr//\$(dir_plugins)/$root/plugins}"
  udr="${udr//\$(root)/$root}"
  [[ -n "$udr" ]] || udr="$root/plugins/udr"
  [[ "$udr" == /* ]] || udr="$root/$udr"
  udr_dir="$udr"
}

# Given anywhere on the line, --firebird-root sets the defaults that the
# other options then override.
for ((i = 1; i < $#; i++)); do
  if [[ "${!i}" == --firebird-root ]]; then
    next=$((i + 1))
    use_firebird_root "${!next}"
  fi
done

while (($#)); do
  case "$1" in
    --firebird-root) : "${2:?}"; shift 2 ;;
    --build) build_dir="${2:?}"; shift 2 ;;
    --dir) target_dir="${2:?}"; shift 2 ;;
    --udr-dir) udr_dir="${2:?}"; shift 2 ;;
    --conf) conf_file="${2:?}"; shift 2 ;;
    --allow-udf-access) allow_access=true; shift ;;
    --database) database="${2:?}"; shift 2 ;;
    --user) user="${2:?}"; shift 2 ;;
    --password) password="${2:?}"; shift 2 ;;
    --kind) kind="${2:?}"; shift 2 ;;
    --no-install) install_files=false; shift ;;
    -h | --help) usage ;;
    *) echo "unknown option: $1" >&2; usage ;;
  esac
done

case "$kind" in
  legacy | udr) ;;
  both)
    [[ -z "$database" ]] ||
      tolvane_die "a database holds only one EXECUTA_SQL: declare it with --kind legacy or --kind udr (with --no-install)"
    ;;
  *) tolvane_die "--kind takes legacy, udr or both, not '$kind'" ;;
esac

# Copies a module and the driver side by side: the module finds the driver
# through its own folder.
install_pair() {
  local module="$1" dir="$2" name
  for name in "$module" libfbdrv.so; do
    [[ -f "$build_dir/lib/$name" ]] ||
      tolvane_die "$build_dir/lib/$name is missing: build first (./scripts/test.sh, or cmake --build $build_dir)"
  done
  mkdir -p "$dir"
  install -m 0755 "$build_dir/lib/$module" "$build_dir/lib/libfbdrv.so" "$dir/"
  tolvane_log "installed $module and libfbdrv.so in $dir"
}

install_libraries() {
  [[ "$kind" == udr ]] || install_pair UDFTolvane.so "$target_dir"
  [[ "$kind" == legacy ]] || install_pair libudftolvane_udr.so "$udr_dir"
}

# The first active UdfAccess line is the one the server uses.
udf_access_line() {
  grep -nE '^[[:space:]]*UdfAccess[[:space:]]*=' "$conf_file" | head -n1 || true
}

trimmed() {
  local text="$1"
  text="${text#"${text%%[![:space:]]*}"}"
  printf '%s' "${text%"${text##*[![:space:]]}"}"
}

# True when VALUE (None, Full or "Restrict a;b") lets the server load from
# the target folder. Relative folders count from the server's root.
access_allows() {
  local value="$1" list entry wanted
  wanted="$(realpath -m "$target_dir")"
  case "${value,,}" in
    full) return 0 ;;
    restrict*)
      list="$(trimmed "${value:8}")"
      IFS=';' read -ra entries <<<"$list"
      for entry in "${entries[@]}"; do
        entry="$(trimmed "$entry")"
        [[ -n "$entry" ]] || continue
        [[ "$entry" == /* ]] || entry="$FIREBIRD_ROOT/$entry"
        [[ "$(realpath -m "$entry")" == "$wanted" ]] && return 0
      done
      return 1
      ;;
    *) return 1 ;;
  esac
}

ensure_udf_access() {
  local line number value new_value backup
  [[ -f "$conf_file" ]] || tolvane_die "no server configuration at $conf_file (--conf FILE)"
  line="$(udf_access_line)"
  number="${line%%:*}"
  value="$(trimmed "${line#*=}")"
  [[ -n "$line" ]] || value=None  # the server's default
  if access_allows "$value"; then
    tolvane_log "UdfAccess = $value already allows $target_dir"
    return 0
  fi
  if [[ "${value,,}" == restrict* ]]; then
    new_value="$value;$target_dir"
  else
    new_value="Restrict $target_dir"
  fi
  if ! $allow_access; then
    tolvane_log "UdfAccess = $value in $conf_file does not allow $target_dir;"
    tolvane_log "the server cannot load the module until it reads: UdfAccess = $new_value"
    tolvane_log "(run again with --allow-udf-access to make that one change, with a backup)"
    return 1
  fi
  backup="$conf_file.udftolvane-backup.$(date +%Y%m%d%H%M%S)"
  local n=1 base="$backup"
  while [[ -e "$backup" ]]; do backup="$base.$((n++))"; done  # never overwrite an older backup
  cp -p "$conf_file" "$backup"
  if [[ -n "$line" ]]; then
    # Rewritten in place (same file, owner and mode), that one line only.
    awk -v n="$number" -v v="UdfAccess = $new_value" 'NR == n { print v; next } { print }' \
      "$backup" >"$conf_file"
  else
    printf '\nUdfAccess = %s\n' "$new_value" >>"$conf_file"
  fi
  tolvane_log "set UdfAccess = $new_value in $conf_file (backup: $backup); restart the server to use it"
}

declare_function() {
  local declared declaration="$TOLVANE_ROOT/sql/udftolvane.sql"
  [[ "$kind" == udr ]] && declaration="$TOLVANE_ROOT/sql/udftolvane_udr.sql"
  [[ -f "$declaration" ]] || tolvane_die "$declaration is missing"
  local -a credentials=(-user "$user")
  [[ -n "$password" ]] && credentials+=(-password "$password")
  declared="$(printf "SET LIST ON;\nSELECT COUNT(*) AS N FROM RDB\$FUNCTIONS WHERE RDB\$FUNCTION_NAME = 'EXECUTA_SQL';\n" |
    isql-fb -q -bail "${credentials[@]}" "$database" | awk '$1 == "N" { print $2 }')" ||
    tolvane_die "cannot reach $database"
  if [[ "$declared" != "0" ]]; then
    tolvane_log "EXECUTA_SQL is already declared in $database; left as it is"
    return 0
  fi
  printf "INPUT '%s';\nCOMMIT;\n" "$declaration" |
    isql-fb -q -bail "${credentials[@]}" "$database"
  tolvane_log "declared EXECUTA_SQL in $database"
}

main() {
  local status=0
  $install_files && install_libraries
  # UdfAccess governs the legacy module only.
  if [[ "$kind" != udr ]]; then
    ensure_udf_access || status=1
  fi
  [[ -z "$database" ]] || declare_function
  return "$status"
}

main
