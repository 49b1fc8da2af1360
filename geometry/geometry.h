// The geometry types and operations the exporter does its vector and matrix
// work with. Single precision throughout, as a modelling package keeps it.
//
// Matrix3 uses the row-vector convention: a point p maps to p * M, rows 0..2
// are the images of the x, y and z axes and row 3 is the translation, so the
// product A * B applies A first.
#pragma once

#include <cstdint>

struct Point3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  Point3() = default;
  constexpr Point3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

  float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  // Unit-length copy; the zero vector stays zero.
  Point3 Normalize() const;
};

Point3 operator+(const Point3& a, const Point3& b);
Point3 operator-(const Point3& a, const Point3& b);
Point3 operator-(const Point3& a);
Point3 operator*(const Point3& a, float s);
Point3 operator*(float s, const Point3& a);
bool operator==(const Point3& a, const Point3& b);

float Length(const Point3& v);
float DotProd(const Point3& a, const Point3& b);
Point3 CrossProd(const Point3& a, const Point3& b);

// (axis * sin(a/2), cos(a/2)) turns by a about axis, counter-clockwise like
// Rotate*Matrix(a).
struct Quat {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;  // identity by default

  Quat() = default;
  constexpr Quat(float ax, float ay, float az, float aw) : x(ax), y(ay), z(az), w(aw) {}
};

// Bits of Matrix3::flags telling which parts are known to be identity. They
// are bookkeeping only; every operation works on the full rows.
enum Matrix3Flags : std::uint32_t {
  kMatrixPosIdentity = 1u << 0,
  kMatrixRotIdentity = 1u << 1,
  kMatrixScaleIdentity = 1u << 2,
  kMatrixIdentity = kMatrixPosIdentity | kMatrixRotIdentity | kMatrixScaleIdentity,
};

class Matrix3 {
 public:
  // The identity transform.
  Matrix3();
  Matrix3(const Point3& row0, const Point3& row1, const Point3& row2, const Point3& row3);

  const Point3& GetRow(int i) const { return rows_[i]; }
  void SetRow(int i, const Point3& row);
  const Point3& GetTrans() const { return rows_[3]; }
  void SetTrans(const Point3& t);
  std::uint32_t GetFlags() const { return flags_; }

  // All twelve entries 0.
  Matrix3& Zero();
  // Rows 0..2 become the identity axes.
  Matrix3& NoRot();
  // Row 3 becomes 0.
  Matrix3& NoTrans();
  // Rows 0..2 become unit length, keeping their directions (a zero row stays zero).
  Matrix3& NoScale();

  // Composition: *this applied first, then b.
  Matrix3 operator*(const Matrix3& b) const;

 private:
  Point3 rows_[4];
  std::uint32_t flags_;
};

// Inverse affine transform. A singular matrix gives a matrix of non-finite
// numbers rather than a made-up answer.
Matrix3 Inverse(const Matrix3& m);
// p * m, translation included.
Point3 operator*(const Point3& p, const Matrix3& m);
// v times rows 0..2, without translation.
Point3 VectorTransform(const Matrix3& m, const Point3& v);

// Rotation matrices of the SMD convention: a positive angle turns
// counter-clockwise about the axis (right-handed), in row-vector form.
Matrix3 RotateXMatrix(float angle);
Matrix3 RotateYMatrix(float angle);
Matrix3 RotateZMatrix(float angle);
Matrix3 ScaleMatrix(const Point3& s);
Matrix3 TransMatrix(const Point3& t);

// Rotation matrix of a unit quaternion, and back. QuatToMatrix(MatrixToQuat(r))
// gives r for every proper rotation r.
Matrix3 QuatToMatrix(const Quat& q);
Quat MatrixToQuat(const Matrix3& rotation);
// Spherical interpolation along the shorter arc; t in [0, 1].
Quat Slerp(const Quat& a, const Quat& b, float t);

// Decomposition of an affine matrix M (Shoemake, "Polar Matrix Decomposition",
// Graphics Gems IV): M = K * Q * T where, in row-vector form,
//   K = stretch in the frame of u:  U^-1 * Scale(k) * U   with U = QuatToMatrix(u),
//   Q = QuatToMatrix(q) times f (f = -1 when det M < 0, mirroring all axes),
//   T = translation t.
struct AffineParts {
  Point3 t;     // translation
  Quat q;       // essential rotation
  Quat u;       // stretch rotation
  Point3 k;     // stretch factors
  float f = 1;  // sign of the determinant
};

void decomp_affine(const Matrix3& m, AffineParts* parts);
// decomp_affine(m).q, the same bits, without the stretch: a pose needs only
// the rotation, and the stretch costs as much again.
Quat EssentialRotation(const Matrix3& m);

// Angles in radians about x, y and z such that
//   RotateXMatrix(a[0]) * RotateYMatrix(a[1]) * RotateZMatrix(a[2]) == QuatToMatrix(q),
// which is how an SMD consumer rebuilds a bone's rotation. At the gimbal pole
// (a[1] = +-pi/2) the z angle is 0 and x carries the whole remaining turn.
void QuatToEuler(const Quat& q, float* angles);
// The inverse: the quaternion of RotateX(a[0]) * RotateY(a[1]) * RotateZ(a[2]).
Quat EulerToQuat(const float* angles);
