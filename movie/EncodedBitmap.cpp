#include "movie/EncodedBitmap.h"

namespace lumen::movie {

namespace {

// A decoder may read a size other than the header promised (a stream with two frame headers);
// the shapes built for the promised size would then sample outside the pixels.
std::optional<render::Bitmap> Checked(std::optional<render::Bitmap> bitmap,
                                      const render::BitmapSource& source) {
  if (bitmap && (bitmap->width != source.Width() || bitmap->height != source.Height())) {
    return std::nullopt;
  }
  return bitmap;
}

}  // namespace

std::unique_ptr<EncodedImage> EncodedImage::Make(std::span<const uint8_t> tables,
                                                 std::span<const uint8_t> image,
                                                 std::span<const uint8_t> zlib_alpha) {
  const auto size = codec::ReadImageSize(tables, image);
  if (!size) return nullptr;
  return std::unique_ptr<EncodedImage>(new EncodedImage(*size, tables, image, zlib_alpha));
}

EncodedImage::EncodedImage(codec::ImageSize size, std::span<const uint8_t> tables,
                           std::span<const uint8_t> image, std::span<const uint8_t> zlib_alpha)
    : BitmapSource(size.width, size.height),
      tables_(tables),
      image_(image),
      zlib_alpha_(zlib_alpha) {}

std::optional<render::Bitmap> EncodedImage::Decode() const {
  if (!tables_.empty()) return Checked(codec::DecodeJpegWithTables(tables_, image_), *this);
  return Checked(codec::DecodeImage(image_, zlib_alpha_), *this);
}

std::unique_ptr<EncodedLossless> EncodedLossless::Make(const codec::LosslessHead& head,
                                                       std::span<const uint8_t> zlib_data) {
  if (!codec::LosslessHeadValid(head)) return nullptr;
  return std::unique_ptr<EncodedLossless>(new EncodedLossless(head, zlib_data));
}

EncodedLossless::EncodedLossless(const codec::LosslessHead& head,
                                 std::span<const uint8_t> zlib_data)
    : BitmapSource(head.width, head.height), head_(head), zlib_data_(zlib_data) {}

std::optional<render::Bitmap> EncodedLossless::Decode() const {
  return Checked(codec::DecodeLossless(head_, zlib_data_), *this);
}

}  // namespace lumen::movie
