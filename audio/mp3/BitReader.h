#pragma once

// Most-significant-bit-first reading over a byte span. Reads past the end give zero bits and
// count as overrun, so a damaged length can never read outside the span.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace lumen::audio::mp3 {

class BitReader {
 public:
  explicit BitReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  // The next `count` (0..25) bits without consuming them.
  uint32_t Peek(int count) const {
    if (count == 0) return 0;
    const size_t byte = pos_ >> 3;
    uint32_t word = 0;
    if (byte + 4 <= bytes_.size()) {
      std::memcpy(&word, bytes_.data() + byte, 4);  // one load, then into big-endian order
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap32(word);
    } else {
      for (size_t i = 0; i < 4; ++i) {
        word = (word << 8) | (byte + i < bytes_.size() ? bytes_[byte + i] : 0u);
      }
    }
    return (word << (pos_ & 7)) >> (32 - count);
  }
  void Skip(int count) { pos_ += static_cast<size_t>(count); }
  uint32_t Read(int count) {
    const uint32_t value = Peek(count);
    Skip(count);
    return value;
  }
  bool ReadBit() { return Read(1) != 0; }

  size_t Position() const { return pos_; }
  void Seek(size_t bit) { pos_ = bit; }
  bool Overran() const { return pos_ > bytes_.size() * 8; }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

}  // namespace lumen::audio::mp3
