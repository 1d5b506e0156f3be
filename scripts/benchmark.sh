#!/usr/bin/env bash
# Builds Velmora and measures it (throughput, latency, idle cost, size);
# the table is printed and written to build/benchmark.md.
# Usage: scripts/benchmark.sh [--mib N] [--reps N] [--latency-blocks N] [--idle-seconds S]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELMORA_BUILD:-$root/build}"

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target velmora velmora_press bench_loop >/dev/null
python3 "$root/tools/benchmark.py" --build "$build" --out "$build/benchmark.md" "$@"
