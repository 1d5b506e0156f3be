"""What the benchmark measures Velmora against: each subject relays COM5 to
one loopback client on the program's TCP port.

- program: Velmora itself, started and sent its Start command;
- bounded: tools/bench_loop, a bare loop of 512-byte reads, each sent whole,
  with the program's read time-outs;
- sync: the same loop with plain blocking reads and the port's own time-outs;
- socat: natively, with a 512-byte buffer, over the same pseudo-terminal.
"""
import contextlib
import os
import subprocess
import time

from bench_stage import COM, TCP_PORT

SUBJECTS = ("program", "bounded", "sync", "socat")


def start_subject(stage, kind):
    if kind == "program":
        return stage.start_program()
    link = os.path.join(stage.prefix, "dosdevices", "com%d" % COM)
    if kind == "socat":
        return stage.spawn(["socat", "-u", "-b512", "OPEN:%s,rawer" % link,
                            "TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr" % TCP_PORT])
    loop = stage.spawn([stage.wine, os.path.join(stage.build, "tools", "bench_loop.exe"), kind,
                        "COM%d" % COM, str(TCP_PORT)], stdout=subprocess.PIPE)
    loop.stdout.readline()   # "listening"
    return loop


@contextlib.contextmanager
def serving(stage, kind):
    """A subject on a fresh port with a client connected: (client, device fd,
    the subject's process)."""
    stage.fresh_port()
    subject = start_subject(stage, kind)
    client = stage.connect()
    time.sleep(0.3)   # the port is opened once the client is accepted
    fd = os.open(stage.device, os.O_WRONLY | os.O_NOCTTY)
    try:
        yield client, fd, subject
    finally:
        os.close(fd)
        client.close()
        stage.close_program(subject) if kind == "program" else stage.stop(subject)
