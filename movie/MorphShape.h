#pragma once

#include <cstdint>
#include <vector>

#include "movie/ShapeData.h"

namespace lumen::movie {

// A shape tween: start and end styles and edges that correspond one to one. Immutable.
class MorphShape {
 public:
  // DefineMorphShape (version 1) or DefineMorphShape2 (version 2) after the character id.
  static MorphShape Read(ByteReader& in, int version, const BitmapLookup& bitmaps);

  // The shape at `ratio` (0 = start, 65535 = end).
  ShapeData At(uint16_t ratio) const;

 private:
  struct Fill {
    render::FillStyle start, end;
  };
  struct Line {
    render::LineStyle start, end;
  };

  static Fill ReadFill(ByteReader& in, const BitmapLookup& bitmaps);
  static Line ReadLine(ByteReader& in, int version, const BitmapLookup& bitmaps);
  void InterpolateRecords(float t, std::vector<ShapeRecord>& out) const;

  render::Rect start_bounds_, end_bounds_;
  std::vector<Fill> fills_;
  std::vector<Line> lines_;
  std::vector<ShapeRecord> start_, end_;
};

}  // namespace lumen::movie
