#pragma once

// Decodes the bitmap tags of a movie into premultiplied 32-bit pixels. Sizes are read first and
// checked against fixed caps before any memory is taken; the memory all decoded images of a
// movie may hold together is a DecodeBudget, kept by whoever caches the pixels.

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

  explicit DecodeBudget(size_t total_bytes = kDefaultTotal) : total_(total_bytes) {}

  // Whether a width x height image may be decoded at all.
  static bool Allowed(int64_t width, int64_t height);
  // The bytes a decoded width x height image holds (Allowed sizes only).
  static size_t Bytes(int width, int height);

  // Takes `bytes`; false (taking nothing) when they do not fit in what is left.
  bool Take(size_t bytes);
  // Returns bytes taken before.
  void Give(size_t bytes);
  size_t Left() const { return total_ - used_; }
  size_t Used() const { return used_; }

 private:
  size_t total_;
  size_t used_ = 0;
};

struct ImageSize {
  int width = 0, height = 0;
};

// The size a JPEG, PNG or GIF stream declares, read from its header only; nothing when the
// stream is no such image or its size is not Allowed. `tables` (DefineBits) go before the image.
std::optional<ImageSize> ReadImageSize(std::span<const uint8_t> tables,
                                       std::span<const uint8_t> image);

// DefineBits: the image stream plus the movie's JPEGTables (either may be empty).
std::optional<render::Bitmap> DecodeJpegWithTables(std::span<const uint8_t> tables,
                                                   std::span<const uint8_t> image);

// DefineBitsJPEG2/3/4: a JPEG, PNG or GIF stream, and for JPEGs an optional zlib alpha plane.
std::optional<render::Bitmap> DecodeImage(std::span<const uint8_t> image,
                                          std::span<const uint8_t> zlib_alpha);

struct LosslessHead {
  uint8_t format = 0;  // 3 palette, 4 15-bit RGB, 5 32-bit
  int width = 0, height = 0;
  int palette_size = 0;  // format 3: entries
  bool alpha = false;    // DefineBitsLossless2
};

// Whether a lossless head describes an image that can be decoded (format, palette, size).
bool LosslessHeadValid(const LosslessHead& head);

// DefineBitsLossless 1/2: `zlib_data` is the compressed payload after the head.
std::optional<render::Bitmap> DecodeLossless(const LosslessHead& head,
                                             std::span<const uint8_t> zlib_data);

// Removes stray EOI/SOI pairs before the first frame header, drops duplicate SOI markers and
// appends a missing EOI, so that a standard decoder accepts the streams old tools wrote.
std::vector<uint8_t> RepairJpeg(std::span<const uint8_t> jpeg);

// Inflates up to out.size() bytes; answers how many arrived. A damaged stream keeps what decoded.
size_t InflateInto(std::span<const uint8_t> zlib, std::span<uint8_t> out);

}  // namespace lumen::codec
