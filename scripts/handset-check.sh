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
#   the handset lacks (operator new, guarded local statics), and otherwise
#   links a Windows CE image against the handset's exports alone.
# - That image passes the check the handset build runs on its own
#   (cmake/check-handset-image.cmake), names included; images the handset
#   would refuse are refused by it, each for its fault.
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

check_image() {  # IMAGE: the stand-in's, so i386
  cmake -D IMAGE="$1" -D MACHINE=0x014C -D EXPORTS="$root/platform/wince/sdk/exports.txt" \
        -D NAMES=ON -P "$root/cmake/check-handset-image.cmake" 2>&1
}
image="" refused=0 untried=""
if [ "$failed" -eq 0 ]; then
  if image="$(check_image "$work/velmora.exe")"; then
    image="${image#-- }"
  else
    echo "$image" >&2
    failed=1
  fi

  # Images the handset would refuse, each of which the check must refuse
  # for its own fault: linked with a newer subsystem version, importing a
  # module the handset lacks (a desktop habit), linked for the desktop
  # subsystem, and the desktop program itself (when it has been built).
  printf 'LIBRARY kernel32.dll\nEXPORTS\nGetTickCount64\n' >"$work/kernel32.def"
  i686-w64-mingw32-dlltool -d "$work/kernel32.def" -l "$work/libkernel32.a"
  mapfile -t link <"$work/velmora.exe.imports/link"
  bad_images=(
    "$work/wince-5.00.exe|subsystem version 5.00|-Wl,--subsystem,wince:5.00"
    "$work/kernel32.exe|imports kernel32.dll, a module the handset does not have|-Wl,-u,_GetTickCount64 $work/libkernel32.a"
    "$work/desktop-subsystem.exe|subsystem 2 (Windows GUI, desktop)|-Wl,--subsystem,windows:4.20"
    "${VELMORA_BUILD:-$root/build}/velmora.exe|machine 0x8664 (x86-64)|"
  )
  # The links run side by side; each leaves its output in BAD.log.
  for row in "${bad_images[@]}"; do
    IFS='|' read -r bad fault extra <<<"$row"
    # shellcheck disable=SC2086  # the extra link arguments are words
    [ -z "$extra" ] || (cd "$work" && "${link[@]}" $extra -o "$bad") >"$bad.log" 2>&1 &
  done
  wait
  for row in "${bad_images[@]}"; do
    IFS='|' read -r bad fault extra <<<"$row"
    if [ ! -f "$bad" ]; then
      if [ -n "$extra" ]; then
        echo "handset check: could not link $bad:" >&2
        cat "$bad.log" >&2
        failed=1
      else
        untried=" (not the desktop program: $bad is not built)"
      fi
    elif output="$(check_image "$bad")"; then
      echo "handset check: $bad passes the image check, but the handset refuses it: $fault" >&2
      failed=1
    elif ! grep -qF "$fault" <<<"$output"; then
      echo "handset check: $bad is refused, but not for: $fault" >&2
      echo "$output" >&2
      failed=1
    else
      refused=$((refused + 1))
    fi
  done
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
echo "handset check: $sources sources and the resources build and link; $image;" \
     "$refused bad images refused, each for its fault$untried; structure sizes pass"
