#!/usr/bin/python3
# Writes the drawings the frame tests read into the simulated host: make_frame_drawings.py OUTPUT_DIR
#
#   collector.dxf  model space with one case of the collector's filters every 1000 units along X
#                  (the test lists what each case contributes)
#   small.dxf      one horizontal line, one vertical line and one rectangle, for the exact text
#   empty.dxf      nothing in model space
#   frames.dxf     block definitions with and without a frame, and paper layouts whose names the
#                  host would read as wildcard patterns
import sys

import ezdxf


def frame_lines(block, width, height, overlap=2.0, gap_at_top_left=0.0):
    # Four lines whose ends run `overlap` past each corner; a gap moves the top line's left end
    # that far away from the left line.
    o = overlap
    block.add_line((-o, 0), (width + o, 0))
    block.add_line((width, -o), (width, height + o))
    block.add_line((width + o, height), (gap_at_top_left if gap_at_top_left else -o, height))
    block.add_line((0, height + o), (0, -o))


def collector(path):
    doc = ezdxf.new("R2010")
    doc.layers.add("OFF").off()
    doc.layers.add("FROZEN").freeze()
    doc.layers.add("VPFROZEN")  # the test freezes it in a viewport it adds
    doc.layers.add("HIDDEN")  # the test hides it: DXF has no flag for that
    doc.layers.add("IGNORED")
    doc.layers.add("INVISIBLE")

    unit = doc.blocks.new("UNIT")
    unit.add_line((0, 0), (100, 0))
    unit.add_lwpolyline([(0, 0), (200, 0), (200, 100), (0, 100)], close=True)
    doc.blocks.new("LONG").add_line((0, 0), (0, 150))
    doc.blocks.new("SHORT").add_line((0, 0), (60, 0))
    layered = doc.blocks.new("LAYERED")
    for layer in ("OFF", "FROZEN", "HIDDEN", "VPFROZEN", "IGNORED"):
        layered.add_line((0, 0), (0, 300), dxfattribs={"layer": layer})
    for level in (1, 2, 3, 4):
        b = doc.blocks.new(f"N{level}")
        b.add_line((0, 0), (level * 100, 0))
        if level < 4:
            b.add_blockref(f"N{level + 1}", (0, 10))

    msp = doc.modelspace()
    msp.add_line((0, 0), (100, 0))                    # x 0: exactly the threshold
    msp.add_line((0, 10), (99.999, 10))               # below it
    msp.add_line((1000, 0), (1001, 150))              # x 1000: within the axis tolerance
    msp.add_line((1000, 0), (1150, 1.5))              # neither axis
    msp.add_blockref("UNIT", (2000, 0))               # x 2000: rotations 0, 90, 45, just below 360
    msp.add_blockref("UNIT", (3000, 0), dxfattribs={"rotation": 90})
    msp.add_blockref("UNIT", (4000, 0), dxfattribs={"rotation": 45})
    msp.add_blockref("UNIT", (5000, 0), dxfattribs={"rotation": -1e-9})
    msp.add_blockref("LONG", (6000, 0), dxfattribs={"xscale": 0.5, "yscale": 0.5})
    msp.add_blockref("SHORT", (6000, 0), dxfattribs={"xscale": 2, "yscale": 2})
    msp.add_blockref("N1", (7000, 0))                 # x 7000: four levels of nesting
    clipped = msp.add_blockref("UNIT", (8000, 0))
    # (ExtensionDict.add_dictionary of this ezdxf release misspells an attribute.)
    clipped.new_extension_dict().dictionary.add_new_dict("ACAD_FILTER")
    for layer in ("OFF", "FROZEN", "HIDDEN", "VPFROZEN", "IGNORED"):
        msp.add_line((9000, 0), (9000, 200), dxfattribs={"layer": layer})
    msp.add_blockref("LAYERED", (10000, 0))
    invisible = msp.add_line((11000, 0), (11000, 200), dxfattribs={"layer": "INVISIBLE"})
    msp.add_lwpolyline([(12000, 0), (12200, 0), (12200, 100)])                     # 3 vertices
    msp.add_lwpolyline([(12000, 0), (12100, 0), (12200, 0), (12300, 0), (12300, 100),
                        (12200, 100), (12000, 100)])                               # 7 vertices
    msp.add_lwpolyline([(13000, 0), (13010, 0), (13010, 10), (13000, 10)], close=True)  # short
    msp.add_text("not line work").set_placement((14000, 0))

    doc.saveas(path)
    # This ezdxf release does not write an entity's visibility (group 60); add it after the layer.
    with open(path, encoding="utf-8") as f:
        text = f.read()
    marker = f"  5\n{invisible.dxf.handle}\n"
    layer_at = text.index("  8\nINVISIBLE\n", text.index(marker))
    text = text[:layer_at] + " 60\n1\n" + text[layer_at:]
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def small(path):
    doc = ezdxf.new("R2010")
    msp = doc.modelspace()
    msp.add_line((0, 0), (420, 0))
    msp.add_line((0.1, 0), (0.1, 297))
    msp.add_lwpolyline([(0, 0), (420, 0), (420, 297), (0, 297)], close=True)
    doc.saveas(path)


def empty(path):
    ezdxf.new("R2010").saveas(path)


def frames(path):
    doc = ezdxf.new("R2010")
    frame_lines(doc.blocks.new("FRAME"), 420, 297)
    frame_lines(doc.blocks.new("GAPPED"), 420, 297, gap_at_top_left=6)
    both = doc.blocks.new("LINES_AND_SQUARE")
    frame_lines(both, 420, 297)
    both.add_lwpolyline([(10, 10), (110, 10), (110, 110), (10, 110)], close=True)
    doc.blocks.new("SQUARE_ONLY").add_lwpolyline([(0, 0), (500, 0), (500, 500), (0, 500)], close=True)
    doc.blocks.new("D3").add_lwpolyline([(0, 0), (900, 0), (900, 900), (0, 900)], close=True)
    doc.blocks.new("D2").add_blockref("D3", (0, 0))
    deep = doc.blocks.new("D1")
    deep.add_blockref("D2", (0, 0))
    deep.add_lwpolyline([(0, 0), (50, 0), (50, 50), (0, 50)], close=True)
    doc.blocks.new("D0").add_blockref("D1", (0, 0))
    twice = doc.blocks.new("TWO_LEVELS")  # a frame one level down, scaled
    twice.add_blockref("FRAME", (10, 20), dxfattribs={"xscale": 2, "yscale": 2})
    doc.blocks.new("NOTHING").add_line((0, 0), (10, 10))

    layout1 = doc.layouts.get("Layout1")
    layout1.add_blockref("FRAME", (0, 0))
    layout1.add_blockref("NOTHING", (0, 0))
    layout1.add_line((0, 0), (1000, 0))
    doc.layouts.new("Layout2").add_line((0, 0), (100, 0))   # no frame candidates at all

    # Names the host reads as patterns, beside the names they would match.
    sheets = {
        "Sheet #2": (1, 1),
        "Sheet 12": (12, 12),
        "Sheet 22": (22, 22),
        "~Draft": (5, 5),
        "A [rev]": (7, 7),
        "Ar": (8, 8),
        "图纸" * 25: (9, 9),           # 150 bytes of UTF-8
        "图纸" * 21 + "甲乙": (10, 10),  # the same first 126 bytes, then another character
    }
    for name, (x, y) in sheets.items():
        doc.layouts.new(name).add_lwpolyline([(x, y), (x + 100, y), (x + 100, y + 50), (x, y + 50)], close=True)
    doc.layouts.new("Big").add_lwpolyline([(0, 0), (1e300, 0), (1e300, 1e300), (0, 1e300)], close=True)
    doc.saveas(path)


if __name__ == "__main__":
    out = sys.argv[1]
    collector(f"{out}/collector.dxf")
    small(f"{out}/small.dxf")
    empty(f"{out}/empty.dxf")
    frames(f"{out}/frames.dxf")
