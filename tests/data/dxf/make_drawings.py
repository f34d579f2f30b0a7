#!/usr/bin/python3
# Writes the test drawings the DXF reader tests read back: make_drawings.py OUTPUT_DIR
#
# For each version it writes drawing_<VERSION>.dxf and drawing_<VERSION>.expect. The .expect file
# lists, one tab-separated record a line, what the test cannot know in advance (handles ezdxf
# chose):
#   layout  <name> <layout handle> <tab order> <block record handle>
#   insert  <handle> <block name> <space block record handle> <TAG=value;TAG=value...>
#   dynamic <anonymous block record handle> <dynamic block record handle>
#   viewport <handle> <layout name> <frozen layer handle...>
# Everything else (layer states, style fonts, geometry, texts) is fixed below and known to the test.
import os
import sys

import ezdxf
from ezdxf.math import Vec2

VERSIONS = ["R12", "R2000", "R2010", "R2018"]


def add_title_block(doc):
    blk = doc.blocks.new("TITLE", base_point=(1, 2))
    blk.add_line((0, 0), (100, 0))
    blk.add_attdef("DWGNO", (5, 5), dxfattribs={"height": 2.5, "prompt": "Drawing number"})
    blk.add_attdef("TITLE", (5, 10), text="untitled",
                   dxfattribs={"height": 3.5, "prompt": "Title", "flags": 0})
    blk.add_attdef("SECRET", (5, 15), dxfattribs={"height": 1.0, "flags": 1})
    return blk


def add_attributes(insert, values):
    # add_attrib keeps the order given, which the test relies on.
    for tag, text in values:
        insert.add_attrib(tag, text, (0, 0), dxfattribs={"height": 2.5})


def make(version, out_dir):
    doc = ezdxf.new(version)
    if version == "R12":
        doc.header["$DWGCODEPAGE"] = "ANSI_1252"
    lines = []

    # Layers: one off, one frozen, one locked, one not plotted.
    doc.layers.add("OFFLAYER", color=3).off()
    doc.layers.add("FROZEN", color=4).freeze()
    doc.layers.add("LOCKED", color=5).lock()
    if version != "R12":
        doc.layers.add("NOPLOT", color=6).dxf.plot = 0

    # Text styles with font and big-font files.
    doc.styles.new("CJK", dxfattribs={"font": "simplex.shx", "bigfont": "gbcbig.shx",
                                      "height": 2.5, "width": 0.8})
    doc.styles.new("TTF", dxfattribs={"font": "arial.ttf", "width": 1.0})

    add_title_block(doc)
    plain = doc.blocks.new("PLAIN")
    plain.add_line((0, 0), (1, 1))

    msp = doc.modelspace()
    msp.add_line((0, 0), (10, 0), dxfattribs={"layer": "FROZEN"})
    msp.add_line((0, 0), (0, 7.5), dxfattribs={"layer": "OFFLAYER", "color": 1})
    if version == "R12":
        msp.add_polyline2d([(0, 0), (4, 0), (4, 3)], close=True,
                           dxfattribs={"layer": "LOCKED"})
    else:
        pl = msp.add_lwpolyline([(0, 0, 0, 0, 0.5), (4, 0), (4, 3)], format="xyseb",
                                close=True, dxfattribs={"layer": "LOCKED"})
        pl.dxf.elevation = 2.0
    msp.add_text("Caf\u00e9 \u00b1 \u4e2d\u6587", dxfattribs={"height": 2.0, "style": "CJK"}).set_placement((3, 4))
    if version != "R12":
        msp.add_mtext("first line\\Psecond line " + "x" * 300,
                      dxfattribs={"char_height": 1.5}).set_location((5, 6))
    ref = msp.add_blockref("TITLE", (50, 60), dxfattribs={"xscale": 2, "yscale": 3, "rotation": 90})
    add_attributes(ref, [("DWGNO", "M-001"), ("TITLE", "Model title")])
    msp.add_blockref("PLAIN", (1, 1))

    if version == "R12":
        layout_names = []
    else:
        layout_names = ["Sheet B", "Sheet A", "\u56fe\u7eb8 C"]
        for name in layout_names:
            doc.layouts.new(name)
        # Tab order: "Sheet A" before "Sheet B", the Chinese one last.
        for name, tab in zip(layout_names, (3, 2, 4)):
            doc.layouts.get(name).dxf_layout.dxf.taborder = tab
        doc.layouts.set_active_layout("Sheet B")

    psp_all = [doc.layouts.get(n) for n in layout_names] or [doc.layouts.active_layout()]
    for index, psp in enumerate(psp_all):
        if version != "R12":
            psp.page_setup(size=(420, 297), margins=(5, 6, 7, 8), device="DWG To PDF.pc3",
                           name="ISO_A3", scale=(1, 50))
        vp = psp.add_viewport(center=(100 + index, 100), size=(200, 150),
                              view_center_point=(10, 20), view_height=75)
        if version != "R12":
            vp.frozen_layers = ["FROZEN"]
        ref = psp.add_blockref("TITLE", (10 * index, 5))
        add_attributes(ref, [("DWGNO", "D-%d" % (index + 1)), ("TITLE", "Sheet %d \"q\"" % index)])
        psp.add_blockref("PLAIN", (0, 0))
        if version == "R2018" and index == 0:
            ml = psp.add_blockref("TITLE", (0, 100))
            attrib = ml.add_attrib("DWGNO", "", (0, 0))
            mtext = psp.add_mtext("line one\\Pline two")
            attrib.embed_mtext(mtext)
        lines.append(("viewport", vp.dxf.handle, psp.name,
                      *[doc.layers.get(n).dxf.handle for n in (vp.frozen_layers if version != "R12" else [])]))

    if version != "R12":
        # The anonymous representation of a dynamic block, linked as AutoCAD links it.
        if "AcDbBlockRepBTag" not in doc.appids:
            doc.appids.new("AcDbBlockRepBTag")
        dyn = doc.blocks.new("DOOR_DYN")
        dyn.add_attdef("WIDTH", (0, 0))
        anon = doc.blocks.new_anonymous_block("U")
        anon.add_attdef("WIDTH", (0, 0))
        anon.block_record.set_xdata("AcDbBlockRepBTag",
                                    [(1070, 1), (1005, dyn.block_record.dxf.handle)])
        psp = doc.layouts.get(layout_names[1])
        ref = psp.add_blockref(anon.name, (30, 30))
        add_attributes(ref, [("WIDTH", "900")])
        lines.append(("dynamic", anon.block_record.dxf.handle, dyn.block_record.dxf.handle))

    for layout in doc.layouts:
        if layout.is_modelspace or version == "R12":
            continue
        lines.append(("layout", layout.name, layout.dxf_layout.dxf.handle,
                      str(layout.dxf_layout.dxf.taborder), layout.block_record.dxf.handle))
    for layout in doc.layouts:
        for e in layout.query("INSERT"):
            values = ";".join("%s=%s" % (a.dxf.tag, a.plain_mtext() if a.has_embedded_mtext_entity
                                         else a.dxf.text) for a in e.attribs)
            owner = layout.block_record.dxf.handle if version != "R12" else ("*" if layout.is_any_paperspace else "M")
            lines.append(("insert", e.dxf.handle, e.dxf.name, owner, values.replace("\n", "\\n")))

    path = os.path.join(out_dir, "drawing_%s.dxf" % version)
    doc.saveas(path)
    with open(os.path.join(out_dir, "drawing_%s.expect" % version), "w", encoding="utf-8") as f:
        for rec in lines:
            f.write("\t".join(rec) + "\n")


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for version in VERSIONS:
        make(version, out_dir)


if __name__ == "__main__":
    main()
