// The allocation is water-filling in fixed point: lines get round((3/4 level - offset) / 2^shift)
// bits, clamped to 0..6, and the offset is searched (a secant-like stride, then bisection, at most
// 19 trials) until the total is kDetailBits or the closest found. The arithmetic must match the
// encoder's bit for bit, including where it keeps values in 16 bits; 64-bit intermediates stand in
// wherever 32 bits could overflow on hostile levels, and 32-bit wrap-around is made explicit.
#include "audio/codecs/NellymoserBitAllocation.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace lumen::audio::nellymoser {
namespace {

// The fixed gains of the offset search.
constexpr int64_t kOffsetScale = 4228;
constexpr int kOffsetShift = 19;
constexpr int kSearchSteps = 19;

int32_t Wrap32(int64_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int64_t ShiftSigned(int64_t value, int shift) {
  return shift > 0 ? value * (int64_t{1} << shift) : value >> -shift;
}

int FloorLog2(uint32_t value) {
  int log = 0;
  while (value >>= 1) ++log;
  return log;
}

// The left shift that brings `value` to 30 significant bits (31 for zero), applied to it.
int Normalize(int32_t& value) {
  if (value == 0) return 31;
  const uint32_t magnitude = static_cast<uint32_t>(std::abs(int64_t{value}));
  const int shift = std::max(0, 30 - FloorLog2(magnitude));
  value = Wrap32(int64_t{value} << shift);
  return shift;
}

struct Scaled {
  std::array<int16_t, kCoefficients> lines;
  int shift;  // of one bit in `lines` units
  int64_t first_offset;
};

int LineBitsAt(int16_t line, int64_t offset, int shift) {
  const int64_t bits = (((line - offset) >> (shift - 1)) + 1) >> 1;
  return static_cast<int>(std::clamp<int64_t>(bits, 0, kMaxBits));
}

// The encoder's search keeps the offset in 16 bits while it counts.
int TotalBits(const Scaled& scaled, int64_t offset) {
  const int16_t offset16 = static_cast<int16_t>(offset);
  int total = 0;
  for (const int16_t line : scaled.lines) total += LineBitsAt(line, offset16, scaled.shift);
  return total;
}

Scaled Scale(const LineLevels& levels) {
  int32_t peak = std::max(0, *std::max_element(levels.begin(), levels.end()));
  const int shift = Normalize(peak) - 16;
  Scaled scaled;
  int64_t sum = 0;
  for (int i = 0; i < kCoefficients; ++i) {
    const int16_t line = static_cast<int16_t>(ShiftSigned(levels[i], shift));
    scaled.lines[i] = static_cast<int16_t>((3 * line) >> 2);
    sum += scaled.lines[i];
  }
  scaled.shift = shift + 11;
  int32_t excess = Wrap32(sum - (int64_t{kDetailBits} << scaled.shift));
  const int excess_shift = Normalize(excess);
  const int64_t offset = (kOffsetScale * (excess >> 16)) >> 15;
  scaled.first_offset = ShiftSigned(offset, 12 - excess_shift);
  return scaled;
}

// The offset step the search starts with, from how far the first guess missed.
int64_t FirstStride(int miss, int line_shift) {
  int64_t stride = miss;
  int doublings = 0;
  for (; std::abs(stride) <= 16383; ++doublings) stride *= 2;
  stride = (stride * kOffsetScale) >> 15;
  return ShiftSigned(stride, line_shift - (kOffsetShift + doublings - 15));
}

struct Search {
  int64_t offset;
  int total;
};

Search FindOffset(const Scaled& scaled) {
  int64_t offset = scaled.first_offset;
  int total = TotalBits(scaled, offset);
  if (total == kDetailBits) return {offset, total};

  const int64_t stride = FirstStride(total - kDetailBits, scaled.shift);
  int64_t last_offset = offset;
  int last_total = total;
  int step = 1;
  for (; step <= kSearchSteps; ++step) {
    last_offset = offset;
    last_total = total;
    offset += stride;
    total = TotalBits(scaled, offset);
    if ((total - kDetailBits) * (last_total - kDetailBits) <= 0) break;
  }
  Search low = total > kDetailBits ? Search{last_offset, last_total} : Search{offset, total};
  Search high = total > kDetailBits ? Search{offset, total} : Search{last_offset, last_total};
  for (; total != kDetailBits && step <= kSearchSteps; ++step) {
    const int64_t middle = (high.offset + low.offset) >> 1;
    total = TotalBits(scaled, middle);
    (total > kDetailBits ? high : low) = {middle, total};
  }
  return std::abs(high.total - kDetailBits) >= std::abs(low.total - kDetailBits) ? low : high;
}

}  // namespace

LineBits AllocateBits(const LineLevels& levels) {
  const Scaled scaled = Scale(levels);
  const Search found = FindOffset(scaled);
  LineBits bits;
  for (int i = 0; i < kCoefficients; ++i) {
    bits[i] = LineBitsAt(scaled.lines[i], found.offset, scaled.shift);
  }
  if (found.total > kDetailBits) {
    // Too many: the lines past the budget lose theirs.
    int spent = 0;
    int i = 0;
    while (spent < kDetailBits) spent += bits[i++];
    bits[i - 1] -= spent - kDetailBits;
    std::fill(bits.begin() + i, bits.end(), 0);
  }
  return bits;
}

}  // namespace lumen::audio::nellymoser
