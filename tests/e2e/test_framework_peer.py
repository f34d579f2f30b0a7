"""The plug-in in front of the hub framework itself (tools/hub-standin/, on the machine's .NET
SDK): the framework's handshake, keep-alive and client time-out, its own JSON escaping, the
fragments it splits large messages into, its close record and its receive limit. Skipped, and
said so, where the SDK is missing; CI requires these tests."""

import glob
import os
import re

import pytest

from conftest import answered, hub_framework_or_skip, plain_build, wait_ready, write_drawing
from standin_driver import StandinError

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
MIB = 1024 * 1024

# Every action the plug-in has, with a request that must be answered through the framework. A new
# action is one row (test_every_action_has_a_row fails until it has one). {a}, {b}, {dir} stand for
# the first drawing, a second drawing on disk and an existing folder.
ACTIONS = [
    # action                 parameters                  expected result
    ("getDwgPath",           "",                         "{a}"),
    ("getCurrentSpace",      "",                         "Model"),
    ("verifyDir",            '"{dir}"',                  "EXISTS"),
    ("switchSpace",          '"Layout1"',                "OK"),
    ("runLisp",              '(setvar "CTAB" "Model")',  "OK"),
    ("runLispNoWait",        "(princ)",                  "OK"),
    ("fixMissingFonts",      "",                         "OK"),
    ("cancelDrawingLayouts", '"no-such-query"',          '{{"success":true}}'),
    # "^" marks an expected beginning: the rest of these answers is the drawing's or the host's.
    ("queryDrawingLayouts",  '{{"source":"active","includeBlocks":true}}', '^{{"drawings":[{{"dwgPath":"{a}"'),
    ("queryDrawingLayouts",  '{{"source":"files","dwgPaths":["{b}"]}}',    '^{{"drawings":[{{"dwgPath":"{b}"'),
    ("queryBlocks",          '{{"xmin":0,"ymin":0,"xmax":100,"ymax":100}}', "[]"),
    ("queryAllBlocks",       "",                         "[]"),
    ("queryLayoutContext",   '{{"dwgPath":"{a}","layoutName":"Layout1"}}',
     '{{"success":true,"requestedLayoutName":"Layout1","actualLayoutName":"Layout1","layoutHandle":"","blocks":[]}}'),
    ("extractFrames",        '"model"',                  '^{{"SchemaVersion":2'),
    ("extractFrames",        '"paper"',                  "^"),
    ("getPrinters",          "",                         "^["),
    ("getPaperSizes",        '"DWG To PDF.pc3"',         "^["),
    ("getStyles",            "",                         "^["),
    ("getLayouts",           "",                         "^["),
    ("nativePlot",           '{{"printer":"DWG To PDF.pc3","paper":"ISO_A3_(420.00_x_297.00_MM)","outputPath":"{dir}/w.pdf"}}',
     "{dir}/w.pdf"),
    ("simulateLayoutPlot",   '{{"spaceType":"layout","dwgPath":"{a}","layoutName":"Layout1"}}', '^{{"success":'),
    ("layoutPlot",           '{{"dwgPath":"{a}","layoutName":"Layout1","outputPath":"{dir}/l.pdf"}}', '^{{"success":'),
    ("layoutPlotCustom",     '{{"dwgPath":"{a}","layoutName":"Layout1","outputPath":"{dir}/c.pdf"}}', '^{{"success":'),
    ("layoutCustomPlot",     '{{"dwgPath":"{a}","layoutName":"Layout1","outputPath":"{dir}/c2.pdf"}}', '^{{"success":'),
    ("openDwg",              '"{b}"',                    "OPENED:{b}"),
    ("closeDwg",             "",                         "CLOSED"),
]


PLUGIN_FOLDERS = ("plugin", "pipeline", "layouts", "frames", "plot")


def action_names_in_sources():
    names = set()
    for path in sum((glob.glob(os.path.join(ROOT, folder, "*.cpp")) for folder in PLUGIN_FOLDERS), []):
        with open(path, encoding="utf-8") as source:
            for table in re.findall(r"const ActionRow k\w*\[\] = \{(.*?)\n\};", source.read(), re.S):
                names.update(re.findall(r'^\s*\{"(\w+)",', table, re.M))
    return names


def test_every_action_has_a_row():
    assert action_names_in_sources() == {row[0] for row in ACTIONS}


@pytest.mark.hub_framework
def test_every_action_answered_through_the_framework(hub_standin, cad_for, tmp_path):
    hub = hub_standin
    fonts = tmp_path / "fonts"
    os.makedirs(fonts)
    (fonts / "txt.shx").write_bytes(b"font")
    a = write_drawing(tmp_path / "a.dwg")
    b = write_drawing(tmp_path / "b.dwg")
    cad = cad_for(hub, "--display-name", "AutoCAD 2026 中文", "--fonts", str(fonts), a)
    connected = hub.wait_for(lambda e: e["event"] == "connected", 30)
    # The client query string reaches the framework's request as the plug-in built it.
    query = connected["query"]
    assert re.fullmatch(r"\d{20}", query["clientId"])
    assert query["clientName"] == "AutoCAD 2026 中文"
    assert query["serviceInstanceId"] == hub.instance_id
    assert query["activeDocumentPath"] == a
    assert "clientName=AutoCAD%202026%20%E4%B8%AD%E6%96%87" in connected["path"]
    hub.wait_connected()
    first_state = hub.wait_for(lambda e: e["event"] == "state", 30)
    assert first_state["arguments"][1:] == ["a.dwg", a]
    wait_ready(hub, a)

    fill = {"a": a, "b": b, "dir": str(tmp_path)}
    for action, params, expected in ACTIONS:
        mark = hub.mark()
        event = hub.exec(action, params.format(**fill))
        wanted = expected.format(**fill)
        if wanted.startswith("^"):
            assert event["status"] == "true" and event["result"].startswith(wanted[1:]), (action, event)
        else:
            assert (event["status"], event["result"]) == ("true", wanted), (action, event)
        if event["result"].startswith("OPENED:"):
            # The next row must find the opened drawing confirmed, however slow the machine.
            wait_ready(hub, event["result"][len("OPENED:"):], mark)
    assert cad.quit() == 0
    assert len(hub.connections) == 1, hub.log()


# Layout names that make a parameter text over 1 MiB and a result of exactly 16 MiB.
SEED = "中abcdefghijklm"
LAYOUT_16MIB = SEED * (1 << 20)
LAYOUT_1MIB = ("大" * 100 + "x" * 100) * (MIB // 400 + 1)


def write_drawing_with_layouts(path, names):
    import ezdxf

    doc = ezdxf.new("R2010")
    for name in names:
        doc.layouts.new(name)
    doc.saveas(path)
    return str(path)


@pytest.mark.hub_framework
def test_non_ascii_and_large_texts_then_a_close_record_and_a_restart(hub_standin, cad_for, tmp_path):
    hub = hub_standin
    # The framework writes non-ASCII text raw but astral characters as surrogate pairs, and line
    # separators, control characters and quotes as escapes: the plug-in must read each back exactly.
    folder = tmp_path / "图纸 😀 \u2028 <&>'"
    os.makedirs(folder)
    odd = write_drawing(folder / "中文.dwg")
    big = write_drawing_with_layouts(tmp_path / "big.dwg", [LAYOUT_1MIB, LAYOUT_16MIB])
    cad = cad_for(hub, big)
    wait_ready(hub, big)
    event = hub.exec("openDwg", '"%s"' % odd)
    assert (event["status"], event["result"]) == ("true", "OPENED:" + odd)
    mark = hub.mark()
    assert hub.exec("openDwg", '"%s"' % big)["result"] == "SWITCHED:" + big
    wait_ready(hub, big, mark)
    name = 'x"y\\z\x01中😀\u2028'
    assert hub.exec(name, "{}")["result"] == "Error: Unknown action '%s'" % name

    # A parameter text over 1 MiB arrives whole, in the framework's fragments: the layout it names
    # becomes the current one.
    assert hub.exec("runLisp", '(setvar "CTAB" "%s")' % LAYOUT_1MIB, timeout=60)["result"] == "OK"
    assert hub.exec("getCurrentSpace", "", timeout=60)["result"] == LAYOUT_1MIB

    # A 16 MiB result from a small request: the layout's name doubles twenty times in the host.
    doubling = '(setvar "USERS1" (strcat (getvar "USERS1") (getvar "USERS1")))'
    code = '(setvar "USERS1" "%s")%s(setvar "CTAB" (getvar "USERS1"))(princ)' % (SEED, doubling * 20)
    assert hub.exec("runLisp", code, timeout=120)["result"] == "OK"
    result = hub.exec("getCurrentSpace", "", timeout=120)
    assert result["result"] == LAYOUT_16MIB
    assert hub.exec("getDwgPath", "")["result"] == big
    assert len(hub.connections) == 1, "the connection dropped: " + str(hub.disconnections)

    # The hub closes the connection with its close record: the plug-in reconnects and goes on.
    mark = hub.mark()
    hub.close_clients()
    hub.wait_for(lambda e: e["event"] == "disconnected", 30, mark)
    hub.wait_for(lambda e: e["event"] == "connected", 30, mark)
    wait_ready(hub, big, mark)
    assert hub.exec("getDwgPath", "", req_id="after-close")["result"] == big

    # A restarted service (a new instance) is found again through its discovery file.
    hub.restart(instance_id="second-run")
    connected = hub.wait_for(lambda e: e["event"] == "connected", 30)
    assert connected["query"]["serviceInstanceId"] == "second-run"
    wait_ready(hub, big)
    assert hub.exec("getDwgPath", "", req_id="after-restart")["result"] == big
    assert cad.quit(timeout=30) == 0
    assert len(answered(hub, "after-restart")) == 1


@pytest.mark.skipif(not plain_build(), reason="wall-clock time only: runs in the plain build")
@pytest.mark.hub_framework
def test_keep_alive_holds_an_idle_connection(hub_standin, cad_for, tmp_path):
    hub = hub_standin
    a = str(tmp_path / "a.dwg")
    cad = cad_for(hub, a)
    wait_ready(hub, a)
    # The framework drops a client that sends nothing for 30 s; nothing but the plug-in's own
    # keep-alive is sent here for 40 s.
    mark = hub.mark()
    with pytest.raises(StandinError):
        hub.wait_for(lambda e: e["event"] in ("disconnected", "connected"), 40, mark)
    assert hub.exec("getDwgPath", "")["result"] == a
    assert len(hub.connections) == 1
    assert cad.quit() == 0


@pytest.mark.hub_framework
def test_a_result_over_the_default_receive_limit(tmp_path, cad_for):
    hub_framework_or_skip()
    from hub_standin_driver import HubStandin

    with HubStandin(home=str(tmp_path / "home"), default_receive_limit=True) as hub:
        a = str(tmp_path / "a.dwg")
        cad = cad_for(hub, a)
        wait_ready(hub, a)
        # The answer to an unknown action names it: 40 KB of name make an answer over 32 KB,
        # which the framework refuses by closing the connection.
        mark = hub.mark()
        hub.command(cmd="exec", reqId="too-big", action="x" * 40000, params="{}")
        hub.wait_for(lambda e: e["event"] == "disconnected", 30, mark)
        hub.wait_for(lambda e: e["event"] == "connected", 30, mark)
        wait_ready(hub, a, mark)
        assert hub.exec("getDwgPath", "")["result"] == a
        assert answered(hub, "too-big") == []
        assert cad.quit() == 0
