// Helpers shared by the scene tests: an error callback that records what a
// scene raised, and matrix comparison.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scene/scene_host.h"

namespace kw::test {

class RecordedErrors : public IGameErrorCallBack {
 public:
  explicit RecordedErrors(kw::SceneHost& host) : host_(host) { host_.SetErrorCallBack(this); }
  ~RecordedErrors() override { host_.SetErrorCallBack(nullptr); }
  RecordedErrors(const RecordedErrors&) = delete;
  RecordedErrors& operator=(const RecordedErrors&) = delete;

  void ErrorProc(int errorCode) override {
    codes.push_back(errorCode);
    texts.emplace_back(host_.GetLastErrorText());
  }

  std::vector<int> codes;
  std::vector<std::string> texts;

 private:
  kw::SceneHost& host_;
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
