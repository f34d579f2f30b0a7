"""Remote commands end to end: the simulated CAD application loads the bundle, the plug-in finds
the runtime service stand-in, and commands travel from the service to the host's main thread and
back."""

import os
import re
import socket
import threading
import time

import pytest

from cad_driver import CadSim
from conftest import answered, wait_ready
from standin_driver import Standin

NOT_READY = "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available."
CHANGED = "CAD_DOCUMENT_NOT_READY: The active document changed or is still initializing."


def test_connects_with_its_identity_and_reports_the_drawing(standin, cad_factory, tmp_path):  # noqa: F811
    drawing = str(tmp_path / "图纸 1.dwg")
    cad = cad_factory("--display-name", "AutoCAD 2026 中文", drawing)
    connected = standin.wait_for(lambda e: e["event"] == "connected", 30)
    query = connected["query"]
    assert re.fullmatch(r"\d{20}", query["clientId"])
    assert query["clientName"] == query["cadVersion"] == "AutoCAD 2026 中文"
    assert query["processName"] == "AutoCAD"
    assert query["processId"] == str(cad.pid)
    assert query["platform"] == "macos"
    assert query["pluginVersion"] == "1.0.34"
    assert query["serviceInstanceId"] == standin.instance_id
    assert query["documentReady"] in ("true", "false")
    assert query["activeDocumentName"] == "图纸 1.dwg"
    assert query["activeDocumentPath"] == drawing
    # Spaces and Chinese text are percent-encoded byte by byte, upper-case.
    assert "activeDocumentName=%E5%9B%BE%E7%BA%B8%201.dwg" in connected["path"]
    assert "clientName=AutoCAD%202026%20%E4%B8%AD%E6%96%87" in connected["path"]
    wait_ready(standin, drawing)
    assert cad.quit() == 0


def test_every_drawing_change_is_reported(standin, cad_factory, tmp_path):  # noqa: F811
    first = str(tmp_path / "a.dwg")
    cad = cad_factory(first)
    wait_ready(standin, first)
    mark = standin.mark()
    cad.type("NEW")
    wait_ready(standin, "Drawing1.dwg", mark)
    mark = standin.mark()
    cad.type("ACTIVATE 1")
    wait_ready(standin, first, mark)
    mark = standin.mark()
    cad.type("CLOSE", "CLOSE")
    standin.wait_for(lambda e: e["event"] == "state" and e["arguments"] == [False, "", ""], 30, mark)
    assert cad.quit() == 0


def test_commands_without_a_ready_drawing_are_refused_once(standin, cad_factory, tmp_path):  # noqa: F811
    cad = cad_factory()
    standin.wait_connected()
    refused = standin.exec("getDwgPath", "", req_id="none-1")
    assert (refused["status"], refused["result"]) == ("false", NOT_READY)

    # A drawing still in the middle of opening is not ready either.
    drawing = str(tmp_path / "slow.dwg")
    mark = standin.mark()
    cad.type("OPENHOLD " + drawing)
    standin.wait_for(lambda e: e["event"] == "state" and e["arguments"][2] == drawing, 30, mark)
    refused = standin.exec("getCurrentSpace", "", req_id="opening-1")
    assert (refused["status"], refused["result"]) == ("false", NOT_READY)
    cad.type("OPENRELEASE")
    wait_ready(standin, drawing)
    after = standin.exec("getDwgPath", "", req_id="after-1")
    assert (after["status"], after["result"]) == ("true", drawing)
    assert cad.quit() == 0
    for req_id in ("none-1", "opening-1", "after-1"):
        assert len(answered(standin, req_id)) == 1, req_id


def test_a_command_admitted_before_a_switch_is_refused_when_it_runs(standin, cad_factory, tmp_path):  # noqa: F811
    a, b = str(tmp_path / "a.dwg"), str(tmp_path / "b.dwg")
    cad = cad_factory(a, b)
    wait_ready(standin, b)
    # The host is busy in a long command while the request arrives; the user then switches.
    release = tmp_path / "release"
    cad.hold(release, "ACTIVATE 1")
    standin.command(cmd="exec", reqId="stale", action="getDwgPath", params="")
    # Requests are admitted in arrival order and an unknown action is answered at once, so the
    # request is admitted once this is answered.
    assert standin.exec("noSuchAction", "{}")["result"] == "Error: Unknown action 'noSuchAction'"
    release.write_text("")
    event = standin.wait_for(lambda e: e["event"] == "result" and e["reqId"] == "stale", 30)
    assert (event["status"], event["result"]) == ("false", CHANGED)
    wait_ready(standin, a)
    assert standin.exec("getDwgPath", "")["result"] == a
    assert cad.quit() == 0


def test_service_restart_gives_a_new_identity(standin, cad_factory, tmp_path):  # noqa: F811
    drawing = str(tmp_path / "a.dwg")
    cad = cad_factory(drawing)
    first = standin.wait_for(lambda e: e["event"] == "connected", 30)["query"]
    standin.restart(instance_id="second-run")
    second = standin.wait_for(lambda e: e["event"] == "connected", 30)["query"]
    assert second["serviceInstanceId"] == "second-run"
    assert second["clientId"] != first["clientId"]
    wait_ready(standin, drawing)
    assert standin.exec("getDwgPath", "")["result"] == drawing
    assert cad.quit() == 0


def test_service_down_at_load_is_found_when_it_appears(tmp_path):
    home = str(tmp_path / "home")
    os.makedirs(home)
    drawing = str(tmp_path / "a.dwg")
    cad = CadSim([drawing], home=home)
    try:
        time.sleep(2.5)  # the plug-in backs off while nobody answers
        with Standin(home=home) as service:
            service.wait_connected(timeout=30)
            wait_ready(service, drawing)
            assert service.exec("getDwgPath", "")["result"] == drawing
            assert cad.quit() == 0
    finally:
        cad.kill()


class SilentService:
    """Answers the health probe like the service, then accepts the WebSocket and never replies."""

    def __init__(self, home, silent_health=False):
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(8)
        self.port = self.sock.getsockname()[1]
        self.silent_health = silent_health
        self.held = []
        path = os.path.join(home, "Library", "Application Support", "OrvikKelm")
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, "runtime.json"), "w") as f:
            f.write('{"schemaVersion":1,"protocolVersion":1,"port":%d,"pid":%d,"instanceId":"silent"}'
                    % (self.port, os.getpid()))
        self.upgrades = 0
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
            request = conn.recv(4096).decode("latin-1")
        except OSError:
            return
        if request.startswith("GET /api/lifecycle/health") and not self.silent_health:
            body = '{"pid":%d,"port":%d,"protocolVersion":1,"instanceId":"silent"}' % (os.getpid(), self.port)
            conn.sendall(("HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s"
                          % (len(body), body)).encode())
            conn.close()
        elif request.startswith("GET /cadHub"):
            self.upgrades += 1  # hold the connection open and say nothing

    def close(self):
        self.sock.close()
        for c in self.held:
            c.close()


@pytest.mark.parametrize("silent_health", [False, True], ids=["stuck-in-connect", "stuck-in-discovery"])
def test_unload_returns_promptly_while_the_service_hangs(tmp_path, silent_health):
    home = str(tmp_path / "home")
    os.makedirs(home)
    service = SilentService(home, silent_health)
    cad = CadSim([str(tmp_path / "a.dwg")], home=home)
    try:
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not (service.upgrades if not silent_health else service.held):
            time.sleep(0.05)
        assert cad.quit(timeout=4) == 0
    finally:
        cad.kill()
        service.close()
