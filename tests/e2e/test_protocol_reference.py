"""The protocol reference (docs/PROTOCOL.md) and its schemas (docs/schemas/) kept true: the index
lists exactly the plug-in's action rows, every example runs against the simulated application
through the stand-in and gets the documented answer, every example answer that is JSON validates
against its schema, and every error text or errorCode the reference names is one the code has.

Run as a script with --record to print what the examples answer now, in the reference's format:
    ORVIK_BUILD_DIR=build/default /usr/bin/python3 tests/e2e/test_protocol_reference.py --record
"""
import html
import json
import os
import re
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))

import pytest  # noqa: E402

import protocol_schemas  # noqa: E402
from cad_driver import CadSim  # noqa: E402
from runtime_standin import ExampleText, FillPlaceholders, ReadExamples  # noqa: E402
from standin_driver import Standin  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
REFERENCE = os.path.join(ROOT, "docs", "PROTOCOL.md")
TABLES = ["pipeline/session_actions.cpp", "pipeline/font_repair.cpp", "layouts/layout_actions.cpp",
          "plot/plot_actions.cpp", "frames/frame_actions.cpp"]
PDF = "DWG To PDF.pc3"
BUSY = "Error: CAD is busy with another command; the frames were not extracted."


# ---- the action tables ----------------------------------------------------------------------

ROW = re.compile(r'\{\s*"([^"]*)"\s*,\s*(\w+|-1)\s*,\s*ActionParams::k(\w+)\s*,\s*("(?:[^"\\]|\\.)*"|\w+)\s*,'
                 r'\s*(true|false)\s*,\s*ActionAnswer::k(\w+)\s*,')
CONSTANT = re.compile(r'const char\*\s+const\s+(\w+)\s*=\s*("(?:[^"\\]|\\.)*")\s*;')
TIMING = {"Queued": "queued", "AtOnce": "atOnce", "BeforeReadinessGate": "beforeGate"}
FORM = {"None": "none", "AsReceived": "asReceived", "QuoteStripped": "quoteStripped"}


def table_rows():
    """Every named row of the plug-in's action tables as the index writes it."""
    rows = {}
    for name in TABLES:
        with open(os.path.join(ROOT, name), encoding="utf-8") as f:
            source = f.read()
        constants = {k: json.loads(v) for k, v in CONSTANT.findall(source)}
        for action, _, form, empty, gate, timing in ROW.findall(source):
            if not action:
                continue  # a kind reached only through another row's admission
            empty_answer = None if empty == "nullptr" else (
                json.loads(empty) if empty.startswith('"') else constants[empty])
            assert action not in rows, action
            # An action answered before the gate is never refused, whatever its row's flag says.
            refused = gate == "true" and TIMING[timing] != "beforeGate"
            rows[action] = {"gate": refused, "timing": TIMING[timing], "parameters": FORM[form],
                            "emptyAnswer": empty_answer}
    return rows


def test_the_index_lists_exactly_the_action_rows():
    rows = table_rows()
    assert len(rows) >= 24  # the reader found the tables' rows
    listed = {a["name"]: {k: a[k] for k in ("gate", "timing", "parameters", "emptyAnswer")}
              for a in protocol_schemas.index()["actions"]}
    assert listed == rows
    # Every action has its section in the reference, and every schema the index names exists.
    with open(REFERENCE, encoding="utf-8") as f:
        headings = set(re.findall(r"^#+ `(\w+)`", f.read(), re.M))
    assert set(rows) <= headings, set(rows) - headings
    for action in protocol_schemas.index()["actions"]:
        for key in ("parametersSchema", "answerSchema"):
            if action.get(key):
                protocol_schemas.load(action[key])


# ---- the documented error texts -------------------------------------------------------------

def source_texts():
    """The plug-in's sources as one text, with C++ escapes of its string literals decoded."""
    texts = []
    for folder in ("host", "link", "plugin", "pipeline", "layouts", "frames", "plot", "bundle"):
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if name.endswith((".cpp", ".h")):
                with open(os.path.join(ROOT, folder, name), encoding="utf-8") as f:
                    texts.append(f.read().replace('\\"', '"'))
    return "\n".join(texts)


def documented_errors():
    """The error texts and codes the reference's error lists name: `code` items and quoted texts
    under an "Errors" label. A placeholder (<status>, …) cuts a text into pieces, each of which
    must be found; a piece of two characters or less is no evidence and is skipped."""
    with open(REFERENCE, encoding="utf-8") as f:
        text = f.read()
    found = set()
    for block in re.findall(r"^\*\*Errors?\b.*?(?=^\*\*|^#|^```|\Z)", text, re.M | re.S):
        for literal in re.findall(r'"([^"]+)"', re.sub(r"\s*\n\s*", " ", html.unescape(block))):
            found.update(p for p in re.split(r"<[^<>]*>|\[…\]|…", literal) if len(p.strip()) > 2)
        found.update(re.findall(r"`([a-z]+(?:_[a-z]+)+)`", block))
    return found


def found_in(text, where):
    # A prefix such as "CAD_PLOT_RESOURCES_NOT_READY: " is often joined to its reason apart.
    head, colon, tail = text.partition(": ")
    return text in where or bool(colon and tail and (head + colon) in where and found_in(tail, where))


def test_every_documented_error_is_one_the_code_has():
    errors = documented_errors()
    assert len(errors) > 60  # the reader found the lists
    sources = source_texts()
    missing = sorted(e for e in errors if not found_in(e, sources))
    assert not missing, missing


# "Error:" texts no request can provoke: a task kind without its action, a lock asked for no
# document, a plot area the reader always sets.
UNREACHABLE = {"Error: Unsupported command kind ", "Error: Cannot lock a null document.",
               "Error: plotArea must be layout."}


def test_every_error_the_code_has_is_documented():
    # The other direction: an "Error:" text or an errorCode added to the code without its line in
    # the reference fails here. The layout plots answer their "Error:" texts as JSON messages
    # without the prefix, so only the text after it is looked for.
    with open(REFERENCE, encoding="utf-8") as f:
        reference = re.sub(r"\s*\n\s*", " ", html.unescape(f.read()))
    undocumented = set()
    for folder in ("host", "link", "plugin", "pipeline", "layouts", "frames", "plot", "bundle"):
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not name.endswith(".cpp"):
                continue
            with open(os.path.join(ROOT, folder, name), encoding="utf-8") as f:
                for literal in re.findall(r'"((?:[^"\\\n]|\\.)*)"', f.read()):
                    literal = literal.replace('\\"', '"')
                    if re.fullmatch(r"[a-z]+(?:_[a-z]+)+", literal):
                        if "`%s`" % literal not in reference:
                            undocumented.add(literal)
                    elif literal.startswith("Error:") and literal not in UNREACHABLE:
                        fixed = literal[len("Error:"):].strip()
                        if fixed and not found_in(fixed, reference):
                            undocumented.add(literal)
    assert not undocumented, sorted(undocumented)


# ---- the examples ---------------------------------------------------------------------------

def write_sheets(folder):
    """The examples' drawings: A-101.dwg with the layouts A-101 and A-102, B-201.dwg with B-201.
    Each layout has a frame and an attributed title block; A-101's model space a frame and two
    axis lines. Returns the placeholder values the drawings give (handles)."""
    import ezdxf

    values = {}
    for name, layouts in (("A-101", [("A-101", "Ground floor"), ("A-102", "First floor")]),
                          ("B-201", [("B-201", "North elevation")])):
        doc = ezdxf.new("R2018")
        block = doc.blocks.new("TITLE")
        block.add_lwpolyline([(0, 0), (180, 0), (180, 40), (0, 40)], close=True)
        for y, tag in ((25, "DRAWING_NO"), (10, "TITLE")):
            block.add_attdef(tag, (5, y), dxfattribs={"height": 3})
        model = doc.modelspace()
        model.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
        model.add_line((0, 150), (420, 150))
        model.add_line((210, 0), (210, 297))
        doc.layouts.rename("Layout1", layouts[0][0])
        for extra, _ in layouts[1:]:
            doc.layouts.new(extra)
        for layout_name, title in layouts:
            space = doc.layouts.get(layout_name)
            space.page_setup(size=(420, 297), margins=(0, 0, 0, 0), units="mm", scale=(1, 1), name="ISO_A3",
                             device=PDF)
            space.dxf_layout.dxf.current_style_sheet = "monochrome.ctb"
            space.add_lwpolyline([(10, 10), (410, 10), (410, 287), (10, 287)], close=True)
            reference = space.add_blockref("TITLE", (230, 10))
            reference.add_auto_attribs({"DRAWING_NO": layout_name, "TITLE": title})
            values["HANDLE:" + layout_name] = space.dxf_layout.dxf.handle
            values["BLOCK:" + layout_name] = reference.dxf.handle
        doc.saveas(os.path.join(folder, name + ".dwg"))
    return values


def matches(expected, actual):
    """The documented text with <…> standing for any text."""
    pattern = "".join(".*?" if part == "<…>" else re.escape(part) for part in re.split(r"(<…>)", expected))
    return re.fullmatch(pattern, actual, re.S) is not None


# The sessions the examples run in: the program's arguments.
SESSIONS = {"sheets": lambda v: [v["DRAWINGS"] + "/A-101.dwg"], "none": lambda v: []}


def wire_records():
    """The records written out in the reference's section on records, by target."""
    with open(REFERENCE, encoding="utf-8") as f:
        return {r["target"]: r for r in (json.loads(line) for line in f
                                          if line.startswith('    {"type":1,"target":'))}


def test_the_documented_records_match_their_schema():
    records = wire_records()
    assert set(records) == {"ExecuteCommand", "CadResult", "CadStateChanged"}
    for record in records.values():
        assert protocol_schemas.problems_of(record, "records.json") == [], record


def wire_examples():
    """The ExecuteCommand record and its CadResult, as one more example of the first session."""
    records = wire_records()
    request, answer = records["ExecuteCommand"]["arguments"], records["CadResult"]["arguments"]
    assert request[0] == answer[0]
    return [{"session": "sheets", "heading": "2. The records", "line": 0, "action": request[1],
             "params": request[2], "status": answer[1], "result": answer[2]}]


def run_examples(tmp_path, record=False):
    """Runs every example in document order, one session at a time; returns the mismatches (or,
    when recording, the examples with their actual answers)."""
    drawings = str(tmp_path / "drawings")
    out = str(tmp_path / "out")
    os.makedirs(drawings)
    values = dict(write_sheets(drawings), DRAWINGS=drawings, OUT=out, HOME=str(tmp_path / "home"))
    examples = wire_examples() + ReadExamples(REFERENCE)
    report = []
    for session, arguments in SESSIONS.items():
        chosen = [e for e in examples if e["session"] == session]
        if not chosen:
            continue
        with Standin(home=values["HOME"]) as standin:
            cad = CadSim(arguments(values), env=standin.env())
            try:
                standin.wait_connected()
                if arguments(values):
                    wait_ready_state(standin, arguments(values)[-1])
                    state = json.loads(FillPlaceholders(json.dumps(wire_records()["CadStateChanged"]), values))
                    sent = [e["arguments"] for e in standin.states]
                    if state["arguments"] not in sent and not record:
                        report.append("the state message: documented %r, sent %r" % (state["arguments"], sent))
                for example in chosen:
                    params = FillPlaceholders(example["params"], values)
                    mark = standin.mark()
                    answer = standin.exec(example["action"], params, timeout=60)
                    for _ in range(20):
                        # The documented refusal while the command of the request before is ending.
                        if answer["result"] != BUSY:
                            break
                        time.sleep(0.25)
                        answer = standin.exec(example["action"], params, timeout=60)
                    expected = FillPlaceholders(example["result"], values)
                    if record:
                        report.append(dict(example, status=answer["status"], result=unfill(answer["result"], values)))
                    elif answer["status"] != example["status"] or not matches(expected, answer["result"]):
                        report.append("line %d (%s): sent %s %r\n  documented %s %r\n  answered   %s %r" % (
                            example["line"], example["heading"], example["action"], params, example["status"],
                            expected, answer["status"], answer["result"]))
                    settle(standin, example, params, values, mark)
                assert cad.quit() == 0
            finally:
                cad.kill()
    return report


def wait_ready_state(standin, path, since=0):
    standin.wait_for(lambda e: e["event"] == "state" and e["arguments"][0] is True and e["arguments"][2] == path,
                     30, since)


def settle(standin, example, params, values, since):
    """After an example that changes the active drawing, waits until the drawing it leaves active
    is confirmed (a state message sent after the request), so the next example is not refused."""
    if example["action"] == "openDwg" and example["status"] == "true":
        wait_ready_state(standin, params.strip('"'), since)
    elif example["action"] == "closeDwg" and example["result"] == "CLOSED":
        wait_ready_state(standin, values["DRAWINGS"] + "/A-101.dwg", since)


def unfill(text, values):
    for name, value in sorted(values.items(), key=lambda kv: -len(kv[1])):
        if len(value) > 3:
            text = text.replace(value, "<%s>" % name)
    return text


def test_every_example_gets_its_documented_answer(tmp_path):
    mismatches = run_examples(tmp_path)
    assert not mismatches, "\n".join(mismatches)


def test_the_stand_in_sends_an_example_with_its_placeholders_filled(tmp_path):
    drawings = str(tmp_path)
    write_sheets(drawings)
    example = [e for e in ReadExamples(REFERENCE) if e["action"] == "getDwgPath" and e["session"] == "sheets"][0]
    with Standin(home=str(tmp_path / "home"),
                 extra_args=["--example", "getDwgPath", "--send", "--set", "DRAWINGS=" + drawings]) as standin:
        cad = CadSim([drawings + "/A-101.dwg"], env=standin.env())
        try:
            answer = standin.wait_for(lambda e: e["event"] == "result", 60)
            assert (answer["status"], answer["result"]) == (
                example["status"], FillPlaceholders(example["result"], {"DRAWINGS": drawings}))
            assert cad.quit() == 0
        finally:
            cad.kill()


def test_every_json_example_validates():
    # The live answers are validated by the end-to-end tests' hook (conftest.py); this catches an
    # example whose documented parameters or answer its schema refuses, before anything runs.
    problems = []
    for example in ReadExamples(REFERENCE):
        if "<…>" in example["result"]:
            continue
        # Placeholders stand for paths and handles: any hexadecimal text passes for either.
        result = re.sub(r"<[^<>]*>", "0A", example["result"])
        params = re.sub(r"<[^<>]*>", "0A", example["params"])
        problems += ["line %d: %s" % (example["line"], p)
                     for p in protocol_schemas.problems(example["action"], result)
                     + protocol_schemas.problems(example["action"], params, "parametersSchema")]
    assert not problems, problems


if __name__ == "__main__" and "--record" in sys.argv:
    import tempfile
    import pathlib

    for example in run_examples(pathlib.Path(tempfile.mkdtemp(prefix="protocol-examples-")), record=True):
        print("line %d, %s\n```example%s\n%s\n```\n" % (
            example["line"], example["heading"],
            "" if example["session"] == "sheets" else " session=" + example["session"], ExampleText(example)))
