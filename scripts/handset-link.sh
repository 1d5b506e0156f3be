#!/usr/bin/env bash
# The handset build's link step under the i686 stand-in compiler
# (cmake/wince-i686-mingw-w64.cmake).
# First every symbol the program's objects leave undefined must be exported
# by a module the build links (platform/wince/sdk/exports.txt) or be one of
# the stand-in compiler's own helpers (helpers.txt). Anything else fails,
# named with its source and the reason.
# Then a real link writes TARGET as a Windows CE image against nothing but
# those: one import library per module of exports.txt, holding only the
# names listed there, and the compiler's library for the helpers. No C or
# C++ run-time, no desktop module.
# Usage: scripts/handset-link.sh TARGET OBJECT... LIBRARY...
set -euo pipefail
export LC_ALL=C
sdk="$(cd "$(dirname "$0")/../platform/wince/sdk" && pwd)"
nm=i686-w64-mingw32-nm
target="$1"
shift

objects=()
modules=()
inputs=()
for arg in "$@"; do
  case "$arg" in
    *.res) inputs+=("$arg") ;;              # resources: no code to check
    *.obj) objects+=("$arg"); inputs+=("$arg") ;;
    *.lib|-l*)
      if [ -f "$arg" ]; then
        # A library of this build: check the objects it was made from, so
        # that each symbol is traced to its source file.
        inputs+=("$arg")
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
    if (name in module && index(modules, " " module[name] " ")) next
    shown = name
    if (name ~ /^_Z/) { command = demangle " " name; command | getline shown; close(command) }
    if (name in module)
      printf "%s: %s is in %s.dll, which the handset build does not link\n", source, shown, module[name] > "/dev/stderr"
    else
      printf "%s: %s is not exported by the handset (platform/wince/sdk/exports.txt)\n", source, shown > "/dev/stderr"
    failed = 1
  }
  END { exit failed }' "$sdk/exports.txt" "$sdk/helpers.txt" "$target.undefined" || status=$?
rm -f "$target.undefined"
[ "$status" -eq 0 ] || exit "$status"

# The import libraries, one a module.
lib="$target.imports"
rm -rf "$lib"
mkdir -p "$lib"
awk -v lib="$lib" '!/^#/ && NF >= 2 {
    def = lib "/" $1 ".def"
    if (!(def in seen)) { print "LIBRARY " $1 ".dll\nEXPORTS" > def; seen[def] = 1 }
    print $2 > def
  }' "$sdk/exports.txt"
for def in "$lib"/*.def; do
  i686-w64-mingw32-dlltool -d "$def" -l "$lib/lib$(basename "$def" .def).a"
done
libraries=()
for module in "${modules[@]}"; do libraries+=("$lib/lib$module.a"); done
# There is no C run-time start-up here to call WinMain, so the image starts
# at WinMain itself rather than wherever ld would fall back to. The
# compiler's own library comes last, for the helpers alone: the check above
# let nothing else of it be needed.
# shellcheck disable=SC2054  # the commas belong to -Wl options
link=(i686-w64-mingw32-g++-win32 -nostdlib "${inputs[@]}" "${libraries[@]}" -lgcc
      -Wl,--subsystem,wince:4.20 -Wl,-e,_WinMain)
# Kept, one word a line, for scripts/handset-check.sh to link from it the
# images the handset must refuse.
printf '%s\n' "${link[@]}" >"$lib/link"
"${link[@]}" -o "$target"
