// The simulated host's plot drawing. It reads the drawing's objects without opening them (the
// host plots from its own copy of the database), so it marks each object readable only while it
// reads it, and never changes anything.
//
// Geometry is carried by one 3D transform from the entity's coordinates to the plotted area
// (block references, viewports and the view compose into it). Every entity lies in a plane of
// constant z of its own coordinates, so a parallel projection of it is a plane affine map, which
// cairo then draws: circles seen from aside become ellipses without further work.
#include "cadsim/engine/plot/plot_render.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "cadsim/engine/database_state.h"

namespace cadsim {
namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPixelsPerMm = 96.0 / 25.4;  // a raster device's lineweights
constexpr int kDefaultLineWeight = 25;        // hundredths of a millimetre: the host's default
constexpr int kThinnestLineWeight = 5;        // lineweight 0 plots as the device's thinnest line
constexpr int kMaxDepth = 16;

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

bool finite(const AcGePoint3d& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
bool finite(double v) { return std::isfinite(v); }

struct Rgb {
  double r, g, b;
};

Rgb hsv(double hueDegrees, double saturation, double value) {
  const double c = value * saturation, h = std::fmod(hueDegrees, 360.0) / 60.0;
  const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1)), m = value - c;
  Rgb o{0, 0, 0};
  switch (static_cast<int>(h)) {
    case 0: o = {c, x, 0}; break;
    case 1: o = {x, c, 0}; break;
    case 2: o = {0, c, x}; break;
    case 3: o = {0, x, c}; break;
    case 4: o = {x, 0, c}; break;
    default: o = {c, 0, x}; break;
  }
  return {o.r + m, o.g + m, o.b + m};
}

// The host's colour index: nine named colours, 240 hues in five shades of two saturations, six
// greys. 7 is black on white paper.
Rgb aciColor(int index) {
  static const Rgb named[10] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1},
                                {0, 0, 1}, {1, 0, 1}, {0, 0, 0}, {0.5, 0.5, 0.5}, {0.75, 0.75, 0.75}};
  if (index >= 1 && index <= 9) return named[index];
  if (index >= 10 && index <= 249) {
    static const double shade[5] = {1.0, 0.8, 0.6, 0.5, 0.3};
    const int k = (index - 10) % 10;
    return hsv((index - 10) / 10 * 15.0, k % 2 ? 0.5 : 1.0, shade[k / 2]);
  }
  if (index >= 250 && index <= 255) {
    static const double grey[6] = {0.2, 0.31, 0.41, 0.51, 0.75, 1.0};
    const double g = grey[index - 250];
    return {g, g, g};
  }
  return {0, 0, 0};
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

using Dashes = std::shared_ptr<const std::vector<double>>;

// What an entity inside a block reference takes from the reference: its colour for ByBlock, its
// linetype and lineweight for ByBlock, and its layer for entities on layer 0.
struct Inherited {
  int color = 7;
  int lineWeight = kDefaultLineWeight;
  Dashes dashes;
  double linetypeScale = 1;
  AcDbObjectId layer;  // null outside a block
};

// How one entity plots, resolved.
struct Pen {
  int color = 7;
  int lineWeight = kDefaultLineWeight;
  Dashes dashes;
  double linetypeScale = 1;
  AcDbObjectId layer;
};

// The 2D map of the plane z = `z` of a 3D transform, dropping the projected depth.
cairo_matrix_t planeMap(const AcGeMatrix3d& m, double z) {
  cairo_matrix_t a;
  cairo_matrix_init(&a, m.entry[0][0], m.entry[1][0], m.entry[0][1], m.entry[1][1],
                    m.entry[0][2] * z + m.entry[0][3], m.entry[1][2] * z + m.entry[1][3]);
  return a;
}

class Painter {
 public:
  Painter(cairo_t* cr, const PagePlan& plan, const PenTable& pens, double devicePerMm)
      : m_cr(cr), m_pens(pens), m_toPage(plan.toPage), m_xf(plan.view), m_devicePerMm(devicePerMm) {}

  void drawSpace(AcDbObjectId spaceId, int depth, const Inherited& from, bool paperSpace) {
    auto* space = peek<AcDbBlockTableRecord>(spaceId);
    if (!space || depth > kMaxDepth || exhausted()) return;
    // By index: nothing changes the list while it is walked, and an index stays safe regardless.
    const std::vector<AcDbObjectId>& ids = space->entityIds();
    for (size_t i = 0; i < ids.size(); ++i) {
      if (!visit()) return;
      auto* e = peek<AcDbEntity>(ids[i]);
      if (!e || e->isErased()) continue;
      drawEntity(e, depth, from, paperSpace);
    }
  }

  long drawn() const { return m_drawn; }
  bool exhausted() const { return m_visits > kMaxPlotVisits; }

 private:
  bool visit() { return ++m_visits <= kMaxPlotVisits; }

  const PlotLook* lookOf(const AcDbObject* o) const {
    AcDbDatabase* db = o->database();
    if (!db) return nullptr;
    const auto& looks = db->data().looks;
    auto it = looks.find(o->objectId());
    return it == looks.end() ? nullptr : &it->second;
  }

  // Whether the entity plots, and with which pen.
  bool resolve(const AcDbEntity* e, const Inherited& from, Pen* pen) {
    Reading r(e);
    if (e->visibility() != AcDb::kVisible) return false;
    AcDbObjectId layerId = e->layerId();
    auto* layer = peek<AcDbLayerTableRecord>(layerId);
    if (layer && !from.layer.isNull()) {
      Reading rl(layer);
      if (layer->nameText() == L"0") layerId = from.layer, layer = peek<AcDbLayerTableRecord>(layerId);
    }
    int layerColor = 7, layerWeight = -3;
    Dashes layerDashes;
    if (layer) {
      Reading rl(layer);
      if (layer->isOff() || layer->isFrozen() || !layer->isPlottable()) return false;
      layerColor = std::abs(layer->colorIndex());
      if (const PlotLook* look = lookOf(layer)) layerDashes = look->dashes, layerWeight = look->lineWeight;
    }
    if (std::find(m_frozen.begin(), m_frozen.end(), layerId) != m_frozen.end()) return false;
    const PlotLook plain;
    const PlotLook* look = lookOf(e);
    if (!look) look = &plain;
    const int index = e->colorIndex();
    pen->color = index == 256 ? layerColor : index == 0 ? from.color : index;
    pen->layer = layerId;
    switch (look->linetype) {
      case PlotLook::kByLayer: pen->dashes = layerDashes; break;
      case PlotLook::kByBlock: pen->dashes = from.dashes; break;
      case PlotLook::kOwn: pen->dashes = look->dashes; break;
    }
    pen->linetypeScale = look->linetypeScale * (look->linetype == PlotLook::kByBlock ? from.linetypeScale : 1);
    const int weight = look->lineWeight == -1 ? layerWeight : look->lineWeight == -2 ? from.lineWeight : look->lineWeight;
    pen->lineWeight = weight < 0 ? kDefaultLineWeight : weight;
    return true;
  }

  Rgb ink(int color) const {
    const Rgb c = aciColor(color);
    switch (m_pens.mode) {
      case PenTable::kMonochrome: return {0, 0, 0};
      case PenTable::kGrayscale: {
        const double g = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
        return {g, g, g};
      }
      case PenTable::kScreened: return {0.5 + c.r / 2, 0.5 + c.g / 2, 0.5 + c.b / 2};
      case PenTable::kColours: break;
    }
    return c;
  }

  // Device units per drawing unit of the current transform, for dash lengths.
  double deviceScale() const {
    const cairo_matrix_t a = planeMap(m_xf, 0);
    const double det = std::fabs((a.xx * a.yy - a.xy * a.yx) * (m_toPage.xx * m_toPage.yy - m_toPage.xy * m_toPage.yx));
    return std::sqrt(det);
  }

  // Makes the entity's plane at `z` the user space. A plane seen edge on has no inverse map
  // (cairo refuses such a matrix): its paths are then built in the plane's own coordinates and
  // carried to the page point by point when stroked.
  void usePlane(double z) {
    m_planeZ = finite(z) ? z : 0;
    cairo_matrix_t a = planeMap(m_xf, m_planeZ), out;
    cairo_matrix_multiply(&out, &a, &m_toPage);
    const double det = out.xx * out.yy - out.xy * out.yx;
    const double size = std::max({std::fabs(out.xx), std::fabs(out.yy), std::fabs(out.xy), std::fabs(out.yx)});
    m_edgeOn = !(std::fabs(det) > 1e-9 * size * size) || !finite(det);
    if (m_edgeOn) {
      cairo_identity_matrix(m_cr);
    } else {
      cairo_set_matrix(m_cr, &out);
    }
  }

  // An edge-on plane's path, flattened in the plane and projected onto the page.
  void projectPath() {
    cairo_path_t* path = cairo_copy_path_flat(m_cr);
    cairo_new_path(m_cr);
    if (!path) return;
    if (path->status == CAIRO_STATUS_SUCCESS) {
      for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
        const cairo_path_data_t& d = path->data[i];
        if (d.header.type == CAIRO_PATH_CLOSE_PATH) {
          cairo_close_path(m_cr);
          continue;
        }
        AcGePoint3d p(path->data[i + 1].point.x, path->data[i + 1].point.y, m_planeZ);
        p.transformBy(m_xf);
        double x = p.x, y = p.y;
        cairo_matrix_transform_point(&m_toPage, &x, &y);
        if (d.header.type == CAIRO_PATH_MOVE_TO) cairo_move_to(m_cr, x, y);
        else cairo_line_to(m_cr, x, y);
      }
    }
    cairo_path_destroy(path);
  }

  void stroke(const Pen& pen) {
    if (m_edgeOn) projectPath();
    const double unit = deviceScale();
    const Rgb c = ink(pen.color);
    cairo_set_source_rgb(m_cr, c.r, c.g, c.b);
    cairo_save(m_cr);
    cairo_identity_matrix(m_cr);  // a lineweight of the paper, whatever the scale
    const int weight = m_pens.lineweights ? std::max(pen.lineWeight, kThinnestLineWeight) : kDefaultLineWeight;
    cairo_set_line_width(m_cr, weight / 100.0 * m_devicePerMm);
    setDashes(pen, unit);
    cairo_stroke(m_cr);
    cairo_restore(m_cr);
    ++m_drawn;
  }

  // The linetype as cairo's on/off lengths in device units. A pattern too fine to see on the
  // paper plots continuous, as the host's does.
  void setDashes(const Pen& pen, double unit) {
    if (!pen.dashes || pen.dashes->empty()) return;
    const double k = unit * pen.linetypeScale * m_linetypeFactor;
    std::vector<double> elements;  // alternating on, off, starting with on
    double total = 0, lead = 0;
    bool started = false;
    for (double d : *pen.dashes) {
      const double len = std::fabs(d) * k;
      if (!finite(len)) return;
      total += len;
      const bool on = d >= 0;
      if (!started && !on) {
        lead += len;  // a leading gap goes to the end of the pattern
        continue;
      }
      started = true;
      if (elements.size() % 2 == (on ? 0u : 1u)) {
        elements.push_back(len);
      } else {
        elements.back() += len;
      }
    }
    if (!started || total < 1.0) return;
    if (elements.size() % 2 == 1) elements.push_back(0);
    elements.back() += lead;
    if (elements.size() > 64) return;
    cairo_set_dash(m_cr, elements.data(), static_cast<int>(elements.size()), 0);
  }

  // Single-line text with the entity's alignment. Heights are capital heights.
  void text(const std::string& utf8, const AcGePoint3d& at, double height, double rotation, const PlotLook* look,
            const Pen& pen) {
    if (utf8.empty() || !finite(at) || !finite(height) || !finite(rotation) || height <= 0) return;
    const PlotLook plain;
    if (!look) look = &plain;
    const int h = look->horizontalAlignment, v = look->verticalAlignment;
    usePlane(at.z);
    if (m_edgeOn) return;  // text seen edge on shows nothing
    cairo_save(m_cr);
    selectFont(height);
    cairo_text_extents_t ext;
    cairo_text_extents(m_cr, utf8.c_str(), &ext);
    double width = ext.x_advance * look->widthFactor;
    AcGePoint3d anchor = h == 0 && v == 0 ? at : AcGePoint3d(look->alignX, look->alignY, at.z);
    if (!finite(anchor)) anchor = at;
    double angle = rotation, stretch = look->widthFactor, size = height, dx = 0, dy = 0;
    if ((h == 3 || h == 5) && width > 0) {
      // Aligned and fit: the baseline runs from the insertion point to the alignment point.
      const double bx = anchor.x - at.x, by = anchor.y - at.y, length = std::hypot(bx, by);
      if (length > 0 && finite(length)) {
        angle = std::atan2(by, bx);
        if (h == 3) size = height * length / width, stretch = look->widthFactor;
        else stretch = look->widthFactor * length / width;
        anchor = at;
      }
    } else {
      if (h == 1 || h == 4) dx = -width / 2;
      if (h == 2) dx = -width;
      if (h == 4 && v == 0) dy = -height / 2;
      if (v == 1) dy = height * 0.3;  // the bottom of the descenders
      if (v == 2) dy = -height / 2;
      if (v == 3) dy = -height;
    }
    const Rgb c = ink(pen.color);
    cairo_set_source_rgb(m_cr, c.r, c.g, c.b);
    cairo_translate(m_cr, anchor.x, anchor.y);
    cairo_rotate(m_cr, angle);
    cairo_translate(m_cr, dx, dy);
    cairo_scale(m_cr, stretch * size / height, -size / height);  // glyphs are drawn y-down
    cairo_move_to(m_cr, 0, 0);
    cairo_show_text(m_cr, utf8.c_str());
    cairo_restore(m_cr);
    ++m_drawn;
  }

  void selectFont(double height) {
    // A family with Chinese glyphs: the toy font API does no per-glyph fallback, and fontconfig
    // picks the default sans-serif when this family is not installed.
    cairo_select_font_face(m_cr, "WenQuanYi Micro Hei", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(m_cr, height / 0.72);  // text height is the capital height
  }

  double textWidth(const std::string& utf8, double height) {
    cairo_save(m_cr);
    selectFont(height);
    cairo_text_extents_t ext;
    cairo_text_extents(m_cr, utf8.c_str(), &ext);
    cairo_restore(m_cr);
    return ext.x_advance;
  }

  // Breaks a paragraph into lines no wider than the column, at blanks.
  std::vector<std::string> wrap(const std::string& paragraph, double height, double column) {
    if (column <= 0 || textWidth(paragraph, height) <= column) return {paragraph};
    std::vector<std::string> lines;
    std::string line;
    size_t i = 0;
    while (i < paragraph.size()) {
      size_t blank = paragraph.find(' ', i);
      std::string word = paragraph.substr(i, blank == std::string::npos ? std::string::npos : blank - i);
      i = blank == std::string::npos ? paragraph.size() : blank + 1;
      std::string tried = line.empty() ? word : line + " " + word;
      if (!line.empty() && textWidth(tried, height) > column) {
        lines.push_back(line);
        line = word;
      } else {
        line = tried;
      }
      if (lines.size() > 10000) break;
    }
    lines.push_back(line);
    return lines;
  }

  void mtext(const std::string& content, const AcGePoint3d& at, double height, const PlotLook* look, const Pen& pen) {
    if (!finite(height) || height <= 0 || !finite(at)) return;
    const PlotLook plain;
    if (!look) look = &plain;
    std::vector<std::string> lines;
    for (const std::string& paragraph : mtextLines(content))
      for (std::string& line : wrap(paragraph, height, look->columnWidth)) lines.push_back(std::move(line));
    const int column = (look->attachment - 1) % 3, row = (look->attachment - 1) / 3;
    const double pitch = height * 5.0 / 3.0;
    const double block = height + pitch * static_cast<double>(lines.size() - 1);
    const double first = -height + block * row / 2.0;  // the first baseline below the insertion point
    const double cosA = std::cos(look->direction), sinA = std::sin(look->direction);
    PlotLook placed;
    for (size_t i = 0; i < lines.size(); ++i) {
      const double x = -textWidth(lines[i], height) * column / 2.0, y = first - static_cast<double>(i) * pitch;
      AcGePoint3d base(at.x + x * cosA - y * sinA, at.y + x * sinA + y * cosA, at.z);
      text(lines[i], base, height, look->direction, &placed, pen);
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

  void drawEntity(const AcDbEntity* e, int depth, const Inherited& from, bool paperSpace) {
    Pen pen;
    if (auto* vp = AcDbViewport::cast(e)) {
      // A viewport's border plots with its layer; what it shows plots unless that layer is frozen
      // (a layer that does not plot is where borders usually go).
      if (!paperSpace) return;
      const bool border = resolve(e, from, &pen);
      Reading r(e);
      auto* layer = peek<AcDbLayerTableRecord>(e->layerId());
      bool frozen = false;
      if (layer) {
        Reading rl(layer);
        frozen = layer->isFrozen();
      }
      if (e->visibility() == AcDb::kVisible && !frozen) viewport(vp, pen, border);
      return;
    }
    if (!resolve(e, from, &pen)) return;
    Reading r(e);
    const PlotLook* look = lookOf(e);
    if (auto* line = AcDbLine::cast(e)) {
      AcGePoint3d a = line->startPoint(), b = line->endPoint();
      if (!finite(a) || !finite(b)) return;
      a.transformBy(m_xf);
      b.transformBy(m_xf);
      cairo_set_matrix(m_cr, &m_toPage);
      m_edgeOn = false;
      cairo_new_path(m_cr);
      cairo_move_to(m_cr, a.x, a.y);
      cairo_line_to(m_cr, b.x, b.y);
      stroke(pen);
    } else if (auto* pl = AcDbPolyline::cast(e)) {
      usePlane(pl->elevation());
      polyline(pl);
      stroke(pen);
    } else if (auto* circle = AcDbCircle::cast(e)) {
      AcGePoint3d c = circle->center();
      if (!finite(c) || !finite(circle->radius())) return;
      usePlane(c.z);
      cairo_new_path(m_cr);
      cairo_arc(m_cr, c.x, c.y, circle->radius(), 0, 2 * M_PI);
      stroke(pen);
    } else if (auto* arc = AcDbArc::cast(e)) {
      AcGePoint3d c = arc->center();
      if (!finite(c) || !finite(arc->radius()) || !finite(arc->startAngle()) || !finite(arc->endAngle())) return;
      usePlane(c.z);
      cairo_new_path(m_cr);
      cairo_arc(m_cr, c.x, c.y, arc->radius(), arc->startAngle(), arc->endAngle());
      stroke(pen);
    } else if (auto* def = AcDbAttributeDefinition::cast(e)) {
      // A definition shows only in the block editor, except a constant one, which every
      // reference shows.
      if (def->isConstant() && !def->isInvisible())
        text(narrow(def->textStringConst()), def->position(), def->height(), def->rotation(), look, pen);
    } else if (auto* t = AcDbText::cast(e)) {
      text(narrow(t->textStringConst()), t->position(), t->height(), t->rotation(), look, pen);
    } else if (auto* m = AcDbMText::cast(e)) {
      AcString content;
      m->contents(content);
      mtext(content.utf8Ptr(), m->location(), m->textHeight(), look, pen);
    } else if (auto* ref = AcDbBlockReference::cast(e)) {
      blockReference(ref, depth, pen);
    }
  }

  void blockReference(const AcDbBlockReference* ref, int depth, const Pen& pen) {
    Inherited inside;
    inside.color = pen.color;
    inside.lineWeight = pen.lineWeight;
    inside.dashes = pen.dashes;
    inside.linetypeScale = pen.linetypeScale;
    inside.layer = pen.layer;
    AcGeScale3d s = ref->scaleFactors();
    AcGeMatrix3d transform = ref->blockTransform();
    bool usable = finite(s.sx) && finite(s.sy) && finite(s.sz) && s.sx != 0 && s.sy != 0;
    for (int i = 0; i < 4 && usable; ++i)
      for (int j = 0; j < 4; ++j) usable = usable && finite(transform.entry[i][j]);
    if (usable && peek<AcDbBlockTableRecord>(ref->blockTableRecord())) {
      const AcGeMatrix3d outer = m_xf;
      m_xf = m_xf * transform;
      drawSpace(ref->blockTableRecord(), depth + 1, inside, false);
      m_xf = outer;
    }
    // Attributes sit in the reference's space already.
    const std::vector<AcDbObjectId>& attributes = const_cast<AcDbBlockReference*>(ref)->attributeIds();
    for (size_t i = 0; i < attributes.size(); ++i) {
      if (!visit()) return;
      auto* a = peek<AcDbAttribute>(attributes[i]);
      if (!a || a->isErased()) continue;
      Pen attPen;
      if (!resolve(a, inside, &attPen)) continue;
      Reading ra(a);
      if (a->isInvisible()) continue;
      if (const AcDbMText* m = a->isMTextAttribute() ? a->getMTextAttributeConst() : nullptr) {
        // The attribute's MText keeps only its content; it sits where the attribute does.
        AcString content;
        {
          Reading rm(m);
          m->contents(content);
        }
        mtext(content.utf8Ptr(), a->position(), a->height(), nullptr, attPen);
      } else {
        text(narrow(a->textStringConst()), a->position(), a->height(), a->rotation(), lookOf(a), attPen);
      }
    }
  }

  // A paper-space viewport: its border, and model space seen through it (parallel projection
  // along its view direction, turned by its twist), clipped to it.
  void viewport(const AcDbViewport* vp, const Pen& pen, bool border) {
    if (vp->number() == 1 || !vp->isOn()) return;
    AcGePoint3d c = vp->centerPoint();
    double w = vp->width(), h = vp->height(), viewHeight = vp->viewHeight();
    if (!finite(c) || !finite(w) || !finite(h) || w <= 0 || h <= 0) return;
    usePlane(c.z);
    if (border) {
      cairo_new_path(m_cr);
      cairo_rectangle(m_cr, c.x - w / 2, c.y - h / 2, w, h);
      stroke(pen);
    }
    if (!finite(viewHeight) || viewHeight <= 0) return;
    AcGePoint2d viewCenter = vp->viewCenter();
    AcGePoint3d target = vp->viewTarget();
    AcGeVector3d direction = vp->viewDirection();
    double twist = vp->twistAngle();
    if (!std::isfinite(viewCenter.x) || !std::isfinite(viewCenter.y) || !finite(target) || !finite(twist) ||
        !finite(direction.x) || !finite(direction.y) || !finite(direction.z))
      return;
    if (direction.isZeroLength(0)) direction = AcGeVector3d::kZAxis;
    AcDbObjectIdArray frozenIds;
    vp->getFrozenLayerList(frozenIds);
    AcDbDatabase* db = vp->database();
    if (!db) return;
    const double k = h / viewHeight;
    AcGeMatrix3d toViewport = AcGeMatrix3d::translation(AcGeVector3d(c.x, c.y, 0)) *
                              AcGeMatrix3d::scaling(AcGeScale3d(k, k, k), AcGePoint3d::kOrigin) *
                              AcGeMatrix3d::translation(AcGeVector3d(-viewCenter.x, -viewCenter.y, 0)) *
                              worldToDisplay(direction, target, twist);
    cairo_save(m_cr);
    usePlane(c.z);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, c.x - w / 2, c.y - h / 2, w, h);
    cairo_clip(m_cr);
    const AcGeMatrix3d outer = m_xf;
    const std::vector<AcDbObjectId> outerFrozen = m_frozen;
    const double outerFactor = m_linetypeFactor;
    m_xf = m_xf * toViewport;
    m_frozen.assign(frozenIds.begin(), frozenIds.end());
    m_linetypeFactor = 1 / k;  // linetypes keep their paper length in every viewport
    drawSpace(db->data().modelSpace, 1, Inherited(), false);
    m_xf = outer;
    m_frozen = outerFrozen;
    m_linetypeFactor = outerFactor;
    cairo_restore(m_cr);
  }

 public:
  // World to display coordinates of a view: the inverse of (rotation by minus the twist about the
  // direction through the target) x (translation to the target) x (plane to world of the direction).
  static AcGeMatrix3d worldToDisplay(const AcGeVector3d& direction, const AcGePoint3d& target, double twist) {
    AcGeMatrix3d m = AcGeMatrix3d::planeToWorld(direction);
    m.preMultBy(AcGeMatrix3d::translation(target - AcGePoint3d::kOrigin));
    m.preMultBy(AcGeMatrix3d::rotation(-twist, direction, target));
    return m.inverse();
  }

 private:
  cairo_t* m_cr;
  PenTable m_pens;
  cairo_matrix_t m_toPage;
  AcGeMatrix3d m_xf;
  double m_devicePerMm;
  double m_linetypeFactor = 1;
  double m_planeZ = 0;
  bool m_edgeOn = false;  // the current plane is seen edge on (usePlane)
  std::vector<AcDbObjectId> m_frozen;  // the layers frozen in the viewport being drawn
  long m_visits = 0;
  long m_drawn = 0;
};

// The view of the space, when it has a usable one (a space never viewed shows the plan view).
const ViewState* spaceView(AcDbObjectId layoutId, AcDbObjectId space) {
  AcDbDatabase* db = layoutId.database();
  if (!db) return nullptr;
  auto it = db->data().views.find(space);
  if (it == db->data().views.end()) return nullptr;
  const ViewState& v = it->second;
  if (!finite(v.target) || !finite(v.twist) || !finite(v.direction.x) || !finite(v.direction.y) ||
      !finite(v.direction.z) || v.direction.isZeroLength(0) || !std::isfinite(v.center.x) ||
      !std::isfinite(v.center.y) || !finite(v.width) || !finite(v.height))
    return nullptr;
  return &v;
}

// The rectangle a kind of plot area covers, in the plotted area's units; false when it is empty
// or the drawing is too large to measure.
bool plotArea(const AcDbPlotSettings::Data& s, const AcDbLayout* layout, double pageW, double pageH,
              const double margins[4], const ViewState* display, PagePlan* plan) {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  switch (s.type) {
    case AcDbPlotSettings::kWindow:
      x0 = s.windowMinX, y0 = s.windowMinY, x1 = s.windowMaxX, y1 = s.windowMaxY;
      break;
    case AcDbPlotSettings::kLayout:
      // The printable area of the page as it stands, paper space's origin at its corner (the
      // layout's limits were set for the media and do not turn with it).
      x0 = 0, y0 = 0;
      x1 = pageW - margins[0] - margins[2], y1 = pageH - margins[1] - margins[3];
      break;
    case AcDbPlotSettings::kLimits:
      x0 = layout->limitsMin.x, y0 = layout->limitsMin.y, x1 = layout->limitsMax.x, y1 = layout->limitsMax.y;
      break;
    case AcDbPlotSettings::kDisplay:
      // What the view shows, when the space has a view with a size; else what it holds.
      if (display && display->width > 0 && display->height > 0) {
        x0 = display->center.x - display->width / 2, y0 = display->center.y - display->height / 2;
        x1 = display->center.x + display->width / 2, y1 = display->center.y + display->height / 2;
        break;
      }
      [[fallthrough]];
    default: {
      // Extents and displays: what the space's entities cover, measured by drawing them.
      cairo_surface_t* rec = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
      cairo_t* cr = cairo_create(rec);
      PagePlan measure = *plan;
      cairo_matrix_init_identity(&measure.toPage);
      PenTable pens;
      pens.mode = PenTable::kMonochrome;
      Painter p(cr, measure, pens, 1e-3);  // hairlines: the extents are the geometry's
      p.drawSpace(plan->space, 0, Inherited(), !plan->modelSpace);
      const bool exhausted = p.exhausted();
      cairo_destroy(cr);
      double w = 0, h = 0;
      cairo_recording_surface_ink_extents(rec, &x0, &y0, &w, &h);
      cairo_surface_destroy(rec);
      if (exhausted) return false;
      x1 = x0 + w, y1 = y0 + h;
      break;
    }
  }
  plan->areaMinX = x0, plan->areaMinY = y0, plan->areaMaxX = x1, plan->areaMaxY = y1;
  return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1) && x1 > x0 && y1 > y0;
}

}  // namespace

PenTable penTableFor(const AcDbPlotSettings::Data& s) {
  PenTable pens;
  pens.lineweights = s.printLineweights;
  if (!s.plotPlotStyles) return pens;  // without plot styles the drawing's own colours plot
  const std::wstring name = upper(s.styleSheet);
  if (isMonochromeStyle(s.styleSheet)) pens.mode = PenTable::kMonochrome;
  else if (name.find(L"GRAYSCALE") != std::wstring::npos) pens.mode = PenTable::kGrayscale;
  else if (name.find(L"SCREENING") != std::wstring::npos) pens.mode = PenTable::kScreened;
  return pens;
}

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
  const bool viewed = s.type == AcDbPlotSettings::kWindow || s.type == AcDbPlotSettings::kDisplay ||
                      s.type == AcDbPlotSettings::kExtents;
  const ViewState* view = viewed ? spaceView(layoutId, plan->space) : nullptr;
  plan->view = view ? Painter::worldToDisplay(view->direction, view->target, view->twist) : AcGeMatrix3d();
  // The page stands as plotted: a quarter turn swaps the media's sides, and its printable margins
  // turn with it.
  const int quarter = static_cast<int>(s.rotation) & 3;
  const bool turned = (quarter & 1) != 0;
  const double W = turned ? s.paperHeight : s.paperWidth, H = turned ? s.paperWidth : s.paperHeight;
  const double m[4] = {s.marginLeft, s.marginBottom, s.marginRight, s.marginTop};  // left bottom right top
  double pm[4];
  for (int i = 0; i < 4; ++i) pm[i] = m[(i + 4 - quarter) % 4];
  const double px0 = pm[0], py0 = pm[1], px1 = W - pm[2], py1 = H - pm[3];
  if (!(W > 0 && H > 0 && px1 > px0 && py1 > py0)) {
    *why = "no printable area";
    return false;
  }
  if (!plotArea(s, layout, W, H, pm, view, plan)) {
    *why = "empty plot area";
    return false;
  }
  const double aw = plan->areaMaxX - plan->areaMinX, ah = plan->areaMaxY - plan->areaMinY;
  const double perUnit = s.units == AcDbPlotSettings::kInches ? 25.4 : 1.0;
  const bool fit = s.standardScale && s.stdScaleType == AcDbPlotSettings::kScaleToFit;
  double scale = fit ? std::min((px1 - px0) / aw, (py1 - py0) / ah)
                     : s.standardScale ? s.stdScale * perUnit : s.numerator / s.denominator * perUnit;
  if (raster) scale = fit ? scale : scale / perUnit;
  if (!std::isfinite(scale) || scale <= 0) {
    *why = "no usable scale";
    return false;
  }
  plan->scale = scale;
  // Which point of the area goes where on the page (paper units, y up).
  double px, py, ax, ay;
  if (s.centered) {
    px = (px0 + px1) / 2, py = (py0 + py1) / 2;
    ax = plan->areaMinX + aw / 2, ay = plan->areaMinY + ah / 2;
  } else if (s.type == AcDbPlotSettings::kLayout) {
    // A layout plots paper space's origin at the printable corner, moved by the plot origin.
    px = px0 + s.originX, py = py0 + s.originY;
    ax = 0, ay = 0;
  } else {
    px = px0 + s.originX, py = py0 + s.originY;
    ax = plan->areaMinX, ay = plan->areaMinY;
  }
  const double device = raster ? 1.0 : kPointsPerMm;
  plan->devicePerMm = raster ? kPixelsPerMm : kPointsPerMm;
  plan->pageWidth = W * device;
  plan->pageHeight = H * device;
  cairo_matrix_t& t = plan->toPage;
  cairo_matrix_init_identity(&t);
  cairo_matrix_translate(&t, 0, plan->pageHeight);
  cairo_matrix_scale(&t, device, -device);
  cairo_matrix_translate(&t, px, py);
  cairo_matrix_scale(&t, scale, scale);
  cairo_matrix_translate(&t, -ax, -ay);
  return true;
}

int drawPage(cairo_t* cr, const PagePlan& plan, const PenTable& pens) {
  // Text brings in cairo's font caches, which live until the process ends; give them back then so
  // that a leak checker sees only what the host itself loses.
  static const bool releaseAtExit = [] {
    return std::atexit([] {
      cairo_debug_reset_static_data();
      FcFini();
    }) == 0;
  }();
  (void)releaseAtExit;
  cairo_save(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  // Glyph advances as the font designs them, not snapped to the device's pixels: text measured
  // for its alignment keeps its width at any size.
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  // Nothing outside the plot area reaches the paper; a line lying on the area's edge plots whole.
  double xs[2] = {plan.areaMinX, plan.areaMaxX}, ys[2] = {plan.areaMinY, plan.areaMaxY};
  double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (double x : xs)
    for (double y : ys) {
      double dx = x, dy = y;
      cairo_matrix_transform_point(&plan.toPage, &dx, &dy);
      x0 = std::min(x0, dx), y0 = std::min(y0, dy), x1 = std::max(x1, dx), y1 = std::max(y1, dy);
    }
  const double pad = 0.5 * plan.devicePerMm;  // half the heaviest common lineweight
  cairo_rectangle(cr, x0 - pad, y0 - pad, x1 - x0 + 2 * pad, y1 - y0 + 2 * pad);
  cairo_clip(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  Painter p(cr, plan, pens, plan.devicePerMm);
  p.drawSpace(plan.space, 0, Inherited(), !plan.modelSpace);
  cairo_restore(cr);
  if (p.exhausted()) return -1;
  return static_cast<int>(std::min<long>(p.drawn(), 1L << 30));
}

}  // namespace cadsim
