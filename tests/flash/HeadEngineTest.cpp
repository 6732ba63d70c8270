#include <gtest/gtest.h>

#include <vector>

#include "authoring/SwfWriter.h"
#include "flash/MovieEngine.h"

namespace lumen::flash {
namespace {

using authoring::Bytes;

constexpr uint16_t kSetBackgroundColor = 9, kShowFrame = 1, kEnd = 0;

Bytes Tags(std::initializer_list<std::pair<uint16_t, Bytes>> tags) {
  Bytes out;
  for (const auto& [code, body] : tags) authoring::WriteTag(out, code, body);
  return out;
}

Bytes Movie(const Bytes& tags, bool compressed = false, uint16_t frames = 3) {
  authoring::MovieSpec spec;
  spec.compressed = compressed;
  spec.frame_count = frames;
  spec.frame_rate = 0x0C80;  // 12.5
  return authoring::BuildMovie(spec, tags);
}

TEST(HeadEngine, ReadsStageRateFramesAndBackgroundOfPlainAndCompressedMovies) {
  const Bytes tags =
      Tags({{kSetBackgroundColor, {0x12, 0x34, 0x56}}, {kShowFrame, {}}, {kEnd, {}}});
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    auto engine = CreateMovieEngine();
    ASSERT_TRUE(engine->Load(Movie(tags, compressed)));
    EXPECT_TRUE(engine->Loaded());
    const StageInfo& stage = engine->Stage();
    EXPECT_EQ(stage.width, 11000);
    EXPECT_EQ(stage.height, 8000);
    EXPECT_EQ(stage.frame_rate, 12.5);
    EXPECT_EQ(stage.frame_count, 3);
    EXPECT_EQ(stage.background, 0x123456u);
  }
}

TEST(HeadEngine, FrameRatesKeepTheirFraction) {
  const struct {
    uint16_t fixed;  // 8.8
    double rate;
  } cases[] = {{0x0C80, 12.5}, {0x0080, 0.5}, {0x1E00, 30}, {0, 0}, {0xFFFF, 255 + 255 / 256.0}};
  for (const auto& c : cases) {
    for (const bool compressed : {false, true}) {
      for (const int32_t x_max : {0, 11000, 0x3FFFFFFF}) {  // rectangles of 1, 8 and 17 bytes
        SCOPED_TRACE(::testing::Message() << c.fixed << " " << compressed << " " << x_max);
        authoring::MovieSpec spec;
        spec.compressed = compressed;
        spec.frame_rate = c.fixed;
        spec.x_max = x_max;
        spec.y_max = x_max;
        if (x_max == 0) spec.rect_bits = 0;
        auto engine = CreateMovieEngine();
        ASSERT_TRUE(engine->Load(authoring::BuildMovie(spec, {})));
        EXPECT_EQ(engine->Stage().frame_rate, c.rate);
      }
    }
  }
}

TEST(HeadEngine, BackgroundComesOnlyFromAWholeTagOfTheFirstFrame) {
  const struct {
    const char* name;
    Bytes tags;
  } cases[] = {
      {"no tags", {}},
      {"after the first frame", Tags({{kShowFrame, {}}, {kSetBackgroundColor, {1, 2, 3}}})},
      {"after the end tag", Tags({{kEnd, {}}, {kSetBackgroundColor, {1, 2, 3}}})},
      {"too short a body", Tags({{kSetBackgroundColor, {1, 2}}})},
      {"declared longer than the file", Bytes{0x7F, 0x02, 0xFF, 0xFF, 0, 0, 1, 2, 3}},
      {"cut inside the long length", Bytes{0x7F, 0x02, 0x05}},
      {"one stray byte", Bytes{0x43}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto engine = CreateMovieEngine();
    ASSERT_TRUE(engine->Load(Movie(c.tags)));
    EXPECT_EQ(engine->Stage().background, 0xFFFFFFu);
  }
  // A long-form tag before the colour is stepped over by its declared length.
  Bytes tags;
  authoring::WriteTag(tags, 2, Bytes(70, 0xAB));
  authoring::WriteTag(tags, kSetBackgroundColor, Bytes{7, 8, 9});
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie(tags)));
  EXPECT_EQ(engine->Stage().background, 0x070809u);
}

TEST(HeadEngine, RefusesWhatIsNoMovie) {
  Bytes huge = Movie({}, true);
  huge[4] = huge[5] = huge[6] = 0;
  huge[7] = 0x40;  // declares 1 GiB
  Bytes broken = Movie(Tags({{kShowFrame, {}}}), true);
  broken.resize(12);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"text", {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"only a signature", {'F', 'W', 'S'}},
      {"declares a huge body", huge},
      {"compressed body cut short", broken},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto engine = CreateMovieEngine();
    EXPECT_FALSE(engine->Load(c.bytes));
    EXPECT_FALSE(engine->Loaded());
    EXPECT_EQ(engine->Stage().frame_count, 0);
  }
  // A failed load also drops the movie loaded before.
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie({})));
  EXPECT_FALSE(engine->Load(Bytes{'x'}));
  EXPECT_FALSE(engine->Loaded());
}

TEST(HeadEngine, StepsFramesWithinTheMovie) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie({}, false, 3)));
  EXPECT_EQ(engine->CurrentFrame(), 0u);
  engine->AdvanceFrame();
  engine->AdvanceFrame();
  EXPECT_EQ(engine->CurrentFrame(), 2u);
  engine->AdvanceFrame();  // the last frame stays; what follows is the caller's choice
  EXPECT_EQ(engine->CurrentFrame(), 2u);
  engine->GotoFrame(1);
  EXPECT_EQ(engine->CurrentFrame(), 1u);
  engine->GotoFrame(3);
  EXPECT_EQ(engine->CurrentFrame(), 1u);
  engine->Unload();
  EXPECT_EQ(engine->CurrentFrame(), 0u);
}

TEST(HeadEngine, RendersTheStageAreaOnlyAndClipsToTheTarget) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie({})));
  constexpr int kWidth = 20, kHeight = 10, kStride = 24;
  std::vector<uint32_t> pixels(kStride * kHeight, 0);
  const PixelTarget target{pixels.data(), kWidth, kHeight, kStride};
  // 550 x 400 px at 1/55 scale is 10 x ~7.3 pixels, at 5,1.
  engine->Render(target, StageView{1.0 / 1100, 1.0 / 1100, 5, 1}, 0xFF102030);
  int filled = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kStride; ++x) {
      const bool inside = x >= 5 && x < 15 && y >= 1 && y < 8;
      EXPECT_EQ(pixels[y * kStride + x], inside ? 0xFF102030u : 0u) << x << "," << y;
      filled += inside;
    }
  }
  EXPECT_EQ(filled, 70);
  // A view far outside, or one of absurd size, writes inside the target only.
  std::fill(pixels.begin(), pixels.end(), 0);
  engine->Render(target, StageView{1e9, 1e9, -1e12, 3}, 0xFF000001);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = kWidth; x < kStride; ++x) EXPECT_EQ(pixels[y * kStride + x], 0u);
  }
  EXPECT_EQ(pixels[3 * kStride], 0xFF000001u);
}

}  // namespace
}  // namespace lumen::flash
