#!/usr/bin/env bash
# Installs UDFTolvane where a Firebird 3 server can load it and declares
# EXECUTA_SQL in a database.
#
#   scripts/install-udf.sh [options]                  from a source tree
#   /usr/share/udftolvane/install-udf.sh [options]    from the Debian package
#
# From the package the modules are already where the server loads them: the
# script copies and removes no file and leaves the package's udftolvane.conf
# alone; it checks UdfAccess, declares, grants and drops as from a tree.
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
#   --database DB        declare the routines in DB (a path, or host[/port]:path):
#                        legacy: EXECUTA_SQL; udr: TOLVANE_RUN, and EXECUTA_SQL
#                        only with --with-function, --grant-function, or a
#                        module login set in udftolvane.conf (see below)
#   --user NAME          user for --database (default SYSDBA)
#   --password TEXT      password for --database (default: $ISC_PASSWORD); it
#                        reaches isql through its environment, never its
#                        command line. This script's own command line shows
#                        it while the script runs: prefer ISC_PASSWORD or
#                        --password-file
#   --password-file FILE the password for --database as the server's package
#                        keeps it (an ISC_PASSWORD=... line; default, when
#                        neither --password nor ISC_PASSWORD is given:
#                        /etc/firebird/3.0/SYSDBA.password)
#   --kind KIND          legacy (default): the external function in DIR;
#                        udr: the UDR function in the UDR folder, which
#                        UdfAccess does not govern; both: install both (a
#                        database holds only one EXECUTA_SQL, so --database
#                        then needs legacy or udr)
#   --no-install         skip copying the libraries (only check and declare);
#                        with --uninstall, skip removing them
#   --grant USER         with --kind udr and --database: grant EXECUTE on the
#                        procedure TOLVANE_RUN to USER (repeatable): it runs
#                        scripts under USER's own login and role, with USER's
#                        own rights and no more
#   --with-function      with --kind udr and --database: declare the function
#                        EXECUTA_SQL too. It runs every statement as the
#                        module's login (SYSDBA with a public built-in password
#                        unless udftolvane.conf sets another), on any database
#   --grant-function USER
#                        with --kind udr and --database: declare EXECUTA_SQL
#                        and grant EXECUTE on it to USER (repeatable): FULL
#                        ADMINISTRATOR RIGHTS on the whole server
#   --history            with --database: create the table TOLVANE$HISTORY
#                        (sql/tolvane_history.sql) that runs with once=<id>
#                        keep their history in, when it is not there; for
#                        users who may not create it themselves. Left in the
#                        database by --uninstall
#   --uninstall          undo an install: drop this module's routines from
#                        --database, if given (EXECUTA_SQL; TOLVANE_RUN unless
#                        --kind legacy), then remove the module(s) of --kind
#                        from DIR / the UDR folder, libfbdrv.so with the last
#                        of them, a folder the install created once it is
#                        empty, and the udftolvane.conf it wrote while it is
#                        unchanged; FILE is left as it is
#   --restore-config     with --uninstall: put FILE back as it was before the
#                        first UdfAccess change this script made (its oldest
#                        backup), unless lines other than UdfAccess changed since
#
# The module's configuration: udftolvane.conf is written, from a commented
# template, to the folder of FILE (--conf) when none is there (0640,
# root:firebird); an existing one is never touched.
#
# The server reads its configuration at start: restart it after a change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# The package keeps the declarations beside this script; a source tree in
# sql/, with the configuration template in scripts/.
readonly HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
if [[ -f "$HERE/udftolvane_udr.sql" ]]; then
  from_package=true
  readonly DECLARATIONS="$HERE"
else
  from_package=false
  readonly DECLARATIONS="$TOLVANE_ROOT/sql"
fi

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
password_file=""
kind=legacy
install_files=true
build_given=false
uninstall=false
restore_config=false
grantees=()
function_grantees=()
with_function=false
history=false

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
    --build) build_dir="${2:?}"; build_given=true; shift 2 ;;
    --dir) target_dir="${2:?}"; shift 2 ;;
    --udr-dir) udr_dir="${2:?}"; shift 2 ;;
    --conf) conf_file="${2:?}"; shift 2 ;;
    --allow-udf-access) allow_access=true; shift ;;
    --database) database="${2:?}"; shift 2 ;;
    --user) user="${2:?}"; shift 2 ;;
    --password) password="${2:?}"; shift 2 ;;
    --password-file) password_file="${2:?}"; shift 2 ;;
    --kind) kind="${2:?}"; shift 2 ;;
    --no-install) install_files=false; shift ;;
    --grant) grantees+=("${2:?}"); shift 2 ;;
    --grant-function) function_grantees+=("${2:?}"); with_function=true; shift 2 ;;
    --with-function) with_function=true; shift ;;
    --history) history=true; shift ;;
    --uninstall) uninstall=true; shift ;;
    --restore-config) restore_config=true; shift ;;
    -h | --help) usage ;;
    *) echo "unknown option: $1" >&2; usage ;;
  esac
done

# From the package the files are in place already; --build names a build
# folder to copy from all the same.
if $from_package && ! $build_given; then
  install_files=false
fi

# --- the installer's own login: Debian's password file ---

readonly DEBIAN_PASSWORD_FILE=/etc/firebird/3.0/SYSDBA.password

# The ISC_PASSWORD value of a file in the server package's format. The file
# is read, never sourced: its lines are plain assignments, not exported, and
# nothing in it should run.
password_from_file() {
  local file="$1" line value
  [[ -r "$file" ]] || tolvane_die "cannot read the password file $file"
  line="$(grep -E '^[[:space:]]*(export[[:space:]]+)?ISC_PASSWORD=' "$file" | tail -n1 || true)"
  [[ -n "$line" ]] || tolvane_die "$file holds no ISC_PASSWORD=... line"
  value="${line#*=}"
  value="${value#"${value%%[![:space:]]*}"}"
  value="${value%"${value##*[![:space:]]}"}"
  if [[ "$value" == \"*\" || "$value" == \'*\' ]]; then
    value="${value:1:${#value}-2}"
  fi
  printf '%s' "$value"
}

# --password wins, then ISC_PASSWORD, then --password-file, then the
# package's file when it is there.
choose_password() {
  [[ -n "$database" && -z "$password" ]] || return 0
  if [[ -n "$password_file" ]]; then
    password="$(password_from_file "$password_file")"
  elif [[ -r "$DEBIAN_PASSWORD_FILE" ]]; then
    password="$(password_from_file "$DEBIAN_PASSWORD_FILE")"
    tolvane_log "logging in with the password of $DEBIAN_PASSWORD_FILE"
  fi
}

choose_password

case "$kind" in
  legacy | udr) ;;
  both)
    $uninstall || [[ -z "$database" ]] ||
      tolvane_die "a database holds only one EXECUTA_SQL: declare it with --kind legacy or --kind udr (with --no-install)"
    ;;
  *) tolvane_die "--kind takes legacy, udr or both, not '$kind'" ;;
esac
$uninstall || ! $restore_config || tolvane_die "--restore-config goes with --uninstall"
((${#grantees[@]} + ${#function_grantees[@]} == 0)) || [[ "$kind" == udr && -n "$database" ]] ||
  tolvane_die "--grant and --grant-function need --kind udr and --database: EXECUTE is granted on the UDR routines"
! $with_function || [[ "$kind" == udr && -n "$database" ]] ||
  tolvane_die "--with-function needs --kind udr and --database"
! $history || [[ -n "$database" ]] || tolvane_die "--history needs --database"

# A user name as the GRANT takes it: a plain name (letters, digits, _ and $,
# starting with a letter) as it is, which the server reads in capitals; any
# other as a quoted name, taken exactly as written. Control characters are
# refused: no user name holds one.
user_identifier() {
  local name="$1"
  [[ -n "$name" ]] || tolvane_die "an empty user name cannot be granted anything"
  [[ "$name" != *[[:cntrl:]]* ]] || tolvane_die "a user name with a control character cannot be granted anything"
  if [[ "$name" =~ ^[A-Za-z][A-Za-z0-9_\$]*$ ]]; then
    printf '%s' "$name"
  else
    printf '"%s"' "${name//\"/\"\"}"
  fi
}
for grantee in "${grantees[@]}" "${function_grantees[@]}"; do user_identifier "$grantee" >/dev/null; done

credentials=(-user "$user")

# Copies a module and the driver side by side: the module finds the driver
# through its own folder.
install_pair() {
  local module="$1" dir="$2" name
  for name in "$module" libfbdrv.so; do
    [[ -f "$build_dir/lib/$name" ]] ||
      tolvane_die "$build_dir/lib/$name is missing: build first (./scripts/test.sh, or cmake --build $build_dir)"
  done
  make_folder "$dir"
  install -m 0755 "$build_dir/lib/$module" "$build_dir/lib/libfbdrv.so" "$dir/"
  tolvane_log "installed $module and libfbdrv.so in $dir"
}

# A folder the install had to create keeps a note naming the topmost folder
# it created, so that an uninstall removes those folders and no other.
readonly CREATED_NOTE=.udftolvane-created
make_folder() {
  local dir top="" probe
  dir="$(realpath -m "$1")"
  probe="$dir"
  while [[ ! -e "$probe" ]]; do
    top="$probe"
    probe="$(dirname "$probe")"
  done
  mkdir -p "$dir"
  [[ -z "$top" ]] || printf '%s\n' "$top" >"$dir/$CREATED_NOTE"
}

# Removes what make_folder created, once nothing else is in it.
remove_created_folder() {
  local dir top
  dir="$(realpath -m "$1")"
  [[ -f "$dir/$CREATED_NOTE" ]] || return 0
  top="$(<"$dir/$CREATED_NOTE")"
  if [[ -n "$(find "$dir" -mindepth 1 -maxdepth 1 ! -name "$CREATED_NOTE" -print -quit)" ]]; then
    tolvane_log "left $dir: the install created it, but it holds other files now"
    return 0
  fi
  rm -f "$dir/$CREATED_NOTE"
  while rmdir "$dir" 2>/dev/null; do
    tolvane_log "removed the folder $dir"
    [[ "$dir" != "$top" && "$dir" == "$top"/* ]] || break
    dir="$(dirname "$dir")"
  done
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

# Runs the SQL text on --database and prints isql's output. A failure ends
# the script with the server's message, told apart as WHAT says: a refused
# login (SQLSTATE 28000) is named as such.
run_sql() {
  local sql="$1" what="$2" out errors status=0
  errors="$(mktemp)"
  # The password goes through isql's environment: a command line is there
  # for every user of the machine to read.
  if [[ -n "$password" ]]; then
    out="$(printf '%s' "$sql" | ISC_PASSWORD="$password" isql-fb -q -bail "${credentials[@]}" "$database" 2>"$errors")" ||
      status=$?
  else
    out="$(printf '%s' "$sql" | isql-fb -q -bail "${credentials[@]}" "$database" 2>"$errors")" || status=$?
  fi
  local message
  message="$(cat "$errors")"
  rm -f "$errors"
  if ((status != 0)); then
    grep -q 'SQLSTATE = 28000' <<<"$message" &&
      tolvane_die "login refused by $database for user $user (check --user and --password): $message"
    tolvane_die "$what $database: $message"
  fi
  printf '%s\n' "$out"
}

# Which EXECUTA_SQL the database holds: legacy or udr (this module's), other
# (a function of that name from elsewhere), or nothing.
declared_kind() {
  run_sql "SET LIST ON;
SELECT CASE
  WHEN RDB\$LEGACY_FLAG = 1 AND UPPER(TRIM(RDB\$MODULE_NAME)) = 'UDFTOLVANE' THEN 'legacy'
  WHEN TRIM(RDB\$ENGINE_NAME) = 'UDR' AND TRIM(RDB\$ENTRYPOINT) STARTING WITH 'udftolvane_udr!' THEN 'udr'
  ELSE 'other' END AS K
FROM RDB\$FUNCTIONS WHERE RDB\$FUNCTION_NAME = 'EXECUTA_SQL' AND RDB\$PACKAGE_NAME IS NULL;
" "cannot reach" | awk '$1 == "K" { print $2 }'
}

# Which TOLVANE_RUN the database holds: udr (this module's), other, or nothing.
procedure_kind() {
  run_sql "SET LIST ON;
SELECT CASE
  WHEN TRIM(RDB\$ENGINE_NAME) = 'UDR' AND TRIM(RDB\$ENTRYPOINT) STARTING WITH 'udftolvane_udr!' THEN 'udr'
  ELSE 'other' END AS K
FROM RDB\$PROCEDURES WHERE RDB\$PROCEDURE_NAME = 'TOLVANE_RUN' AND RDB\$PACKAGE_NAME IS NULL;
" "cannot reach" | awk '$1 == "K" { print $2 }'
}

# Which TOLVANE_EXEC (EXECUTA_SQL with an options text) the database holds:
# udr (this module's), other, or nothing.
exec_function_kind() {
  run_sql "SET LIST ON;
SELECT CASE
  WHEN TRIM(RDB\$ENGINE_NAME) = 'UDR' AND TRIM(RDB\$ENTRYPOINT) STARTING WITH 'udftolvane_udr!' THEN 'udr'
  ELSE 'other' END AS K
FROM RDB\$FUNCTIONS WHERE RDB\$FUNCTION_NAME = 'TOLVANE_EXEC' AND RDB\$PACKAGE_NAME IS NULL;
" "cannot reach" | awk '$1 == "K" { print $2 }'
}

# One statement of the UDR declaration file: from the line that starts with
# HEAD to the end of the statement.
declaration_statement() {
  local head="$1" file="$DECLARATIONS/udftolvane_udr.sql" text
  [[ -f "$file" ]] || tolvane_die "$file is missing"
  text="$(awk -v head="$head" 'index($0, head) == 1 { inside = 1 }
                               inside { print }
                               inside && /;[[:space:]]*$/ { exit }' "$file")"
  [[ -n "$text" ]] || tolvane_die "$file holds no '$head' statement"
  printf '%s\n' "$text"
}

# True when udftolvane.conf beside the server's configuration sets the
# module's own login: EXECUTA_SQL then no longer logs in with the public
# built-in password.
module_login_configured() {
  local file
  file="$(dirname "$conf_file")/udftolvane.conf"
  [[ -r "$file" ]] &&
    grep -qiE '^[[:space:]]*(user|password|password_file|role)[[:space:]]*=[[:space:]]*[^[:space:]#]' "$file"
}

grant_execute() {
  local grantee name
  for grantee in "${grantees[@]}"; do
    name="$(user_identifier "$grantee")"
    run_sql "GRANT EXECUTE ON PROCEDURE TOLVANE_RUN TO USER $name;
COMMIT;
" "cannot grant EXECUTE on TOLVANE_RUN to $grantee in" >/dev/null
    tolvane_log "granted EXECUTE on TOLVANE_RUN to $name: scripts run under that user's own login, role and rights"
  done
  for grantee in "${function_grantees[@]}"; do
    name="$(user_identifier "$grantee")"
    run_sql "GRANT EXECUTE ON FUNCTION EXECUTA_SQL TO USER $name;
COMMIT;
" "cannot grant EXECUTE on EXECUTA_SQL to $grantee in" >/dev/null
    tolvane_log "granted EXECUTE on EXECUTA_SQL to $name: FULL ADMINISTRATOR RIGHTS (every statement runs as the module's login, on any database of the server)"
    [[ "$(exec_function_kind)" == udr ]] || continue
    run_sql "GRANT EXECUTE ON FUNCTION TOLVANE_EXEC TO USER $name;
COMMIT;
" "cannot grant EXECUTE on TOLVANE_EXEC to $grantee in" >/dev/null
    tolvane_log "granted EXECUTE on TOLVANE_EXEC to $name: the same rights as EXECUTA_SQL"
  done
}

declare_legacy_function() {
  local declared declaration="$DECLARATIONS/udftolvane.sql"
  [[ -f "$declaration" ]] || tolvane_die "$declaration is missing"
  declared="$(declared_kind)" || exit 1
  if [[ -n "$declared" ]]; then
    tolvane_log "EXECUTA_SQL is already declared in $database; left as it is"
    return 0
  fi
  run_sql "INPUT '$declaration';
COMMIT;
" "cannot declare EXECUTA_SQL in" >/dev/null
  tolvane_log "declared EXECUTA_SQL in $database"
}

# The procedure always; the function, which runs everything as the module's
# login, only when asked for or when a login of its own is configured.
declare_udr_routines() {
  local declared
  declared="$(procedure_kind)" || exit 1
  case "$declared" in
    "")
      run_sql "$(declaration_statement "CREATE OR ALTER PROCEDURE TOLVANE_RUN")
COMMIT;
" "cannot declare TOLVANE_RUN in" >/dev/null
      tolvane_log "declared TOLVANE_RUN in $database"
      ;;
    udr) tolvane_log "TOLVANE_RUN is already declared in $database; left as it is" ;;
    *) tolvane_die "the TOLVANE_RUN of $database is not this module's; left as it is" ;;
  esac

  declared="$(declared_kind)" || exit 1
  if [[ -n "$declared" ]]; then
    tolvane_log "EXECUTA_SQL is already declared in $database; left as it is"
    [[ "$declared" == udr || ${#function_grantees[@]} -eq 0 ]] ||
      tolvane_die "the EXECUTA_SQL of $database is not this module's UDR function: nothing granted on it"
    return 0
  fi
  if ! $with_function; then
    if ! module_login_configured; then
      tolvane_log "EXECUTA_SQL not declared: it would run every statement as SYSDBA with the module's public built-in password; --with-function declares it (set the module's login in udftolvane.conf first)"
      return 0
    fi
    tolvane_log "udftolvane.conf sets the module's login: declaring EXECUTA_SQL too"
  fi
  run_sql "$(declaration_statement "CREATE OR ALTER FUNCTION EXECUTA_SQL")
COMMIT;
" "cannot declare EXECUTA_SQL in" >/dev/null
  tolvane_log "declared EXECUTA_SQL in $database (administrator rights: grant EXECUTE on it only with --grant-function)"
  # Its twin with an options text (once, modes) takes the same login.
  case "$(exec_function_kind)" in
    "")
      run_sql "$(declaration_statement "CREATE OR ALTER FUNCTION TOLVANE_EXEC")
COMMIT;
" "cannot declare TOLVANE_EXEC in" >/dev/null
      tolvane_log "declared TOLVANE_EXEC in $database (EXECUTA_SQL with an options text: the same rights)"
      ;;
    udr) tolvane_log "TOLVANE_EXEC is already declared in $database; left as it is" ;;
    *) tolvane_log "the TOLVANE_EXEC of $database is not this module's; left as it is" ;;
  esac
}

# The history of scripts applied once, as the module creates it; an existing
# table is left as it is.
create_history_table() {
  local file="$TOLVANE_ROOT/sql/tolvane_history.sql" exists
  [[ -f "$file" ]] || tolvane_die "$file is missing"
  exists="$(run_sql "SELECT 'found' FROM RDB\$RELATIONS WHERE RDB\$RELATION_NAME = 'TOLVANE\$HISTORY';
" "cannot read")"
  if grep -q found <<<"$exists"; then
    tolvane_log "TOLVANE\$HISTORY is already in $database; left as it is"
    return 0
  fi
  run_sql "$(cat "$file")
COMMIT;
" "cannot create TOLVANE\$HISTORY in" >/dev/null
  tolvane_log "created TOLVANE\$HISTORY in $database (grant SELECT, INSERT, UPDATE on it to the users whose runs use once=)"
}

declare_routines() {
  if [[ "$kind" == udr ]]; then
    declare_udr_routines
  else
    declare_legacy_function
  fi
}

# --- the module's configuration ---

readonly CONFIG_TEMPLATE="$TOLVANE_ROOT/scripts/udftolvane.conf.template"
# A commented udftolvane.conf beside the server's configuration, readable by
# root and the server's group only; an existing file is left as it is.
write_config_template() {
  local folder target group=firebird
  folder="$(dirname "$conf_file")"
  target="$folder/udftolvane.conf"
  if [[ -e "$target" || -L "$target" ]]; then
    tolvane_log "$target exists; left as it is"
    return 0
  fi
  [[ -d "$folder" && -w "$folder" ]] || {
    tolvane_log "cannot write $target (no such folder, or no right to write there)"
    return 0
  }
  getent group "$group" >/dev/null || group="$(id -gn)"
  # Created with its final mode, so it is never readable by others.
  (umask 027 && cp "$CONFIG_TEMPLATE" "$target.new.$$")
  if [[ "$(id -u)" == 0 ]]; then
    chown "root:$group" "$target.new.$$"
  else
    chgrp "$group" "$target.new.$$" 2>/dev/null || true
  fi
  chmod 0640 "$target.new.$$"
  # No overwrite even if one appeared meanwhile.
  if ! ln "$target.new.$$" "$target" 2>/dev/null; then
    rm -f "$target.new.$$"
    tolvane_log "$target exists; left as it is"
    return 0
  fi
  rm -f "$target.new.$$"
  tolvane_log "wrote $target (every setting commented out: the module behaves as without it)"
}

# Drops this module's routines: TOLVANE_RUN and TOLVANE_EXEC (unless --kind
# legacy) and EXECUTA_SQL, each named as it goes; a routine of that name from elsewhere
# is left.
drop_routines() {
  local declared statements="" dropped=()
  if [[ "$kind" != legacy ]]; then
    declared="$(procedure_kind)" || exit 1
    case "$declared" in
      "") tolvane_log "TOLVANE_RUN is not declared in $database" ;;
      udr) statements+="DROP PROCEDURE TOLVANE_RUN;"$'\n'; dropped+=("TOLVANE_RUN (udr)") ;;
      *) tolvane_die "the TOLVANE_RUN of $database is not this module's; left as it is" ;;
    esac
  fi
  if [[ "$kind" != legacy && "$(exec_function_kind)" == udr ]]; then
    statements+="DROP FUNCTION TOLVANE_EXEC;"$'\n'
    dropped+=("TOLVANE_EXEC (udr)")
  fi
  declared="$(declared_kind)" || exit 1
  case "$declared" in
    "") tolvane_log "EXECUTA_SQL is not declared in $database" ;;
    legacy) statements+="DROP EXTERNAL FUNCTION EXECUTA_SQL;"$'\n'; dropped+=("EXECUTA_SQL (legacy)") ;;
    udr) statements+="DROP FUNCTION EXECUTA_SQL;"$'\n'; dropped+=("EXECUTA_SQL (udr)") ;;
    *) tolvane_die "the EXECUTA_SQL of $database is not this module's; left as it is" ;;
  esac
  if [[ -n "$statements" ]]; then
    run_sql "${statements}COMMIT;
" "cannot drop ${dropped[*]} from" >/dev/null
    local routine
    for routine in "${dropped[@]}"; do tolvane_log "dropped $routine from $database"; done
  fi
  if [[ "$kind" == legacy && "$(procedure_kind)" == udr ]]; then
    tolvane_log "TOLVANE_RUN left in $database (--kind udr drops it)"
  fi
}

# Removes a module; the driver goes with it unless the other module still
# lies beside it and needs it.
remove_pair() {
  local module="$1" dir="$2" other="$3" name
  for name in "$module" libfbdrv.so; do
    [[ -e "$dir/$name" ]] || continue
    if [[ "$name" == libfbdrv.so && -e "$dir/$other" ]]; then
      tolvane_log "left libfbdrv.so in $dir: $other beside it still uses it"
      continue
    fi
    rm -f "$dir/$name"
    tolvane_log "removed $dir/$name"
  done
}

remove_libraries() {
  if [[ "$kind" != udr ]]; then
    remove_pair UDFTolvane.so "$target_dir" libudftolvane_udr.so
    remove_created_folder "$target_dir"
  fi
  if [[ "$kind" != legacy ]]; then
    remove_pair libudftolvane_udr.so "$udr_dir" UDFTolvane.so
    remove_created_folder "$udr_dir"
  fi
  tolvane_log "a running server keeps a loaded module until it restarts"
}

# The udftolvane.conf this script writes goes while it is still the
# template; one with settings of its own is the administrator's.
remove_config_template() {
  local target
  target="$(dirname "$conf_file")/udftolvane.conf"
  [[ -e "$target" || -L "$target" ]] || return 0
  if [[ -f "$target" && ! -L "$target" ]] && cmp -s "$target" "$CONFIG_TEMPLATE"; then
    rm -f "$target"
    tolvane_log "removed $target (the template as written, no setting of its own)"
  else
    tolvane_log "left $target: it differs from the template this script writes (settings of its own)"
  fi
}

# The backups this script made, oldest first.
config_backups() {
  compgen -G "$conf_file.udftolvane-backup.*" | sort || true
}

# Lines that are neither UdfAccess settings nor blank: what an install never
# changes.
lines_besides_udf_access() {
  grep -vE '^[[:space:]]*UdfAccess[[:space:]]*=|^[[:space:]]*$' "$1" || true
}

restore_config_file() {
  local oldest
  oldest="$(config_backups | head -n1)"
  [[ -n "$oldest" ]] || { tolvane_log "no backup of $conf_file made by this script; left as it is"; return 0; }
  if [[ "$(lines_besides_udf_access "$oldest")" != "$(lines_besides_udf_access "$conf_file")" ]]; then
    tolvane_log "$conf_file changed since $oldest in more than UdfAccess; not restored (compare them by hand)"
    return 1
  fi
  # Written in place: the file keeps its owner and mode.
  cat "$oldest" >"$conf_file"
  tolvane_log "restored $conf_file from $oldest; restart the server to use it"
  # The file is now the oldest backup again; the backups hold nothing more
  # than UdfAccess lines of the install's own.
  local backup
  while IFS= read -r backup; do
    rm -f "$backup"
    tolvane_log "removed the backup $backup"
  done < <(config_backups)
}

uninstall_module() {
  local status=0
  [[ -z "$database" ]] || drop_routines
  ! $history || tolvane_log "TOLVANE\$HISTORY left in $database: it is the database's own record"
  $install_files && remove_libraries
  # The package's udftolvane.conf is dpkg's to remove (apt purge).
  $from_package || remove_config_template
  if $restore_config; then
    restore_config_file || status=1
  elif [[ -n "$(config_backups)" ]]; then
    tolvane_log "$conf_file left as it is (--restore-config puts back its oldest backup)"
  fi
  return "$status"
}

main() {
  if $uninstall; then
    uninstall_module
    return
  fi
  local access=true
  $install_files && install_libraries
  # The package installs its own udftolvane.conf.
  $from_package || write_config_template
  # UdfAccess governs the legacy module only.
  if [[ "$kind" != udr ]]; then
    ensure_udf_access || access=false
  fi
  [[ -z "$database" ]] || declare_routines
  ! $history || create_history_table
  ((${#grantees[@]} + ${#function_grantees[@]} == 0)) || grant_execute
  if ! $access; then
    [[ -z "$database" ]] ||
      tolvane_log "NOT USABLE YET: EXECUTA_SQL is declared in $database, but the server cannot load UDFTolvane.so until UdfAccess allows $target_dir and the server has restarted"
    return 1
  fi
}

main
