#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "raster/BitmapLevels.h"
#include "raster/Paint.h"

namespace lumen::raster {
namespace {

using render::Bitmap;
using render::FillStyle;
using render::Matrix;

// Black and white stripes one pixel wide: the worst case for sampling a photo drawn small.
std::shared_ptr<Bitmap> Stripes(int w, int h) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = w;
  bm->height = h;
  bm->opaque = true;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) bm->pixels.push_back(x % 2 ? 0xFFFFFFFF : 0xFF000000);
  }
  AddSmallerLevels(*bm);
  return bm;
}

// The grey levels of row `y` of the bitmap drawn at `scale`, shifted by `shift` pixels.
std::vector<int> Greys(const std::shared_ptr<Bitmap>& bm, bool smooth, float scale, float shift) {
  FillStyle fill;
  fill.kind = FillStyle::Kind::Bitmap;
  fill.bitmap = bm;
  fill.smooth = smooth;
  Paint paint;
  EXPECT_TRUE(paint.SetFill(fill, Matrix{scale, 0, 0, scale, shift, 0}, {}));
  std::vector<uint32_t> buf(64);
  const uint32_t* px = paint.Fetch(0, 3, 64, buf.data());
  std::vector<int> greys;
  for (int i = 0; i < 64; ++i) greys.push_back(static_cast<int>(px[i] & 0xFF));
  return greys;
}

// Each level halves the one before, rounding odd sizes up, until it is too small for levels.
TEST(BitmapLevels, HalveDownToThePhotoSize) {
  const auto bm = Stripes(1001, 600);
  ASSERT_FALSE(bm->smaller.empty());
  EXPECT_EQ(bm->smaller[0].width, 501);
  EXPECT_EQ(bm->smaller[0].height, 300);
  EXPECT_FALSE(TakesLevels(bm->smaller.back().width, bm->smaller.back().height));
  EXPECT_TRUE(Stripes(100, 100)->smaller.empty());
  size_t bytes = 0;
  for (const Bitmap& level : bm->smaller) bytes += level.pixels.size() * 4;
  EXPECT_EQ(bytes, LevelBytes(1001, 600));
}

// Smoothed and drawn at a quarter of its size, the stripes are an even grey wherever they sit,
// so a slow pan or zoom does not shimmer; unsmoothed they stay black and white.
TEST(BitmapLevels, SmoothedPhotosDrawnSmallAverageTheirPixels) {
  const auto bm = Stripes(1024, 64);
  for (float shift : {0.0f, 0.3f, 0.7f}) {
    for (int grey : Greys(bm, true, 0.25f, shift)) EXPECT_NEAR(grey, 128, 2) << shift;
  }
  const std::vector<int> sharp = Greys(bm, false, 0.25f, 0);
  EXPECT_TRUE(std::all_of(sharp.begin(), sharp.end(), [](int g) { return g == 0 || g == 255; }));
}

}  // namespace
}  // namespace lumen::raster
