#!/usr/bin/env bash
# Builds Velmora and measures it (throughput, latency, a GPS's sentences,
# idle cost, size, how long Stop takes); the table is printed and written to
# $VELMORA_BUILD/benchmark.md (build/ by default). What each row measures:
# docs/benchmark.md.
# Usage: scripts/benchmark.sh [--mib N] [--reps N] [--latency-blocks N] [--gps-seconds S]
#                              [--idle-seconds S] [--stops N] [--stop-only] [--seed N]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Absolute, as Wine refuses a relative prefix and the prefixes live there.
build="$(realpath -m "${VELMORA_BUILD:-$root/build}")"

bash "$root/scripts/build.sh" velmora velmora_press bench_loop >/dev/null
python3 "$root/tools/benchmark.py" --build "$build" --out "$build/benchmark.md" "$@"
