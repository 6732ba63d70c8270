#pragma once

// Scale-9 grids. A sprite or button with a grid, drawn scaled, splits its bounds at the grid's
// edges into nine parts: the corners keep their size on the stage, the edges stretch along one
// axis, the centre along both, and together they still cover the scaled bounds. When the scaled
// size is below the two fixed parts, those shrink in proportion and the centre vanishes.
//
// The mapping works in the clip's own space, one axis at a time and piecewise linear, so the
// clip's matrix stays as it is: the clip's own shapes are drawn with their points moved, which
// undoes the scale in the fixed parts. Strokes keep the width they have unscaled, so frame
// lines stay thin; fills stretch with their shape's box. Text and clips inside scale as they
// would without a grid. The grid applies only while the clip is neither rotated nor skewed on
// the stage; otherwise it is drawn plainly. Hit tests take the point back through the mapping.

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "render/Geometry.h"

namespace lumen::stage {

class ScaleGrid {
 public:
  // The mapping for a clip with `grid` and `bounds` (its space, twips) drawn through `to_stage`;
  // none when it would change nothing.
  static std::optional<ScaleGrid> For(const render::Rect& grid, const render::Rect& bounds,
                                      const render::Matrix& to_stage);

  render::Point Map(render::Point p) const { return {x_.Map(p.x), y_.Map(p.y)}; }
  // The point that Map takes to `p`, for hit tests; a vanished centre gives its near edge.
  render::Point Unmap(render::Point p) const { return {x_.Unmap(p.x), y_.Unmap(p.y)}; }
  // `shape`, placed in the clip by `place`, with its points in the clip's space moved.
  render::ShapeGeometry Remap(const render::ShapeGeometry& shape,
                              const render::Matrix& place) const;
  // What tells one mapping from another.
  std::array<float, 13> Key() const;

 private:
  struct Axis {
    float lo = 0, grid_lo = 0, grid_hi = 0, hi = 0;
    float edge = 1;    // the fixed parts' factor
    float centre = 1;  // the centre's factor
    float Map(float v) const;
    float Unmap(float v) const;
  };
  static std::optional<Axis> AxisFor(float lo, float grid_lo, float grid_hi, float hi, float scale);

  Axis x_, y_;
  float stroke_ = 1;  // undoes the clip's scale in stroke widths
};

// Remapped shapes kept while their mapping and source stay the same, so that the renderer's
// work per shape carries over from frame to frame.
class ScaledShapes {
 public:
  // The shape drawn for `shape`, placed by `place` in a clip mapped by `grid`. Valid until
  // Clear().
  const render::ShapeGeometry* Get(const render::ShapeGeometry& shape, const render::Matrix& place,
                                   const ScaleGrid& grid);
  size_t Size() const { return shapes_.size(); }
  void Clear() { shapes_.clear(); }

 private:
  using Key = std::pair<const render::ShapeGeometry*, std::array<float, 19>>;
  std::map<Key, std::unique_ptr<const render::ShapeGeometry>> shapes_;
};

}  // namespace lumen::stage
