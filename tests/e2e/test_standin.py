"""The runtime service stand-in's own duties, which the end-to-end tests lean on without checking:
records split anyhow across messages, paths it does not serve, and no discovery file left behind."""

import os
import socket

from runtime_standin import ClassifyRecord, SplitRecords
from standin_driver import Standin

RS = "\x1e"


def test_records_split_and_classified():
    # One message holding a state, a result, a hub ping and a broken record, then a record cut
    # across two messages: each is reported once, whole, in order. Escapes in a result are decoded;
    # a raw control character makes the record unreadable, as it would for the companion.
    messages = ['{"type":1,"target":"CadStateChanged","arguments":[true,"图1.dwg","/d/图1.dwg"]}' + RS
                + '{"type":1,"target":"CadResult","arguments":["r9","false","a\\tb\\n\\"c\\"\\u0001"]}' + RS
                + '{"type":1,"target":"CadResult","arguments":["raw","true","\x01"]}' + RS
                + '{"type":6}' + RS + '{"type":1,"target":"CadResult","arguments":["q"' + RS
                + '{"type":1,"target":"Cad', 'StateChanged","arguments":[false,"",""]}' + RS]
    pending, reported = "", []
    for message in messages:
        records, pending = SplitRecords(pending, message)
        reported += [ClassifyRecord(text) for text in records]
    assert pending == ""
    assert reported == [
        {"event": "state", "arguments": [True, "图1.dwg", "/d/图1.dwg"]},
        {"event": "result", "reqId": "r9", "status": "false", "result": 'a\tb\n"c"\x01'},
        {"event": "record", "text": '{"type":1,"target":"CadResult","arguments":["raw","true","\x01"]}'},
        {"event": "record", "text": '{"type":6}'},
        {"event": "record", "text": '{"type":1,"target":"CadResult","arguments":["q"'},
        {"event": "state", "arguments": [False, "", ""]},
    ]


def test_other_paths_refused_and_discovery_file_removed(tmp_path):
    running = Standin(home=str(tmp_path)).start()
    with socket.create_connection(("127.0.0.1", running.port), timeout=5) as sock:
        sock.sendall(b"GET /cadHubX HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        assert sock.makefile("rb").readline().startswith(b"HTTP/1.1 404 ")
    assert os.path.exists(running.discovery_path)
    assert running.stop() == 0 and not os.path.exists(running.discovery_path)
