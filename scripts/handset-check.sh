#!/usr/bin/env bash
# Builds the handset build as CMakeLists.txt describes it (its WindowsCE
# branch: sources, definitions, flags, libraries), with the i686 mingw-w64
# compiler standing in for the handset's (cmake/wince-i686-mingw-w64.cmake).
# - Every source and the resource script compile against the handset's own
#   declarations (platform/wince/sdk/), its C library included, and no
#   header of the cross compiler: a call that the handset lacks, or
#   declares differently, fails here even though the desktop build takes it.
# - The link step (scripts/handset-link.sh) fails on any symbol the objects
#   need that the handset's modules do not export, such as the C++ run-time
#   the handset lacks (operator new, guarded local statics).
# - The structures the handset knows by their size have that size.
# Works in a temporary folder and exits non-zero on any error or warning.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
{ command -v cmake && command -v i686-w64-mingw32-g++-win32; } >/dev/null || bash "$root/scripts/setup.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cmake -S "$root" -B "$work" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/wince-i686-mingw-w64.cmake" >/dev/null
failed=0
if ! cmake --build "$work" -j"$(nproc)" >"$work/build.log" 2>&1; then
  grep -v -E '^\[ *[0-9]+%\]|^g?make(\[[0-9]+\])?: ' "$work/build.log" >&2 || true
  failed=1
fi

# The structures the shell and the toolbar know by their size field, and
# the address Winsock is handed, at their sizes on the handset; compiled as
# the handset build compiles its sources.
flags="$(sed -n 's/^CXX_\(DEFINES\|INCLUDES\|FLAGS\) = //p' "$work/CMakeFiles/velmora.dir/flags.make")"
# shellcheck disable=SC2086  # the flags are words, as make passes them
i686-w64-mingw32-g++-win32 $flags -fsyntax-only -x c++ - <<'CHECK' || failed=1
#include <winsock2.h>
#include <commctrl.h>
#include <aygshell.h>
#define EXPECT_SIZE(type, bytes) typedef char type##_is_##bytes##_bytes[sizeof(type) == (bytes) ? 1 : -1]
EXPECT_SIZE(SHMENUBARINFO, 36);
EXPECT_SIZE(TBBUTTONINFOW, 32);
EXPECT_SIZE(SHINITDLGINFO, 12);
EXPECT_SIZE(sockaddr_in, 16);
CHECK

if [ "$failed" -ne 0 ]; then
  echo "handset check: FAILED" >&2
  exit 1
fi
sources="$(find "$work/CMakeFiles" -name '*.obj' | wc -l)"
echo "handset check: $sources sources and the resources build, $(wc -l <"$work/velmora.exe") imports are all exported, structure sizes pass"
