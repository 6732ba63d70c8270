#include "audio/mp3/Huffman.h"

#include <algorithm>
#include <array>
#include <memory>

namespace lumen::audio::mp3 {

HuffmanDecoder::HuffmanDecoder(const CodeBook& book, Kind kind) {
  std::vector<Code> codes;
  const int count = kind == Kind::Quad ? 16 : book.size * book.size;
  for (int i = 0; i < count; ++i) {
    const int value = kind == Kind::Quad ? i : (i / book.size) * 16 + i % book.size;
    codes.push_back({book.codes[i], book.lengths[i], value});
  }
  Build(codes, 0, kRootBits);
}

// Fills a table of 2^table_bits entries for the codes whose first `consumed` bits are already
// read; codes longer than the table get a finer table for each of their prefixes.
int HuffmanDecoder::Build(const std::vector<Code>& codes, int consumed, int table_bits) {
  const int offset = static_cast<int>(entries_.size());
  entries_.resize(entries_.size() + (size_t{1} << table_bits));
  std::vector<std::vector<Code>> longer(size_t{1} << table_bits);
  for (const Code& code : codes) {
    const int rest = code.length - consumed;
    if (rest <= table_bits) {
      const uint32_t prefix = (code.bits & ((1u << rest) - 1)) << (table_bits - rest);
      for (uint32_t fill = 0; fill < (1u << (table_bits - rest)); ++fill) {
        entries_[offset + (prefix | fill)] = {static_cast<int16_t>(code.value),
                                              static_cast<int8_t>(rest)};
      }
    } else {
      longer[(code.bits >> (rest - table_bits)) & ((1u << table_bits) - 1)].push_back(code);
    }
  }
  for (size_t slot = 0; slot < longer.size(); ++slot) {
    if (longer[slot].empty()) continue;
    int longest = 0;
    for (const Code& code : longer[slot]) longest = std::max(longest, code.length);
    const int next_bits = std::min(longest - consumed - table_bits, kRootBits);
    const int next = Build(longer[slot], consumed + table_bits, next_bits);
    entries_[offset + slot] = {static_cast<int16_t>(next), static_cast<int8_t>(-next_bits)};
  }
  return offset;
}

namespace {

struct Decoders {
  std::array<std::unique_ptr<HuffmanDecoder>, 32> pairs;
  std::array<std::unique_ptr<HuffmanDecoder>, 2> quads;

  Decoders() {
    for (int t = 0; t < 32; ++t) {
      // Tables sharing a book share the decoder.
      if (kPairTables[t].book.size == 0) continue;
      if (t > 16 && t < 24) continue;
      if (t > 24) continue;
      pairs[t] = std::make_unique<HuffmanDecoder>(kPairTables[t].book, HuffmanDecoder::Kind::Pair);
    }
    quads[0] = std::make_unique<HuffmanDecoder>(kQuadBooks[0], HuffmanDecoder::Kind::Quad);
    quads[1] = std::make_unique<HuffmanDecoder>(kQuadBooks[1], HuffmanDecoder::Kind::Quad);
  }
};

const Decoders& AllDecoders() {
  static const Decoders decoders;
  return decoders;
}

}  // namespace

const HuffmanDecoder* PairDecoder(int table) {
  const Decoders& all = AllDecoders();
  if (table > 16 && table < 24) return all.pairs[16].get();
  if (table > 24) return all.pairs[24].get();
  return all.pairs[table].get();
}

const HuffmanDecoder& QuadDecoder(int table) {
  return *AllDecoders().quads[table];
}

}  // namespace lumen::audio::mp3
