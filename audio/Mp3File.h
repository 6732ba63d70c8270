#pragma once

// An MP3 file as a sound to play: its ID3v2 tag passed over, its format and length read from the
// frame headers.

#include <cstdint>
#include <optional>
#include <span>

#include "audio/SoundTags.h"

namespace lumen::audio {

// Nothing when the bytes hold no run of MPEG layer III frames. `data` of the answer points into
// `file`.
std::optional<SoundDefinition> ReadMp3File(std::span<const uint8_t> file);

}  // namespace lumen::audio
