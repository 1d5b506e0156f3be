#!/usr/bin/env python3
"""Measures Velmora under Wine against the floor of its design: throughput
beside bare read-and-send loops under Wine and socat, chunk latency, CPU
while idle, the stripped program's size, and how long Stop takes in four
states. Every figure comes from this one run, on this machine;
docs/benchmark.md says what each one measures and how.

The program measured is the process this script started, and its Wine
server the one serving this script's own prefix, both checked through /proc.
Run it through scripts/benchmark.sh, which builds everything first.
"""
import argparse
import contextlib
import datetime
import hashlib
import math
import os
import random
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts")
COM = 5
TCP_PORT = 20175


def percentiles(times):
    """Median and 99th percentile (nearest rank) of a list of times."""
    times = sorted(times)
    return statistics.median(times), times[math.ceil(len(times) * 0.99) - 1]


def run(argv, env, check=True):
    """A command's output, through a file: Wine's background processes started
    along the way would hold a pipe open long after the command ended."""
    with tempfile.TemporaryFile(mode="w+") as out:
        done = subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        if check and done.returncode != 0:
            raise SystemExit("failed: %s" % " ".join(argv))
        out.seek(0)
        return out.read()


def cpu_seconds(pid):
    """User plus system CPU seconds a process has used so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Bench:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.work = tempfile.mkdtemp(prefix="velmora-bench-")
        self.prefix = os.path.join(self.build, "bench-prefix")
        self.env = dict(os.environ, VELMORA_BUILD=self.build, VELMORA_PREFIX=self.prefix)
        self.wine = os.path.join(self.build, "wine-run")
        self.program = os.path.join(self.build, "velmora.exe")
        self.device = os.path.join(self.work, "device")
        self.procs = []

    def stage(self, *argv):
        return run(["bash", os.path.join(SCRIPTS, "stage.sh"), argv[0], self.work, *argv[1:]], self.env)

    def press(self, *argv, check=True):
        """velmora_press, run against the program's window."""
        return run([self.wine, os.path.join(self.build, "tools", "velmora_press.exe"), *argv], self.env, check)

    def spawn(self, argv, stdout=subprocess.DEVNULL):
        p = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.DEVNULL)
        self.procs.append(p)
        return p

    def stop(self, p, timeout=5):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def connect(self, timeout=20, receive_buffer=0):
        end = time.monotonic() + timeout
        while True:
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                if receive_buffer:
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
                s.settimeout(60)
                s.connect(("127.0.0.1", TCP_PORT))
                return s
            except OSError:
                s.close()
                if time.monotonic() > end:
                    raise
                time.sleep(0.05)

    def start_program(self, toggle=True):
        """The program, started by this process; its window is up, and with
        `toggle` its key has been pressed once (Start)."""
        program = self.spawn([self.wine, self.program])
        self.press("wait", "30000")
        # The wrapper execs Wine, which runs the program in the same process
        # and names it in the command line: make sure the pid measured is it.
        exe = os.path.basename(os.path.realpath("/proc/%d/exe" % program.pid))
        with open("/proc/%d/cmdline" % program.pid, "rb") as f:
            name = f.read().split(b"\0")[0].decode(errors="replace").replace("\\", "/")
        if not exe.startswith("wine") or os.path.basename(name) != os.path.basename(self.program):
            raise SystemExit("process %d is not the program started (%s running %s)" % (program.pid, exe, name))
        if toggle:
            self.press("toggle")
        return program

    def close_program(self, program):
        self.press("close", check=False)
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            self.stop(program)

    def start_subject(self, kind):
        if kind == "program":
            return self.start_program()
        link = os.path.join(self.prefix, "dosdevices", "com%d" % COM)
        if kind == "socat":
            return self.spawn(["socat", "-u", "-b512", "OPEN:%s,rawer" % link,
                               "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr" % TCP_PORT])
        loop = self.spawn([self.wine, os.path.join(self.build, "tools", "bench_loop.exe"), kind,
                           "COM%d" % COM, str(TCP_PORT)], stdout=subprocess.PIPE)
        loop.stdout.readline()   # "listening"
        return loop

    def server_pid(self):
        """The Wine server of this prefix: the process holding the lock in its
        directory (Debian's Wine names that directory's parent in the prefix,
        upstream Wine uses /tmp/.wine-UID), found in /proc/locks."""
        st = os.stat(self.prefix)
        named = os.path.join(self.prefix, "wineserver")
        parent = open(named).read().strip() if os.path.exists(named) else ".wine-%d" % os.getuid()
        folder = os.path.join("/tmp", parent, "server-%x-%x" % (st.st_dev, st.st_ino))
        lock = os.stat(os.path.join(folder, "lock"))
        key = "%02x:%02x:%d" % (os.major(lock.st_dev), os.minor(lock.st_dev), lock.st_ino)
        with open("/proc/locks") as f:
            for fields in (line.split() for line in f):
                # A lock is released when its holder ends: that one is alive.
                if fields[5:6] == [key] and os.readlink("/proc/%s/cwd" % fields[4]) == folder:
                    return int(fields[4])
        raise SystemExit("no Wine server holds %s" % folder)

    @contextlib.contextmanager
    def serving(self, kind):
        """A subject on a fresh port with a client connected: (client, device fd)."""
        self.stage("port", str(COM))
        subject = self.start_subject(kind)
        client = self.connect()
        time.sleep(0.3)   # the port is opened once the client is accepted
        fd = os.open(self.device, os.O_WRONLY | os.O_NOCTTY)
        try:
            yield client, fd
        finally:
            os.close(fd)
            client.close()
            self.close_program(subject) if kind == "program" else self.stop(subject)

    def transfer(self, kind, data, digest):
        with self.serving(kind) as (client, fd):
            start = time.monotonic()
            writer = threading.Thread(target=lambda: [os.write(fd, data[i:i + 65536])
                                                      for i in range(0, len(data), 65536)])
            writer.start()
            h = hashlib.sha256()
            got = 0
            while got < len(data):
                chunk = client.recv(1 << 20)
                if not chunk:
                    break
                h.update(chunk)
                got += len(chunk)
            elapsed = time.monotonic() - start
            writer.join()
        return len(data) / elapsed / 1e6, got == len(data) and h.hexdigest() == digest

    def latency(self, kind, blocks):
        """From the 512th byte of a block written into the device to the block's arrival."""
        block = os.urandom(512)
        times = []
        with self.serving(kind) as (client, fd):
            for _ in range(blocks):
                os.write(fd, block[:511])
                time.sleep(0.001)
                os.write(fd, block[511:])   # the 512th byte
                t0 = time.monotonic()
                got = b""
                while len(got) < 512:
                    got += client.recv(512 - len(got))
                times.append((time.monotonic() - t0) * 1000)
                if got != block:
                    raise SystemExit("latency block corrupted")
        return percentiles(times)

    def idle(self, seconds):
        """CPU seconds over `seconds` of the program and of its Wine server,
        listening, then serving a silent device."""
        def measure(pid):
            a = cpu_seconds(pid), cpu_seconds(server)
            time.sleep(seconds)
            return cpu_seconds(pid) - a[0], cpu_seconds(server) - a[1]

        self.stage("port", str(COM))
        program = self.start_program()
        time.sleep(2)   # listening by now; a probing client would be served, not idle
        server = self.server_pid()
        listening = measure(program.pid)
        # Restart so that the silent device is served with a fresh open.
        self.close_program(program)
        program = self.start_program()
        client = self.connect()
        time.sleep(1)
        serving = measure(program.pid)
        client.close()
        self.close_program(program)
        return listening, serving

    def hangup(self, seconds=4):
        """A device that goes away while a client is served: the seconds until
        the client's stream ends (None: not within `seconds`), and the
        program's CPU seconds over the `seconds` after the hang-up."""
        self.stage("port", str(COM))
        program = self.start_program()
        client = self.connect()
        time.sleep(0.3)
        fd = os.open(self.device, os.O_WRONLY | os.O_NOCTTY)
        os.write(fd, b"x" * 512)
        client.recv(512)
        os.close(fd)
        start, cpu = time.monotonic(), cpu_seconds(program.pid)
        self.stage("hangup")
        ended = None
        client.settimeout(0.05)
        while ended is None and time.monotonic() - start < seconds:
            try:
                if not client.recv(4096):
                    ended = time.monotonic() - start
            except socket.timeout:
                pass
            except OSError:
                ended = time.monotonic() - start
        time.sleep(max(0, seconds - (time.monotonic() - start)))
        cpu = cpu_seconds(program.pid) - cpu
        client.close()
        self.close_program(program)
        return ended, cpu

    def stop_latency(self, stops, seed):
        """Median, 99th percentile and every time of `stops` Stops in each
        state. A Stop on a silent device waits for the read under way, so where
        it lands in the read's wait decides its time: each lands at a moment
        drawn from `seed`, spread over a whole wait as a user's press would be."""
        rng = random.Random(seed)
        print("stop latency: a silent device's Stops land 0.3 to 0.5 s after \"Transmitting...\" (seed %d)" % seed,
              flush=True)
        self.stage("port", str(COM))
        device = StreamingDevice(self.device)
        program = self.start_program(toggle=False)
        results = {}
        for state in STOP_STATES:
            times = []
            for _ in range(stops):
                self.press("press", "Stop")
                client, reader = None, None
                if state != "listening":
                    device.streaming = state != "silent"
                    client = self.connect(receive_buffer=4096 if state == "unread" else 0)
                    if state == "streaming":
                        reader = threading.Thread(target=drain, args=(client,))
                        reader.start()
                    self.press("output", "Transmitting...", "20000")
                    if state == "unread":
                        device.wait_stalled(1.5)
                    else:
                        time.sleep(rng.uniform(0.3, 0.5) if state == "silent" else 0.3)
                # The milliseconds until the key reads "Start", enabled.
                times.append(float(self.press("press", "Start")))
                device.streaming = False
                if reader:
                    reader.join()
                if client:
                    client.close()
            results[state] = percentiles(times) + (", ".join("%.0f" % t for t in sorted(times)),)
            print("stop latency %-10s: median %.1f ms, p99 %.1f ms; all: %s" % ((state,) + results[state]), flush=True)
        device.close()
        self.close_program(program)
        return results

    def size(self):
        stripped = os.path.join(self.work, "velmora.exe")
        shutil.copy(self.program, stripped)
        subprocess.run(["x86_64-w64-mingw32-strip", stripped], check=True)
        return os.path.getsize(stripped)

    def cleanup(self):
        for p in self.procs:
            self.stop(p, 2)
        self.stage("down")
        shutil.rmtree(self.work, ignore_errors=True)


STOP_STATES = {
    "listening": "listening, no client",
    "streaming": "serving a device that streams",
    "silent": "serving a silent device",
    "unread": "serving a client that never reads",
}


class StreamingDevice:
    """The device end of the port, sending 512-byte blocks while `streaming`."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_WRONLY | os.O_NOCTTY | os.O_NONBLOCK)
        self.streaming = False
        self.sent = 0
        self.done = False
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        block = os.urandom(512)
        while not self.done:
            try:
                if self.streaming:
                    self.sent += os.write(self.fd, block)
                else:
                    time.sleep(0.01)
            except BlockingIOError:
                time.sleep(0.002)

    def wait_stalled(self, seconds, timeout=60):
        """Returns once nothing has gone through for `seconds`: nobody reads the port."""
        end = time.monotonic() + timeout
        last, since = self.sent, time.monotonic()
        while time.monotonic() - since < seconds:
            if time.monotonic() > end:
                raise SystemExit("the device's writes never stopped going through")
            time.sleep(0.05)
            if self.sent != last:
                last, since = self.sent, time.monotonic()

    def close(self):
        self.done = True
        self.thread.join()
        os.close(self.fd)


def drain(client):
    try:
        while client.recv(1 << 16):
            pass
    except OSError:
        pass


def measure(bench, args):
    """Every figure but Stop's: the table's lines before the Stop rows, and after."""
    data = os.urandom(args.mib << 20)
    digest = hashlib.sha256(data).hexdigest()
    rates = {kind: [] for kind in ("program", "bounded", "sync", "socat")}
    # Round by round, so that a machine that drifts faster or slower over the
    # run weighs on every subject alike.
    for rep in range(args.reps):
        for kind in rates:
            rate, ok = bench.transfer(kind, data, digest)
            if not ok:
                raise SystemExit("%s: stream differs from the device's (SHA-256)" % kind)
            rates[kind].append(rate)
            print("throughput %-10s rep %d: %.2f MB/s, SHA-256 ok" % (kind, rep + 1, rate), flush=True)
    med = {k: statistics.median(v) for k, v in rates.items()}
    lat_program = bench.latency("program", args.latency_blocks)
    print("latency program: median %.2f ms, p99 %.2f ms" % lat_program, flush=True)
    lat_loop = bench.latency("bounded", args.latency_blocks)
    print("latency bare loop, bounded reads: median %.2f ms, p99 %.2f ms" % lat_loop, flush=True)
    listening, serving = bench.idle(args.idle_seconds)
    print("idle: listening %.3f s (+server %.3f s), serving silent %.3f s (+server %.3f s)"
          % (listening + serving), flush=True)
    ended, hangup_cpu = bench.hangup()
    ended = "never" if ended is None else "%.2f s" % ended
    print("hang-up: stream ended after %s, CPU %.3f s over 4 s" % (ended, hangup_cpu), flush=True)
    rows = [
        ("Velmora under Wine, COM port to loopback client", "%.2f MB/s" % med["program"]),
        ("Bare loop under Wine, reading as the program does (returns what has arrived)", "%.2f MB/s" % med["bounded"]),
        ("Bare loop under Wine, plain blocking 512-byte reads (the port's own time-outs)", "%.2f MB/s" % med["sync"]),
        ("socat, native, 512-byte buffer, same path", "%.2f MB/s" % med["socat"]),
        ("Velmora / bare loop reading the same way (target at least 0.95)", "%.3f" % (med["program"] / med["bounded"])),
        ("The program's read method / plain blocking reads", "%.3f" % (med["bounded"] / med["sync"])),
        ("Chunk latency, Velmora: median / 99th percentile", "%.2f ms / %.2f ms" % lat_program),
        ("Chunk latency, bare loop reading the same way: median / 99th percentile", "%.2f ms / %.2f ms" % lat_loop),
        ("CPU while listening, %g s: program / its Wine server" % args.idle_seconds, "%.3f s / %.3f s" % listening),
        ("CPU while serving a silent device, %g s: program / its Wine server" % args.idle_seconds,
         "%.3f s / %.3f s" % serving),
        ("Device hung up while a client is served: the client's stream ends after / program's CPU over 4 s",
         "%s / %.3f s" % (ended, hangup_cpu)),
        ("Stripped program size", "%d bytes" % bench.size()),
    ]
    settings = "%d MiB per transfer, median of %d rounds, %d latency blocks, %g s per idle figure" % (
        args.mib, args.reps, args.latency_blocks, args.idle_seconds)
    tail = ["", "All rounds, MB/s: " + "; ".join("%s %s" % (k, ", ".join("%.2f" % r for r in v))
                                               for k, v in rates.items())]
    return settings, rows, tail


def measured_commit():
    """The commit the figures belong to, so a table can be traced to its code."""
    here = os.path.dirname(os.path.abspath(__file__))
    git = lambda *a: subprocess.run(["git", "-C", here] + list(a), capture_output=True, text=True).stdout.strip()
    commit = git("rev-parse", "--short", "HEAD") or "an unknown commit"
    return "commit " + commit + (" with uncommitted changes" if git("status", "--porcelain", "--untracked-files=no") else "")


def machine(bench, began):
    """What the figures depend on besides the program: the machine, its load
    as the run began and how long the run took."""
    with open("/proc/cpuinfo") as f:
        cpu = next((line.split(":", 1)[1].strip() for line in f if line.startswith("model name")), "unknown")
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) / (1 << 20)
    with open("/etc/os-release") as f:
        system = next((line.split("=", 1)[1].strip().strip('"') for line in f if line.startswith("PRETTY_NAME=")),
                      "unknown system")
    wine = run([bench.wine, "--version"], bench.env).strip()
    took = int(time.monotonic() - began[1])
    return ("On a %d-core %s machine with %.0f GiB of memory, %s, %s; load average %.2f as the run began; "
            "the run took %d min %d s." % (os.cpu_count(), cpu, memory, system, wine, began[0], took // 60, took % 60))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--mib", type=int, default=64)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--latency-blocks", type=int, default=1000)
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
    for name in ("mib", "reps", "latency_blocks", "idle_seconds", "stops"):
        if getattr(args, name) != parser.get_default(name):
            options += ["--" + name.replace("_", "-"), "%g" % getattr(args, name)]
    options += ["--seed", str(args.seed)]

    # Named as the run begins: scripts/benchmark.sh has just built it.
    commit = measured_commit()
    began = os.getloadavg()[0], time.monotonic()
    bench = Bench(args)
    try:
        bench.env["DISPLAY"] = bench.stage("up", str(COM)).strip()
        settings, rows, tail = ("", [], []) if args.stop_only else measure(bench, args)
        stop = bench.stop_latency(args.stops, args.seed)
        rows += [("Stop to the key reading \"Start\", enabled, %s (%d Stops): median / 99th percentile" % (
            text, args.stops), "%.1f ms / %.1f ms" % stop[state][:2]) for state, text in STOP_STATES.items()]
        # Every Stop, so that the spread over the read wait shows as well.
        tail += ["", "All Stops, ms: " + "; ".join("%s %s" % (state, stop[state][2]) for state in STOP_STATES)]
        settings += "%s%d Stops in each state" % (", " if settings else "", args.stops)
        head = ["Made on %s at %s with `%s` (%s)." % (datetime.date.today().isoformat(), commit,
                                                    " ".join(["bash scripts/benchmark.sh"] + options), settings),
                machine(bench, began)]
    finally:
        bench.cleanup()
    table = "\n".join(head + ["", "| Measure | Result |", "|---|---|"] + ["| %s | %s |" % row for row in rows] + tail)
    print()
    print(table)
    if args.out:
        with open(args.out, "w") as f:
            f.write(table + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
