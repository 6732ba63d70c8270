#include "codec/BitmapDecoder.h"

#include "codec/StbImage.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

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

// Decodes any stb-supported stream to RGBA after checking its size against the caps.
std::optional<render::Bitmap> DecodeWithStb(std::span<const uint8_t> bytes, bool premultiply) {
  int w = 0, h = 0;
  if (!stb::Info(bytes, w, h) || !DecodeBudget::Allowed(w, h)) return std::nullopt;
  const stb::Pixels image = stb::LoadRgba(bytes, w, h);
  if (!image) return std::nullopt;
  render::Bitmap bitmap = Blank(w, h);
  const uint8_t* p = image.get();
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

// The Huffman tables a stream has defined so far, by class (DC 0, AC 1) and slot (0 to 3).
using DefinedTables = std::array<std::array<bool, 4>, 2>;

// The Huffman tables of a DHT segment declare at most 256 codes each. The stb decoder trusts
// the counts and writes past its tables when they sum to more, so such streams are refused.
// Bytes past the end of the stream count as 0, as the decoder reads them.
bool HuffmanSegmentSafe(std::span<const uint8_t> jpeg, size_t at, ptrdiff_t length,
                        DefinedTables& defined) {
  auto byte = [&](size_t i) -> size_t { return i < jpeg.size() ? jpeg[i] : 0; };
  while (length > 0) {
    const size_t table_class = byte(at) >> 4, slot = byte(at) & 15;
    if (table_class < 2 && slot < 4) defined[table_class][slot] = true;
    size_t codes = 0;
    for (size_t k = 1; k <= 16; ++k) codes += byte(at + k);
    if (codes > 256) return false;
    at += 17 + codes;
    length -= static_cast<ptrdiff_t>(17 + codes);
  }
  return true;
}

// A scan may only name tables defined before it: the stb decoder keeps its tables in memory it
// never clears and would look codes up in garbage, reading far outside them. Which tables a
// scan uses follows the decoder: sequential scans both, progressive DC-first scans the DC table,
// progressive AC scans the AC table.
bool ScanTablesDefined(std::span<const uint8_t> jpeg, size_t at, bool progressive,
                       const DefinedTables& defined) {
  auto byte = [&](size_t i) -> size_t { return i < jpeg.size() ? jpeg[i] : 0; };
  const size_t components = byte(at);
  const size_t spectral_start = byte(at + 1 + 2 * components);
  const size_t approximation_high = byte(at + 3 + 2 * components) >> 4;
  const bool uses_dc = !progressive || (spectral_start == 0 && approximation_high == 0);
  const bool uses_ac = !progressive || spectral_start != 0;
  for (size_t k = 0; k < components; ++k) {
    const size_t selectors = byte(at + 2 + 2 * k);
    const size_t dc = selectors >> 4, ac = selectors & 15;
    if (uses_dc && (dc > 3 || !defined[0][dc])) return false;
    if (uses_ac && (ac > 3 || !defined[1][ac])) return false;
  }
  return true;
}

// Walks every marker of a JPEG stream, through the entropy-coded data too (progressive files put
// tables between scans), checks each Huffman table segment and that each scan's tables exist.
// `header_only` stops at the first frame header, where reading the size stops.
bool HuffmanTablesSafe(std::span<const uint8_t> jpeg, bool header_only = false) {
  DefinedTables defined{};
  bool progressive = false;
  size_t i = 0;
  while (i + 1 < jpeg.size()) {
    if (jpeg[i] != 0xFF || jpeg[i + 1] == 0x00 || jpeg[i + 1] == 0xFF || !HasLength(jpeg[i + 1])) {
      ++i;  // entropy-coded data, byte stuffing, fill bytes and markers without a length
      continue;
    }
    const size_t length = static_cast<size_t>(i + 2 < jpeg.size() ? jpeg[i + 2] : 0) << 8 |
                          (i + 3 < jpeg.size() ? jpeg[i + 3] : 0);
    const uint8_t marker = jpeg[i + 1];
    if (header_only && marker >= 0xC0 && marker <= 0xC2) return true;
    if (marker == 0xC2) progressive = true;
    if (marker == 0xC4 &&
        !HuffmanSegmentSafe(jpeg, i + 4, static_cast<ptrdiff_t>(length) - 2, defined)) {
      return false;
    }
    if (marker == 0xDA && !ScanTablesDefined(jpeg, i + 4, progressive, defined)) return false;
    i += 2 + std::max<size_t>(length, 2);
  }
  return true;
}

}  // namespace

bool DecodeBudget::Allowed(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
  return static_cast<size_t>(width * height) <= kMaxPixels;
}

size_t DecodeBudget::Bytes(int width, int height) {
  return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

bool DecodeBudget::Take(size_t bytes) {
  if (bytes > Left()) return false;
  used_ += bytes;
  return true;
}

void DecodeBudget::Give(size_t bytes) {
  used_ -= std::min(bytes, used_);
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

namespace {

std::vector<uint8_t> Joined(std::span<const uint8_t> tables, std::span<const uint8_t> image) {
  std::vector<uint8_t> joined(tables.begin(), tables.end());
  joined.insert(joined.end(), image.begin(), image.end());
  return joined;
}

}  // namespace

std::optional<ImageSize> ReadImageSize(std::span<const uint8_t> tables,
                                       std::span<const uint8_t> image) {
  ImageSize size;
  bool known = false;
  if (tables.empty() && (StartsWith(image, kPngMagic) || IsGif(image))) {
    known = stb::Info(image, size.width, size.height);
  } else {
    // The decoder builds the Huffman tables it meets before the frame header even when asked
    // for the size alone, so they are checked first.
    const std::vector<uint8_t> jpeg = RepairJpeg(tables.empty() ? image : Joined(tables, image));
    known = HuffmanTablesSafe(jpeg, true) && stb::Info(jpeg, size.width, size.height);
  }
  if (!known || !DecodeBudget::Allowed(size.width, size.height)) return std::nullopt;
  return size;
}

std::optional<render::Bitmap> DecodeJpegWithTables(std::span<const uint8_t> tables,
                                                   std::span<const uint8_t> image) {
  return DecodeImage(Joined(tables, image), {});
}

std::optional<render::Bitmap> DecodeImage(std::span<const uint8_t> image,
                                          std::span<const uint8_t> zlib_alpha) {
  if (StartsWith(image, kPngMagic) || IsGif(image)) {
    auto bitmap = DecodeWithStb(image, true);
    if (bitmap) MarkOpacity(*bitmap);
    return bitmap;
  }
  const std::vector<uint8_t> jpeg = RepairJpeg(image);
  if (!HuffmanTablesSafe(jpeg)) return std::nullopt;
  auto bitmap = DecodeWithStb(jpeg, false);
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

bool LosslessHeadValid(const LosslessHead& head) {
  if (head.format != 3 && head.format != 4 && head.format != 5) return false;
  if (head.format == 4 && head.alpha) return false;
  if (head.palette_size < 0 || head.palette_size > 256) return false;
  return DecodeBudget::Allowed(head.width, head.height);
}

std::optional<render::Bitmap> DecodeLossless(const LosslessHead& head,
                                             std::span<const uint8_t> zlib_data) {
  if (!LosslessHeadValid(head)) return std::nullopt;
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
  // The payload is at most the image size plus a palette, so it stays within the caps' scale.
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
