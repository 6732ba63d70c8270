#include "text/FieldBorder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumen::text {

namespace {

constexpr float kPixel = 20;  // a stage pixel, in twips
constexpr float kHalf = kPixel / 2;

bool Same(const render::Matrix& a, const render::Matrix& b) {
  return a.a == b.a && a.b == b.b && a.c == b.c && a.d == b.d && a.tx == b.tx && a.ty == b.ty;
}

bool Same(const render::Rect& a, const render::Rect& b) {
  return a.x_min == b.x_min && a.y_min == b.y_min && a.x_max == b.x_max && a.y_max == b.y_max;
}

// `to` moved `by` back towards `from`.
render::Point ShortOf(render::Point from, render::Point to, float by) {
  const float dx = to.x - from.x, dy = to.y - from.y;
  const float length = std::hypot(dx, dy);
  if (length <= by) return from;
  return {to.x - dx / length * by, to.y - dy / length * by};
}

}  // namespace

const render::ShapeGeometry& FieldBorder::On(const render::Rect& box, render::Rgba color,
                                             const render::Matrix& m, bool device) {
  if (!built_ || !Same(box, box_) || !(color == color_) || !Same(m, matrix_) || device != device_) {
    Build(box, color, m, device);
  }
  return geometry_;
}

void FieldBorder::Build(const render::Rect& box, render::Rgba color, const render::Matrix& m,
                        bool device) {
  box_ = box;
  device_ = device;
  color_ = color;
  matrix_ = m;
  built_ = true;
  // Corners top left, top right, bottom right, bottom left; an upright box keeps them so on
  // the stage even when mirrored.
  std::array<render::Point, 4> c = {
      m.Apply({box.x_min, box.y_min}), m.Apply({box.x_max, box.y_min}),
      m.Apply({box.x_max, box.y_max}), m.Apply({box.x_min, box.y_max})};
  if (m.b == 0 && m.c == 0) {
    const float x0 = std::min(c[0].x, c[2].x), x1 = std::max(c[0].x, c[2].x);
    const float y0 = std::min(c[0].y, c[2].y), y1 = std::max(c[0].y, c[2].y);
    c = {render::Point{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (render::Point& p : c) p = {p.x + kHalf, p.y + kHalf};
  }
  // Two open lines with square ends: left, top and right sides, then the bottom, each stopping
  // short of the lower right corner: a device-font field leaves its pixel empty, an embedded one
  // covers it in part.
  const float short_of = device ? kPixel : kHalf;
  render::ShapePart part;
  part.kind = render::ShapePart::Kind::Stroke;
  part.line.width = 0;  // drawn one device pixel wide
  part.line.color = color;
  part.line.start_cap = part.line.end_cap = render::LineCap::Square;
  part.line.join = render::LineJoin::Miter;
  part.path.MoveTo(c[3]);
  part.path.LineTo(c[0]);
  part.path.LineTo(c[1]);
  part.path.LineTo(ShortOf(c[1], c[2], short_of));
  part.path.MoveTo(c[3]);
  part.path.LineTo(ShortOf(c[3], c[2], short_of));
  geometry_ = {};
  geometry_.parts.push_back(std::move(part));
  render::Rect& b = geometry_.bounds;
  b = {c[0].x, c[0].y, c[0].x, c[0].y};
  for (const render::Point& p : c) {
    b = {std::min(b.x_min, p.x - kHalf), std::min(b.y_min, p.y - kHalf),
         std::max(b.x_max, p.x + kHalf), std::max(b.y_max, p.y + kHalf)};
  }
}

}  // namespace lumen::text
