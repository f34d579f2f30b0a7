#!/usr/bin/python3
# Writes the test drawings the DXF tests read into the simulated host: make_drawings.py OUTPUT_DIR
#
# For each version it writes drawing_<VERSION>.dxf and drawing_<VERSION>.expect. The .expect file
# lists, one tab-separated record a line, the handles ezdxf chose, which the test cannot know:
#   layout  <name> <layout handle> <tab order> <space's block record handle>
#   insert  <handle> <space's block record handle, or for R12 "M" (model) or "*" (paper)>
# Everything else (references, attributes, viewports, page setups) is fixed below and known to the
# test.
import os
import sys

import ezdxf

VERSIONS = ["R12", "R2000", "R2010", "R2018"]


def add_attributes(insert, values):
    # add_attrib keeps the order given, which the test relies on.
    for tag, text in values:
        insert.add_attrib(tag, text, (0, 0), dxfattribs={"height": 2.5})


def make(version, out_dir):
    doc = ezdxf.new(version)
    r12 = version == "R12"
    if r12:
        doc.header["$DWGCODEPAGE"] = "ANSI_1252"
    if version == "R2018":
        doc.header["$TILEMODE"] = 0  # the active paper layout was current when saved

    doc.layers.add("FROZEN", color=4).freeze()  # frozen in each viewport below

    doc.blocks.new("TITLE").add_line((0, 0), (100, 0))
    doc.blocks.new("PLAIN").add_line((0, 0), (1, 1))

    msp = doc.modelspace()
    ref = msp.add_blockref("TITLE", (50, 60), dxfattribs={"xscale": 2, "yscale": 3, "rotation": 90})
    add_attributes(ref, [("DWGNO", "M-001"), ("TITLE", "Model title")])
    msp.add_blockref("PLAIN", (1, 1))
    msp.add_blockref("NOPE", (0, 0))  # a block the file does not define

    # Tab order: "Sheet A" before "Sheet B", the Chinese one last; "Sheet B" is active, so its
    # entities sit in the ENTITIES section and those of the others in their own blocks.
    layout_names = [] if r12 else ["Sheet B", "Sheet A", "\u56fe\u7eb8 C"]
    for name, tab in zip(layout_names, (3, 2, 4)):
        doc.layouts.new(name).dxf_layout.dxf.taborder = tab
    if not r12:
        doc.layouts.set_active_layout("Sheet B")

    for index, psp in enumerate([doc.layouts.get(n) for n in layout_names] or [doc.layouts.active_layout()]):
        if not r12:
            psp.page_setup(size=(420, 297), margins=(5, 6, 7, 8), device="DWG To PDF.pc3",
                           name="ISO_A3", scale=(1, 50))
        vp = psp.add_viewport(center=(100 + index, 100), size=(200, 150),
                              view_center_point=(10, 20), view_height=75)
        if not r12:
            vp.frozen_layers = ["FROZEN"]
        ref = psp.add_blockref("TITLE", (10 * index, 5))
        add_attributes(ref, [("DWGNO", "D-%d" % (index + 1)), ("TITLE", "Sheet %d \"q\" \u4e2d" % index)])
        psp.add_blockref("PLAIN", (0, 0))
        if version == "R2018" and index == 0:
            framed = psp.add_blockref("TITLE", (0, 100))
            attrib = framed.add_attrib("DWGNO", "", (0, 0))
            attrib.embed_mtext(psp.add_mtext("line one\\P{\\fArial;line} two"))
            # An invisible attribute (flag 1) is still an attribute of the reference.
            framed.add_attrib("SECRET", "hidden \u503c", (0, 0), dxfattribs={"flags": 1})

    if not r12:
        # The anonymous representation of a dynamic block, linked as AutoCAD links it.
        if "AcDbBlockRepBTag" not in doc.appids:
            doc.appids.new("AcDbBlockRepBTag")
        dyn = doc.blocks.new("DOOR_DYN")
        dyn.add_attdef("WIDTH", (0, 0))
        anon = doc.blocks.new_anonymous_block("U")
        anon.add_attdef("WIDTH", (0, 0))
        anon.block_record.set_xdata("AcDbBlockRepBTag", [(1070, 1), (1005, dyn.block_record.dxf.handle)])
        add_attributes(doc.layouts.get("Sheet A").add_blockref(anon.name, (30, 30)), [("WIDTH", "900")])
        doc.layouts.get("Sheet A").add_blockref("DOOR_DYN", (40, 30))  # a dynamic block never changed

    lines = []
    for layout in doc.layouts:
        if not r12 and not layout.is_modelspace:
            lines.append(("layout", layout.name, layout.dxf_layout.dxf.handle,
                          str(layout.dxf_layout.dxf.taborder), layout.block_record.dxf.handle))
        for e in layout.query("INSERT"):
            if e.dxf.name in doc.blocks:
                space = layout.block_record.dxf.handle if not r12 else ("*" if layout.is_any_paperspace else "M")
                lines.append(("insert", e.dxf.handle, space))

    doc.saveas(os.path.join(out_dir, "drawing_%s.dxf" % version))
    with open(os.path.join(out_dir, "drawing_%s.expect" % version), "w", encoding="utf-8") as f:
        for rec in lines:
            f.write("\t".join(rec) + "\n")


def main():
    os.makedirs(sys.argv[1], exist_ok=True)
    for version in VERSIONS:
        make(version, sys.argv[1])


if __name__ == "__main__":
    main()
