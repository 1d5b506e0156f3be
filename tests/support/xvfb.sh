#!/bin/sh
# Starts and stops the virtual X display that the window tests draw on:
# without one, Wine cannot create a single window.
# Usage: xvfb.sh start|stop DISPLAY-NUMBER PID-FILE
set -eu
number="$2"
pidfile="$3"
socket="/tmp/.X11-unix/X$number"

case "$1" in
start)
  if [ -f "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null && [ -e "$socket" ]; then
    exit 0
  fi
  Xvfb ":$number" -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo $! >"$pidfile"
  for _ in $(seq 200); do
    [ -e "$socket" ] && exit 0
    sleep 0.05
  done
  echo "Xvfb :$number did not come up" >&2
  exit 1
  ;;
stop)
  if [ -f "$pidfile" ]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
  ;;
esac
