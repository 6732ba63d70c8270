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

  struct Decoded {
    int value;   // x * 16 + y for a pair book, the 4-bit quadruple for a quad book
    int length;  // the code's bits
  };
  static constexpr int kLongestCode = 19;  // of all the layer III books

  // The code at the top of `window`, the next kLongestCode bits of the stream: each level of
  // tables indexes its part of it, so the stream is read once for a code and its sign bits.
  Decoded Lookup(uint32_t window) const {
    const Entry* table = entries_.data();
    int used = 0;
    int table_bits = kRootBits;
    for (;;) {
      const uint32_t index =
          (window >> (kLongestCode - used - table_bits)) & ((1u << table_bits) - 1);
      const Entry entry = table[index];
      if (entry.length > 0) return {entry.value, used + entry.length};
      used += table_bits;
      table = entries_.data() + entry.value;
      table_bits = -entry.length;
    }
  }

  int Decode(BitReader& bits) const {
    const Decoded code = Lookup(bits.Peek(kLongestCode));
    bits.Skip(code.length);
    return code.value;
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
