#pragma once

// Collects glyphs into one shape: each glyph's outline is transformed into the text's space and
// added to the fill of its colour, so a caption is one or a few fills for the renderer rather
// than a shape per letter. Fills use the non-zero rule: glyphs that touch or overlap add up.
// Curves are cut into lines in the font's own units, not by the renderer at the drawn size: a
// glyph keeps the same cuts at every size, and the pictures of small text it is compared with
// show cuts this fine (the renderer's tenth of a pixel is far coarser on a small glyph).

#include "render/Geometry.h"
#include "text/Font.h"

namespace lumen::text {

class GlyphPainter {
 public:
  // Points one text may paint: a hostile movie repeating a glyph of a million edges through a
  // long text gets a picture cut short, not one of billions of points.
  static constexpr size_t kMaxPoints = size_t{4} << 20;
  // Font units a glyph's lines may stray from its curves.
  static constexpr float kCurveTolerance = 2;

  // `m` maps font units to the text's space (twips).
  void Glyph(const text::Glyph& glyph, render::Rgba color, const render::Matrix& m);
  // A filled rectangle (underlines, backgrounds), in the text's space.
  void Rectangle(const render::Rect& r, render::Rgba color);
  // What has been painted so far covers; nothing yet: empty.
  render::Rect Extent() const { return any_point_ ? geometry_.bounds : render::Rect{}; }
  // The shape painted so far, bounds included; the painter starts over.
  render::ShapeGeometry Take();

 private:
  render::Path& FillOf(render::Rgba color, bool rectangle);
  void Grow(render::Point p);

  render::ShapeGeometry geometry_;
  bool any_point_ = false;
  bool rectangles_ = false;  // the last part holds rectangles, not glyphs
  size_t points_ = 0;
};

}  // namespace lumen::text
