"""The benchmark's table: its rows from one run's figures, and the two lines
above it that say which commit, command and machine they belong to.
"""
import datetime
import os
import statistics
import subprocess
import time

import gps_simulator
from bench_measures import GPS_BAUD, STOP_STATES
from bench_stage import run

RATIO_TARGET = 0.95


def paired(numerators, denominators):
    """Each round's ratio, of two subjects measured back to back in it:
    median, lowest, highest, and every one in round order."""
    ratios = [a / b for a, b in zip(numerators, denominators)]
    return statistics.median(ratios), min(ratios), max(ratios), ratios


def figure_rows(f, args):
    """The rows before the Stop rows, and the lines under the table."""
    med = {k: statistics.median(v) for k, v in f["rates"].items()}
    own = paired(f["rates"]["program"], f["rates"]["bounded"])
    method = paired(f["rates"]["bounded"], f["rates"]["sync"])
    verdict = "meets" if own[0] >= RATIO_TARGET else "misses"
    gps_program, gps_loop = f["gps"]["program"], f["gps"]["bounded"]
    small, large = gps_program.bursts
    burst = "%d bytes" % small if small == large else "%d to %d bytes" % (small, large)
    gps = "GPS at %d baud: a burst of %s each second, in %d-byte pieces at line rate, %g s" % (
        GPS_BAUD, burst, gps_simulator.PIECE, args.gps_seconds)
    return [
        ("Velmora under Wine, COM port to loopback client", "%.2f MB/s" % med["program"]),
        ("Bare loop under Wine, with the program's read time-outs", "%.2f MB/s" % med["bounded"]),
        ("Bare loop under Wine, plain blocking 512-byte reads (the port's own time-outs)", "%.2f MB/s" % med["sync"]),
        ("socat, native, 512-byte buffer, same path", "%.2f MB/s" % med["socat"]),
        ("Velmora / bare loop with the same time-outs, each round's own: median (lowest to highest); "
         "target at least %.2f" % RATIO_TARGET, "%.3f (%.3f to %.3f): %s the target" % (own[:3] + (verdict,))),
        ("The program's time-outs / plain blocking reads, each round's own: median (lowest to highest)",
         "%.3f (%.3f to %.3f)" % method[:3]),
        ("Chunk latency, Velmora: median / 99th percentile", "%.2f ms / %.2f ms" % f["latency"]["program"]),
        ("Chunk latency, bare loop with the same time-outs: median / 99th percentile",
         "%.2f ms / %.2f ms" % f["latency"]["bounded"]),
        ("%s; Velmora under Wine: each sentence's last byte, written into the device to received by the client: "
         "median / 99th percentile" % gps, "%.0f ms / %.0f ms" % gps_program.delay),
        ("The same GPS, bare loop with the same time-outs: each sentence's delay: median / 99th percentile",
         "%.0f ms / %.0f ms" % gps_loop.delay),
        ("The same GPS: the client's non-empty receives a second, Velmora / bare loop",
         "%.1f / %.1f" % (gps_program.receives, gps_loop.receives)),
        ("The same GPS: CPU over %g s, Velmora / bare loop" % args.gps_seconds,
         "%.3f s / %.3f s" % (gps_program.cpu, gps_loop.cpu)),
        ("CPU while listening, %g s: program / its Wine server" % args.idle_seconds, "%.3f s / %.3f s" % f["listening"]),
        ("CPU while serving a silent device, %g s: program / its Wine server" % args.idle_seconds,
         "%.3f s / %.3f s" % f["serving"]),
        ("Device hung up while a client is served: the client's stream ends after / program's CPU over 4 s",
         "%s / %.3f s" % ("never" if f["ended"] is None else "%.2f s" % f["ended"], f["hangup_cpu"])),
        ("Stripped program size", "%d bytes" % f["size"]),
    ], [
        "",
        "All rounds, MB/s: " + "; ".join("%s %s" % (k, ", ".join("%.2f" % r for r in v))
                                         for k, v in f["rates"].items()),
        "",
        "Each round's ratio, Velmora / bare loop with the same time-outs: " + ", ".join("%.3f" % r for r in own[3]),
    ]


def stop_rows(stop, stops):
    """The Stop rows, and the line that lists every Stop."""
    return [("Stop to the key reading \"Start\", enabled, %s (%d Stops): median / 99th percentile" % (text, stops),
             "%.1f ms / %.1f ms" % stop[state][:2]) for state, text in STOP_STATES.items()], [
        "", "All Stops, ms: " + "; ".join("%s %s" % (state, stop[state][2]) for state in STOP_STATES)]


def measured_commit():
    """The commit the figures belong to, so a table can be traced to its code."""
    here = os.path.dirname(os.path.abspath(__file__))
    git = lambda *a: subprocess.run(["git", "-C", here] + list(a), capture_output=True, text=True).stdout.strip()
    commit = git("rev-parse", "--short", "HEAD") or "an unknown commit"
    return "commit " + commit + (" with uncommitted changes" if git("status", "--porcelain", "--untracked-files=no") else "")


def machine(stage, began):
    """What the figures depend on besides the program: the machine, its load
    as the run began and how long the run took."""
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "unknown")
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) / (1 << 20)
    with open("/etc/os-release") as f:
        system = next((line.split("=", 1)[1].strip().strip('"') for line in f if line.startswith("PRETTY_NAME=")),
                      "unknown system")
    wine = run([stage.wine, "--version"], stage.env).strip()
    took = int(time.monotonic() - began[1])
    return ("On a %d-core %s machine with %.0f GiB of memory, %s, %s; load average %.2f as the run began; "
            "the run took %d min %d s." % (os.cpu_count(), cpu, memory, system, wine, began[0], took // 60, took % 60))


def render(commit, command, settings, machine_line, rows, tail):
    head = ["Made on %s at %s with `%s` (%s)." % (datetime.date.today().isoformat(), commit, command, settings),
            machine_line]
    return "\n".join(head + ["", "| Measure | Result |", "|---|---|"] + ["| %s | %s |" % row for row in rows] + tail)
