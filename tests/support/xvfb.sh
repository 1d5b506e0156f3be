#!/bin/sh
# Starts or stops the private X server that tests creating windows need:
# Wine cannot make a window without a display.
# Usage: xvfb.sh start|stop DISPLAY_NUMBER PID_FILE [XVFB]
set -u
action=$1
display=$2
pidfile=$3
xvfb=${4:-Xvfb}
lock=/tmp/.X$display-lock
socket=/tmp/.X11-unix/X$display

is_xserver() {
    [ -n "$1" ] && kill -0 "$1" 2>/dev/null || return 1
    case "$(cat /proc/"$1"/comm 2>/dev/null)" in
        Xvfb|Xorg|X) return 0 ;;
    esac
    return 1
}

# Ends the server this build started, if it is still there; a recycled pid
# belonging to something else is left alone.
stop_ours() {
    [ -f "$pidfile" ] || return 0
    pid=$(cat "$pidfile" 2>/dev/null)
    if is_xserver "$pid"; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$pidfile"
}

case $action in
start)
    # A run that was cut short leaves its server behind, or its lock.
    stop_ours
    if [ -f "$lock" ]; then
        holder=$(tr -d ' \n' <"$lock" 2>/dev/null)
        if is_xserver "$holder"; then
            echo "display :$display is held by X server $holder; choose another display number" >&2
            exit 1
        fi
        rm -f "$lock" "$socket"
    fi
    "$xvfb" ":$display" -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    pid=$!
    echo "$pid" >"$pidfile"
    for _ in $(seq 100); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "Xvfb :$display did not start" >&2
            rm -f "$pidfile"
            exit 1
        fi
        [ -S "$socket" ] && exit 0
        sleep 0.1
    done
    echo "Xvfb :$display did not come up within 10 s" >&2
    stop_ours
    exit 1
    ;;
stop)
    stop_ours
    ;;
*)
    echo "usage: $0 start|stop DISPLAY_NUMBER PID_FILE [XVFB]" >&2
    exit 2
    ;;
esac
