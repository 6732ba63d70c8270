// Design: a fill collects its contours until EndFill (or the next BeginFill) closes them back to
// their starts, as the reference does; strokes collect along the same pen moves and are flushed
// when the line style changes, a fill ends or the drawing is read. The geometry handed to the
// renderer is rebuilt only after a change.

#include "stage/Drawing.h"

#include <algorithm>
#include <cmath>

namespace lumen::stage {

namespace {

render::Rgba Color(uint32_t rgb, double alpha) {
  const double a = std::clamp(alpha, 0.0, 100.0) * 2.55;
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
          static_cast<uint8_t>(rgb), static_cast<uint8_t>(std::lround(a))};
}

render::Point Twips(double x, double y) {
  auto clamp = [](double v) { return static_cast<float>(std::clamp(v * 20, -1e8, 1e8)); };
  return {clamp(x), clamp(y)};
}

void Grow(render::Rect& r, bool& any, render::Point p, float pad) {
  if (!any) {
    r = {p.x - pad, p.y - pad, p.x + pad, p.y + pad};
    any = true;
    return;
  }
  r.x_min = std::min(r.x_min, p.x - pad);
  r.y_min = std::min(r.y_min, p.y - pad);
  r.x_max = std::max(r.x_max, p.x + pad);
  r.y_max = std::max(r.y_max, p.y + pad);
}

// Grows `r` by the points of the path's segments: a move that no segment follows draws nothing.
void GrowBySegments(render::Rect& r, bool& any, const render::Path& path, float pad) {
  size_t i = 0;
  render::Point start{};
  bool moved = false;  // `start` waits for a segment
  for (const render::PathVerb verb : path.verbs) {
    const size_t n = verb == render::PathVerb::QuadTo ? 2 : 1;
    if (i + n > path.points.size()) break;
    if (verb == render::PathVerb::MoveTo) {
      start = path.points[i];
      moved = true;
    } else {
      if (moved) Grow(r, any, start, pad);
      moved = false;
      for (size_t k = 0; k < n; ++k) Grow(r, any, path.points[i + k], pad);
    }
    i += n;
  }
}

}  // namespace

std::atomic<uint64_t> Drawing::revision_{0};

void Drawing::Clear() {
  parts_.clear();
  fill_ = {};
  stroke_ = {};
  filling_ = stroking_ = false;
  pen_ = {};
  points_ = 0;
  Changed();
}

void Drawing::FlushStroke() {
  if (!stroke_.path.Empty() && stroke_.path.verbs.size() > 1) {
    parts_.push_back(stroke_);
  }
  stroke_.path = {};
  if (stroking_) stroke_.path.MoveTo(pen_);
}

void Drawing::LineStyle(const avm1::LineSpec& spec) {
  FlushStroke();
  stroking_ = true;
  stroke_.kind = render::ShapePart::Kind::Stroke;
  render::LineStyle& line = stroke_.line;
  line = {};
  // Width 0 is a hairline; the renderer keeps every stroke at least a device pixel wide.
  line.width = static_cast<float>(spec.width * 20);
  line.color = Color(spec.rgb, spec.alpha);
  line.no_hscale = spec.no_hscale;
  line.no_vscale = spec.no_vscale;
  line.start_cap = line.end_cap = static_cast<render::LineCap>(spec.cap);
  line.join = static_cast<render::LineJoin>(spec.join);
  line.miter_limit = static_cast<float>(spec.miter_limit);
  stroke_.path = {};
  stroke_.path.MoveTo(pen_);
  Changed();
}

void Drawing::NoLineStyle() {
  FlushStroke();
  stroking_ = false;
  stroke_.path = {};
  Changed();
}

void Drawing::CloseFill() {
  if (!filling_) return;
  if (!fill_.path.Empty() && (pen_.x != fill_start_.x || pen_.y != fill_start_.y)) {
    fill_.path.LineTo(fill_start_);
    // The line that closes a fill is drawn with the line style too; the pen stays where it was.
    if (stroking_) stroke_.path.LineTo(fill_start_);
  }
  if (fill_.path.verbs.size() > 1) parts_.push_back(fill_);
  fill_.path = {};
  filling_ = false;
  // The stroke drawn with a fill paints over it.
  FlushStroke();
}

void Drawing::BeginFill(uint32_t rgb, double alpha) {
  render::FillStyle style;
  style.color = Color(rgb, alpha);
  StartFill(style);
}

void Drawing::BeginGradientFill(const avm1::GradientSpec& g) {
  if (g.stops.empty()) return;
  // The focal point is kept as a movie's gradient keeps it, in 8.8 fixed point.
  const double focal = std::trunc(std::clamp(g.focal, -1.0, 1.0) * 256) / 256;
  render::FillStyle style;
  style.kind = g.radial ? (focal != 0 ? render::FillStyle::Kind::FocalGradient
                                      : render::FillStyle::Kind::RadialGradient)
                        : render::FillStyle::Kind::LinearGradient;
  for (const avm1::GradientSpec::Stop& stop : g.stops) {
    if (style.gradient.stops.size() >= 15) break;
    render::GradientStop s;
    s.ratio = static_cast<uint8_t>(std::clamp(stop.ratio, 0.0, 255.0));
    s.color = Color(stop.rgb, stop.alpha);
    style.gradient.stops.push_back(s);
  }
  style.gradient.spread = static_cast<render::SpreadMode>(std::min<uint8_t>(g.spread, 2));
  style.gradient.interpolation =
      g.linear_rgb ? render::Interpolation::LinearRgb : render::Interpolation::Rgb;
  style.gradient.focal_point = static_cast<float>(focal);
  auto f = [](double v) { return static_cast<float>(std::clamp(v, -1e7, 1e7)); };
  style.matrix = {f(g.a), f(g.b), f(g.c), f(g.d), f(g.tx * 20), f(g.ty * 20)};
  StartFill(style);
}

void Drawing::BeginBitmapFill(std::shared_ptr<const render::Bitmap> bitmap,
                              const render::Matrix& matrix, bool repeat, bool smooth) {
  render::FillStyle style;
  style.kind = render::FillStyle::Kind::Bitmap;
  style.bitmap = std::move(bitmap);
  // Bitmap pixels to twips.
  style.matrix = render::Matrix{20, 0, 0, 20, 0, 0} * matrix;
  style.repeat = repeat;
  style.smooth = smooth;
  StartFill(style);
}

void Drawing::StartFill(const render::FillStyle& style) {
  CloseFill();
  FlushStroke();
  filling_ = true;
  fill_.kind = render::ShapePart::Kind::Fill;
  fill_.rule = render::FillRule::EvenOdd;
  fill_.fill = style;
  fill_.path = {};
  fill_.path.MoveTo(pen_);
  fill_start_ = pen_;
  Changed();
}

void Drawing::EndFill() {
  CloseFill();
  Changed();
}

void Drawing::MoveTo(double x, double y) {
  if (points_ >= kMaxPoints) return;
  ++points_;
  pen_ = Twips(x, y);
  if (filling_) {
    if (!fill_.path.Empty() && fill_.path.verbs.back() != render::PathVerb::MoveTo) {
      fill_.path.LineTo(fill_start_);
    }
    fill_.path.MoveTo(pen_);
    fill_start_ = pen_;
  }
  if (stroking_) stroke_.path.MoveTo(pen_);
  Changed();
}

void Drawing::LineTo(double x, double y) {
  if (points_ >= kMaxPoints) return;
  ++points_;
  pen_ = Twips(x, y);
  if (filling_) fill_.path.LineTo(pen_);
  if (stroking_) stroke_.path.LineTo(pen_);
  Changed();
}

void Drawing::CurveTo(double cx, double cy, double x, double y) {
  if (points_ >= kMaxPoints) return;
  points_ += 2;
  const render::Point control = Twips(cx, cy);
  pen_ = Twips(x, y);
  if (filling_) fill_.path.QuadTo(control, pen_);
  if (stroking_) stroke_.path.QuadTo(control, pen_);
  Changed();
}

const render::ShapeGeometry* Drawing::Geometry() const {
  if (cached_) return cached_.get();
  if (Empty()) return nullptr;
  auto geometry = std::make_shared<render::ShapeGeometry>();
  geometry->parts = parts_;
  // What is still open shows as it stands: an open fill closes, the stroke run paints.
  if (filling_ && fill_.path.verbs.size() > 1) {
    render::ShapePart open = fill_;
    open.path.LineTo(fill_start_);
    geometry->parts.push_back(std::move(open));
  }
  if (stroking_ && stroke_.path.verbs.size() > 1) {
    render::ShapePart open = stroke_;
    const bool closes = filling_ && (pen_.x != fill_start_.x || pen_.y != fill_start_.y);
    if (closes) open.path.LineTo(fill_start_);
    geometry->parts.push_back(std::move(open));
  }
  if (geometry->parts.empty()) return nullptr;
  bool any = false;
  for (const render::ShapePart& part : geometry->parts) {
    const float pad = part.kind == render::ShapePart::Kind::Stroke ? part.line.width : 0;
    GrowBySegments(geometry->bounds, any, part.path, pad);
  }
  if (!any) return nullptr;  // only moves so far
  cached_ = std::move(geometry);
  return cached_.get();
}

}  // namespace lumen::stage
