#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "authoring/Mp3Stream.h"
#include "authoring/MusicSynth.h"
#include "authoring/Slideshow.h"
#include "tools/reelrender/MovieRunner.h"
#ifdef LUMEN_HAVE_LAME
#include "tools/make_sample/LameEncoder.h"
#endif

namespace lumen::authoring {
namespace {

// Four slides of a quarter second each and transitions of half that: a loop of three seconds.
SlideshowSpec ShortShow() {
  SlideshowSpec spec;
  spec.width = 96;
  spec.height = 72;
  spec.slides = 4;
  spec.still_frames = 12;
  spec.transition_frames = 6;
  spec.captions = false;
  spec.compressed = false;
  return spec;
}

int LoopFrames(const SlideshowSpec& spec) {
  return spec.slides * (spec.still_frames + spec.transition_frames);
}

std::set<int> TransitionFrames(const SlideshowSpec& spec) {
  std::set<int> frames;
  for (int i = 0; i < spec.slides; ++i) {
    frames.insert(i * (spec.still_frames + spec.transition_frames) + spec.still_frames);
  }
  return frames;
}

// Energy of the fourth difference per movie frame of a stereo loop: it weighs the chime's top
// partial (over 5 kHz) some hundred times above the melody's brightest one.
std::vector<double> BrightEnergy(std::span<const int16_t> loop, int frames, int frame_rate) {
  std::vector<double> energy(static_cast<size_t>(frames));
  const auto at = [&](int64_t n, int c) {
    const auto size = static_cast<int64_t>(loop.size() / 2);
    return static_cast<double>(loop[static_cast<size_t>(((n % size + size) % size) * 2 + c)]);
  };
  constexpr double kBinomial[5] = {1, -4, 6, -4, 1};
  for (int f = 0; f < frames; ++f) {
    for (int64_t n = FrameSample(f, frame_rate); n < FrameSample(f + 1, frame_rate); ++n) {
      for (int c = 0; c < 2; ++c) {
        double d = 0;
        for (int i = 0; i < 5; ++i) d += kBinomial[i] * at(n - i, c);
        energy[static_cast<size_t>(f)] += d * d;
      }
    }
  }
  return energy;
}

// Frames whose bright energy is twenty times the frame's before, the loop taken as circular: a
// chime's onset is a hundredfold, a melody note's a few times.
std::set<int> Strikes(std::span<const int16_t> loop, int frames, int frame_rate) {
  const std::vector<double> energy = BrightEnergy(loop, frames, frame_rate);
  std::set<int> strikes;
  for (int f = 0; f < frames; ++f) {
    if (energy[static_cast<size_t>(f)] >
        20 * energy[static_cast<size_t>((f + frames - 1) % frames)]) {
      strikes.insert(f);
    }
  }
  return strikes;
}

// The longest run of 1 ms windows whose RMS is under -50 dB of full scale.
int LongestQuietMs(std::span<const int16_t> stereo) {
  constexpr size_t kWindow = 44 * 2;
  int longest = 0, run = 0;
  for (size_t at = 0; at + kWindow <= stereo.size(); at += kWindow) {
    double sum = 0;
    for (size_t i = at; i < at + kWindow; ++i) sum += static_cast<double>(stereo[i]) * stereo[i];
    run = std::sqrt(sum / kWindow) < 104 ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  return longest;
}

void ExpectStrikesAtTransitions(const std::set<int>& strikes, const SlideshowSpec& spec) {
  const std::set<int> transitions = TransitionFrames(spec);
  const auto near = [](const std::set<int>& frames, int f) {
    return frames.count(f - 1) + frames.count(f) + frames.count(f + 1) > 0;
  };
  for (int t : transitions) EXPECT_TRUE(near(strikes, t)) << "no chime at frame " << t;
  for (int s : strikes) EXPECT_TRUE(near(transitions, s)) << "a chime at frame " << s;
}

TEST(Music, IsOneLoopOfTheShowWithAChimeAtEachTransition) {
  const SlideshowSpec spec = ShortShow();
  const std::vector<int16_t> music = SlideshowMusic(spec);
  ASSERT_EQ(music.size(), size_t(2 * FrameSample(LoopFrames(spec), spec.frame_rate)));
  EXPECT_LE(LongestQuietMs(music), 3);
  ExpectStrikesAtTransitions(Strikes(music, LoopFrames(spec), spec.frame_rate), spec);

  SlideshowSpec empty = spec;
  empty.still_frames = empty.transition_frames = 0;
  EXPECT_THROW(SlideshowMusic(empty), std::invalid_argument);
  SlideshowSpec endless = spec;
  endless.still_frames = 1 << 30;
  EXPECT_THROW(SlideshowMusic(endless), std::invalid_argument);
}

// A frame of 128 kbps: its header (padded or not) and zeros.
std::vector<uint8_t> FakeFrame(bool padded, uint8_t channel_byte = 0x64) {
  std::vector<uint8_t> frame(padded ? 418 : 417);
  frame[0] = 0xFF;
  frame[1] = 0xFB;  // MPEG-1 Layer III, no CRC
  frame[2] = padded ? 0x92 : 0x90;
  frame[3] = channel_byte;
  return frame;
}

std::vector<uint8_t> FakeStream(int frames) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < frames; ++i) {
    const auto frame = FakeFrame(i % 3 == 1);
    bytes.insert(bytes.end(), frame.begin(), frame.end());
  }
  return bytes;
}

TEST(Mp3Stream, SplitsWholeFramesAndRefusesAnythingElse) {
  const std::vector<uint8_t> stream = FakeStream(5);
  const auto frames = SplitMp3Frames(stream);
  ASSERT_TRUE(frames);
  ASSERT_EQ(frames->size(), 5u);
  EXPECT_EQ((*frames)[1].size(), 418u);
  EXPECT_EQ((*frames)[4].data() + (*frames)[4].size(), stream.data() + stream.size());

  EXPECT_FALSE(SplitMp3Frames({}));
  EXPECT_FALSE(SplitMp3Frames(std::span(stream).first(stream.size() - 1)));  // cut short
  for (size_t cut = 1; cut < 4; ++cut) {
    EXPECT_FALSE(SplitMp3Frames(std::span(stream).first(417 + cut)));  // a header cut short
  }
  std::vector<uint8_t> junk = {0};
  junk.insert(junk.end(), stream.begin(), stream.end());
  EXPECT_FALSE(SplitMp3Frames(junk));
  for (const auto& [index, value] :
       std::vector<std::pair<size_t, uint8_t>>{{1, 0xF3},     // MPEG-2
                                               {1, 0xFD},     // Layer II
                                               {2, 0x94},     // 48 kHz
                                               {2, 0x00},     // free format
                                               {2, 0xF0},     // a bad bitrate
                                               {3, 0xC4}}) {  // one channel
    std::vector<uint8_t> bad = stream;
    bad[417 + index] = value;
    EXPECT_FALSE(SplitMp3Frames(bad)) << index << " " << int{value};
  }
}

struct Block {
  int frame;  // the movie frame, from 0
  uint16_t sample_count;
  int16_t seek;
  std::span<const uint8_t> data;
};

// The stream head's fields and every block with the frame it lies in; the movie uncompressed.
struct StreamTags {
  int head_frame = -1;
  uint16_t samples_per_frame = 0;
  int16_t latency = 0;
  std::vector<Block> blocks;
  int frames = 0;
};

StreamTags ReadStream(std::span<const uint8_t> movie) {
  StreamTags tags;
  const size_t rect_bits = 5 + 4 * (movie[8] >> 3);
  size_t at = 8 + (rect_bits + 7) / 8 + 4;
  while (at + 2 <= movie.size()) {
    const int head = movie[at] | movie[at + 1] << 8;
    at += 2;
    size_t length = head & 0x3F;
    if (length == 0x3F) {
      length = movie[at] | movie[at + 1] << 8 | movie[at + 2] << 16 | size_t{movie[at + 3]} << 24;
      at += 4;
    }
    if (length > movie.size() - at) {
      ADD_FAILURE() << "a tag runs past the end";
      break;
    }
    const auto body = movie.subspan(at, length);
    at += length;
    const auto u16 = [&](size_t i) { return static_cast<uint16_t>(body[i] | body[i + 1] << 8); };
    if (head >> 6 == 1) ++tags.frames;
    if (head >> 6 == 45) {
      tags.head_frame = tags.frames;
      tags.samples_per_frame = u16(2);
      tags.latency = static_cast<int16_t>(u16(4));
    }
    if (head >> 6 == 19) {
      tags.blocks.push_back({tags.frames, u16(0), static_cast<int16_t>(u16(2)), body.subspan(4)});
    }
  }
  return tags;
}

TEST(Mp3Stream, EachFrameCarriesTheMp3FramesThatBringTheSoundToItsEnd) {
  SlideshowSpec spec = ShortShow();
  spec.slides = 2;
  spec.still_frames = 3;
  spec.transition_frames = 2;
  spec.music_delay = 1105;
  // Enough for the first six frames only: the seventh takes the last, the rest carry none.
  spec.music_mp3 = FakeStream(12);
  const auto movie = BuildSlideshow(spec);
  const StreamTags tags = ReadStream(movie);
  EXPECT_EQ(tags.head_frame, 0);
  EXPECT_EQ(tags.samples_per_frame, 1838);
  EXPECT_EQ(tags.latency, 1105);
  ASSERT_EQ(tags.blocks.size(), 10u);
  int64_t delivered = 0;
  std::vector<uint8_t> joined;
  for (int k = 0; k < 10; ++k) {
    const Block& block = tags.blocks[static_cast<size_t>(k)];
    EXPECT_EQ(block.frame, k);
    const auto frames = SplitMp3Frames(block.data);
    const size_t count = frames ? frames->size() : 0;
    EXPECT_TRUE(frames || block.data.empty());
    EXPECT_EQ(block.sample_count, count * 1152);
    const int64_t needed = 1105 + ((k + 1) * 44100 + 23) / 24;
    if (count > 0) {
      EXPECT_EQ(block.seek, 1105 + k * 44100 / 24 - delivered);
      EXPECT_LT(delivered + int64_t(count - 1) * 1152, needed)
          << "frame " << k << " carries too much";
    }
    delivered += block.sample_count;
    if (k < 6) {
      EXPECT_GE(delivered, needed) << "frame " << k << " carries too little";
    }
    joined.insert(joined.end(), block.data.begin(), block.data.end());
  }
  EXPECT_EQ(joined, spec.music_mp3);
  EXPECT_EQ(tags.blocks[9].sample_count, 0);

  spec.music_mp3 = FakeStream(3);
  spec.music_mp3[0] = 0;
  EXPECT_THROW(BuildSlideshow(spec), std::invalid_argument);
}

#ifdef LUMEN_HAVE_LAME
TEST(Music, PlaysThroughTheEngineInStepWithThePicturesAndLoopsSeamlessly) {
  SlideshowSpec spec = ShortShow();
  const std::vector<int16_t> music = SlideshowMusic(spec);
  auto mp3 = tools::EncodeMp3Loop(music);
  ASSERT_TRUE(mp3);
  spec.music_mp3 = std::move(mp3->bytes);
  spec.music_delay = mp3->delay;
  auto loaded = movie::LoadMovie(BuildSlideshow(spec));
  ASSERT_TRUE(loaded.movie) << loaded.error;
  tools::RunOptions options;
  options.record_audio = true;
  tools::MovieRunner runner(loaded.movie, options);
  const int frames = LoopFrames(spec);
  runner.RunTicks(static_cast<size_t>(2 * frames), {});
  const std::span<const int16_t> audio = runner.Audio();
  ASSERT_EQ(audio.size(), 2 * music.size());
  const auto first = audio.first(music.size()), second = audio.subspan(music.size());
  EXPECT_TRUE(std::equal(first.begin(), first.end(), second.begin()));

  // What plays is the piece itself, not shifted by the codec's delay: within 20 dB of it.
  double signal = 0, error = 0;
  for (size_t i = 0; i < music.size(); ++i) {
    signal += static_cast<double>(music[i]) * music[i];
    error +=
        (static_cast<double>(first[i]) - music[i]) * (static_cast<double>(first[i]) - music[i]);
  }
  EXPECT_LT(error, signal / 100);
  EXPECT_LE(LongestQuietMs(first), 3);
  ExpectStrikesAtTransitions(Strikes(first, frames, spec.frame_rate), spec);

  // The frames either side of the join are no brighter than the piece there (the codec's low-pass
  // makes them darker): a click where an encode starts or stops would brighten them.
  const std::vector<double> played = BrightEnergy(audio, 2 * frames, spec.frame_rate);
  const std::vector<double> piece = BrightEnergy(music, frames, spec.frame_rate);
  EXPECT_LE(played[static_cast<size_t>(frames - 1)], piece[static_cast<size_t>(frames - 1)]);
  EXPECT_LE(played[static_cast<size_t>(frames)], piece[0]);
}
#else
TEST(Music, PlaysThroughTheEngineInStepWithThePicturesAndLoopsSeamlessly) {
  GTEST_SKIP() << "no MP3 encoder in this build";
}
#endif

}  // namespace
}  // namespace lumen::authoring
