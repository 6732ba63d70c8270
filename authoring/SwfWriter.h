#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lumen::authoring {

using Bytes = std::vector<uint8_t>;

// Writes bit fields most significant bit first, as SWF packs them, and plain little-endian numbers.
class BitWriter {
 public:
  void WriteUnsigned(uint32_t value, int bits);
  void WriteSigned(int32_t value, int bits) { WriteUnsigned(static_cast<uint32_t>(value), bits); }
  // Pads the current byte with zero bits.
  void Align();
  void WriteU8(uint8_t value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  void WriteBytes(std::span<const uint8_t> bytes);
  void WriteString(std::string_view text);  // NUL-terminated
  // The smallest signed field width that holds every value.
  static int SignedBitsFor(std::initializer_list<int32_t> values);

  Bytes& bytes() {
    Align();
    return bytes_;
  }

 private:
  Bytes bytes_;
  uint8_t pending_ = 0;
  int pending_bits_ = 0;
};

// A bit-packed SWF rectangle in twips. `bits` forces the field width; by default the smallest.
void WriteRect(BitWriter& out, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
               std::optional<int> bits = std::nullopt);

// Appends one tag: the short form for bodies under 63 bytes unless `force_long`.
void WriteTag(Bytes& out, uint16_t code, std::span<const uint8_t> body, bool force_long = false);

struct MovieSpec {
  bool compressed = false;
  uint8_t version = 10;
  int32_t x_min = 0, x_max = 11000, y_min = 0, y_max = 8000;  // twips
  std::optional<int> rect_bits;                               // default: the smallest width
  uint16_t frame_rate = 24 << 8;                              // 8.8 fixed point
  uint16_t frame_count = 1;
  std::optional<int32_t> declared_length;  // default: the true uncompressed length
};

// A whole movie file: head and `body` (the tags), compressed after byte 8 when asked.
Bytes BuildMovie(const MovieSpec& spec, std::span<const uint8_t> body);

// zlib-compresses bytes (RFC 1950).
Bytes Deflate(std::span<const uint8_t> bytes, int level = 6);

}  // namespace lumen::authoring
