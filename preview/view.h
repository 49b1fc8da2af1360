// The four views of a preview, Z up: front (looking along +Y), side (from +X,
// looking along -X), top (looking down -Z) and a three-quarter perspective
// from the front, right and above. Each is fitted to a box and a panel.
#pragma once

#include "geometry/geometry.h"

namespace kw::preview {

enum class ViewKind { kFront, kSide, kTop, kPerspective };

// Bounds of finite points; empty until the first one is added.
struct Box {
  Point3 min;
  Point3 max;
  bool empty = true;

  void Add(const Point3& p);
  Point3 Center() const;
  Point3 Size() const;
};

// A point on the panel: x to the right and y down in pixels from the panel's
// top-left corner; depth grows away from the viewer and varies linearly
// across a projected triangle (1/z in perspective), so it can be
// interpolated on the screen.
struct ScreenPoint {
  float x = 0;
  float y = 0;
  float depth = 0;
};

class View {
 public:
  // Fits the box to a width x height panel with a margin all round; a box
  // that is flat or a point still gets a finite scale. An orthographic view
  // given pixelsPerUnit takes that scale instead, so that the three can
  // share the smallest of their own.
  View(ViewKind kind, const Box& box, double width, double height, double pixelsPerUnit = 0);
  // The scale an orthographic view would fit the box with; infinite when the
  // box has no extent across the view.
  static double FitScale(ViewKind kind, const Box& box, double width, double height);

  ViewKind Kind() const { return kind_; }
  // False for points behind the camera or not finite.
  bool Project(const Point3& p, ScreenPoint* out) const;
  // A direction turned into the view's axes: x right, y up, z towards the viewer.
  Point3 ToEye(const Point3& direction) const;
  // Pixels per scene unit at the box's centre (exact for the orthographic views).
  double PixelsPerUnit() const { return unitPixels_; }
  // The scene axes shown across and up the panel, for the orthographic views.
  const Point3& Right() const { return right_; }
  const Point3& Up() const { return up_; }

 private:
  ViewKind kind_;
  Point3 right_, up_, toward_;  // unit axes of the eye, in scene coordinates
  Point3 eye_;                  // the camera (perspective) or the box's centre (orthographic)
  double scale_ = 1;            // pixels per unit, or the focal length in pixels
  double unitPixels_ = 1;
  double centerX_ = 0, centerY_ = 0;
};

}  // namespace kw::preview
