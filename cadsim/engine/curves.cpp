// Circles and arcs of the simulated host.
#include <cmath>

#include "cadsim/sdk/arx.h"

AcRxClass* AcDbCircle::desc() {
  static AcRxClass c(L"AcDbCircle", AcDbCurve::desc());
  return &c;
}
AcRxClass* AcDbCircle::isA() const { return AcDbCircle::desc(); }
AcRxClass* AcDbArc::desc() {
  static AcRxClass c(L"AcDbArc", AcDbCurve::desc());
  return &c;
}
AcRxClass* AcDbArc::isA() const { return AcDbArc::desc(); }

namespace {
bool usable(const AcGePoint3d& c, double r) {
  return std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z) && std::isfinite(r) && r >= 0;
}
}  // namespace

AcGePoint3d AcDbCircle::center() const { assertReadEnabled(); return m_center; }
Acad::ErrorStatus AcDbCircle::setCenter(const AcGePoint3d& c) { assertWriteEnabled(); m_center = c; return Acad::eOk; }
double AcDbCircle::radius() const { assertReadEnabled(); return m_radius; }
Acad::ErrorStatus AcDbCircle::setRadius(double r) {
  if (!(r > 0) || !std::isfinite(r)) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_radius = r;
  return Acad::eOk;
}
Acad::ErrorStatus AcDbCircle::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  if (!usable(m_center, m_radius)) return Acad::eInvalidExtents;
  extents = AcDbExtents();
  extents.addPoint(AcGePoint3d(m_center.x - m_radius, m_center.y - m_radius, m_center.z));
  extents.addPoint(AcGePoint3d(m_center.x + m_radius, m_center.y + m_radius, m_center.z));
  return Acad::eOk;
}

AcGePoint3d AcDbArc::center() const { assertReadEnabled(); return m_center; }
Acad::ErrorStatus AcDbArc::setCenter(const AcGePoint3d& c) { assertWriteEnabled(); m_center = c; return Acad::eOk; }
double AcDbArc::radius() const { assertReadEnabled(); return m_radius; }
Acad::ErrorStatus AcDbArc::setRadius(double r) {
  if (!(r > 0) || !std::isfinite(r)) return Acad::eInvalidInput;
  assertWriteEnabled();
  m_radius = r;
  return Acad::eOk;
}
double AcDbArc::startAngle() const { assertReadEnabled(); return m_start; }
Acad::ErrorStatus AcDbArc::setStartAngle(double a) { assertWriteEnabled(); m_start = a; return Acad::eOk; }
double AcDbArc::endAngle() const { assertReadEnabled(); return m_end; }
Acad::ErrorStatus AcDbArc::setEndAngle(double a) { assertWriteEnabled(); m_end = a; return Acad::eOk; }
Acad::ErrorStatus AcDbArc::getGeomExtents(AcDbExtents& extents) const {
  assertReadEnabled();
  if (!usable(m_center, m_radius) || !std::isfinite(m_start) || !std::isfinite(m_end)) return Acad::eInvalidExtents;
  // The end points, and each axis crossing the arc sweeps over.
  const double twoPi = 2 * M_PI;
  double start = std::fmod(m_start, twoPi);
  if (start < 0) start += twoPi;
  double sweep = std::fmod(m_end - m_start, twoPi);
  if (sweep <= 0) sweep += twoPi;
  extents = AcDbExtents();
  auto at = [&](double a) {
    extents.addPoint(AcGePoint3d(m_center.x + m_radius * std::cos(a), m_center.y + m_radius * std::sin(a), m_center.z));
  };
  at(start);
  at(start + sweep);
  for (int q = 0; q < 8; ++q) {
    double axis = q * M_PI / 2;
    if (axis > start && axis < start + sweep) at(axis);
  }
  return Acad::eOk;
}
