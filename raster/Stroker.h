#pragma once

// Turns a stroked polyline into filled pieces: one quad per segment, a wedge per join and a
// piece per cap, all oriented alike so a non-zero fill paints their union.

#include <vector>

#include "raster/Coverage.h"
#include "raster/Flatten.h"
#include "render/Geometry.h"

namespace lumen::raster {

struct StrokeStyle {
  float half_width = 0.5f;  // device pixels
  render::LineCap start_cap = render::LineCap::Round;
  render::LineCap end_cap = render::LineCap::Round;
  render::LineJoin join = render::LineJoin::Round;
  // Longest miter, in line widths from the vertex; longer ones are cut off.
  float miter_limit = 3;
};

class Stroker {
 public:
  // Strokes `points[0..n)` (device pixels); a closed contour is joined at its start instead of
  // capped. Adds the pieces to `out`, to be filled with the non-zero rule.
  void Stroke(const render::Point* points, size_t n, bool closed, const StrokeStyle& style,
              EdgeList& out);

 private:
  void Segment(render::Point p, render::Point q, EdgeList& out);
  void Join(render::Point prev, render::Point at, render::Point next, EdgeList& out);
  // The outer edge of a segment at a join: from its corner there, running away from the segment.
  struct Offset {
    render::Point from;
    double dx, dy;  // unit direction
  };
  void MiterPoint(render::Point at, const Offset& in, const Offset& out_back, double cos_half);
  void Cap(render::Point at, render::Point away, render::LineCap cap, EdgeList& out);
  void Wedge(render::Point center, double from, double sweep, EdgeList& out);
  void Piece(EdgeList& out);

  StrokeStyle style_;
  std::vector<render::Point> pts_;    // the contour without repeated points
  std::vector<render::Point> piece_;  // the piece being built
  render::Path arc_;                  // a round join's or cap's arc, as curves
  Polylines arc_lines_;               // ... cut into lines
};

}  // namespace lumen::raster
