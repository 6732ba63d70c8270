#pragma once

// Edges and coverage: the middle of the drawing chain. Device-space lines go into an EdgeList
// (clipped to the target), the Rasterizer turns them into per-row coverage and hands it to a
// SpanSink as runs.

#include <climits>
#include <cstdint>
#include <vector>

#include "render/Geometry.h"

namespace lumen::raster {

using render::FillRule;
using render::Point;

// How anti-aliased coverage is computed. SampledGrid counts the inside points of an n x n grid
// in each pixel (n = 1 samples the pixel centre only); ExactArea accumulates the signed area of
// the shape in each pixel.
enum class CoverageMethod : uint8_t { SampledGrid, ExactArea };

struct Edge {
  float x0, y0, x1, y1;  // y0 < y1, device pixels
  int dir;               // +1 when the original line ran downwards, -1 upwards
};

// Lines in device pixels, clipped to [0, width] x [0, height]: parts above or below are dropped,
// parts left or right are pressed onto the border, which keeps the winding of what is inside.
// The ends of the stored edges are rounded to 1/256 pixel.
class EdgeList {
 public:
  void Reset(int width, int height);
  void AddLine(Point a, Point b);
  // Adds the closed polygon `points[0..n)` (the closing line included).
  void AddPolygon(const Point* points, size_t n);

  const std::vector<Edge>& Edges() const { return edges_; }
  std::vector<Edge>& MutableEdges() { return edges_; }
  // False once a point that is not finite was added: such a path draws nothing.
  bool Valid() const { return valid_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  void AddClippedY(double x0, double y0, double x1, double y1, int dir);
  void Push(double x0, double y0, double x1, double y1, int dir);

  std::vector<Edge> edges_;
  int width_ = 0;
  int height_ = 0;
  bool valid_ = true;
};

// Receives coverage a row at a time, left to right, as runs of pixels.
class SpanSink {
 public:
  virtual ~SpanSink() = default;
  // Pixels x .. x+n-1 of row y, coverage cov[0 .. n-1] (0..255).
  virtual void Span(int y, int x, int n, const uint8_t* cov) = 0;
  // Pixels x .. x+n-1 of row y, all with coverage `cov` (1..255).
  virtual void Solid(int y, int x, int n, uint8_t cov) = 0;
};

class Rasterizer {
 public:
  // `grid` is the samples per axis of SampledGrid (1, 2 or 4; up to 16, taken down to a power
  // of two); ExactArea ignores it. Sorts the edges of `edges` in place. Only rows `rows_from` ..
  // `rows_to` - 1 are computed, each exactly as in a fill of all rows.
  void Fill(EdgeList& edges, FillRule rule, CoverageMethod method, int grid, SpanSink& sink,
            int rows_from = 0, int rows_to = INT_MAX);

 private:
  void BeginRow(int width);
  void SortActive(float y);
  void AddGridRow(float sample_y, FillRule rule, int grid, int width);
  void AddAreaRow(int y, int width);
  void AddAreaPiece(float xa, float ya, float xb, float yb, int dir, int width);
  void FinishRow(int y, int width, FillRule rule, CoverageMethod method, int grid, SpanSink& sink);
  void Touch(int x, float area, float cover);

  // The edges that reach the row, in the order of where they cross its middle, so that each
  // sample row's crossings come nearly sorted.
  struct ActiveEdge {
    float x;
    const Edge* edge;
  };
  std::vector<ActiveEdge> active_;
  std::vector<std::pair<int, int>> crossings_;  // first sample at or right of it, direction
  std::vector<float> area_;                     // this pixel only
  std::vector<float> cover_;                    // this pixel and every pixel to its right
  std::vector<int> touched_;                    // each column once
  std::vector<uint8_t> marked_;                 // by column: in touched_
  std::vector<uint8_t> row_;
};

}  // namespace lumen::raster
