#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "raster/Color.h"
#include "raster/Paint.h"

namespace lumen::raster {
namespace {

using render::Bitmap;
using render::FillStyle;
using render::Matrix;

std::shared_ptr<Bitmap> RandomBitmap(std::mt19937& rng, int w, int h, bool opaque) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = w;
  bm->height = h;
  bm->opaque = opaque;
  for (int i = 0; i < w * h; ++i) {
    const uint32_t a = opaque ? 255 : rng() % 256;
    auto c = [&] { return a == 0 ? 0 : static_cast<uint32_t>(rng() % (a + 1)); };
    bm->pixels.push_back(Pack(a, c(), c(), c()));
  }
  return bm;
}

FillStyle BitmapStyle(std::shared_ptr<Bitmap> bm, bool repeat, bool smooth) {
  FillStyle f;
  f.kind = FillStyle::Kind::Bitmap;
  f.bitmap = std::move(bm);
  f.repeat = repeat;
  f.smooth = smooth;
  return f;
}

std::vector<uint32_t> FetchRow(Paint& p, int x, int y, int n) {
  std::vector<uint32_t> buf(static_cast<size_t>(n));
  const uint32_t* px = p.Fetch(x, y, n, buf.data());
  return {px, px + n};
}

// Scaled, mirrored, turned and shifted bitmaps, smoothed or not, tiled or clamped: the SSE2
// filter and the scalar one give identical pixels.
TEST(BitmapDifferential, Sse2MatchesScalar) {
  if (BestIsa() != Isa::Sse2) GTEST_SKIP() << "no SSE2 in this build";
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> scale(0.3f, 4.0f), shift(-40, 40);
  for (int round = 0; round < 120; ++round) {
    const auto bm = RandomBitmap(rng, 5 + static_cast<int>(rng() % 40),
                                 3 + static_cast<int>(rng() % 30), round % 2 == 0);
    const FillStyle style = BitmapStyle(bm, round % 3 != 0, round % 4 != 0);
    const float sx = (round % 5 == 0 ? -1 : 1) * scale(rng);
    // Some rounds turn the bitmap, through the general route.
    const float turn = round % 7 < 3 ? shift(rng) / 40 : 0;
    const Matrix m{sx, turn, -turn, scale(rng), shift(rng), shift(rng)};
    Paint simd, scalar;
    ASSERT_TRUE(simd.SetFill(style, m, {}));
    ASSERT_TRUE(scalar.SetFill(style, m, {}));
    simd.SetIsa(Isa::Sse2);
    scalar.SetIsa(Isa::Scalar);
    for (int y = -3; y < 60; y += 7) {
      const int x = static_cast<int>(rng() % 20) - 10, n = 1 + static_cast<int>(rng() % 90);
      ASSERT_EQ(FetchRow(simd, x, y, n), FetchRow(scalar, x, y, n))
          << "round " << round << " y " << y;
    }
  }
}

// A smoothed repeating fill over many tiles: each sample mixes the two nearest columns of the
// image, wrapped at its ends, by its distance from them (to a 256th, the weight's precision).
TEST(Bitmap, RepeatingFillsMixTheWrappedNeighbours) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> scale(0.4f, 3.0f), shift(-300, 300);
  for (int round = 0; round < 40; ++round) {
    const int w = 3 + static_cast<int>(rng() % 20);
    const auto bm = RandomBitmap(rng, w, 1, true);
    const float sx = scale(rng), tx = shift(rng);
    Paint paint;
    ASSERT_TRUE(paint.SetFill(BitmapStyle(bm, true, true), Matrix{sx, 0, 0, 1, tx, 0}, {}));
    const std::vector<uint32_t> got = FetchRow(paint, 0, 0, 300);
    for (int x = 0; x < 300; ++x) {
      const double s = (x + 0.5 - tx) / sx - 0.5, f = std::floor(s);
      const auto column = [&](double c) { return bm->pixels[((static_cast<int>(c) % w) + w) % w]; };
      for (int shift_bits : {0, 8, 16}) {
        const auto left = static_cast<int>(column(f) >> shift_bits & 0xFF);
        const auto right = static_cast<int>(column(f + 1) >> shift_bits & 0xFF);
        const double want = left + (right - left) * (s - f);
        EXPECT_NEAR(static_cast<int>(got[x] >> shift_bits & 0xFF), want, 2.5)
            << "round " << round << " x " << x;
      }
    }
  }
}

TEST(Bitmap, UnscaledNearestIsTheImageTiledOrClamped) {
  std::mt19937 rng(1);
  const auto bm = RandomBitmap(rng, 8, 4, true);
  Paint tiled, clamped;
  ASSERT_TRUE(tiled.SetFill(BitmapStyle(bm, true, false), Matrix::Translate(2, 0), {}));
  ASSERT_TRUE(clamped.SetFill(BitmapStyle(bm, false, true), Matrix::Translate(2, 0), {}));
  const auto t = FetchRow(tiled, 0, 1, 20), c = FetchRow(clamped, 0, 1, 20);
  for (int x = 0; x < 20; ++x) {
    EXPECT_EQ(t[x], bm->pixels[8 + static_cast<size_t>((x - 2 + 8) % 8)]) << x;
    EXPECT_EQ(c[x], bm->pixels[8 + static_cast<size_t>(std::clamp(x - 2, 0, 7))]) << x;
  }
}

TEST(Bitmap, SmoothedHalfwayIsTheAverage) {
  auto bm = std::make_shared<Bitmap>();
  bm->width = 2;
  bm->height = 1;
  bm->opaque = true;
  bm->pixels = {0xFF000000, 0xFFFFFFFF};
  Paint p;
  // Device pixel 0's centre maps to image x 1.0: halfway between the two pixel centres.
  ASSERT_TRUE(p.SetFill(BitmapStyle(bm, false, true), Matrix::Translate(-0.5f, 0), {}));
  EXPECT_EQ(FetchRow(p, 0, 0, 1)[0], 0xFF7F7F7Fu);
  EXPECT_EQ(FetchRow(p, -1, 0, 1)[0], 0xFF000000u);  // clamped at the edge
}

TEST(Bitmap, NothingToDrawIsReported) {
  Paint p;
  EXPECT_FALSE(p.SetFill(BitmapStyle(nullptr, true, true), {}, {}));
  auto lying = std::make_shared<Bitmap>();
  lying->width = 100;
  lying->height = 100;  // but no pixels
  EXPECT_FALSE(p.SetFill(BitmapStyle(lying, true, true), {}, {}));
  std::mt19937 rng(1);
  EXPECT_FALSE(
      p.SetFill(BitmapStyle(RandomBitmap(rng, 2, 2, true), true, true), Matrix::Scale(0, 1), {}));
  EXPECT_FALSE(
      p.SetFill(BitmapStyle(RandomBitmap(rng, 2, 2, true), true, true), {NAN, 0, 0, 1, 0, 0}, {}));
}

FillStyle Gradient(FillStyle::Kind kind, render::SpreadMode spread, float focal = 0) {
  FillStyle f;
  f.kind = kind;
  f.gradient.stops = {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 255}}};
  f.gradient.spread = spread;
  f.gradient.focal_point = focal;
  return f;
}

// A gradient square 32 pixels wide centred on x = 16 (t = x / 32 at pixel centres + 0.5).
Matrix Square32() {
  return {32.0f / 32768, 0, 0, 32.0f / 32768, 16, 16};
}

struct SpreadCase {
  const char* name;
  render::SpreadMode spread;
  int x_a, x_b;  // pixels that must have the same colour
};

const SpreadCase kSpreads[] = {
    {"pad_left", render::SpreadMode::Pad, -20, -5},
    {"pad_right", render::SpreadMode::Pad, 40, 70},
    {"repeat_period", render::SpreadMode::Repeat, 8, 40},
    {"reflect_mirror", render::SpreadMode::Reflect, 8, 55},  // t = 0.27 and 1.73
};

class Spread : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(Spread, ColoursRepeatAsTheModeSays) {
  Paint p;
  ASSERT_TRUE(
      p.SetFill(Gradient(FillStyle::Kind::LinearGradient, GetParam().spread), Square32(), {}));
  EXPECT_EQ(FetchRow(p, GetParam().x_a, 3, 1)[0], FetchRow(p, GetParam().x_b, 3, 1)[0]);
  EXPECT_NE(FetchRow(p, 10, 3, 1)[0], FetchRow(p, 20, 3, 1)[0]);
}

INSTANTIATE_TEST_SUITE_P(Gradient, Spread, ::testing::ValuesIn(kSpreads),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Gradient, EndsAreTheStopColours) {
  Paint p;
  ASSERT_TRUE(p.SetFill(Gradient(FillStyle::Kind::LinearGradient, render::SpreadMode::Pad),
                        Square32(), {}));
  EXPECT_EQ(FetchRow(p, -1, 0, 1)[0], 0xFFFF0000u);
  EXPECT_EQ(FetchRow(p, 33, 0, 1)[0], 0xFF0000FFu);
  EXPECT_TRUE(p.Opaque());
}

TEST(Gradient, FocalAtTheCentreIsRadial) {
  Paint radial, focal;
  ASSERT_TRUE(radial.SetFill(Gradient(FillStyle::Kind::RadialGradient, render::SpreadMode::Pad),
                             Square32(), {}));
  ASSERT_TRUE(focal.SetFill(Gradient(FillStyle::Kind::FocalGradient, render::SpreadMode::Pad, 0),
                            Square32(), {}));
  for (int y = 0; y < 32; y += 5)
    EXPECT_EQ(FetchRow(radial, 0, y, 32), FetchRow(focal, 0, y, 32)) << y;
  Paint off_centre;
  ASSERT_TRUE(off_centre.SetFill(
      Gradient(FillStyle::Kind::FocalGradient, render::SpreadMode::Pad, 0.8f), Square32(), {}));
  // The focal point (x = 16 + 0.8 * 16) has the first stop's colour.
  const uint32_t at_focus = FetchRow(off_centre, 28, 15, 1)[0];
  EXPECT_GE((at_focus >> 16) & 0xFF, 240u);
  EXPECT_LE(at_focus & 0xFF, 15u);
}

TEST(Gradient, LinearRgbIsLighterInTheMiddle) {
  FillStyle rgb = Gradient(FillStyle::Kind::LinearGradient, render::SpreadMode::Pad);
  rgb.gradient.stops = {{0, {0, 0, 0, 255}}, {255, {255, 255, 255, 255}}};
  FillStyle linear = rgb;
  linear.gradient.interpolation = render::Interpolation::LinearRgb;
  Paint a, b;
  ASSERT_TRUE(a.SetFill(rgb, Square32(), {}));
  ASSERT_TRUE(b.SetFill(linear, Square32(), {}));
  const uint32_t mid_rgb = FetchRow(a, 16, 0, 1)[0] & 0xFF,
                 mid_linear = FetchRow(b, 16, 0, 1)[0] & 0xFF;
  EXPECT_NEAR(mid_rgb, 128, 4);
  EXPECT_NEAR(mid_linear, 188, 4);  // sRGB of linear 0.5
}

// Ramp placement. The 256 entries split the gradient into equal steps and entry i stands for the
// middle of step i; between middles the colour is mixed. Here each step is 4 pixels wide and the
// gradient starts half a pixel left of the first pixel, so pixel 4i + 1 sits on the middle of
// step i. Stops at 0 (black) and 1 (white) make entry 0 black and every later entry white.
struct RampCase {
  int pixel;
  uint32_t grey;
};

const RampCase kRamp[] = {
    {0, 0},    // before the first middle: the first entry
    {1, 0},    // the middle of step 0
    {2, 63},   // a quarter of the way to entry 1
    {3, 127},  // halfway
    {4, 191},  // three quarters
    {5, 255},  // the middle of step 1
    {6, 255},  // entries 1.. are all white
};

TEST(Gradient, RampEntriesSitAtTheMiddlesOfTheirSteps) {
  FillStyle f = Gradient(FillStyle::Kind::LinearGradient, render::SpreadMode::Pad);
  f.gradient.stops = {{0, {0, 0, 0, 255}}, {1, {255, 255, 255, 255}}};
  Paint p;
  ASSERT_TRUE(p.SetFill(f, {1024.0f / 32768, 0, 0, 1, 511.5f, 0}, {}));
  const std::vector<uint32_t> row = FetchRow(p, 0, 0, 8);
  for (const RampCase& c : kRamp) {
    EXPECT_EQ(row[static_cast<size_t>(c.pixel)], 0xFF000000u | c.grey * 0x010101u) << c.pixel;
  }
}

// Stops sharing a ratio each get an entry of their own, from that ratio up, and the last of them
// starts the blend to the next stop. With a gradient 256 pixels wide, pixel i shows entry i.
TEST(Gradient, StopsAtOneRatioTakeConsecutiveEntries) {
  FillStyle f = Gradient(FillStyle::Kind::LinearGradient, render::SpreadMode::Pad);
  f.gradient.stops = {{50, {255, 0, 0, 255}},
                      {50, {0, 255, 0, 255}},
                      {50, {0, 0, 255, 255}},
                      {255, {0, 0, 0, 255}}};
  Paint p;
  ASSERT_TRUE(p.SetFill(f, {256.0f / 32768, 0, 0, 1, 128, 0}, {}));
  const std::vector<uint32_t> row = FetchRow(p, 0, 0, 256);
  EXPECT_EQ(row[49], 0xFFFF0000u);
  EXPECT_EQ(row[50], 0xFFFF0000u);
  EXPECT_EQ(row[51], 0xFF00FF00u);
  // Entry 52 is two steps into the blend from blue (ratio 50) to black (255).
  EXPECT_EQ(row[52] & 0xFFFFFF00u, 0xFF000000u);
  EXPECT_NEAR(static_cast<int>(row[52] & 0xFF), 255 - 255 * 2 / 205, 1);
  EXPECT_EQ(row[255], 0xFF000000u);
}

TEST(Solid, ColourTransformActsOnStraightColour) {
  Paint p;
  render::ColorTransform cx;
  cx.mul_a = 0.5f;
  cx.add_r = 255;
  ASSERT_TRUE(p.SetSolid({0, 0, 200, 255}, cx));
  EXPECT_EQ(p.SolidColor(), Premultiply({255, 0, 200, 128}));
  cx.mul_a = 0;
  EXPECT_FALSE(p.SetSolid({0, 0, 200, 255}, cx));
}

}  // namespace
}  // namespace lumen::raster
