// Geometry value types of the SDK surface: points, vectors, scales, transforms and extents.
//
// Plain values with the host's member names; everything is double precision and world-relative.
#pragma once

#include <cmath>

class AcGeMatrix3d;

class AcGeVector3d {
 public:
  AcGeVector3d() = default;
  AcGeVector3d(double x, double y, double z) : x(x), y(y), z(z) {}
  double length() const { return std::sqrt(x * x + y * y + z * z); }
  bool isZeroLength(double tol = 1e-10) const { return length() <= tol; }
  // The unit vector in this direction; a zero vector stays zero.
  AcGeVector3d normal() const {
    double len = length();
    return len == 0 ? AcGeVector3d() : AcGeVector3d(x / len, y / len, z / len);
  }
  AcGeVector3d& normalize() { return *this = normal(); }
  double dotProduct(const AcGeVector3d& o) const { return x * o.x + y * o.y + z * o.z; }
  AcGeVector3d crossProduct(const AcGeVector3d& o) const {
    return AcGeVector3d(y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x);
  }
  AcGeVector3d& transformBy(const AcGeMatrix3d& m);
  AcGeVector3d operator*(double s) const { return AcGeVector3d(x * s, y * s, z * s); }
  AcGeVector3d operator+(const AcGeVector3d& o) const { return AcGeVector3d(x + o.x, y + o.y, z + o.z); }
  AcGeVector3d operator-(const AcGeVector3d& o) const { return AcGeVector3d(x - o.x, y - o.y, z - o.z); }
  AcGeVector3d operator-() const { return AcGeVector3d(-x, -y, -z); }
  bool operator==(const AcGeVector3d& o) const { return x == o.x && y == o.y && z == o.z; }
  static const AcGeVector3d kXAxis, kYAxis, kZAxis;
  double x = 0, y = 0, z = 0;
};

class AcGePoint2d {
 public:
  AcGePoint2d() = default;
  AcGePoint2d(double x, double y) : x(x), y(y) {}
  double distanceTo(const AcGePoint2d& o) const { return std::hypot(x - o.x, y - o.y); }
  bool operator==(const AcGePoint2d& o) const { return x == o.x && y == o.y; }
  double x = 0, y = 0;
};

class AcGePoint3d {
 public:
  AcGePoint3d() = default;
  AcGePoint3d(double x, double y, double z) : x(x), y(y), z(z) {}
  double distanceTo(const AcGePoint3d& o) const {
    return std::sqrt((x - o.x) * (x - o.x) + (y - o.y) * (y - o.y) + (z - o.z) * (z - o.z));
  }
  AcGePoint3d& transformBy(const AcGeMatrix3d& m);
  AcGePoint3d operator+(const AcGeVector3d& v) const { return AcGePoint3d(x + v.x, y + v.y, z + v.z); }
  AcGePoint3d operator-(const AcGeVector3d& v) const { return AcGePoint3d(x - v.x, y - v.y, z - v.z); }
  AcGeVector3d asVector() const { return AcGeVector3d(x, y, z); }
  AcGeVector3d operator-(const AcGePoint3d& o) const { return AcGeVector3d(x - o.x, y - o.y, z - o.z); }
  bool operator==(const AcGePoint3d& o) const { return x == o.x && y == o.y && z == o.z; }
  bool operator!=(const AcGePoint3d& o) const { return !(*this == o); }
  static const AcGePoint3d kOrigin;
  double x = 0, y = 0, z = 0;
};

class AcGeScale3d {
 public:
  AcGeScale3d() = default;
  AcGeScale3d(double x, double y, double z) : sx(x), sy(y), sz(z) {}
  double sx = 1, sy = 1, sz = 1;
};

// A 4x4 affine transform, row-major; points are column vectors (p' = M p).
class AcGeMatrix3d {
 public:
  AcGeMatrix3d() { setToIdentity(); }
  AcGeMatrix3d& setToIdentity();
  static AcGeMatrix3d translation(const AcGeVector3d& v);
  static AcGeMatrix3d rotation(double angle, const AcGeVector3d& axis, const AcGePoint3d& center);
  static AcGeMatrix3d scaling(const AcGeScale3d& scale, const AcGePoint3d& center);
  AcGeMatrix3d& setToTranslation(const AcGeVector3d& v) { return *this = translation(v); }
  AcGeMatrix3d& setToRotation(double angle, const AcGeVector3d& axis,
                              const AcGePoint3d& center = AcGePoint3d(0, 0, 0)) {
    return *this = rotation(angle, axis, center);
  }
  // The host's arbitrary-axis rule: the plane's X axis is (0,0,1) x normal, or (0,1,0) x normal
  // when the normal is within 1/64 of the world Z axis in both x and y; Y = normal x X. The
  // matrix maps plane coordinates to world coordinates (origin fixed).
  static AcGeMatrix3d planeToWorld(const AcGeVector3d& normal);
  AcGeMatrix3d& setToPlaneToWorld(const AcGeVector3d& normal) { return *this = planeToWorld(normal); }
  // this = left * this, and this = this * right.
  AcGeMatrix3d& preMultBy(const AcGeMatrix3d& left) { return *this = left * *this; }
  AcGeMatrix3d& postMultBy(const AcGeMatrix3d& right) { return *this = *this * right; }
  // A singular matrix inverts to itself unchanged (the host leaves it so too).
  AcGeMatrix3d inverse() const;
  AcGeMatrix3d& invert() { return *this = inverse(); }
  AcGeMatrix3d operator*(const AcGeMatrix3d& o) const;
  bool isEqualTo(const AcGeMatrix3d& o, double tol = 1e-10) const;
  double operator()(unsigned row, unsigned column) const { return entry[row][column]; }
  double& operator()(unsigned row, unsigned column) { return entry[row][column]; }
  static const AcGeMatrix3d kIdentity;
  double entry[4][4];
};

// An axis-aligned box; empty until the first point is added.
class AcDbExtents {
 public:
  AcDbExtents();
  AcDbExtents(const AcGePoint3d& min, const AcGePoint3d& max) : m_min(min), m_max(max) {}
  AcGePoint3d minPoint() const { return m_min; }
  AcGePoint3d maxPoint() const { return m_max; }
  void set(const AcGePoint3d& min, const AcGePoint3d& max) {
    m_min = min;
    m_max = max;
  }
  void addPoint(const AcGePoint3d& p);
  void addExt(const AcDbExtents& e);
  // Transforms the eight corners and takes their box.
  void transformBy(const AcGeMatrix3d& m);
  bool isEmpty() const { return m_min.x > m_max.x; }

 private:
  AcGePoint3d m_min;
  AcGePoint3d m_max;
};
