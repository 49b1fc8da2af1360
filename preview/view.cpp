#include "preview/view.h"

#include <algorithm>
#include <cmath>

namespace kw::preview {
namespace {

// Share of the panel's half-size the fitted box may fill.
constexpr double kFill = 0.84;
// Half the perspective camera's field of view, and its height above the horizon.
constexpr double kHalfAngle = 0.35;
constexpr double kElevation = 0.44;

bool Finite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

double Dot(const Point3& a, const Point3& b) {
  return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

void Corners(const Box& box, Point3* corners) {
  for (int i = 0; i < 8; ++i) {
    corners[i] = Point3((i & 1) ? box.max.x : box.min.x, (i & 2) ? box.max.y : box.min.y,
                        (i & 4) ? box.max.z : box.min.z);
  }
}

}  // namespace

void Box::Add(const Point3& p) {
  if (!Finite(p)) return;
  if (empty) {
    min = max = p;
    empty = false;
    return;
  }
  for (int i = 0; i < 3; ++i) {
    min[i] = std::min(min[i], p[i]);
    max[i] = std::max(max[i], p[i]);
  }
}

Point3 Box::Center() const {
  if (empty) return Point3();
  // Halves first: the sum of two huge coordinates would overflow.
  return Point3(min.x * 0.5f + max.x * 0.5f, min.y * 0.5f + max.y * 0.5f,
                min.z * 0.5f + max.z * 0.5f);
}

Point3 Box::Size() const { return empty ? Point3() : max - min; }

View::View(ViewKind kind, const Box& box, double width, double height, double pixelsPerUnit)
    : kind_(kind) {
  switch (kind) {
    case ViewKind::kFront:
      right_ = Point3(1, 0, 0), up_ = Point3(0, 0, 1), toward_ = Point3(0, -1, 0);
      break;
    case ViewKind::kSide:
      right_ = Point3(0, 1, 0), up_ = Point3(0, 0, 1), toward_ = Point3(1, 0, 0);
      break;
    case ViewKind::kTop:
      right_ = Point3(1, 0, 0), up_ = Point3(0, 1, 0), toward_ = Point3(0, 0, 1);
      break;
    case ViewKind::kPerspective: {
      const float across = static_cast<float>(std::cos(kElevation) * std::sqrt(0.5));
      toward_ = Point3(across, -across, static_cast<float>(std::sin(kElevation)));
      right_ = CrossProd(Point3(0, 0, 1), toward_).Normalize();
      up_ = CrossProd(toward_, right_).Normalize();
      break;
    }
  }
  centerX_ = width / 2;
  centerY_ = height / 2;
  const Point3 center = box.Center();
  Point3 corners[8];
  Corners(box, corners);

  if (kind != ViewKind::kPerspective) {
    eye_ = center;
    scale_ = pixelsPerUnit > 0 ? pixelsPerUnit : FitScale(kind, box, width, height);
    if (!std::isfinite(scale_) || scale_ <= 0) scale_ = 1;
    unitPixels_ = scale_;
    return;
  }

  double radius = Length(box.Size()) / 2.0;
  if (!(radius > 0) || !std::isfinite(radius)) radius = 1;
  const double distance = radius / std::sin(kHalfAngle);
  eye_ = center + toward_ * static_cast<float>(distance);
  // The box's corners, as seen, centred and fitted to the panel.
  double minX = HUGE_VAL, maxX = -HUGE_VAL, minY = HUGE_VAL, maxY = -HUGE_VAL;
  for (const Point3& c : corners) {
    const Point3 d = c - eye_;
    const double z = -Dot(d, toward_);
    const double x = Dot(d, right_) / z;
    const double y = Dot(d, up_) / z;
    minX = std::min(minX, x), maxX = std::max(maxX, x);
    minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  const double fitX = maxX > minX ? 2 * kFill * centerX_ / (maxX - minX) : HUGE_VAL;
  const double fitY = maxY > minY ? 2 * kFill * centerY_ / (maxY - minY) : HUGE_VAL;
  double focal = std::min(fitX, fitY);
  if (!std::isfinite(focal) || focal <= 0) focal = centerY_ / std::tan(kHalfAngle);
  scale_ = focal;
  unitPixels_ = focal / distance;
  centerX_ -= focal * (minX + maxX) / 2;
  centerY_ += focal * (minY + maxY) / 2;
}

double View::FitScale(ViewKind kind, const Box& box, double width, double height) {
  const View axes(kind, Box(), 1, 1, 1);
  const Point3 center = box.Center();
  Point3 corners[8];
  Corners(box, corners);
  double halfX = 0, halfY = 0;
  for (const Point3& c : corners) {
    halfX = std::max(halfX, std::fabs(Dot(c - center, axes.right_)));
    halfY = std::max(halfY, std::fabs(Dot(c - center, axes.up_)));
  }
  const double fitX = halfX > 0 ? kFill * width / 2 / halfX : HUGE_VAL;
  const double fitY = halfY > 0 ? kFill * height / 2 / halfY : HUGE_VAL;
  return std::min(fitX, fitY);
}

Point3 View::ToEye(const Point3& direction) const {
  return Point3(static_cast<float>(Dot(direction, right_)), static_cast<float>(Dot(direction, up_)),
                static_cast<float>(Dot(direction, toward_)));
}

bool View::Project(const Point3& p, ScreenPoint* out) const {
  const Point3 d = p - eye_;
  const double x = Dot(d, right_);
  const double y = Dot(d, up_);
  const double z = Dot(d, toward_);
  double sx, sy, depth;
  if (kind_ == ViewKind::kPerspective) {
    if (!(z < 0)) return false;
    sx = centerX_ + scale_ * x / -z;
    sy = centerY_ - scale_ * y / -z;
    depth = 1 / z;
  } else {
    sx = centerX_ + scale_ * x;
    sy = centerY_ - scale_ * y;
    depth = -z;
  }
  out->x = static_cast<float>(sx);
  out->y = static_cast<float>(sy);
  out->depth = static_cast<float>(depth);
  return std::isfinite(out->x) && std::isfinite(out->y) && std::isfinite(out->depth);
}

}  // namespace kw::preview
