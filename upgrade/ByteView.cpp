#include "upgrade/ByteView.h"

namespace lumen::upgrade {

std::span<const uint8_t> ByteView::Slice(uint64_t offset, uint64_t count) const {
  if (!Has(offset, count)) throw FormatError(outside_);
  return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
}

uint16_t ByteView::U16(uint64_t offset) const {
  const auto b = Slice(offset, 2);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}

uint32_t ByteView::U32(uint64_t offset) const {
  const auto b = Slice(offset, 4);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

void PutU16(std::span<uint8_t> bytes, uint64_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::span<uint8_t> bytes, uint64_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace lumen::upgrade
