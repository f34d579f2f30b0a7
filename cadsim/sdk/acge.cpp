// Geometry value types of the SDK surface: the members that are more than a line.
#include "cadsim/sdk/acge.h"

#include <cmath>
#include <cstring>
#include <utility>

const AcGePoint3d AcGePoint3d::kOrigin(0, 0, 0);
const AcGeVector3d AcGeVector3d::kXAxis(1, 0, 0);
const AcGeVector3d AcGeVector3d::kYAxis(0, 1, 0);
const AcGeVector3d AcGeVector3d::kZAxis(0, 0, 1);
const AcGeMatrix3d AcGeMatrix3d::kIdentity;

AcGeMatrix3d& AcGeMatrix3d::setToIdentity() {
  // Every reference's blockTransform makes several matrices, and the walks over large drawings
  // make millions of those: plain stores beat the loop.
  static const double kUnit[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
  std::memcpy(entry, kUnit, sizeof entry);
  return *this;
}

AcGeMatrix3d AcGeMatrix3d::translation(const AcGeVector3d& v) {
  AcGeMatrix3d m;
  m.entry[0][3] = v.x;
  m.entry[1][3] = v.y;
  m.entry[2][3] = v.z;
  return m;
}

AcGeMatrix3d AcGeMatrix3d::rotation(double angle, const AcGeVector3d& axis, const AcGePoint3d& center) {
  double len = axis.length();
  AcGeMatrix3d r;
  if (len == 0) return r;
  double x = axis.x / len, y = axis.y / len, z = axis.z / len;
  double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
  double m[3][3] = {{t * x * x + c, t * x * y - s * z, t * x * z + s * y},
                    {t * x * y + s * z, t * y * y + c, t * y * z - s * x},
                    {t * x * z - s * y, t * y * z + s * x, t * z * z + c}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.entry[i][j] = m[i][j];
  return translation(AcGeVector3d(center.x, center.y, center.z)) * r *
         translation(AcGeVector3d(-center.x, -center.y, -center.z));
}

AcGeMatrix3d AcGeMatrix3d::scaling(const AcGeScale3d& scale, const AcGePoint3d& center) {
  AcGeMatrix3d s;
  s.entry[0][0] = scale.sx;
  s.entry[1][1] = scale.sy;
  s.entry[2][2] = scale.sz;
  return translation(AcGeVector3d(center.x, center.y, center.z)) * s *
         translation(AcGeVector3d(-center.x, -center.y, -center.z));
}

AcGeMatrix3d AcGeMatrix3d::operator*(const AcGeMatrix3d& o) const {
  AcGeMatrix3d out;
  for (int r = 0; r < 4; ++r) {
    // Each sum starts from +0 and adds in k order, so that every product comes out bit for bit
    // the same however the compiler schedules it (a -0 sum comes out +0, as it always has).
    const double* row = entry[r];
    for (int c = 0; c < 4; ++c)
      out.entry[r][c] = (((0.0 + row[0] * o.entry[0][c]) + row[1] * o.entry[1][c]) + row[2] * o.entry[2][c]) +
                        row[3] * o.entry[3][c];
  }
  return out;
}

bool AcGeMatrix3d::isEqualTo(const AcGeMatrix3d& o, double tol) const {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      if (std::fabs(entry[r][c] - o.entry[r][c]) > tol) return false;
  return true;
}

AcGePoint3d& AcGePoint3d::transformBy(const AcGeMatrix3d& m) {
  double nx = m.entry[0][0] * x + m.entry[0][1] * y + m.entry[0][2] * z + m.entry[0][3];
  double ny = m.entry[1][0] * x + m.entry[1][1] * y + m.entry[1][2] * z + m.entry[1][3];
  double nz = m.entry[2][0] * x + m.entry[2][1] * y + m.entry[2][2] * z + m.entry[2][3];
  x = nx;
  y = ny;
  z = nz;
  return *this;
}

AcDbExtents::AcDbExtents()
    : m_min(1e20, 1e20, 1e20), m_max(-1e20, -1e20, -1e20) {}

void AcDbExtents::addPoint(const AcGePoint3d& p) {
  m_min = AcGePoint3d(std::fmin(m_min.x, p.x), std::fmin(m_min.y, p.y), std::fmin(m_min.z, p.z));
  m_max = AcGePoint3d(std::fmax(m_max.x, p.x), std::fmax(m_max.y, p.y), std::fmax(m_max.z, p.z));
}

void AcDbExtents::addExt(const AcDbExtents& e) {
  if (e.isEmpty()) return;
  addPoint(e.m_min);
  addPoint(e.m_max);
}

void AcDbExtents::transformBy(const AcGeMatrix3d& m) {
  if (isEmpty()) return;
  // A flat box (the extents of anything drawn in a plane) has each corner twice below, and adding
  // a point already in adds nothing; a walk over a large drawing transforms millions of these.
  const int corners = std::memcmp(&m_min.z, &m_max.z, sizeof(double)) == 0 ? 4 : 8;
  AcDbExtents out;
  for (int i = 0; i < corners; ++i) {
    AcGePoint3d p((i & 1) ? m_max.x : m_min.x, (i & 2) ? m_max.y : m_min.y, (i & 4) ? m_max.z : m_min.z);
    out.addPoint(p.transformBy(m));
  }
  *this = out;
}

AcGeVector3d& AcGeVector3d::transformBy(const AcGeMatrix3d& m) {
  double nx = m.entry[0][0] * x + m.entry[0][1] * y + m.entry[0][2] * z;
  double ny = m.entry[1][0] * x + m.entry[1][1] * y + m.entry[1][2] * z;
  double nz = m.entry[2][0] * x + m.entry[2][1] * y + m.entry[2][2] * z;
  x = nx;
  y = ny;
  z = nz;
  return *this;
}

AcGeMatrix3d AcGeMatrix3d::planeToWorld(const AcGeVector3d& normal) {
  const AcGeVector3d n = normal.normal();
  AcGeMatrix3d m;
  if (n.isZeroLength(0)) return m;
  const double limit = 1.0 / 64.0;
  const AcGeVector3d seed = (std::fabs(n.x) < limit && std::fabs(n.y) < limit) ? AcGeVector3d::kYAxis
                                                                              : AcGeVector3d::kZAxis;
  const AcGeVector3d xAxis = seed.crossProduct(n).normal();
  const AcGeVector3d yAxis = n.crossProduct(xAxis).normal();
  const AcGeVector3d axes[3] = {xAxis, yAxis, n};
  for (int c = 0; c < 3; ++c) {
    m.entry[0][c] = axes[c].x;
    m.entry[1][c] = axes[c].y;
    m.entry[2][c] = axes[c].z;
  }
  return m;
}

AcGeMatrix3d AcGeMatrix3d::inverse() const {
  // Gauss-Jordan with partial pivoting on the whole 4x4, so projective rows invert as well.
  double a[4][8];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      a[r][c] = entry[r][c];
      a[r][c + 4] = r == c ? 1.0 : 0.0;
    }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int r = col + 1; r < 4; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
    if (std::fabs(a[pivot][col]) < 1e-300) return *this;
    if (pivot != col)
      for (int c = 0; c < 8; ++c) std::swap(a[pivot][c], a[col][c]);
    const double p = a[col][col];
    for (int c = 0; c < 8; ++c) a[col][c] /= p;
    for (int r = 0; r < 4; ++r) {
      if (r == col || a[r][col] == 0) continue;
      const double f = a[r][col];
      for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
    }
  }
  AcGeMatrix3d out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out.entry[r][c] = a[r][c + 4];
  return out;
}
