#pragma once

// The bitmap tags as a movie keeps them: spans into the movie's own bytes, decoded only when a
// frame draws them. The spans stay valid as long as the movie does, and so must these objects.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "codec/BitmapDecoder.h"
#include "render/Geometry.h"

namespace lumen::movie {

// DefineBits (with the movie's JPEGTables) and DefineBitsJPEG2/3/4: a JPEG, PNG or GIF stream,
// for JPEGs with an optional zlib alpha plane.
class EncodedImage final : public render::BitmapSource {
 public:
  // Reads the size from the stream's header; null when it is unreadable or beyond the caps.
  static std::unique_ptr<EncodedImage> Make(std::span<const uint8_t> tables,
                                            std::span<const uint8_t> image,
                                            std::span<const uint8_t> zlib_alpha);

  std::optional<render::Bitmap> Decode() const override;

 private:
  EncodedImage(codec::ImageSize size, std::span<const uint8_t> tables,
               std::span<const uint8_t> image, std::span<const uint8_t> zlib_alpha);

  std::span<const uint8_t> tables_, image_, zlib_alpha_;
};

// DefineBitsLossless 1/2: the head and the compressed payload behind it.
class EncodedLossless final : public render::BitmapSource {
 public:
  // Null when the head describes no decodable image.
  static std::unique_ptr<EncodedLossless> Make(const codec::LosslessHead& head,
                                               std::span<const uint8_t> zlib_data);

  std::optional<render::Bitmap> Decode() const override;

 private:
  EncodedLossless(const codec::LosslessHead& head, std::span<const uint8_t> zlib_data);

  codec::LosslessHead head_;
  std::span<const uint8_t> zlib_data_;
};

}  // namespace lumen::movie
