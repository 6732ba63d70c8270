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

void Drawing::LineStyle(double width, uint32_t rgb, double alpha) {
  FlushStroke();
  stroking_ = true;
  stroke_.kind = render::ShapePart::Kind::Stroke;
  stroke_.line = {};
  // Width 0 is a hairline; the renderer keeps every stroke at least a device pixel wide.
  stroke_.line.width = static_cast<float>(width * 20);
  stroke_.line.color = Color(rgb, alpha);
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
  }
  if (fill_.path.verbs.size() > 1) parts_.push_back(fill_);
  fill_.path = {};
  filling_ = false;
}

void Drawing::BeginFill(uint32_t rgb, double alpha) {
  CloseFill();
  FlushStroke();
  filling_ = true;
  fill_.kind = render::ShapePart::Kind::Fill;
  fill_.rule = render::FillRule::EvenOdd;
  fill_.fill = {};
  fill_.fill.color = Color(rgb, alpha);
  fill_.path = {};
  fill_.path.MoveTo(pen_);
  fill_start_ = pen_;
  Changed();
}

void Drawing::EndFill() {
  // The stroke drawn with a fill paints over it.
  const bool had_fill = filling_;
  std::vector<render::ShapePart> strokes;
  if (had_fill && !stroke_.path.Empty() && stroke_.path.verbs.size() > 1) {
    strokes.push_back(stroke_);
    stroke_.path = {};
    if (stroking_) stroke_.path.MoveTo(pen_);
  }
  CloseFill();
  parts_.insert(parts_.end(), strokes.begin(), strokes.end());
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
  if (stroking_ && stroke_.path.verbs.size() > 1) geometry->parts.push_back(stroke_);
  if (geometry->parts.empty()) return nullptr;
  bool any = false;
  for (const render::ShapePart& part : geometry->parts) {
    const float pad = part.kind == render::ShapePart::Kind::Stroke ? part.line.width / 2 : 0;
    for (const render::Point& p : part.path.points) Grow(geometry->bounds, any, p, pad);
  }
  cached_ = std::move(geometry);
  return cached_.get();
}

}  // namespace lumen::stage
