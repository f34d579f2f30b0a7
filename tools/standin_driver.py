"""Drives the runtime service stand-in (tools/runtime_standin.py) for the demo and the tests.

`Standin` starts the stand-in as a subprocess in machine mode on a free port with its own home
folder, collects its events, and drives it: exec() sends a command to the connected CAD client
and returns its result event. Give the CAD program `standin.env()` (HOME pointing at the same
folder) so the plug-in finds the service through the discovery file; the default port is not
used. The end-to-end tests' `standin` fixture (tests/e2e/conftest.py) yields a started instance.
"""

import json
import os
import subprocess
import sys
import tempfile
import threading
import time
import uuid

# The stand-in runs on Debian's python3-websockets, whatever interpreter runs the driver.
PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "runtime_standin.py")
DISCOVERY_RELATIVE = os.path.join("Library", "Application Support", "OrvikKelm", "runtime.json")


class StandinError(AssertionError):
    pass


class Standin:
    # Every stand-in made, for checks over all of a test's answers (tests/e2e/conftest.py).
    created = []

    def __init__(self, home=None, port=0, instance_id=None, extra_args=()):
        self.home = home or tempfile.mkdtemp(prefix="standin-home-")
        self.port = port
        self.instance_id = instance_id or str(uuid.uuid4())
        self.extra_args = list(extra_args)
        self.pid = None
        self.events = []
        self._cond = threading.Condition()
        self._process = None
        self._stderr = None
        self._requests = 0
        self._reader = None
        self.actions = {}  # request id -> action, of every command sent
        Standin.created.append(self)

    # ---- life cycle --------------------------------------------------------------------------

    def start(self, timeout=10.0):
        """Starts the stand-in and waits until it listens (and has written its discovery file)."""
        with self._cond:
            self.events = []
        self._stderr = tempfile.TemporaryFile()
        self._process = subprocess.Popen(self.command_line(), stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=self._stderr)
        self._reader = threading.Thread(target=self._read_events, args=(self._process,), daemon=True)
        self._reader.start()
        listening = self.wait_for(lambda e: e["event"] in ("listening", "exit"), timeout)
        if listening["event"] != "listening":
            raise StandinError("the stand-in did not start:\n" + self.log())
        self.port, self.pid = listening["port"], listening["pid"]
        return self

    def command_line(self):
        """The program and arguments that start the service (another stand-in overrides it)."""
        return [PYTHON, TOOL, "serve", "--json", "--port", str(self.port), "--home", self.home,
                "--instance-id", self.instance_id] + self.extra_args

    def kill(self):
        """Ends the service at once, as a crash would: no close frame, the discovery file left."""
        process, self._process = self._process, None
        if process is not None:
            process.kill()
            process.wait()
            self._join_reader()

    def _join_reader(self):
        # The old run's last events (its "exit" among them) must not land in a restarted run's list.
        if self._reader is not None:
            self._reader.join(10)

    def stop(self, timeout=10.0):
        """Asks the stand-in to quit; kills it if it does not. Returns its exit code."""
        process, self._process = self._process, None
        if process is None:
            return None
        try:
            process.stdin.write(b'{"cmd":"quit"}\n')
            process.stdin.close()
        except OSError:
            pass
        try:
            code = process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            code = process.wait()
        self._join_reader()
        return code

    def restart(self, instance_id=None):
        """Stops and starts again on the same port and home, as a restarted service would.

        The event list starts afresh with the new run, so earlier mark() values no longer apply."""
        self.stop()
        self.instance_id = instance_id or str(uuid.uuid4())
        return self.start()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def env(self, base=None):
        """Environment for a CAD program that must find this service."""
        env = dict(os.environ if base is None else base)
        env["HOME"] = self.home
        return env

    @property
    def discovery_path(self):
        return os.path.join(self.home, DISCOVERY_RELATIVE)

    def log(self):
        """Everything the stand-in reported, for failure messages."""
        with self._cond:
            lines = [json.dumps(e) for e in self.events]
        if self._stderr is not None:
            self._stderr.seek(0)
            lines.append(self._stderr.read().decode("utf-8", "replace"))
        return "\n".join(lines)

    # ---- events ------------------------------------------------------------------------------

    def _read_events(self, process):
        for line in process.stdout:
            try:
                event = json.loads(line)
            except ValueError:
                event = {"event": "garbage", "text": line.decode("utf-8", "replace")}
            with self._cond:
                self.events.append(event)
                self._cond.notify_all()
        with self._cond:
            self.events.append({"event": "exit"})
            self._cond.notify_all()

    def mark(self):
        """Index to pass as `since` to wait_for so that only later events count."""
        with self._cond:
            return len(self.events)

    def wait_for(self, predicate, timeout=10.0, since=0):
        """Returns the first event from index `since` on that satisfies predicate."""
        deadline = time.monotonic() + timeout
        with self._cond:
            while True:
                for event in self.events[since:]:
                    if predicate(event):
                        return event
                remaining = deadline - time.monotonic()
                if remaining <= 0 or (self.events and self.events[-1]["event"] == "exit"):
                    break
                self._cond.wait(remaining)
        raise StandinError("no matching event within %.1f s; stand-in log:\n%s" % (timeout, self.log()))

    def _of(self, kind):
        with self._cond:
            return [e for e in self.events if e["event"] == kind]

    @property
    def connections(self):
        return self._of("connected")

    @property
    def states(self):
        return self._of("state")

    @property
    def records(self):
        return self._of("record")

    @property
    def disconnections(self):
        return self._of("disconnected")

    # ---- commands ----------------------------------------------------------------------------

    def command(self, **fields):
        if self._process is None:
            raise StandinError("the stand-in is not running")
        if fields.get("cmd") == "exec" and isinstance(fields.get("reqId"), str):
            self.actions[fields["reqId"]] = fields.get("action")
        self._process.stdin.write((json.dumps(fields) + "\n").encode())
        self._process.stdin.flush()

    def wait_connected(self, timeout=30.0, since=0):
        """Waits until a client has completed the hub handshake."""
        return self.wait_for(lambda e: e["event"] == "handshake" and e["ok"], timeout, since)

    def exec(self, action, params="{}", req_id=None, timeout=30.0):
        """Sends one command to the connected client and returns its result event."""
        self._requests += 1
        req_id = req_id or "fx-%d-%d" % (os.getpid(), self._requests)
        self.command(cmd="exec", reqId=req_id, action=action, params=params)
        event = self.wait_for(
            lambda e: e.get("reqId") == req_id and e["event"] in ("result", "error"), timeout)
        if event["event"] == "error":
            raise StandinError("%s %s: %s" % (action, req_id, event["message"]))
        return event

    def send_raw(self, text):
        self.command(cmd="send_raw", text=text)

    def close_clients(self):
        self.command(cmd="close")
