#pragma once

#include <cstdint>

#include "stream/Stream.h"

namespace lumen {

// A rectangle in the layout of the Windows RECT: left, top, right, bottom.
struct TRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// Reads bit fields (most significant bit first), bytes and little-endian words from a borrowed
// stream. Bytes missing at the end of the stream read as 0.
class TBitsEngine {
 public:
  explicit TBitsEngine(Stream& source) : source_(source) {}

  uint32_t ReadUnsigned(int32_t count);
  int32_t ReadSigned(int32_t count);
  uint32_t ReadRawByte();
  uint16_t ReadRawWord();
  // One bit-packed rectangle (XMin, XMax, YMin, YMax in stream order), then the pending bits
  // dropped.
  void ReadFrameRect(TRect& rect);
  void DropPendingBits();

  uint8_t PendingBits() const { return pending_bits_; }
  uint8_t PendingCount() const { return pending_count_; }

 private:
  Stream& source_;
  uint8_t pending_bits_ = 0;
  uint8_t pending_count_ = 0;
};

}  // namespace lumen
