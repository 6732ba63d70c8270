// The waveOut device, heard for real: under Wine with the private PulseAudio server of
// scripts/wine-env.sh, the fixture wave_out_capture.sh records the server's null sink while this
// program plays, and the cases read that recording back (LUMEN_CAPTURE_FILE) and find their
// signal in it by content, since Wine starts late by an unknown time. Without a server the
// recording cases skip. Failures of the device are made by a fake winmm.

#include "audio/WaveOutDevice_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/SoundRecording_win.h"

namespace lumen::audio {
namespace {

constexpr uint64_t kSecond = kOutputRate;
constexpr uint64_t kChirpFrames = 2 * kSecond;
constexpr int kAmplitude = 12000;

double Seconds() {
  LARGE_INTEGER now, rate;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&rate);
  return static_cast<double>(now.QuadPart) / static_cast<double>(rate.QuadPart);
}

// A linear chirp every two seconds, rising on the left and falling on the right, so that any
// stretch of it is found in one place of the recording and swapped channels show.
const std::vector<int16_t>& ChirpTable() {
  static const std::vector<int16_t> table = [] {
    std::vector<int16_t> samples(kChirpFrames * 2);
    for (uint64_t frame = 0; frame < kChirpFrames; ++frame) {
      const double t = static_cast<double>(frame) / kOutputRate;
      for (int channel = 0; channel < 2; ++channel) {
        const double from = channel == 0 ? 200 : 3000, to = channel == 0 ? 4000 : 300;
        const double cycles = from * t + (to - from) * t * t / 4;  // swept over 2 s
        samples[frame * 2 + channel] =
            static_cast<int16_t>(std::lround(kAmplitude * std::cos(2 * std::numbers::pi * cycles)));
      }
    }
    return samples;
  }();
  return table;
}

int16_t Chirp(uint64_t frame, int channel) {
  return ChirpTable()[(frame % kChirpFrames) * 2 + channel];
}

class ChirpSource final : public SampleSource {
 public:
  // Once it has given `stall_at` frames, one Fill sleeps `stall_ms`.
  explicit ChirpSource(uint64_t stall_at = UINT64_MAX, DWORD stall_ms = 0)
      : stall_at_(stall_at), stall_ms_(stall_ms) {}

  void Fill(std::span<int16_t> out) override {
    if (frames_ >= stall_at_) {
      Sleep(stall_ms_);
      stall_at_ = UINT64_MAX;
    }
    for (size_t i = 0; i + 1 < out.size(); i += 2, ++frames_) {
      out[i] = Chirp(frames_, 0);
      out[i + 1] = Chirp(frames_, 1);
    }
    calls_.fetch_add(1);
  }
  int calls() const { return calls_.load(); }
  // Read once the device has stopped calling Fill.
  uint64_t frames() const { return frames_; }

 private:
  uint64_t stall_at_;
  DWORD stall_ms_;
  uint64_t frames_ = 0;
  std::atomic<int> calls_{0};
};

// Wine loses the first few milliseconds of a new stream; matches start after them.
constexpr uint64_t kStartLost = kSecond / 40;

// How well `frames` frames of the chirp from `from` match the recording, where source frame f
// was recorded at f + shift, for one channel: the normalized cross-correlation.
double Match(const std::vector<int16_t>& recorded, int64_t shift, uint64_t from, uint64_t frames,
             int channel) {
  const int64_t at = static_cast<int64_t>(from) + shift;
  if (at < 0 || (static_cast<uint64_t>(at) + frames) * 2 > recorded.size()) return 0;
  double both = 0, mine = 0, theirs = 0;
  for (uint64_t i = 0; i < frames; ++i) {
    const double a = Chirp(from + i, channel), b = recorded[(at + i) * 2 + channel];
    both += a * b;
    mine += a * a;
    theirs += b * b;
  }
  return theirs > 0 ? both / std::sqrt(mine * theirs) : 0;
}

// The shift in [first, last) at which `frames` frames of the chirp from `from` best match.
int64_t Find(const std::vector<int16_t>& recorded, uint64_t from, uint64_t frames, int64_t first,
             int64_t last) {
  int64_t best = first;
  double best_match = -1;
  for (int64_t shift = first; shift < last; ++shift) {
    const double match = Match(recorded, shift, from, frames, 0);
    if (match > best_match) {
      best_match = match;
      best = shift;
    }
  }
  return best;
}

// The shift of the chirp's start: its first loud frame is one of its first.
std::optional<int64_t> FindStart(const std::vector<int16_t>& recorded) {
  for (size_t i = 0; i < recorded.size(); i += 2) {
    if (std::abs(recorded[i]) > kAmplitude / 4) {
      const int64_t onset = static_cast<int64_t>(i / 2);
      return Find(recorded, kStartLost, 4096, onset - 2 * kStartLost, onset + 64);
    }
  }
  return std::nullopt;
}

struct Hearing {
  double whole = 0;  // the share of 20 ms pieces heard unaltered, on both channels
  int64_t slip = 0;  // how much later the last piece came than the first
};

// Follows the chirp from `from` to `to` through the recording piece by piece. A piece may come
// later than the one before it (an underrun, also one inside Wine on a busy machine), never
// earlier; a piece cut by such a gap is not whole.
Hearing Hear(const std::vector<int16_t>& recorded, int64_t shift, uint64_t from, uint64_t to) {
  constexpr uint64_t kPiece = kSecond / 50;
  Hearing hearing;
  int whole = 0, pieces = 0;
  const int64_t first = shift;
  for (uint64_t piece = from; piece + kPiece <= to; piece += kPiece, ++pieces) {
    if (Match(recorded, shift, piece, kPiece, 0) < 0.99) {
      const int64_t later = Find(recorded, piece, kPiece, shift, shift + kSecond / 3);
      if (Match(recorded, later, piece, kPiece, 0) >= 0.99) shift = later;
    }
    whole += Match(recorded, shift, piece, kPiece, 0) >= 0.99 &&
             Match(recorded, shift, piece, kPiece, 1) >= 0.99;
  }
  hearing.whole = pieces > 0 ? static_cast<double>(whole) / pieces : 0;
  hearing.slip = shift - first;
  return hearing;
}

struct Reading {
  double seconds;
  uint64_t frames;
};

// Plays the chirp until the device has counted `frames`, reading its clock every few ms.
std::vector<Reading> PlayUntil(WaveOutDevice& device, uint64_t frames) {
  std::vector<Reading> readings;
  const double deadline = Seconds() + 10;
  do {
    Sleep(5);
    readings.push_back({Seconds(), device.PlayedFrames()});
  } while (readings.back().frames < frames && readings.back().seconds < deadline);
  return readings;
}

bool Monotonic(const std::vector<Reading>& readings) {
  return std::is_sorted(readings.begin(), readings.end(),
                        [](const Reading& a, const Reading& b) { return a.frames < b.frames; });
}

class WaveOutHeard : public ::testing::Test {
 protected:
  void SetUp() override {
    recording_ = testing::SoundRecording::Open();
    if (!recording_) GTEST_SKIP() << "no recording (LUMEN_CAPTURE_FILE): no sound server";
    begun_ = recording_->Frames();
  }
  // Everything recorded since SetUp, once the recorder has caught up with the last sound.
  std::vector<int16_t> Recorded() const {
    Sleep(500);
    return recording_->Read(begun_, recording_->Frames() - begun_);
  }
  std::optional<testing::SoundRecording> recording_;
  uint64_t begun_ = 0;
};

TEST_F(WaveOutHeard, PlaysWhatWasFilledCountsItAtTheRealRateAndStopsAtOnce) {
  ChirpSource source;
  WaveOutDevice device;
  ASSERT_TRUE(device.Start(source));
  const std::vector<Reading> readings = PlayUntil(device, kChirpFrames + kSecond / 4);
  device.Stop();
  const uint64_t heard = device.PlayedFrames();
  const int calls = source.calls();

  EXPECT_TRUE(Monotonic(readings));
  const auto moving = std::find_if(readings.begin(), readings.end(),
                                   [](const Reading& reading) { return reading.frames > 0; });
  ASSERT_LT(moving + 1, readings.end());
  const double rate = static_cast<double>(readings.back().frames - moving->frames) /
                      (readings.back().seconds - moving->seconds);
  EXPECT_NEAR(rate, kOutputRate, kOutputRate * 0.03);

  const std::vector<int16_t> recorded = Recorded();
  const std::optional<int64_t> start = FindStart(recorded);
  ASSERT_TRUE(start) << "nothing heard in " << recorded.size() / 2 << " frames";
  const Hearing hearing = Hear(recorded, *start, kStartLost, kChirpFrames);
  EXPECT_GT(hearing.whole, 0.95);
  EXPECT_LT(hearing.slip, static_cast<int64_t>(kSecond / 20));
  // The clock counts what was heard: sound shortly before it, and 100 ms after it silence.
  // (Under Wine it runs up to 100 ms ahead of what reached the sink.)
  const uint64_t stopped = static_cast<uint64_t>(*start + static_cast<int64_t>(heard));
  EXPECT_FALSE(testing::Silent(recorded, stopped - kSecond / 4, stopped - kSecond / 5));
  EXPECT_TRUE(testing::Silent(recorded, stopped + kSecond / 10, stopped + kSecond / 4));
  Sleep(50);
  EXPECT_EQ(source.calls(), calls);
}

TEST_F(WaveOutHeard, HealsAnUnderrun) {
  ChirpSource source(kSecond / 2, 250);
  WaveOutDevice device;
  ASSERT_TRUE(device.Start(source));
  const std::vector<Reading> readings = PlayUntil(device, 3 * kSecond / 2);
  device.Stop();
  EXPECT_TRUE(Monotonic(readings));
  // The clock counts what was heard, not the silence of the gap.
  EXPECT_LE(device.PlayedFrames(), source.frames());

  const std::vector<int16_t> recorded = Recorded();
  const std::optional<int64_t> start = FindStart(recorded);
  ASSERT_TRUE(start) << "nothing heard in " << recorded.size() / 2 << " frames";
  // After half a second the chirp comes late by the gap of the stall, and whole.
  const Hearing hearing = Hear(recorded, *start, kStartLost, 5 * kSecond / 4);
  EXPECT_GT(hearing.whole, 0.95);
  EXPECT_GT(hearing.slip, static_cast<int64_t>(kSecond / 10));
  EXPECT_LT(hearing.slip, static_cast<int64_t>(kSecond / 3));
}

// An eager driver: it takes every buffer at once, and hears at the wall's pace what it was given.
class FakeWaveOut final : public WaveOutApi {
 public:
  UINT devices = 1;
  bool open_fails = false;
  uint32_t first_sample = 0;
  std::atomic<bool> writes_fail{false}, position_fails{false}, closed{false};
  std::atomic<uint64_t> most_ahead{0};

  UINT NumDevs() override { return devices; }
  MMRESULT Open(HWAVEOUT* out, const WAVEFORMATEX&, HANDLE event) override {
    if (open_fails) return MMSYSERR_BADDEVICEID;
    *out = reinterpret_cast<HWAVEOUT>(this);
    event_ = event;
    opened_ = Seconds();
    return MMSYSERR_NOERROR;
  }
  MMRESULT Prepare(HWAVEOUT, WAVEHDR& header) override {
    header.dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Unprepare(HWAVEOUT, WAVEHDR& header) override {
    header.dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Write(HWAVEOUT, WAVEHDR& header) override {
    if (writes_fail) return MMSYSERR_NODRIVER;
    given_ += header.dwBufferLength / 4;
    most_ahead = std::max<uint64_t>(most_ahead, given_ - Heard());
    header.dwFlags |= WHDR_DONE;
    SetEvent(event_);
    return MMSYSERR_NOERROR;
  }
  MMRESULT Pause(HWAVEOUT) override { return MMSYSERR_NOERROR; }
  MMRESULT Restart(HWAVEOUT) override { return MMSYSERR_NOERROR; }
  MMRESULT Reset(HWAVEOUT) override { return MMSYSERR_NOERROR; }
  MMRESULT Close(HWAVEOUT) override {
    closed = true;
    return MMSYSERR_NOERROR;
  }
  MMRESULT Position(HWAVEOUT, MMTIME& time) override {
    if (position_fails) return MMSYSERR_NODRIVER;
    time.u.sample = first_sample + static_cast<uint32_t>(Heard());
    return MMSYSERR_NOERROR;
  }

 private:
  uint64_t Heard() const {
    return std::min<uint64_t>(given_, std::llround((Seconds() - opened_) * kOutputRate));
  }
  HANDLE event_ = nullptr;
  double opened_ = 0;
  std::atomic<uint64_t> given_{0};
};

TEST(WaveOutDevice, WithoutADeviceStartAnswersFalseAtOnce) {
  for (const bool no_devices : {true, false}) {
    FakeWaveOut api;
    api.devices = no_devices ? 0 : 1;
    api.open_fails = true;
    ChirpSource source;
    WaveOutDevice device(api);
    const double began = Seconds();
    EXPECT_FALSE(device.Start(source));
    EXPECT_LT(Seconds() - began, 0.5);
    EXPECT_EQ(device.PlayedFrames(), 0u);
    device.Stop();
    EXPECT_EQ(source.calls(), 0);
  }
}

TEST(WaveOutDevice, CountsOnAcrossTheDeviceCounterWrapAndKeepsWithinTheLatencyBound) {
  FakeWaveOut api;
  api.first_sample = 0xFFFFFFFFu - kSecond / 4;
  ChirpSource source;
  WaveOutDevice device(api);
  ASSERT_TRUE(device.Start(source));
  const std::vector<Reading> readings = PlayUntil(device, kSecond / 2);
  EXPECT_TRUE(Monotonic(readings));
  EXPECT_GE(readings.back().frames, kSecond / 2);
  EXPECT_LT(readings.back().frames, kSecond);
  EXPECT_LE(api.most_ahead, WaveOutDevice::kMaxAheadFrames);
}

// The device fails mid-play (unplugged): it closes itself, the source is left alone and the clock
// goes on from the wall.
TEST(WaveOutDevice, ALostDeviceClosesAndTheClockRunsOn) {
  for (const bool in_write : {true, false}) {
    FakeWaveOut api;
    ChirpSource source;
    WaveOutDevice device(api);
    ASSERT_TRUE(device.Start(source));
    const uint64_t before = PlayUntil(device, kSecond / 5).back().frames;
    (in_write ? api.writes_fail : api.position_fails) = true;
    std::vector<Reading> readings = PlayUntil(device, before + kSecond / 20);
    const double deadline = Seconds() + 1;
    while (!api.closed && Seconds() < deadline) Sleep(5);
    EXPECT_TRUE(api.closed) << in_write;
    const int calls = source.calls();
    const Reading lost = readings.back();
    Sleep(300);
    readings.push_back({Seconds(), device.PlayedFrames()});
    EXPECT_TRUE(Monotonic(readings)) << in_write;
    EXPECT_NEAR(static_cast<double>(readings.back().frames - lost.frames),
                (readings.back().seconds - lost.seconds) * kOutputRate, kOutputRate * 0.01)
        << in_write;
    EXPECT_EQ(source.calls(), calls) << in_write;
    device.Stop();
  }
}

}  // namespace
}  // namespace lumen::audio
