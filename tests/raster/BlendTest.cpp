#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raster/Blend.h"
#include "raster/Color.h"

namespace lumen::raster {
namespace {

using render::BlendMode;

// A random premultiplied pixel: channels never above alpha.
uint32_t RandomPixel(std::mt19937& rng) {
  const uint32_t a = rng() % 4 == 0 ? 255 : rng() % 256;
  auto c = [&] { return a == 0 ? 0 : static_cast<uint32_t>(rng() % (a + 1)); };
  return Pack(a, c(), c(), c());
}

std::vector<uint32_t> RandomPixels(std::mt19937& rng, int n, bool opaque = false) {
  std::vector<uint32_t> v(static_cast<size_t>(n));
  for (uint32_t& p : v) p = opaque ? RandomPixel(rng) | 0xFF000000u : RandomPixel(rng);
  return v;
}

// Every span length up to 19 (odd tails included), with and without coverage.
TEST(BlendDifferential, Sse2MatchesScalar) {
  if (BestIsa() != Isa::Sse2) GTEST_SKIP() << "no SSE2 in this build";
  std::mt19937 rng(99);
  for (int round = 0; round < 400; ++round) {
    const int n = round % 20;
    const auto src = RandomPixels(rng, n), opaque_src = RandomPixels(rng, n, true),
               dst = RandomPixels(rng, n);
    std::vector<uint8_t> cov(static_cast<size_t>(n));
    for (uint8_t& c : cov) c = rng() % 3 == 0 ? 255 : static_cast<uint8_t>(rng());
    const auto alpha = static_cast<uint8_t>(round % 5 == 0 ? 255 : rng());
    const uint32_t solid = RandomPixel(rng);
    auto run = [&](Isa isa, int which) {
      std::vector<uint32_t> d = dst;
      switch (which) {
        case 0:
          SrcOver(d.data(), src.data(), cov.data(), alpha, n, isa);
          break;
        case 1:
          SrcOver(d.data(), src.data(), nullptr, alpha, n, isa);
          break;
        case 2:
          SrcOverSolid(d.data(), solid, cov.data(), alpha, n, isa);
          break;
        case 3:
          SrcOverOpaque(d.data(), opaque_src.data(), alpha, n, isa);
          break;
        default:
          Composite(BlendMode::Layer, d.data(), src.data(), cov.data(), n, isa);
          break;
      }
      return d;
    };
    for (int which = 0; which < 5; ++which) {
      ASSERT_EQ(run(Isa::Sse2, which), run(Isa::Scalar, which))
          << "round " << round << " op " << which;
    }
  }
}

TEST(SrcOver, OpaqueSourceAtConstantAlphaIsWithinAStepOfTheGeneralPath) {
  std::mt19937 rng(5);
  const auto src = RandomPixels(rng, 64, true);
  for (int alpha : {0, 1, 77, 128, 254, 255}) {
    auto a = RandomPixels(rng, 64);
    auto b = a;
    SrcOverOpaque(a.data(), src.data(), static_cast<uint8_t>(alpha), 64, Isa::Scalar);
    SrcOver(b.data(), src.data(), nullptr, static_cast<uint8_t>(alpha), 64, Isa::Scalar);
    for (int i = 0; i < 64; ++i) {
      for (int shift = 0; shift < 32; shift += 8) {
        EXPECT_NEAR((a[i] >> shift) & 0xFF, (b[i] >> shift) & 0xFF, 1) << alpha;
      }
    }
    if (alpha == 255) {
      EXPECT_EQ(a, src);
    }
    if (alpha == 0) {
      EXPECT_EQ(a, b);
    }
  }
}

TEST(SrcOver, KnownValues) {
  uint32_t d = 0xFF0000FF;  // opaque blue
  SrcOver(&d, std::vector<uint32_t>{0x80800000}.data(), nullptr, 255, 1, Isa::Scalar);  // half red
  EXPECT_EQ(d, 0xFF80007Fu);
  d = 0xFF0000FF;
  SrcOverSolid(&d, 0xFFFF0000, nullptr, 0, 1, Isa::Scalar);  // alpha 0 leaves it alone
  EXPECT_EQ(d, 0xFF0000FFu);
  const uint8_t cov = 0;
  SrcOverSolid(&d, 0xFFFF0000, &cov, 255, 1, Isa::Scalar);
  EXPECT_EQ(d, 0xFF0000FFu);
}

struct ModeCase {
  const char* name;
  BlendMode mode;
  uint32_t src, dst, expected;
};

// Premultiplied pixels; opaque unless the case is about alpha.
const ModeCase kModes[] = {
    {"normal", BlendMode::Normal, 0xFF336699, 0xFF000000, 0xFF336699},
    {"multiply_by_white", BlendMode::Multiply, 0xFFFFFFFF, 0xFF336699, 0xFF336699},
    {"multiply", BlendMode::Multiply, 0xFF808080, 0xFF40C0FF, 0xFF206080},
    {"screen_black", BlendMode::Screen, 0xFF000000, 0xFF336699, 0xFF336699},
    {"screen", BlendMode::Screen, 0xFF808080, 0xFF40C0FF, 0xFFA0E0FF},
    {"lighten", BlendMode::Lighten, 0xFF80FF00, 0xFF40C0FF, 0xFF80FFFF},
    {"darken", BlendMode::Darken, 0xFF80FF00, 0xFF40C0FF, 0xFF40C000},
    {"difference", BlendMode::Difference, 0xFF80FF00, 0xFF40C0FF, 0xFF403FFF},
    {"add_saturates", BlendMode::Add, 0xFF80FF00, 0xFF90C010, 0xFFFFFF10},
    {"subtract_floors", BlendMode::Subtract, 0xFF80FF01, 0xFF90C010, 0xFF10000F},
    {"invert", BlendMode::Invert, 0xFF123456, 0xFF40C0FF, 0xFFBF3F00},
    {"invert_transparent_source", BlendMode::Invert, 0x00000000, 0xFF40C0FF, 0xFF40C0FF},
    {"alpha_keeps_where_opaque", BlendMode::Alpha, 0xFF000000, 0xFF40C0FF, 0xFF40C0FF},
    {"alpha_half", BlendMode::Alpha, 0x80000000, 0xFF40C0FF, 0x80206080},
    // Pixels the alpha layer leaves transparent keep what lies below, as the reference player does.
    {"alpha_keeps_where_transparent", BlendMode::Alpha, 0x00000000, 0xFF40C0FF, 0xFF40C0FF},
    {"erase", BlendMode::Erase, 0xFF000000, 0xFF40C0FF, 0x00000000},
    {"erase_half", BlendMode::Erase, 0x80000000, 0xFF40C0FF, 0x7F20607F},
    {"overlay_dark_backdrop", BlendMode::Overlay, 0xFF808080, 0xFF404040, 0xFF404040},
    {"overlay_light_backdrop", BlendMode::Overlay, 0xFF000000, 0xFFC0C0C0, 0xFF818181},
    {"hardlight_dark_source", BlendMode::HardLight, 0xFF404040, 0xFF808080, 0xFF404040},
    {"hardlight_light_source", BlendMode::HardLight, 0xFFC0C0C0, 0xFF000000, 0xFF818181},
    {"multiply_over_transparent", BlendMode::Multiply, 0x80800000, 0x00000000, 0x80800000},
};

class Modes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(Modes, KnownResult) {
  const ModeCase& c = GetParam();
  uint32_t d = c.dst;
  Composite(c.mode, &d, &c.src, nullptr, 1, BestIsa());
  EXPECT_EQ(d, c.expected) << std::hex << d;
}

INSTANTIATE_TEST_SUITE_P(Blend, Modes, ::testing::ValuesIn(kModes),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Composite, CoverageZeroLeavesEveryModeAlone) {
  for (int m = 0; m <= static_cast<int>(BlendMode::HardLight); ++m) {
    uint32_t d = 0xFF40C0FF;
    const uint32_t s = 0xFF123456;
    const uint8_t cov = 0;
    Composite(static_cast<BlendMode>(m), &d, &s, &cov, 1, Isa::Scalar);
    EXPECT_EQ(d, 0xFF40C0FFu) << m;
  }
}

TEST(ColorTransform, AlphaOnlyFactorAgreesWithTheGeneralTransform) {
  std::mt19937 rng(3);
  for (float mul : {0.0f, 0.25f, 0.5f, 0.9f, 1.0f}) {
    render::ColorTransform t;
    t.mul_a = mul;
    const int f = AlphaOnlyFactor(t);
    ASSERT_GE(f, 0);
    for (int i = 0; i < 200; ++i) {
      const uint32_t p = RandomPixel(rng);
      uint32_t general;
      TransformPixels(&p, &general, 1, t);
      uint32_t folded = 0;
      SrcOver(&folded, &p, nullptr, static_cast<uint8_t>(f), 1, Isa::Scalar);
      for (int shift = 0; shift < 32; shift += 8) {
        EXPECT_NEAR((general >> shift) & 0xFF, (folded >> shift) & 0xFF, 2) << std::hex << p;
      }
    }
  }
  render::ColorTransform tint;
  tint.add_r = 10;
  EXPECT_EQ(AlphaOnlyFactor(tint), -1);
}

}  // namespace
}  // namespace lumen::raster
