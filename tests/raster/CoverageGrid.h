#pragma once

// Test helpers: a sink that keeps the rasterizer's coverage as a picture, and slow reference
// coverage computed straight from a polygon by point sampling.

#include <cstdint>
#include <vector>

#include "raster/Coverage.h"

namespace lumen::raster::test {

class CoverageGrid : public SpanSink {
 public:
  CoverageGrid(int width, int height)
      : width_(width), cov_(static_cast<size_t>(width) * height, 0) {}
  void Span(int y, int x, int n, const uint8_t* cov) override {
    for (int i = 0; i < n; ++i) cov_[Index(x + i, y)] = cov[i];
  }
  void Solid(int y, int x, int n, uint8_t cov) override {
    for (int i = 0; i < n; ++i) cov_[Index(x + i, y)] = cov;
  }
  int At(int x, int y) const { return cov_[Index(x, y)]; }
  long Sum() const {
    long s = 0;
    for (uint8_t c : cov_) s += c;
    return s;
  }

 private:
  size_t Index(int x, int y) const { return static_cast<size_t>(y) * width_ + x; }
  int width_;
  std::vector<uint8_t> cov_;
};

// Winding number of the closed polygon around (px, py), counted like the rasterizer: an edge
// counts where py lies in [y_top, y_bottom) and the point is right of the crossing.
inline int Winding(const std::vector<Point>& poly, double px, double py) {
  int w = 0;
  for (size_t i = 0; i < poly.size(); ++i) {
    const Point a = poly[i], b = poly[(i + 1) % poly.size()];
    if (a.y == b.y) continue;
    const bool down = a.y < b.y;
    const double y0 = down ? a.y : b.y, y1 = down ? b.y : a.y;
    if (py < y0 || py >= y1) continue;
    const double x = a.x + (b.x - a.x) * ((py - a.y) / (double{b.y} - a.y));
    if (x <= px) w += down ? 1 : -1;
  }
  return w;
}

// Coverage 0..255 of pixel (x, y) from an n x n grid of samples.
inline int ReferenceCoverage(const std::vector<Point>& poly, FillRule rule, int x, int y, int n) {
  int inside = 0;
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      const int w = Winding(poly, x + (i + 0.5) / n, y + (j + 0.5) / n);
      inside += rule == FillRule::NonZero ? w != 0 : (w & 1) != 0;
    }
  }
  return (inside * 255 + n * n / 2) / (n * n);
}

}  // namespace lumen::raster::test
