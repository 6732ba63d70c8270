#pragma once

// MP3 encoding with libmp3lame, for the host tools that build movies (never the Windows
// programs).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace lumen::tools {

struct EncodedMp3 {
  std::vector<uint8_t> bytes;  // MPEG-1 Layer III frames, no tag frame in front
  int delay = 0;               // decoded samples before the first input sample
};

// One loop of a sound that repeats, 44.1 kHz stereo interleaved, encoded at a constant 128 kbps
// with a little of its end before it and of its start after it (counted in `delay`): the codec
// smears a hard start or stop over a granule, and here both edges have the music that really
// surrounds them, so the loop joins without a click. Nothing when the encoder refuses it.
std::optional<EncodedMp3> EncodeMp3Loop(std::span<const int16_t> loop);

}  // namespace lumen::tools
