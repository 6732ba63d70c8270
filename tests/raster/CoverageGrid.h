#pragma once

// Test helpers: a sink that keeps the rasterizer's coverage as a picture, and slow reference
// coverage computed straight from a polygon by point sampling.

#include <algorithm>
#include <cstdint>
#include <utility>
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

// Reference coverage 0..255 of every pixel of a size x size picture from an n x n grid of
// samples per pixel, by plain point-in-polygon tests: a sample is inside when the edges crossing
// its row at or left of it wind by a count the rule accepts (an edge counts for rows in
// [y_top, y_bottom)). Row by row so that fine grids stay quick.
inline std::vector<int> ReferenceCoverage(const std::vector<Point>& poly, FillRule rule, int size,
                                          int n) {
  std::vector<int> inside(static_cast<size_t>(size) * size, 0);
  std::vector<std::pair<double, int>> crossings;
  for (int sy = 0; sy < size * n; ++sy) {
    const double py = (sy + 0.5) / n;
    crossings.clear();
    for (size_t i = 0; i < poly.size(); ++i) {
      const Point a = poly[i], b = poly[(i + 1) % poly.size()];
      if (a.y == b.y) continue;
      const bool down = a.y < b.y;
      const double y0 = down ? a.y : b.y, y1 = down ? b.y : a.y;
      if (py < y0 || py >= y1) continue;
      crossings.emplace_back(a.x + (b.x - a.x) * ((py - a.y) / (double{b.y} - a.y)), down ? 1 : -1);
    }
    std::sort(crossings.begin(), crossings.end());
    size_t next = 0;
    int winding = 0;
    for (int sx = 0; sx < size * n; ++sx) {
      const double px = (sx + 0.5) / n;
      while (next < crossings.size() && crossings[next].first <= px)
        winding += crossings[next++].second;
      const bool in = rule == FillRule::NonZero ? winding != 0 : (winding & 1) != 0;
      inside[static_cast<size_t>(sy / n) * size + sx / n] += in;
    }
  }
  for (int& v : inside) v = (v * 255 + n * n / 2) / (n * n);
  return inside;
}

// Reference coverage of the edges as the edge list holds them (ends on the 1/256-pixel grid), by
// testing every sample against every edge. With such ends and samples at multiples of 1/32
// pixel, x0 * dy + (py - y0) * dx and px * dy are exact in a double, so a sample on an edge is
// decided exactly: inside from an edge at or left of it.
inline std::vector<int> StoredEdgeCoverage(const std::vector<Edge>& edges, FillRule rule, int size,
                                           int n) {
  std::vector<int> inside(static_cast<size_t>(size) * size, 0);
  std::vector<std::pair<double, double>> crossings;  // x * dy, dy
  std::vector<int> dirs;
  for (int sy = 0; sy < size * n; ++sy) {
    const double py = (sy + 0.5) / n;
    crossings.clear();
    dirs.clear();
    for (const Edge& e : edges) {
      if (py < e.y0 || py >= e.y1) continue;
      const double dy = double{e.y1} - e.y0, dx = double{e.x1} - e.x0;
      crossings.emplace_back(e.x0 * dy + (py - e.y0) * dx, dy);
      dirs.push_back(e.dir);
    }
    for (int sx = 0; sx < size * n; ++sx) {
      const double px = (sx + 0.5) / n;
      int winding = 0;
      for (size_t i = 0; i < crossings.size(); ++i) {
        if (crossings[i].first <= px * crossings[i].second) winding += dirs[i];
      }
      const bool in = rule == FillRule::NonZero ? winding != 0 : (winding & 1) != 0;
      inside[static_cast<size_t>(sy / n) * size + sx / n] += in;
    }
  }
  for (int& v : inside) v = (v * 255 + n * n / 2) / (n * n);
  return inside;
}

}  // namespace lumen::raster::test
