#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace lumen::tools {

// Writes 44.1 kHz stereo 16-bit samples as a RIFF WAVE file; false when it cannot be written.
bool WriteWav(const std::filesystem::path& path, std::span<const int16_t> stereo);

}  // namespace lumen::tools
