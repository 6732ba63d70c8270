#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "render/Png.h"

namespace lumen::render {
namespace {

// Premultiplied pixels go out as straight colours and come back premultiplied: opaque and fully
// transparent ones exactly, translucent ones within a step of rounding.
TEST(Png, RoundTripKeepsPixels) {
  const uint32_t pixels[] = {0xFF102030, 0x00000000, 0x80402010,
                             0x01010101, 0xFFFFFFFF, 0x7F7F0000};
  raster::Pixmap out(3, 2);
  for (int i = 0; i < 6; ++i) out.Row(i / 3)[i % 3] = pixels[i];
  const std::string path = testing::TempDir() + "png_round_trip.png";
  ASSERT_TRUE(WritePng(path, out));
  const raster::Pixmap back = ReadPng(path);
  ASSERT_EQ(back.Width(), 3);
  ASSERT_EQ(back.Height(), 2);
  for (int i = 0; i < 6; ++i) {
    const uint32_t a = pixels[i], b = back.At(i % 3, i / 3);
    for (int shift = 0; shift < 32; shift += 8) {
      EXPECT_NEAR(static_cast<int>((a >> shift) & 0xFF), static_cast<int>((b >> shift) & 0xFF), 1)
          << std::hex << a << " came back as " << b;
    }
  }
  std::remove(path.c_str());
}

TEST(Png, FailuresAreReported) {
  EXPECT_FALSE(WritePng(testing::TempDir() + "empty.png", raster::Pixmap()));
  EXPECT_FALSE(WritePng(testing::TempDir() + "no_such_folder/x.png", raster::Pixmap(2, 2)));
  EXPECT_TRUE(ReadPng(testing::TempDir() + "no_such_file.png").Empty());
  const std::string junk = testing::TempDir() + "junk.png";
  if (FILE* f = std::fopen(junk.c_str(), "wb")) {
    std::fputs("not a picture", f);
    std::fclose(f);
  }
  EXPECT_TRUE(ReadPng(junk).Empty());
  std::remove(junk.c_str());
}

}  // namespace
}  // namespace lumen::render
