#!/usr/bin/env python3
"""A GPS receiver for machines without one: writes NMEA 0183 sentences with
correct checksums to a serial device at the pace of a real serial line.

Usage: gps_simulator.py DEVICE [--baud 4800] [--seconds N]
"""
import argparse
import datetime
import math
import os
import sys
import time


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
    yield sentence("GPGSV,2,1,08,04,45,120,42,05,30,045,39,09,62,300,44,12,15,210,33")
    yield sentence("GPGSV,2,2,08,17,50,080,41,24,22,160,36,25,10,330,30,29,70,020,45")
    yield sentence("GPRMC,%s,A,%s,%s,%s,%s,%.1f,%.1f,%s,,,A" % (hhmmss, la, ns, lo, ew, speed_knots, course, ddmmyy))
    yield sentence("GPVTG,%.1f,T,,M,%.1f,N,%.1f,K,A" % (course, speed_knots, speed_knots * 1.852))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("device")
    parser.add_argument("--baud", type=int, default=4800)
    parser.add_argument("--seconds", type=float, default=0, help="0: until stopped")
    args = parser.parse_args()

    fd = os.open(args.device, os.O_WRONLY | os.O_NOCTTY)
    byte_time = 10.0 / args.baud   # start bit, 8 data bits, stop bit
    start = time.monotonic()
    t = 0
    try:
        while args.seconds <= 0 or time.monotonic() - start < args.seconds:
            second_start = time.monotonic()
            for text in fix(t, datetime.datetime.utcnow()):
                data = text.encode("ascii")
                os.write(fd, data)
                time.sleep(len(data) * byte_time)
            t += 1
            rest = 1.0 - (time.monotonic() - second_start)
            if rest > 0:
                time.sleep(rest)
    except (KeyboardInterrupt, BrokenPipeError, OSError):
        pass
    finally:
        os.close(fd)
    return 0


if __name__ == "__main__":
    sys.exit(main())
