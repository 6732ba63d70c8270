#pragma once

// Reads a byte span as a big-endian bit stream; reads past the end give zero bits, and callers
// check Remaining() first where that matters.

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumen::audio {

class MsbBitReader {
 public:
  MsbBitReader() = default;
  explicit MsbBitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t Remaining() const { return bytes_.size() * 8 - position_; }

  // Up to 32 bits, first bit highest.
  uint32_t Read(int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 1) | ReadBit();
    return value;
  }
  int32_t ReadSigned(int count) {
    const uint32_t value = Read(count);
    const uint32_t sign = 1u << (count - 1);
    return static_cast<int32_t>(value ^ sign) - static_cast<int32_t>(sign);
  }

 private:
  uint32_t ReadBit() {
    if (position_ >= bytes_.size() * 8) return 0;
    const uint32_t bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
    ++position_;
    return bit;
  }

  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace lumen::audio
