#include "tests/support/SoundRecording_win.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace lumen::testing {

std::optional<SoundRecording> SoundRecording::Open() {
  const char* path = std::getenv("LUMEN_CAPTURE_FILE");
  if (!path || !*path) return std::nullopt;
  SoundRecording recording(std::string("Z:") + path);
  if (recording.Frames() == 0) return std::nullopt;
  return recording;
}

uint64_t SoundRecording::Frames() const {
  std::ifstream in(path_, std::ios::binary | std::ios::ate);
  return in ? static_cast<uint64_t>(in.tellg()) / 4 : 0;
}

std::vector<int16_t> SoundRecording::Read(uint64_t from, uint64_t count) const {
  std::ifstream in(path_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from * 4));
  std::vector<int16_t> samples(count * 2);
  in.read(reinterpret_cast<char*>(samples.data()),
          static_cast<std::streamsize>(samples.size() * 2));
  samples.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)) / 4 * 2);
  return samples;
}

std::vector<int16_t> ReadWave(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  char head[44] = {};
  if (!in.read(head, sizeof head) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0 || std::memcmp(head + 36, "data", 4) != 0) {
    return {};
  }
  uint32_t bytes = 0;
  std::memcpy(&bytes, head + 40, 4);
  std::vector<int16_t> samples(bytes / 4 * 2);
  in.read(reinterpret_cast<char*>(samples.data()),
          static_cast<std::streamsize>(samples.size() * 2));
  samples.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)) / 4 * 2);
  return samples;
}

double Correlation(std::span<const int16_t> a, int64_t a_from, std::span<const int16_t> b,
                   int64_t b_from, uint64_t frames, int channel) {
  const auto fits = [frames](std::span<const int16_t> s, int64_t from) {
    return from >= 0 && (static_cast<uint64_t>(from) + frames) * 2 <= s.size();
  };
  if (!fits(a, a_from) || !fits(b, b_from)) return 0;
  double both = 0, mine = 0, theirs = 0;
  for (uint64_t i = 0; i < frames; ++i) {
    const double x = a[(static_cast<uint64_t>(a_from) + i) * 2 + channel];
    const double y = b[(static_cast<uint64_t>(b_from) + i) * 2 + channel];
    both += x * y;
    mine += x * x;
    theirs += y * y;
  }
  return mine > 0 && theirs > 0 ? both / std::sqrt(mine * theirs) : 0;
}

Alignment Align(std::span<const int16_t> sound, int64_t from, uint64_t frames,
                std::span<const int16_t> recorded, int64_t first, int64_t last) {
  Alignment best{first, -1};
  for (int64_t shift = first; shift <= last; ++shift) {
    const double match = Correlation(sound, from, recorded, from + shift, frames);
    if (match > best.match) best = {shift, match};
  }
  return best;
}

bool Silent(std::span<const int16_t> recorded, uint64_t from, uint64_t to, int limit) {
  if (to * 2 > recorded.size() || from > to) return false;
  return std::all_of(recorded.begin() + static_cast<std::ptrdiff_t>(from * 2),
                     recorded.begin() + static_cast<std::ptrdiff_t>(to * 2),
                     [limit](int16_t sample) { return std::abs(sample) <= limit; });
}

std::optional<uint64_t> FirstSound(std::span<const int16_t> samples, uint64_t from, int limit) {
  for (uint64_t i = from * 2; i < samples.size(); ++i) {
    if (std::abs(samples[i]) > limit) return i / 2;
  }
  return std::nullopt;
}

}  // namespace lumen::testing
