#include "raster/Filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "raster/Color.h"

namespace lumen::raster {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;

// A 40 x 40 layer with an opaque white square over [10, 20) x [10, 20).
Pixmap Square() {
  Pixmap layer(40, 40);
  for (int y = 10; y < 20; ++y) {
    for (int x = 10; x < 20; ++x) layer.Row(y)[x] = kWhite;
  }
  return layer;
}

render::Filter Shadow(float dx, float dy, float blur) {
  render::Filter f;
  f.kind = render::Filter::Kind::DropShadow;
  f.blur_x = f.blur_y = blur;
  f.dx = dx;
  f.dy = dy;
  f.color = {0, 0, 0, 255};
  return f;
}

TEST(Filters, ASharpShadowLiesUnderTheObjectShifted) {
  Pixmap layer = Square();
  FilterScratch scratch;
  const IntRect area = ApplyFilter(Shadow(4, 2, 0), 1, layer, {10, 10, 20, 20}, scratch);
  EXPECT_LE(area.x0, 10);
  EXPECT_GE(area.x1, 24);
  EXPECT_GE(area.y1, 22);
  EXPECT_EQ(layer.At(15, 15), kWhite);       // the object over its shadow
  EXPECT_EQ(layer.At(22, 15), 0xFF000000u);  // the shadow beside it
  EXPECT_EQ(layer.At(15, 21), 0xFF000000u);
  EXPECT_EQ(layer.At(12, 21), 0u);  // not where the shadow moved away from
  EXPECT_EQ(layer.At(12, 9), 0u);
  EXPECT_EQ(layer.At(25, 15), 0u);
}

// A box four pixels wide covers three whole pixels and half of each next one. At twice the size
// a blur of 2 spans one stage pixel doubled, plus one: three whole pixels.
TEST(Filters, ABoxCoversItsBlurLessOneStagePixelScaledPlusOne) {
  const auto blur_dot = [](float blur, float scale) {
    Pixmap layer(9, 1);
    layer.Row(0)[4] = kWhite;
    render::Filter f;
    f.blur_x = blur;
    FilterScratch scratch;
    const IntRect area = ApplyFilter(f, scale, layer, {4, 0, 5, 1}, scratch);
    std::vector<uint32_t> row(layer.Row(0), layer.Row(0) + 9);
    return std::pair{area, row};
  };
  const auto [area, row] = blur_dot(4, 1);
  EXPECT_EQ(area.x0, 2);
  EXPECT_EQ(area.x1, 7);
  const uint32_t q = 0x20202020, h = 0x40404040, t = 0x55555555;
  EXPECT_EQ(row, (std::vector<uint32_t>{0, 0, q, h, h, h, q, 0, 0}));
  EXPECT_EQ(blur_dot(2, 2).second, (std::vector<uint32_t>{0, 0, 0, t, t, t, 0, 0, 0}));
  EXPECT_EQ(blur_dot(1, 4).second[4], kWhite);
}

// The box passes written plainly: every pixel the weighted sum of its neighbours, whole pixels
// counting 256 and the two just past them `edge`, those off the picture counting as transparent.
std::vector<uint32_t> PlainBlur(std::vector<uint32_t> px, int w, int h, float blur_x, float blur_y,
                                float scale, int passes) {
  const auto box_pass = [&](float blur, bool across) {
    const auto width = static_cast<uint32_t>(std::round(((blur - 1) * scale + 1) * 256));
    if (width <= 256) return;
    const int reach = static_cast<int>((width / 256 - 1) / 2);
    const uint32_t edge = (width - (2 * static_cast<uint32_t>(reach) + 1) * 256) / 2;
    const std::vector<uint32_t> in = px;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint32_t out = 0;
        for (int c = 0; c < 32; c += 8) {
          uint64_t sum = width / 2;
          for (int k = -reach - 1; k <= reach + 1; ++k) {
            const int sx = across ? x + k : x, sy = across ? y : y + k;
            if (sx < 0 || sx >= w || sy < 0 || sy >= h) continue;
            const uint32_t weight = k < -reach || k > reach ? edge : 256;
            sum += uint64_t{weight} * (in[static_cast<size_t>(sy) * w + sx] >> c & 0xFF);
          }
          out |= static_cast<uint32_t>(sum / width) << c;
        }
        px[static_cast<size_t>(y) * w + x] = out;
      }
    }
  };
  for (int pass = 0; pass < passes; ++pass) {
    box_pass(blur_x, true);
    box_pass(blur_y, false);
  }
  return px;
}

// Random pictures, blur sizes with fractions, view scales and pass counts: the sliding sums give
// exactly the plain weighted sums, for a blur and for the alpha a white shadow shows alone.
TEST(Filters, TheBlurEqualsPlainWeightedSums) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> blur(1, 8);
  constexpr int kW = 64, kH = 48;
  for (int round = 0; round < 30; ++round) {
    Pixmap layer(kW, kH), shadow_layer(kW, kH);
    std::vector<uint32_t> px(static_cast<size_t>(kW) * kH, 0);
    for (int y = 16; y < 32; ++y) {
      for (int x = 20; x < 44; ++x)
        px[static_cast<size_t>(y) * kW + x] = layer.Row(y)[x] = shadow_layer.Row(y)[x] = rng();
    }
    render::Filter f;
    f.blur_x = blur(rng);
    f.blur_y = blur(rng);
    f.passes = 1 + round % 2;
    const float scale = round % 3 == 0 ? 1.5f : 1.0f;
    FilterScratch scratch;
    ApplyFilter(f, scale, layer, {20, 16, 44, 32}, scratch);
    render::Filter shadow = f;
    shadow.kind = render::Filter::Kind::DropShadow;
    shadow.color = {255, 255, 255, 255};
    shadow.hide_object = true;
    ApplyFilter(shadow, scale, shadow_layer, {20, 16, 44, 32}, scratch);
    const std::vector<uint32_t> want = PlainBlur(px, kW, kH, f.blur_x, f.blur_y, scale, f.passes);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint32_t wanted = want[static_cast<size_t>(y) * kW + x];
        ASSERT_EQ(layer.Row(y)[x], wanted) << "round " << round << " at " << x << "," << y;
        ASSERT_EQ(shadow_layer.Row(y)[x], (wanted >> 24) * 0x01010101u)
            << "shadow, round " << round << " at " << x << "," << y;
      }
    }
  }
}

// Boxes on both sides of the widest one whose mean is taken in floats, on a bottom-up layer whose
// rows and columns do not come in fours: the plain weighted sums again.
TEST(Filters, WideBlursOnABottomUpLayerEqualPlainWeightedSums) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> blur(24, 48);
  constexpr int kW = 45, kH = 37;
  for (int round = 0; round < 8; ++round) {
    std::vector<uint32_t> px(static_cast<size_t>(kW) * kH);
    for (uint32_t& p : px) p = rng();
    std::vector<uint32_t> pixels = px, alphas = px;
    Pixmap layer = Pixmap::Borrow(&pixels[(kH - 1) * kW], kW, kH, -kW);
    Pixmap shadow_layer = Pixmap::Borrow(&alphas[(kH - 1) * kW], kW, kH, -kW);
    render::Filter f;
    f.blur_x = blur(rng);
    f.blur_y = blur(rng);
    f.passes = 1 + round % 2;
    FilterScratch scratch;
    ApplyFilter(f, 1, layer, {0, 0, kW, kH}, scratch);
    render::Filter shadow = f;
    shadow.kind = render::Filter::Kind::DropShadow;
    shadow.color = {255, 255, 255, 255};
    shadow.hide_object = true;
    ApplyFilter(shadow, 1, shadow_layer, {0, 0, kW, kH}, scratch);
    // Row y of the layer is row kH - 1 - y of the buffer.
    std::vector<uint32_t> flipped(px.size());
    for (int y = 0; y < kH; ++y) std::copy_n(&px[(kH - 1 - y) * kW], kW, &flipped[y * kW]);
    const std::vector<uint32_t> want = PlainBlur(flipped, kW, kH, f.blur_x, f.blur_y, 1, f.passes);
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const uint32_t wanted = want[static_cast<size_t>(y) * kW + x];
        ASSERT_EQ(layer.At(x, y), wanted) << "round " << round << " at " << x << "," << y;
        ASSERT_EQ(shadow_layer.At(x, y), (wanted >> 24) * 0x01010101u)
            << "shadow, round " << round << " at " << x << "," << y;
      }
    }
  }
}

// Lit against the offset, shaded along it: an inner bevel colours the square's near edge with
// the highlight and its far edge with the shadow, each as deep as the offset, and nothing outside.
TEST(Filters, AnInnerBevelLightsOneEdgeAndShadesTheOther) {
  Pixmap layer = Square();
  render::Filter f = Shadow(2, 0, 0);
  f.kind = render::Filter::Kind::Bevel;
  f.color = {255, 0, 0, 255};
  f.shadow = {0, 0, 255, 255};
  f.inner = true;
  FilterScratch scratch;
  ApplyFilter(f, 1, layer, {10, 10, 20, 20}, scratch);
  EXPECT_EQ(layer.At(10, 15), 0xFFFF0000u);
  EXPECT_EQ(layer.At(11, 15), 0xFFFF0000u);
  EXPECT_EQ(layer.At(12, 15), kWhite);
  EXPECT_EQ(layer.At(17, 15), kWhite);
  EXPECT_EQ(layer.At(18, 15), 0xFF0000FFu);
  EXPECT_EQ(layer.At(19, 15), 0xFF0000FFu);
  EXPECT_EQ(layer.At(20, 15), 0u);
  EXPECT_EQ(layer.At(8, 15), 0u);
}

// A kernel taking the right-hand neighbour shifts the row left; the last pixel, with none to
// its right, takes itself when edges clamp.
TEST(Filters, AConvolutionReadsItsKernelLeftToRightAndClampsAtTheEdge) {
  Pixmap layer(4, 1);
  const uint32_t row[4] = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFA0B0C0};
  std::copy_n(row, 4, layer.Row(0));
  render::Filter f;
  f.kind = render::Filter::Kind::Convolution;
  f.columns = 3;
  f.rows = 1;
  f.matrix[2] = 1;
  f.preserve_alpha = false;
  FilterScratch scratch;
  ApplyFilter(f, 1, layer, {0, 0, 4, 1}, scratch);
  EXPECT_EQ(layer.At(0, 0), row[1]);
  EXPECT_EQ(layer.At(2, 0), row[3]);
  EXPECT_EQ(layer.At(3, 0), row[3]);
}

}  // namespace
}  // namespace lumen::raster
