// What the comparison with ffmpeg leaves out: PCM's layouts, G.711 against the standard's values,
// and the decoders' behaviour on cut, hostile and interleaved input.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "audio/codecs/AdpcmDecoder.h"
#include "audio/codecs/G711Decoder.h"
#include "audio/codecs/NellymoserBitAllocation.h"
#include "audio/codecs/NellymoserDecoder.h"
#include "audio/codecs/PcmDecoder.h"
#include "tests/audio/codecs/DecodeAll.h"

namespace lumen::audio {
namespace {

using Bytes = std::vector<uint8_t>;
using Samples = std::vector<int16_t>;
using testing::DecodeAll;

SoundFormat Format(Codec codec, bool sixteen_bit, bool stereo, uint32_t rate = 22050) {
  SoundFormat format;
  format.codec = codec;
  format.sixteen_bit = sixteen_bit;
  format.stereo = stereo;
  format.rate = rate;
  return format;
}

TEST(PcmDecoderTest, EightBitIsBiasedAndSixteenBitLittleEndian) {
  PcmDecoder eight(Format(Codec::PcmNative, false, true));
  EXPECT_EQ(DecodeAll(eight, {{0x00, 0x80, 0xFF, 0x81, 0x7F}}),
            (Samples{-32768, 0, 32512, 256}));  // the odd byte is half a stereo frame
  EXPECT_EQ(eight.Channels(), 2);
  EXPECT_EQ(eight.Rate(), 22050u);

  PcmDecoder sixteen(Format(Codec::PcmLittle, true, false));
  EXPECT_EQ(DecodeAll(sixteen, {{0x34, 0x12, 0x00, 0x80, 0xFF}, {0xFF, 0xFF}}),
            (Samples{0x1234, -32768, -1}));  // each span drops its own partial frame
}

TEST(PcmDecoderTest, EmitsAtMost1024FramesACall) {
  PcmDecoder decoder(Format(Codec::PcmLittle, true, true));
  const Bytes bytes(2500 * 4, 0x11);
  decoder.Feed(bytes);
  std::vector<size_t> sizes;
  for (Samples out; decoder.DecodeNext(out); out.clear()) sizes.push_back(out.size());
  EXPECT_EQ(sizes, (std::vector<size_t>{2048, 2048, 904}));
}

// Values from the G.711 expansion tables, as 16-bit samples (A-law x8, µ-law x4).
TEST(G711Test, ExpandsToTheStandardsValues) {
  EXPECT_EQ(ExpandMuLaw(0x00), -32124);
  EXPECT_EQ(ExpandMuLaw(0x80), 32124);
  EXPECT_EQ(ExpandMuLaw(0xFF), 0);
  EXPECT_EQ(ExpandMuLaw(0x7F), 0);
  EXPECT_EQ(ExpandMuLaw(0xEF), 4 * 33);  // segment 1's first value (14-bit units), step 4
  EXPECT_EQ(ExpandMuLaw(0xDF), 4 * 99);  // segment 2's first value, step 8
  EXPECT_EQ(ExpandALaw(0xD5), 8);
  EXPECT_EQ(ExpandALaw(0x55), -8);
  EXPECT_EQ(ExpandALaw(0xAA), 32256);
  EXPECT_EQ(ExpandALaw(0x2A), -32256);
  EXPECT_EQ(ExpandALaw(0xC5), 8 * 33);  // segment 1's first value (13-bit units), step 2
  EXPECT_EQ(ExpandALaw(0xF5), 8 * 66);  // segment 2's first value, step 4
}

TEST(G711Test, PositiveCodesRiseStrictlyAndNegativesMirrorThem) {
  int last_alaw = 0;
  int last_mulaw = -1;
  for (int magnitude = 0; magnitude < 128; ++magnitude) {
    const uint8_t alaw = static_cast<uint8_t>((0x80 | magnitude) ^ 0x55);
    const uint8_t mulaw = static_cast<uint8_t>(0xFF - magnitude);
    EXPECT_GT(ExpandALaw(alaw), last_alaw);
    EXPECT_GT(ExpandMuLaw(mulaw), last_mulaw);
    EXPECT_EQ(ExpandALaw(alaw ^ 0x80), -ExpandALaw(alaw));
    EXPECT_EQ(ExpandMuLaw(mulaw ^ 0x80), -ExpandMuLaw(mulaw));
    last_alaw = ExpandALaw(alaw);
    last_mulaw = ExpandMuLaw(mulaw);
  }
}

TEST(G711Test, DecoderKeepsStereoFramesWhole) {
  G711Decoder decoder(Format(Codec::ALaw, false, true, 8000));
  EXPECT_EQ(DecodeAll(decoder, {{0xD5, 0x55, 0xAA}}), (Samples{8, -8}));
}

// Big-endian bit packing of (value, width) fields, as ADPCM streams are laid out.
Bytes PackBits(const std::vector<std::pair<uint32_t, int>>& fields) {
  Bytes bytes;
  int used = 8;
  for (const auto& [value, width] : fields) {
    for (int bit = width - 1; bit >= 0; --bit) {
      if (used == 8) bytes.push_back(0), used = 0;
      bytes.back() |= static_cast<uint8_t>(((value >> bit) & 1) << (7 - used++));
    }
  }
  return bytes;
}

TEST(AdpcmDecoderTest, HeaderSampleComesFirstAndStereoInterleaves) {
  // 4-bit codes; left starts at 1000 with step 7, right at -5 with step 16 (index 8).
  const Bytes span = PackBits(
      {{2, 2}, {1000, 16}, {0, 6}, {0xFFFB, 16}, {8, 6}, {0x7, 4}, {0xC, 4}, {0x0, 4}, {0x8, 4}});
  AdpcmDecoder decoder(Format(Codec::Adpcm, true, true));
  // Left: magnitude 7 = 4+2+1 adds 7 + 3 + 1 + (7 >> 3 = 0); its index moves 0 + 8 = 8 (step 16),
  // where magnitude 0 adds 16 >> 3. Right: 0xC is minus magnitude 4, 16 + (16 >> 3); its index
  // moves 8 + 2 = 10 (step 19), where minus 0 takes 19 >> 3.
  EXPECT_EQ(DecodeAll(decoder, {span}), (Samples{1000, -5, 1011, -23, 1013, -25}));
}

TEST(AdpcmDecoderTest, StepIndexAndSampleSaturate) {
  std::vector<std::pair<uint32_t, int>> fields = {{3, 2}, {32000, 16}, {63, 6}};
  for (int i = 0; i < 20; ++i) fields.push_back({0x0F, 5});  // up, largest magnitude
  for (int i = 0; i < 20; ++i) fields.push_back({0x1F, 5});  // down
  AdpcmDecoder decoder(Format(Codec::Adpcm, true, false));
  const Samples out = DecodeAll(decoder, {PackBits(fields)});
  ASSERT_EQ(out.size(), 41u);
  EXPECT_EQ(out[1], 32767);
  EXPECT_EQ(out[20], 32767);
  EXPECT_EQ(out[40], -32768);
  // Index 63 + 16 + 16 reaches the top step, 32767, whose bits sum to 32767 + 15 / 16.
  EXPECT_EQ(out[22], std::max(-32768, out[21] - 32767 - 2047));
}

TEST(AdpcmDecoderTest, ShortSpansAreSkippedAndFeedingResumes) {
  AdpcmDecoder decoder(Format(Codec::Adpcm, true, false));
  Samples out;
  const Bytes tiny = {0x80, 0x01};  // a code size and 14 bits: no whole header
  decoder.Feed(tiny);
  EXPECT_FALSE(decoder.DecodeNext(out));
  const Bytes header_only = PackBits({{0, 2}, {1234, 16}, {5, 6}});  // just 3 bytes
  decoder.Feed(tiny);
  decoder.Feed(header_only);
  EXPECT_TRUE(decoder.DecodeNext(out));
  EXPECT_FALSE(decoder.DecodeNext(out));
  EXPECT_EQ(out, Samples{1234});
}

TEST(AdpcmDecoderTest, PacketsRestartEvery4095Codes) {
  std::vector<std::pair<uint32_t, int>> fields = {{0, 2}, {100, 16}, {0, 6}};
  for (int i = 0; i < AdpcmDecoder::kCodesPerPacket; ++i) fields.push_back({0, 2});
  fields.insert(fields.end(), {{0xFF00, 16}, {10, 6}, {3, 2}, {0, 2}});
  AdpcmDecoder decoder(Format(Codec::Adpcm, true, false));
  const Bytes span = PackBits(fields);
  decoder.Feed(span);
  Samples first;
  Samples second;
  ASSERT_TRUE(decoder.DecodeNext(first));
  ASSERT_TRUE(decoder.DecodeNext(second));
  EXPECT_EQ(first.size(), 4096u);
  EXPECT_GT(first.back(), 100);
  // Index 10 (step 19): minus 19 + 9; then index 12 (step 23): plus 11.
  EXPECT_EQ(second, (Samples{-256, -284, -273}));
}

Bytes RandomBytes(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (uint8_t& byte : bytes)
    byte = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  return bytes;
}

TEST(NellymoserTest, AllocationStaysWithinTheBudget) {
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    const Bytes header = RandomBytes(15, seed);
    nellymoser::LineLevels levels;
    int level = nellymoser::kFirstLevels[header[0] & 63];
    int line = 0;
    for (int band = 0; band < nellymoser::kBands; ++band) {
      if (band > 0)
        level += nellymoser::kLevelSteps[header[band % 15] & 31] / static_cast<int>(seed % 3 + 1);
      for (int i = 0; i < nellymoser::kBandWidths[band]; ++i) levels[line++] = level;
    }
    const nellymoser::LineBits bits = nellymoser::AllocateBits(levels);
    SCOPED_TRACE(seed);
    EXPECT_LE(std::accumulate(bits.begin(), bits.end(), 0), nellymoser::kDetailBits);
    EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](int b) { return b >= 0 && b <= 6; }));
  }
}

TEST(NellymoserTest, WholeBlocksOnlyAndMonoDoubledForStereo) {
  const Bytes bytes = RandomBytes(64 * 2 + 40, 5);
  NellymoserDecoder mono(SoundFormat::FromByte(0x52));
  const Samples once = DecodeAll(mono, {bytes});
  EXPECT_EQ(once.size(), 512u);
  EXPECT_EQ(mono.Rate(), 8000u);

  NellymoserDecoder stereo(Format(Codec::Nellymoser, true, true, 11025));
  const Samples doubled = DecodeAll(stereo, {bytes});
  ASSERT_EQ(doubled.size(), 1024u);
  for (size_t i = 0; i < once.size(); ++i) {
    EXPECT_EQ(doubled[2 * i], once[i]);
    EXPECT_EQ(doubled[2 * i + 1], once[i]);
  }
}

TEST(NellymoserTest, HostileBlocksGiveBoundedRepeatableSamples) {
  for (const uint8_t fill : {0x00, 0xFF, 0x3F, 0xC0}) {
    const Bytes block(64 * 3, fill);
    NellymoserDecoder first(SoundFormat::FromByte(0x42));
    NellymoserDecoder second(SoundFormat::FromByte(0x42));
    const Samples out = DecodeAll(first, {block});
    EXPECT_EQ(out.size(), 768u);
    EXPECT_EQ(out, DecodeAll(second, {block}));
  }
  // Highest levels everywhere saturate rather than overflow.
  NellymoserDecoder loud(SoundFormat::FromByte(0x42));
  const Samples out = DecodeAll(loud, {Bytes(64, 0xFF)});
  EXPECT_TRUE(
      std::any_of(out.begin(), out.end(), [](int16_t s) { return s == 32767 || s == -32768; }));
}

}  // namespace
}  // namespace lumen::audio
