#!/usr/bin/env bash
# The stage on which Velmora runs under Wine without serial hardware or a
# screen, shared by run.sh and tools/benchmark.py: the Wine prefix
# $VELMORA_PREFIX, booted, listing one active driver on COMn; a display;
# COMn as a pseudo-terminal whose device end is DIR/device.
# Usage: stage.sh up DIR n     prints the DISPLAY to use: $DISPLAY, or a
#                              virtual one started for this stage
#        stage.sh port DIR n   (re)makes COMn, afresh each time, so no byte
#                              left from an earlier use reaches the next
#        stage.sh hangup DIR   ends COMn as an unplugged device goes
#        stage.sh down DIR     ends the port, the display and the prefix's
#                              Wine server
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Absolute, as Wine refuses a relative prefix and the prefixes live there.
build="$(realpath -m "${VELMORA_BUILD:-$root/build}")"
: "${VELMORA_PREFIX:?set VELMORA_PREFIX to the Wine prefix of this stage}"
export VELMORA_PREFIX
dir=$2

end_port() {
  local pid
  pid=$(cat "$dir/port.pid" 2>/dev/null) || return 0
  rm -f "$dir/port.pid"
  # Only the relay this script started; a recycled pid is left alone.
  grep -q com-port.sh "/proc/$pid/cmdline" 2>/dev/null || return 0
  kill "$pid" 2>/dev/null || return 0
  # It removes its links on the way out.
  for _ in $(seq 50); do [ -e "$dir/done" ] && break; sleep 0.1; done
}

case $1 in
up)
  # Wine's output goes nowhere: its background processes would hold on to
  # whatever they were given. The wrapper boots the prefix around any
  # program; `wineboot -i` would start its services twice.
  "$build/wine-run" cmd /c exit 0 </dev/null >/dev/null 2>&1
  # The handset lists the ports of its active drivers; this one has a single
  # driver, on COMn, so that port is the one selected.
  "$build/wine-run" reg add 'HKLM\Drivers\Active\42' /v Name /d "COM$3:" /f </dev/null >/dev/null 2>&1
  if [ -n "${DISPLAY:-}" ]; then
    echo "$DISPLAY"
  else
    echo ":$(sh "$root/scripts/display.sh" start "$dir/display")"
  fi
  ;;
port)
  end_port
  rm -f "$dir/done" "$dir/ready"
  sh "$root/scripts/com-port.sh" "$dir" "$VELMORA_PREFIX/dosdevices/com$3" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/port.pid"
  for _ in $(seq 250); do [ -e "$dir/ready" ] && exit 0; sleep 0.02; done
  echo "COM$3 never became ready (see $dir/log)" >&2
  exit 1
  ;;
hangup)
  # Both pseudo-terminals hang up and COMn's link goes, as when a receiver
  # is unplugged while a program holds the port.
  end_port
  ;;
down)
  end_port
  sh "$root/scripts/display.sh" stop "$dir/display"
  WINEPREFIX="$VELMORA_PREFIX" /usr/lib/wine/wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: $0 up|port DIR n, or hangup|down DIR" >&2
  exit 2
  ;;
esac
