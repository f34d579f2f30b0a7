"""Drives the simulated CAD application (acad-sim) with the plug-in bundle, for the demo and the tests.

`CadSim` starts the program with a home folder shared with the runtime service stand-in, feeds
lines to its command line and collects what it prints. The recording `open` program in
tools/fake-open comes first on the program's PATH, so every URL the plug-in opens appears among
the printed lines as "open URL <url>". quit() asserts that the program unloads the bundle and ends
with status 0 within a bound, and that nothing on its standard error reports a bug: a hang on
unload is a failure, and so is main-thread code that ran on another thread.

The plug-in probes the service's default port before it reads the discovery file, so whatever
listens there (a stand-in started by hand, a second test run) would capture it. Each program
started here gets a port of its own instead (`--runtime-port`): one held bound, and never
listening, for the program's life, so the probe is refused at once and nobody else can take it.
"""

import os
import socket
import subprocess
import tempfile
import threading
import time

BUILD_DIR = os.environ.get("ORVIK_BUILD_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "default"))
PROGRAM = os.path.join(BUILD_DIR, "acad-sim")
FAKE_OPEN_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fake-open")
# Lines on the program's standard error that mean a bug, whatever the test checked.
ALARMS = ("host fault", "main-thread code ran on another thread", "ThreadSanitizer",
          "AddressSanitizer", "runtime error:")


class CadSim:
    def __init__(self, args=(), env=None, home=None, runtime_port=None):
        """runtime_port: the port the plug-in probes first; None reserves one of its own, 0
        leaves the service's default port."""
        self.home = home or (env or {}).get("HOME") or tempfile.mkdtemp(prefix="cad-home-")
        self._reserved = None
        if runtime_port is None:
            self._reserved = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self._reserved.bind(("127.0.0.1", 0))
            runtime_port = self._reserved.getsockname()[1]
        self.runtime_port = runtime_port
        if runtime_port:
            args = ["--runtime-port", str(runtime_port)] + list(args)
        environment = dict(os.environ if env is None else env)
        environment["HOME"] = self.home
        environment["PATH"] = FAKE_OPEN_DIR + os.pathsep + environment.get("PATH", os.defpath)
        environment.pop("ORVIK_OPEN_LOG", None)
        self.lines = []
        self._cond = threading.Condition()
        self._stderr = tempfile.TemporaryFile()
        self.process = subprocess.Popen([PROGRAM] + list(args), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self._stderr, env=environment)
        self.pid = self.process.pid
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            with self._cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\n"))
                self._cond.notify_all()
        with self._cond:
            self._cond.notify_all()

    def type(self, *lines):
        """Types the lines at the command line in one write (they arrive together)."""
        self.process.stdin.write(("".join(line + "\n" for line in lines)).encode("utf-8"))
        self.process.stdin.flush()

    def hold(self, release, *after):
        """Keeps the host's main thread in a command until the file `release` exists, then types
        the lines `after`. Returns once the command has started: requests that arrive from then on
        are admitted before anything runs, however slow the machine."""
        self.type("HOLD %s" % release, *after)
        self.wait_output(lambda line: line == "Command: HOLD %s" % release)

    def _host_line(self, line, reply):
        """Sends a host-side line and returns its reply line once the host has handled it: the
        setting is in force for every line typed after."""
        since = self.mark()
        self.type(line)
        return self.wait_output(lambda out: out.startswith(reply), since=since)

    def fault(self, name, status, mode="once", nth=None):
        """Makes the host call `name` (or "name:argument") fail with `status`: mode "once",
        "always", or "nth" with the call number `nth` (1 is the next call)."""
        line = "FAULT %s %d %s" % (name, status, mode)
        if mode == "nth":
            line += " %d" % nth
        return self._host_line(line, "Fault planted:")

    def delay(self, name, milliseconds):
        """Makes every call of `name` take `milliseconds` longer, until clear_faults()."""
        return self._host_line("DELAY %s %d" % (name, milliseconds), "Delay set:")

    def gate(self, name, release):
        """Holds the next call of `name` until the file `release` exists; the host creates
        `release`.reached once the call has begun."""
        return self._host_line("GATE %s %s" % (name, release), "Gate set:")

    def clear_faults(self):
        return self._host_line("CLEARFAULTS", "Faults cleared.")

    def read_only_open(self, honoured):
        """Whether the host honours the require-read-only flag of an open."""
        return self._host_line("READONLYOPEN %s" % ("honour" if honoured else "ignore"), "Read-only opens")

    def set_view(self, direction, target=(0, 0, 0), twist=0.0):
        """Sets the active drawing's current view (twist in radians)."""
        return self._host_line("VIEW %r %r %r %r %r %r %r" % (tuple(float(v) for v in direction) +
                                                            tuple(float(v) for v in target) + (float(twist),)),
                               "View set.")

    def view(self):
        """The active drawing's current view as a dict: direction, target (3-tuples), twist,
        center (2-tuple), width, height, paper (bool)."""
        line = self._host_line("VIEWSHOW", "View:")
        w = line.split()
        triple = lambda text: tuple(float(v) for v in text.split(","))
        width, height = (float(v) for v in w[10].split("x"))
        return {"direction": triple(w[2]), "target": triple(w[4]), "twist": float(w[6]),
                "center": triple(w[8]), "width": width, "height": height, "paper": w[11] == "paper"}

    def selection_counts(self):
        """(live selection sets, open objects) of the host right now."""
        line = self._host_line("SSCOUNT", "Selection sets:")
        sets, objects = line[len("Selection sets: "):].split(", open objects: ")
        return int(sets), int(objects)

    def wait_output(self, predicate, timeout=20.0, since=0):
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                for line in self.lines[since:]:
                    if predicate(line):
                        return line
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None and not self._more_expected():
                    raise AssertionError("no such output; the program printed:\n" + self.log())
                self._cond.wait(min(left, 0.2))

    def _more_expected(self):
        return not self.process.stdout.closed

    def mark(self):
        with self._cond:
            return len(self.lines)

    def log(self):
        with self._cond:
            out = "\n".join(self.lines)
        self._stderr.seek(0)
        return out + "\n--- stderr ---\n" + self._stderr.read().decode("utf-8", "replace")

    def stderr(self):
        self._stderr.seek(0)
        return self._stderr.read().decode("utf-8", "replace")

    def quit(self, timeout=15.0):
        """Types QUIT and requires a clean exit; returns the exit status."""
        if self.process.poll() is None:
            try:
                self.type("QUIT")
            except BrokenPipeError:
                pass
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise AssertionError("the program did not quit within %.0f s:\n%s" % (timeout, self.log()))
        self._release_port()
        errors = self.stderr()
        for alarm in ALARMS:
            assert alarm not in errors, self.log()
        return code

    def kill(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._release_port()

    def _release_port(self):
        if self._reserved is not None:
            self._reserved.close()
            self._reserved = None
