#!/usr/bin/env python3
"""Measures Velmora under Wine against the floor of its design.

Every figure comes from this one run, on this machine:
- throughput of the real program (started through its own Start command)
  moving random bytes from a pseudo-terminal COM port to a loopback client,
  checked by SHA-256; beside it bare 512-byte read-and-send loops under Wine
  (plain blocking reads, and reads as the program makes them) and
  socat natively on the same path;
- chunk latency from the 512th byte of a block written into the device to
  the block's arrival at the client;
- CPU used while idle (listening, and serving a silent device);
- the stripped program's size;
- how long a Stop takes, from the key's command to the key reading "Start",
  enabled again: while listening with no client, while serving a device
  that streams, a silent device, and a client that never reads.

Run it through scripts/benchmark.sh, which builds everything first.
"""
import argparse
import datetime
import hashlib
import math
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

WINESERVER = "/usr/lib/wine/wineserver"
SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts")


class Bench:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.prefix = os.path.join(self.build, "bench-prefix")
        self.env = dict(os.environ, VELMORA_PREFIX=self.prefix, WINEDEBUG="-all")
        self.wine = os.path.join(self.build, "wine-run")
        self.work = tempfile.mkdtemp(prefix="velmora-bench-")
        self.procs = []
        self.display = None
        self.tcp_port = 20175
        self.com = 5

    # ---- plumbing -------------------------------------------------------
    def run_wine(self, *argv, check=True):
        # No pipes: Wine's background processes started along the way would
        # inherit them and keep them open long after the command ended.
        return subprocess.run([self.wine, *argv], env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=check)

    def spawn(self, argv, **kw):
        p = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=kw.pop("stdout", subprocess.DEVNULL), stderr=subprocess.DEVNULL, **kw)
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

    def start_display(self):
        if os.environ.get("DISPLAY"):
            return
        self.display = os.path.join(self.work, "display")
        number = subprocess.run(["sh", os.path.join(SCRIPTS, "display.sh"), "start", self.display],
                                check=True, stdout=subprocess.PIPE, text=True).stdout.strip()
        self.env["DISPLAY"] = ":" + number

    def prepare_prefix(self):
        self.run_wine("wineboot", "-i", check=False)
        # Keep the server up between the many short Wine processes.
        subprocess.run([WINESERVER, "-p", "60"], env=dict(self.env, WINEPREFIX=self.prefix))
        # The only port the program lists, so it is the one selected; Start
        # saves it with the default TCP port.
        self.run_wine("reg", "add", r"HKLM\Drivers\Active\42", "/v", "Name", "/d", "COM%d:" % self.com, "/f")

    def pty_pair(self):
        """COMn in the prefix and a device end for this process to write."""
        folder = tempfile.mkdtemp(dir=self.work)
        link = os.path.join(self.prefix, "dosdevices", "com%d" % self.com)
        relay = self.spawn(["sh", os.path.join(SCRIPTS, "com-port.sh"), folder, link])
        for _ in range(250):
            if os.path.exists(os.path.join(folder, "ready")):
                break
            time.sleep(0.02)
        return relay, folder, os.path.join(folder, "device")

    def close_pair(self, pair):
        self.stop(pair[0])

    def connect(self, timeout=20, receive_buffer=0):
        end = time.monotonic() + timeout
        while True:
            s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            try:
                if receive_buffer:
                    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
                s.settimeout(60)
                s.connect(("127.0.0.1", self.tcp_port))
                return s
            except OSError:
                s.close()
                if time.monotonic() > end:
                    raise
                time.sleep(0.05)

    def start_program(self):
        program = self.spawn([self.wine, os.path.join(self.build, "velmora.exe")])
        self.run_wine(os.path.join(self.build, "tools", "velmora_press.exe"), "wait", "30000")
        self.run_wine(os.path.join(self.build, "tools", "velmora_press.exe"), "toggle")
        return program

    def close_program(self, program):
        self.run_wine(os.path.join(self.build, "tools", "velmora_press.exe"), "close", check=False)
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            self.stop(program)

    def start_loop(self, mode):
        loop = self.spawn([self.wine, os.path.join(self.build, "tools", "bench_loop.exe"), mode,
                           "COM%d" % self.com, str(self.tcp_port)], stdout=subprocess.PIPE)
        loop.stdout.readline()   # "listening"
        return loop

    def start_socat(self):
        link = os.path.join(self.prefix, "dosdevices", "com%d" % self.com)
        return self.spawn(["socat", "-u", "-b512", "OPEN:%s,rawer" % link,
                           "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr" % self.tcp_port])

    def start_subject(self, kind):
        if kind == "program":
            return self.start_program()
        if kind == "socat":
            return self.start_socat()
        return self.start_loop(kind)

    def stop_subject(self, kind, subject):
        if kind == "program":
            self.close_program(subject)
        else:
            self.stop(subject)

    # ---- measurements ---------------------------------------------------
    def transfer(self, kind, data, digest):
        pair = self.pty_pair()
        subject = self.start_subject(kind)
        client = self.connect()
        time.sleep(0.3)   # the port is opened once the client is accepted
        fd = os.open(pair[2], os.O_WRONLY | os.O_NOCTTY)
        start = time.monotonic()
        writer = threading.Thread(target=lambda: os.write(fd, data) if len(data) < 65536 else
                                  [os.write(fd, data[i:i + 65536]) for i in range(0, len(data), 65536)])
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
        os.close(fd)
        client.close()
        self.stop_subject(kind, subject)
        self.close_pair(pair)
        ok = got == len(data) and h.hexdigest() == digest
        return len(data) / elapsed / 1e6, ok

    def latency(self, kind, blocks):
        pair = self.pty_pair()
        subject = self.start_subject(kind)
        client = self.connect()
        time.sleep(0.3)
        fd = os.open(pair[2], os.O_WRONLY | os.O_NOCTTY)
        block = os.urandom(512)
        times = []
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
        os.close(fd)
        client.close()
        self.stop_subject(kind, subject)
        self.close_pair(pair)
        times.sort()
        return statistics.median(times), times[int(len(times) * 0.99) - 1]

    def cpu_seconds(self, pid):
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def program_pid(self):
        out = subprocess.run(["pgrep", "-f", "velmora.exe"], stdout=subprocess.PIPE, text=True).stdout.split()
        own = [int(p) for p in out if int(p) != os.getpid()]
        # The Windows process itself, not the shell wrapper that started it.
        for pid in own:
            try:
                if "wine" in os.readlink("/proc/%d/exe" % pid) or "preloader" in os.readlink("/proc/%d/exe" % pid):
                    return pid
            except OSError:
                pass
        return own[-1]

    def server_pid(self):
        st = os.stat(self.prefix)
        wanted = "server-%x-%x" % (st.st_dev, st.st_ino)
        for pid in subprocess.run(["pgrep", "wineserver"], stdout=subprocess.PIPE, text=True).stdout.split():
            try:
                if os.readlink("/proc/%s/cwd" % pid).endswith(wanted):
                    return int(pid)
            except OSError:
                pass
        return None

    def idle(self, seconds):
        pair = self.pty_pair()
        program = self.start_program()
        time.sleep(2)   # listening by now; a probing client would be served, not idle
        pid, server = self.program_pid(), self.server_pid()

        def sample():
            return self.cpu_seconds(pid), (self.cpu_seconds(server) if server else 0.0)

        a = sample()
        time.sleep(seconds)
        b = sample()
        listening = (b[0] - a[0], b[1] - a[1])
        # Restart so that the silent device is served with a fresh open.
        self.close_program(program)
        program = self.start_program()
        client = self.connect()
        time.sleep(1)
        pid = self.program_pid()
        a = sample()
        time.sleep(seconds)
        b = sample()
        serving = (b[0] - a[0], b[1] - a[1])
        client.close()
        self.close_program(program)
        self.close_pair(pair)
        return listening, serving

    def press_until(self, label, timeout_ms=10000):
        """Presses the key; the milliseconds until it reads `label`, enabled."""
        with tempfile.TemporaryFile(mode="w+") as out:
            done = subprocess.run([self.wine, os.path.join(self.build, "tools", "velmora_press.exe"), "press",
                                   label, str(timeout_ms)], env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                  stderr=subprocess.DEVNULL)
            if done.returncode != 0:
                raise SystemExit("the key did not read %r, enabled, within %d ms" % (label, timeout_ms))
            out.seek(0)
            return float(out.read())

    def wait_output(self, text, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with tempfile.TemporaryFile(mode="w+") as out:
                subprocess.run([self.wine, os.path.join(self.build, "tools", "velmora_press.exe"), "status"],
                               env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
                out.seek(0)
                if "output: %s\n" % text in out.read():
                    return
            time.sleep(0.05)
        raise SystemExit("the output line never read %r" % text)

    def stop_latency(self, stops):
        """Median and 99th percentile (nearest rank) of `stops` Stops in each state."""
        pair = self.pty_pair()
        device = StreamingDevice(pair[2])
        program = self.spawn([self.wine, os.path.join(self.build, "velmora.exe")])
        self.run_wine(os.path.join(self.build, "tools", "velmora_press.exe"), "wait", "30000")
        results = {}
        for state in STOP_STATES:
            times = []
            for _ in range(stops):
                self.press_until("Stop")
                client, reader = None, None
                if state != "listening":
                    device.streaming = state != "silent"
                    client = self.connect(receive_buffer=4096 if state == "unread" else 0)
                    if state == "streaming":
                        reader = threading.Thread(target=drain, args=(client,))
                        reader.start()
                    self.wait_output("Transmitting...")
                    if state == "unread":
                        device.wait_stalled(1.5)
                    else:
                        time.sleep(0.3)
                times.append(self.press_until("Start"))
                device.streaming = False
                if reader:
                    reader.join()
                if client:
                    client.close()
            times.sort()
            results[state] = (statistics.median(times), times[math.ceil(len(times) * 0.99) - 1])
            print("stop latency %-10s: median %.1f ms, p99 %.1f ms; all: %s"
                  % (state, results[state][0], results[state][1], ", ".join("%.0f" % t for t in times)),
                  flush=True)
        device.close()
        self.close_program(program)
        self.close_pair(pair)
        return results

    def size(self):
        stripped = os.path.join(self.work, "velmora.exe")
        shutil.copy(os.path.join(self.build, "velmora.exe"), stripped)
        subprocess.run(["x86_64-w64-mingw32-strip", stripped], check=True)
        return os.path.getsize(stripped)

    def cleanup(self):
        for p in self.procs:
            self.stop(p, 2)
        if self.display:
            subprocess.run(["sh", os.path.join(SCRIPTS, "display.sh"), "stop", self.display])
        subprocess.run([WINESERVER, "-k"], env=dict(self.env, WINEPREFIX=self.prefix),
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(self.work, ignore_errors=True)


STOP_STATES = ("listening", "streaming", "silent", "unread")
STOP_STATE_TEXTS = {
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
            if not self.streaming:
                time.sleep(0.01)
                continue
            try:
                self.sent += os.write(self.fd, block)
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


def stop_rows(stops, results):
    return ["| Stop to the key reading \"Start\", enabled, %s (%d Stops): median / 99th percentile "
            "| %.1f ms / %.1f ms |" % (STOP_STATE_TEXTS[state], stops, *results[state]) for state in STOP_STATES]


def emit(table, out):
    print()
    print(table)
    if out:
        with open(out, "w") as f:
            f.write(table + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default="build")
    parser.add_argument("--mib", type=int, default=64)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--latency-blocks", type=int, default=1000)
    parser.add_argument("--idle-seconds", type=float, default=30)
    parser.add_argument("--stops", type=int, default=20)
    parser.add_argument("--stop-only", action="store_true", help="measure only how long Stop takes")
    parser.add_argument("--out", default=None)
    args = parser.parse_args()

    bench = Bench(args)
    try:
        bench.start_display()
        bench.prepare_prefix()
        if args.stop_only:
            stop = bench.stop_latency(args.stops)
            table = "\n".join(["Made on %s with `bash scripts/benchmark.sh --stop-only --stops %d`."
                               % (datetime.date.today().isoformat(), args.stops), ""]
                              + stop_rows(args.stops, stop))
            emit(table, args.out)
            return 0
        data = os.urandom(args.mib << 20)
        digest = hashlib.sha256(data).hexdigest()
        kinds = ("program", "bounded", "sync", "socat")
        rates = {kind: [] for kind in kinds}
        # Round by round, so that a machine that drifts faster or slower
        # over the run weighs on every subject alike.
        for rep in range(args.reps):
            for kind in kinds:
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
        (idle_cpu, idle_srv), (serve_cpu, serve_srv) = bench.idle(args.idle_seconds)
        print("idle: listening %.3f s (+server %.3f s), serving silent %.3f s (+server %.3f s)"
              % (idle_cpu, idle_srv, serve_cpu, serve_srv), flush=True)
        size = bench.size()
        stop = bench.stop_latency(args.stops)
    finally:
        bench.cleanup()

    mib = args.mib
    lines = [
        "Made on %s with `bash scripts/benchmark.sh`: %d MiB per transfer, median of %d runs, "
        "%d latency blocks, %g s per idle figure." % (datetime.date.today().isoformat(), mib, args.reps,
                                                    args.latency_blocks, args.idle_seconds),
        "",
        "| Measure | Result |",
        "|---|---|",
        "| Velmora under Wine, COM port to loopback client | %.2f MB/s |" % med["program"],
        "| Bare loop under Wine, reading as the program does (returns what has arrived) | %.2f MB/s |"
        % med["bounded"],
        "| Bare loop under Wine, plain blocking 512-byte reads (the port's own time-outs) | %.2f MB/s |" % med["sync"],
        "| socat, native, 512-byte buffer, same path | %.2f MB/s |" % med["socat"],
        "| Velmora / bare loop reading the same way (target at least 0.95) | %.3f |"
        % (med["program"] / med["bounded"]),
        "| The program's read method / plain blocking reads | %.3f |" % (med["bounded"] / med["sync"]),
        "| Chunk latency, Velmora: median / 99th percentile | %.2f ms / %.2f ms |" % lat_program,
        "| Chunk latency, bare loop reading the same way: median / 99th percentile | %.2f ms / %.2f ms |"
        % lat_loop,
        "| CPU while listening, %g s: program / its Wine server | %.3f s / %.3f s |"
        % (args.idle_seconds, idle_cpu, idle_srv),
        "| CPU while serving a silent device, %g s: program / its Wine server | %.3f s / %.3f s |"
        % (args.idle_seconds, serve_cpu, serve_srv),
        "| Stripped program size | %d bytes |" % size,
    ] + stop_rows(args.stops, stop) + [
        "",
        "All runs, MB/s: " + "; ".join("%s %s" % (k, ", ".join("%.2f" % r for r in v)) for k, v in rates.items()),
    ]
    emit("\n".join(lines), args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
