"""The drawing session end to end: the simulated CAD application with the plug-in bundle and the
runtime service stand-in, on drawings written by ezdxf. Opening, switching and closing drawings,
switching spaces and running AutoLISP, repairing missing fonts, and the shell launch commands."""

import os
import re

from conftest import result, send, wait_admitted, wait_ready, write_drawing


def test_open_switch_and_close_drawings(standin, cad_factory, tmp_path):
    a = write_drawing(tmp_path / "a.dwg")
    b = write_drawing(tmp_path / "b.dwg")
    folder = tmp_path / "it's $(x) `y`"
    os.makedirs(folder / "old")
    c = write_drawing(folder / "c.dwg")
    stale = [folder / "other.dwl", folder / "old" / "c.dwl2"]
    for path in stale:
        path.write_text("lock")
    cad = cad_factory(a, b)
    wait_ready(standin, b)

    # A request queued behind an open that brings another drawing to the front is refused when it
    # runs: both are admitted while the host is busy.
    release = tmp_path / "release"
    cad.hold(release)
    send(standin, "open", "openDwg", '"%s"' % a)
    send(standin, "path", "getDwgPath")
    wait_admitted(standin)
    release.write_text("")
    assert result(standin, "open")["result"] == "SWITCHED:" + a
    refused = result(standin, "path")
    assert (refused["status"], refused["result"]) == ("false", "CAD_DOCUMENT_NOT_READY: The active document "
                                                      "changed or is still initializing.")

    cases = [
        ('"%s"' % a, "ALREADY_CURRENT:" + a),
        ('"%s"' % b, "SWITCHED:" + b),
        ('"%s"' % c, "OPENED:" + c),
    ]
    for params, expected in cases:
        event = standin.exec("openDwg", params)
        assert (event["status"], event["result"]) == ("true", expected)
    for path in stale:
        assert not path.exists(), path  # swept before the open, the odd folder name notwithstanding
    assert not (tmp_path / "x").exists()

    # A file the host cannot read answers with the host's status (a binary DWG: 61).
    binary = tmp_path / "binary.dwg"
    binary.write_bytes(b"AC1032\x00\x00\x00binary")
    assert standin.exec("openDwg", str(binary))["result"] == "Error: Open failed code=61"
    # A file that does not exist answers the host's file-not-found status.
    missing = tmp_path / "missing.dwg"
    assert standin.exec("openDwg", str(missing))["result"] == "Error: Open failed code=76"

    active = wait_ready(standin, c)["arguments"][2]
    for expected in ("CLOSED", "CLOSED", "LAST_DOC"):
        mark = standin.mark()
        assert standin.exec("closeDwg", "")["result"] == expected
        if expected == "CLOSED":
            # The next drawing must be ready before the next close. A state naming the closed
            # drawing may still arrive after the answer: only another drawing's counts.
            active = standin.wait_for(lambda e, closed=active: e["event"] == "state" and e["arguments"][0] is True
                                      and e["arguments"][2] != closed, 30, mark)["arguments"][2]
    assert cad.quit() == 0


def test_space_switch_and_lisp_answer_when_their_marker_runs(standin, cad_factory, tmp_path):
    a = write_drawing(tmp_path / "a.dwg")
    cad = cad_factory(a)
    wait_ready(standin, a)
    assert standin.exec("switchSpace", '"Layout1"')["result"] == "OK"
    assert standin.exec("getCurrentSpace", "")["result"] == "Layout1"  # the switch ran first
    assert standin.exec("runLisp", '(princ "lisp-ran")\r\n(setvar "CTAB" "Model")')["result"] == "OK"
    cad.wait_output(lambda line: "lisp-ran" in line)
    assert standin.exec("getCurrentSpace", "")["result"] == "Model"

    # No-wait LISP is answered whatever its code does, and the queue moves on.
    assert standin.exec("runLispNoWait", "(no-such-function)")["result"] == "OK"
    assert standin.exec("getDwgPath", "")["result"] == a

    # A failing line drops the rest of the typed text, the marker with it: the request ends with an
    # error at once and the queue moves on (one misspelt layout name used to stop it for good).
    send(standin, "bad", "runLisp", "(no-such-function)")
    send(standin, "behind", "getDwgPath")
    assert result(standin, "bad")["result"].startswith("Error: The AutoLISP code failed")
    assert result(standin, "behind")["result"] == a
    assert standin.exec("switchSpace", '"No Such Layout"')["result"].startswith("Error: The AutoLISP code failed")
    assert standin.exec("getCurrentSpace", "")["result"] == "Model"
    assert cad.quit() == 0


def test_missing_fonts_are_repaired_once(standin, cad_factory, tmp_path):
    fonts = tmp_path / "fonts"
    os.makedirs(fonts)
    for name in ("txt.shx", "gbcbig.shx", "simplex.shx", "hztxt.shx"):
        (fonts / name).write_bytes(b"font")
    broken = write_drawing(tmp_path / "broken.dwg", [("Lost", "lost.shx", "hztxt.shx"),
                                                      ("LostBig", "simplex.shx", "lost_big.shx"),
                                                      ("Fine", "simplex.shx", "")])
    cad = cad_factory("--fonts", str(fonts), broken)
    wait_ready(standin, broken)
    mark = cad.mark()
    assert standin.exec("fixMissingFonts", "")["result"] == "FIXED:2"
    cad.wait_output(lambda line: "Repaired and refreshed 2 text style(s)." in line, since=mark)
    cad.wait_output(lambda line: "Regenerating" in line, since=mark)
    # The drawing stays confirmed through the regeneration, so the next request is admitted; it
    # runs after the regeneration, on the main thread.
    assert standin.exec("fixMissingFonts", "")["result"] == "OK"
    assert cad.quit() == 0
    assert sum("Regenerating" in line for line in cad.lines[mark:]) == 1


def test_shell_commands_open_the_companion(standin, cad_factory, tmp_path):
    a = write_drawing(tmp_path / "a.dwg")
    cad = cad_factory("--display-name", "CAD One", a)
    wait_ready(standin, a)
    cad.type("ORVIKPLOT", "ORVIKHOME")
    # The recording `open` on the program's PATH prints each URL it is given.
    page = cad.wait_output(lambda line: line.startswith("open URL") and "route=" in line)
    found = re.fullmatch(r"open URL orvik-kelm://cad/open\?clientId=(\d{20})&clientName=CAD%20One"
                         r"&route=model-current", page)
    assert found, page
    # The page names the client the service knows: the identifier the WebSocket connected with.
    assert found.group(1) == standin.connections[-1]["query"]["clientId"], standin.connections
    cad.wait_output(lambda line: line == "open URL orvik-kelm://cad/open")
    assert cad.quit() == 0
