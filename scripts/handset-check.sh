#!/usr/bin/env bash
# Compiles every source of the handset build as the handset's 32-bit
# program, against the handset's own API declarations (platform/wince/sdk/)
# and no other Windows header: syntax and types only, nothing is linked.
# A call that the handset lacks, or declares differently, fails here even
# though the desktop build accepts it. The resource script is compiled as
# the handset's build sees it too. Exits non-zero on any error or warning.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
sdk=platform/wince/sdk
cxx=i686-w64-mingw32-g++-win32
command -v "$cxx" >/dev/null || bash scripts/setup.sh

defines=(-D_WIN32_WCE=0x420 -DUNDER_CE -DUNICODE -D_UNICODE)
flags=(-std=c++03 -fno-exceptions -fno-rtti -Wall -Wextra -Werror "${defines[@]}" -I"$sdk" -I.)
sources=(bridge/*.cpp settings/*.cpp discovery/*.cpp
         ui/main_window.cpp ui/window_sink.cpp ui/winmain.cpp platform/wince/*.cpp)
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The cross compiler's C library headers may be used; its Windows headers,
# which sit in the same folder, may not.
c_library='^(sec_api/|sdks/)?(_mingw[a-z0-9_]*|crtdefs|corecrt[a-z0-9_]*|vadefs|swprintf|assert|ctype|errno|float|limits|locale|malloc|math|setjmp|signal|stdarg|stddef|stdio|stdlib|string|time|wchar|wctype)(_s)?\.(h|inl)$'

failed=0
for source in "${sources[@]}"; do
  deps="$work/$(basename "$source").d"
  if ! "$cxx" "${flags[@]}" -fsyntax-only -MD -MF "$deps" "$source"; then
    failed=1
    continue
  fi
  for header in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$deps"); do
    case "$header" in
      /usr/lib/gcc/*|"$root"/*) ;;          # the compiler's own, or ours
      /*) if ! [[ "${header#*/include/}" =~ $c_library ]]; then
            echo "$source: reaches a desktop Windows header: $header" >&2
            failed=1
          fi ;;
    esac
  done
done

# The structures the shell and the toolbar know by their size field, and
# the address Winsock is handed, at their sizes on the handset.
"$cxx" "${flags[@]}" -fsyntax-only -x c++ - <<'CHECK' || failed=1
#include <winsock2.h>
#include <commctrl.h>
#include <aygshell.h>
#define EXPECT_SIZE(type, bytes) typedef char type##_is_##bytes##_bytes[sizeof(type) == (bytes) ? 1 : -1]
EXPECT_SIZE(SHMENUBARINFO, 36);
EXPECT_SIZE(TBBUTTONINFOW, 32);
EXPECT_SIZE(SHINITDLGINFO, 12);
EXPECT_SIZE(sockaddr_in, 16);
CHECK

# The resource script, preprocessed as the handset's resource compiler
# would: with _WIN32_WCE defined and only the handset's headers in reach.
i686-w64-mingw32-windres "${defines[@]}" --preprocessor-arg=-nostdinc -I "$sdk" \
  -I ui/resources ui/resources/velmora.rc -O coff -o "$work/velmora.res" || failed=1

if [ "$failed" -ne 0 ]; then
  echo "handset check: FAILED" >&2
  exit 1
fi
echo "handset check: ${#sources[@]} sources, structure sizes and resources pass"
