#!/usr/bin/env python3
"""The demo: the simulated CAD application with the plug-in, driven by the runtime service stand-in.

It starts the stand-in with a temporary home folder, starts the simulated application with a
drawing and the bundle, shows the connection and the drawing-state messages, sends commands and
prints their answers, changes the active drawing from the host side, and quits both cleanly.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)


def say(text=""):
    print(text, flush=True)


def step(title):
    say()
    say("== " + title)


def make_drawing(path):
    """A drawing with two paper-space layouts, written with ezdxf when it is installed. The plotted
    sheet shows what a plot carries: a heavy frame, a title block with aligned text, dashed centre
    lines on their layer, and model space through a plan viewport and a twisted one."""
    try:
        import ezdxf
        from ezdxf.enums import TextEntityAlignment as Align
    except ImportError:
        return False
    doc = ezdxf.new("R2018", setup=True)  # the standard linetypes
    doc.layers.add("AXIS", color=1, linetype="CENTER")
    doc.layers.add("WALL", color=5, lineweight=50)
    msp = doc.modelspace()
    msp.add_line((0, 0), (420, 0))
    msp.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    msp.add_lwpolyline([(60, 60), (260, 60), (260, 200), (60, 200)], close=True, dxfattribs={"layer": "WALL"})
    msp.add_circle((330, 130), 50, dxfattribs={"layer": "WALL"})
    for start, end in [((40, 130), (400, 130)), ((160, 30), (160, 230)), ((330, 50), (330, 210))]:
        msp.add_line(start, end, dxfattribs={"layer": "AXIS", "ltscale": 10})
    msp.add_text("HALL", dxfattribs={"height": 12}).set_placement((160, 150), align=Align.MIDDLE_CENTER)
    doc.layouts.new("A1-平面图")
    doc.layouts.rename("Layout1", "A0-总图")
    sheet = doc.layouts.get("A0-总图")
    sheet.page_setup(size=(420, 297), margins=(0, 0, 0, 0), units="mm", scale=(1, 1),
                     name="ISO_A3", device="DWG To PDF.pc3")
    sheet.dxf_layout.dxf.current_style_sheet = "acad.ctb"
    sheet.add_lwpolyline([(10, 10), (405, 10), (405, 278), (10, 278)], close=True, dxfattribs={"lineweight": 100})
    sheet.add_viewport(center=(140, 150), size=(250, 190), view_center_point=(210, 148.5), view_height=330)
    twisted = sheet.add_viewport(center=(337, 175), size=(125, 150), view_center_point=(0, 0), view_height=200)
    twisted.dxf.view_target_point = (330, 130, 0)
    twisted.dxf.view_twist_angle = 30
    # The title block: a name centred in its box, a number fitted to its cell, the scale at the right.
    sheet.add_lwpolyline([(270, 10), (405, 10), (405, 60), (270, 60)], close=True, dxfattribs={"lineweight": 50})
    sheet.add_line((270, 35), (405, 35))
    sheet.add_text("总平面图 SITE PLAN", dxfattribs={"height": 7}).set_placement((337.5, 47.5), align=Align.MIDDLE_CENTER)
    sheet.add_text("A0-总图", dxfattribs={"height": 6}).set_placement((275, 18), (340, 18), align=Align.FIT)
    sheet.add_text("1:1", dxfattribs={"height": 6}).set_placement((400, 18), align=Align.RIGHT)
    doc.styles.new("Chinese", dxfattribs={"font": "simsun.shx", "bigfont": "missing-big.shx"})
    doc.saveas(path)
    return True


def import_step(service, folder):
    """The companion imports the layouts and title-block attributes of a folder of drawings: one
    of them open in CAD, the others read from disk without opening them."""
    from demo_drawings import make_title_block_drawings, print_import
    step("6. The companion imports the layouts and title blocks of a folder of drawings")
    os.makedirs(folder)
    paths = make_title_block_drawings(folder)
    say("   %d drawings in %s; the first is opened in CAD" % (len(paths), folder))
    service.exec("openDwg", json.dumps(paths[0], ensure_ascii=False))
    request = {"source": "files", "includeBlocks": True, "dwgPaths": paths}
    result = service.exec("queryDrawingLayouts", json.dumps(request, ensure_ascii=False), timeout=60)
    print_import(result["result"], say)
    service.exec("closeDwg", "")


def plot_step(service, drawing, folder):
    """Lists the devices and the PDF device's papers, plots a layout to a PDF in `folder` and turns
    its first page into a PNG beside it."""
    step("7. The service lists what can be plotted and plots a layout to PDF")
    service.exec("openDwg", json.dumps(drawing))
    devices = service.exec("getPrinters", "")
    say("   getPrinters -> %s" % devices["result"])
    papers = service.exec("getPaperSizes", json.dumps("DWG To PDF.pc3"))
    if papers["status"] != "true":
        say("   getPaperSizes -> [%s] %s" % (papers["status"], papers["result"]))
        return
    listed = json.loads(papers["result"])
    say("   getPaperSizes \"DWG To PDF.pc3\" -> %d papers, for example:" % len(listed))
    for paper in listed[:4]:
        say("     %-28s %s x %s mm" % (paper["localeName"], paper["width"], paper["height"]))
    os.makedirs(folder, exist_ok=True)
    pdf = os.path.join(folder, "A0-总图.pdf")
    result = service.exec("layoutPlot", json.dumps({"dwgPath": drawing, "layoutName": "A0-总图",
                                                    "outputPath": pdf}, ensure_ascii=False))
    answer = json.loads(result["result"])
    if not answer.get("success"):
        say("   layoutPlot -> %s: %s" % (answer.get("errorCode"), answer.get("message")))
        return
    say("   layoutPlot -> the PDF is at %s" % answer["outputPath"])
    say("     with %s" % json.dumps(answer["effectiveSettings"], ensure_ascii=False))
    if shutil.which("pdftoppm"):
        stem = os.path.splitext(pdf)[0]
        subprocess.run(["pdftoppm", "-png", "-r", "72", "-singlefile", pdf, stem], check=False)
        if os.path.exists(stem + ".png"):
            say("     its first page as a picture: %s.png" % stem)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(SOURCE, "build", "default"),
                        help="build folder holding acad-sim and OrvikCad.bundle")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    args = parser.parse_args()
    os.environ["ORVIK_BUILD_DIR"] = os.path.abspath(args.build)

    from cad_driver import CadSim  # noqa: E402
    from standin_driver import Standin  # noqa: E402

    work = tempfile.mkdtemp(prefix="orvik-demo-")
    home = os.path.join(work, "home")
    os.makedirs(home)
    drawings = os.path.join(work, "drawings")
    os.makedirs(drawings)
    site = os.path.join(drawings, "site plan 总图.dwg")
    detail = os.path.join(drawings, "detail.dxf")
    real = make_drawing(detail)

    step("1. The runtime service stand-in starts (home folder %s)" % home)
    service = Standin(home=home).start()
    say("   listening on 127.0.0.1:%d, instance %s" % (service.port, service.instance_id))
    say("   discovery file: %s" % service.discovery_path)

    step("2. The simulated CAD application starts with a drawing and loads the plug-in")
    cad = CadSim(["--display-name", "AutoCAD 2026", site], home=home)
    try:
        connected = service.wait_for(lambda e: e["event"] == "connected", 30)
        say("   the plug-in connected:")
        say("   " + connected["path"])
        for key, value in connected["query"].items():
            say("     %-20s %s" % (key, value))
        state = service.wait_for(lambda e: e["event"] == "state" and e["arguments"][0] is True, 30)
        say("   CadStateChanged %s" % json.dumps(state["arguments"], ensure_ascii=False))

        step("3. The service sends commands; the plug-in answers")
        for action, params in [("getDwgPath", ""), ("getCurrentSpace", ""),
                               ("verifyDir", json.dumps(drawings)), ("verifyDir", '"/no/such/folder"'),
                               ("noSuchAction", "{}")]:
            result = service.exec(action, params)
            say("   %-16s %-34s -> [%s] %s" % (action, params[:34], result["status"], result["result"]))

        step("4. The user opens a new drawing and switches back, in the CAD application")
        mark = service.mark()
        cad.type("NEW")
        state = service.wait_for(lambda e: e["event"] == "state" and e["arguments"][1] == "Drawing1.dwg"
                                 and e["arguments"][0] is True, 30, mark)
        say("   NEW       -> CadStateChanged %s" % json.dumps(state["arguments"], ensure_ascii=False))
        mark = service.mark()
        cad.type("ACTIVATE 1")
        state = service.wait_for(lambda e: e["event"] == "state" and e["arguments"][2] == site
                                 and e["arguments"][0] is True, 30, mark)
        say("   ACTIVATE  -> CadStateChanged %s" % json.dumps(state["arguments"], ensure_ascii=False))
        result = service.exec("getDwgPath", "")
        say("   getDwgPath -> %s" % result["result"])

        if real:
            step("5. The service opens a real drawing file and works in it")
            for action, params in [("openDwg", json.dumps(detail)), ("getCurrentSpace", ""),
                                   ("switchSpace", json.dumps("A1-平面图", ensure_ascii=False)),
                                   ("getCurrentSpace", ""),
                                   ("switchSpace", json.dumps("A0-总图", ensure_ascii=False)),
                                   ("extractFrames", '"paper"'), ("fixMissingFonts", ""),
                                   ("runLisp", '(princ "hello from LISP")'),
                                   # A failing LISP line ends its request with an error; the next
                                   # request is still answered.
                                   ("switchSpace", json.dumps("No such layout")),
                                   ("getCurrentSpace", ""),
                                   ("closeDwg", ""), ("getDwgPath", "")]:
                result = service.exec(action, params)
                say("   %-16s %-34s -> [%s] %s" % (action, params[:34], result["status"], result["result"]))

            import_step(service, os.path.join(work, "sheets"))

            plot_step(service, detail, os.path.join(os.path.abspath(args.build), "demo"))

            step("8. The user asks for the companion's plot page (ORVIKPLOT)")
            mark = cad.mark()
            cad.type("ORVIKPLOT")
            try:
                line = cad.wait_output(lambda l: "open URL" in l or "[Orvik]" in l, 10, mark)
                say("   " + line)
            except AssertionError:
                say("   (no page was opened)")

        step("9. Quit: the plug-in unloads, then the service stops")
        code = cad.quit()
        say("   the CAD application ended with status %d" % code)
        say()
        say("-- the CAD application's command line --")
        for line in cad.lines:
            say("   | " + line)
    finally:
        cad.kill()
        service.stop()
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    say()
    say("Demo finished.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
