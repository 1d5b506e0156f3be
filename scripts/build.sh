#!/usr/bin/env bash
# Installs what is missing and builds into $VELMORA_BUILD (default build/).
# Usage: scripts/build.sh [target...]   (no target: everything)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Absolute, as Wine refuses a relative prefix and the prefixes live there.
build="$(realpath -m "${VELMORA_BUILD:-$root/build}")"

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
