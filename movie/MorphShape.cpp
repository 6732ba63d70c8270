#include "movie/MorphShape.h"

#include <algorithm>
#include <cmath>

namespace lumen::movie {

namespace {

float Lerp(float a, float b, float t) {
  return a + (b - a) * t;
}

render::Point Lerp(render::Point a, render::Point b, float t) {
  return {Lerp(a.x, b.x, t), Lerp(a.y, b.y, t)};
}

uint8_t Lerp8(uint8_t a, uint8_t b, float t) {
  return static_cast<uint8_t>(std::clamp(Lerp(a, b, t), 0.0f, 255.0f));
}

render::Rgba Lerp(render::Rgba a, render::Rgba b, float t) {
  return {Lerp8(a.r, b.r, t), Lerp8(a.g, b.g, t), Lerp8(a.b, b.b, t), Lerp8(a.a, b.a, t)};
}

render::Rect Lerp(const render::Rect& a, const render::Rect& b, float t) {
  return {Lerp(a.x_min, b.x_min, t), Lerp(a.y_min, b.y_min, t), Lerp(a.x_max, b.x_max, t),
          Lerp(a.y_max, b.y_max, t)};
}

render::Matrix Lerp(const render::Matrix& a, const render::Matrix& b, float t) {
  return {Lerp(a.a, b.a, t), Lerp(a.b, b.b, t),   Lerp(a.c, b.c, t),
          Lerp(a.d, b.d, t), Lerp(a.tx, b.tx, t), Lerp(a.ty, b.ty, t)};
}

render::FillStyle Lerp(const render::FillStyle& a, const render::FillStyle& b, float t) {
  render::FillStyle f = a;
  f.color = Lerp(a.color, b.color, t);
  f.matrix = Lerp(a.matrix, b.matrix, t);
  f.gradient.focal_point = Lerp(a.gradient.focal_point, b.gradient.focal_point, t);
  const size_t n = std::min(a.gradient.stops.size(), b.gradient.stops.size());
  for (size_t i = 0; i < n; ++i) {
    f.gradient.stops[i].ratio = Lerp8(a.gradient.stops[i].ratio, b.gradient.stops[i].ratio, t);
    f.gradient.stops[i].color = Lerp(a.gradient.stops[i].color, b.gradient.stops[i].color, t);
  }
  return f;
}

size_t ReadCount(ByteReader& in) {
  size_t count = in.U8();
  if (count == 0xFF) count = in.U16();
  if (count > in.Remaining()) in.Fail("style count larger than the tag");
  return count;
}

// The pen position after a record list's i-th record.
render::Point EndOf(const ShapeRecord& rec, render::Point pen) {
  return rec.kind != ShapeRecord::Kind::StyleChange || rec.has_move ? rec.to : pen;
}

}  // namespace

MorphShape::Fill MorphShape::ReadFill(ByteReader& in, const BitmapLookup& bitmaps) {
  Fill fill;
  const uint8_t type = in.U8();
  if (type == 0x00) {
    fill.start.color = ReadRgba(in);
    fill.end.color = ReadRgba(in);
  } else if (type == 0x10 || type == 0x12 || type == 0x13) {
    const auto kind = type == 0x10   ? render::FillStyle::Kind::LinearGradient
                      : type == 0x12 ? render::FillStyle::Kind::RadialGradient
                                     : render::FillStyle::Kind::FocalGradient;
    fill.start.kind = fill.end.kind = kind;
    fill.start.matrix = ReadMatrix(in);
    fill.end.matrix = ReadMatrix(in);
    const uint8_t head = in.U8();
    // Both gradients share the header byte; parse it once per side from a copy of the stops.
    render::Gradient g;
    g.spread = (head >> 6) == 1   ? render::SpreadMode::Reflect
               : (head >> 6) == 2 ? render::SpreadMode::Repeat
                                  : render::SpreadMode::Pad;
    g.interpolation =
        ((head >> 4) & 3) == 1 ? render::Interpolation::LinearRgb : render::Interpolation::Rgb;
    fill.start.gradient = fill.end.gradient = g;
    for (int i = 0; i < (head & 0x0F); ++i) {
      render::GradientStop s, e;
      s.ratio = in.U8();
      s.color = ReadRgba(in);
      e.ratio = in.U8();
      e.color = ReadRgba(in);
      fill.start.gradient.stops.push_back(s);
      fill.end.gradient.stops.push_back(e);
    }
    if (fill.start.gradient.stops.empty()) {
      fill.start.gradient.stops.push_back({});
      fill.end.gradient.stops.push_back({});
    }
    if (type == 0x13) {
      fill.start.gradient.focal_point = in.S16() / 256.0f;
      fill.end.gradient.focal_point = in.S16() / 256.0f;
    }
  } else if (type >= 0x40 && type <= 0x43) {
    const uint16_t id = in.U16();
    SetBitmapFill(fill.start, type, id, ReadMatrix(in), bitmaps);
    SetBitmapFill(fill.end, type, id, ReadMatrix(in), bitmaps);
  } else {
    in.Fail("unknown morph fill style type " + std::to_string(type));
  }
  return fill;
}

MorphShape::Line MorphShape::ReadLine(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  Line line;
  line.start.width = in.U16();
  line.end.width = in.U16();
  if (version < 2) {
    line.start.color = ReadRgba(in);
    line.end.color = ReadRgba(in);
    return line;
  }
  const uint16_t flags = in.U16();
  const bool has_fill = ApplyLineFlags(line.start, flags);
  ApplyLineFlags(line.end, flags);
  if (line.start.join == render::LineJoin::Miter) {
    line.start.miter_limit = line.end.miter_limit = in.U16() / 256.0f;
  }
  if (!has_fill) {
    line.start.color = ReadRgba(in);
    line.end.color = ReadRgba(in);
    return line;
  }
  Fill fill = ReadFill(in, bitmaps);
  const bool solid = fill.start.kind == render::FillStyle::Kind::Solid;
  line.start.has_fill = line.end.has_fill = !solid;
  line.start.fill = fill.start;
  line.end.fill = fill.end;
  line.start.color = fill.start.color;
  line.end.color = fill.end.color;
  return line;
}

MorphShape MorphShape::Read(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  MorphShape m;
  m.start_bounds_ = ReadRect(in);
  m.end_bounds_ = ReadRect(in);
  if (version >= 2) {
    ReadRect(in);
    ReadRect(in);
    in.U8();
  }
  const uint32_t offset = in.U32();
  const size_t styles_start = in.Position();
  const size_t fills = ReadCount(in);
  m.fills_.reserve(fills);
  for (size_t i = 0; i < fills; ++i) m.fills_.push_back(ReadFill(in, bitmaps));
  const size_t lines = ReadCount(in);
  m.lines_.reserve(lines);
  for (size_t i = 0; i < lines; ++i) m.lines_.push_back(ReadLine(in, version, bitmaps));
  std::vector<StyleTable> none;
  ReadShapeRecords(in, 0, bitmaps, none, m.start_);
  // The end edges start where the offset says; tools agree with the parse position, but the
  // offset is what the format promises.
  const size_t end_at = styles_start + offset;
  if (end_at > in.Position() && end_at - in.Position() <= in.Remaining()) {
    in.Skip(end_at - in.Position());
  }
  ReadShapeRecords(in, 0, bitmaps, none, m.end_);
  return m;
}

void MorphShape::InterpolateRecords(float t, std::vector<ShapeRecord>& out) const {
  render::Point pen_s, pen_e;
  size_t j = 0;
  for (const ShapeRecord& s : start_) {
    // End style changes carry only moves; apply those that sit before the next edge.
    while (j < end_.size() && end_[j].kind == ShapeRecord::Kind::StyleChange &&
           s.kind != ShapeRecord::Kind::StyleChange) {
      pen_e = EndOf(end_[j++], pen_e);
    }
    ShapeRecord r = s;
    if (s.kind == ShapeRecord::Kind::StyleChange) {
      if (j < end_.size() && end_[j].kind == ShapeRecord::Kind::StyleChange) {
        pen_e = EndOf(end_[j++], pen_e);
      }
      if (s.has_move) r.to = Lerp(s.to, pen_e, t);
    } else if (j < end_.size()) {
      const ShapeRecord& e = end_[j++];
      const render::Point sc =
          s.kind == ShapeRecord::Kind::Curve ? s.control : Lerp(pen_s, s.to, 0.5f);
      const render::Point ec =
          e.kind == ShapeRecord::Kind::Curve ? e.control : Lerp(pen_e, e.to, 0.5f);
      const bool curved = s.kind == ShapeRecord::Kind::Curve || e.kind == ShapeRecord::Kind::Curve;
      r.kind = curved ? ShapeRecord::Kind::Curve : ShapeRecord::Kind::Line;
      r.control = Lerp(sc, ec, t);
      r.to = Lerp(s.to, e.to, t);
      pen_e = e.to;
    } else {
      break;  // the end list is shorter: the rest has nothing to morph to
    }
    pen_s = EndOf(s, pen_s);
    out.push_back(r);
  }
}

ShapeData MorphShape::At(uint16_t ratio) const {
  const float t = ratio / 65535.0f;
  ShapeData shape;
  shape.bounds = Lerp(start_bounds_, end_bounds_, t);
  StyleTable table;
  table.fills.reserve(fills_.size());
  for (const Fill& f : fills_) table.fills.push_back(Lerp(f.start, f.end, t));
  table.lines.reserve(lines_.size());
  for (const Line& l : lines_) {
    render::LineStyle line = l.start;
    line.width = Lerp(l.start.width, l.end.width, t);
    line.color = Lerp(l.start.color, l.end.color, t);
    line.fill = Lerp(l.start.fill, l.end.fill, t);
    table.lines.push_back(line);
  }
  shape.tables.push_back(std::move(table));
  InterpolateRecords(t, shape.records);
  return shape;
}

}  // namespace lumen::movie
