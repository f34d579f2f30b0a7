"""A second opinion on a plotted page: ezdxf's drawing add-on renders the same layout with
matplotlib, and the two pages are compared by their ink.

Both pages are reduced to ink masks (any pixel clearly darker than the paper in some channel, so
light colours count), cropped to their ink, brought onto one grid, thickened by a few pixels (the
two renderers round line ends, joins and widths differently) and compared by intersection over
union. Text is compared by where its boxes stand: fonts differ, so a drawing with text is
thickened until each text is a solid box in both pages."""

import logging
import subprocess

import matplotlib

matplotlib.use("Agg")
# The drawing's SHX font names have no matplotlib font: it falls back to its own, quietly.
logging.getLogger("matplotlib.font_manager").setLevel(logging.ERROR)

import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from ezdxf.addons.drawing import Frontend, RenderContext  # noqa: E402
from ezdxf.addons.drawing.matplotlib import MatplotlibBackend  # noqa: E402
from ezdxf.addons.drawing.properties import LayoutProperties  # noqa: E402

PX_PER_MM = 4  # both pages are rasterised at this resolution of the paper
GRID = 600     # the longer side of the grid both masks are compared on


def pdf_ink(pdf, stem):
    """The ink of the PDF's first page, from pdftoppm at PX_PER_MM."""
    subprocess.run(["pdftoppm", "-r", str(PX_PER_MM * 25.4), "-singlefile", pdf, stem], check=True)
    return _ink(_read_ppm(stem + ".ppm"))


def ezdxf_ink(doc, layout_name, mm_per_unit=1.0, window=None, png=None):
    """The ink of ezdxf's rendering of a layout ("Model" for model space) at `mm_per_unit` paper
    millimetres per drawing unit; `window` (xmin, ymin, xmax, ymax) limits it to that rectangle."""
    layout = doc.modelspace() if layout_name == "Model" else doc.layouts.get(layout_name)
    fig = plt.figure()
    ax = fig.add_axes([0, 0, 1, 1])
    ax.set_axis_off()
    ctx = RenderContext(doc)
    properties = LayoutProperties.from_layout(layout)
    properties.set_colors("#ffffff")
    Frontend(ctx, MatplotlibBackend(ax, adjust_figure=False)).draw_layout(layout, finalize=True,
                                                                             layout_properties=properties)
    if window:
        ax.set_xlim(window[0], window[2])
        ax.set_ylim(window[1], window[3])
    x0, x1 = ax.get_xlim()
    y0, y1 = ax.get_ylim()
    # The figure at paper size, so that lineweights (which the add-on gives in points) and line
    # lengths keep the proportions they have on the plotted page.
    fig.set_size_inches((x1 - x0) * mm_per_unit / 25.4, (y1 - y0) * mm_per_unit / 25.4)
    dpi = PX_PER_MM * 25.4
    fig.set_dpi(dpi)
    fig.canvas.draw()
    rgb = np.asarray(fig.canvas.buffer_rgba())[:, :, :3].copy()
    if png:
        fig.savefig(png, dpi=dpi, facecolor="white")
    plt.close(fig)
    return _ink(rgb)


def overlap(ours, theirs, thicken=2):
    """Intersection over union of the two masks, cropped to their ink and put on one grid, each
    thickened by `thicken` grid pixels; also the ratio of their crops' aspects (1 when alike)."""
    a, b = _crop(ours), _crop(theirs)
    aspect = (a.shape[1] / a.shape[0]) / (b.shape[1] / b.shape[0])
    scale = GRID / max(b.shape)
    size = (max(1, round(b.shape[0] * scale)), max(1, round(b.shape[1] * scale)))
    a, b = _dilate(_pool(a, size), thicken), _dilate(_pool(b, size), thicken)
    return float((a & b).sum()) / float((a | b).sum()), aspect


def _read_ppm(path):
    with open(path, "rb") as f:
        assert f.readline() == b"P6\n"
        width, height = map(int, f.readline().split())
        f.readline()
        return np.frombuffer(f.read(), dtype=np.uint8).reshape(height, width, 3)


def _ink(rgb):
    return rgb.min(axis=2) < 200


def _crop(mask):
    ys, xs = np.nonzero(mask)
    assert len(xs), "the page is blank"
    return mask[ys.min():ys.max() + 1, xs.min():xs.max() + 1]


def _pool(mask, size):
    """Any ink in a cell inks the cell: thin lines survive any reduction."""
    out = np.zeros(size, dtype=bool)
    ys, xs = np.nonzero(mask)
    out[ys * size[0] // mask.shape[0], xs * size[1] // mask.shape[1]] = True
    return out


def _dilate(mask, radius):
    out = mask.copy()
    for dy in range(-radius, radius + 1):
        for dx in range(-radius, radius + 1):
            if dx * dx + dy * dy > radius * radius:
                continue
            shifted = np.zeros_like(mask)
            ys = slice(max(dy, 0), mask.shape[0] + min(dy, 0))
            yd = slice(max(-dy, 0), mask.shape[0] + min(-dy, 0))
            xs = slice(max(dx, 0), mask.shape[1] + min(dx, 0))
            xd = slice(max(-dx, 0), mask.shape[1] + min(-dx, 0))
            shifted[ys, xs] = mask[yd, xd]
            out |= shifted
    return out
