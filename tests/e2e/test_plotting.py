"""Plotting end to end: the simulated CAD application with the plug-in bundle and the runtime
service stand-in, on a drawing written by ezdxf with paper-space layouts and page setups. The
catalogues as the companion reads them, PDF files checked with pdfinfo and rendered with pdftoppm,
custom, window and simulated plots, the busy guard and the layout put back after each plot."""

import json
import os
import subprocess

import ezdxf

from conftest import exec_ok, wait_ready

PDF = "DWG To PDF.pc3"
A3 = "ISO_A3_(420.00_x_297.00_MM)"
A4_PORTRAIT = "ISO_A4_(210.00_x_297.00_MM)"
SHEET = "A3 \u56fe\u7eb8"        # a Chinese layout name
TRICKY = "Plan #1 (\u5e73\u9762)"  # blanks, brackets and Chinese in a layout name
MM_TO_PT = 72 / 25.4


def write_drawing(path):
    """Model space holds a 400 x 277 rectangle; SHEET shows it through a viewport inside a frame
    10 mm from the edges of its A3 landscape page setup; TRICKY is set up for A4 portrait."""
    doc = ezdxf.new("R2018")
    doc.modelspace().add_lwpolyline([(0, 0), (400, 0), (400, 277), (0, 277)], close=True)
    doc.layouts.rename("Layout1", SHEET)
    sheet = doc.layouts.get(SHEET)
    sheet.page_setup(size=(420, 297), margins=(0, 0, 0, 0), units="mm", scale=(1, 1), name="ISO_A3", device=PDF)
    sheet.dxf_layout.dxf.current_style_sheet = "monochrome.ctb"
    sheet.add_lwpolyline([(10, 10), (410, 10), (410, 287), (10, 287)], close=True)
    sheet.add_viewport(center=(210, 148.5), size=(380, 257), view_center_point=(200, 138.5), view_height=300)
    tricky = doc.layouts.new(TRICKY)
    tricky.page_setup(size=(210, 297), margins=(0, 0, 0, 0), units="mm", scale=(1, 1), name="ISO_A4",
                      device=PDF)
    doc.saveas(path)
    return str(path), doc.layouts.get(SHEET).dxf_layout.dxf.handle


def exec_json(standin, action, params):
    text = params if isinstance(params, str) else json.dumps(params, ensure_ascii=False)
    return json.loads(exec_ok(standin, action, text))


def page_size_pt(pdf):
    info = subprocess.run(["pdfinfo", pdf], capture_output=True, text=True, check=True).stdout
    line = next(l for l in info.splitlines() if l.startswith("Page size:"))
    parts = line.split()
    return float(parts[2]), float(parts[4])


def rendering(pdf, stem, dpi=36):
    """The first page as a grey map: (width, height, rows of bytes), 0 black, 255 white."""
    subprocess.run(["pdftoppm", "-gray", "-r", str(dpi), "-singlefile", pdf, stem], check=True)
    with open(stem + ".pgm", "rb") as f:  # "P5", the size, the maximum value, then the bytes
        assert f.readline() == b"P5\n"
        width, height = map(int, f.readline().split())
        f.readline()
        pixels = f.read()
    return width, height, [pixels[y * width:(y + 1) * width] for y in range(height)]


def ink_box(width, height, rows):
    dark = [(x, y) for y in range(height) for x in range(width) if rows[y][x] < 128]
    assert dark, "the page is blank"
    xs, ys = [p[0] for p in dark], [p[1] for p in dark]
    return min(xs), min(ys), max(xs), max(ys)


def test_catalogues_window_plots_and_the_simulation(standin, cad_factory, tmp_path):
    path, handle = write_drawing(tmp_path / "sheets.dxf")
    cad_factory(path)
    wait_ready(standin, path)
    assert PDF in exec_json(standin, "getPrinters", "")
    styles = exec_json(standin, "getStyles", "")
    assert "Normal" not in styles and "monochrome.ctb" in styles
    assert len({s.lower() for s in styles}) == len(styles)
    papers = exec_json(standin, "getPaperSizes", json.dumps(PDF))
    a3 = next(p for p in papers if p["canonicalName"] == A3)
    assert (a3["width"], a3["height"]) == (420, 297) and 0 < a3["printableWidth"] <= 420
    assert exec_json(standin, "getLayouts", "") == [SHEET, TRICKY]
    empty = standin.exec("getPaperSizes", "")
    assert empty["status"] == "false" and empty["result"] == "CAD_PLOT_RESOURCES_NOT_READY: a plot device is required."

    for layout, window in [("Model", (0, 0, 400, 277)), (SHEET, (0, 0, 420, 297))]:
        out = str(tmp_path / ("window-%d.pdf" % len(layout)))
        result = standin.exec("nativePlot", json.dumps({"printer": PDF, "paper": A3, "layout": layout,
                                                        "xmin": window[0], "ymin": window[1], "xmax": window[2],
                                                        "ymax": window[3], "outputPath": out}, ensure_ascii=False))
        assert result == dict(result, status="true", result=out)
        width, height = page_size_pt(out)
        assert width > height
        ink_box(*rendering(out, out[:-4]))
    assert standin.exec("nativePlot", json.dumps({"printer": PDF}))["result"] == "Error: printer/paper/outputPath required."

    good = {"spaceType": "layout", "dwgPath": path, "layoutName": SHEET, "printer": PDF,
            "paper": A3, "style": "monochrome.ctb", "rotation": "90", "outputMode": "single",
            "outputPath": str(tmp_path / "never.PDF"), "scale": {"mode": "custom", "denominator": 50}}
    rows = [({"spaceType": "model", "layoutName": "Model"}, "space_type_invalid"),
            ({"layoutName": "\u6a21\u578b"}, "model_not_supported"),
            ({"printer": ""}, "required_parameter_missing"),
            ({"outputMode": "all"}, "output_mode_invalid"),
            ({"scale": {"mode": "fit"}}, "scale_mode_invalid"),
            ({"scale": {"mode": "custom", "denominator": 0}}, "scale_denominator_invalid"),
            ({"rotation": "Landscape"}, "rotation_invalid"),
            ({"outputPath": "/tmp/a.pdf.txt"}, "output_path_invalid"),
            ({"dwgPath": str(tmp_path / "other.dxf")}, None),  # not open: the binding answers
            ({"printer": "Nope.pc3"}, "printer_not_found"),
            ({"paper": "ISO_A9"}, "paper_not_found"),
            ({"style": "MONOCHROME.CTB"}, "style_not_found"),
            ({"layoutName": "No such"}, "layout_not_found"),
            ({"layoutHandle": "FFFFF"}, "layout_not_found")]
    for change, code in rows:
        answer = exec_json(standin, "simulateLayoutPlot", dict(good, **change))
        assert answer["success"] is False, (change, answer)
        if code:
            assert answer["errorCode"] == code, (change, answer)
    answer = exec_json(standin, "simulateLayoutPlot", dict(good, layoutHandle=handle))
    assert answer == {"success": True, "simulated": True, "spaceType": "layout", "dwgPath": path,
                      "layoutName": SHEET, "printer": PDF, "paper": A3, "style": "monochrome.ctb",
                      "scaleMode": "custom", "scaleDenominator": 50, "rotation": "90", "outputMode": "single",
                      "outputPath": good["outputPath"]}
    assert not os.path.exists(good["outputPath"])


def test_layout_and_custom_plots_leave_the_page_setup_and_the_layout(standin, cad_factory, tmp_path):
    path, handle = write_drawing(tmp_path / "sheets.dxf")
    cad = cad_factory(path)
    wait_ready(standin, path)
    before = standin.exec("getCurrentSpace", "")["result"]
    out = str(tmp_path / "out" / "sheet.pdf")
    answer = exec_json(standin, "layoutPlot", {"dwgPath": path, "layoutName": "whatever", "layoutHandle": handle,
                                                "outputPath": out})
    assert answer["success"] is True, answer
    assert answer["effectiveSettings"]["printer"] == PDF and answer["effectiveSettings"]["paper"] == A3
    assert standin.exec("getCurrentSpace", "")["result"] == before
    width, height = page_size_pt(out)
    assert abs(width - 420 * MM_TO_PT) < 1 and abs(height - 297 * MM_TO_PT) < 1
    w, h, rows = rendering(out, str(tmp_path / "sheet"))
    left, top, right, bottom = ink_box(w, h, rows)
    # The frame lies near every edge of the page (1:1 from the printable area's corner, as the page
    # setup says), and nothing is drawn on the page's outer 2 mm.
    margin = 2 * w / 420
    assert margin < left < 0.1 * w and 0.9 * w < right < w - margin
    assert margin < top < 0.1 * h and 0.9 * h < bottom < h - margin

    # No outputPath: the default under HOME, named after the layout.
    answer = exec_json(standin, "layoutPlot", {"dwgPath": path, "layoutName": SHEET})
    assert answer["outputPath"] == os.path.join(cad.home, "Documents", "OrvikPut", SHEET + ".pdf")
    assert os.path.exists(answer["outputPath"])

    # The busy guard: while the host plots by itself, a layout plot is refused.
    mark = cad.mark()
    cad.type("PLOTSTATE BUSY")
    cad.wait_output(lambda line: "PLOTSTATE BUSY" in line, 10, mark)
    answer = exec_json(standin, "layoutPlot", {"dwgPath": path, "layoutName": SHEET, "outputPath": out})
    assert (answer["errorCode"], answer["message"]) == ("plot_busy", "Another plot is already in progress.")
    cad.type("PLOTSTATE IDLE")
    cad.wait_output(lambda line: "PLOTSTATE IDLE" in line, 10, mark)

    # A custom plot overrides device, paper, style, scale and orientation on a copy.
    out = str(tmp_path / "custom.pdf")
    request = {"dwgPath": path, "layoutName": SHEET, "outputPath": out, "orientation": "portrait",
               "device": {"mode": "override", "printer": PDF, "paper": A4_PORTRAIT},
               "style": {"mode": "override", "name": "/Library/Plot Styles/monochrome.ctb"},
               "scale": {"mode": "custom", "units": "millimeters", "denominator": 2}}
    answer = exec_json(standin, "layoutCustomPlot", request)
    assert answer["success"] is True, answer
    assert answer["effectiveSettings"] == {
        "deviceMode": "override", "printer": PDF, "paper": A4_PORTRAIT, "styleMode": "override",
        "style": "/Library/Plot Styles/monochrome.ctb", "scaleMode": "custom", "scaleDenominator": 2,
        "units": "millimeters", "orientation": "portrait"}
    width, height = page_size_pt(out)
    assert abs(width - 210 * MM_TO_PT) < 1 and abs(height - 297 * MM_TO_PT) < 1
    # The layout's own page setup is as it was: a plain plot is A3 landscape again.
    plain = exec_json(standin, "layoutPlotCustom", dict(request, device={"mode": "inheritLayout"},
                                                        style={"mode": "inheritLayout"},
                                                        scale={"mode": "inheritLayout", "units": "inheritLayout"},
                                                        orientation="inheritLayout"))
    assert plain["effectiveSettings"]["paper"] == A3 and plain["effectiveSettings"]["style"] == "monochrome.ctb"
    assert page_size_pt(out)[0] > page_size_pt(out)[1]
    for change, code in [({"style": {"mode": "override", "name": "Normal"}}, "style_not_found"),
                         ({"device": {"mode": "override", "printer": PDF.lower(), "paper": A3}}, "printer_not_found"),
                         ({"device": {"mode": "override", "printer": PDF, "paper": "ISO_A9"}}, "paper_not_found"),
                         ({"scale": {"mode": "custom", "units": "millimeters"}}, "layout_plot_failed")]:
        assert exec_json(standin, "layoutCustomPlot", dict(request, **change))["errorCode"] == code
