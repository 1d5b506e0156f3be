#!/bin/sh
# Makes a COM port of a Wine prefix out of a connected pair of
# pseudo-terminals: one end linked at COM_LINK (say
# $WINEPREFIX/dosdevices/com2), the other at DIR/device for whoever plays
# the device. DIR/ready appears once both are there. Runs until it is
# terminated or, when DIR/alive existed at the start, until that goes (a
# test holds it open with delete-on-close, so it goes with the test).
# Usage: com-port.sh DIR COM_LINK
dir=$1
link=$2
exec </dev/null >"$dir/log" 2>&1

socat pty,rawer,link="$link" pty,rawer,link="$dir/device" &
relay=$!
finish() {
  kill $relay 2>/dev/null
  wait $relay 2>/dev/null
  rm -f "$link" "$dir/device" "$dir/ready"
  touch "$dir/done"
}
trap 'finish; exit 0' TERM INT
tries=0
while [ ! -e "$link" ] || [ ! -e "$dir/device" ]; do
  sleep 0.02
  tries=$((tries + 1))
  [ $tries -gt 250 ] && exit 1
done
# Hold both ends open: when the last descriptor of a pseudo-terminal closes,
# the relay reads a hang-up and quits, and the program closes its port
# after every client.
exec 3<>"$link" 4<>"$dir/device"
touch "$dir/ready"

watched=0
[ -e "$dir/alive" ] && watched=1
end=$(( $(date +%s) + 3600 ))
while kill -0 $relay 2>/dev/null; do
  if [ $watched = 1 ] && { [ ! -e "$dir/alive" ] || [ "$(date +%s)" -ge $end ]; }; then break; fi
  sleep 0.05
done
finish
# A test removes the folder once it has seen "done"; a test that died
# never will. Waiting no longer than that keeps a test run from ending
# with this script still about.
if [ $watched = 1 ]; then
  for _ in $(seq 100); do
    [ -d "$dir" ] || exit 0
    sleep 0.05
  done
  rm -rf "$dir"
fi
