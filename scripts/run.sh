#!/usr/bin/env bash
# Builds Velmora and runs it under Wine on a machine without serial hardware:
# COM2 is a pseudo-terminal fed by a simulated GPS receiver.
#
# With a display ($DISPLAY set) the window is left for you to use: press
# Start, then read the stream with socat at the TCP port the window shows
# (`socat -u TCP:127.0.0.1:20175 -` for the default).
# Without one, a virtual display is used and the run shows itself: Start is
# pressed through the window's own command, a loopback client prints the
# sentences that arrive, a screenshot is saved, and everything ends.
#
# Usage: scripts/run.sh [seconds to show the stream, default 10]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Absolute, as Wine refuses a relative prefix and the prefixes live there.
build="$(realpath -m "${VELMORA_BUILD:-$root/build}")"
seconds="${1:-10}"

bash "$root/scripts/build.sh" velmora velmora_press >/dev/null

# A prefix of its own, so the tests' registry clean-ups never meet it.
export VELMORA_PREFIX="$build/run-prefix"
wine="$build/wine-run"
press="$build/tools/velmora_press.exe"
work="$(mktemp -d /tmp/velmora-run.XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  bash "$root/scripts/stage.sh" down "$work"
  rm -rf "$work"
}
trap cleanup EXIT

headless=0
[ -n "${DISPLAY:-}" ] || headless=1
# This "handset" has a GPS receiver's driver on COM2.
DISPLAY="$(bash "$root/scripts/stage.sh" up "$work" 2)"
export DISPLAY
bash "$root/scripts/stage.sh" port "$work" 2
python3 "$root/tools/gps_simulator.py" "$work/device" </dev/null &
pids+=($!)

"$wine" "$build/velmora.exe" </dev/null >/dev/null 2>&1 &
program=$!
"$wine" "$press" wait 30000
# The TCP port the window shows: this prefix remembers the one an earlier
# run started on, so it need not be the default.
tcp="$("$wine" "$press" port | tr -d '\r')"

if [ "$headless" = 0 ]; then
  echo "Velmora is running on $DISPLAY with a simulated GPS receiver on COM2."
  echo "Press Start, then read the stream at the port in \"Output:\" (now $tcp):"
  echo "  socat -u TCP:127.0.0.1:$tcp -"
  wait "$program" || true
  exit 0
fi

if [ "$tcp" = 0 ]; then
  echo "The window's TCP port is 0: Start would listen on a port the system picks," >&2
  echo "which no client can know. Set another in \"Output:\" in a run with a display," >&2
  echo "or store one in this run's prefix (here the default, 20175) and run again:" >&2
  echo "  VELMORA_PREFIX=$VELMORA_PREFIX $wine reg add 'HKLM\\Software\\Tarnik\\Velmora' /v TcpPort /t REG_DWORD /d 20175 /f" >&2
  "$wine" "$press" close
  wait "$program" || true
  exit 1
fi

echo "== pressing Start"
"$wine" "$press" toggle
sleep 1
"$wine" "$press" status
echo "== what a client on 127.0.0.1:$tcp receives in ${seconds} s"
python3 - "$seconds" "$tcp" <<'PY'
import socket, sys, time
seconds = float(sys.argv[1])
s = socket.create_connection(("127.0.0.1", int(sys.argv[2])), timeout=5)
s.settimeout(0.5)
end = time.monotonic() + seconds
while time.monotonic() < end:
    try:
        data = s.recv(4096)
    except socket.timeout:
        continue
    if not data:
        break
    sys.stdout.write(data.decode("ascii", "replace").replace("\r", ""))
    sys.stdout.flush()
s.close()
PY
echo
"$wine" "$press" status
shot="$build/velmora-screenshot.png"
import -window Velmora "$shot" 2>/dev/null || import -window root "$shot"
echo "== screenshot: $shot"
echo "== pressing Stop and closing the window"
"$wine" "$press" toggle
sleep 0.5
"$wine" "$press" close
wait "$program" || true
echo "== done"
