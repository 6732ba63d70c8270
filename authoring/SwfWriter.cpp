#include "authoring/SwfWriter.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace lumen::authoring {

void BitWriter::WriteUnsigned(uint32_t value, int bits) {
  for (int i = bits - 1; i >= 0; --i) {
    pending_ = static_cast<uint8_t>(pending_ << 1 | ((value >> i) & 1u));
    if (++pending_bits_ == 8) {
      bytes_.push_back(pending_);
      pending_ = 0;
      pending_bits_ = 0;
    }
  }
}

void BitWriter::Align() {
  if (pending_bits_ == 0) return;
  bytes_.push_back(static_cast<uint8_t>(pending_ << (8 - pending_bits_)));
  pending_ = 0;
  pending_bits_ = 0;
}

void BitWriter::WriteU8(uint8_t value) {
  Align();
  bytes_.push_back(value);
}

void BitWriter::WriteU16(uint16_t value) {
  WriteU8(static_cast<uint8_t>(value));
  WriteU8(static_cast<uint8_t>(value >> 8));
}

void BitWriter::WriteU32(uint32_t value) {
  WriteU16(static_cast<uint16_t>(value));
  WriteU16(static_cast<uint16_t>(value >> 16));
}

void BitWriter::WriteBytes(std::span<const uint8_t> bytes) {
  Align();
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BitWriter::WriteString(std::string_view text) {
  Align();
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  bytes_.push_back(0);
}

int BitWriter::SignedBitsFor(std::initializer_list<int32_t> values) {
  int bits = 0;
  for (int32_t v : values) {
    int needed = 1;
    while (needed < 32 &&
           (v < -(int64_t{1} << (needed - 1)) || v >= (int64_t{1} << (needed - 1)))) {
      ++needed;
    }
    if (v != 0) bits = std::max(bits, needed);
  }
  return bits;
}

void WriteRect(BitWriter& out, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
               std::optional<int> bits) {
  const int n = bits.value_or(BitWriter::SignedBitsFor({x_min, x_max, y_min, y_max}));
  out.WriteUnsigned(static_cast<uint32_t>(n), 5);
  for (int32_t v : {x_min, x_max, y_min, y_max}) out.WriteSigned(v, n);
  out.Align();
}

void WriteTag(Bytes& out, uint16_t code, std::span<const uint8_t> body, bool force_long) {
  const bool long_form = force_long || body.size() >= 63;
  const auto head = static_cast<uint16_t>(code << 6 | (long_form ? 63 : body.size()));
  out.push_back(static_cast<uint8_t>(head));
  out.push_back(static_cast<uint8_t>(head >> 8));
  if (long_form) {
    const auto n = static_cast<uint32_t>(body.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
  }
  out.insert(out.end(), body.begin(), body.end());
}

Bytes Deflate(std::span<const uint8_t> bytes, int level) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  Bytes out(size);
  if (compress2(out.data(), &size, bytes.data(), static_cast<uLong>(bytes.size()), level) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

Bytes BuildMovie(const MovieSpec& spec, std::span<const uint8_t> body) {
  BitWriter rest;  // everything behind the fixed 8 bytes
  WriteRect(rest, spec.x_min, spec.x_max, spec.y_min, spec.y_max, spec.rect_bits);
  rest.WriteU16(spec.frame_rate);
  rest.WriteU16(spec.frame_count);
  rest.WriteBytes(body);

  const auto length = static_cast<uint32_t>(
      spec.declared_length.value_or(static_cast<int32_t>(8 + rest.bytes().size())));
  BitWriter file;
  file.WriteBytes(std::span<const uint8_t>(
      reinterpret_cast<const uint8_t*>(spec.compressed ? "CWS" : "FWS"), 3));
  file.WriteU8(spec.version);
  file.WriteU32(length);
  file.WriteBytes(spec.compressed ? Deflate(rest.bytes()) : rest.bytes());
  return std::move(file.bytes());
}

}  // namespace lumen::authoring

namespace lumen::authoring {

namespace {

int32_t Fixed(double v) {
  return static_cast<int32_t>(v * 65536.0);
}

}  // namespace

void WriteRgbOrRgba(BitWriter& out, Color c, bool alpha) {
  out.WriteU8(c.r);
  out.WriteU8(c.g);
  out.WriteU8(c.b);
  if (alpha) out.WriteU8(c.a);
}

void WriteMatrix(BitWriter& out, const MatrixSpec& m) {
  const bool scale = m.a != 1 || m.d != 1;
  out.WriteUnsigned(scale, 1);
  if (scale) {
    const int n = std::max(1, BitWriter::SignedBitsFor({Fixed(m.a), Fixed(m.d)}));
    out.WriteUnsigned(static_cast<uint32_t>(n), 5);
    out.WriteSigned(Fixed(m.a), n);
    out.WriteSigned(Fixed(m.d), n);
  }
  const bool rotate = m.b != 0 || m.c != 0;
  out.WriteUnsigned(rotate, 1);
  if (rotate) {
    const int n = std::max(1, BitWriter::SignedBitsFor({Fixed(m.b), Fixed(m.c)}));
    out.WriteUnsigned(static_cast<uint32_t>(n), 5);
    out.WriteSigned(Fixed(m.b), n);
    out.WriteSigned(Fixed(m.c), n);
  }
  const int n = BitWriter::SignedBitsFor({m.tx, m.ty});
  out.WriteUnsigned(static_cast<uint32_t>(n), 5);
  out.WriteSigned(m.tx, n);
  out.WriteSigned(m.ty, n);
  out.Align();
}

void WriteCxform(BitWriter& out, const CxformSpec& cx, bool with_alpha) {
  out.WriteUnsigned(1, 1);  // add terms
  out.WriteUnsigned(1, 1);  // mult terms
  const int n = 10;         // room for -512..511
  out.WriteUnsigned(n, 4);
  for (int16_t v : {cx.mul_r, cx.mul_g, cx.mul_b}) out.WriteSigned(v, n);
  if (with_alpha) out.WriteSigned(cx.mul_a, n);
  for (int16_t v : {cx.add_r, cx.add_g, cx.add_b}) out.WriteSigned(v, n);
  if (with_alpha) out.WriteSigned(cx.add_a, n);
  out.Align();
}

int ShapeWriter::AddSolidFill(Color color) {
  BitWriter w;
  w.WriteU8(0x00);
  WriteRgbOrRgba(w, color, version_ >= 3);
  return AddRawFill(std::move(w.bytes()));
}

int ShapeWriter::AddLinearGradient(const MatrixSpec& m,
                                   std::initializer_list<std::pair<uint8_t, Color>> stops,
                                   uint8_t spread_bits) {
  BitWriter w;
  w.WriteU8(0x10);
  WriteMatrix(w, m);
  w.WriteU8(static_cast<uint8_t>(spread_bits << 6 | stops.size()));
  for (const auto& [ratio, color] : stops) {
    w.WriteU8(ratio);
    WriteRgbOrRgba(w, color, version_ >= 3);
  }
  return AddRawFill(std::move(w.bytes()));
}

int ShapeWriter::AddBitmapFill(uint16_t bitmap_id, const MatrixSpec& m, uint8_t type) {
  BitWriter w;
  w.WriteU8(type);
  w.WriteU16(bitmap_id);
  WriteMatrix(w, m);
  return AddRawFill(std::move(w.bytes()));
}

int ShapeWriter::AddRawFill(Bytes bytes) {
  tables_.back().fills.push_back(std::move(bytes));
  return static_cast<int>(tables_.back().fills.size());
}

int ShapeWriter::AddLineStyle(uint16_t width, Color color) {
  BitWriter w;
  w.WriteU16(width);
  if (version_ >= 4) w.WriteU16(0);  // round caps and joins, no fill
  WriteRgbOrRgba(w, color, version_ >= 3);
  tables_.back().lines.push_back(std::move(w.bytes()));
  return static_cast<int>(tables_.back().lines.size());
}

void ShapeWriter::NewStyles() {
  tables_.emplace_back();
  Op op{Op::Style};
  op.new_table = static_cast<int>(tables_.size()) - 1;
  ops_.push_back(op);
}

void ShapeWriter::Select(int fill0, int fill1, int line) {
  Op op{Op::Style};
  op.fill0 = fill0;
  op.fill1 = fill1;
  op.line = line;
  ops_.push_back(op);
}

void ShapeWriter::MoveTo(int32_t x, int32_t y) {
  Op op{Op::Style};
  op.move = true;
  op.a = x;
  op.b = y;
  ops_.push_back(op);
  pen_x_ = x;
  pen_y_ = y;
}

void ShapeWriter::LineTo(int32_t x, int32_t y) {
  Op op{Op::Line};
  op.a = x - pen_x_;
  op.b = y - pen_y_;
  ops_.push_back(op);
  pen_x_ = x;
  pen_y_ = y;
}

void ShapeWriter::CurveTo(int32_t cx, int32_t cy, int32_t x, int32_t y) {
  Op op{Op::Curve};
  op.a = cx - pen_x_;
  op.b = cy - pen_y_;
  op.c = x - cx;
  op.d = y - cy;
  ops_.push_back(op);
  pen_x_ = x;
  pen_y_ = y;
}

void ShapeWriter::Rectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  MoveTo(x0, y0);
  LineTo(x1, y0);
  LineTo(x1, y1);
  LineTo(x0, y1);
  LineTo(x0, y0);
}

int ShapeWriter::BitsFor(size_t count) {
  int bits = 0;
  while ((size_t{1} << bits) <= count) ++bits;
  return bits;
}

void ShapeWriter::WriteTable(BitWriter& out, const Table& table) const {
  for (const auto* list : {&table.fills, &table.lines}) {
    if (list->size() >= 0xFF) {
      out.WriteU8(0xFF);
      out.WriteU16(static_cast<uint16_t>(list->size()));
    } else {
      out.WriteU8(static_cast<uint8_t>(list->size()));
    }
    for (const Bytes& style : *list) out.WriteBytes(style);
  }
}

void ShapeWriter::WriteOps(BitWriter& out, int fill_bits, int line_bits) const {
  for (const Op& op : ops_) {
    if (op.kind == Op::Style) {
      out.WriteUnsigned(0, 1);
      out.WriteUnsigned(op.new_table >= 0, 1);
      out.WriteUnsigned(op.line >= 0, 1);
      out.WriteUnsigned(op.fill1 >= 0, 1);
      out.WriteUnsigned(op.fill0 >= 0, 1);
      out.WriteUnsigned(op.move, 1);
      if (op.move) {
        const int n = std::max(1, BitWriter::SignedBitsFor({op.a, op.b}));
        out.WriteUnsigned(static_cast<uint32_t>(n), 5);
        out.WriteSigned(op.a, n);
        out.WriteSigned(op.b, n);
      }
      if (op.fill0 >= 0) out.WriteUnsigned(static_cast<uint32_t>(op.fill0), fill_bits);
      if (op.fill1 >= 0) out.WriteUnsigned(static_cast<uint32_t>(op.fill1), fill_bits);
      if (op.line >= 0) out.WriteUnsigned(static_cast<uint32_t>(op.line), line_bits);
      if (op.new_table >= 0) {
        const Table& t = tables_[static_cast<size_t>(op.new_table)];
        WriteTable(out, t);
        fill_bits = BitsFor(t.fills.size());
        line_bits = BitsFor(t.lines.size());
        out.WriteUnsigned(static_cast<uint32_t>(fill_bits), 4);
        out.WriteUnsigned(static_cast<uint32_t>(line_bits), 4);
      }
      continue;
    }
    out.WriteUnsigned(1, 1);
    out.WriteUnsigned(op.kind == Op::Line, 1);
    const int n =
        std::max(2, op.kind == Op::Line ? BitWriter::SignedBitsFor({op.a, op.b})
                                        : BitWriter::SignedBitsFor({op.a, op.b, op.c, op.d}));
    out.WriteUnsigned(static_cast<uint32_t>(n - 2), 4);
    if (op.kind == Op::Line) {
      out.WriteUnsigned(1, 1);  // general line
      out.WriteSigned(op.a, n);
      out.WriteSigned(op.b, n);
    } else {
      for (int32_t v : {op.a, op.b, op.c, op.d}) out.WriteSigned(v, n);
    }
  }
  out.WriteUnsigned(0, 6);  // end record
  out.Align();
}

Bytes ShapeWriter::Records(int fill_bits, int line_bits) const {
  BitWriter out;
  out.WriteUnsigned(static_cast<uint32_t>(fill_bits), 4);
  out.WriteUnsigned(static_cast<uint32_t>(line_bits), 4);
  WriteOps(out, fill_bits, line_bits);
  return std::move(out.bytes());
}

Bytes ShapeWriter::Tag(uint16_t id, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
                       bool nonzero) const {
  BitWriter body;
  body.WriteU16(id);
  WriteRect(body, x_min, x_max, y_min, y_max);
  if (version_ >= 4) {
    WriteRect(body, x_min, x_max, y_min, y_max);
    body.WriteU8(nonzero ? 0x04 : 0x00);
  }
  WriteTable(body, tables_.front());
  const int fill_bits = BitsFor(tables_.front().fills.size());
  const int line_bits = BitsFor(tables_.front().lines.size());
  body.WriteBytes(Records(fill_bits, line_bits));
  static constexpr uint16_t kCodes[] = {kTagDefineShape, kTagDefineShape, kTagDefineShape2,
                                        kTagDefineShape3, kTagDefineShape4};
  Bytes tag;
  WriteTag(tag, kCodes[std::clamp(version_, 1, 4)], body.bytes());
  return tag;
}

void PlaceObject(Bytes& out, uint16_t character, uint16_t depth, const MatrixSpec& m) {
  BitWriter body;
  body.WriteU16(character);
  body.WriteU16(depth);
  WriteMatrix(body, m);
  WriteTag(out, kTagPlaceObject, body.bytes());
}

namespace {

void WritePlaceFields(BitWriter& body, const PlaceSpec& spec) {
  if (spec.character) body.WriteU16(*spec.character);
  if (spec.matrix) WriteMatrix(body, *spec.matrix);
  if (spec.cxform) WriteCxform(body, *spec.cxform, true);
  if (spec.ratio) body.WriteU16(*spec.ratio);
  if (spec.name) body.WriteString(*spec.name);
  if (spec.clip_depth) body.WriteU16(*spec.clip_depth);
}

uint8_t PlaceFlags(const PlaceSpec& spec) {
  return static_cast<uint8_t>((spec.move ? 0x01 : 0) | (spec.character ? 0x02 : 0) |
                              (spec.matrix ? 0x04 : 0) | (spec.cxform ? 0x08 : 0) |
                              (spec.ratio ? 0x10 : 0) | (spec.name ? 0x20 : 0) |
                              (spec.clip_depth ? 0x40 : 0));
}

// Blur sizes, then for the shadow family angle and distance, then strength and the flag byte,
// whose low bits count the passes (four of them for bevels, which also have on-top).
void WriteShadowTail(BitWriter& body, const FilterSpec& f, bool angled, bool bevel) {
  body.WriteU32(static_cast<uint32_t>(Fixed(f.blur_x)));
  body.WriteU32(static_cast<uint32_t>(Fixed(f.blur_y)));
  if (angled) {
    body.WriteU32(static_cast<uint32_t>(Fixed(f.angle)));
    body.WriteU32(static_cast<uint32_t>(Fixed(f.distance)));
  }
  body.WriteU16(static_cast<uint16_t>(static_cast<int16_t>(f.strength * 256)));
  const uint8_t passes_mask = bevel ? 0x0F : 0x1F;
  body.WriteU8(static_cast<uint8_t>((f.inner ? 0x80 : 0) | (f.knockout ? 0x40 : 0) |
                                    (f.composite_source ? 0x20 : 0) |
                                    (bevel && f.on_top ? 0x10 : 0) | (f.passes & passes_mask)));
}

void WriteFilter(BitWriter& body, const FilterSpec& f) {
  body.WriteU8(f.kind);
  switch (f.kind) {
    case FilterSpec::kDropShadow:
      WriteRgbOrRgba(body, f.color, true);
      WriteShadowTail(body, f, true, false);
      break;
    case FilterSpec::kBlur:
      body.WriteU32(static_cast<uint32_t>(Fixed(f.blur_x)));
      body.WriteU32(static_cast<uint32_t>(Fixed(f.blur_y)));
      body.WriteU8(static_cast<uint8_t>((f.passes & 0x1F) << 3));
      break;
    case FilterSpec::kGlow:
      WriteRgbOrRgba(body, f.color, true);
      WriteShadowTail(body, f, false, false);
      break;
    case FilterSpec::kBevel:
      WriteRgbOrRgba(body, f.color, true);
      WriteRgbOrRgba(body, f.shadow, true);
      WriteShadowTail(body, f, true, true);
      break;
    case FilterSpec::kColorMatrix:
      for (float v : f.matrix) body.WriteU32(std::bit_cast<uint32_t>(v));
      break;
  }
}

void WriteFilterList(BitWriter& body, const std::vector<FilterSpec>& filters) {
  const size_t count = std::min<size_t>(filters.size(), 255);
  body.WriteU8(static_cast<uint8_t>(count));
  for (size_t i = 0; i < count; ++i) WriteFilter(body, filters[i]);
}

}  // namespace

void PlaceObject2(Bytes& out, const PlaceSpec& spec) {
  BitWriter body;
  body.WriteU8(PlaceFlags(spec));
  body.WriteU16(spec.depth);
  WritePlaceFields(body, spec);
  WriteTag(out, kTagPlaceObject2, body.bytes());
}

void PlaceObject3(Bytes& out, const PlaceSpec& spec) {
  BitWriter body;
  body.WriteU8(PlaceFlags(spec));
  body.WriteU8(static_cast<uint8_t>((spec.filters ? 0x01 : 0) | (spec.blend ? 0x02 : 0) |
                                    (spec.cache_as_bitmap ? 0x04 : 0)));
  body.WriteU16(spec.depth);
  WritePlaceFields(body, spec);
  if (spec.filters) WriteFilterList(body, *spec.filters);
  if (spec.blend) body.WriteU8(*spec.blend);
  if (spec.cache_as_bitmap) body.WriteU8(*spec.cache_as_bitmap ? 1 : 0);
  WriteTag(out, kTagPlaceObject3, body.bytes());
}

void RemoveObject(Bytes& out, uint16_t character, uint16_t depth) {
  BitWriter body;
  body.WriteU16(character);
  body.WriteU16(depth);
  WriteTag(out, kTagRemoveObject, body.bytes());
}

void RemoveObject2(Bytes& out, uint16_t depth) {
  BitWriter body;
  body.WriteU16(depth);
  WriteTag(out, kTagRemoveObject2, body.bytes());
}

void ShowFrame(Bytes& out) {
  WriteTag(out, kTagShowFrame, {});
}

void End(Bytes& out) {
  WriteTag(out, kTagEnd, {});
}

void SetBackgroundColor(Bytes& out, Color color) {
  const uint8_t body[] = {color.r, color.g, color.b};
  WriteTag(out, kTagSetBackgroundColor, body);
}

void DefineButton2(Bytes& out, uint16_t id, std::span<const ButtonRecordSpec> records,
                   std::span<const ButtonConditionSpec> conditions, bool menu) {
  constexpr uint16_t kTagDefineButton2 = 34;
  BitWriter records_part;
  for (const ButtonRecordSpec& record : records) {
    records_part.WriteU8(record.states);
    records_part.WriteU16(record.character);
    records_part.WriteU16(record.depth);
    WriteMatrix(records_part, record.matrix);
    WriteCxform(records_part, {}, true);
  }
  records_part.WriteU8(0);
  BitWriter body;
  body.WriteU16(id);
  body.WriteU8(menu ? 1 : 0);
  // The offset counts from this field to the first condition record.
  body.WriteU16(conditions.empty() ? 0 : static_cast<uint16_t>(2 + records_part.bytes().size()));
  body.WriteBytes(records_part.bytes());
  for (size_t i = 0; i < conditions.size(); ++i) {
    const bool last = i + 1 == conditions.size();
    body.WriteU16(last ? 0 : static_cast<uint16_t>(4 + conditions[i].actions.size()));
    body.WriteU16(conditions[i].conditions);
    body.WriteBytes(conditions[i].actions);
  }
  WriteTag(out, kTagDefineButton2, body.bytes());
}

void ExportAsset(Bytes& out, uint16_t id, std::string_view name) {
  constexpr uint16_t kTagExportAssets = 56;
  BitWriter body;
  body.WriteU16(1);
  body.WriteU16(id);
  body.WriteString(name);
  WriteTag(out, kTagExportAssets, body.bytes());
}

void DefineScalingGrid(Bytes& out, uint16_t id, int32_t x_min, int32_t x_max, int32_t y_min,
                       int32_t y_max) {
  constexpr uint16_t kTagDefineScalingGrid = 78;
  BitWriter body;
  body.WriteU16(id);
  WriteRect(body, x_min, x_max, y_min, y_max);
  WriteTag(out, kTagDefineScalingGrid, body.bytes());
}

void ImportAsset(Bytes& out, std::string_view url, uint16_t id, std::string_view name) {
  constexpr uint16_t kTagImportAssets = 57;
  BitWriter body;
  body.WriteString(url);
  body.WriteU16(1);
  body.WriteU16(id);
  body.WriteString(name);
  WriteTag(out, kTagImportAssets, body.bytes());
}

void FrameLabel(Bytes& out, std::string_view label) {
  BitWriter body;
  body.WriteString(label);
  WriteTag(out, kTagFrameLabel, body.bytes());
}

void DoAction(Bytes& out, std::span<const uint8_t> actions) {
  WriteTag(out, kTagDoAction, actions);
}

void DefineSprite(Bytes& out, uint16_t id, uint16_t frame_count, std::span<const uint8_t> tags) {
  BitWriter body;
  body.WriteU16(id);
  body.WriteU16(frame_count);
  body.WriteBytes(tags);
  WriteTag(out, kTagDefineSprite, body.bytes());
}

void DefineBitsLossless(Bytes& out, uint16_t id, bool alpha, uint8_t format, uint16_t width,
                        uint16_t height, std::span<const uint8_t> payload,
                        uint8_t palette_entries) {
  BitWriter body;
  body.WriteU16(id);
  body.WriteU8(format);
  body.WriteU16(width);
  body.WriteU16(height);
  if (format == 3) body.WriteU8(static_cast<uint8_t>(palette_entries - 1));
  body.WriteBytes(Deflate(payload));
  WriteTag(out, alpha ? kTagDefineBitsLossless2 : kTagDefineBitsLossless, body.bytes(), true);
}

}  // namespace lumen::authoring
