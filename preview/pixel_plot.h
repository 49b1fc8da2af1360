// Drawing straight on a panel's pixels, without smoothing, for a skeleton
// too big for cairo: its paths cost far more per segment, and more again
// where segments cross. A line costs its length in pixels, a dot a fixed
// stamp, and each pass over a panel (halos, bones, dots) at most its budget
// of pixels; a panel covered that many times over shows nothing more.
#pragma once

#include <cstdint>

#include "preview/layout.h"

namespace kw::preview {

class PixelPlot {
 public:
  // The panel's pixels in a 32-bit xRGB image (cairo's layout).
  PixelPlot(unsigned char* pixels, int stride, const Rect& panel, long long budget);

  // A line from (x0, y0) to (x1, y1) in panel pixels, width pixels wide,
  // blended over what is there; the parts outside the panel are left out.
  void Line(double x0, double y0, double x1, double y1, int width, std::uint32_t rgb, double alpha);
  // A joint's dot, 7 pixels across, filled and ringed.
  void Dot(double x, double y, std::uint32_t fill, std::uint32_t ring);
  // True once the budget is spent; later calls draw nothing until the next pass.
  bool Spent() const { return plotted_ >= budget_; }
  void NextPass() { plotted_ = 0; }

 private:
  void Blend(int x, int y, std::uint32_t rgb, double alpha);

  unsigned char* pixels_;
  int stride_;
  Rect panel_;
  long long budget_;
  long long plotted_ = 0;
};

}  // namespace kw::preview
