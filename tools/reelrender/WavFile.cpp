#include "tools/reelrender/WavFile.h"

#include <fstream>
#include <limits>
#include <vector>

namespace lumen::tools {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void PutTag(std::vector<uint8_t>& out, const char* tag) {
  out.insert(out.end(), tag, tag + 4);
}

}  // namespace

bool WriteWav(const std::filesystem::path& path, std::span<const int16_t> stereo) {
  constexpr uint32_t kRate = 44100, kChannels = 2, kBytesPerFrame = 4;
  // A RIFF size is 32 bits: longer recordings are cut at what it can say.
  constexpr size_t kMaxSamples = (std::numeric_limits<uint32_t>::max() - 64) / 2;
  if (stereo.size() > kMaxSamples) stereo = stereo.first(kMaxSamples & ~size_t{1});
  const auto data_bytes = static_cast<uint32_t>(stereo.size() * 2);
  std::vector<uint8_t> head;
  PutTag(head, "RIFF");
  Put32(head, 36 + data_bytes);
  PutTag(head, "WAVE");
  PutTag(head, "fmt ");
  Put32(head, 16);
  Put16(head, 1);  // PCM
  Put16(head, kChannels);
  Put32(head, kRate);
  Put32(head, kRate * kBytesPerFrame);
  Put16(head, kBytesPerFrame);
  Put16(head, 16);
  PutTag(head, "data");
  Put32(head, data_bytes);
  std::vector<uint8_t> body;
  body.reserve(data_bytes);
  for (const int16_t sample : stereo) Put16(body, static_cast<uint16_t>(sample));
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  out.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
  return static_cast<bool>(out);
}

}  // namespace lumen::tools
