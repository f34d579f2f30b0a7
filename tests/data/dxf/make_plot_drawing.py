#!/usr/bin/python3
# Writes the drawing the plot tests read into the simulated host: make_plot_drawing.py OUTPUT.dxf
#
# Two paper-space layouts with page setups as ezdxf writes them, both on "DWG To PDF.pc3" with
# margins matching the host's media (5 mm sides, 6.5 mm top and bottom):
#   "Sheet A3"  ISO A3 landscape at 1:1 with monochrome.ctb: a frame around the printable area,
#               a title block with attributes, text and multi-line text, a viewport onto model
#               space (its circle, arc and a line that runs out of the viewport)
#   "Sheet A4"  ISO A4 landscape media plotted a quarter turn (rotation 1), at 1:2
import sys

import ezdxf


def main():
    doc = ezdxf.new("R2018")
    doc.layers.add("NOPLOT", color=1).dxf.plot = 0

    title = doc.blocks.new("TITLE")
    title.add_lwpolyline([(0, 0), (120, 0), (120, 30), (0, 30)], close=True)
    title.add_attdef("DWGNO", (5, 5), dxfattribs={"height": 5})
    title.add_attdef("SECRET", (5, 20), dxfattribs={"height": 5, "flags": 1})

    msp = doc.modelspace()
    msp.add_circle((100, 100), 40)
    msp.add_arc((100, 100), 20, 0, 180)
    msp.add_line((100, 100), (1000, 100))  # far beyond the viewport's view

    a3 = doc.layouts.new("Sheet A3")
    a3.page_setup(size=(420, 297), margins=(6.5, 5, 6.5, 5), device="DWG To PDF.pc3", name="ISO_A3",
                  scale=(1, 1))
    a3.dxf_layout.dxf.current_style_sheet = "monochrome.ctb"
    a3.dxf_layout.dxf.plot_type = 5
    a3.add_lwpolyline([(0, 0), (410, 0), (410, 284), (0, 284)], close=True)
    a3.add_lwpolyline([(-20, -20), (-10, -10), (-20, -10)], close=True)  # off the paper: never plotted
    a3.add_line((10, 270), (100, 270), dxfattribs={"layer": "NOPLOT"})
    ref = a3.add_blockref("TITLE", (285, 5))
    ref.add_attrib("DWGNO", "A-101", (290, 10), dxfattribs={"height": 5})
    ref.add_attrib("SECRET", "hidden", (290, 25), dxfattribs={"height": 5, "flags": 1})
    a3.add_text("PLAN", dxfattribs={"height": 10}).set_placement((20, 250))
    a3.add_mtext("first\\Psecond", dxfattribs={"char_height": 5}).set_location((300, 250))
    vp = a3.add_viewport(center=(100, 100), size=(150, 150), view_center_point=(100, 100), view_height=150)
    vp.dxf.status = 1

    a4 = doc.layouts.new("Sheet A4")
    a4.page_setup(size=(297, 210), margins=(6.5, 5, 6.5, 5), device="DWG To PDF.pc3", name="ISO_A4",
                  scale=(1, 2), rotation=1)
    a4.dxf_layout.dxf.plot_type = 5
    a4.add_line((0, 0), (100, 0))
    doc.saveas(sys.argv[1])


if __name__ == "__main__":
    main()
