#pragma once

// Builds small scenes for renderer tests: shapes in pixel units (stored as twips) and the
// command list that draws them.

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "render/Geometry.h"
#include "render/RenderList.h"

namespace lumen::render::test {

inline float Tw(float pixels) {
  return pixels * 20;
}

inline Path RectPath(float x0, float y0, float x1, float y1) {
  Path p;
  p.MoveTo({Tw(x0), Tw(y0)});
  p.LineTo({Tw(x1), Tw(y0)});
  p.LineTo({Tw(x1), Tw(y1)});
  p.LineTo({Tw(x0), Tw(y1)});
  p.LineTo({Tw(x0), Tw(y0)});
  return p;
}

inline Path PolyPath(const std::vector<Point>& pixels, bool close = true) {
  Path p;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const Point q{Tw(pixels[i].x), Tw(pixels[i].y)};
    if (i == 0) {
      p.MoveTo(q);
    } else {
      p.LineTo(q);
    }
  }
  if (close && !pixels.empty()) p.LineTo({Tw(pixels[0].x), Tw(pixels[0].y)});
  return p;
}

// A circle of eight quadratic arcs.
inline Path CirclePath(float cx, float cy, float r) {
  Path p;
  const double step = std::numbers::pi / 4;
  const double k = 1 / std::cos(step / 2);
  p.MoveTo({Tw(cx + r), Tw(cy)});
  for (int i = 0; i < 8; ++i) {
    const double mid = step * (i + 0.5), end = step * (i + 1);
    p.QuadTo({Tw(static_cast<float>(cx + r * k * std::cos(mid))),
              Tw(static_cast<float>(cy + r * k * std::sin(mid)))},
             {Tw(static_cast<float>(cx + r * std::cos(end))),
              Tw(static_cast<float>(cy + r * std::sin(end)))});
  }
  return p;
}

inline FillStyle SolidFill(Rgba c) {
  FillStyle f;
  f.color = c;
  return f;
}

// A gradient whose square spans pixels x0..x1 horizontally, centred on (cx, cy) vertically.
inline FillStyle GradientFill(FillStyle::Kind kind, std::vector<GradientStop> stops, float cx,
                              float cy, float half_width, SpreadMode spread = SpreadMode::Pad) {
  FillStyle f;
  f.kind = kind;
  f.gradient.stops = std::move(stops);
  f.gradient.spread = spread;
  const float s = Tw(half_width) / 16384;
  f.matrix = {s, 0, 0, s, Tw(cx), Tw(cy)};
  return f;
}

// A test picture: colour ramps with a dark grid every 4 pixels.
inline std::shared_ptr<Bitmap> TestBitmap(int w, int h, bool with_alpha = false) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = w;
  bm->height = h;
  bm->opaque = !with_alpha;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t a = with_alpha ? static_cast<uint32_t>(255 * x / std::max(1, w - 1)) : 255;
      uint32_t r = static_cast<uint32_t>(255 * x / std::max(1, w - 1));
      uint32_t g = static_cast<uint32_t>(255 * y / std::max(1, h - 1));
      uint32_t b = (x % 4 == 0 || y % 4 == 0) ? 40 : 200;
      r = r * a / 255, g = g * a / 255, b = b * a / 255;
      bm->pixels.push_back(a << 24 | r << 16 | g << 8 | b);
    }
  }
  return bm;
}

inline FillStyle BitmapFill(std::shared_ptr<Bitmap> bm, Matrix image_to_pixels, bool repeat,
                            bool smooth) {
  FillStyle f;
  f.kind = FillStyle::Kind::Bitmap;
  f.bitmap = std::move(bm);
  f.matrix = Matrix::Scale(20, 20) * image_to_pixels;
  f.repeat = repeat;
  f.smooth = smooth;
  return f;
}

inline LineStyle Line(float width_px, Rgba c) {
  LineStyle l;
  l.width = Tw(width_px);
  l.color = c;
  return l;
}

class Scene {
 public:
  explicit Scene(Rgba background = {255, 255, 255, 255}) { list.background = background; }

  ShapeGeometry& Shape() {
    shapes_.push_back(std::make_unique<ShapeGeometry>());
    return *shapes_.back();
  }
  ShapeGeometry& Fill(Path path, FillStyle fill, FillRule rule = FillRule::NonZero) {
    ShapeGeometry& s = Shape();
    AddFill(s, std::move(path), std::move(fill), rule);
    return s;
  }
  static void AddFill(ShapeGeometry& s, Path path, FillStyle fill,
                      FillRule rule = FillRule::NonZero) {
    ShapePart part;
    part.path = std::move(path);
    part.fill = std::move(fill);
    part.rule = rule;
    s.parts.push_back(std::move(part));
  }
  ShapeGeometry& Stroke(Path path, LineStyle line) {
    ShapeGeometry& s = Shape();
    ShapePart part;
    part.kind = ShapePart::Kind::Stroke;
    part.path = std::move(path);
    part.line = std::move(line);
    s.parts.push_back(std::move(part));
    return s;
  }
  void Draw(const ShapeGeometry& s, Matrix m = {}, ColorTransform cx = {}) {
    RenderCommand c;
    c.shape = &s;
    c.matrix = m;
    c.cxform = cx;
    list.commands.push_back(c);
  }
  void Command(RenderCommand::Kind kind, BlendMode blend = BlendMode::Normal,
               ColorTransform cx = {}) {
    RenderCommand c;
    c.kind = kind;
    c.blend = blend;
    c.cxform = cx;
    list.commands.push_back(c);
  }

  RenderList list;

 private:
  std::vector<std::unique_ptr<ShapeGeometry>> shapes_;
};

}  // namespace lumen::render::test
