#pragma once

// The engine's private copy of the stb image decoder (JPEG, PNG, GIF from memory), behind names
// of ours so that it cannot clash with another copy linked into the same program.

#include <cstdint>
#include <memory>
#include <span>

namespace lumen::codec::stb {

struct FreePixels {
  void operator()(uint8_t* pixels) const;
};
using Pixels = std::unique_ptr<uint8_t, FreePixels>;

// Reads only the header: false when the stream is not a supported image.
bool Info(std::span<const uint8_t> bytes, int& width, int& height);
// Decodes to 8-bit RGBA, straight alpha; null on failure.
Pixels LoadRgba(std::span<const uint8_t> bytes, int& width, int& height);

}  // namespace lumen::codec::stb
