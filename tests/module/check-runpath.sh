#!/usr/bin/env bash
# check-runpath.sh FILE...: each library's RUNPATH/RPATH, when it has one, is
# exactly $ORIGIN; an executable's entries are folders relative to $ORIGIN.
# Any other entry fails, the empty one above all: it is the current directory
# of whatever process loads the file.
# check-runpath.sh --install BUILD_DIR: the same for every ELF file that
# "cmake --install" puts into a fresh prefix.
set -euo pipefail

check() {
  local file="$1" paths
  [[ -f "$file" ]] || { echo "no such file: $file" >&2; return 1; }
  paths="$(readelf -d "$file" | sed -n 's/.*(\(RUNPATH\|RPATH\)).*\[\(.*\)\]$/\2/p')"
  local executable=0
  readelf -h "$file" | grep -q 'Type:.*EXEC\|Type:.*DYN (Position-Independent Executable' && executable=1
  # awk keeps empty fields, so "$ORIGIN:" shows its second, empty entry.
  if ! awk -F: -v file="$file" -v executable="$executable" '
        function allowed(entry) {
          if (entry == "$ORIGIN") return 1
          return executable && index(entry, "$ORIGIN/") == 1
        }
        { for (i = 1; i <= NF; i++) if (!allowed($i)) { bad = 1; printf "%s: run path entry \"%s\" in [%s]\n", file, $i, $0 } }
        END { exit bad }' <<<"$paths" >&2; then
    return 1
  fi
  echo "$file: run path [${paths}]"
}

files=()
if [[ "${1:-}" == "--install" ]]; then
  prefix="$(mktemp -d)"
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$2" --prefix "$prefix" >/dev/null
  while IFS= read -r -d '' file; do
    [[ "$(head -c4 "$file")" == $'\x7fELF' ]] && files+=("$file")
  done < <(find "$prefix" -type f -print0)
  ((${#files[@]} > 0)) || { echo "nothing installed from $2" >&2; exit 1; }
else
  files=("$@")
fi

failed=0
for file in "${files[@]}"; do
  check "$file" || failed=1
done
exit "$failed"
