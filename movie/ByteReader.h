#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "render/Geometry.h"
#include "render/RenderList.h"

namespace lumen::movie {

// A tag or record that does not fit the bytes it came in. The message names the tag code and the
// byte offset in the uncompressed movie.
class ParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads little-endian numbers and most-significant-bit-first bit fields from a span that is
// never left: reading past its end throws ParseError. Byte reads drop pending bits first.
class ByteReader {
 public:
  // `base` is the offset of the span in the movie and `tag` the code of the tag being read; both
  // only feed error messages.
  ByteReader(std::span<const uint8_t> bytes, size_t base = 0, int tag = -1)
      : bytes_(bytes), base_(base), tag_(tag) {}

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  int16_t S16() { return static_cast<int16_t>(U16()); }
  uint32_t Bits(int count);
  int32_t SignedBits(int count);
  bool Flag() { return Bits(1) != 0; }
  void Align() { bit_count_ = 0; }
  // NUL-terminated; the terminator is consumed, not returned.
  std::string String();
  std::span<const uint8_t> Take(size_t count);
  std::span<const uint8_t> Rest() { return Take(Remaining()); }
  void Skip(size_t count) { Take(count); }

  size_t Remaining() const { return bytes_.size() - pos_; }
  size_t Position() const { return pos_; }
  size_t MovieOffset() const { return base_ + pos_; }
  int Tag() const { return tag_; }
  // A reader over the next `count` bytes, which this reader skips.
  ByteReader Sub(size_t count);
  [[noreturn]] void Fail(const std::string& what) const;

 private:
  void Need(size_t count) const;

  std::span<const uint8_t> bytes_;
  size_t base_ = 0;
  int tag_ = -1;
  size_t pos_ = 0;
  uint8_t bits_ = 0;
  int bit_count_ = 0;
};

// The record types shared by many tags.
render::Rect ReadRect(ByteReader& in);
render::Matrix ReadMatrix(ByteReader& in);
render::ColorTransform ReadColorTransform(ByteReader& in, bool with_alpha);
render::Rgba ReadRgb(ByteReader& in);
render::Rgba ReadRgba(ByteReader& in);
// A blend mode byte; values out of range blend normally.
render::BlendMode BlendFrom(uint8_t value);
// Steps over a filter list; the filters themselves are drawn by a later part of the engine.
void SkipFilters(ByteReader& in);

}  // namespace lumen::movie
