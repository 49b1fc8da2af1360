#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "geometry/geometry.h"

namespace {

const float kPi = 3.14159265359f;
const float kHalfPi = 1.57079632679f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

float MaxDiff(const Matrix3& a, const Matrix3& b) {
  float d = 0.0f;
  for (int i = 0; i < 12; ++i)
    d = std::fmax(d, std::fabs(a.GetRow(i / 3)[i % 3] - b.GetRow(i / 3)[i % 3]));
  return d;
}

float Det(const Matrix3& m) { return DotProd(CrossProd(m.GetRow(0), m.GetRow(1)), m.GetRow(2)); }
float Norm2(const Quat& q) { return q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w; }
Matrix3 EulerMatrix(const float* a) {
  return RotateXMatrix(a[0]) * RotateYMatrix(a[1]) * RotateZMatrix(a[2]);
}

Quat AxisAngle(const Point3& axis, float angle) {
  const Point3 v = axis.Normalize() * std::sin(angle / 2);
  return Quat(v.x, v.y, v.z, std::cos(angle / 2));
}

Quat RandomQuat(std::mt19937& rng) {
  std::normal_distribution<float> d;
  return Quat(d(rng), d(rng), d(rng), d(rng));
}

// The matrix back within 1e-5 of its size, unit quaternions, a proper
// rotation, non-negative stretch and the determinant's sign.
AffineParts ExpectSoundDecomposition(const Matrix3& m) {
  AffineParts p;
  decomp_affine(m, &p);
  const Matrix3 u = QuatToMatrix(p.u), r = QuatToMatrix(p.q);
  const Matrix3 q(r.GetRow(0) * p.f, r.GetRow(1) * p.f, r.GetRow(2) * p.f, Point3());
  const Matrix3 back = Inverse(u) * ScaleMatrix(p.k) * u * q * TransMatrix(p.t);
  Matrix3 zero;
  EXPECT_LE(MaxDiff(back, m), 1e-5f * MaxDiff(m, zero.Zero()));
  EXPECT_TRUE(std::fabs(Norm2(p.q) - 1) < 1e-6f && std::fabs(Norm2(p.u) - 1) < 1e-6f);
  EXPECT_NEAR(Det(r), 1.0f, 1e-5f);
  EXPECT_EQ(p.f, Det(m) < 0 ? -1.0f : 1.0f);
  EXPECT_TRUE(p.k.x >= 0 && p.k.y >= 0 && p.k.z >= 0);
  // The rotation alone comes to the very same bits.
  const Quat alone = EssentialRotation(m);
  EXPECT_EQ(std::memcmp(&alone, &p.q, sizeof alone), 0);
  return p;
}

TEST(Quat, MatrixRoundTripHoldsForEveryRotationHalfTurnsIncluded) {
  std::mt19937 rng(3);
  for (int n = 0; n < 2000; ++n) {
    const Quat q = RandomQuat(rng);
    const Matrix3 r = QuatToMatrix(n % 2 ? q : AxisAngle(Point3(q.x, q.y, q.z), kPi));
    EXPECT_NEAR(Norm2(MatrixToQuat(r)), 1.0f, 1e-6f);
    EXPECT_LT(MaxDiff(QuatToMatrix(MatrixToQuat(r)), r), 2e-6f);
  }
}

TEST(Euler, RoundTripsThroughMatrixAtAndNearTheGimbalPole) {
  const Point3 axes[3] = {Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1)};
  float out[3];
  for (int i = 0; i < 3; ++i) {
    QuatToEuler(AxisAngle(axes[i], kHalfPi), out);  // a quarter turn is that angle alone
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(out[j], i == j ? kHalfPi : 0.0f, 1e-6f) << i << j;
  }
  std::mt19937 rng(9);
  std::uniform_real_distribution<float> d(-kPi, kPi);
  for (float pitch :
       {kNaN, kHalfPi, -kHalfPi, kHalfPi - 1e-3f, -kHalfPi + 1e-5f, kHalfPi - 3e-7f}) {
    for (int n = 0; n < 1000; ++n) {
      const float in[3] = {d(rng), std::isnan(pitch) ? d(rng) / 2 : pitch,
                           d(rng)};  // NaN: any pitch
      const Matrix3 m = EulerMatrix(in);
      QuatToEuler(MatrixToQuat(m), out);
      EXPECT_LT(MaxDiff(EulerMatrix(out), m), 1e-5f) << pitch;
      EXPECT_LT(MaxDiff(QuatToMatrix(EulerToQuat(in)), m), 2e-6f);
      if (std::fabs(pitch) == kHalfPi) {
        EXPECT_TRUE(out[2] == 0.0f && std::fabs(out[1] - pitch) < 1e-6f);
      }
    }
  }
  QuatToEuler(Quat(kNaN, 0, 0, 1), out);
  EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]) && std::isnan(out[2]));
}

TEST(Slerp, FollowsTheShorterArc) {
  const Quat a = AxisAngle(Point3(0, 0, 1), 0.2f), b = AxisAngle(Point3(0, 0, 1), 1.8f);
  EXPECT_LT(MaxDiff(QuatToMatrix(Slerp(a, b, 0.25f)), RotateZMatrix(0.6f)), 1e-6f);
  EXPECT_LT(
      MaxDiff(QuatToMatrix(Slerp(a, Quat(-b.x, -b.y, -b.z, -b.w), 0.5f)), RotateZMatrix(1.0f)),
      1e-6f);
  const Quat near = Slerp(a, AxisAngle(Point3(0, 0, 1), 0.2001f), 0.5f);
  EXPECT_TRUE(std::fabs(Norm2(near) - 1) < 1e-6f &&
              MaxDiff(QuatToMatrix(near), RotateZMatrix(0.20005f)) < 1e-6f);
}

TEST(DecompAffine, RecomposesRandomStretchedMirroredTransforms) {
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> logScale(-3.0f, 3.0f), move(-100.0f, 100.0f);
  const Point3 mirrors[] = {Point3(1, 1, 1), Point3(-1, 1, 1), Point3(1, -1, 1),
                            Point3(-1, -1, -1)};
  for (int n = 0; n < 6000; ++n) {
    const int kind = n / 4 % 3;  // axis-aligned, turned frame, uniform
    const float s0 = std::exp(logScale(rng));
    const Point3 s = kind == 2 ? Point3(s0, s0, s0)
                               : Point3(s0, std::exp(logScale(rng)), std::exp(logScale(rng)));
    const Matrix3 frame = QuatToMatrix(RandomQuat(rng)),
                  mirrored = ScaleMatrix(s) * ScaleMatrix(mirrors[n % 4]);
    const Matrix3 stretch = kind == 1 ? Inverse(frame) * mirrored * frame : mirrored;
    const AffineParts p =
        ExpectSoundDecomposition(stretch * QuatToMatrix(RandomQuat(rng)) *
                                 TransMatrix(Point3(move(rng), move(rng), move(rng))));
    // Some listing of the stretch axes always lies within 63 degrees of the identity.
    EXPECT_GE(std::fabs(p.u.w), kind == 1 ? 0.85f : 0.999999f);
    EXPECT_TRUE(kind == 1 || Length(p.k - s) < 1e-5f * Length(s)) << n;
  }
}

TEST(DecompAffine, SplitsKnownScaleRotationAndMirror) {
  AffineParts p = ExpectSoundDecomposition(ScaleMatrix(Point3(2, 3, 4)) * RotateZMatrix(0.5f) *
                                           TransMatrix(Point3(1, 2, 3)));
  EXPECT_EQ(p.t, Point3(1, 2, 3));
  EXPECT_LT(Length(p.k - Point3(2, 3, 4)), 1e-6f);
  EXPECT_TRUE(std::fabs(p.q.z - std::sin(0.25f)) < 1e-6f &&
              std::fabs(p.q.w - std::cos(0.25f)) < 1e-6f);
  // Mirroring x is a half-turn about x with all axes mirrored.
  p = ExpectSoundDecomposition(ScaleMatrix(Point3(-1, 1, 1)));
  EXPECT_NEAR(std::fabs(p.q.x), 1, 1e-6f);
  EXPECT_EQ(p.k, Point3(1, 1, 1));
}

TEST(DecompAffine, FlattenedMatricesStillGiveAProperRotationWithoutDividingByZero) {
  std::mt19937 rng(4);
  feenableexcept(FE_DIVBYZERO);
  for (int n = 0; n < 300; ++n) {
    Matrix3 m = QuatToMatrix(RandomQuat(rng)) * TransMatrix(Point3(1, 2, 3));
    m.SetRow(n % 3, m.GetRow(n % 3) * (n % 2 ? 0.0f : 1e-20f));
    if (n % 5 == 0) m.SetRow((n + 1) % 3, Point3());
    if (n == 0) m.Zero();
    ExpectSoundDecomposition(m);
  }
  fedisableexcept(FE_DIVBYZERO);
  AffineParts p;
  decomp_affine(Matrix3(Point3(kNaN, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3()), &p);
  EXPECT_TRUE(std::isnan(p.q.w));
}

}  // namespace
