#include "geometry/geometry.h"

#include <cfloat>
#include <cmath>
#include <limits>

namespace {

// Row-vector 3x3 in double, for the steps where float would lose the answer.
struct Basis {
  double m[3][3];
};

double LengthD(const Point3& v) {
  return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
}

float Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Flags describe what the entries are, so every result can be judged the
// same way: no translation; no rotation (positive diagonal only); no scale
// (unit rows, not mirrored).
std::uint32_t FlagsOf(const Point3 r[4]) {
  std::uint32_t flags = 0;
  if (r[3].x == 0.0f && r[3].y == 0.0f && r[3].z == 0.0f) flags |= kMatrixPosIdentity;
  if (r[0].y == 0.0f && r[0].z == 0.0f && r[1].x == 0.0f && r[1].z == 0.0f && r[2].x == 0.0f &&
      r[2].y == 0.0f && r[0].x > 0.0f && r[1].y > 0.0f && r[2].z > 0.0f) {
    flags |= kMatrixRotIdentity;
  }
  const float tol = 8 * FLT_EPSILON;
  if (std::fabs(Dot(r[0], r[0]) - 1.0f) <= tol && std::fabs(Dot(r[1], r[1]) - 1.0f) <= tol &&
      std::fabs(Dot(r[2], r[2]) - 1.0f) <= tol && Dot(CrossProd(r[0], r[1]), r[2]) > 0.0f) {
    flags |= kMatrixScaleIdentity;
  }
  return flags;
}

Point3 Row(const double m[3]) { return Point3(float(m[0]), float(m[1]), float(m[2])); }

Matrix3 FromBasis(const Basis& b, const Point3& trans = Point3()) {
  return Matrix3(Row(b.m[0]), Row(b.m[1]), Row(b.m[2]), trans);
}

// The rotation of q in row-vector form; q need not be unit length. A zero
// quaternion means no turn, a non-finite one gives non-finite entries.
Basis QuatBasis(const Quat& q) {
  const double x = q.x, y = q.y, z = q.z, w = q.w;
  const double n = x * x + y * y + z * z + w * w;
  const double s = n == 0.0 ? 0.0 : 2.0 / n;
  const double xx = s * x * x, yy = s * y * y, zz = s * z * z;
  const double xy = s * x * y, xz = s * x * z, yz = s * y * z;
  const double wx = s * w * x, wy = s * w * y, wz = s * w * z;
  return Basis{{{1.0 - (yy + zz), xy + wz, xz - wy},
                {xy - wz, 1.0 - (xx + zz), yz + wx},
                {xz + wy, yz - wx, 1.0 - (xx + yy)}}};
}

}  // namespace

Point3 Point3::Normalize() const {
  const double len = LengthD(*this);
  if (len == 0.0) return Point3();
  return Point3(float(x / len), float(y / len), float(z / len));
}

Point3 operator+(const Point3& a, const Point3& b) {
  return Point3(a.x + b.x, a.y + b.y, a.z + b.z);
}
Point3 operator-(const Point3& a, const Point3& b) {
  return Point3(a.x - b.x, a.y - b.y, a.z - b.z);
}
Point3 operator-(const Point3& a) { return Point3(-a.x, -a.y, -a.z); }
Point3 operator*(const Point3& a, float s) { return Point3(a.x * s, a.y * s, a.z * s); }
Point3 operator*(float s, const Point3& a) { return a * s; }
bool operator==(const Point3& a, const Point3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

float Length(const Point3& v) { return float(LengthD(v)); }
float DotProd(const Point3& a, const Point3& b) { return Dot(a, b); }
Point3 CrossProd(const Point3& a, const Point3& b) {
  return Point3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

Matrix3::Matrix3()
    : rows_{Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(0, 0, 0)},
      flags_(kMatrixIdentity) {}

Matrix3::Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3)
    : rows_{row0, row1, row2, row3}, flags_(FlagsOf(rows_)) {}

void Matrix3::SetRow(int i, const Point3& row) {
  rows_[i] = row;
  flags_ = FlagsOf(rows_);
}

void Matrix3::SetTrans(const Point3& t) { SetRow(3, t); }

Matrix3& Matrix3::Zero() {
  for (Point3& r : rows_) r = Point3();
  flags_ = kMatrixPosIdentity;
  return *this;
}

Matrix3& Matrix3::NoRot() {
  rows_[0] = Point3(1, 0, 0);
  rows_[1] = Point3(0, 1, 0);
  rows_[2] = Point3(0, 0, 1);
  flags_ |= kMatrixRotIdentity | kMatrixScaleIdentity;
  return *this;
}

Matrix3& Matrix3::NoTrans() {
  rows_[3] = Point3();
  flags_ |= kMatrixPosIdentity;
  return *this;
}

Matrix3& Matrix3::NoScale() {
  for (int i = 0; i < 3; ++i) rows_[i] = rows_[i].Normalize();
  flags_ = FlagsOf(rows_);
  return *this;
}

Matrix3 Matrix3::operator*(const Matrix3& b) const {
  return Matrix3(VectorTransform(b, rows_[0]), VectorTransform(b, rows_[1]),
                 VectorTransform(b, rows_[2]), rows_[3] * b);
}

Matrix3 Inverse(const Matrix3& m) {
  double a[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) a[i][j] = m.GetRow(i)[j];
  }
  // Transposed cofactors: inv = adj / det.
  double adj[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      adj[i][j] = a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0];
    }
  }
  const double det = a[0][0] * adj[0][0] + a[0][1] * adj[1][0] + a[0][2] * adj[2][0];
  if (det == 0.0 || !std::isfinite(det)) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Point3 bad(nan, nan, nan);
    return Matrix3(bad, bad, bad, bad);
  }
  Basis inv;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) inv.m[i][j] = adj[i][j] / det;
  }
  const Point3& t = m.GetTrans();
  double rt[3];
  for (int j = 0; j < 3; ++j) rt[j] = -(t.x * inv.m[0][j] + t.y * inv.m[1][j] + t.z * inv.m[2][j]);
  return FromBasis(inv, Row(rt));
}

Point3 operator*(const Point3& p, const Matrix3& m) {
  const Point3 &r0 = m.GetRow(0), &r1 = m.GetRow(1), &r2 = m.GetRow(2), &t = m.GetTrans();
  return Point3(p.x * r0.x + p.y * r1.x + p.z * r2.x + t.x,
                p.x * r0.y + p.y * r1.y + p.z * r2.y + t.y,
                p.x * r0.z + p.y * r1.z + p.z * r2.z + t.z);
}

Point3 VectorTransform(const Matrix3& m, const Point3& v) {
  const Point3 &r0 = m.GetRow(0), &r1 = m.GetRow(1), &r2 = m.GetRow(2);
  return Point3(v.x * r0.x + v.y * r1.x + v.z * r2.x, v.x * r0.y + v.y * r1.y + v.z * r2.y,
                v.x * r0.z + v.y * r1.z + v.z * r2.z);
}

Matrix3 RotateXMatrix(float angle) {
  const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
  return Matrix3(Point3(1, 0, 0), Point3(0, c, s), Point3(0, -s, c), Point3());
}

Matrix3 RotateYMatrix(float angle) {
  const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
  return Matrix3(Point3(c, 0, -s), Point3(0, 1, 0), Point3(s, 0, c), Point3());
}

Matrix3 RotateZMatrix(float angle) {
  const float c = float(std::cos(double(angle))), s = float(std::sin(double(angle)));
  return Matrix3(Point3(c, s, 0), Point3(-s, c, 0), Point3(0, 0, 1), Point3());
}

Matrix3 ScaleMatrix(const Point3& s) {
  return Matrix3(Point3(s.x, 0, 0), Point3(0, s.y, 0), Point3(0, 0, s.z), Point3());
}

Matrix3 TransMatrix(const Point3& t) {
  return Matrix3(Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), t);
}

Matrix3 QuatToMatrix(const Quat& q) { return FromBasis(QuatBasis(q)); }

Quat MatrixToQuat(const Matrix3& rotation) {
  double m[3][3];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) m[i][j] = rotation.GetRow(i)[j];
  }
  // Shepperd: divide by the largest of the four candidates so that no
  // rotation, half-turns included, loses precision.
  const double trace = m[0][0] + m[1][1] + m[2][2];
  double x, y, z, w;
  if (trace >= m[0][0] && trace >= m[1][1] && trace >= m[2][2]) {
    w = 0.5 * std::sqrt(std::fmax(1.0 + trace, 0.0));
    const double r = w > 0.0 ? 0.25 / w : 0.0;
    x = (m[1][2] - m[2][1]) * r;
    y = (m[2][0] - m[0][2]) * r;
    z = (m[0][1] - m[1][0]) * r;
  } else if (m[0][0] >= m[1][1] && m[0][0] >= m[2][2]) {
    x = 0.5 * std::sqrt(std::fmax(1.0 + m[0][0] - m[1][1] - m[2][2], 0.0));
    const double r = x > 0.0 ? 0.25 / x : 0.0;
    w = (m[1][2] - m[2][1]) * r;
    y = (m[0][1] + m[1][0]) * r;
    z = (m[0][2] + m[2][0]) * r;
  } else if (m[1][1] >= m[2][2]) {
    y = 0.5 * std::sqrt(std::fmax(1.0 - m[0][0] + m[1][1] - m[2][2], 0.0));
    const double r = y > 0.0 ? 0.25 / y : 0.0;
    w = (m[2][0] - m[0][2]) * r;
    x = (m[0][1] + m[1][0]) * r;
    z = (m[1][2] + m[2][1]) * r;
  } else {
    z = 0.5 * std::sqrt(std::fmax(1.0 - m[0][0] - m[1][1] + m[2][2], 0.0));
    const double r = z > 0.0 ? 0.25 / z : 0.0;
    w = (m[0][1] - m[1][0]) * r;
    x = (m[0][2] + m[2][0]) * r;
    y = (m[1][2] + m[2][1]) * r;
  }
  // One sign for every rotation keeps results comparable.
  double n = std::sqrt(x * x + y * y + z * z + w * w);
  if (!(n > 0.0)) return std::isnan(n) ? Quat(x, y, z, w) : Quat();
  if (w < 0.0) n = -n;
  return Quat(float(x / n), float(y / n), float(z / n), float(w / n));
}

Quat Slerp(const Quat& a, const Quat& b, float t) {
  double cosom = double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z + double(a.w) * b.w;
  double sign = 1.0;
  if (cosom < 0.0) {
    cosom = -cosom;
    sign = -1.0;
  }
  double wa = 1.0 - t, wb = t;
  // Close to parallel sin(omega) vanishes; the chord is then as good as the arc.
  if (cosom < 0.9995) {
    const double omega = std::acos(cosom);
    const double sinom = std::sin(omega);
    wa = std::sin((1.0 - t) * omega) / sinom;
    wb = std::sin(t * omega) / sinom;
  }
  wb *= sign;
  const double x = wa * a.x + wb * b.x, y = wa * a.y + wb * b.y;
  const double z = wa * a.z + wb * b.z, w = wa * a.w + wb * b.w;
  const double n = std::sqrt(x * x + y * y + z * z + w * w);
  if (!(n > 0.0)) return Quat(float(x), float(y), float(z), float(w));
  return Quat(float(x / n), float(y / n), float(z / n), float(w / n));
}

void QuatToEuler(const Quat& q, float* angles) {
  // M = Rx(a) * Ry(b) * Rz(c) has first row (cb*cc, cb*sc, -sb); rows 1 and 2,
  // rotated back by c, give (ca, sa) whatever b is, so a stays exact near the pole.
  const Basis r = QuatBasis(q);
  const double(*m)[3] = r.m;
  const double cb = std::hypot(m[0][0], m[0][1]);
  const double b = std::atan2(-m[0][2], cb);
  // Below this, the first row carries no usable z angle; it is float noise.
  const double c = cb < 1e-6 ? 0.0 : std::atan2(m[0][1], m[0][0]);
  const double sc = std::sin(c), cc = std::cos(c);
  const double a = std::atan2(sc * m[2][0] - cc * m[2][1], cc * m[1][1] - sc * m[1][0]);
  angles[0] = float(a);
  angles[1] = float(b);
  angles[2] = float(c);
}

Quat EulerToQuat(const float* angles) {
  // qz * qy * qx: x is applied first.
  const double hx = 0.5 * angles[0], hy = 0.5 * angles[1], hz = 0.5 * angles[2];
  const double sx = std::sin(hx), cx = std::cos(hx);
  const double sy = std::sin(hy), cy = std::cos(hy);
  const double sz = std::sin(hz), cz = std::cos(hz);
  return Quat(float(sx * cy * cz - cx * sy * sz), float(cx * sy * cz + sx * cy * sz),
              float(cx * cy * sz - sx * sy * cz), float(cx * cy * cz + sx * sy * sz));
}
