#include "plot/plot_view.h"

#include <cstdlib>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "host/acad.h"
#include "host/platform.h"
#include "host/strings.h"
#include "pipeline/layout_switch.h"

namespace {

struct ViewReading {
  AcGeVector3d direction;
  AcGePoint3d target;
  double twist = 0;
};

struct Window {
  double xmin, ymin, xmax, ymax;
};

bool Finite(double v) { return std::isfinite(v); }

// A system variable's value, when it has one of the expected result types.
bool ReadVariable(const ACHAR* name, resbuf& value, short type, short alternative) {
  value = resbuf{};
  if (acedGetVar(name, &value) != RTNORM) return false;
  if (value.restype == type || value.restype == alternative) return true;
  // acedGetVar malloc()s its strings.
  if (value.restype == RTSTR && value.resval.rstring) std::free(value.resval.rstring);
  return false;
}

bool ReadPoint(const ACHAR* name, AcGePoint3d& point) {
  resbuf value{};
  if (!ReadVariable(name, value, RT3DPOINT, RTPOINT)) return false;
  point = AcGePoint3d(value.resval.rpoint[0], value.resval.rpoint[1], value.restype == RT3DPOINT ? value.resval.rpoint[2] : 0);
  return Finite(point.x) && Finite(point.y) && Finite(point.z);
}

bool ReadView(ViewReading& view) {
  AcGePoint3d direction;
  if (!ReadPoint(L"VIEWDIR", direction)) return false;
  if (!ReadPoint(L"TARGET", view.target)) return false;
  resbuf twist{};
  if (!ReadVariable(L"VIEWTWIST", twist, RTREAL, RTANG)) return false;
  view.twist = twist.resval.rreal;
  view.direction = AcGeVector3d(direction.x, direction.y, direction.z);
  // A zero direction has no plane to look along; the matrix would not invert.
  return Finite(view.twist) && view.direction.length() > 0;
}

AcGeMatrix3d DisplayToWorld(const ViewReading& view) {
  AcGeMatrix3d matrix = AcGeMatrix3d::planeToWorld(view.direction);
  AcGeMatrix3d step;
  matrix.preMultBy(step.setToTranslation(view.target - AcGePoint3d::kOrigin));
  matrix.preMultBy(step.setToRotation(-view.twist, view.direction, view.target));
  return matrix;
}

bool FiniteWindow(const Window& w) { return Finite(w.xmin) && Finite(w.ymin) && Finite(w.xmax) && Finite(w.ymax); }

// The bounding box of the window's four corners at z = 0 carried by the matrix.
Window Bounds(const Window& w, const AcGeMatrix3d& matrix) {
  const AcGePoint3d corners[] = {
      {w.xmin, w.ymin, 0}, {w.xmax, w.ymin, 0}, {w.xmax, w.ymax, 0}, {w.xmin, w.ymax, 0}};
  Window box{0, 0, 0, 0};
  for (size_t i = 0; i < 4; ++i) {
    AcGePoint3d p = corners[i];
    p.transformBy(matrix);
    if (i == 0) {
      box = {p.x, p.y, p.x, p.y};
      continue;
    }
    box.xmin = std::min(box.xmin, p.x);
    box.ymin = std::min(box.ymin, p.y);
    box.xmax = std::max(box.xmax, p.x);
    box.ymax = std::max(box.ymax, p.y);
  }
  return box;
}

// The window in display coordinates under the current view; false when the view cannot be read
// or the numbers are unusable.
bool DisplayWindow(Window& window, ViewReading& view) {
  if (!FiniteWindow(window) || !ReadView(view)) return false;
  const Window box = Bounds(window, DisplayToWorld(view).inverse());
  if (!FiniteWindow(box)) return false;
  // Corners near the largest doubles still overflow the view's size or centre: such a view would
  // leave the drawing unusable.
  if (!Finite(box.xmax - box.xmin) || !Finite(box.ymax - box.ymin) || !Finite((box.xmin + box.xmax) / 2) ||
      !Finite((box.ymin + box.ymax) / 2))
    return false;
  window = box;
  return true;
}

// Makes the current view show the display window; the paper-space flag only when asked and known.
void SetView(const ViewReading& reading, const Window& box, bool markPaperSpace) {
  AcDbViewTableRecord view;
  view.setViewDirection(reading.direction);
  view.setTarget(reading.target);
  view.setViewTwist(reading.twist);
  view.setWidth(box.xmax - box.xmin);
  view.setHeight(box.ymax - box.ymin);
  view.setCenterPoint(AcGePoint2d((box.xmin + box.xmax) / 2, (box.ymin + box.ymax) / 2));
  if (markPaperSpace) {
    resbuf cvport{};
    if (ReadVariable(L"CVPORT", cvport, RTSHORT, RTSHORT)) view.setIsPaperspaceView(cvport.resval.rint == 1);
  }
  acedSetCurrentView(&view, nullptr);
}

bool EqualsIgnoringAsciiCase(const std::string& a, const char* b) {
  const std::string other(b);
  if (a.size() != other.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(other[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

bool InModelSpace() {
  resbuf ctab{};
  if (acedGetVar(L"CTAB", &ctab) != RTNORM) return true;
  if (ctab.restype != RTSTR || !ctab.resval.rstring) return true;
  const std::string name = OrvikUtf8(ctab.resval.rstring);
  std::free(ctab.resval.rstring);  // acedGetVar malloc()s its strings
  return EqualsIgnoringAsciiCase(name, kModelSpaceName) || name == kModelSpaceLocalName;
}

void TransformByView(double& xmin, double& ymin, double& xmax, double& ymax, bool toDisplay) {
  ORVIK_ASSERT_MAIN_THREAD();
  Window window{xmin, ymin, xmax, ymax};
  ViewReading view;
  if (!FiniteWindow(window) || !ReadView(view)) return;
  AcGeMatrix3d matrix = DisplayToWorld(view);
  if (toDisplay) matrix = matrix.inverse();
  const Window box = Bounds(window, matrix);
  if (!FiniteWindow(box)) return;
  xmin = box.xmin;
  ymin = box.ymin;
  xmax = box.xmax;
  ymax = box.ymax;
}

}  // namespace

void FocusAndGetPlotWindow(double& xmin, double& ymin, double& xmax, double& ymax) {
  ORVIK_ASSERT_MAIN_THREAD();
  Window box{xmin, ymin, xmax, ymax};
  ViewReading view;
  if (!DisplayWindow(box, view)) return;
  SetView(view, box, true);
  acedUpdateDisplay();
  if (!InModelSpace()) return;
  xmin = box.xmin;
  ymin = box.ymin;
  xmax = box.xmax;
  ymax = box.ymax;
}

void TransformWcsToPlotDcs(double& xmin, double& ymin, double& xmax, double& ymax) {
  TransformByView(xmin, ymin, xmax, ymax, true);
}

void ConvertWcsToPlotDcs(double& xmin, double& ymin, double& xmax, double& ymax) {
  TransformByView(xmin, ymin, xmax, ymax, true);
}

void ConvertDcsToPlotWcs(double& xmin, double& ymin, double& xmax, double& ymax) {
  TransformByView(xmin, ymin, xmax, ymax, false);
}

void LookAtPlotFrame(double xmin, double ymin, double xmax, double ymax) {
  ORVIK_ASSERT_MAIN_THREAD();
  Window box{xmin, ymin, xmax, ymax};
  ViewReading view;
  if (!DisplayWindow(box, view)) return;
  SetView(view, box, false);
}
