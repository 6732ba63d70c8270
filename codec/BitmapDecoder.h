#pragma once

// Decodes the bitmap tags of a movie into premultiplied 32-bit pixels. Every decode is checked
// against a budget before memory is taken: an image's sides and pixel count are capped, and so
// is the memory all images of one movie may hold.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "render/Geometry.h"

namespace lumen::codec {

class DecodeBudget {
 public:
  static constexpr int kMaxSide = 8192;
  static constexpr size_t kMaxPixels = size_t{1} << 24;
  // Native builds may hold more photos than a 32-bit process can address.
  static constexpr size_t kDefaultTotal =
      sizeof(void*) >= 8 ? size_t{1536} << 20 : size_t{512} << 20;

  explicit DecodeBudget(size_t total_bytes = kDefaultTotal) : left_(total_bytes) {}

  // Takes room for a width x height image; false when the image is too large or the budget is
  // spent.
  bool Take(int64_t width, int64_t height);
  size_t Left() const { return left_; }

 private:
  size_t left_;
};

// DefineBits: the image stream plus the movie's JPEGTables (either may be empty).
std::optional<render::Bitmap> DecodeJpegWithTables(std::span<const uint8_t> tables,
                                                   std::span<const uint8_t> image,
                                                   DecodeBudget& budget);

// DefineBitsJPEG2/3/4: a JPEG, PNG or GIF stream, and for JPEGs an optional zlib alpha plane.
std::optional<render::Bitmap> DecodeImage(std::span<const uint8_t> image,
                                          std::span<const uint8_t> zlib_alpha,
                                          DecodeBudget& budget);

struct LosslessHead {
  uint8_t format = 0;  // 3 palette, 4 15-bit RGB, 5 32-bit
  int width = 0, height = 0;
  int palette_size = 0;  // format 3: entries
  bool alpha = false;    // DefineBitsLossless2
};

// DefineBitsLossless 1/2: `zlib_data` is the compressed payload after the head.
std::optional<render::Bitmap> DecodeLossless(const LosslessHead& head,
                                             std::span<const uint8_t> zlib_data,
                                             DecodeBudget& budget);

// Removes stray EOI/SOI pairs before the first frame header, drops duplicate SOI markers and
// appends a missing EOI, so that a standard decoder accepts the streams old tools wrote.
std::vector<uint8_t> RepairJpeg(std::span<const uint8_t> jpeg);

// Inflates up to out.size() bytes; answers how many arrived. A damaged stream keeps what decoded.
size_t InflateInto(std::span<const uint8_t> zlib, std::span<uint8_t> out);

}  // namespace lumen::codec
