#pragma once

// What the private sound server of the Wine runs heard: a CTest fixture
// (tests/audio/wave_out_capture.sh) records the monitor of its null sink into a file while a test
// program runs, and names the file in LUMEN_CAPTURE_FILE. The file grows in real time, so its
// length is also a clock: the frame being recorded now. Sounds are found in it by content
// (normalised cross-correlation), since Wine starts a stream late by an unknown time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumen::testing {

constexpr uint64_t kRecordingRate = 44100;

class SoundRecording {
 public:
  // Nothing without a recorder (no sound server): the recording cases skip then.
  static std::optional<SoundRecording> Open();

  // Frames recorded so far, from the recorder's start.
  uint64_t Frames() const;
  // Interleaved stereo frames [from, from + count), fewer when the recording is shorter.
  std::vector<int16_t> Read(uint64_t from, uint64_t count) const;

 private:
  explicit SoundRecording(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// The interleaved stereo samples of a 44.1 kHz 16-bit WAVE file; empty when it is not one.
std::vector<int16_t> ReadWave(const std::filesystem::path& path);

// The normalised cross-correlation of `frames` frames of one channel of two interleaved stereo
// signals, `a` from frame `a_from` and `b` from `b_from`; 0 where either runs out or is silent.
double Correlation(std::span<const int16_t> a, int64_t a_from, std::span<const int16_t> b,
                   int64_t b_from, uint64_t frames, int channel = 0);

struct Alignment {
  int64_t shift = 0;  // frame f of the sound lies at frame f + shift of the recording
  double match = 0;   // the correlation there
};

// Where `frames` frames of `sound` from `from` best match `recorded`, trying every shift in
// [first, last].
Alignment Align(std::span<const int16_t> sound, int64_t from, uint64_t frames,
                std::span<const int16_t> recorded, int64_t first, int64_t last);

// No sample in frames [from, to) is louder than `limit`; false when the recording is shorter.
bool Silent(std::span<const int16_t> recorded, uint64_t from, uint64_t to, int limit = 1);

// The first frame from `from` louder than `limit` on either channel.
std::optional<uint64_t> FirstSound(std::span<const int16_t> samples, uint64_t from, int limit);

}  // namespace lumen::testing
