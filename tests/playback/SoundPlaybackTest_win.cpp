// The player heard for real: a show of numbered frames with stream music plays in reelplayer
// while the sound server's null sink is recorded (see tests/support/SoundRecording_win.h). The
// recording must be reelrender's mix of the same movie, the number on screen must be the frame
// whose music is heard, after a minute too, and Stop must silence it at once. Each frame shows
// its own number in binary as a row of white squares, so the picture says which frame it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "authoring/SoundWriter.h"
#include "authoring/SwfWriter.h"
#include "player/MovieTrailer.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/Process_win.h"
#include "tests/support/SoundRecording_win.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using namespace authoring;

constexpr int kFrameRate = 12;  // a slideshow's rate; a frame lasts 83 ms
constexpr int64_t kFrameSamples = kRecordingRate / kFrameRate;
constexpr int kFrames = kFrameRate * 70;
constexpr int kBits = 11;  // enough to number kFrames
constexpr int kWidth = 480, kHeight = 120;
constexpr int kSquare = 20, kSquareGap = 40, kSquareTop = 50;  // stage pixels
constexpr uint64_t kSecond = kRecordingRate;

// Plucked notes of a pentatonic scale in an order that never repeats within the show, so that
// any stretch of a tenth of a second is found in one place only.
std::vector<int16_t> Music(size_t samples) {
  constexpr int kScale[] = {0, 2, 4, 7, 9, 12, 14, 16, 19, 21};
  constexpr size_t kNote = kRecordingRate * 3 / 20;
  std::vector<int16_t> music(samples);
  uint32_t seed = 12345;
  double frequency = 0;
  for (size_t i = 0; i < samples; ++i) {
    if (i % kNote == 0) {
      seed = seed * 1103515245u + 12345u;
      frequency = 220.0 * std::pow(2.0, kScale[(seed >> 16) % 10] / 12.0);
    }
    const double t = static_cast<double>(i % kNote) / kRecordingRate;
    const double phase = 2 * std::numbers::pi * frequency * t;
    const double level = 9000 * std::exp(-6 * t) * std::min(1.0, t * 400);
    music[i] =
        static_cast<int16_t>(std::lround(level * (std::sin(phase) + 0.3 * std::sin(2 * phase))));
  }
  return music;
}

MatrixSpec SquareAt(int bit) {
  return {.tx = (kSquareGap / 2 + bit * kSquareGap) * 20, .ty = kSquareTop * 20};
}

Bytes NumberedShowWithMusic() {
  Bytes tags;
  SetBackgroundColor(tags, {0x10, 0x18, 0x30});
  ShapeWriter square(1);
  square.Select(0, square.AddSolidFill({0xFF, 0xFF, 0xFF}));
  square.Rectangle(0, 0, kSquare * 20, kSquare * 20);
  const Bytes square_tag = square.Tag(1, 0, kSquare * 20, 0, kSquare * 20);
  tags.insert(tags.end(), square_tag.begin(), square_tag.end());
  SoundStreamHead(tags, SoundFormatByte(3, 3, true, false), kFrameSamples);
  const std::vector<int16_t> music = Music(static_cast<size_t>(kFrames * kFrameSamples));
  for (int frame = 0; frame < kFrames; ++frame) {
    for (int bit = 0; bit < kBits; ++bit) {
      const bool on = (frame >> bit) & 1, was = frame > 0 && ((frame - 1) >> bit) & 1;
      if (on && !was) {
        PlaceSpec place;
        place.depth = static_cast<uint16_t>(10 + bit);
        place.character = 1;
        place.matrix = SquareAt(bit);
        PlaceObject2(tags, place);
      } else if (!on && was) {
        RemoveObject2(tags, static_cast<uint16_t>(10 + bit));
      }
    }
    Bytes block;
    for (int64_t i = 0; i < kFrameSamples; ++i) {
      const auto sample = static_cast<uint16_t>(music[frame * kFrameSamples + i]);
      block.push_back(static_cast<uint8_t>(sample));
      block.push_back(static_cast<uint8_t>(sample >> 8));
    }
    SoundStreamBlock(tags, block);
    if (frame == kFrames - 1) DoAction(tags, Bytes{0x07, 0x00});  // stop
    ShowFrame(tags);
  }
  End(tags);
  MovieSpec spec;
  spec.version = 8;
  spec.frame_count = kFrames;
  spec.frame_rate = kFrameRate << 8;
  spec.x_max = kWidth * 20;
  spec.y_max = kHeight * 20;
  return BuildMovie(spec, tags);
}

// The frame number the squares in a capture of the movie area say; the stage is shown whole and
// centred at the largest scale that fits.
int FrameShown(const std::vector<uint8_t>& rgb, int width, int height) {
  const double scale =
      std::min(static_cast<double>(width) / kWidth, static_cast<double>(height) / kHeight);
  const double left = (width - kWidth * scale) / 2, top = (height - kHeight * scale) / 2;
  int number = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const int x =
        static_cast<int>(left + (kSquareGap / 2 + bit * kSquareGap + kSquare / 2) * scale);
    const int y = static_cast<int>(top + (kSquareTop + kSquare / 2) * scale);
    const uint8_t* pixel = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    if (pixel[0] > 128 && pixel[1] > 128 && pixel[2] > 128) number |= 1 << bit;
  }
  return number;
}

constexpr uint64_t kStretch = 4096;  // frames compared at a time

// Where the stretch of the mix from frame `at` lies in the recording, looked for from `shift`
// (where the stretch before it lay) up to a second later: an underrun delays all that follows.
// Nothing when it is not there, as for a stretch cut by an underrun's gap.
std::optional<int64_t> Find(const std::vector<int16_t>& mix, const std::vector<int16_t>& heard,
                            int64_t at, int64_t shift) {
  if (Correlation(mix, at, heard, at + shift, kStretch) >= 0.9) return shift;
  const Alignment found =
      Align(mix, at, kStretch, heard, shift - 500, shift + static_cast<int64_t>(kSecond));
  if (found.match < 0.9) return std::nullopt;
  return found.shift;
}

// One look at the window: the frame shown, and the recording's length meanwhile.
struct Look {
  int frame;
  uint64_t recorded;
};

// One playing of the show in reelplayer: what was heard from its start to after Stop.
struct Playing {
  std::vector<int16_t> heard;
  uint64_t onset = 0;  // the first sound heard, in frames of `heard`
  std::vector<Look> looks;
  uint64_t stopped = 0;  // when Stop was clicked
};

// Plays `exe` for a minute, looks at the picture five times, then clicks Stop.
std::optional<Playing> PlayForAMinute(SoundRecording& recording, const std::filesystem::path& exe,
                                      const std::filesystem::path& folder) {
  Playing playing;
  const uint64_t begun = recording.Frames();
  PlayerProcess player(exe, folder);
  if (!player.WaitForMainWindow()) return std::nullopt;
  std::optional<uint64_t> onset;
  if (!WaitUntil([&] {
        onset = FirstSound(recording.Read(begun, recording.Frames() - begun), 0, 200);
        return onset.has_value();
      })) {
    return std::nullopt;
  }
  playing.onset = *onset;
  Sleep(60 * 1000);
  for (int i = 0; i < 5; ++i, Sleep(170)) {
    int width = 0, height = 0;
    const uint64_t before = recording.Frames();
    const std::vector<uint8_t> rgb = CaptureWindow(player.MovieWindow(), width, height);
    playing.looks.push_back(
        {FrameShown(rgb, width, height), (before + recording.Frames()) / 2 - begun});
  }
  playing.stopped = recording.Frames() - begun;
  player.Click(player.ButtonCentre(1));
  Sleep(800);
  playing.heard = recording.Read(begun, recording.Frames() - begun);
  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
  return playing;
}

// The mix followed through the recording a second at a time up to the looks: where it lay at
// the start and at the end, and the seconds not found, which a busy machine's underruns cut.
struct Followed {
  int64_t first_shift = 0, shift = 0;
  int stretches = 0, lost = 0;
  bool MachineKeptUp() const { return lost <= 1 + stretches / 20; }
};

std::optional<Followed> Follow(const std::vector<int16_t>& expected, const Playing& playing) {
  const auto expected_onset = FirstSound(expected, 0, 200);
  if (!expected_onset) return std::nullopt;
  // Only Wine's start-up delay lies between the mix and the recording at first.
  const int64_t first_stretch = static_cast<int64_t>(*expected_onset + kSecond / 2);
  const int64_t guess = static_cast<int64_t>(playing.onset) - static_cast<int64_t>(*expected_onset);
  const Alignment start =
      Align(expected, first_stretch, kStretch, playing.heard, guess - 2000, guess + 2000);
  if (start.match <= 0.9) return std::nullopt;
  Followed followed{start.shift, start.shift};
  const int64_t minute_end =
      static_cast<int64_t>(playing.looks.front().recorded) - start.shift - kStretch;
  for (int64_t at = first_stretch; at < minute_end; at += static_cast<int64_t>(kSecond)) {
    const std::optional<int64_t> found = Find(expected, playing.heard, at, followed.shift);
    ++followed.stretches;
    followed.lost += !found;
    if (found) followed.shift = *found;
  }
  return followed;
}

TEST(PlayerSound, TheMusicHeardIsTheMixFollowedByThePictureAndStopSilencesIt) {
  std::optional<SoundRecording> recording = SoundRecording::Open();
  if (!recording) GTEST_SKIP() << "no recording (LUMEN_CAPTURE_FILE): no sound server";
  TempDir dir;
  const auto movie = dir.Write("numbered.swf", NumberedShowWithMusic());
  const auto mix = dir.path() / "mix.wav";
  const auto tools = TestProgramFolder().parent_path();
  ASSERT_TRUE(RunToTheEnd(L"\"" + (tools / "tools" / "reelrender.exe").wstring() + L"\" \"" +
                          movie.wstring() + L"\" --ticks " + std::to_wstring(kFrames) +
                          L" --audio \"" + mix.wstring() + L"\""));
  const std::vector<int16_t> expected = ReadWave(mix);
  ASSERT_GE(expected.size(), static_cast<size_t>(kFrames * kFrameSamples * 2));
  const auto exe = dir.path() / L"Numbered.exe";
  player::AppendMovie(tools / "player" / "reelplayer.exe", movie, exe);

  // A machine too busy to feed the sound server in time cuts gaps into what is heard that no
  // player can see; such a playing says nothing of the player, and it is played once more.
  std::optional<Playing> playing;
  std::optional<Followed> followed;
  for (int attempt = 0; attempt < 2; ++attempt) {
    playing = PlayForAMinute(*recording, exe, dir.path());
    ASSERT_TRUE(playing) << "nothing heard";
    followed = Follow(expected, *playing);
    ASSERT_TRUE(followed) << "the start does not sound like the mix";
    if (followed->MachineKeptUp()) break;
    std::printf("the sound server was starved: %d of %d seconds not heard\n", followed->lost,
                followed->stretches);
  }
  EXPECT_TRUE(followed->MachineKeptUp())
      << followed->lost << " of " << followed->stretches << " seconds not the mix";

  // The frame shown at each look against the music heard just before it.
  int64_t shift = followed->shift;
  int judged = 0;
  for (const Look& look : playing->looks) {
    const int64_t at = static_cast<int64_t>(look.recorded) - shift - kStretch;
    const std::optional<int64_t> found = Find(expected, playing->heard, at, shift);
    if (!found) continue;
    shift = *found;
    ++judged;
    const double heard_frame =
        static_cast<double>(static_cast<int64_t>(look.recorded) - shift) / kFrameSamples;
    // The recorder hands what it hears to its file every 10 ms (its latency setting), so at a
    // look up to that much more may have been heard than the file holds.
    const double heard_by = heard_frame + kRecordingRate / 100.0 / kFrameSamples;
    EXPECT_LE(look.frame - std::floor(heard_by), 1)
        << "frame " << look.frame << " shown while the music of frame " << heard_frame << " to "
        << heard_by << " was heard";
    EXPECT_LE(std::floor(heard_frame) - look.frame, 1)
        << "frame " << look.frame << " shown while the music of frame " << heard_frame
        << " was heard";
    std::printf("frame %d shown while frame %.2f was heard\n", look.frame, heard_frame);
  }
  EXPECT_GE(judged, 3) << "the music before the looks was not found";
  std::printf("the mix heard for %d of %d seconds, %.0f ms later at the end than at the start\n",
              followed->stretches - followed->lost, followed->stretches,
              static_cast<double>(shift - followed->first_shift) * 1000 / kSecond);
  const std::vector<int16_t>& heard = playing->heard;
  const uint64_t stopped = playing->stopped;
  EXPECT_FALSE(Silent(heard, stopped - kSecond / 4, stopped - kSecond / 8, 200))
      << "the music had ended before Stop";
  EXPECT_TRUE(Silent(heard, stopped + kSecond / 10, stopped + kSecond / 2))
      << "sound heard more than 100 ms after Stop";
  uint64_t last_sound = stopped;
  for (uint64_t i = stopped * 2; i < heard.size(); ++i) {
    if (std::abs(heard[i]) > 1) last_sound = i / 2;
  }
  std::printf("silent %.0f ms after Stop was clicked\n",
              static_cast<double>(last_sound - stopped) * 1000 / kSecond);
}

}  // namespace
}  // namespace lumen::testing
