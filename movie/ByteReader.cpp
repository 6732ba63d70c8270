#include "movie/ByteReader.h"

#include <cstring>

namespace lumen::movie {

void ByteReader::Fail(const std::string& what) const {
  std::string message = what;
  if (tag_ >= 0) message += " in tag " + std::to_string(tag_);
  message += " at byte " + std::to_string(base_ + pos_);
  throw ParseError(message);
}

void ByteReader::Need(size_t count) const {
  if (count > Remaining()) Fail("record runs past its end");
}

uint8_t ByteReader::U8() {
  Align();
  Need(1);
  return bytes_[pos_++];
}

uint16_t ByteReader::U16() {
  const uint16_t lo = U8();
  return static_cast<uint16_t>(lo | U8() << 8);
}

uint32_t ByteReader::U32() {
  const uint32_t lo = U16();
  return lo | static_cast<uint32_t>(U16()) << 16;
}

uint32_t ByteReader::Bits(int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) {
    if (bit_count_ == 0) {
      Need(1);
      bits_ = bytes_[pos_++];
      bit_count_ = 8;
    }
    --bit_count_;
    value = value << 1 | ((bits_ >> bit_count_) & 1u);
  }
  return value;
}

int32_t ByteReader::SignedBits(int count) {
  if (count == 0) return 0;
  const uint32_t raw = Bits(count);
  if (count >= 32) return static_cast<int32_t>(raw);
  const uint32_t sign = 1u << (count - 1);
  return static_cast<int32_t>((raw ^ sign) - sign);
}

std::string ByteReader::String() {
  Align();
  const uint8_t* start = bytes_.data() + pos_;
  const void* end = std::memchr(start, 0, Remaining());
  if (end == nullptr) Fail("unterminated string");
  const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(end) - start);
  pos_ += length + 1;
  return std::string(reinterpret_cast<const char*>(start), length);
}

std::span<const uint8_t> ByteReader::Take(size_t count) {
  Align();
  Need(count);
  const auto part = bytes_.subspan(pos_, count);
  pos_ += count;
  return part;
}

ByteReader ByteReader::Sub(size_t count) {
  Align();
  const size_t start = MovieOffset();
  return ByteReader(Take(count), start, tag_);
}

render::Rect ReadRect(ByteReader& in) {
  in.Align();
  const int n = static_cast<int>(in.Bits(5));
  render::Rect r;
  r.x_min = static_cast<float>(in.SignedBits(n));
  r.x_max = static_cast<float>(in.SignedBits(n));
  r.y_min = static_cast<float>(in.SignedBits(n));
  r.y_max = static_cast<float>(in.SignedBits(n));
  in.Align();
  return r;
}

render::Matrix ReadMatrix(ByteReader& in) {
  in.Align();
  render::Matrix m;
  constexpr float kFixed = 1.0f / 65536.0f;
  if (in.Flag()) {
    const int n = static_cast<int>(in.Bits(5));
    m.a = static_cast<float>(in.SignedBits(n)) * kFixed;
    m.d = static_cast<float>(in.SignedBits(n)) * kFixed;
  }
  if (in.Flag()) {
    const int n = static_cast<int>(in.Bits(5));
    m.b = static_cast<float>(in.SignedBits(n)) * kFixed;
    m.c = static_cast<float>(in.SignedBits(n)) * kFixed;
  }
  const int n = static_cast<int>(in.Bits(5));
  m.tx = static_cast<float>(in.SignedBits(n));
  m.ty = static_cast<float>(in.SignedBits(n));
  in.Align();
  return m;
}

render::ColorTransform ReadColorTransform(ByteReader& in, bool with_alpha) {
  in.Align();
  render::ColorTransform cx;
  const bool has_add = in.Flag();
  const bool has_mul = in.Flag();
  const int n = static_cast<int>(in.Bits(4));
  auto next = [&] { return static_cast<float>(in.SignedBits(n)); };
  if (has_mul) {
    cx.mul_r = next() / 256.0f;
    cx.mul_g = next() / 256.0f;
    cx.mul_b = next() / 256.0f;
    if (with_alpha) cx.mul_a = next() / 256.0f;
  }
  if (has_add) {
    cx.add_r = next();
    cx.add_g = next();
    cx.add_b = next();
    if (with_alpha) cx.add_a = next();
  }
  in.Align();
  return cx;
}

render::Rgba ReadRgb(ByteReader& in) {
  render::Rgba c;
  c.r = in.U8();
  c.g = in.U8();
  c.b = in.U8();
  return c;
}

render::Rgba ReadRgba(ByteReader& in) {
  render::Rgba c = ReadRgb(in);
  c.a = in.U8();
  return c;
}

render::BlendMode BlendFrom(uint8_t value) {
  if (value < 2 || value > 14) return render::BlendMode::Normal;
  return static_cast<render::BlendMode>(value - 1);
}

void SkipFilters(ByteReader& in) {
  const int count = in.U8();
  for (int i = 0; i < count; ++i) {
    const uint8_t id = in.U8();
    switch (id) {
      case 0:
        in.Skip(23);
        break;
      case 1:
        in.Skip(9);
        break;
      case 2:
        in.Skip(15);
        break;
      case 3:
        in.Skip(27);
        break;
      case 4:
      case 7:
        in.Skip(size_t{5} * in.U8() + 19);
        break;
      case 5: {
        const size_t x = in.U8();
        const size_t y = in.U8();
        in.Skip(8 + 4 * x * y + 5);
        break;
      }
      case 6:
        in.Skip(80);
        break;
      default:
        in.Fail("unknown filter " + std::to_string(id));
    }
  }
}

}  // namespace lumen::movie
