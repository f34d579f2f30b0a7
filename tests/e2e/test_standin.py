"""The runtime service stand-in, driven the way the plug-in talks to it: the exact health probe,
the plug-in's upgrade request with its fixed key, masked single frames, records ended by 0x1E."""

import json
import os
import socket
import struct

from standin_driver import Standin

HEALTH_REQUEST = b"GET /api/lifecycle/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
RS = "\x1e"
QUERY = ("clientId=20240101120000123456&clientName=AutoCAD%202025&processId=42&documentReady=false"
         "&activeDocumentName=%E5%9B%BE1.dwg&activeDocumentPath=")


def HttpGet(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
        sock.sendall(request)
        # The plug-in reads until the service closes; a timeout here is a failure.
        return sock.makefile("rb").read().decode()


class HubClient:
    """A client with the plug-in's wire habits."""

    def __init__(self, port, path="/cadHub?" + QUERY):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n" % (path, port)).encode())
        self.upgrade_reply = self.sock.recv(4095).decode()  # one read, as the plug-in does
        self.stream = self.sock.makefile("rb")

    def Send(self, text):
        data, mask = text.encode(), b"\x11\x22\x33\x44"
        header = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126
                                  else bytes([0xFE]) + struct.pack(">H", len(data)))
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def Read(self, n):
        data = self.stream.read(n)
        assert len(data) == n, "connection closed"
        return data

    def Recv(self):
        """Next frame other than a WebSocket ping: (opcode, text)."""
        while True:
            first, second = self.Read(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self.Read(2))[0]
            payload = self.Read(length)
            if first & 0x0F != 9:
                return first & 0x0F, payload.decode(errors="replace")

    def Handshake(self):
        self.Send('{"protocol":"json","version":1}' + RS)
        return self.Recv()


def Ready(running):
    """A client past the hub handshake, the stand-in's view of it confirmed."""
    client = HubClient(running.port)
    assert client.Handshake() == (1, "{}" + RS)
    running.wait_connected()
    return client


def test_health_reply(standin):  # noqa: F811
    reply = HttpGet(standin.port, HEALTH_REQUEST)
    assert reply.startswith("HTTP/1.1 200 ") and "connection: close" in reply.lower()
    assert json.loads(reply.split("\r\n\r\n", 1)[1]) == {
        "pid": standin.pid, "port": standin.port, "protocolVersion": 1, "instanceId": standin.instance_id}


def test_discovery_file_written_and_removed(tmp_path):
    running = Standin(home=str(tmp_path)).start()
    with open(running.discovery_path) as stream:
        assert json.load(stream) == {"schemaVersion": 1, "protocolVersion": 1, "port": running.port,
                                     "pid": running.pid, "instanceId": running.instance_id}
    assert running.stop() == 0 and not os.path.exists(running.discovery_path)


def test_handshake_and_connection_report(standin):  # noqa: F811
    client = HubClient(standin.port)
    assert " 101 " in client.upgrade_reply and "Sec-WebSocket-Extensions" not in client.upgrade_reply
    assert client.Handshake() == (1, "{}" + RS)
    # The event is printed by the stand-in's own thread, possibly after the reply reached us.
    event = standin.wait_for(lambda e: e["event"] == "connected")
    assert event["path"] == "/cadHub?" + QUERY
    assert event["query"]["activeDocumentName"] == "图1.dwg"


def test_other_websocket_paths_refused(standin):  # noqa: F811
    assert HubClient(standin.port, "/cadHubX").upgrade_reply.startswith("HTTP/1.1 404 ")
    assert not standin.connections


def test_exec_round_trip(standin):  # noqa: F811
    client = Ready(standin)
    params = '{"path":"C:\\\\a\\\\图.dwg","name":"x y"}'
    standin.command(cmd="exec", reqId="r1", action="openDwg", params=params)
    # Literal key texts without spaces and raw UTF-8: the plug-in's lenient reader needs both.
    expected = '{"type":1,"target":"ExecuteCommand","arguments":["r1","openDwg",%s]}' % (
        json.dumps(params, ensure_ascii=False))
    assert client.Recv() == (1, expected + RS)
    # Escaped the way the plug-in escapes results: other control characters arrive raw.
    client.Send('{"type":1,"target":"CadResult","arguments":["r1","true","a\\tb\\n\\"c\\"\x01"]}' + RS)
    event = standin.wait_for(lambda e: e["event"] == "result")
    assert (event["reqId"], event["status"], event["result"]) == ("r1", "true", 'a\tb\n"c"\x01')


def test_records_split_and_classified(standin):  # noqa: F811
    client = Ready(standin)
    # One message holding a state, a result, a hub ping and a broken record, then a record cut
    # across two messages: each is reported once, whole, in order.
    client.Send('{"type":1,"target":"CadStateChanged","arguments":[true,"图1.dwg","/d/图1.dwg"]}' + RS
                + '{"type":1,"target":"CadResult","arguments":["r9","false","Error: x"]}' + RS
                + '{"type":6}' + RS + '{"type":1,"target":"CadResult","arguments":["q"' + RS
                + '{"type":1,"target":"Cad')
    client.Send('StateChanged","arguments":[false,"",""]}' + RS)
    standin.wait_for(lambda e: e["event"] == "state" and e["arguments"][0] is False)
    reported = [e for e in standin.events if e["event"] in ("state", "result", "record")]
    assert [(e["event"], e.get("arguments") or e.get("reqId") or e.get("text")) for e in reported] == [
        ("state", [True, "图1.dwg", "/d/图1.dwg"]),
        ("result", "r9"),
        ("record", '{"type":6}'),
        ("record", '{"type":1,"target":"CadResult","arguments":["q"'),
        ("state", [False, "", ""]),
    ]
