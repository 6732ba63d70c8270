#pragma once

// Whether a point lies on what a shape paints: inside a fill by the fill's rule, or within half
// a stroke's width of its line, counting across and down together. The pointer and
// hitTest(x, y, true) ask this.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/Geometry.h"

namespace lumen::stage {

// `p` in the shape's own twips.
bool ShapeContains(const render::ShapeGeometry& shape, render::Point p);

// The same answers for a shape of many edges, from its lines sorted into horizontal bands: a
// point walks only the lines of its own band.
class ShapeHitBands {
 public:
  // Below this many lines a plain walk is as quick.
  static constexpr size_t kMinLines = 512;
  // The lines `shape` walks, curves flattened.
  static size_t LineCount(const render::ShapeGeometry& shape);

  explicit ShapeHitBands(const render::ShapeGeometry& shape);
  bool Contains(render::Point p) const;
  size_t Bytes() const;

 private:
  struct Line {
    render::Point a, b;
  };
  struct Part {
    uint32_t end;  // one past its last line
    bool stroke;
    bool even_odd;
    float half_width;
  };
  size_t BandOf(float y) const;
  // Calls `visit(line, first band, last band)` for every line.
  template <typename Visit>
  void ForBands(Visit&& visit) const;
  void Sort(size_t bands);
  static bool Filled(const Part& part, int winding);

  render::Rect bounds_;
  size_t bands_ = 1;
  float band_scale_ = 0;
  std::vector<Line> lines_;
  std::vector<Part> parts_;
  std::vector<uint32_t> starts_;  // band b's lines are members_[starts_[b]..starts_[b + 1])
  std::vector<uint32_t> members_;
};

}  // namespace lumen::stage
