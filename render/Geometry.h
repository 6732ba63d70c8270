#pragma once

// The vocabulary shared by the movie model and the renderer: transforms, colours, fill and line
// styles, paths and prepared shapes. Coordinates are twips (1/20 pixel) unless said otherwise.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace lumen::render {

struct Point {
  float x = 0;
  float y = 0;
};

struct Rect {
  float x_min = 0, y_min = 0, x_max = 0, y_max = 0;
  bool Empty() const { return !(x_max > x_min && y_max > y_min); }
};

// x' = a*x + c*y + tx, y' = b*x + d*y + ty (SWF: ScaleX = a, RotateSkew0 = b, RotateSkew1 = c,
// ScaleY = d).
struct Matrix {
  float a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

  Point Apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
  // (*this * other) applies `other` first, then *this.
  Matrix operator*(const Matrix& o) const {
    return {a * o.a + c * o.b, b * o.a + d * o.b,        a * o.c + c * o.d,
            b * o.c + d * o.d, a * o.tx + c * o.ty + tx, b * o.tx + d * o.ty + ty};
  }
  static Matrix Scale(float sx, float sy) { return {sx, 0, 0, sy, 0, 0}; }
  static Matrix Translate(float x, float y) { return {1, 0, 0, 1, x, y}; }
};

// A straight (not premultiplied) colour.
struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

// result = clamp(channel * mul + add), channels in 0..255, applied to straight colours.
struct ColorTransform {
  float mul_r = 1, mul_g = 1, mul_b = 1, mul_a = 1;
  float add_r = 0, add_g = 0, add_b = 0, add_a = 0;

  // (*this * inner) applies `inner` first, then *this.
  ColorTransform operator*(const ColorTransform& in) const {
    return {mul_r * in.mul_r,         mul_g * in.mul_g,         mul_b * in.mul_b,
            mul_a * in.mul_a,         mul_r * in.add_r + add_r, mul_g * in.add_g + add_g,
            mul_b * in.add_b + add_b, mul_a * in.add_a + add_a};
  }
  bool IsIdentity() const {
    return mul_r == 1 && mul_g == 1 && mul_b == 1 && mul_a == 1 && add_r == 0 && add_g == 0 &&
           add_b == 0 && add_a == 0;
  }
};

// A decoded image: premultiplied 32-bit pixels, 0xAARRGGBB (B, G, R, A in memory on x86, the
// layout of a Windows DIB section).
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows top to bottom
  bool opaque = false;           // every alpha is 255: lets the renderer skip blending
  std::vector<Bitmap> smaller;   // prefiltered halves of a large photo, each half the last
};

// An image kept encoded until it is drawn: its size is known at once, its pixels are decoded on
// demand (and cached by whoever draws), so holding a hundred photos costs only their files.
class BitmapSource {
 public:
  BitmapSource(int width, int height) : width_(width), height_(height) {}
  virtual ~BitmapSource() = default;
  BitmapSource(const BitmapSource&) = delete;
  BitmapSource& operator=(const BitmapSource&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Width() x Height() pixels, or nothing when the image is damaged. Safe on any thread.
  virtual std::optional<Bitmap> Decode() const = 0;

 private:
  int width_, height_;
};

struct GradientStop {
  uint8_t ratio = 0;
  Rgba color;
  friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

enum class SpreadMode : uint8_t { Pad, Reflect, Repeat };
enum class Interpolation : uint8_t { Rgb, LinearRgb };

struct Gradient {
  std::vector<GradientStop> stops;  // 1 to 15, ratios ascending
  SpreadMode spread = SpreadMode::Pad;
  Interpolation interpolation = Interpolation::Rgb;
  float focal_point = 0;  // -1..1, focal gradients only
};

struct FillStyle {
  enum class Kind : uint8_t { Solid, LinearGradient, RadialGradient, FocalGradient, Bitmap };
  Kind kind = Kind::Solid;
  Rgba color;         // Solid
  Gradient gradient;  // gradients: gradient square -16384..16384 mapped by `matrix`
  // Gradient or bitmap space to shape space (twips). Bitmap space is image pixels, so a matrix
  // of scale 20 shows the image at its natural size.
  Matrix matrix;
  std::shared_ptr<const Bitmap> bitmap;        // Bitmap: decoded pixels; null paints nothing ...
  std::shared_ptr<const BitmapSource> source;  // ... unless the pixels come from here
  bool repeat = true;                          // Bitmap: tiled (true) or clamped to its edge pixels
  bool smooth = true;                          // Bitmap: bilinear (true) or nearest neighbour
};

enum class LineCap : uint8_t { Round, None, Square };
enum class LineJoin : uint8_t { Round, Bevel, Miter };

struct LineStyle {
  float width = 20;  // twips; scaled by the transform; at least one device pixel when drawn
  Rgba color;
  LineCap start_cap = LineCap::Round;
  LineCap end_cap = LineCap::Round;
  LineJoin join = LineJoin::Round;
  float miter_limit = 3;
  bool no_hscale = false;  // width not scaled horizontally
  bool no_vscale = false;  // width not scaled vertically
  bool pixel_hinting = false;
  bool has_fill = false;  // the stroke is painted with `fill` instead of `color`
  FillStyle fill;
};

enum class PathVerb : uint8_t { MoveTo, LineTo, QuadTo };

// Contours made of lines and quadratic curves. QuadTo takes two points: control, end.
struct Path {
  std::vector<PathVerb> verbs;
  std::vector<Point> points;

  void MoveTo(Point p) {
    verbs.push_back(PathVerb::MoveTo);
    points.push_back(p);
  }
  void LineTo(Point p) {
    verbs.push_back(PathVerb::LineTo);
    points.push_back(p);
  }
  void QuadTo(Point control, Point end) {
    verbs.push_back(PathVerb::QuadTo);
    points.push_back(control);
    points.push_back(end);
  }
  bool Empty() const { return verbs.empty(); }
};

enum class FillRule : uint8_t { EvenOdd, NonZero };

// One thing a shape paints, in painting order: a filled region or a stroked path.
struct ShapePart {
  enum class Kind : uint8_t { Fill, Stroke };
  Kind kind = Kind::Fill;
  Path path;
  FillRule rule = FillRule::NonZero;  // Fill: contours are closed and oriented by the builder
  FillStyle fill;                     // Fill
  LineStyle line;                     // Stroke; open contours stay open
};

// A shape prepared once from its definition and shared by every frame that shows it.
struct ShapeGeometry {
  std::vector<ShapePart> parts;
  Rect bounds;  // twips, strokes included
};

}  // namespace lumen::render
