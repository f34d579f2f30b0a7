"""Remote commands end to end: the simulated CAD application loads the bundle, the plug-in finds
the runtime service stand-in, and commands travel from the service to the host's main thread and
back. (A service restart, a command admitted before a switch and unloading while the service
hangs are the chaos tests'.)"""

import os
import re
import socket
import threading
import time

from cad_driver import CadSim
from conftest import answered, wait_ready
from standin_driver import Standin

NOT_READY = "CAD_DOCUMENT_NOT_READY: No initialized active drawing is available."


def test_connects_with_its_identity_and_reports_the_drawing(standin, cad_factory, tmp_path):
    # A quote, an ampersand and an equals sign in the name must not break the query string.
    drawing = str(tmp_path / "图纸 1 &a='b'.dwg")
    cad = cad_factory("--display-name", "AutoCAD 2026 中文", drawing)
    connected = standin.wait_for(lambda e: e["event"] == "connected", 30)
    query = connected["query"]
    assert re.fullmatch(r"\d{20}", query["clientId"])
    assert query["documentReady"] in ("true", "false")
    assert dict(query, clientId="", documentReady="") == {
        "clientId": "", "clientName": "AutoCAD 2026 中文", "cadVersion": "AutoCAD 2026 中文",
        "processName": "AutoCAD", "processId": str(cad.pid), "platform": "macos", "pluginVersion": "1.0.34",
        "serviceInstanceId": standin.instance_id, "documentReady": "",
        "activeDocumentName": "图纸 1 &a='b'.dwg", "activeDocumentPath": drawing}
    # Spaces and Chinese text are percent-encoded byte by byte, upper-case.
    assert "activeDocumentName=%E5%9B%BE%E7%BA%B8%201%20%26a%3D%27b%27.dwg" in connected["path"]
    assert "clientName=AutoCAD%202026%20%E4%B8%AD%E6%96%87" in connected["path"]
    wait_ready(standin, drawing)
    assert cad.quit() == 0


def test_not_ready_refusals_and_a_state_on_every_drawing_change(standin, cad_factory, tmp_path):
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

    # A new drawing, a switch back from the host's side, and closing both are each reported.
    for typed, path in [("NEW", "Drawing1.dwg"), ("ACTIVATE 1", drawing)]:
        mark = standin.mark()
        cad.type(typed)
        wait_ready(standin, path, mark)
    mark = standin.mark()
    cad.type("CLOSE", "CLOSE")
    standin.wait_for(lambda e: e["event"] == "state" and e["arguments"] == [False, "", ""], 30, mark)
    assert cad.quit() == 0
    for req_id in ("none-1", "opening-1", "after-1"):
        assert len(answered(standin, req_id)) == 1, req_id


class ProbeCounter:
    """A port that takes the plug-in's default-port probes and ends each at once, unanswered, so
    every discovery pass shows as one connection here."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(16)
        self.port = self.sock.getsockname()[1]
        self.times = []
        self._cond = threading.Condition()
        threading.Thread(target=self._serve, daemon=True).start()

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            conn.close()
            with self._cond:
                self.times.append(time.monotonic())
                self._cond.notify_all()

    def wait_for(self, count, timeout):
        with self._cond:
            assert self._cond.wait_for(lambda: len(self.times) >= count, timeout), self.times
            return list(self.times)

    def close(self):
        self.sock.close()


def test_service_down_at_load_is_found_when_it_appears(tmp_path):
    home = str(tmp_path / "home")
    os.makedirs(home)
    drawing = str(tmp_path / "a.dwg")
    probes = ProbeCounter()
    cad = CadSim([drawing], home=home, runtime_port=probes.port)
    try:
        # The plug-in keeps looking while nobody answers, backing off between passes: three passes
        # have come and gone before the service appears.
        probes.wait_for(3, 60)
        with Standin(home=home) as service:
            service.wait_connected(timeout=30)
            wait_ready(service, drawing)
            assert service.exec("getDwgPath", "")["result"] == drawing
            # Backing off, not spinning: a few passes at once as the drawing opens, then at most
            # two a second, however slowly the machine runs (a loop that spins makes thousands).
            passes = probes.wait_for(3, 0)
            assert len(passes) <= 6 + 2 * (time.monotonic() - passes[0]), passes
            assert cad.quit() == 0
    finally:
        cad.kill()
        probes.close()
