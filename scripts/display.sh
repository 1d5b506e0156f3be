#!/bin/sh
# Starts or stops a virtual X display (Xvfb): Wine cannot make a window
# without one. `start` takes the first display number from 90 up that no
# live process holds and prints it. Nothing here deletes a lock file: the
# X server itself refuses a number whose lock names a live process, and
# takes over one whose holder is gone, so runs side by side never meet.
# Usage: display.sh start STATE [XVFB]   prints N; writes STATE.pid, STATE.display
#        display.sh stop STATE
set -u
state=$2

case $1 in
start)
    xvfb=${3:-Xvfb}
    "$0" stop "$state"
    n=90
    while [ $n -lt 190 ]; do
        "$xvfb" ":$n" -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
        pid=$!
        # Ours once the lock names this server and its socket is there.
        for _ in $(seq 100); do
            kill -0 $pid 2>/dev/null || break
            lock=/tmp/.X$n-lock
            if [ -f "$lock" ] && [ "$(tr -d ' \n' <"$lock")" = "$pid" ] && [ -S "/tmp/.X11-unix/X$n" ]; then
                echo "$pid" >"$state.pid"
                echo "$n" >"$state.display"
                echo "$n"
                exit 0
            fi
            sleep 0.1
        done
        kill $pid 2>/dev/null
        n=$((n + 1))
    done
    echo "no free X display number from 90 to 189" >&2
    exit 1
    ;;
stop)
    pid=$(cat "$state.pid" 2>/dev/null)
    # Only a server this script started; a recycled pid is left alone.
    if [ -n "$pid" ] && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = Xvfb ]; then
        kill "$pid"
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$state.pid" "$state.display"
    ;;
*)
    echo "usage: $0 start|stop STATE [XVFB]" >&2
    exit 2
    ;;
esac
