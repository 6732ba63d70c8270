#include <gtest/gtest.h>

#include <cstring>

#include "authoring/SwfWriter.h"
#include "codec/BitmapDecoder.h"
#include "movie/Movie.h"
#include "tests/movie/MovieTestUtil.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace lumen::movie {
namespace {

using authoring::Bytes;
using testing::Load;

// The pixels of bitmap `id`, decoded as a frame drawing it would, after checking that the size
// the movie read at load is the size the pixels have.
std::optional<render::Bitmap> BitmapOf(const Bytes& tags, uint16_t id) {
  const auto movie = Load(tags);
  const Character* c = movie ? movie->Find(id) : nullptr;
  if (!c || !c->bitmap) return std::nullopt;
  auto bitmap = c->bitmap->Decode();
  if (bitmap) {
    EXPECT_EQ(bitmap->width, c->bitmap->Width());
    EXPECT_EQ(bitmap->height, c->bitmap->Height());
  }
  return bitmap;
}

struct LosslessCase {
  const char* name;
  bool alpha;
  uint8_t format;
  uint16_t width, height;
  Bytes payload;
  uint8_t palette;
  std::vector<uint32_t> expected;
};

TEST(LosslessBitmaps, DecodesEveryFormatWithRowPadding) {
  const LosslessCase cases[] = {
      {"palette rgb, 3 wide: rows padded to 4",
       false,
       3,
       3,
       2,
       {10, 20, 30, 40, 50, 60, /*row*/ 0, 1, 0, 9, /*row*/ 1, 1, 7, 9},
       2,
       {0xFF0A141E, 0xFF28323C, 0xFF0A141E, 0xFF28323C, 0xFF28323C, 0xFF000000}},
      {"palette rgba, out-of-range index transparent",
       true,
       3,
       2,
       1,
       {100, 50, 0, 128, 0, 1, 0, 0},
       1,
       {0x80643200, 0x00000000}},
      {"15-bit big-endian, 1 wide: rows padded to 4",
       false,
       4,
       1,
       2,
       {0x7C, 0x00, 0, 0, 0x00, 0x1F, 0, 0},
       0,
       {0xFFFF0000, 0xFF0000FF}},
      {"32-bit xrgb ignores the first byte",
       false,
       5,
       2,
       1,
       {0, 1, 2, 3, 0x80, 4, 5, 6},
       0,
       {0xFF010203, 0xFF040506}},
      {"32-bit argb keeps premultiplied alpha, clamps colours above it",
       true,
       5,
       2,
       1,
       {0x80, 0x40, 0x20, 0x10, 0x10, 0xFF, 0x00, 0x08},
       0,
       {0x80402010, 0x10100008}},
  };
  for (const LosslessCase& c : cases) {
    Bytes tags;
    authoring::DefineBitsLossless(tags, 4, c.alpha, c.format, c.width, c.height, c.payload,
                                  c.palette);
    const auto bitmap = BitmapOf(tags, 4);
    ASSERT_TRUE(bitmap) << c.name;
    EXPECT_EQ(bitmap->width, c.width) << c.name;
    EXPECT_EQ(bitmap->pixels, c.expected) << c.name;
    const bool opaque = std::all_of(c.expected.begin(), c.expected.end(),
                                    [](uint32_t p) { return p >> 24 == 0xFF; });
    EXPECT_EQ(bitmap->opaque, opaque) << c.name;
  }
}

TEST(LosslessBitmaps, HostileSizesAreRefusedBeforeAllocating) {
  codec::LosslessHead head{5, 65535, 65535, 0, true};
  const Bytes payload = authoring::Deflate(Bytes(16, 0));
  EXPECT_FALSE(codec::LosslessHeadValid(head));
  EXPECT_FALSE(codec::DecodeLossless(head, payload));
  head.width = head.height = 2;
  const auto small = codec::DecodeLossless(head, payload);
  ASSERT_TRUE(small);  // short data decodes as transparent
  EXPECT_EQ(small->pixels, std::vector<uint32_t>(4, 0));
  head.format = 9;
  EXPECT_FALSE(codec::LosslessHeadValid(head));
  EXPECT_FALSE(codec::DecodeLossless(head, payload));
}

// Loading reads only heads, and a bitmap of a hostile size takes its id without a shape.
TEST(LosslessBitmaps, HostileSizesAreRefusedAtLoad) {
  Bytes tags;
  authoring::DefineBitsLossless(tags, 4, false, 5, 9000, 2, Bytes(8, 0));
  const auto huge = Load(tags);
  ASSERT_TRUE(huge->Find(4));
  EXPECT_FALSE(huge->Find(4)->bitmap);
  EXPECT_FALSE(huge->Find(4)->shape);
  EXPECT_FALSE(huge->warnings.empty());
}

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

// An 8 x 8 picture: left half red, right half blue.
std::vector<uint8_t> Picture(int channels) {
  std::vector<uint8_t> rgba;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t px[4] = {static_cast<uint8_t>(x < 4 ? 255 : 0), 0,
                             static_cast<uint8_t>(x < 4 ? 0 : 255), static_cast<uint8_t>(x * 32)};
      rgba.insert(rgba.end(), px, px + channels);
    }
  }
  return rgba;
}

Bytes Jpeg() {
  Bytes out;
  const auto pixels = Picture(3);
  stbi_write_jpg_to_func(Append, &out, 8, 8, 3, pixels.data(), 100);
  return out;
}

Bytes Png() {
  Bytes out;
  const auto pixels = Picture(4);
  stbi_write_png_to_func(Append, &out, 8, 8, 4, pixels.data(), 8 * 4);
  return out;
}

bool NearlyRedAndBlue(const render::Bitmap& b) {
  const uint32_t left = b.pixels[8 * 3 + 1];
  const uint32_t right = b.pixels[8 * 3 + 6];
  return ((left >> 16) & 0xFF) > 200 && (left & 0xFF) < 60 && (right & 0xFF) > 200 &&
         ((right >> 16) & 0xFF) < 60;
}

Bytes Tag(uint16_t code, uint16_t id, std::initializer_list<std::span<const uint8_t>> parts) {
  authoring::BitWriter body;
  body.WriteU16(id);
  for (auto part : parts) body.WriteBytes(part);
  Bytes tag;
  authoring::WriteTag(tag, code, body.bytes(), true);
  return tag;
}

TEST(JpegBitmaps, Jpeg2WithAndWithoutTheStrayMarkerPair) {
  const Bytes jpeg = Jpeg();
  Bytes stray_bytes = {0xFF, 0xD9, 0xFF, 0xD8};
  stray_bytes.insert(stray_bytes.end(), jpeg.begin(), jpeg.end());
  const Bytes& stray = stray_bytes;
  const Bytes no_eoi(jpeg.begin(), jpeg.end() - 2);
  for (const Bytes* data : {&jpeg, &stray, &no_eoi}) {
    const auto bitmap = BitmapOf(Tag(authoring::kTagDefineBitsJpeg2, 3, {*data}), 3);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width, 8);
    EXPECT_TRUE(bitmap->opaque);
    EXPECT_TRUE(NearlyRedAndBlue(*bitmap));
  }
}

// Splits a JPEG into a tables stream (SOI, the tables, EOI) and an image stream (SOI, the rest),
// the way DefineBits and JPEGTables store it.
std::pair<Bytes, Bytes> SplitTables(const Bytes& jpeg) {
  Bytes tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i + 1] != 0xDA) {
    const size_t length = static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
    Bytes& to = (jpeg[i + 1] == 0xDB || jpeg[i + 1] == 0xC4) ? tables : image;
    to.insert(to.end(), jpeg.begin() + static_cast<ptrdiff_t>(i),
              jpeg.begin() + static_cast<ptrdiff_t>(i + 2 + length));
    i += 2 + length;
  }
  tables.insert(tables.end(), {0xFF, 0xD9});
  image.insert(image.end(), jpeg.begin() + static_cast<ptrdiff_t>(i), jpeg.end());
  return {tables, image};
}

TEST(JpegBitmaps, DefineBitsUsesTheMovieTables) {
  const auto [tables, image] = SplitTables(Jpeg());
  Bytes tags;
  authoring::WriteTag(tags, authoring::kTagJpegTables, tables, true);
  const Bytes bits = Tag(authoring::kTagDefineBits, 5, {image});
  tags.insert(tags.end(), bits.begin(), bits.end());
  const auto bitmap = BitmapOf(tags, 5);
  ASSERT_TRUE(bitmap);
  EXPECT_TRUE(NearlyRedAndBlue(*bitmap));
  // Without the tables the image cannot decode: the id is defined but has no pixels.
  EXPECT_FALSE(BitmapOf(bits, 5));
}

TEST(JpegBitmaps, Jpeg3AlphaPlaneClampsColoursToAlpha) {
  const Bytes jpeg = Jpeg();
  const auto alpha_values = Picture(4);
  Bytes alpha;
  for (size_t i = 3; i < alpha_values.size(); i += 4) alpha.push_back(alpha_values[i]);
  const Bytes zalpha = authoring::Deflate(alpha);
  authoring::BitWriter offset;
  offset.WriteU32(static_cast<uint32_t>(jpeg.size()));
  const auto bitmap =
      BitmapOf(Tag(authoring::kTagDefineBitsJpeg3, 6, {offset.bytes(), jpeg, zalpha}), 6);
  ASSERT_TRUE(bitmap);
  EXPECT_FALSE(bitmap->opaque);
  for (uint32_t p : bitmap->pixels) {
    const uint32_t a = p >> 24;
    EXPECT_LE((p >> 16) & 0xFF, a);
    EXPECT_LE(p & 0xFF, a);
  }
  EXPECT_EQ(bitmap->pixels[8 * 2 + 5] >> 24, 5u * 32);
}

TEST(JpegBitmaps, PngPayloadIsPremultiplied) {
  const auto bitmap = BitmapOf(Tag(authoring::kTagDefineBitsJpeg2, 2, {Png()}), 2);
  ASSERT_TRUE(bitmap);
  EXPECT_FALSE(bitmap->opaque);
  // x = 2: red 255 at alpha 64 becomes 64; x = 6: blue 255 at alpha 192.
  EXPECT_EQ(bitmap->pixels[2], 0x40400000u);
  EXPECT_EQ(bitmap->pixels[6], 0xC00000C0u);
}

// PNG allows an IDAT chunk of no bytes; the decoder copies "nothing" from it into a buffer it
// has not made yet.
TEST(JpegBitmaps, PngWithAnEmptyDataChunkDecodes) {
  const Bytes plain = Png();
  constexpr size_t kAfterHeader = 8 + 25;  // signature, IHDR chunk
  ASSERT_EQ(std::memcmp(plain.data() + kAfterHeader + 4, "IDAT", 4), 0);
  const uint8_t kEmptyIdat[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};
  Bytes padded(plain.begin(), plain.begin() + kAfterHeader);
  padded.insert(padded.end(), std::begin(kEmptyIdat), std::end(kEmptyIdat));
  padded.insert(padded.end(), plain.begin() + kAfterHeader, plain.end());
  const auto expected = BitmapOf(Tag(authoring::kTagDefineBitsJpeg2, 2, {plain}), 2);
  const auto bitmap = BitmapOf(Tag(authoring::kTagDefineBitsJpeg2, 2, {padded}), 2);
  ASSERT_TRUE(expected);
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->pixels, expected->pixels);
}

TEST(JpegBitmaps, GarbageAndCapsDecodeToNothing) {
  const Bytes garbage = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 8, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_FALSE(codec::ReadImageSize({}, garbage));
  EXPECT_FALSE(codec::DecodeImage(garbage, {}));
  EXPECT_FALSE(codec::ReadImageSize({}, {}));
  EXPECT_FALSE(codec::DecodeImage({}, {}));
  const auto size = codec::ReadImageSize({}, Jpeg());
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 8);
  EXPECT_EQ(size->height, 8);
}

// A Huffman table declaring more than 256 codes made the decoder write past its tables. Such a
// stream still loads (only its head is read then) and decodes to nothing when drawn.
TEST(JpegBitmaps, OverfullHuffmanTablesAreRefused) {
  Bytes jpeg = Jpeg();
  size_t dht = 0;
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
      dht = i;
      break;
    }
  }
  ASSERT_NE(dht, 0u);
  EXPECT_TRUE(codec::DecodeImage(jpeg, {}));
  for (size_t k = 0; k < 16; ++k) jpeg[dht + 5 + k] = 0x20;  // 512 codes in the first table
  EXPECT_FALSE(codec::DecodeImage(jpeg, {}));
  const auto movie = Load(Tag(authoring::kTagDefineBitsJpeg2, 2, {jpeg}));
  const Character* c = movie->Find(2);
  ASSERT_TRUE(c && c->bitmap && c->shape);
  EXPECT_EQ(c->bitmap->Width(), 8);
  EXPECT_FALSE(c->bitmap->Decode());
}

// Reading only the size, the decoder still built the tables given before the frame header,
// and one of more than 256 codes (valid code lengths otherwise) made it write past them while a
// movie loaded.
TEST(JpegBitmaps, SizeIsNotReadPastAnOverfullTableBeforeTheFrame) {
  for (const uint8_t ten_bit_codes : {0, 100}) {  // with the 9-bit ones: 200 or 300 codes
    SCOPED_TRACE(static_cast<int>(ten_bit_codes));
    Bytes counts(16, 0);
    counts[8] = 200;
    counts[9] = ten_bit_codes;
    const size_t codes = 200u + ten_bit_codes;
    const size_t length = 2 + 1 + 16 + codes;
    Bytes jpeg = {
        0xFF, 0xD8, 0xFF, 0xC4, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length),
        0x00};
    jpeg.insert(jpeg.end(), counts.begin(), counts.end());
    jpeg.insert(jpeg.end(), codes, 0);
    jpeg.insert(jpeg.end(), {0xFF, 0xC0, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0xFF, 0xD9});
    EXPECT_EQ(codec::ReadImageSize({}, jpeg).has_value(), codes <= 256);
  }
}

// A scan naming a Huffman table the stream never defined made the decoder look codes up in
// memory it never filled, and read far outside its tables.
TEST(JpegBitmaps, ScansNamingUndefinedHuffmanTablesAreRefused) {
  const Bytes jpeg = Jpeg();
  size_t sos = 0;
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      sos = i;
      break;
    }
  }
  ASSERT_NE(sos, 0u);
  for (const uint8_t selectors : {0x20, 0x03, 0x44}) {
    SCOPED_TRACE(static_cast<int>(selectors));
    Bytes changed = jpeg;
    changed[sos + 6] = selectors;  // the first component's DC and AC table slots
    EXPECT_FALSE(codec::DecodeImage(changed, {}));
  }
}

TEST(JpegBitmaps, RepairRemovesStrayMarkersBeforeTheFrame) {
  const Bytes in = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x01, 0xFF, 0xD9, 0xFF,
                    0xD8, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02, 0x55};
  const Bytes expected = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x03, 0x01, 0xFF, 0xC0,
                          0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02, 0x55, 0xFF, 0xD9};
  EXPECT_EQ(codec::RepairJpeg(in), expected);
}

TEST(PlacedBitmaps, ABitmapCharacterIsDrawnAsARectangleOfItsSize) {
  Bytes tags;
  const uint8_t px[] = {0, 1, 2, 3, 0, 4, 5, 6};
  authoring::DefineBitsLossless(tags, 4, false, 5, 2, 1, px);
  const auto movie = Load(tags);
  const Character* c = movie->Find(4);
  ASSERT_TRUE(c && c->shape);
  EXPECT_FLOAT_EQ(c->shape->bounds.x_max, 40);
  EXPECT_FLOAT_EQ(c->shape->bounds.y_max, 20);
  EXPECT_EQ(c->shape->parts[0].fill.source, c->bitmap);
}

}  // namespace
}  // namespace lumen::movie
