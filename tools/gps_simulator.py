#!/usr/bin/env python3
"""A GPS receiver for machines without one: writes a burst of NMEA 0183
sentences with correct checksums to a serial device each second, as a real
serial line brings them.

Usage: gps_simulator.py DEVICE [--baud 4800] [--seconds N]
"""
import argparse
import datetime
import math
import os
import sys
import time

# A UART's receive FIFO hands bytes over once 14 have come (its usual
# trigger level), so a port's reader meets a line in pieces of this size.
PIECE = 14


def checksum(body):
    value = 0
    for ch in body.encode("ascii"):
        value ^= ch
    return "%02X" % value


def sentence(body):
    return "$%s*%s\r\n" % (body, checksum(body))


def degrees_minutes(value, positive, negative, width):
    hemisphere = positive if value >= 0 else negative
    value = abs(value)
    whole = int(value)
    minutes = (value - whole) * 60
    return "%0*d%07.4f" % (width, whole, minutes), hemisphere


def fix(t, now):
    """One second's worth of sentences for a receiver walking a slow circle."""
    lat = 50.0875 + 0.0005 * math.sin(t / 60.0)
    lon = 14.4213 + 0.0008 * math.cos(t / 60.0)
    la, ns = degrees_minutes(lat, "N", "S", 2)
    lo, ew = degrees_minutes(lon, "E", "W", 3)
    hhmmss = now.strftime("%H%M%S") + ".00"
    ddmmyy = now.strftime("%d%m%y")
    speed_knots = 2.7
    course = (t * 6) % 360
    yield sentence("GPGGA,%s,%s,%s,%s,%s,1,08,0.9,245.4,M,45.2,M,," % (hhmmss, la, ns, lo, ew))
    yield sentence("GPGSA,A,3,04,05,09,12,17,24,25,29,,,,,1.8,0.9,1.6")
    yield sentence("GPGSV,3,1,10,04,45,120,42,05,30,045,39,09,62,300,44,12,15,210,33")
    yield sentence("GPGSV,3,2,10,17,50,080,41,24,22,160,36,25,10,330,30,29,70,020,45")
    yield sentence("GPGSV,3,3,10,31,05,250,,32,08,100,")
    yield sentence("GPRMC,%s,A,%s,%s,%s,%s,%.1f,%.1f,%s,,,A" % (hhmmss, la, ns, lo, ew, speed_knots, course, ddmmyy))
    yield sentence("GPVTG,%.1f,T,,M,%.1f,N,%.1f,K,A" % (course, speed_knots, speed_knots * 1.852))


def burst(t):
    """Second `t`'s sentences as they go on the line."""
    return [text.encode("ascii") for text in fix(t, datetime.datetime.utcnow())]


def send_at_line_rate(fd, data, baud, start, piece=PIECE):
    """Writes `data` as a port's reader meets it: each `piece` bytes once the
    line, at `baud` from `start` on, has brought the last of them. Returns
    each piece's end, as an offset into `data`, and the moment it was written."""
    byte_time = 10.0 / baud   # start bit, 8 data bits, stop bit
    written = []
    for begin in range(0, len(data), piece):
        end = min(begin + piece, len(data))
        delay = start + end * byte_time - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        os.write(fd, data[begin:end])
        written.append((end, time.monotonic()))
    return written


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("device")
    parser.add_argument("--baud", type=int, default=4800)
    parser.add_argument("--seconds", type=float, default=0, help="0: until stopped")
    args = parser.parse_args()

    fd = os.open(args.device, os.O_WRONLY | os.O_NOCTTY)
    start = time.monotonic()
    t = 0
    try:
        # Each burst begins on its second, however long the last one took.
        while args.seconds <= 0 or t < args.seconds:
            send_at_line_rate(fd, b"".join(burst(t)), args.baud, start + t)
            t += 1
            rest = start + t - time.monotonic()
            if rest > 0:
                time.sleep(rest)
    except (KeyboardInterrupt, BrokenPipeError, OSError):
        pass
    finally:
        os.close(fd)
    return 0


if __name__ == "__main__":
    sys.exit(main())
