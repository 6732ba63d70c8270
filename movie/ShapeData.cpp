#include "movie/ShapeData.h"

namespace lumen::movie {

namespace {

constexpr uint8_t kSolid = 0x00;
constexpr uint8_t kLinear = 0x10;
constexpr uint8_t kRadial = 0x12;
constexpr uint8_t kFocal = 0x13;

render::Rgba ReadColor(ByteReader& in, int version) {
  return version >= 3 ? ReadRgba(in) : ReadRgb(in);
}

// A style count: one byte, or 0xFF followed by a word in shapes of version 2 and later. Each
// style takes at least one byte, which bounds the count before anything is allocated.
size_t ReadCount(ByteReader& in, int version) {
  size_t count = in.U8();
  if (count == 0xFF && version >= 2) count = in.U16();
  if (count > in.Remaining()) in.Fail("style count larger than the tag");
  return count;
}

render::LineStyle ReadLineStyle(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  render::LineStyle line;
  line.width = in.U16();
  if (version < 4) {
    line.color = ReadColor(in, version);
    return line;
  }
  const uint16_t flags = in.U16();
  line.has_fill = ApplyLineFlags(line, flags);
  if (line.join == render::LineJoin::Miter) line.miter_limit = in.U16() / 256.0f;
  if (line.has_fill) {
    line.fill = ReadFillStyle(in, version, bitmaps);
    if (line.fill.kind == render::FillStyle::Kind::Solid) {
      line.color = line.fill.color;
      line.has_fill = false;
    }
  } else {
    line.color = ReadRgba(in);
  }
  return line;
}

render::LineCap CapFrom(unsigned bits) {
  switch (bits) {
    case 1:
      return render::LineCap::None;
    case 2:
      return render::LineCap::Square;
    default:
      return render::LineCap::Round;
  }
}

render::LineJoin JoinFrom(unsigned bits) {
  switch (bits) {
    case 1:
      return render::LineJoin::Bevel;
    case 2:
      return render::LineJoin::Miter;
    default:
      return render::LineJoin::Round;
  }
}

void ReadStyleChange(ByteReader& in, uint32_t flags, int version, const BitmapLookup& bitmaps,
                     int& fill_bits, int& line_bits, std::vector<StyleTable>& tables,
                     ShapeRecord& rec) {
  rec.kind = ShapeRecord::Kind::StyleChange;
  const bool new_styles = flags & 0x10;
  rec.has_line = flags & 0x08;
  rec.has_fill1 = flags & 0x04;
  rec.has_fill0 = flags & 0x02;
  rec.has_move = flags & 0x01;
  if (rec.has_move) {
    const int n = static_cast<int>(in.Bits(5));
    rec.to.x = static_cast<float>(in.SignedBits(n));
    rec.to.y = static_cast<float>(in.SignedBits(n));
  }
  if (rec.has_fill0) rec.fill0 = in.Bits(fill_bits);
  if (rec.has_fill1) rec.fill1 = in.Bits(fill_bits);
  if (rec.has_line) rec.line = in.Bits(line_bits);
  if (new_styles && version > 0) {
    tables.push_back(ReadStyleTable(in, version, bitmaps));
    rec.new_styles = static_cast<int>(tables.size()) - 1;
    fill_bits = static_cast<int>(in.Bits(4));
    line_bits = static_cast<int>(in.Bits(4));
  }
}

void ReadEdge(ByteReader& in, render::Point& pen, ShapeRecord& rec) {
  const bool straight = in.Flag();
  const int n = static_cast<int>(in.Bits(4)) + 2;
  if (straight) {
    rec.kind = ShapeRecord::Kind::Line;
    float dx = 0, dy = 0;
    if (in.Flag()) {
      dx = static_cast<float>(in.SignedBits(n));
      dy = static_cast<float>(in.SignedBits(n));
    } else if (in.Flag()) {
      dy = static_cast<float>(in.SignedBits(n));
    } else {
      dx = static_cast<float>(in.SignedBits(n));
    }
    rec.to = {pen.x + dx, pen.y + dy};
  } else {
    rec.kind = ShapeRecord::Kind::Curve;
    const float cx = static_cast<float>(in.SignedBits(n));
    const float cy = static_cast<float>(in.SignedBits(n));
    const float ax = static_cast<float>(in.SignedBits(n));
    const float ay = static_cast<float>(in.SignedBits(n));
    rec.control = {pen.x + cx, pen.y + cy};
    rec.to = {rec.control.x + ax, rec.control.y + ay};
  }
  pen = rec.to;
}

}  // namespace

render::Gradient ReadGradient(ByteReader& in, bool color_alpha, bool focal) {
  render::Gradient g;
  const uint8_t head = in.U8();
  const unsigned spread = head >> 6;
  g.spread = spread == 1   ? render::SpreadMode::Reflect
             : spread == 2 ? render::SpreadMode::Repeat
                           : render::SpreadMode::Pad;
  g.interpolation =
      ((head >> 4) & 3) == 1 ? render::Interpolation::LinearRgb : render::Interpolation::Rgb;
  const int count = head & 0x0F;
  g.stops.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    render::GradientStop stop;
    stop.ratio = in.U8();
    stop.color = color_alpha ? ReadRgba(in) : ReadRgb(in);
    g.stops.push_back(stop);
  }
  // A gradient without stops occurs in damaged files; it paints black.
  if (g.stops.empty()) g.stops.push_back({});
  if (focal) g.focal_point = in.S16() / 256.0f;
  return g;
}

void SetBitmapFill(render::FillStyle& fill, uint8_t type, uint16_t id, const render::Matrix& m,
                   const BitmapLookup& bitmaps) {
  fill.kind = render::FillStyle::Kind::Bitmap;
  fill.matrix = m;
  fill.repeat = (type & 0x01) == 0;
  fill.smooth = (type & 0x02) == 0;
  if (bitmaps) fill.source = bitmaps(id);
}

bool ApplyLineFlags(render::LineStyle& line, uint16_t flags) {
  line.start_cap = CapFrom((flags >> 6) & 3);
  line.join = JoinFrom((flags >> 4) & 3);
  line.no_hscale = flags & 0x04;
  line.no_vscale = flags & 0x02;
  line.pixel_hinting = flags & 0x01;
  line.end_cap = CapFrom((flags >> 8) & 3);
  return flags & 0x08;
}

render::FillStyle ReadFillStyle(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  render::FillStyle fill;
  const uint8_t type = in.U8();
  if (type == kSolid) {
    fill.color = ReadColor(in, version);
  } else if (type == kLinear || type == kRadial || type == kFocal) {
    fill.kind = type == kLinear   ? render::FillStyle::Kind::LinearGradient
                : type == kRadial ? render::FillStyle::Kind::RadialGradient
                                  : render::FillStyle::Kind::FocalGradient;
    fill.matrix = ReadMatrix(in);
    fill.gradient = ReadGradient(in, version >= 3, type == kFocal);
  } else if (type >= 0x40 && type <= 0x43) {
    const uint16_t id = in.U16();
    SetBitmapFill(fill, type, id, ReadMatrix(in), bitmaps);
  } else {
    in.Fail("unknown fill style type " + std::to_string(type));
  }
  return fill;
}

StyleTable ReadStyleTable(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  StyleTable table;
  const size_t fills = ReadCount(in, version);
  table.fills.reserve(fills);
  for (size_t i = 0; i < fills; ++i) table.fills.push_back(ReadFillStyle(in, version, bitmaps));
  const size_t lines = ReadCount(in, version);
  table.lines.reserve(lines);
  for (size_t i = 0; i < lines; ++i) table.lines.push_back(ReadLineStyle(in, version, bitmaps));
  return table;
}

void ReadShapeRecords(ByteReader& in, int version, const BitmapLookup& bitmaps,
                      std::vector<StyleTable>& tables, std::vector<ShapeRecord>& records) {
  // Far beyond any drawing a person made; a limit on what one hostile tag can make us hold.
  constexpr size_t kMaxRecords = size_t{1} << 20;
  int fill_bits = static_cast<int>(in.Bits(4));
  int line_bits = static_cast<int>(in.Bits(4));
  render::Point pen;
  for (;;) {
    ShapeRecord rec;
    if (in.Flag()) {
      ReadEdge(in, pen, rec);
    } else {
      const uint32_t flags = in.Bits(5);
      if (flags == 0) break;
      ReadStyleChange(in, flags, version, bitmaps, fill_bits, line_bits, tables, rec);
      if (rec.has_move) pen = rec.to;
    }
    if (records.size() == kMaxRecords) in.Fail("too many shape records");
    records.push_back(rec);
  }
  in.Align();
}

ShapeData ReadDefineShape(ByteReader& in, int version, const BitmapLookup& bitmaps) {
  ShapeData shape;
  shape.bounds = ReadRect(in);
  if (version >= 4) {
    ReadRect(in);  // edge bounds: the same shape without strokes
    const uint8_t flags = in.U8();
    if (flags & 0x04) shape.rule = render::FillRule::NonZero;
  }
  shape.tables.push_back(ReadStyleTable(in, version, bitmaps));
  ReadShapeRecords(in, version, bitmaps, shape.tables, shape.records);
  return shape;
}

}  // namespace lumen::movie
