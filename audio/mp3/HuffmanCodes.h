#pragma once

// The layer III code books: for each (x, y) pair, or (v, w, x, y) quadruple, its code word.

#include <cstdint>

namespace lumen::audio::mp3 {

struct CodeBook {
  int size;               // values per coordinate; 0 for a table that does not exist
  const uint16_t* codes;  // size * size entries (16 for a quadruple book)
  const uint8_t* lengths;
};

struct PairTable {
  CodeBook book;
  int linbits;  // extra bits after an escape value of 15
};

extern const PairTable kPairTables[32];
extern const CodeBook kQuadBooks[2];

}  // namespace lumen::audio::mp3
