#include "preview/pixel_plot.h"

#include <algorithm>
#include <cmath>

namespace kw::preview {

PixelPlot::PixelPlot(unsigned char* pixels, int stride, const Rect& panel, long long budget)
    : pixels_(pixels), stride_(stride), panel_(panel), budget_(budget) {}

void PixelPlot::Blend(int x, int y, std::uint32_t rgb, double alpha) {
  if (x < 0 || y < 0 || x >= panel_.width || y >= panel_.height) return;
  ++plotted_;
  auto* pixel =
      reinterpret_cast<std::uint32_t*>(pixels_ + static_cast<long>(panel_.y + y) * stride_) +
      panel_.x + x;
  std::uint32_t out = 0xff000000u;
  for (int shift = 16; shift >= 0; shift -= 8) {
    const double under = (*pixel >> shift) & 255, over = (rgb >> shift) & 255;
    out |= static_cast<std::uint32_t>(under + (over - under) * alpha + 0.5) << shift;
  }
  *pixel = out;
}

void PixelPlot::Line(double x0, double y0, double x1, double y1, int width, std::uint32_t rgb,
                     double alpha) {
  if (Spent()) return;
  const double dx = x1 - x0, dy = y1 - y0;
  const double length = std::max(std::fabs(dx), std::fabs(dy));
  if (!std::isfinite(length)) return;
  // The caller cuts lines to the panel, so this stays within its diagonal.
  const long steps = static_cast<long>(std::min(length, 1e5)) + 1;
  const int low = -(width - 1) / 2, high = width / 2;
  for (long i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / static_cast<double>(steps);
    const int x = static_cast<int>(std::floor(x0 + dx * t));
    const int y = static_cast<int>(std::floor(y0 + dy * t));
    for (int oy = low; oy <= high; ++oy)
      for (int ox = low; ox <= high; ++ox) Blend(x + ox, y + oy, rgb, alpha);
  }
}

void PixelPlot::Dot(double x, double y, std::uint32_t fill, std::uint32_t ring) {
  if (Spent() || !std::isfinite(x) || !std::isfinite(y)) return;
  const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
  if (cx < -4 || cy < -4 || cx > panel_.width + 4 || cy > panel_.height + 4) return;
  for (int oy = -3; oy <= 3; ++oy) {
    for (int ox = -3; ox <= 3; ++ox) {
      const int square = ox * ox + oy * oy;
      if (square <= 6) {
        Blend(cx + ox, cy + oy, fill, 1);
      } else if (square <= 12) {
        Blend(cx + ox, cy + oy, ring, 1);
      }
    }
  }
}

}  // namespace kw::preview
