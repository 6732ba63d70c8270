#include "codec/StbImage.h"

#include <limits>

// GCC's optimiser reports stb's stream context as maybe uninitialised once inlined into the
// functions below; stb fills it before use.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 8192
// Private to this file: the PNG writer links its own copy of the reader.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace lumen::codec::stb {

namespace {

bool Fits(std::span<const uint8_t> bytes) {
  return !bytes.empty() && bytes.size() <= static_cast<size_t>(std::numeric_limits<int>::max());
}

}  // namespace

void FreePixels::operator()(uint8_t* pixels) const {
  stbi_image_free(pixels);
}

bool Info(std::span<const uint8_t> bytes, int& width, int& height) {
  int channels = 0;
  return Fits(bytes) && stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width,
                                              &height, &channels) != 0;
}

Pixels LoadRgba(std::span<const uint8_t> bytes, int& width, int& height) {
  if (!Fits(bytes)) return nullptr;
  int channels = 0;
  return Pixels(stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height,
                                      &channels, 4));
}

}  // namespace lumen::codec::stb
