#!/usr/bin/env python3
"""Writes COUNT drawings of LAYOUTS paper-space layouts with BLOCKS attributed title blocks each
into OUT_DIR, for bench/drawing_layouts_bench.

Usage: make_layout_drawings.py OUT_DIR COUNT LAYOUTS BLOCKS

One drawing is written with ezdxf and copied: the files are read, not compared, so their being
alike costs the measurement nothing and keeps the generation to a second or so.
"""
import os
import shutil
import sys

import ezdxf


def main(out_dir, count, layouts, blocks):
    doc = ezdxf.new("R2018")
    title = doc.blocks.new("TITLE")
    title.add_line((0, 0), (180, 0))
    tags = ("DWGNO", "TITLE", "SCALE", "DATE", "DRAWN")
    for i, tag in enumerate(tags):
        title.add_attdef(tag, (5, 5 + 5 * i), dxfattribs={"height": 2.5})
    for n in range(layouts):
        sheet = doc.layouts.new("Sheet %02d" % n)
        for b in range(blocks):
            ref = sheet.add_blockref("TITLE", (200 * b, 0))
            values = ("A-%02d-%02d" % (n, b), "Floor plan \u56fe\u7eb8 %d" % b, "1:100", "2024-05-01", "J. \"Q\"")
            for i, (tag, value) in enumerate(zip(tags, values)):
                ref.add_attrib(tag, value, (200 * b + 5, 5 + 5 * i), dxfattribs={"height": 2.5})
    first = os.path.join(out_dir, "sheet_000.dxf")
    doc.saveas(first)
    for i in range(1, count):
        shutil.copyfile(first, os.path.join(out_dir, "sheet_%03d.dxf" % i))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]))
