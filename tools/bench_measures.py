"""The benchmark's measures, each on the stage of bench_stage: throughput,
chunk latency, a GPS receiver's sentences, CPU while idle, a device that
hangs up, the program's size and how long Stop takes. docs/benchmark.md
says what each one measures and how.
"""
import bisect
import collections
import hashlib
import math
import os
import random
import shutil
import socket
import statistics
import subprocess
import threading
import time

import gps_simulator
from bench_stage import cpu_seconds
from bench_subjects import serving

GPS_BAUD = 4800
# delay: a sentence's, median and 99th percentile in ms; receives: the
# client's non-empty ones a second; cpu: the subject's seconds; bursts: the
# smallest and the largest, in bytes.
GpsFigures = collections.namedtuple("GpsFigures", "delay receives cpu bursts")


def percentiles(times):
    """Median and 99th percentile (nearest rank) of a list of times."""
    times = sorted(times)
    return statistics.median(times), times[math.ceil(len(times) * 0.99) - 1]


def transfer(stage, kind, data, digest):
    """MB/s from the first byte written into the device to the last received,
    and whether the stream was the data, byte for byte."""
    with serving(stage, kind) as (client, fd, _):
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


def latency(stage, kind, blocks):
    """From the 512th byte of a block written into the device to the block's arrival."""
    block = os.urandom(512)
    times = []
    with serving(stage, kind) as (client, fd, _):
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


def gps(stage, kind, seconds):
    """A GPS receiver at GPS_BAUD sending one burst of sentences each second
    for `seconds` s, handed over in pieces at line rate as a UART does. A
    sentence's delay runs from its last byte written into the device to that
    byte received by the client."""
    ends, sizes, sent = [], [], bytearray()   # ends: (stream offset past a sentence, when written)

    def device(fd, start):
        for t in range(seconds):
            sentences = gps_simulator.burst(t)
            data = b"".join(sentences)
            pieces = gps_simulator.send_at_line_rate(fd, data, GPS_BAUD, start + t)
            end = 0
            for sentence in sentences:
                end += len(sentence)
                ends.append((len(sent) + end, next(when for past, when in pieces if past >= end)))
            sent.extend(data)
            sizes.append(len(data))

    with serving(stage, kind) as (client, fd, subject):
        cpu = cpu_seconds(subject.pid)
        writer = threading.Thread(target=device, args=(fd, time.monotonic() + 0.1))
        writer.start()
        got, receives, deadline = bytearray(), [], None   # receives: (when, bytes so far)
        client.settimeout(0.05)
        while writer.is_alive() or (len(got) < len(sent) and time.monotonic() < deadline):
            try:
                chunk = client.recv(1 << 16)
            except socket.timeout:
                chunk = None
            if chunk == b"":
                break
            if chunk:
                got.extend(chunk)
                receives.append((time.monotonic(), len(got)))
            if deadline is None and not writer.is_alive():
                deadline = time.monotonic() + 2
        writer.join()
        cpu = cpu_seconds(subject.pid) - cpu
    if got != sent:
        raise SystemExit("%s: the GPS's stream differs from what the device sent" % kind)
    counts = [count for _, count in receives]
    delays = [(receives[bisect.bisect_left(counts, past)][0] - written) * 1000 for past, written in ends]
    return GpsFigures(percentiles(delays), len(receives) / seconds, cpu, (min(sizes), max(sizes)))


def idle(stage, seconds):
    """CPU seconds over `seconds` of the program and of its Wine server,
    listening, then serving a silent device."""
    def measure(pid):
        a = cpu_seconds(pid), cpu_seconds(server)
        time.sleep(seconds)
        return cpu_seconds(pid) - a[0], cpu_seconds(server) - a[1]

    stage.fresh_port()
    program = stage.start_program()
    time.sleep(2)   # listening by now; a probing client would be served, not idle
    server = stage.server_pid()
    listening = measure(program.pid)
    # Restart so that the silent device is served with a fresh open.
    stage.close_program(program)
    program = stage.start_program()
    client = stage.connect()
    time.sleep(1)
    serving_silent = measure(program.pid)
    client.close()
    stage.close_program(program)
    return listening, serving_silent


def hangup(stage, seconds=4):
    """A device that goes away while a client is served: the seconds until
    the client's stream ends (None: not within `seconds`), and the
    program's CPU seconds over the `seconds` after the hang-up."""
    stage.fresh_port()
    program = stage.start_program()
    client = stage.connect()
    time.sleep(0.3)
    fd = os.open(stage.device, os.O_WRONLY | os.O_NOCTTY)
    os.write(fd, b"x" * 512)
    client.recv(512)
    os.close(fd)
    start, cpu = time.monotonic(), cpu_seconds(program.pid)
    stage.hang_up()
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
    stage.close_program(program)
    return ended, cpu


def size(stage):
    """The program's size, stripped as it would be shipped."""
    stripped = os.path.join(stage.work, "velmora.exe")
    shutil.copy(stage.program, stripped)
    subprocess.run(["x86_64-w64-mingw32-strip", stripped], check=True)
    return os.path.getsize(stripped)


STOP_STATES = {
    "listening": "listening, no client",
    "streaming": "serving a device that streams",
    "silent": "serving a silent device",
    "unread": "serving a client that never reads",
}


def stop_latency(stage, stops, seed):
    """Median, 99th percentile and every time of `stops` Stops in each
    state. A Stop on a silent device waits for the read under way, so where
    it lands in the read's wait decides its time: each lands at a moment
    drawn from `seed`, spread over a whole wait as a user's press would be."""
    rng = random.Random(seed)
    print("stop latency: a silent device's Stops land 0.3 to 0.5 s after \"Transmitting...\" (seed %d)" % seed,
          flush=True)
    stage.fresh_port()
    device = StreamingDevice(stage.device)
    program = stage.start_program(toggle=False)
    results = {}
    for state in STOP_STATES:
        times = []
        for _ in range(stops):
            stage.press("press", "Stop")
            client, reader = None, None
            if state != "listening":
                device.streaming = state != "silent"
                client = stage.connect(receive_buffer=4096 if state == "unread" else 0)
                if state == "streaming":
                    reader = threading.Thread(target=drain, args=(client,))
                    reader.start()
                stage.press("output", "Transmitting...", "20000")
                if state == "unread":
                    device.wait_stalled(1.5)
                else:
                    time.sleep(rng.uniform(0.3, 0.5) if state == "silent" else 0.3)
            # The milliseconds until the key reads "Start", enabled.
            times.append(float(stage.press("press", "Start")))
            device.streaming = False
            if reader:
                reader.join()
            if client:
                client.close()
        results[state] = percentiles(times) + (", ".join("%.0f" % t for t in sorted(times)),)
        print("stop latency %-10s: median %.1f ms, p99 %.1f ms; all: %s" % ((state,) + results[state]), flush=True)
    device.close()
    stage.close_program(program)
    return results


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
