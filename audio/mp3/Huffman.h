#pragma once

// Multi-level lookup tables for the layer III code books: a few bits index a table whose entry is
// either a decoded value with its code length or a link to a finer table for longer codes.

#include <cstdint>
#include <vector>

#include "audio/mp3/BitReader.h"
#include "audio/mp3/HuffmanCodes.h"

namespace lumen::audio::mp3 {

class HuffmanDecoder {
 public:
  enum class Kind { Pair, Quad };
  HuffmanDecoder(const CodeBook& book, Kind kind);

  // The next code's value: x * 16 + y for a pair book, the 4-bit quadruple for a quad book.
  int Decode(BitReader& bits) const {
    const Entry* table = entries_.data();
    int table_bits = kRootBits;
    for (;;) {
      const Entry entry = table[bits.Peek(table_bits)];
      if (entry.length > 0) {
        bits.Skip(entry.length);
        return entry.value;
      }
      bits.Skip(table_bits);
      table = entries_.data() + entry.value;
      table_bits = -entry.length;
    }
  }

 private:
  // A leaf: length > 0 bits to consume (relative to this level) and the value. A link: length is
  // minus the next level's index bits and value is its offset.
  struct Entry {
    int16_t value = 0;
    int8_t length = 0;
  };
  struct Code {
    uint32_t bits;
    int length;
    int value;
  };
  static constexpr int kRootBits = 7;

  int Build(const std::vector<Code>& codes, int consumed, int table_bits);

  std::vector<Entry> entries_;
};

// The decoders for the 32 pair tables (empty for the unused ones) and the two quadruple books.
const HuffmanDecoder* PairDecoder(int table);
const HuffmanDecoder& QuadDecoder(int table);

}  // namespace lumen::audio::mp3
