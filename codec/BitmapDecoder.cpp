#include "codec/BitmapDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#define STBI_NO_STDIO
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_MAX_DIMENSIONS 8192
// Private to this file: the PNG writer links its own copy of the reader.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace lumen::codec {

namespace {

constexpr uint8_t kPngMagic[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWith(std::span<const uint8_t> bytes, std::span<const uint8_t> magic) {
  return bytes.size() >= magic.size() && std::equal(magic.begin(), magic.end(), bytes.begin());
}

bool IsGif(std::span<const uint8_t> b) {
  return b.size() >= 6 && std::memcmp(b.data(), "GIF8", 4) == 0;
}

uint32_t Pack(unsigned a, unsigned r, unsigned g, unsigned b) {
  return a << 24 | r << 16 | g << 8 | b;
}

// Premultiplied channels never exceed alpha; files that stored straight colours are clamped.
uint32_t PackClamped(unsigned a, unsigned r, unsigned g, unsigned b) {
  return Pack(a, std::min(r, a), std::min(g, a), std::min(b, a));
}

uint32_t Premultiply(unsigned a, unsigned r, unsigned g, unsigned b) {
  auto mul = [a](unsigned c) { return (c * a + 127) / 255; };
  return Pack(a, mul(r), mul(g), mul(b));
}

render::Bitmap Blank(int width, int height) {
  render::Bitmap bitmap;
  bitmap.width = width;
  bitmap.height = height;
  bitmap.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  return bitmap;
}

void MarkOpacity(render::Bitmap& bitmap) {
  bitmap.opaque = std::all_of(bitmap.pixels.begin(), bitmap.pixels.end(),
                              [](uint32_t p) { return (p >> 24) == 0xFF; });
}

struct StbImage {
  stbi_uc* data = nullptr;
  ~StbImage() { stbi_image_free(data); }
};

// Decodes any stb-supported stream to RGBA after checking its size against the budget.
std::optional<render::Bitmap> DecodeWithStb(std::span<const uint8_t> bytes, DecodeBudget& budget,
                                            bool premultiply) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    return std::nullopt;
  }
  const auto size = static_cast<int>(bytes.size());
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), size, &w, &h, &channels)) return std::nullopt;
  if (!budget.Take(w, h)) return std::nullopt;
  StbImage image;
  image.data = stbi_load_from_memory(bytes.data(), size, &w, &h, &channels, 4);
  if (image.data == nullptr) return std::nullopt;
  render::Bitmap bitmap = Blank(w, h);
  const stbi_uc* p = image.data;
  for (uint32_t& out : bitmap.pixels) {
    out = premultiply ? Premultiply(p[3], p[0], p[1], p[2]) : Pack(p[3], p[0], p[1], p[2]);
    p += 4;
  }
  return bitmap;
}

bool HasLength(uint8_t marker) {
  return !(marker == 0xD8 || marker == 0xD9 || marker == 0x01 ||
           (marker >= 0xD0 && marker <= 0xD7));
}

}  // namespace

bool DecodeBudget::Take(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  const auto pixels = static_cast<size_t>(width * height);
  if (pixels > kMaxPixels) return false;
  const size_t bytes = pixels * 4;
  if (bytes > left_) return false;
  left_ -= bytes;
  return true;
}

std::vector<uint8_t> RepairJpeg(std::span<const uint8_t> jpeg) {
  std::vector<uint8_t> out;
  out.reserve(jpeg.size() + 4);
  out.push_back(0xFF);
  out.push_back(0xD8);
  size_t i = 0;
  while (i + 1 < jpeg.size()) {
    if (jpeg[i] != 0xFF) break;  // not a marker: hand the rest over unchanged
    const uint8_t marker = jpeg[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD8 || marker == 0xD9) {  // SOI/EOI before the image data
      i += 2;
      continue;
    }
    if (!HasLength(marker)) {
      out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(i),
                 jpeg.begin() + static_cast<ptrdiff_t>(i + 2));
      i += 2;
      continue;
    }
    if (marker == 0xDA) break;  // start of scan: the entropy-coded data follows
    if (i + 3 >= jpeg.size()) break;
    const size_t length = static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
    const size_t end = std::min(jpeg.size(), i + 2 + length);
    out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(i),
               jpeg.begin() + static_cast<ptrdiff_t>(end));
    i = end;
  }
  out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(std::min(i, jpeg.size())),
             jpeg.end());
  if (out.size() < 4 || out[out.size() - 2] != 0xFF || out.back() != 0xD9) {
    out.push_back(0xFF);
    out.push_back(0xD9);
  }
  return out;
}

size_t InflateInto(std::span<const uint8_t> zlib, std::span<uint8_t> out) {
  if (zlib.empty() || out.empty()) return 0;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return 0;
  zs.next_in = const_cast<Bytef*>(zlib.data());
  zs.avail_in = static_cast<uInt>(std::min<size_t>(zlib.size(), std::numeric_limits<uInt>::max()));
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(std::min<size_t>(out.size(), std::numeric_limits<uInt>::max()));
  inflate(&zs, Z_FINISH);
  const size_t produced = zs.total_out;
  inflateEnd(&zs);
  return produced;
}

std::optional<render::Bitmap> DecodeJpegWithTables(std::span<const uint8_t> tables,
                                                   std::span<const uint8_t> image,
                                                   DecodeBudget& budget) {
  std::vector<uint8_t> joined(tables.begin(), tables.end());
  joined.insert(joined.end(), image.begin(), image.end());
  return DecodeImage(joined, {}, budget);
}

std::optional<render::Bitmap> DecodeImage(std::span<const uint8_t> image,
                                          std::span<const uint8_t> zlib_alpha,
                                          DecodeBudget& budget) {
  if (StartsWith(image, kPngMagic) || IsGif(image)) {
    auto bitmap = DecodeWithStb(image, budget, true);
    if (bitmap) MarkOpacity(*bitmap);
    return bitmap;
  }
  const std::vector<uint8_t> jpeg = RepairJpeg(image);
  auto bitmap = DecodeWithStb(jpeg, budget, false);
  if (!bitmap) return bitmap;
  bitmap->opaque = true;
  if (zlib_alpha.empty()) return bitmap;
  std::vector<uint8_t> alpha(bitmap->pixels.size(), 0xFF);
  if (InflateInto(zlib_alpha, alpha) == 0) return bitmap;  // unreadable plane: stay opaque
  for (size_t i = 0; i < alpha.size(); ++i) {
    const uint32_t p = bitmap->pixels[i];
    bitmap->pixels[i] = PackClamped(alpha[i], (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
  MarkOpacity(*bitmap);
  return bitmap;
}

namespace {

size_t RowBytes(size_t bytes) {
  return (bytes + 3) & ~size_t{3};
}

void DecodePalette(const LosslessHead& head, std::span<const uint8_t> data, render::Bitmap& out) {
  const size_t entry = head.alpha ? 4 : 3;
  const auto count = static_cast<size_t>(head.palette_size);
  std::vector<uint32_t> palette(256, head.alpha ? 0u : Pack(0xFF, 0, 0, 0));
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* c = data.data() + i * entry;
    palette[i] = head.alpha ? PackClamped(c[3], c[0], c[1], c[2]) : Pack(0xFF, c[0], c[1], c[2]);
  }
  const uint8_t* rows = data.data() + count * entry;
  const size_t stride = RowBytes(static_cast<size_t>(head.width));
  for (size_t y = 0; y < static_cast<size_t>(head.height); ++y) {
    for (size_t x = 0; x < static_cast<size_t>(head.width); ++x) {
      out.pixels[y * static_cast<size_t>(head.width) + x] = palette[rows[y * stride + x]];
    }
  }
}

uint32_t Expand5(unsigned c) {
  return (c * 255 + 15) / 31;
}

void DecodeRgb15(const LosslessHead& head, std::span<const uint8_t> data, render::Bitmap& out) {
  const size_t stride = RowBytes(static_cast<size_t>(head.width) * 2);
  for (size_t y = 0; y < static_cast<size_t>(head.height); ++y) {
    for (size_t x = 0; x < static_cast<size_t>(head.width); ++x) {
      const uint8_t* p = data.data() + y * stride + x * 2;
      const unsigned v = static_cast<unsigned>(p[0]) << 8 | p[1];
      out.pixels[y * static_cast<size_t>(head.width) + x] =
          Pack(0xFF, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
    }
  }
}

void DecodeArgb(const LosslessHead& head, std::span<const uint8_t> data, render::Bitmap& out) {
  for (size_t i = 0; i < out.pixels.size(); ++i) {
    const uint8_t* p = data.data() + i * 4;
    out.pixels[i] = head.alpha ? PackClamped(p[0], p[1], p[2], p[3]) : Pack(0xFF, p[1], p[2], p[3]);
  }
}

}  // namespace

std::optional<render::Bitmap> DecodeLossless(const LosslessHead& head,
                                             std::span<const uint8_t> zlib_data,
                                             DecodeBudget& budget) {
  if (head.format != 3 && head.format != 4 && head.format != 5) return std::nullopt;
  if (head.format == 4 && head.alpha) return std::nullopt;
  if (head.palette_size < 0 || head.palette_size > 256) return std::nullopt;
  // Sides are 16-bit, so every size below fits in size_t without overflow.
  const auto w = static_cast<size_t>(head.width);
  const auto h = static_cast<size_t>(head.height);
  size_t payload = 0;
  switch (head.format) {
    case 3:
      payload = static_cast<size_t>(head.palette_size) * (head.alpha ? 4 : 3) + RowBytes(w) * h;
      break;
    case 4:
      payload = RowBytes(w * 2) * h;
      break;
    default:
      payload = w * h * 4;
      break;
  }
  if (!budget.Take(head.width, head.height)) return std::nullopt;
  // The payload is at most the image size plus a palette, so it stays within the budget's scale.
  std::vector<uint8_t> data(payload, 0);
  InflateInto(zlib_data, data);
  render::Bitmap bitmap = Blank(head.width, head.height);
  switch (head.format) {
    case 3:
      DecodePalette(head, data, bitmap);
      break;
    case 4:
      DecodeRgb15(head, data, bitmap);
      break;
    default:
      DecodeArgb(head, data, bitmap);
      break;
  }
  MarkOpacity(bitmap);
  return bitmap;
}

}  // namespace lumen::codec
