"""The runtime service stand-in, driven the way the plug-in talks to it: the exact health probe,
the plug-in's upgrade request with its fixed key, masked single frames, records ended by 0x1E."""

import json
import os
import signal
import socket
import struct
import subprocess
import sys

import pytest

from standin_driver import TOOL, Standin

HEALTH_REQUEST = b"GET /api/lifecycle/health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n"
RS = "\x1e"
QUERY = ("clientId=20240101120000123456&clientName=AutoCAD%202025&processId=42&documentReady=false"
         "&activeDocumentName=%E5%9B%BE1.dwg&activeDocumentPath=")


def HttpGet(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as sock:
        sock.sendall(request)
        reply = b""
        while True:  # the plug-in reads until the service closes; a timeout here is a failure
            piece = sock.recv(2048)
            if not piece:
                return reply.decode()
            reply += piece


class HubClient:
    """A client with the plug-in's wire habits."""

    def __init__(self, port, path="/cadHub?" + QUERY):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nUpgrade: websocket\r\n"
                           "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                           "Sec-WebSocket-Version: 13\r\n\r\n" % (path, port)).encode())
        self.upgrade_reply = self.sock.recv(4095).decode()  # one read, as the plug-in does

    def Send(self, text):
        data, mask = text.encode(), b"\x11\x22\x33\x44"
        header = bytes([0x81]) + (bytes([0x80 | len(data)]) if len(data) < 126
                                  else bytes([0xFE]) + struct.pack(">H", len(data)))
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def Read(self, n):
        data = b""
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            assert piece, "connection closed"
            data += piece
        return data

    def Recv(self):
        """Next frame other than a WebSocket ping: (opcode, text)."""
        while True:
            first, second = self.Read(2)
            assert not second & 0x80, "server frames are never masked"
            length = second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self.Read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self.Read(8))[0]
            payload = self.Read(length)
            if first & 0x0F != 9:
                assert first & 0x80, "the plug-in does not reassemble fragments"
                return first & 0x0F, payload.decode(errors="replace")

    def Handshake(self):
        self.Send('{"protocol":"json","version":1}' + RS)
        return self.Recv()

    def Close(self):
        self.sock.close()


def Ready(running):
    """A client past the hub handshake, the stand-in's view of it confirmed."""
    client = HubClient(running.port)
    assert client.Handshake() == (1, "{}" + RS)
    running.wait_connected()
    return client


# ---- HTTP side ------------------------------------------------------------------------------

@pytest.mark.parametrize("path,status", [
    ("/api/lifecycle/health", 200),
    ("/api/lifecycle/health?probe=1", 200),  # a query does not change the route
    ("/api/lifecycle", 404),                 # prefixes are not the endpoint
    ("/", 404),
])
def test_http_routes_reply_and_close(standin, path, status):  # noqa: F811
    reply = HttpGet(standin.port, HEALTH_REQUEST.replace(b"/api/lifecycle/health", path.encode()))
    assert reply.startswith("HTTP/1.1 %d " % status)
    assert "connection: close" in reply.lower()
    if status == 200:
        body = json.loads(reply.split("\r\n\r\n", 1)[1])
        assert body == {"pid": standin.pid, "port": standin.port, "protocolVersion": 1,
                        "instanceId": standin.instance_id}


def test_health_announces_given_pid_and_instance(tmp_path):
    with Standin(home=str(tmp_path), instance_id="inst-7", extra_args=["--pid", "4242"]) as running:
        body = json.loads(HttpGet(running.port, HEALTH_REQUEST).split("\r\n\r\n", 1)[1])
    assert (body["pid"], body["instanceId"]) == (4242, "inst-7")


def test_discovery_file_written_and_removed(tmp_path):
    # A clean quit and SIGTERM both remove the file; a file another service has since rewritten
    # is not ours to remove; --no-discovery-file writes nothing.
    running = Standin(home=str(tmp_path)).start()
    with open(running.discovery_path) as stream:
        assert json.load(stream) == {"schemaVersion": 1, "protocolVersion": 1, "port": running.port,
                                     "pid": running.pid, "instanceId": running.instance_id}
    assert running.stop() == 0 and not os.path.exists(running.discovery_path)

    running.start()
    running._process.send_signal(signal.SIGTERM)
    assert running._process.wait(10) == 0 and not os.path.exists(running.discovery_path)
    running.stop()

    running.start()
    with open(running.discovery_path, "w") as stream:
        stream.write('{"instanceId":"someone else"}')
    running.stop()
    assert os.path.exists(running.discovery_path)
    os.remove(running.discovery_path)

    with Standin(home=str(tmp_path), extra_args=["--no-discovery-file"]) as quiet:
        assert not os.path.exists(quiet.discovery_path)


# ---- hub -----------------------------------------------------------------------------------

def test_handshake_and_connection_report(standin):  # noqa: F811
    client = HubClient(standin.port)
    assert " 101 " in client.upgrade_reply and "Sec-WebSocket-Extensions" not in client.upgrade_reply
    assert client.Handshake() == (1, "{}" + RS)
    # The event is printed by the stand-in's own thread, possibly after the reply reached us.
    event = standin.wait_for(lambda e: e["event"] == "connected")
    assert event["path"] == "/cadHub?" + QUERY
    assert event["query"]["activeDocumentName"] == "图1.dwg"
    assert event["query"]["clientName"] == "AutoCAD 2025"
    assert event["query"]["activeDocumentPath"] == ""
    client.Close()
    standin.wait_for(lambda e: e["event"] == "disconnected")


@pytest.mark.parametrize("path", ["/other", "/cadHubX", "/"])
def test_other_websocket_paths_refused(standin, path):  # noqa: F811
    reply = HubClient(standin.port, path).upgrade_reply
    assert reply.startswith("HTTP/1.1 404 ")
    assert not standin.connections


def test_foreign_handshake_is_refused(standin):  # noqa: F811
    client = HubClient(standin.port)
    client.Send('{"protocol":"messagepack","version":1}' + RS)
    opcode, text = client.Recv()
    assert opcode == 1 and "error" in json.loads(text.rstrip(RS))
    assert client.Recv()[0] == 8
    assert standin.wait_for(lambda e: e["event"] == "handshake")["ok"] is False


def test_exec_round_trip(standin):  # noqa: F811
    client = Ready(standin)
    params = '{"path":"C:\\\\a\\\\图.dwg","name":"x y"}'
    standin.command(cmd="exec", reqId="r1", action="openDwg", params=params)
    opcode, text = client.Recv()
    # Literal key texts without spaces and raw UTF-8: the plug-in's lenient reader needs both.
    expected = '{"type":1,"target":"ExecuteCommand","arguments":["r1","openDwg",%s]}' % (
        json.dumps(params, ensure_ascii=False))
    assert (opcode, text) == (1, expected + RS)
    # Escaped the way the plug-in escapes results: other control characters arrive raw.
    client.Send('{"type":1,"target":"CadResult","arguments":["r1","true","a\\tb\\n\\"c\\"\x01"]}' + RS)
    event = standin.wait_for(lambda e: e["event"] == "result")
    assert (event["reqId"], event["status"], event["result"]) == ("r1", "true", 'a\tb\n"c"\x01')

    standin.command(cmd="exec", action="getDwgPath")  # reqId and params are optional
    sent = standin.wait_for(lambda e: e["event"] == "sent" and e["reqId"] != "r1")
    assert client.Recv()[1] == ExecText(sent["reqId"], "getDwgPath", "{}")


def ExecText(req_id, action, params):
    return json.dumps({"type": 1, "target": "ExecuteCommand", "arguments": [req_id, action, params]},
                      separators=(",", ":"), ensure_ascii=False) + RS


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


def test_commands_go_to_latest_client_and_close(standin):  # noqa: F811
    first, second = Ready(standin), Ready(standin)
    standin.send_raw('{"type":7}')
    assert second.Recv() == (1, '{"type":7}' + RS)
    standin.command(cmd="exec", reqId="lost", action="getDwgPath", params="{}")
    second.Recv()
    standin.close_clients()
    assert first.Recv()[0] == 8 and second.Recv()[0] == 8
    lost = standin.wait_for(lambda e: e["event"] == "error" and e.get("reqId") == "lost")
    assert "disconnected" in lost["message"]
    first.Close(), second.Close()  # dropping the socket without a close frame, as the plug-in does
    standin.wait_for(lambda e: len(standin.disconnections) == 2)
    assert [e["code"] for e in standin.disconnections] == [1006, 1006]


def test_bad_command_lines_are_reported_not_fatal(standin):  # noqa: F811
    for line in [b"not json", b"[1,2]", b'{"cmd":"dance"}', b'{"cmd":"exec"}',
                 b'{"cmd":"exec","action":"a","reqId":5}', b'{"cmd":"send_raw"}', b"\xff\xfe"]:
        standin._process.stdin.write(line + b"\n")
    standin._process.stdin.flush()
    with pytest.raises(AssertionError, match="no client connected"):
        standin.exec("getDwgPath")  # without a client the request fails at once
    assert len([e for e in standin.events if e["event"] == "error"]) == 8
    assert HttpGet(standin.port, HEALTH_REQUEST).startswith("HTTP/1.1 200 ")


def test_hub_pings_are_sent(tmp_path):
    with Standin(home=str(tmp_path), extra_args=["--ping-interval", "0.05"]) as running:
        assert Ready(running).Recv() == (1, '{"type":6}' + RS)


def test_human_mode_and_end_of_input(tmp_path):
    # Without --stay, end of input stops the server; commands give readable answers.
    done = subprocess.run([sys.executable, TOOL, "--port", "0", "--home", str(tmp_path)],
                          input=b"help\nexec getDwgPath\nfrobnicate\n", capture_output=True, timeout=30)
    out = done.stdout.decode()
    assert done.returncode == 0, done.stderr
    assert "listening on 127.0.0.1:" in out and "exec ACTION" in out
    assert "no client connected" in out and "unknown command 'frobnicate'" in out
