"""Chaos end to end: the service dies while the plug-in works, the user switches drawings under a
full queue, and the plug-in is unloaded at every stage of its life. After each: no crash and no
sanitizer report (CadSim.quit checks), the program quits within a few seconds, no request is
answered twice, every request sent to a standing connection is answered, and requests are
answered again once the plug-in has reconnected."""

import fcntl
import os
import socket
import struct
import termios
import threading
import time

import pytest

from cad_driver import CadSim
from conftest import answered, hub_framework_or_skip, result, send, slow, wait_admitted, wait_ready
from standin_driver import Standin

CHANGED = "CAD_DOCUMENT_NOT_READY: The active document changed or is still initializing."
MIB = 1024 * 1024


def hold(kind, service, cad, release, count):
    """Keeps the host busy until `release` exists, in a command of its own ("command") or in a LISP
    task's command ("lisp", the task waiting for its marker meanwhile), with `count` requests queued
    behind; returns their identifiers once all are admitted."""
    if kind == "command":
        cad.hold(release)
    else:
        send(service, "lisp", "runLisp", '(command "HOLD" "%s")' % release)
    ids = ["q%d" % n for n in range(count)]
    for req_id in ids:
        send(service, req_id, "getDwgPath")
    wait_admitted(service)
    return ids if kind == "command" else ["lisp"] + ids


@pytest.mark.parametrize("kind", ["lisp", "command"], ids=["deferred-lisp", "long-command"])
def test_service_dies_while_work_is_pending(standin, cad_factory, tmp_path, kind):
    a = str(tmp_path / "a.dwg")
    cad = cad_factory(a)
    wait_ready(standin, a)
    release = tmp_path / "release"
    first = standin.wait_for(lambda e: e["event"] == "connected", 30)["query"]
    pending = hold(kind, standin, cad, release, 5)
    # The service crashes, and a new run of it starts: the plug-in connects to it with a new
    # identifier and the new run's instance in its query string.
    old = list(standin.events)
    standin.kill()
    standin.instance_id = "after-crash"
    standin.start()
    second = standin.wait_for(lambda e: e["event"] == "connected", 30)["query"]
    assert second["serviceInstanceId"] == "after-crash" and second["clientId"] != first["clientId"]
    standin.wait_connected(30)
    # Admitted on the new connection behind the pending work, answered once it is done.
    send(standin, "after", "getDwgPath")
    release.write_text("")
    assert result(standin, "after")["result"] == a
    assert cad.quit(timeout=slow(5)) == 0
    for req_id in pending + ["after"]:
        assert len(answered(standin, req_id, old + standin.events)) <= 1, req_id
    assert len(answered(standin, "after")) == 1


# More than the plug-in sends before a result (its state messages): the result is on its way. The
# socket's receive buffer holds less than the whole result, so the plug-in's send stalls there.
IN_FLIGHT = 64 * 1024


def socket_backlog(sock):
    """Bytes received on the socket and not read yet."""
    return struct.unpack("i", fcntl.ioctl(sock.fileno(), termios.FIONREAD, b"\0\0\0\0"))[0]


def wait_answer_stalled(service):
    """Waits until the answer to the 16 MiB command is on its way and stalled (bounded)."""
    conn = service.wait_stage()
    deadline = time.monotonic() + 30
    while socket_backlog(conn) < IN_FLIGHT and time.monotonic() < deadline:
        time.sleep(0.02)
    assert socket_backlog(conn) >= IN_FLIGHT


def test_service_dies_in_the_middle_of_a_large_result(tmp_path):
    home = str(tmp_path / "home")
    service = StalledService(home, "send")
    cad = CadSim([str(tmp_path / "a.dwg")], home=home)
    try:
        wait_answer_stalled(service)
        service.crash()
        with Standin(home=home) as standin:
            standin.wait_connected(30)
            assert standin.exec("getDwgPath", "")["status"] == "true"
            assert cad.quit(timeout=slow(5)) == 0
    finally:
        cad.kill()
        service.crash()


def start_python(home):
    return Standin(home=home).start()


def start_hub(home):
    hub_framework_or_skip()
    from hub_standin_driver import HubStandin

    return HubStandin(home=home).start()


@pytest.mark.parametrize("start", [pytest.param(start_python, id="python"),
                                   pytest.param(start_hub, id="hub-framework", marks=pytest.mark.hub_framework)])
def test_drawing_switch_with_a_hundred_commands_queued(tmp_path, start):
    home = str(tmp_path / "home")
    service = start(home)
    a, b = str(tmp_path / "a.dwg"), str(tmp_path / "b.dwg")
    cad = CadSim([a, b], home=home)
    try:
        wait_ready(service, b)
        release = tmp_path / "release"
        cad.hold(release, "ACTIVATE 1")
        ids = ["q%d" % n for n in range(100)]
        for req_id in ids:
            send(service, req_id, "getDwgPath")
        wait_admitted(service)
        release.write_text("")
        # Every request admitted for the drawing that was left is refused, each exactly once.
        for req_id in ids:
            event = result(service, req_id)
            assert (event["status"], event["result"]) == ("false", CHANGED), req_id
        wait_ready(service, a)
        assert service.exec("getDwgPath", "")["result"] == a
        assert cad.quit(timeout=slow(5)) == 0
        assert all(len(answered(service, r)) == 1 for r in ids)
    finally:
        cad.kill()
        service.stop()


class StalledService:
    """A service on a raw socket that goes as far as `stage` and then stops talking: "discovery"
    never answers the health probe; "connect" answers it, then accepts the WebSocket and never
    replies; "handshake" answers the upgrade but not the hub handshake; "receive" sends the start
    of a frame and holds the rest; "send" sends a command with a 16 MiB action name and reads
    nothing more, so the plug-in's answer stalls."""

    def __init__(self, home, stage):
        self.stage = stage
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.held = []
        self.reached = threading.Event()
        self.hub_conn = None
        folder = os.path.join(home, "Library", "Application Support", "OrvikKelm")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "runtime.json"), "w") as f:
            f.write('{"schemaVersion":1,"protocolVersion":1,"port":%d,"pid":%d,"instanceId":"raw"}'
                    % (self.port, os.getpid()))
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            self.held.append(conn)
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        try:
            reader = conn.makefile("rb")
            request = reader.readline().decode("latin-1")
            while reader.readline() not in (b"\r\n", b""):
                pass
            if request.startswith("GET /api/lifecycle/health"):
                if self.stage == "discovery":
                    self.reached.set()
                    return
                body = '{"pid":%d,"port":%d,"protocolVersion":1,"instanceId":"raw"}' % (os.getpid(), self.port)
                conn.sendall(("HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s"
                              % (len(body), body)).encode())
                conn.close()
                return
            if self.hub_conn is not None:
                return  # one hub connection is enough; later ones hang
            self.hub_conn = conn
            if self.stage == "connect":
                self.reached.set()
                return
            conn.sendall(b"HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                         b"Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n")
            if self.stage != "handshake":
                self._read_frame(reader)
                conn.sendall(self._frame(b"{}\x1e"))
            if self.stage == "receive":
                conn.sendall(b"\x81\x64" + b"{" * 10)  # a 100-byte frame, 10 bytes of it
            elif self.stage == "send":
                # Not before the drawing is ready: a request the gate refuses is answered briefly.
                while b'"CadStateChanged","arguments":[true' not in self._read_frame(reader):
                    pass
                record = '{"type":1,"target":"ExecuteCommand","arguments":["big","%s","{}"]}\x1e' % ("x" * (16 * MIB))
                conn.sendall(self._frame(record.encode()))
            self.reached.set()
        except OSError:
            pass

    @staticmethod
    def _read_frame(reader):
        """The payload of the client's next frame, unmasked."""
        head = reader.read(2)
        if len(head) < 2:
            raise OSError("the client left")
        length = head[1] & 0x7F
        if length == 126:
            length = struct.unpack(">H", reader.read(2))[0]
        elif length == 127:
            length = struct.unpack(">Q", reader.read(8))[0]
        key = reader.read(4)
        return bytes(b ^ key[i % 4] for i, b in enumerate(reader.read(length)))

    @staticmethod
    def _frame(payload):
        n = len(payload)
        if n < 126:
            head = struct.pack(">BB", 0x81, n)
        elif n < 65536:
            head = struct.pack(">BBH", 0x81, 126, n)
        else:
            head = struct.pack(">BBQ", 0x81, 127, n)
        return head + payload

    def wait_stage(self, timeout=30):
        assert self.reached.wait(timeout), "the plug-in never reached the stage " + self.stage
        return self.hub_conn

    def crash(self):
        # Reset rather than close: a dead process's sockets end as abruptly.
        for conn in self.held:
            try:
                conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                conn.close()
            except OSError:
                pass
        self.held = []
        self.sock.close()


@pytest.mark.parametrize("stage", ["discovery", "connect", "handshake", "receive", "send"])
def test_unload_during_a_connection_stage(tmp_path, stage):
    home = str(tmp_path / "home")
    service = StalledService(home, stage)
    cad = CadSim([str(tmp_path / "a.dwg")], home=home)
    try:
        if stage == "send":
            wait_answer_stalled(service)
        else:
            service.wait_stage()
        assert cad.quit(timeout=slow(4)) == 0
    finally:
        cad.kill()
        service.crash()


@pytest.mark.parametrize("kind", ["command", "lisp"], ids=["task-running", "task-deferred"])
def test_unload_with_work_in_progress(standin, cad_factory, tmp_path, kind):
    a = str(tmp_path / "a.dwg")
    cad = cad_factory(a)
    wait_ready(standin, a)
    # The user quits while the host is busy (in a command of its own, or in a LISP task's command)
    # and requests wait in the queue: the host finishes its work before the plug-in unloads, and
    # every request admitted meanwhile is answered once.
    release = tmp_path / "release"
    hold(kind, standin, cad, release, 3)
    cad.type("QUIT")
    release.write_text("")
    assert cad.quit(timeout=slow(5)) == 0
    sent = [e["reqId"] for e in standin.events if e["event"] == "sent"]
    standin.wait_for(lambda e: e["event"] == "disconnected", 10)
    for req_id in sent:
        assert len(answered(standin, req_id)) == 1, req_id
