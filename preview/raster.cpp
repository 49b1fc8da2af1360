#include "preview/raster.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kw::preview {

int SampleFactor(int width, int height) {
  const long long pixels = static_cast<long long>(width) * height;
  if (pixels <= (1 << 20)) return 3;
  if (pixels <= (4 << 20)) return 2;
  return 1;
}

Raster::Raster(int width, int height, int factor, long long budgetPerSample)
    : width_(width),
      height_(height),
      factor_(factor),
      samplesX_(width * factor),
      samplesY_(height * factor),
      depth_(static_cast<std::size_t>(samplesX_) * samplesY_,
             std::numeric_limits<float>::infinity()),
      colour_(depth_.size()),
      budget_(budgetPerSample * static_cast<long long>(depth_.size())),
      limit_(budget_ + static_cast<long long>(depth_.size())) {}

void Raster::Fill(const ScreenPoint* corners, std::uint32_t rgb) {
  double x[3], y[3];
  for (int i = 0; i < 3; ++i) {
    x[i] = double(corners[i].x) * factor_;
    y[i] = double(corners[i].y) * factor_;
  }
  // Edge functions: w0 is the weight of corner 0 and vanishes on edge 1-2.
  double area = (x[1] - x[0]) * (y[2] - y[0]) - (y[1] - y[0]) * (x[2] - x[0]);
  if (!(std::fabs(area) > 0)) return;
  int b = 1, c = 2;
  if (area < 0) std::swap(b, c), area = -area;

  // Sample centres lie at i + 0.5; the bounds are cut to the panel before
  // they become integers.
  const double lowX = std::max(0.0, std::ceil(std::min({x[0], x[1], x[2]}) - 0.5));
  const double highX = std::min(samplesX_ - 1.0, std::floor(std::max({x[0], x[1], x[2]}) - 0.5));
  const double lowY = std::max(0.0, std::ceil(std::min({y[0], y[1], y[2]}) - 0.5));
  const double highY = std::min(samplesY_ - 1.0, std::floor(std::max({y[0], y[1], y[2]}) - 0.5));
  if (!(lowX <= highX) || !(lowY <= highY)) return;

  const double visits = (highX - lowX + 1) * (highY - lowY + 1);
  if (visited_ >= budget_) {
    FillUncovered(x, y, b, c, lowY, highY, corners[0].depth, rgb);
    return;
  }
  visited_ += static_cast<long long>(visits);

  const double d0 = corners[0].depth, db = corners[b].depth, dc = corners[c].depth;
  const auto edge = [&](int p, int q, double px, double py) {
    return (x[q] - x[p]) * (py - y[p]) - (y[q] - y[p]) * (px - x[p]);
  };
  const int firstX = static_cast<int>(lowX), lastX = static_cast<int>(highX);
  for (int row = static_cast<int>(lowY); row <= static_cast<int>(highY); ++row) {
    const double py = row + 0.5, px = firstX + 0.5;
    double w0 = edge(b, c, px, py), wb = edge(c, 0, px, py), wc = edge(0, b, px, py);
    const double step0 = -(y[c] - y[b]), stepB = -(y[0] - y[c]), stepC = -(y[b] - y[0]);
    std::size_t at = static_cast<std::size_t>(row) * samplesX_ + firstX;
    for (int column = firstX; column <= lastX; ++column, ++at) {
      if (w0 >= 0 && wb >= 0 && wc >= 0) {
        const float depth = static_cast<float>((w0 * d0 + wb * db + wc * dc) / area);
        if (depth < depth_[at]) {
          depth_[at] = depth;
          colour_[at] = rgb;
        }
      }
      w0 += step0, wb += stepB, wc += stepC;
    }
  }
}

std::size_t Raster::NextUncovered(std::size_t at) {
  while (next_[at] != at) {
    next_[at] = next_[next_[at]];
    at = next_[at];
  }
  return at;
}

void Raster::FillUncovered(const double* x, const double* y, int b, int c, double lowY,
                           double highY, float depth, std::uint32_t rgb) {
  const std::size_t samples = depth_.size();
  if (next_.empty()) {
    next_.resize(samples + 1);
    for (std::size_t i = 0; i < samples; ++i) {
      const bool open = depth_[i] == std::numeric_limits<float>::infinity();
      next_[i] = static_cast<std::uint32_t>(open ? i : i + 1);
      uncovered_ += open;
    }
    next_[samples] = static_cast<std::uint32_t>(samples);
  }
  if (uncovered_ == 0 || visited_ >= limit_) return;
  // Along a row each edge function is linear, so the columns whose sample
  // centres lie on the inner side of an edge begin or end at a column that is
  // linear in the row: t = k0 + k1 * py.
  struct Bound {
    double k0, k1;
    int side;  // 1: the columns from t on, -1: up to t, 0: all (or none when k0 < 0)
  };
  Bound bounds[3];
  const int from[3] = {b, c, 0}, to[3] = {c, 0, b};
  for (int e = 0; e < 3; ++e) {
    const int p = from[e], q = to[e];
    // w(px, py) = (x[q] - x[p]) * (py - y[p]) - (y[q] - y[p]) * (px - x[p]) >= 0
    const double slope = -(y[q] - y[p]);
    const double across = x[q] - x[p];
    const double rest = -across * y[p] + (y[q] - y[p]) * x[p];
    if (slope == 0) {
      bounds[e] = Bound{rest, across, 0};
    } else {
      bounds[e] = Bound{-rest / slope - 0.5, -across / slope, slope > 0 ? 1 : -1};
    }
  }
  for (int row = static_cast<int>(lowY); row <= static_cast<int>(highY); ++row) {
    if (++visited_ >= limit_) return;
    const double py = row + 0.5;
    double low = 0, high = samplesX_ - 1.0;
    for (const Bound& bound : bounds) {
      const double t = bound.k0 + bound.k1 * py;
      if (bound.side > 0) {
        low = std::max(low, std::ceil(t));
      } else if (bound.side < 0) {
        high = std::min(high, std::floor(t));
      } else if (t < 0) {
        high = -1;
      }
    }
    if (!(low <= high)) continue;
    const std::size_t base = static_cast<std::size_t>(row) * samplesX_;
    const std::size_t last = base + static_cast<std::size_t>(high);
    for (std::size_t at = NextUncovered(base + static_cast<std::size_t>(low)); at <= last;
         at = NextUncovered(at + 1)) {
      depth_[at] = depth;
      colour_[at] = rgb;
      next_[at] = static_cast<std::uint32_t>(at + 1);
      ++visited_;
      if (--uncovered_ == 0) return;
    }
  }
}

void Raster::Resolve(unsigned char* pixels, int stride, int left, int top) const {
  const int samples = factor_ * factor_;
  for (int py = 0; py < height_; ++py) {
    auto* line =
        reinterpret_cast<std::uint32_t*>(pixels + static_cast<std::size_t>(top + py) * stride) +
        left;
    for (int px = 0; px < width_; ++px) {
      unsigned sum[3] = {0, 0, 0};
      int covered = 0;
      for (int sy = 0; sy < factor_; ++sy) {
        std::size_t at = (static_cast<std::size_t>(py) * factor_ + sy) * samplesX_ + px * factor_;
        for (int sx = 0; sx < factor_; ++sx, ++at) {
          if (depth_[at] == std::numeric_limits<float>::infinity()) continue;
          const std::uint32_t c = colour_[at];
          sum[0] += (c >> 16) & 255, sum[1] += (c >> 8) & 255, sum[2] += c & 255;
          ++covered;
        }
      }
      if (covered == 0) continue;
      const std::uint32_t under = line[px];
      const unsigned rest = static_cast<unsigned>(samples - covered);
      const unsigned r = (sum[0] + rest * ((under >> 16) & 255) + samples / 2) / samples;
      const unsigned g = (sum[1] + rest * ((under >> 8) & 255) + samples / 2) / samples;
      const unsigned bl = (sum[2] + rest * (under & 255) + samples / 2) / samples;
      line[px] = 0xff000000u | (r << 16) | (g << 8) | bl;
    }
  }
}

}  // namespace kw::preview
