#!/bin/sh
# Makes a connected pair of pseudo-terminals for a test: one end linked into
# the Wine prefix as a COM port, the other at <dir>/device for the test to
# write. Runs until <dir>/alive disappears (or an hour passes); the test
# holds that file open with delete-on-close, so it goes with the test.
# Usage: pty_port.sh <dir> <com-link>
dir=$1
link=$2
exec </dev/null >"$dir/log" 2>&1

socat pty,rawer,link="$link" pty,rawer,link="$dir/device" &
relay=$!
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

end=$(( $(date +%s) + 3600 ))
while [ -e "$dir/alive" ] && kill -0 $relay 2>/dev/null && [ "$(date +%s)" -lt $end ]; do
  sleep 0.05
done
kill $relay 2>/dev/null
wait $relay 2>/dev/null
rm -f "$link" "$dir/device" "$dir/ready"
touch "$dir/done"
# The test removes the folder once it has seen "done"; a test that died
# never will.
sleep 5
rm -rf "$dir"
