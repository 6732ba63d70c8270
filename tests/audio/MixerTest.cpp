// The mixer with PCM sounds, whose samples are known exactly: rates, cuts, loops, the start
// rules, volume and pan, envelopes and streams made of blocks.

#include "audio/Mixer.h"

#include <gtest/gtest.h>

#include <vector>

#include "audio/SoundFeeds.h"

namespace lumen::audio {
namespace {

// 16-bit little-endian mono PCM of `samples`.
std::vector<uint8_t> Pcm(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes;
  for (const int16_t s : samples) {
    bytes.push_back(static_cast<uint8_t>(s));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return bytes;
}

SoundDefinition Sound(const std::vector<uint8_t>& data, uint32_t rate, uint16_t id = 1) {
  SoundDefinition sound;
  sound.id = id;
  sound.format.codec = Codec::PcmLittle;
  sound.format.rate = rate;
  sound.format.sixteen_bit = true;
  sound.data = data;
  sound.sample_count = static_cast<uint32_t>(data.size() / 2);
  return sound;
}

std::vector<int16_t> Mix(Mixer& mixer, size_t frames) {
  std::vector<int16_t> out(frames * 2);
  mixer.Mix(out);
  return out;
}

std::vector<int16_t> Left(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> left;
  for (size_t i = 0; i < stereo.size(); i += 2) left.push_back(stereo[i]);
  return left;
}

TEST(MixerTest, QuarterRateSoundIsInterpolatedToFourTimesItsLength) {
  const auto data = Pcm({0, 4000, 8000, -8000});
  Mixer mixer;
  ASSERT_TRUE(mixer.StartEvent(Sound(data, 11025), {}, 0));
  const auto left = Left(Mix(mixer, 20));
  const std::vector<int16_t> want = {0, 1000,  2000,  3000,  4000,  5000,  6000, 7000, 8000, 4000,
                                     0, -4000, -8000, -6000, -4000, -2000, 0,    0,    0,    0};
  EXPECT_EQ(left, want);
  EXPECT_EQ(mixer.Playing(), 0u);
}

TEST(MixerTest, CutsLoopsAndStartRules) {
  std::vector<int16_t> ramp;
  for (int i = 0; i < 100; ++i) ramp.push_back(static_cast<int16_t>(i * 100));
  const auto data = Pcm(ramp);
  const SoundDefinition sound = Sound(data, 44100);
  Mixer mixer;
  SoundInfo info;
  info.in_point = 10;
  info.out_point = 14;
  info.loops = 3;
  ASSERT_TRUE(mixer.StartEvent(sound, info, 0));
  const auto left = Left(Mix(mixer, 14));
  const std::vector<int16_t> want = {1000, 1100, 1200, 1300, 1000, 1100, 1200,
                                     1300, 1000, 1100, 1200, 1300, 0,    0};
  EXPECT_EQ(left, want);

  SoundInfo once;
  once.no_multiple = true;
  ASSERT_TRUE(mixer.StartEvent(sound, {}, 0));
  EXPECT_FALSE(mixer.StartEvent(sound, once, 0));
  SoundInfo stop;
  stop.sync_stop = true;
  mixer.StartEvent(sound, stop, 0);
  EXPECT_FALSE(mixer.SoundPlaying(1));
  for (size_t i = 0; i < Mixer::kMaxVoices; ++i) ASSERT_TRUE(mixer.StartEvent(sound, {}, 0));
  EXPECT_FALSE(mixer.StartEvent(sound, {}, 0));
}

TEST(MixerTest, TransformsOfTheClipAndTheMovieMultiply) {
  const auto data = Pcm({20000, 20000});
  Mixer mixer;
  mixer.StartEvent(Sound(data, 44100), {}, 7);
  SoundTransform both_right;  // the left input moves over to the right
  both_right.left_to_left = 0;
  both_right.left_to_right = 100;
  both_right.right_to_right = 50;
  mixer.SetTransform(7, both_right);
  SoundTransform half;
  half.volume = 50;
  mixer.SetTransform(0, half);
  const auto out = Mix(mixer, 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 15000);  // (20000 + 20000 / 2) / 2
}

TEST(MixerTest, EnvelopeRampsBetweenItsPoints) {
  const auto data = Pcm(std::vector<int16_t>(8, 16000));
  Mixer mixer;
  SoundInfo info;
  info.envelope = {{0, 0, 32768}, {4, 32768, 0}};
  mixer.StartEvent(Sound(data, 44100), info, 0);
  const auto out = Mix(mixer, 6);
  const std::vector<int16_t> want = {0,     16000, 4000,  12000, 8000,  8000,
                                     12000, 4000,  16000, 0,     16000, 0};
  EXPECT_EQ(out, want);
}

TEST(MixerTest, StreamBlocksJoinAndFramesWithoutOnesArePassedOver) {
  const auto a = Pcm({1, 2}), b = Pcm({3, 4});
  const std::vector<std::span<const uint8_t>> blocks = {a, {}, b};
  StreamHead head;
  head.format = Sound(a, 44100).format;
  Mixer mixer;
  ASSERT_TRUE(mixer.StartStream(head, std::make_unique<BlockFeed>(blocks, 0), {0, 5, 5}));
  EXPECT_EQ(Left(Mix(mixer, 5)), (std::vector<int16_t>{1, 2, 3, 4, 0}));
  EXPECT_EQ(mixer.StreamPosition(5), 0u);
  EXPECT_FALSE(mixer.StreamPlaying(5));
}

TEST(MixerTest, LoudSoundsTogetherClipInsteadOfWrappingAround) {
  const auto data = Pcm({30000, -30000});
  Mixer mixer;
  mixer.StartEvent(Sound(data, 44100), {}, 0);
  mixer.StartEvent(Sound(data, 44100), {}, 0);
  const auto left = Left(Mix(mixer, 2));
  EXPECT_EQ(left, (std::vector<int16_t>{32767, -32768}));
}

}  // namespace
}  // namespace lumen::audio
