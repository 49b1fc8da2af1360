// Helpers shared by the scene tests: an error callback that records what the
// scene-access library raised, and matrix comparison.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/scene_host.h"

namespace kw::test {

class RecordedErrors : public IGameErrorCallBack {
 public:
  RecordedErrors() { SetErrorCallBack(this); }
  ~RecordedErrors() override { SetErrorCallBack(nullptr); }

  void ErrorProc(int errorCode) override {
    codes.push_back(errorCode);
    texts.emplace_back(GetLastIGameErrorText());
  }

  std::vector<int> codes;
  std::vector<std::string> texts;
};

inline void ExpectPointNear(const Point3& actual, const Point3& expected, float tolerance = 1e-5f) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

inline void ExpectMatrixNear(const Matrix3& actual, const Matrix3& expected,
                             float tolerance = 1e-5f) {
  for (int row = 0; row < 4; ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    ExpectPointNear(actual.GetRow(row), expected.GetRow(row), tolerance);
  }
}

}  // namespace kw::test
