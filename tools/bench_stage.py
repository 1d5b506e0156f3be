"""The benchmark's stage: a Wine prefix of its own with one COM port whose
device end this process writes, the program started and driven through its
window, loopback clients, and the processes whose CPU time is measured.
"""
import os
import shutil
import socket
import subprocess
import tempfile
import time

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts")
COM = 5
TCP_PORT = 20175


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


class Stage:
    def __init__(self, build):
        self.build = os.path.abspath(build)
        self.work = tempfile.mkdtemp(prefix="velmora-bench-")
        self.prefix = os.path.join(self.build, "bench-prefix")
        self.env = dict(os.environ, VELMORA_BUILD=self.build, VELMORA_PREFIX=self.prefix)
        self.wine = os.path.join(self.build, "wine-run")
        self.program = os.path.join(self.build, "velmora.exe")
        self.device = os.path.join(self.work, "device")
        self.procs = []

    def script(self, *argv):
        return run(["bash", os.path.join(SCRIPTS, "stage.sh"), argv[0], self.work, *argv[1:]], self.env)

    def up(self):
        """The prefix booted and a display to use."""
        self.env["DISPLAY"] = self.script("up", str(COM)).strip()

    def fresh_port(self):
        """COM5 made afresh, so no byte left from an earlier use reaches the next."""
        self.script("port", str(COM))

    def hang_up(self):
        """Both pseudo-terminals hang up and COM5's link goes, as when a
        receiver is unplugged."""
        self.script("hangup")

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

    def cleanup(self):
        for p in self.procs:
            self.stop(p, 2)
        self.script("down")
        shutil.rmtree(self.work, ignore_errors=True)
