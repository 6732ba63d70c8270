#include "stage/ScaleGrid.h"

#include <algorithm>
#include <cmath>

namespace lumen::stage {

float ScaleGrid::Axis::Map(float v) const {
  if (v <= grid_lo) return lo + (v - lo) * edge;
  if (v >= grid_hi) return hi - (hi - v) * edge;
  return lo + (grid_lo - lo) * edge + (v - grid_lo) * centre;
}

float ScaleGrid::Axis::Unmap(float v) const {
  const float low = lo + (grid_lo - lo) * edge, high = hi - (hi - grid_hi) * edge;
  if (v <= low) return lo + (v - lo) / edge;
  if (v >= high) return hi - (hi - v) / edge;
  return centre > 0 ? grid_lo + (v - low) / centre : grid_lo;
}

// Lengths in the clip's space that come out at `scale` on the stage: a fixed part of length f
// maps to f / scale, unless the fixed parts together exceed the scaled size.
std::optional<ScaleGrid::Axis> ScaleGrid::AxisFor(float lo, float grid_lo, float grid_hi, float hi,
                                                  float scale) {
  if (!(hi > lo) || !(scale > 0) || !std::isfinite(scale)) return std::nullopt;
  Axis a;
  a.lo = lo;
  a.hi = hi;
  a.grid_lo = std::clamp(grid_lo, lo, hi);
  a.grid_hi = std::clamp(grid_hi, a.grid_lo, hi);
  const float size = hi - lo;
  const float fixed = (a.grid_lo - lo) + (hi - a.grid_hi);
  a.edge = fixed > size * scale ? size / fixed : 1 / scale;
  const float middle = a.grid_hi - a.grid_lo;
  a.centre = middle > 0 ? (size - fixed * a.edge) / middle : 0;
  return a;
}

std::optional<ScaleGrid> ScaleGrid::For(const render::Rect& grid, const render::Rect& bounds,
                                        const render::Matrix& to_stage) {
  if (grid.Empty() || bounds.Empty()) return std::nullopt;
  const float sx = std::fabs(to_stage.a), sy = std::fabs(to_stage.d);
  // A rotation set back to 0 by script may leave a trace of sine behind.
  constexpr float kUpright = 1e-5f;
  if (std::fabs(to_stage.b) > kUpright * sx || std::fabs(to_stage.c) > kUpright * sy) {
    return std::nullopt;
  }
  if (sx == 1 && sy == 1) return std::nullopt;
  const auto x = AxisFor(bounds.x_min, grid.x_min, grid.x_max, bounds.x_max, sx);
  const auto y = AxisFor(bounds.y_min, grid.y_min, grid.y_max, bounds.y_max, sy);
  if (!x || !y) return std::nullopt;
  ScaleGrid g;
  g.x_ = *x;
  g.y_ = *y;
  g.stroke_ = 2 / (sx + sy);  // the renderer scales widths by the mean of the axes' scales
  return g;
}

namespace {

render::Rect Around(const render::Rect& r, const render::Matrix& m, const ScaleGrid* grid) {
  render::Rect out{};
  bool first = true;
  for (const render::Point corner : {render::Point{r.x_min, r.y_min},
                                     {r.x_max, r.y_min},
                                     {r.x_min, r.y_max},
                                     {r.x_max, r.y_max}}) {
    const render::Point p = grid ? grid->Map(m.Apply(corner)) : m.Apply(corner);
    out = first ? render::Rect{p.x, p.y, p.x, p.y}
                : render::Rect{std::min(out.x_min, p.x), std::min(out.y_min, p.y),
                               std::max(out.x_max, p.x), std::max(out.y_max, p.y)};
    first = false;
  }
  return out;
}

// The stretch that takes box `from` onto box `to`, axis by axis.
render::Matrix BoxOnto(const render::Rect& from, const render::Rect& to) {
  const float w = from.x_max - from.x_min, h = from.y_max - from.y_min;
  const float sx = w > 0 ? (to.x_max - to.x_min) / w : 1;
  const float sy = h > 0 ? (to.y_max - to.y_min) / h : 1;
  return {sx, 0, 0, sy, to.x_min - from.x_min * sx, to.y_min - from.y_min * sy};
}

}  // namespace

// Fills follow the shape's box as a whole: a gradient or photo spans the stretched shape as it
// spanned the original.
render::ShapeGeometry ScaleGrid::Remap(const render::ShapeGeometry& shape,
                                       const render::Matrix& place) const {
  render::ShapeGeometry out = shape;
  out.bounds = Around(shape.bounds, place, this);
  const render::Matrix fill = BoxOnto(Around(shape.bounds, place, nullptr), out.bounds) * place;
  // A stroke's width keeps the scale its placement gives it, and only that.
  const float widen = stroke_ * std::sqrt(std::fabs(place.a * place.d - place.b * place.c));
  for (render::ShapePart& part : out.parts) {
    for (render::Point& p : part.path.points) p = Map(place.Apply(p));
    part.fill.matrix = fill * part.fill.matrix;
    part.line.fill.matrix = fill * part.line.fill.matrix;
    part.line.width *= widen;
  }
  return out;
}

std::array<float, 13> ScaleGrid::Key() const {
  return {x_.lo, x_.grid_lo, x_.grid_hi, x_.hi, x_.edge, x_.centre, stroke_,
          y_.lo, y_.grid_lo, y_.grid_hi, y_.hi, y_.edge, y_.centre};
}

const render::ShapeGeometry* ScaledShapes::Get(const render::ShapeGeometry& shape,
                                               const render::Matrix& place, const ScaleGrid& grid) {
  Key key{&shape, {}};
  const auto mapping = grid.Key();
  std::copy(mapping.begin(), mapping.end(), key.second.begin());
  const float placed[6] = {place.a, place.b, place.c, place.d, place.tx, place.ty};
  std::copy(std::begin(placed), std::end(placed), key.second.begin() + mapping.size());
  auto it = shapes_.find(key);
  if (it == shapes_.end()) {
    auto made = std::make_unique<const render::ShapeGeometry>(grid.Remap(shape, place));
    it = shapes_.emplace(key, std::move(made)).first;
  }
  return it->second.get();
}

}  // namespace lumen::stage
