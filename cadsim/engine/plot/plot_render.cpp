// The simulated host's plot drawing. It reads the drawing's objects without opening them (the
// host plots from its own copy of the database), so it marks each object readable only while it
// reads it, and never changes anything.
#include "cadsim/engine/plot/plot_render.h"

#include <algorithm>
#include <cmath>

#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kLineWidthPoints = 0.25 * kPointsPerMm;  // the host's default lineweight
// Bounds on what one page draws, so that a drawing whose blocks nest each other many times over
// ends in a bounded time instead of hanging the host.
constexpr int kMaxDepth = 16;
constexpr long kMaxPrimitives = 2000000;

// Lets the engine call an object's getters, which want it open for read.
class Reading {
 public:
  explicit Reading(const AcDbObject* o) : m_object(const_cast<AcDbObject*>(o)) {
    if (m_object) ++m_object->objectState().readers;
  }
  ~Reading() {
    if (m_object) --m_object->objectState().readers;
  }
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;

 private:
  AcDbObject* m_object;
};

bool finite(const AcGePoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y); }
bool finite(double v) { return std::isfinite(v); }

struct Rgb {
  double r, g, b;
};

Rgb aciColor(int index) {
  switch (index) {
    case 1: return {1, 0, 0};
    case 2: return {0.8, 0.8, 0};
    case 3: return {0, 0.7, 0};
    case 4: return {0, 0.7, 0.7};
    case 5: return {0, 0, 1};
    case 6: return {0.8, 0, 0.8};
    case 8: return {0.5, 0.5, 0.5};
    case 9: return {0.75, 0.75, 0.75};
    default: return {0, 0, 0};  // 7 and the rest: black on white paper
  }
}

// The plain text of MText content: paragraph breaks become line breaks, formatting codes go.
std::vector<std::string> mtextLines(const std::string& content) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c == '{' || c == '}') continue;
    if (c != '\\' || i + 1 >= content.size()) {
      lines.back() += c;
      continue;
    }
    char code = content[++i];
    switch (code) {
      case 'P':
        lines.emplace_back();
        break;
      case '\\': case '{': case '}':
        lines.back() += code;
        break;
      case 'S': {  // stacked fraction a^b; or a/b;
        size_t end = content.find(';', i);
        std::string stack = content.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
        std::replace(stack.begin(), stack.end(), '^', '/');
        std::replace(stack.begin(), stack.end(), '#', '/');
        lines.back() += stack;
        i = end == std::string::npos ? content.size() : end;
        break;
      }
      case 'f': case 'F': case 'H': case 'h': case 'C': case 'c': case 'T': case 't':
      case 'Q': case 'q': case 'W': case 'w': case 'A': case 'a': case 'p': {
        size_t end = content.find(';', i);
        i = end == std::string::npos ? content.size() : end;
        break;
      }
      default:
        break;  // \L \l \O \o \K \k and the like: switches without text
    }
  }
  return lines;
}

class Painter {
 public:
  Painter(cairo_t* cr, bool monochrome) : m_cr(cr), m_monochrome(monochrome) {}

  void drawSpace(AcDbObjectId spaceId, const std::vector<AcDbObjectId>& frozenLayers, int depth,
                 const Rgb& byBlock, bool paperSpace) {
    auto* space = peek<AcDbBlockTableRecord>(spaceId);
    if (!space || depth > kMaxDepth) return;
    // Copy: nothing may change the list while it is walked, but keep the walk safe regardless.
    const std::vector<AcDbObjectId> ids = space->entityIds();
    for (AcDbObjectId id : ids) {
      if (m_primitives > kMaxPrimitives) return;
      auto* e = peek<AcDbEntity>(id);
      if (!e || e->isErased()) continue;
      drawEntity(e, frozenLayers, depth, byBlock, paperSpace);
    }
  }

 private:
  // Whether the entity plots, and in which colour.
  bool visible(const AcDbEntity* e, const std::vector<AcDbObjectId>& frozen, const Rgb& byBlock, Rgb* color) {
    Reading r(e);
    if (e->visibility() != AcDb::kVisible) return false;
    AcDbObjectId layerId = e->layerId();
    int index = e->colorIndex();
    if (auto* layer = peek<AcDbLayerTableRecord>(layerId)) {
      Reading rl(layer);
      if (layer->isOff() || layer->isFrozen() || !layer->isPlottable()) return false;
      if (index == 256) index = std::abs(layer->colorIndex());
    }
    if (std::find(frozen.begin(), frozen.end(), layerId) != frozen.end()) return false;
    if (m_monochrome) *color = {0, 0, 0};
    else if (index == 0) *color = byBlock;
    else *color = aciColor(index);
    return true;
  }

  void stroke(const Rgb& c) {
    cairo_set_source_rgb(m_cr, c.r, c.g, c.b);
    cairo_save(m_cr);
    cairo_identity_matrix(m_cr);  // a line weight of the paper, whatever the scale
    cairo_set_line_width(m_cr, kLineWidthPoints);
    cairo_stroke(m_cr);
    cairo_restore(m_cr);
    ++m_primitives;
  }

  void text(const std::string& utf8, const AcGePoint3d& at, double height, double rotation, const Rgb& c) {
    if (utf8.empty() || !finite(at) || !finite(height) || !finite(rotation) || height <= 0) return;
    cairo_save(m_cr);
    cairo_translate(m_cr, at.x, at.y);
    cairo_rotate(m_cr, rotation);
    cairo_scale(m_cr, 1, -1);  // glyphs are drawn y-down
    cairo_select_font_face(m_cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, height / 0.72);  // text height is the capital height
    cairo_set_source_rgb(m_cr, c.r, c.g, c.b);
    cairo_move_to(m_cr, 0, 0);
    cairo_show_text(m_cr, utf8.c_str());
    cairo_restore(m_cr);
    ++m_primitives;
  }

  void mtext(const std::string& content, const AcGePoint3d& at, double height, const Rgb& c) {
    if (!finite(height) || height <= 0) return;
    std::vector<std::string> lines = mtextLines(content);
    for (size_t i = 0; i < lines.size(); ++i) {
      // The insertion point is the top left; each line's base sits one line pitch lower.
      AcGePoint3d base(at.x, at.y - height - static_cast<double>(i) * height * 5.0 / 3.0, at.z);
      text(lines[i], base, height, 0, c);
    }
  }

  void polyline(const AcDbPolyline* pl) {
    unsigned n = pl->numVerts();
    if (n == 0) return;
    cairo_new_path(m_cr);
    AcGePoint2d first;
    pl->getPointAt(0, first);
    if (!std::isfinite(first.x) || !std::isfinite(first.y)) return;
    cairo_move_to(m_cr, first.x, first.y);
    unsigned segments = pl->isClosed() ? n : n - 1;
    for (unsigned i = 0; i < segments; ++i) {
      AcGePoint2d a, b;
      double bulge = 0;
      pl->getPointAt(i, a);
      pl->getPointAt((i + 1) % n, b);
      pl->getBulgeAt(i, bulge);
      if (!std::isfinite(b.x) || !std::isfinite(b.y)) return;
      if (!finite(bulge) || std::fabs(bulge) < 1e-12) {
        cairo_line_to(m_cr, b.x, b.y);
        continue;
      }
      // The arc's centre from the chord and the bulge (tan of a quarter of the included angle).
      double dx = b.x - a.x, dy = b.y - a.y;
      double k = (1 - bulge * bulge) / (4 * bulge);
      double cx = (a.x + b.x) / 2 - dy * k, cy = (a.y + b.y) / 2 + dx * k;
      double radius = std::hypot(a.x - cx, a.y - cy);
      double a1 = std::atan2(a.y - cy, a.x - cx), a2 = std::atan2(b.y - cy, b.x - cx);
      if (!finite(radius) || radius == 0) {
        cairo_line_to(m_cr, b.x, b.y);
      } else if (bulge > 0) {
        cairo_arc(m_cr, cx, cy, radius, a1, a2);
      } else {
        cairo_arc_negative(m_cr, cx, cy, radius, a1, a2);
      }
    }
    if (pl->isClosed()) cairo_close_path(m_cr);
  }

  void drawEntity(const AcDbEntity* e, const std::vector<AcDbObjectId>& frozen, int depth, const Rgb& byBlock,
                  bool paperSpace) {
    Rgb color{0, 0, 0};
    if (!visible(e, frozen, byBlock, &color)) return;
    Reading r(e);
    if (auto* line = AcDbLine::cast(e)) {
      AcGePoint3d a = line->startPoint(), b = line->endPoint();
      if (!finite(a) || !finite(b)) return;
      cairo_new_path(m_cr);
      cairo_move_to(m_cr, a.x, a.y);
      cairo_line_to(m_cr, b.x, b.y);
      stroke(color);
    } else if (auto* pl = AcDbPolyline::cast(e)) {
      polyline(pl);
      stroke(color);
    } else if (auto* circle = AcDbCircle::cast(e)) {
      AcGePoint3d c = circle->center();
      if (!finite(c) || !finite(circle->radius())) return;
      cairo_new_path(m_cr);
      cairo_arc(m_cr, c.x, c.y, circle->radius(), 0, 2 * M_PI);
      stroke(color);
    } else if (auto* arc = AcDbArc::cast(e)) {
      AcGePoint3d c = arc->center();
      if (!finite(c) || !finite(arc->radius()) || !finite(arc->startAngle()) || !finite(arc->endAngle())) return;
      cairo_new_path(m_cr);
      cairo_arc(m_cr, c.x, c.y, arc->radius(), arc->startAngle(), arc->endAngle());
      stroke(color);
    } else if (auto* def = AcDbAttributeDefinition::cast(e)) {
      // A definition shows only in the block editor, except a constant one, which every
      // reference shows.
      if (def->isConstant() && !def->isInvisible())
        text(narrow(def->textStringConst()), def->position(), def->height(), def->rotation(), color);
    } else if (auto* t = AcDbText::cast(e)) {
      text(narrow(t->textStringConst()), t->position(), t->height(), t->rotation(), color);
    } else if (auto* m = AcDbMText::cast(e)) {
      AcString content;
      m->contents(content);
      mtext(content.utf8Ptr(), m->location(), m->textHeight(), color);
    } else if (auto* ref = AcDbBlockReference::cast(e)) {
      blockReference(ref, frozen, depth, color);
    } else if (auto* vp = AcDbViewport::cast(e)) {
      if (paperSpace) viewport(vp, color);
    }
  }

  void blockReference(const AcDbBlockReference* ref, const std::vector<AcDbObjectId>& frozen, int depth,
                      const Rgb& color) {
    AcGePoint3d at = ref->position();
    AcGeScale3d s = ref->scaleFactors();
    double rotation = ref->rotation();
    auto* block = peek<AcDbBlockTableRecord>(ref->blockTableRecord());
    if (block && finite(at) && finite(s.sx) && finite(s.sy) && finite(rotation) && s.sx != 0 && s.sy != 0) {
      AcGePoint3d origin = block->originValue();
      cairo_save(m_cr);
      cairo_translate(m_cr, at.x, at.y);
      cairo_rotate(m_cr, rotation);
      cairo_scale(m_cr, s.sx, s.sy);
      if (finite(origin)) cairo_translate(m_cr, -origin.x, -origin.y);
      drawSpace(ref->blockTableRecord(), frozen, depth + 1, color, false);
      cairo_restore(m_cr);
    }
    // Attributes sit in the reference's space already.
    const std::vector<AcDbObjectId> attributes = const_cast<AcDbBlockReference*>(ref)->attributeIds();
    for (AcDbObjectId id : attributes) {
      auto* a = peek<AcDbAttribute>(id);
      if (!a || a->isErased()) continue;
      Rgb c{0, 0, 0};
      if (!visible(a, frozen, color, &c)) continue;
      Reading ra(a);
      if (a->isInvisible()) continue;
      if (const AcDbMText* m = a->isMTextAttribute() ? a->getMTextAttributeConst() : nullptr) {
        AcString content;
        {
          Reading rm(m);
          m->contents(content);
        }
        mtext(content.utf8Ptr(), m->location(), m->textHeight(), c);
        delete m;
      } else {
        text(narrow(a->textStringConst()), a->position(), a->height(), a->rotation(), c);
      }
    }
  }

  // A paper-space viewport: its border, and model space seen through it, clipped to it.
  void viewport(const AcDbViewport* vp, const Rgb& color) {
    if (vp->number() == 1 || !vp->isOn()) return;
    AcGePoint3d c = vp->centerPoint();
    double w = vp->width(), h = vp->height(), viewHeight = vp->viewHeight();
    if (!finite(c) || !finite(w) || !finite(h) || w <= 0 || h <= 0) return;
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, c.x - w / 2, c.y - h / 2, w, h);
    stroke(color);
    if (!finite(viewHeight) || viewHeight <= 0) return;
    AcGePoint2d viewCenter = vp->viewCenter();
    AcGePoint3d target = vp->viewTarget();
    double twist = vp->twistAngle();
    if (!std::isfinite(viewCenter.x) || !std::isfinite(viewCenter.y) || !finite(target) || !finite(twist)) return;
    AcDbObjectIdArray frozenIds;
    vp->getFrozenLayerList(frozenIds);
    std::vector<AcDbObjectId> frozen(frozenIds.begin(), frozenIds.end());
    AcDbDatabase* db = vp->database();
    if (!db) return;
    cairo_save(m_cr);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, c.x - w / 2, c.y - h / 2, w, h);
    cairo_clip(m_cr);
    double k = h / viewHeight;
    cairo_translate(m_cr, c.x, c.y);
    cairo_scale(m_cr, k, k);
    cairo_translate(m_cr, -viewCenter.x, -viewCenter.y);
    cairo_rotate(m_cr, -twist);
    cairo_translate(m_cr, -target.x, -target.y);
    drawSpace(db->data().modelSpace, frozen, 1, Rgb{0, 0, 0}, false);
    cairo_restore(m_cr);
  }

  cairo_t* m_cr;
  bool m_monochrome;
  long m_primitives = 0;

 public:
  long primitives() const { return m_primitives; }
};

// The rectangle a kind of plot area covers, in the plotted space's units.
bool plotArea(const AcDbPlotSettings::Data& s, const AcDbLayout* layout, AcDbObjectId space, PagePlan* plan) {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  switch (s.type) {
    case AcDbPlotSettings::kWindow:
      x0 = s.windowMinX, y0 = s.windowMinY, x1 = s.windowMaxX, y1 = s.windowMaxY;
      break;
    case AcDbPlotSettings::kLayout:
    case AcDbPlotSettings::kLimits:
      x0 = layout->limitsMin.x, y0 = layout->limitsMin.y, x1 = layout->limitsMax.x, y1 = layout->limitsMax.y;
      if (s.type == AcDbPlotSettings::kLayout && !(x1 > x0 && y1 > y0)) {
        // No limits: the paper itself, with paper space's origin at the printable corner.
        x0 = -s.marginLeft, y0 = -s.marginBottom;
        x1 = s.paperWidth - s.marginLeft, y1 = s.paperHeight - s.marginBottom;
      }
      break;
    default: {
      // Extents and displays: what the space's entities cover, measured by drawing them.
      cairo_surface_t* rec = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
      cairo_t* cr = cairo_create(rec);
      Painter p(cr, true);
      p.drawSpace(space, {}, 0, Rgb{0, 0, 0}, !plan->modelSpace);
      cairo_destroy(cr);
      double w = 0, h = 0;
      cairo_recording_surface_ink_extents(rec, &x0, &y0, &w, &h);
      cairo_surface_destroy(rec);
      x1 = x0 + w, y1 = y0 + h;
      break;
    }
  }
  plan->areaMinX = x0, plan->areaMinY = y0, plan->areaMaxX = x1, plan->areaMaxY = y1;
  return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1) && x1 > x0 && y1 > y0;
}

}  // namespace

bool planPage(const AcDbPlotSettings::Data& s, bool raster, AcDbObjectId layoutId, PagePlan* plan,
              std::string* why) {
  auto* layout = peek<AcDbLayout>(layoutId);
  if (!layout) {
    *why = "no layout";
    return false;
  }
  plan->modelSpace = layout->modelTypeValue();
  plan->space = plan->modelSpace && layoutId.database() ? layoutId.database()->data().modelSpace
                                                        : layout->blockRecordValue();
  if (!plotArea(s, layout, plan->space, plan)) {
    *why = "empty plot area";
    return false;
  }
  const int quarter = static_cast<int>(s.rotation) & 3;
  const bool turned = (quarter & 1) != 0;
  // The page is the media turned with the plot: its margins turn with it.
  const double W = turned ? s.paperHeight : s.paperWidth, H = turned ? s.paperWidth : s.paperHeight;
  double m[4] = {s.marginLeft, s.marginBottom, s.marginRight, s.marginTop};  // left bottom right top
  double pm[4];
  for (int i = 0; i < 4; ++i) pm[i] = m[(i + 4 - quarter) % 4];
  const double px0 = pm[0], py0 = pm[1], px1 = W - pm[2], py1 = H - pm[3];
  if (!(W > 0 && H > 0 && px1 > px0 && py1 > py0)) {
    *why = "no printable area";
    return false;
  }
  const double aw = plan->areaMaxX - plan->areaMinX, ah = plan->areaMaxY - plan->areaMinY;
  const double tw = turned ? ah : aw, th = turned ? aw : ah;  // the area as it lies on the page
  const double perUnit = s.units == AcDbPlotSettings::kInches ? 25.4 : 1.0;
  const bool fit = s.standardScale && s.stdScaleType == AcDbPlotSettings::kScaleToFit;
  double scale = fit ? std::min((px1 - px0) / tw, (py1 - py0) / th)
                     : s.standardScale ? s.stdScale * perUnit : s.numerator / s.denominator * perUnit;
  if (raster) scale = fit ? scale : scale / perUnit;
  if (!std::isfinite(scale) || scale <= 0) {
    *why = "no usable scale";
    return false;
  }
  plan->scale = scale;
  // Where the area's centre goes on the page (paper units, y up).
  double cx, cy;
  if (fit || s.centered) {
    cx = (px0 + px1) / 2, cy = (py0 + py1) / 2;
  } else if (s.type == AcDbPlotSettings::kLayout) {
    // A layout plots paper space's origin at the printable corner, moved by the plot origin.
    double ox = -plan->areaMinX - aw / 2, oy = -plan->areaMinY - ah / 2;  // origin relative to the centre
    double rx = ox, ry = oy;
    for (int i = 0; i < quarter; ++i) std::swap(rx, ry), rx = -rx;
    cx = px0 + s.originX - rx * scale, cy = py0 + s.originY - ry * scale;
  } else {
    cx = px0 + s.originX + tw * scale / 2, cy = py0 + s.originY + th * scale / 2;
  }
  const double device = raster ? 1.0 : kPointsPerMm;
  plan->pageWidth = W * device;
  plan->pageHeight = H * device;
  cairo_matrix_t& t = plan->toPage;
  cairo_matrix_init_identity(&t);
  cairo_matrix_translate(&t, 0, plan->pageHeight);
  cairo_matrix_scale(&t, device, -device);
  cairo_matrix_translate(&t, cx, cy);
  cairo_matrix_rotate(&t, quarter * M_PI / 2);
  cairo_matrix_scale(&t, scale, scale);
  cairo_matrix_translate(&t, -(plan->areaMinX + aw / 2), -(plan->areaMinY + ah / 2));
  return true;
}

int drawPage(cairo_t* cr, const PagePlan& plan, bool monochrome) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  // Nothing outside the plot area reaches the paper; a line lying on the area's edge plots whole.
  double xs[2] = {plan.areaMinX, plan.areaMaxX}, ys[2] = {plan.areaMinY, plan.areaMaxY};
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (double x : xs)
    for (double y : ys) {
      double dx = x, dy = y;
      cairo_matrix_transform_point(&plan.toPage, &dx, &dy);
      x0 = std::min(x0, dx), y0 = std::min(y0, dy), x1 = std::max(x1, dx), y1 = std::max(y1, dy);
    }
  const double pad = kLineWidthPoints / 2;
  cairo_rectangle(cr, x0 - pad, y0 - pad, x1 - x0 + 2 * pad, y1 - y0 + 2 * pad);
  cairo_clip(cr);
  cairo_set_matrix(cr, &plan.toPage);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  Painter p(cr, monochrome);
  p.drawSpace(plan.space, {}, 0, Rgb{0, 0, 0}, !plan.modelSpace);
  cairo_restore(cr);
  return static_cast<int>(std::min<long>(p.primitives(), 1L << 30));
}

}  // namespace cadsim
