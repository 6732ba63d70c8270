// What the conformance comparison does not reach: how fed spans join, damaged input, a reservoir
// that reaches before the first fed frame, channel conversion and the rate before decoding.
#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/mp3/FrameHeader.h"
#include "audio/mp3/Mp3Decoder.h"
#include "tests/audio/mp3/Mp3TestStreams.h"

namespace lumen::audio {
namespace {

using mp3test::Encoding;

// Each frame of a well-formed stream as its own span.
std::vector<std::span<const uint8_t>> Frames(const std::vector<uint8_t>& mp3) {
  std::vector<std::span<const uint8_t>> frames;
  size_t pos = 0;
  while (pos < mp3.size()) {
    const auto header = mp3::FrameHeader::Parse(std::span(mp3).subspan(pos));
    if (!header) break;
    const size_t length = std::min<size_t>(header->FrameBytes(), mp3.size() - pos);
    frames.push_back(std::span(mp3).subspan(pos, length));
    pos += length;
  }
  return frames;
}

std::vector<int16_t> Decode(Mp3Decoder& decoder, int* units = nullptr) {
  std::vector<int16_t> out;
  int count = 0;
  while (decoder.DecodeNext(out)) ++count;
  if (units != nullptr) *units = count;
  return out;
}

std::vector<int16_t> DecodeWhole(const std::vector<uint8_t>& mp3, int channels) {
  Mp3Decoder decoder(channels);
  decoder.Feed(mp3);
  return Decode(decoder);
}

const std::vector<uint8_t>& StereoStream() {
  static const std::vector<uint8_t> mp3 = mp3test::Encode({"stereo", 44100, JOINT_STEREO, 128});
  return mp3;
}

TEST(Mp3Decoder, FramesFedOneSpanEachJoinLikeOneSpan) {
  const std::vector<uint8_t>& mp3 = StereoStream();
  const auto frames = Frames(mp3);
  ASSERT_GT(frames.size(), 50u);
  Mp3Decoder decoder(2);
  std::vector<int16_t> joined;
  // Fed and decoded alternately, as stream blocks arrive.
  for (const auto& frame : frames) {
    decoder.Feed(frame);
    ASSERT_TRUE(decoder.DecodeNext(joined));
    EXPECT_FALSE(decoder.DecodeNext(joined));
  }
  EXPECT_EQ(joined, DecodeWhole(mp3, 2));
}

TEST(Mp3Decoder, SkipsGarbageAndTruncatedFrames) {
  const std::vector<uint8_t>& mp3 = StereoStream();
  const auto frames = Frames(mp3);
  std::vector<uint8_t> damaged(700, 0xFF);  // sync bits everywhere, but no valid header
  uint32_t seed = 7;
  for (size_t i = 0; i < frames.size(); ++i) {
    damaged.insert(damaged.end(), frames[i].begin(), frames[i].end());
    if (i % 10 == 5) {
      for (int k = 0; k < 37; ++k) {
        seed = seed * 1664525u + 1013904223u;
        damaged.push_back(static_cast<uint8_t>(seed >> 24));
      }
    }
  }
  // A frame cut short at the end is dropped whole.
  damaged.insert(damaged.end(), frames[3].begin(), frames[3].begin() + 100);
  Mp3Decoder decoder(2);
  decoder.Feed(damaged);
  int units = 0;
  const std::vector<int16_t> out = Decode(decoder, &units);
  EXPECT_EQ(units, static_cast<int>(frames.size()));
  EXPECT_EQ(out.size(), frames.size() * 1152 * 2);

  // A valid header at every fourth byte, with garbage between: decoding ends.
  std::vector<uint8_t> headers;
  for (int i = 0; i < 20000; ++i) headers.insert(headers.end(), {0xFF, 0xFB, 0xE0, 0x44});
  Mp3Decoder hostile(2);
  hostile.Feed(headers);
  std::vector<int16_t> none;
  int count = 0;
  while (hostile.DecodeNext(none) && count < 100000) ++count;
  EXPECT_LT(count, 100000);
}

TEST(Mp3Decoder, ReservoirBeforeTheFirstFedFrameGivesSilenceOfTheFrameLength) {
  const std::vector<uint8_t>& mp3 = StereoStream();
  const auto frames = Frames(mp3);
  // Start at a frame whose main data begins in the frame before it.
  size_t first = 10;
  while (first < frames.size() && (frames[first][4] | (frames[first][5] & 0x80)) == 0) ++first;
  ASSERT_LT(first, frames.size());
  Mp3Decoder decoder(2);
  for (size_t i = first; i < frames.size(); ++i) decoder.Feed(frames[i]);
  std::vector<int16_t> out;
  ASSERT_TRUE(decoder.DecodeNext(out));
  ASSERT_EQ(out.size(), 1152u * 2);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](int16_t s) { return s == 0; }));
  const std::vector<int16_t> rest = Decode(decoder);
  EXPECT_EQ(rest.size(), (frames.size() - first - 1) * 1152 * 2);
  EXPECT_TRUE(std::any_of(rest.begin(), rest.end(), [](int16_t s) { return std::abs(s) > 1000; }));
}

TEST(Mp3Decoder, ConvertsBetweenMonoAndStereo) {
  const std::vector<int16_t> stereo = DecodeWhole(StereoStream(), 2);
  const std::vector<int16_t> averaged = DecodeWhole(StereoStream(), 1);
  ASSERT_EQ(averaged.size() * 2, stereo.size());
  for (size_t i = 0; i < averaged.size(); ++i) {
    const int mean = (stereo[2 * i] + stereo[2 * i + 1]) / 2;
    ASSERT_LE(std::abs(averaged[i] - mean), 1) << i;
  }
  const std::vector<uint8_t> mono_mp3 = mp3test::Encode({"mono", 22050, MONO, 32});
  const std::vector<int16_t> mono = DecodeWhole(mono_mp3, 1);
  const std::vector<int16_t> doubled = DecodeWhole(mono_mp3, 2);
  ASSERT_EQ(doubled.size(), mono.size() * 2);
  for (size_t i = 0; i < mono.size(); ++i) {
    ASSERT_EQ(doubled[2 * i], mono[i]);
    ASSERT_EQ(doubled[2 * i + 1], mono[i]);
  }
}

TEST(Mp3Decoder, AnswersTheRateBeforeTheFirstFrame) {
  Mp3Decoder empty(2);
  EXPECT_EQ(empty.Rate(), 44100u);
  const std::vector<uint8_t> mp3 = mp3test::Encode({"lsf", 11025, MONO, 16});
  Mp3Decoder decoder(1);
  decoder.Feed(mp3);
  EXPECT_EQ(decoder.Rate(), 11025u);
  std::vector<int16_t> out;
  ASSERT_TRUE(decoder.DecodeNext(out));
  EXPECT_EQ(out.size(), 576u);
  EXPECT_EQ(decoder.Rate(), 11025u);
}

}  // namespace
}  // namespace lumen::audio
