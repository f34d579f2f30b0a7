"""The drawing layouts query end to end: the simulated CAD application with the plug-in bundle and
the runtime service stand-in, on drawings written by ezdxf. Open and unopened files in one request,
the orders and texts of layouts and title blocks, the request limits, the read-only fallback after
context errors, and cancelling a query before and while it runs."""

import json
import time

import ezdxf

from conftest import answered, wait_ready

TITLE_VALUES = [("DWGNO", 'A-"101"'), ("TITLE", "Plan\tlevel \\3"), ("NAME", "\u56fe\u7eb8 \u4e00")]
CANCELLED = {"code": "drawing_layouts_cancelled", "message": "The layout query was cancelled or disconnected."}


def write_sheets(path, blocks_per_layout=1):
    """Layouts "Sheet B", "Sheet A", a Chinese one and two of equal tab order; title blocks on
    "Sheet A" (and `blocks_per_layout` on each of the others), a reference without attributes and
    a changed dynamic block."""
    doc = ezdxf.new("R2018")
    title = doc.blocks.new("TITLE")
    for tag, _ in TITLE_VALUES:
        title.add_attdef(tag, (0, 0))
    doc.blocks.new("PLAIN").add_line((0, 0), (1, 1))
    doc.appids.new("AcDbBlockRepBTag")
    dyn = doc.blocks.new("DOOR_DYN")
    dyn.add_attdef("WIDTH", (0, 0))
    anon = doc.blocks.new_anonymous_block("U")
    anon.add_attdef("WIDTH", (0, 0))
    anon.block_record.set_xdata("AcDbBlockRepBTag", [(1070, 1), (1005, dyn.block_record.dxf.handle)])
    for name, tab in (("Sheet B", 3), ("Sheet A", 2), ("\u56fe\u7eb8 C", 4), ("Twin 1", 5), ("Twin 2", 5)):
        doc.layouts.new(name).dxf_layout.dxf.taborder = tab
    for name in ("Layout1", "Sheet B", "\u56fe\u7eb8 C", "Twin 1", "Twin 2"):
        for i in range(blocks_per_layout):
            ref = doc.layouts.get(name).add_blockref("TITLE", (10 * i, 0))
            ref.add_attrib("DWGNO", "%s-%d" % (name, i), (0, 0))
    sheet = doc.layouts.get("Sheet A")
    first = sheet.add_blockref("TITLE", (0, 0))
    for tag, value in TITLE_VALUES:
        first.add_attrib(tag, value, (0, 0))
    sheet.add_blockref("PLAIN", (5, 5))
    sheet.add_blockref(anon.name, (9, 9)).add_attrib("WIDTH", "900", (0, 0))
    doc.saveas(str(path))
    # What the file says: the layouts by (tab order, handle text), the twins decided by handle.
    layouts = sorted(((l.dxf_layout.dxf.taborder, l.dxf_layout.dxf.handle, l.name) for l in doc.layouts
                      if not l.is_modelspace))
    return str(path), [name for _, _, name in layouts], first.dxf.handle


def query(standin, params, req_id=None):
    event = standin.exec("queryDrawingLayouts", json.dumps(params), req_id=req_id)
    assert event["status"] == "true"
    return event["result"]


def test_layouts_and_title_blocks_of_open_and_unopened_files(standin, cad_factory, tmp_path):
    a, a_layouts, first_handle = write_sheets(tmp_path / "a.dwg")
    b, _, _ = write_sheets(tmp_path / "b.dwg")
    missing = str(tmp_path / "missing.dwg")
    cad = cad_factory(b, "--new")  # b open behind the unsaved Drawing1.dwg
    standin.wait_connected()

    text = query(standin, {"source": "files", "includeBlocks": True, "dwgPaths": [a, b, missing]})
    assert "\u56fe\u7eb8" in text and "\\u0009" in text  # Chinese raw, tab escaped
    drawings = json.loads(text)["drawings"]
    assert [(d["dwgPath"], d["displayName"], d["blockReadMode"]) for d in drawings] == [
        (a, "a.dwg", "sideDatabase"), (b, "b.dwg", "openDocument"), (missing, "missing.dwg", "sideDatabase")]
    for drawing in drawings[:2]:
        assert [l["name"] for l in drawing["layouts"]] == a_layouts
        sheet = next(l for l in drawing["layouts"] if l["name"] == "Sheet A")
        # The reference without attributes is left out; numeric handle order; the dynamic block
        # under its own name.
        assert [(blk["blockName"], [(t["tag"], t["value"]) for t in blk["attributes"]]) for blk in sheet["blocks"]] == [
            ("TITLE", TITLE_VALUES), ("DOOR_DYN", [("WIDTH", "900")])]
        assert sheet["blocks"][0]["blockHandle"] == first_handle
    assert drawings[2]["layouts"] == [] and drawings[2]["error"] == {
        "code": "dwg_not_found", "message": "Could not read the DWG (CAD status 76)."}

    unsaved = json.loads(query(standin, {"source": "active"}))["drawings"]
    assert unsaved == [{"dwgPath": "", "displayName": "Drawing1.dwg", "hasFilePath": False,
                        "layouts": unsaved[0]["layouts"],
                        "error": {"code": "unsaved_document",
                                  "message": "Save the active drawing as a DWG before importing its layouts."}}]
    assert [l["name"] for l in unsaved[0]["layouts"]] == ["Layout1", "Layout2"]

    paths = [str(tmp_path / ("n%03d.dwg" % i)) for i in range(201)]
    assert len(json.loads(query(standin, {"source": "files", "dwgPaths": paths[:200]}))["drawings"]) == 200
    assert query(standin, {"source": "files", "dwgPaths": paths}) == (
        '{"success":false,"errorCode":"drawing_layouts_request_invalid",'
        '"message":"dwgPaths must contain one to 200 DWG file paths."}')
    assert query(standin, {"source": "folder"}) == (
        '{"success":false,"errorCode":"drawing_layouts_request_invalid","message":"source must be active or files."}')
    assert cad.quit() == 0


def test_read_only_fallback_after_context_errors(standin, cad_factory, tmp_path):
    a, a_layouts, _ = write_sheets(tmp_path / "a.dwg")
    b, _, _ = write_sheets(tmp_path / "b.dwg")
    other, _, _ = write_sheets(tmp_path / "other.dwg")
    cad = cad_factory(other, b)
    wait_ready(standin, b)
    assert standin.exec("switchSpace", '"Sheet B"')["result"] == "OK"
    request = {"source": "files", "includeBlocks": True, "dwgPaths": [a]}

    cases = [
        # The side database cannot read one entity in this context: read again read-only.
        ("getEntity", 2, "documentFallback", None),
        # The layout dictionary cannot be read in this context.
        ("acdbOpenObject:AcDbDictionary", 124, "documentFallback", None),
        # An ordinary failure is no reason to open the drawing.
        ("getEntity", 3, "sideDatabase", "Cannot read a layout entity (CAD status 3)."),
    ]
    for call, status, mode, block_error in cases:
        cad.fault(call, status)
        drawing = json.loads(query(standin, request))["drawings"][0]
        assert (drawing["blockReadMode"], "error" in drawing) == (mode, False), (call, drawing)
        assert [l["name"] for l in drawing["layouts"]] == a_layouts
        errors = [l["blockError"]["message"] for l in drawing["layouts"] if "blockError" in l]
        assert errors == ([block_error] if block_error else []), call
        # The user's drawing, current document and layout as they were, and ready at once; the
        # temporary one closed.
        assert standin.exec("getDwgPath", "")["result"] == b
        assert standin.exec("getCurrentSpace", "")["result"] == "Sheet B"

    cad.read_only_open(False)
    cad.fault("getEntity", 2)
    drawing = json.loads(query(standin, request))["drawings"][0]
    assert drawing["error"] == {"code": "document_fallback_not_readonly",
                                "message": "CAD did not honor the required read-only drawing open."}
    assert standin.exec("getDwgPath", "")["result"] == b
    since = cad.mark()
    cad.type("DOCS")
    cad.wait_output(lambda line: line.startswith("* 2 ") and line.endswith(b), since=since)
    assert not any(line.endswith(a) for line in cad.lines[since:])  # the writable open was closed
    assert cad.quit() == 0


def test_a_query_cancelled_before_it_starts_and_while_it_runs(standin, cad_factory, tmp_path):
    a, _, _ = write_sheets(tmp_path / "a.dwg", blocks_per_layout=3)
    b, _, _ = write_sheets(tmp_path / "b.dwg")
    c = str(tmp_path / "c.dwg")
    other, _, _ = write_sheets(tmp_path / "other.dwg")
    cad = cad_factory(other)
    wait_ready(standin, other)
    request = {"source": "files", "includeBlocks": True, "dwgPaths": [a, b, c]}

    # Before: the query waits behind a busy host while the cancel arrives.
    release = tmp_path / "release"
    cad.hold(release)
    standin.command(cmd="exec", reqId="q1", action="queryDrawingLayouts", params=json.dumps(request))
    assert standin.exec("cancelDrawingLayouts", '"q1"')["result"] == '{"success":true}'
    release.write_text("")
    first = json.loads(standin.wait_for(lambda e: e["event"] == "result" and e["reqId"] == "q1", 30)["result"])
    assert first["drawings"] == [{"dwgPath": a, "displayName": "a.dwg", "hasFilePath": True, "layouts": [],
                                  "blocksIncluded": True, "blockReadMode": "sideDatabase", "error": CANCELLED}]

    # While: a context error sends the first file to the read-only fallback; its open is held
    # until the cancel has landed.
    cad.fault("getEntity", 2)
    opened = tmp_path / "opened"
    cad.gate("appContextOpenDocument", opened)
    standin.command(cmd="exec", reqId="q2", action="queryDrawingLayouts", params=json.dumps(request))
    reached = tmp_path / "opened.reached"
    deadline = time.monotonic() + 30
    while not reached.exists():
        assert time.monotonic() < deadline, "the fallback never opened the drawing"
        time.sleep(0.01)
    assert standin.exec("cancelDrawingLayouts", "q2")["result"] == '{"success":true}'
    opened.write_text("")
    second = json.loads(standin.wait_for(lambda e: e["event"] == "result" and e["reqId"] == "q2", 60)["result"])
    read, stopped = second["drawings"]  # nothing for the third path
    assert read["blockReadMode"] == "documentFallback"
    assert read.get("error") == CANCELLED or any(l.get("blockError") == CANCELLED for l in read["layouts"])
    assert stopped["dwgPath"] == b and stopped["layouts"] == [] and stopped["error"] == CANCELLED
    assert len(answered(standin, "q2")) == 1
    cad.clear_faults()
    assert standin.exec("getDwgPath", "")["result"] == other  # ready at once: the switch was ours
    assert cad.quit() == 0
