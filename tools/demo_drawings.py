"""The demo's folder of drawings with title blocks, and a readable print of a layouts import."""
import json
import os

SHEETS = [
    # file name, [(layout, drawing number, title)]
    ("A-101 平面图.dxf", [("A-101", "A-101", "一层平面图"), ("A-102", "A-102", "二层平面图")]),
    ("A-201 elevations.dxf", [("North", "A-201", 'North elevation "N"'), ("South", "A-202", "South elevation")]),
    ("S-001 notes.dxf", [("Notes", "S-001", "General notes\tand legend")]),
]


def make_title_block_drawings(folder):
    """Writes the sheets with ezdxf: each layout holds a frame and one attributed title block."""
    import ezdxf
    paths = []
    for name, layouts in SHEETS:
        doc = ezdxf.new("R2018")
        block = doc.blocks.new("TITLE")
        block.add_lwpolyline([(0, 0), (180, 0), (180, 40), (0, 40)], close=True)
        for y, tag in ((30, "DRAWING_NO"), (20, "TITLE"), (10, "AUTHOR")):
            block.add_attdef(tag, (5, y), dxfattribs={"height": 3})
        doc.layouts.rename("Layout1", layouts[0][0])
        for extra, _, _ in layouts[1:]:
            doc.layouts.new(extra)
        for layout_name, number, title in layouts:
            space = doc.layouts.get(layout_name)
            space.add_lwpolyline([(10, 10), (410, 10), (410, 287), (10, 287)], close=True)
            space.add_blockref("TITLE", (230, 10)).add_auto_attribs(
                {"DRAWING_NO": number, "TITLE": title, "AUTHOR": "李工"})
        path = os.path.join(folder, name)
        doc.saveas(path)
        paths.append(path)
    return paths


def print_import(answer, say):
    """One line a drawing, one a layout, one a title block."""
    try:
        drawings = json.loads(answer)["drawings"]
    except (ValueError, KeyError):
        say("   " + answer[:300])
        return
    for drawing in drawings:
        error = drawing.get("error")
        mode = drawing.get("blockReadMode", "")
        say("   %s  (%s)%s" % (drawing["displayName"], mode,
                              "  error: %s" % error["code"] if error else ""))
        for layout in drawing["layouts"]:
            say("     layout %-8s handle %-4s tab %d" % (layout["name"], layout["handle"], layout["tabOrder"]))
            for block in layout.get("blocks", []):
                values = ", ".join("%s=%s" % (a["tag"], json.dumps(a["value"], ensure_ascii=False))
                                   for a in block["attributes"])
                say("       %s #%s: %s" % (block["blockName"], block["blockHandle"], values))
