"""The block queries and the layout context query end to end: the simulated CAD application with
the plug-in bundle and the runtime service stand-in, on a drawing written by ezdxf. The answers as
the companion reads them, and the command-line summaries in each language."""

import json

import ezdxf

from conftest import exec_ok, use_language, wait_ready

SHEET = "\u56fe\u7eb8\u4e00"  # a Chinese layout name
TRICKY = 'say "hi"\tthen \u4e2d\u6587'  # a quote, a tab and Chinese text


def write_drawing(path):
    """TITLE references in model space (one outside the window), one without attributes, and one
    on the layout SHEET. Returns the path and the layouts' handles."""
    doc = ezdxf.new("R2010")
    title = doc.blocks.new("TITLE")
    title.add_attdef("NO", (0, 0), dxfattribs={"height": 2.5})
    title.add_attdef("NAME", (0, 5), dxfattribs={"height": 2.5})
    doc.blocks.new("PLAIN").add_line((0, 0), (1, 1))

    def insert(space, name, at, values):
        ref = space.add_blockref(name, at)
        for tag, text in values:
            ref.add_attrib(tag, text, (at[0], at[1]), dxfattribs={"height": 2.5})
        return ref

    msp = doc.modelspace()
    msp.add_line((1, 1), (5, 5))  # inside the window, but no block: neither listed nor counted
    insert(msp, "TITLE", (10, 10), [("NO", "M-1"), ("NAME", TRICKY)])
    insert(msp, "PLAIN", (20, 20), [])
    insert(msp, "TITLE", (500, 500), [("NO", "M-2"), ("NAME", "far")])
    sheet = doc.layouts.new(SHEET)
    paper = insert(sheet, "TITLE", (30, 40), [("NO", "P-1"), ("NAME", "sheet")])
    doc.saveas(path)
    handles = {name: doc.layouts.get(name).dxf_layout.dxf.handle for name in ("Model", SHEET)}
    return str(path), handles, paper.dxf.handle


def test_layout_context_then_window_and_all_blocks_queries(standin, cad_factory, tmp_path):
    path, handles, paper_ref = write_drawing(tmp_path / "blocks.dwg")
    other = tmp_path / "other.dwg"
    cad = cad_factory(path)
    wait_ready(standin, path)
    assert exec_ok(standin, "getCurrentSpace", "") == "Model"

    def context(**fields):
        return json.loads(exec_ok(standin, "queryLayoutContext", json.dumps(dict({"dwgPath": path}, **fields))))

    # The handle wins over a wrong name, which is only echoed; the layout before is restored.
    answer = context(layoutName="Wrong", layoutHandle=handles[SHEET], includeBlocks=True)
    assert answer == {"success": True, "requestedLayoutName": "Wrong", "actualLayoutName": SHEET,
                      "layoutHandle": handles[SHEET],
                      "blocks": [{"blockName": "TITLE", "blockHandle": paper_ref,
                                  "attributes": [{"tag": "NO", "value": "P-1"}, {"tag": "NAME", "value": "sheet"}]}]}
    assert exec_ok(standin, "getCurrentSpace", "") == "Model"
    assert context(layoutName=SHEET) == {"success": True, "requestedLayoutName": SHEET, "actualLayoutName": SHEET,
                                         "layoutHandle": "", "blocks": []}
    model = context(layoutName="Model", includeBlocks=True)
    assert [b["attributes"][0]["value"] for b in model["blocks"]] == ["M-1", "M-2"]

    errors = [
        (dict(layoutName=SHEET, layoutHandle="0"), "layout_handle_invalid"),
        (dict(layoutName=SHEET, layoutHandle="FFFFFF"), "layout_handle_invalid"),
        (dict(layoutHandle=paper_ref), "layout_object_invalid"),
        (dict(layoutName="Nowhere"), "layout_not_found"),
        (dict(dwgPath=str(other), layoutName=SHEET), "dwg_not_open"),
        (dict(dwgPath="", layoutName=SHEET), "required_parameter_missing"),
    ]
    for fields, code in errors:
        answer = context(**fields)
        assert (answer["success"], answer["errorCode"]) == (False, code), (fields, answer)
    assert exec_ok(standin, "queryLayoutContext", "") == "Error: Empty layout context params."

    # The window and all-blocks queries, with their summaries in each language.
    title = {"blockName": "TITLE", "attributes": [{"tag": "NO", "value": "M-1"}, {"tag": "NAME", "value": TRICKY}]}
    plain = {"blockName": "PLAIN", "attributes": []}  # listed, with no attributes
    summaries = [
        ("zh-CN", "[Orvik] \u5757\u67e5\u8be2\u5b8c\u6210\uff1a\u7a97\u53e3(0.0,0.0 ~ 100.0,100.0)\uff0c"
                  "\u5e03\u5c40=Model\uff0c\u627e\u5230 2 \u4e2a\u5757\u3002"),
        ("zh-TW", "[Orvik] \u5716\u584a\u67e5\u8a62\u5b8c\u6210\uff1a\u8996\u7a97(0.0,0.0 ~ 100.0,100.0)\uff0c"
                  "\u914d\u7f6e=Model\uff0c\u627e\u5230 2 \u500b\u5716\u584a\u3002"),
        ("en-US", "[Orvik] Block query completed: window (0.0,0.0 ~ 100.0,100.0), layout=Model, 2 block(s) found."),
    ]
    for locale, summary in summaries:
        use_language(standin, locale)
        mark = cad.mark()
        answer = exec_ok(standin, "queryBlocks", '{"xmin":0,"ymin":0,"xmax":100,"ymax":100,"layout":"Model"}')
        assert json.loads(answer) == [title, plain], answer
        cad.wait_output(lambda line: line == summary, since=mark)

    # Nothing inside: "[]" and no summary.
    assert exec_ok(standin, "queryBlocks", '{"xmin":200,"ymin":200,"xmax":300,"ymax":300}') == "[]"
    # A number that is not one ends the task with the conversion error.
    bad = standin.exec("queryBlocks", '{"xmin":"abc"}')
    assert bad["status"] == "false", bad
    assert exec_ok(standin, "queryBlocks", "") == "Error: Empty query params."

    # All blocks of the current space: the first TITLE reference decides the values.
    mark = cad.mark()
    assert json.loads(exec_ok(standin, "queryAllBlocks", "")) == [title, plain]
    cad.wait_output(lambda line: line == "[Orvik] All-block query completed: space=Model, 2 unique attribute "
                                 "block definition(s) found.", since=mark)

    # A window on the Chinese layout makes it current; both summaries name it whole.
    mark = cad.mark()
    answer = exec_ok(standin, "queryBlocks", '{"xmin":0, "ymin":0,"xmax":420,"ymax":297,"layout":"%s"}' % SHEET)
    sheet_title = {"blockName": "TITLE", "attributes": [{"tag": "NO", "value": "P-1"}, {"tag": "NAME", "value": "sheet"}]}
    assert json.loads(answer) == [sheet_title]
    cad.wait_output(lambda line: ("layout=%s, 1 block(s)" % SHEET) in line, since=mark)
    assert json.loads(exec_ok(standin, "queryAllBlocks", "")) == [sheet_title]
    cad.wait_output(lambda line: line == "[Orvik] All-block query completed: space=%s, 1 unique attribute "
                                 "block definition(s) found." % SHEET, since=mark)
    assert not [line for line in cad.lines if "block(s) found" in line and "200.0" in line]

    # The developer commands insert a frame and list it.
    cad.type("ORVIKTESTCREATEBLOCK", "ORVIKTESTQUERYBLOCKS")
    cad.wait_output(lambda line: line == "[Orvik] Inserted a frame at (0,0) with test attribute data.")
    cad.wait_output(lambda line: line == "  DRAWING_NO = A-101")
    cad.wait_output(lambda line: line.startswith("[Orvik] Test block query finished:"))
    frames = json.loads(exec_ok(standin, "queryAllBlocks", ""))
    assert "\u56fe\u6846" in [b["blockName"] for b in frames]
    assert cad.quit() == 0
