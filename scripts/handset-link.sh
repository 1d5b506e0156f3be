#!/usr/bin/env bash
# The handset build's link step under the i686 stand-in compiler
# (cmake/wince-i686-mingw-w64.cmake). The handset's import libraries are
# not here, so nothing is linked. Instead every symbol the program's
# objects leave undefined must be exported by a module the build links
# (platform/wince/sdk/exports.txt) or be one of the stand-in compiler's
# own helpers (helpers.txt). Anything else fails, named with its source.
# TARGET receives the list of what the program imports.
# Usage: scripts/handset-link.sh TARGET OBJECT... LIBRARY...
set -euo pipefail
export LC_ALL=C
sdk="$(cd "$(dirname "$0")/../platform/wince/sdk" && pwd)"
nm=i686-w64-mingw32-nm
target="$1"
shift

objects=()
modules=()
for arg in "$@"; do
  case "$arg" in
    *.res) ;;                               # resources: no code
    *.obj) objects+=("$arg") ;;
    *.lib|-l*)
      if [ -f "$arg" ]; then
        # A library of this build: check the objects it was made from, so
        # that each symbol is traced to its source file.
        name="$(basename "$arg" .lib)"
        while IFS= read -r object; do objects+=("$object"); done \
          < <(find "$(dirname "$arg")/CMakeFiles/$name.dir" -name '*.obj' | sort)
      else
        module="${arg#-l}"
        modules+=("${module%.lib}")
      fi ;;
  esac
done

# One line per undefined symbol: the object, then the symbol; symbols some
# object of the program defines are left out.
"$nm" -A -g --defined-only "${objects[@]}" | awk '{print $NF}' | sort -u > "$target.defined"
"$nm" -A -u "${objects[@]}" | awk '{sub(/:$/, "", $1); print $1, $NF}' \
  | sort -k2 | join -1 2 -2 1 -v 1 -o 1.1,1.2 - "$target.defined" > "$target.undefined"
rm -f "$target.defined"

status=0
awk -v modules=" ${modules[*]} " -v demangle="i686-w64-mingw32-c++filt -n" '
  FILENAME ~ /exports.txt$/ { if ($0 !~ /^#/ && NF >= 2) module[$2] = $1; next }
  FILENAME ~ /helpers.txt$/ { if ($0 !~ /^#/ && NF >= 1) helper[$1] = 1; next }
  {
    source = $1; sub(/^.*\.dir\//, "", source); sub(/\.obj$/, "", source)
    name = $2; sub(/^__imp_/, "", name); sub(/^_/, "", name); sub(/@[0-9]+$/, "", name)
    if (name in helper) next
    if (name in module && index(modules, " " module[name] " ")) {
      imports[module[name] " " name] = 1
      next
    }
    shown = name
    if (name ~ /^_Z/) { command = demangle " " name; command | getline shown; close(command) }
    if (name in module)
      printf "%s: %s is in %s.dll, which the handset build does not link\n", source, shown, module[name] > "/dev/stderr"
    else
      printf "%s: %s is not exported by the handset (platform/wince/sdk/exports.txt)\n", source, shown > "/dev/stderr"
    failed = 1
  }
  END {
    for (entry in imports) print entry | "sort > \"" target "\""
    exit failed
  }' target="$target" "$sdk/exports.txt" "$sdk/helpers.txt" "$target.undefined" || status=$?
rm -f "$target.undefined"
exit $status
