#!/usr/bin/env bash
# Installs what is missing, builds everything, checks the handset build and
# runs every test under Wine.
# Usage: scripts/test.sh [extra ctest arguments]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Absolute, as Wine refuses a relative prefix and the prefixes live there.
build="$(realpath -m "${VELMORA_BUILD:-$root/build}")"

prefix="${VELMORA_PREFIX:-$build/wineprefix}"
# The prefix's Wine server would outlive the run by a minute, and its
# background processes with it: a finished run leaves none of them.
trap 'WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT

bash "$root/scripts/build.sh"
# The handset's build cannot run here; at least every source must compile
# against the handset's own API.
bash "$root/scripts/handset-check.sh"
# A prefix still being created makes the first test listing fail: boot it
# first. Any program does, as the wrapper creates the prefix and starts a
# new server's services; `wineboot -i` on a prefix that exists would start
# them a second time, and every test that opens a window would then take
# some 20 s longer.
"$build/wine-run" cmd /c exit 0 >/dev/null 2>&1 || true
cd "$build"
# A filter that matches nothing must not read as a pass.
ctest --output-on-failure --timeout 600 --no-tests=error "$@"
