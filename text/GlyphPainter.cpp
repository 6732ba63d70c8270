#include "text/GlyphPainter.h"

#include <algorithm>

#include "raster/Flatten.h"

namespace lumen::text {

render::Path& GlyphPainter::FillOf(render::Rgba color, bool rectangle) {
  // Rectangles never share a fill with glyphs: under the non-zero rule, one wound against a
  // glyph's outline would cut a hole where they overlap.
  const bool kind_changed = rectangle != rectangles_;
  rectangles_ = rectangle;
  if (geometry_.parts.empty() || kind_changed || geometry_.parts.back().fill.color != color ||
      geometry_.parts.back().kind != render::ShapePart::Kind::Fill) {
    render::ShapePart part;
    part.kind = render::ShapePart::Kind::Fill;
    part.rule = render::FillRule::NonZero;
    part.fill.kind = render::FillStyle::Kind::Solid;
    part.fill.color = color;
    geometry_.parts.push_back(std::move(part));
  }
  return geometry_.parts.back().path;
}

void GlyphPainter::Grow(render::Point p) {
  render::Rect& b = geometry_.bounds;
  if (!any_point_) {
    b = {p.x, p.y, p.x, p.y};
    any_point_ = true;
    return;
  }
  b.x_min = std::min(b.x_min, p.x);
  b.y_min = std::min(b.y_min, p.y);
  b.x_max = std::max(b.x_max, p.x);
  b.y_max = std::max(b.y_max, p.y);
}

void GlyphPainter::Glyph(const text::Glyph& glyph, render::Rgba color, const render::Matrix& m) {
  // A curve becomes at most 256 lines: a glyph that could overrun the budget is refused before
  // it is cut. Its curves are only counted once its points alone fit, so that a spent budget
  // costs nothing per glyph.
  if (glyph.outline.Empty() || points_ + glyph.outline.points.size() > kMaxPoints) return;
  const auto curves = static_cast<size_t>(
      std::count(glyph.outline.verbs.begin(), glyph.outline.verbs.end(), render::PathVerb::QuadTo));
  if (points_ + glyph.outline.points.size() + 255 * curves > kMaxPoints) return;
  raster::Polylines lines;
  raster::Flatten(glyph.outline, kCurveTolerance, lines);
  points_ += lines.points.size();
  render::Path& path = FillOf(color, false);
  for (const auto& contour : lines.contours) {
    for (uint32_t i = contour.begin; i < contour.end; ++i) {
      const render::Point q = m.Apply(lines.points[i]);
      if (i == contour.begin) {
        path.MoveTo(q);
      } else {
        path.LineTo(q);
      }
      Grow(q);
    }
  }
}

void GlyphPainter::Rectangle(const render::Rect& r, render::Rgba color) {
  if (r.Empty()) return;
  render::Path& path = FillOf(color, true);
  path.MoveTo({r.x_min, r.y_min});
  path.LineTo({r.x_max, r.y_min});
  path.LineTo({r.x_max, r.y_max});
  path.LineTo({r.x_min, r.y_max});
  path.LineTo({r.x_min, r.y_min});
  Grow({r.x_min, r.y_min});
  Grow({r.x_max, r.y_max});
}

render::ShapeGeometry GlyphPainter::Take() {
  render::ShapeGeometry out = std::move(geometry_);
  geometry_ = {};
  any_point_ = false;
  rectangles_ = false;
  points_ = 0;
  return out;
}

}  // namespace lumen::text
