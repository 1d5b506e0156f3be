#!/usr/bin/env python3
"""Measures Velmora under Wine against the floor of its design: throughput
beside bare read-and-send loops under Wine and socat, chunk latency, a GPS
receiver's sentences as a client receives them, CPU while idle, a device
that hangs up, the stripped program's size, and how long Stop takes in four
states. Every figure comes from this one run, on this machine;
docs/benchmark.md says what each one measures and how.

The parts: bench_stage.py (the Wine prefix, the port, the program and its
processes), bench_subjects.py (what the program is measured against),
bench_measures.py (each measure) and bench_table.py (the table). Run it
through scripts/benchmark.sh, which builds everything first.
"""
import argparse
import hashlib
import os
import random
import sys
import time

import bench_measures as measures
import bench_table as table
from bench_stage import Stage
from bench_subjects import SUBJECTS


def measure(stage, args):
    """Every figure but Stop's, printed as each is taken."""
    f = {}
    data = os.urandom(args.mib << 20)
    digest = hashlib.sha256(data).hexdigest()
    f["rates"] = {kind: [] for kind in SUBJECTS}
    # Round by round, so that a machine that drifts faster or slower over the
    # run weighs on every subject alike, and each round's ratios compare
    # subjects measured back to back.
    for rep in range(args.reps):
        for kind in SUBJECTS:
            rate, ok = measures.transfer(stage, kind, data, digest)
            if not ok:
                raise SystemExit("%s: stream differs from the device's (SHA-256)" % kind)
            f["rates"][kind].append(rate)
            print("throughput %-10s rep %d: %.2f MB/s, SHA-256 ok" % (kind, rep + 1, rate), flush=True)
    f["latency"], f["gps"] = {}, {}
    for kind in ("program", "bounded"):
        f["latency"][kind] = measures.latency(stage, kind, args.latency_blocks)
        print("latency %-10s: median %.2f ms, p99 %.2f ms" % ((kind,) + f["latency"][kind]), flush=True)
    for kind in ("program", "bounded"):
        f["gps"][kind] = measures.gps(stage, kind, args.gps_seconds)
        gps = f["gps"][kind]
        print("gps %-10s: sentence delay median %.0f ms, p99 %.0f ms; %.1f receives a second; CPU %.3f s"
              % ((kind,) + gps.delay + (gps.receives, gps.cpu)), flush=True)
    f["listening"], f["serving"] = measures.idle(stage, args.idle_seconds)
    print("idle: listening %.3f s (+server %.3f s), serving silent %.3f s (+server %.3f s)"
          % (f["listening"] + f["serving"]), flush=True)
    f["ended"], f["hangup_cpu"] = measures.hangup(stage)
    print("hang-up: stream ended after %s, CPU %.3f s over 4 s"
          % ("never" if f["ended"] is None else "%.2f s" % f["ended"], f["hangup_cpu"]), flush=True)
    f["size"] = measures.size(stage)
    return f


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--mib", type=int, default=64)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--latency-blocks", type=int, default=1000)
    parser.add_argument("--gps-seconds", type=int, default=30)
    parser.add_argument("--idle-seconds", type=float, default=30)
    parser.add_argument("--stops", type=int, default=20)
    parser.add_argument("--stop-only", action="store_true", help="measure only how long Stop takes")
    parser.add_argument("--seed", type=int, default=None, help="when each Stop on a silent device lands")
    parser.add_argument("--out", default=None)
    args = parser.parse_args()
    if args.seed is None:
        args.seed = random.SystemRandom().randrange(1 << 31)
    # The command that repeats this run, the moments of its Stops included.
    options = ["--stop-only"] if args.stop_only else []
    for name in ("mib", "reps", "latency_blocks", "gps_seconds", "idle_seconds", "stops"):
        if getattr(args, name) != parser.get_default(name):
            options += ["--" + name.replace("_", "-"), "%g" % getattr(args, name)]
    options += ["--seed", str(args.seed)]
    settings = [] if args.stop_only else [
        "%d MiB per transfer, median of %d rounds, %d latency blocks, %g s per idle figure"
        % (args.mib, args.reps, args.latency_blocks, args.idle_seconds)]
    settings.append("%d Stops in each state" % args.stops)

    # Named as the run begins: scripts/benchmark.sh has just built it.
    commit = table.measured_commit()
    began = os.getloadavg()[0], time.monotonic()
    stage = Stage(args.build)
    try:
        stage.up()
        rows, tail = ([], []) if args.stop_only else table.figure_rows(measure(stage, args), args)
        stop_rows, stop_tail = table.stop_rows(measures.stop_latency(stage, args.stops, args.seed), args.stops)
        text = table.render(commit, " ".join(["bash scripts/benchmark.sh"] + options), ", ".join(settings),
                            table.machine(stage, began), rows + stop_rows, tail + stop_tail)
    finally:
        stage.cleanup()
    print()
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            f.write(text + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
