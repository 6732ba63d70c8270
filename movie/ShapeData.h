#pragma once

// Shape definitions as parsed, before they are turned into fillable contours: the style tables
// and the shape records with absolute coordinates (twips).

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "movie/ByteReader.h"
#include "render/Geometry.h"

namespace lumen::movie {

struct StyleTable {
  std::vector<render::FillStyle> fills;
  std::vector<render::LineStyle> lines;
};

struct ShapeRecord {
  enum class Kind : uint8_t { StyleChange, Line, Curve };
  Kind kind = Kind::StyleChange;
  // StyleChange: which selections change (indices are 1-based, 0 = none) and whether the pen
  // moves to `to`. A record with new styles starts a layer that uses tables[new_styles].
  bool has_move = false, has_fill0 = false, has_fill1 = false, has_line = false;
  uint32_t fill0 = 0, fill1 = 0, line = 0;
  int new_styles = -1;
  render::Point control;  // Curve
  render::Point to;       // edges: end point; StyleChange: move target
};

struct ShapeData {
  std::vector<StyleTable> tables;  // [0]: the styles given before the records
  std::vector<ShapeRecord> records;
  render::Rect bounds;
  render::FillRule rule = render::FillRule::EvenOdd;
};

// Finds the bitmaps of bitmap fills; answers null for an unknown id.
using BitmapLookup = std::function<std::shared_ptr<const render::BitmapSource>(uint16_t)>;

// Shape tag versions: 1 DefineShape, 2 DefineShape2, 3 DefineShape3, 4 DefineShape4.
render::FillStyle ReadFillStyle(ByteReader& in, int version, const BitmapLookup& bitmaps);
StyleTable ReadStyleTable(ByteReader& in, int version, const BitmapLookup& bitmaps);
// The gradient header byte and stops; `color_alpha` selects RGBA stops.
render::Gradient ReadGradient(ByteReader& in, bool color_alpha, bool focal);
// Fill fields shared by bitmap fills of shapes and morph shapes.
void SetBitmapFill(render::FillStyle& fill, uint8_t type, uint16_t id, const render::Matrix& m,
                   const BitmapLookup& bitmaps);
// The flags word of LINESTYLE2 and MORPHLINESTYLE2 (caps, join, scaling); answers HasFill.
bool ApplyLineFlags(render::LineStyle& line, uint16_t flags);

// Shape records up to the end record. `tables` receives the style tables of NewStyles records
// (parsed only when `version` > 0: morph edge lists carry none).
void ReadShapeRecords(ByteReader& in, int version, const BitmapLookup& bitmaps,
                      std::vector<StyleTable>& tables, std::vector<ShapeRecord>& records);

// DefineShape 1-4 after the character id.
ShapeData ReadDefineShape(ByteReader& in, int version, const BitmapLookup& bitmaps);

}  // namespace lumen::movie
