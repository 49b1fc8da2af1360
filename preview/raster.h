// Triangles of one panel drawn with a depth buffer at a few samples per pixel,
// then blended into the picture over what is already there (the grid), which
// smooths their edges. A million triangles take a tenth of what drawing them
// one by one in depth order as vector paths takes.
//
// The depth test visits every sample of a triangle's bounding box, so its
// cost is count x area. It runs until the samples visited reach a budget
// of kBudgetPerSample per sample of the panel, far above what a model's
// surfaces overlap (docs/preview.md); past it, each further triangle only
// fills samples nothing has covered yet, in order, at a cost of its rows
// plus the samples it fills, until that has cost one more visit per sample
// (rows are cache misses, samples are not); triangles past both are left
// out. A panel costs at most kBudgetPerSample + 1 visits per sample.
#pragma once

#include <cstdint>
#include <vector>

#include "preview/view.h"

namespace kw::preview {

class Raster {
 public:
  static constexpr long long kBudgetPerSample = 16;

  // A width x height panel in pixels, factor x factor samples per pixel.
  Raster(int width, int height, int factor, long long budgetPerSample = kBudgetPerSample);

  // Corners in panel pixels; either winding; nearer depths win.
  void Fill(const ScreenPoint* corners, std::uint32_t rgb);
  // Averages the samples of each pixel into a 32-bit xRGB image (cairo's
  // layout) with the panel's top-left corner at (left, top); samples no
  // triangle covered keep the image's pixel.
  void Resolve(unsigned char* pixels, int stride, int left, int top) const;
  // True once the budget ran out and triangles were filled in order.
  bool OverBudget() const { return !next_.empty(); }

 private:
  void FillUncovered(const double* x, const double* y, int b, int c, double lowY, double highY,
                     float depth, std::uint32_t rgb);
  std::size_t NextUncovered(std::size_t at);

  int width_, height_, factor_;
  int samplesX_, samplesY_;
  std::vector<float> depth_;
  std::vector<std::uint32_t> colour_;
  long long visited_ = 0;  // samples the depth test has looked at
  long long budget_;
  long long limit_;  // past the budget, one more visit per sample
  // Past the budget: for each sample, the first one at or after it that is
  // uncovered (a union-find by path halving; the last entry stands for none).
  std::vector<std::uint32_t> next_;
  std::size_t uncovered_ = 0;
};

// Samples per pixel along each axis for a panel of that size: fewer for huge
// panels, so memory stays bounded.
int SampleFactor(int width, int height);

}  // namespace kw::preview
