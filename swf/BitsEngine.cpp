#include "swf/BitsEngine.h"

namespace lumen {

uint32_t TBitsEngine::ReadUnsigned(int32_t count) {
  if (count <= 0) return 0;
  if (count > 32) count = 32;
  uint64_t result = 0;
  while (count > pending_count_) {
    result |= static_cast<uint64_t>(pending_bits_) << (count - pending_count_);
    count -= pending_count_;
    pending_bits_ = static_cast<uint8_t>(ReadRawByte());
    pending_count_ = 8;
  }
  result |= static_cast<uint64_t>(pending_bits_ >> (pending_count_ - count));
  pending_count_ = static_cast<uint8_t>(pending_count_ - count);
  pending_bits_ &= static_cast<uint8_t>(0xFFu >> (8 - pending_count_));
  return static_cast<uint32_t>(result);
}

int32_t TBitsEngine::ReadSigned(int32_t count) {
  if (count <= 0) return 0;
  if (count > 32) count = 32;
  uint32_t value = ReadUnsigned(count);
  if (count < 32 && (value >> (count - 1)) & 1u) value |= ~0u << count;
  return static_cast<int32_t>(value);
}

uint32_t TBitsEngine::ReadRawByte() {
  uint8_t byte = 0;
  source_.Read(&byte, 1);
  return byte;
}

uint16_t TBitsEngine::ReadRawWord() {
  uint8_t bytes[2] = {0, 0};
  source_.Read(bytes, 2);
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void TBitsEngine::ReadFrameRect(TRect& rect) {
  const auto n = static_cast<int32_t>(ReadUnsigned(5));
  const int32_t x_min = ReadSigned(n);
  const int32_t x_max = ReadSigned(n);
  const int32_t y_min = ReadSigned(n);
  const int32_t y_max = ReadSigned(n);
  DropPendingBits();
  rect = {x_min, y_min, x_max, y_max};
}

void TBitsEngine::DropPendingBits() {
  pending_bits_ = 0;
  pending_count_ = 0;
}

}  // namespace lumen
