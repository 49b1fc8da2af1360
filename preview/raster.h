// Triangles of one panel drawn with a depth buffer at a few samples per pixel,
// then blended into the picture over what is already there (the grid), which
// smooths their edges. A million triangles take a tenth of what drawing them
// one by one in depth order as vector paths takes.
#pragma once

#include <cstdint>
#include <vector>

#include "preview/view.h"

namespace kw::preview {

class Raster {
 public:
  // A width x height panel in pixels, factor x factor samples per pixel.
  Raster(int width, int height, int factor);

  // Corners in panel pixels; either winding; nearer depths win.
  void Fill(const ScreenPoint* corners, std::uint32_t rgb);
  // Averages the samples of each pixel into a 32-bit xRGB image (cairo's
  // layout) with the panel's top-left corner at (left, top); samples no
  // triangle covered keep the image's pixel.
  void Resolve(unsigned char* pixels, int stride, int left, int top) const;

 private:
  int width_, height_, factor_;
  int samplesX_, samplesY_;
  std::vector<float> depth_;
  std::vector<std::uint32_t> colour_;
};

// Samples per pixel along each axis for a panel of that size: fewer for huge
// panels, so memory stays bounded.
int SampleFactor(int width, int height);

}  // namespace kw::preview
