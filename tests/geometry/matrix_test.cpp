#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <random>

#include "geometry/geometry.h"

namespace {

const float kHalfPi = 1.57079632679f;

void ExpectNear(const Point3& a, const Point3& b, float tol) {
  EXPECT_LT(Length(a - b), tol) << a.x << " " << a.y << " " << a.z;
}

Matrix3 RandomAffine(std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-3.0f, 3.0f);
  for (;;) {
    Matrix3 m(Point3(d(rng), d(rng), d(rng)), Point3(d(rng), d(rng), d(rng)),
              Point3(d(rng), d(rng), d(rng)), Point3(d(rng), d(rng), d(rng)));
    if (std::fabs(DotProd(CrossProd(m.GetRow(0), m.GetRow(1)), m.GetRow(2))) > 0.5f) return m;
  }
}

TEST(Vectors, NormalizeKeepsZeroAndSurvivesHugeComponents) {
  EXPECT_EQ(Point3().Normalize(), Point3());
  EXPECT_EQ(Length(Point3(3e30f, 4e30f, 12e30f)), 13e30f);  // squares overflow a float
  ExpectNear(Point3(3e30f, -4e30f, 0).Normalize(), Point3(0.6f, -0.8f, 0), 1e-7f);
}

TEST(Transforms, RotateCounterClockwiseAndApplyTheLeftOperandFirst) {
  ExpectNear(Point3(1, 0, 0) * RotateZMatrix(kHalfPi), Point3(0, 1, 0), 1e-7f);
  ExpectNear(Point3(0, 1, 0) * RotateZMatrix(kHalfPi), Point3(-1, 0, 0), 1e-7f);
  ExpectNear(Point3(0, 1, 0) * RotateXMatrix(kHalfPi), Point3(0, 0, 1), 1e-7f);
  ExpectNear(Point3(0, 0, 1) * RotateYMatrix(kHalfPi), Point3(1, 0, 0), 1e-7f);
  EXPECT_EQ(Point3(1, 2, 3) * ScaleMatrix(Point3(2, -1, 0.5f)), Point3(2, -2, 1.5f));
  const Matrix3 move = TransMatrix(Point3(1, 0, 0)), turn = RotateZMatrix(kHalfPi);
  ExpectNear(Point3() * (move * turn), Point3(0, 1, 0), 1e-7f);
  ExpectNear(Point3() * (turn * move), Point3(1, 0, 0), 1e-7f);
  ExpectNear(VectorTransform(move * turn, Point3(1, 0, 0)), Point3(0, 1, 0), 1e-7f);
}

TEST(Inverse, UndoesAffineTransformsAndGivesNonFiniteEntriesWhenSingular) {
  std::mt19937 rng(7);
  for (int n = 0; n < 1000; ++n) {
    const Matrix3 m = RandomAffine(rng);
    for (const Matrix3& p : {Inverse(m) * m, m * Inverse(m)}) {
      for (int i = 0; i < 4; ++i) ExpectNear(p.GetRow(i), Matrix3().GetRow(i), 3e-5f);
    }
  }
  Matrix3 zero;
  feenableexcept(FE_DIVBYZERO);  // no division by zero on the way
  for (const Matrix3& m :
       {zero.Zero(), Matrix3(Point3(1, 2, 3), Point3(2, 4, 6), Point3(0, 0, 1), Point3(5, 5, 5))}) {
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(std::isfinite(Inverse(m).GetRow(i).x));
  }
  fedisableexcept(FE_DIVBYZERO);
}

TEST(NoScale, MakesRowsUnitKeepingDirectionsAndTranslation) {
  std::mt19937 rng(11);
  for (int n = 0; n < 200; ++n) {
    const Matrix3 m = RandomAffine(rng);
    Matrix3 s = m;
    s.NoScale();
    for (int i = 0; i < 3; ++i)
      ExpectNear(s.GetRow(i), m.GetRow(i) * (1 / Length(m.GetRow(i))), 1e-6f);
    EXPECT_EQ(s.GetTrans(), m.GetTrans());
  }
  Matrix3 withZeroRow(Point3(2, 0, 0), Point3(), Point3(0, 0, 3), Point3());
  EXPECT_EQ(withZeroRow.NoScale().GetRow(1), Point3());
}

TEST(Matrix3Flags, FollowWhatTheEntriesAre) {
  Matrix3 m;
  EXPECT_EQ(m.GetFlags(), kMatrixIdentity);
  EXPECT_EQ(m.Zero().GetFlags(), kMatrixPosIdentity);
  EXPECT_EQ(m.NoRot().GetFlags(), kMatrixIdentity);
  m.SetTrans(Point3(1, 2, 3));
  EXPECT_EQ(m.GetFlags(), kMatrixRotIdentity | kMatrixScaleIdentity);
  EXPECT_EQ(m.NoTrans().GetFlags(), kMatrixIdentity);
  m = ScaleMatrix(Point3(2, 3, 4)) * RotateXMatrix(0.5f) * TransMatrix(Point3(1, 0, 0));
  EXPECT_EQ(m.GetFlags(), 0u);
  EXPECT_EQ(m.NoScale().GetFlags(), kMatrixScaleIdentity);
  EXPECT_EQ(ScaleMatrix(Point3(1, 1, -1)).GetFlags(), kMatrixPosIdentity);  // a mirror is a scale
}

}  // namespace
