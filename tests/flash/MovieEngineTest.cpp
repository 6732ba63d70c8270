#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/Slideshow.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "flash/MovieEngine.h"
#include "tests/text/TextTestUtil.h"
#include "text/EditText.h"
#include "tools/reelrender/MovieRunner.h"

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

TEST(MovieEngine, ReadsStageRateFramesAndBackgroundOfPlainAndCompressedMovies) {
  const Bytes tags = Tags({{kSetBackgroundColor, {0x12, 0x34, 0x56}},
                           {kShowFrame, {}},
                           {kShowFrame, {}},
                           {kShowFrame, {}},
                           {kEnd, {}}});
  for (const bool compressed : {false, true}) {
    SCOPED_TRACE(compressed);
    auto engine = CreateMovieEngine();
    ASSERT_TRUE(engine->Load(Movie(tags, compressed), {}));
    EXPECT_TRUE(engine->Loaded());
    const StageInfo& stage = engine->Stage();
    EXPECT_EQ(stage.width, 11000);
    EXPECT_EQ(stage.height, 8000);
    EXPECT_EQ(stage.frame_rate, 12.5);
    EXPECT_EQ(stage.frame_count, 3);
    EXPECT_EQ(stage.background, 0x123456u);
  }
}

TEST(MovieEngine, FrameRatesKeepTheirFraction) {
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
        ASSERT_TRUE(engine->Load(authoring::BuildMovie(spec, {}), {}));
        EXPECT_EQ(engine->Stage().frame_rate, c.rate);
      }
    }
  }
}

TEST(MovieEngine, BackgroundComesOnlyFromAWholeTagOfTheFirstFrame) {
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
    ASSERT_TRUE(engine->Load(Movie(c.tags), {}));
    EXPECT_EQ(engine->Stage().background, 0xFFFFFFu);
  }
  // A long-form tag before the colour is stepped over by its declared length.
  Bytes tags;
  authoring::WriteTag(tags, 2, Bytes(70, 0xAB));
  authoring::WriteTag(tags, kSetBackgroundColor, Bytes{7, 8, 9});
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie(tags), {}));
  EXPECT_EQ(engine->Stage().background, 0x070809u);
}

TEST(MovieEngine, RefusesWhatIsNoMovie) {
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
    EXPECT_FALSE(engine->Load(c.bytes, {}));
    EXPECT_FALSE(engine->Loaded());
    EXPECT_EQ(engine->Stage().frame_count, 0);
  }
  // A failed load also drops the movie loaded before.
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie({}), {}));
  EXPECT_FALSE(engine->Load(Bytes{'x'}, {}));
  EXPECT_FALSE(engine->Loaded());
}

TEST(MovieEngine, StepsFramesWithinTheMovie) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(
      engine->Load(Movie(Tags({{kShowFrame, {}}, {kShowFrame, {}}, {kShowFrame, {}}})), {}));
  EXPECT_EQ(engine->Stage().frame_count, 3);
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

// A movie whose stage shows a red square over its left half (twips 0..5500 of 11000 x 8000).
Bytes RedSquareMovie() {
  authoring::ShapeWriter shape(3);
  const int red = shape.AddSolidFill({255, 0, 0, 255});
  shape.Select(0, red);
  shape.Rectangle(0, 0, 5500, 8000);
  Bytes tags = shape.Tag(1, 0, 5500, 0, 8000);
  authoring::PlaceSpec place;
  place.depth = 1;
  place.character = 1;
  authoring::PlaceObject2(tags, place);
  authoring::ShowFrame(tags);
  authoring::End(tags);
  return Movie(tags, false, 1);
}

TEST(MovieEngine, DrawsTheFrameWithTheBackgroundAroundIt) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(RedSquareMovie(), {}));
  constexpr int kWidth = 20, kHeight = 10, kStride = 24;
  std::vector<uint32_t> pixels(kStride * kHeight, 0);
  const PixelTarget target{pixels.data(), kWidth, kHeight, kStride};
  // The 550 x 400 px stage at 1/1100 twips per pixel is 10 x ~7.3 pixels, at 5,1.
  engine->Render(target, StageView{1.0 / 1100, 1.0 / 1100, 5, 1}, 0xFF102030, false);
  EXPECT_EQ(pixels[2 * kStride + 7], 0xFFFF0000u);   // the square
  EXPECT_EQ(pixels[2 * kStride + 12], 0xFF102030u);  // the stage beside it
  EXPECT_EQ(pixels[9 * kStride + 1], 0xFF102030u);   // the margin
  for (int y = 0; y < kHeight; ++y) {
    for (int x = kWidth; x < kStride; ++x) EXPECT_EQ(pixels[y * kStride + x], 0u) << x << "," << y;
  }
  // A view far outside, or one of absurd size, writes inside the target only.
  std::fill(pixels.begin(), pixels.end(), 0);
  engine->Render(target, StageView{1e9, 1e9, -1e12, 3}, 0xFF000001, false);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = kWidth; x < kStride; ++x) EXPECT_EQ(pixels[y * kStride + x], 0u);
  }
  EXPECT_EQ(pixels[3 * kStride], 0xFFFF0000u);  // the square, blown up, covers the stage row
  EXPECT_EQ(pixels[2 * kStride], 0xFF000001u);  // above the stage
}

bool Whole(const PixelRect& part, int width = 20, int height = 10) {
  return part.left == 0 && part.top == 0 && part.right == width && part.bottom == height;
}

// Three frames: the red square, the same again, then the square moved right.
Bytes MovingSquareMovie() {
  authoring::ShapeWriter shape(3);
  shape.Select(0, shape.AddSolidFill({255, 0, 0, 255}));
  shape.Rectangle(0, 0, 5500, 8000);
  Bytes tags = shape.Tag(1, 0, 5500, 0, 8000);
  authoring::PlaceSpec place;
  place.character = 1;
  authoring::PlaceObject2(tags, place);
  authoring::ShowFrame(tags);
  authoring::ShowFrame(tags);
  authoring::PlaceSpec move;
  move.move = true;
  move.matrix = authoring::MatrixSpec{.tx = 5500};
  authoring::PlaceObject2(tags, move);
  authoring::ShowFrame(tags);
  authoring::End(tags);
  return Movie(tags, false, 3);
}

TEST(MovieEngine, DrawsOnlyWhenThePictureWouldChange) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(MovingSquareMovie(), {}));
  std::vector<uint32_t> pixels(20 * 10), other(20 * 10);
  const PixelTarget target{pixels.data(), 20, 10, 20};
  const StageView view{1.0 / 1100, 1.0 / 1100, 0, 0};
  ASSERT_FALSE(engine->Render(target, view, 0xFF000000, true).Empty());  // nothing drawn before
  const struct {
    const char* what;
    std::function<void()> change;
    bool kept;
    bool draws;
  } steps[] = {
      {"same frame, target kept", [] {}, true, false},
      {"same frame, target lost", [] {}, false, true},
      {"a frame placing nothing new", [&] { engine->AdvanceFrame(); }, true, false},
      {"a frame moving the square", [&] { engine->AdvanceFrame(); }, true, true},
      {"the first frame again", [&] { engine->GotoFrame(0); }, true, true},
      {"another quality", [&] { engine->SetQuality(DrawQuality::Low); }, true, true},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    step.change();
    EXPECT_EQ(!engine->Render(target, view, 0xFF000000, step.kept).Empty(), step.draws);
  }
  // Whatever else changes is drawn whole.
  EXPECT_TRUE(Whole(engine->Render(target, view, 0xFF0000FF, true)));  // another background
  EXPECT_TRUE(Whole(engine->Render(target, StageView{1.0 / 1000, 1.0 / 1000, 0, 0}, 0xFF0000FF,
                                   true)));  // another view
  EXPECT_TRUE(Whole(engine->Render({other.data(), 20, 10, 20}, view, 0xFF0000FF,
                                   true)));  // another target
  engine->Unload();
  ASSERT_TRUE(engine->Load(MovingSquareMovie(), {}));
  EXPECT_TRUE(Whole(engine->Render(target, view, 0xFF0000FF, true)));  // a new movie
}

// A glowing square: still for a frame, then only its glow grows.
TEST(MovieEngine, DrawsAFilteredFrameOnlyWhenItOrItsFiltersChange) {
  authoring::ShapeWriter shape(3);
  shape.Select(0, shape.AddSolidFill({255, 0, 0, 255}));
  shape.Rectangle(100, 60, 300, 140);
  Bytes tags = shape.Tag(1, 100, 300, 60, 140);
  authoring::FilterSpec glow;
  glow.kind = authoring::FilterSpec::kGlow;
  glow.color = {0, 255, 0, 255};
  authoring::PlaceSpec place;
  place.character = 1;
  place.filters = std::vector{glow};
  authoring::PlaceObject3(tags, place);
  authoring::ShowFrame(tags);
  authoring::ShowFrame(tags);
  glow.blur_x = 8;
  authoring::PlaceSpec grow;
  grow.move = true;
  grow.filters = std::vector{glow};
  authoring::PlaceObject3(tags, grow);
  authoring::ShowFrame(tags);
  authoring::End(tags);
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie(tags, false, 3), {}));
  std::vector<uint32_t> pixels(20 * 10);
  const PixelTarget target{pixels.data(), 20, 10, 20};
  const StageView view{1.0 / 20, 1.0 / 20, 0, 0};
  ASSERT_TRUE(Whole(engine->Render(target, view, 0xFF000000, true)));
  engine->AdvanceFrame();
  EXPECT_TRUE(engine->Render(target, view, 0xFF000000, true).Empty());
  const std::vector<uint32_t> still = pixels;
  engine->AdvanceFrame();
  EXPECT_TRUE(Whole(engine->Render(target, view, 0xFF000000, true)));
  EXPECT_NE(pixels, still);
}

// A text field whose text a script changes in the second frame: the field's picture changes
// in place, and the frame is drawn again.
TEST(MovieEngine, DrawsAgainWhenAFieldsTextChanges) {
  Bytes tags;
  text::testing::BoxFont(tags);
  authoring::EditTextSpec field;
  field.id = 2;
  field.font = 1;
  field.height = 400;
  field.x_max = 8000;
  field.flags = text::kUseOutlines;
  field.text = "A";
  authoring::DefineEditText(tags, field);
  authoring::PlaceSpec place;
  place.character = 2;
  place.name = "f";
  authoring::PlaceObject2(tags, place);
  authoring::ShowFrame(tags);
  authoring::ActionWriter script;
  script.SetMember("f", "text", [](authoring::ActionWriter& a) { a.Push({std::string("AA")}); });
  authoring::DoAction(tags, script.Finish());
  authoring::ShowFrame(tags);
  authoring::End(tags);
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(Movie(tags, false, 2), {}));
  std::vector<uint32_t> pixels(20 * 10);
  const PixelTarget target{pixels.data(), 20, 10, 20};
  const StageView view{1.0 / 400, 1.0 / 400, 0, 0};
  ASSERT_FALSE(engine->Render(target, view, 0xFF000000, true).Empty());
  engine->AdvanceFrame();
  EXPECT_FALSE(engine->Render(target, view, 0xFF000000, true).Empty());
}

// A small square stepping right over a backdrop, one frame each step.
Bytes SteppingSquareMovie(int steps) {
  authoring::ShapeWriter backdrop(3);
  backdrop.Select(0, backdrop.AddSolidFill({30, 120, 200, 255}));
  backdrop.Rectangle(0, 0, 11000, 8000);
  Bytes tags = backdrop.Tag(1, 0, 11000, 0, 8000);
  authoring::ShapeWriter square(3);
  square.Select(0, square.AddSolidFill({250, 200, 0, 180}));
  square.Rectangle(0, 0, 1000, 1000);
  const Bytes square_tag = square.Tag(2, 0, 1000, 0, 1000);
  tags.insert(tags.end(), square_tag.begin(), square_tag.end());
  authoring::PlaceSpec back;
  back.character = 1;
  authoring::PlaceObject2(tags, back);
  for (int step = 0; step < steps; ++step) {
    authoring::PlaceSpec place;
    place.depth = 2;
    place.move = step > 0;
    if (step == 0) place.character = 2;
    place.matrix = authoring::MatrixSpec{.tx = 2000 + 330 * step, .ty = 3000 + 70 * step};
    authoring::PlaceObject2(tags, place);
    authoring::ShowFrame(tags);
  }
  authoring::End(tags);
  return Movie(tags, false, static_cast<uint16_t>(steps));
}

TEST(MovieEngine, DrawsOnlyThePartAMovedShapeCoversAndGetsTheSamePicture) {
  constexpr int kWidth = 220, kHeight = 160;  // 50 twips a pixel
  const StageView view{1.0 / 50, 1.0 / 50, 0, 0};
  auto kept = CreateMovieEngine(), fresh = CreateMovieEngine();
  ASSERT_TRUE(kept->Load(SteppingSquareMovie(4), {}));
  ASSERT_TRUE(fresh->Load(SteppingSquareMovie(4), {}));
  std::vector<uint32_t> picture(kWidth * kHeight), whole(kWidth * kHeight);
  const PixelTarget target{picture.data(), kWidth, kHeight, kWidth};
  ASSERT_TRUE(Whole(kept->Render(target, view, 0xFF000000, false), kWidth, kHeight));
  for (uint32_t frame = 1; frame < 4; ++frame) {
    SCOPED_TRACE(frame);
    kept->AdvanceFrame();
    fresh->GotoFrame(frame);
    const PixelRect part = kept->Render(target, view, 0xFF000000, true);
    // The square's old and new place, 20 x 20 pixels apart by 6.6 x 1.4, and the edges' reach.
    EXPECT_FALSE(part.Empty());
    EXPECT_LE(part.right - part.left, 20 + 7 + 2 * 3);
    EXPECT_LE(part.bottom - part.top, 20 + 2 + 2 * 3);
    EXPECT_LE(part.left, 40 + static_cast<int>(6.6 * (frame - 1)));
    fresh->Render({whole.data(), kWidth, kHeight, kWidth}, view, 0xFF000000, false);
    EXPECT_EQ(picture, whole);
  }
}

// The engine decodes photos ahead on a worker thread; whether a photo was ready or not, every
// frame must come out as the runner draws it, decoding each photo when it first appears.
// Loading another movie while the worker is busy replaces it cleanly.
TEST(MovieEngine, DecodingAheadDrawsEveryFrameAsDecodingOnDemand) {
  authoring::SlideshowSpec spec;
  spec.width = 160;
  spec.height = 120;
  spec.slides = 5;
  spec.still_frames = 3;
  spec.transition_frames = 2;
  const Bytes file = authoring::BuildSlideshow(spec);
  const auto movie = movie::LoadMovie(file).movie;
  ASSERT_TRUE(movie);
  authoring::SlideshowSpec other = spec;
  other.width = 320;
  other.height = 240;
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(authoring::BuildSlideshow(other), {}));
  ASSERT_TRUE(engine->Load(file, {}));
  tools::MovieRunner runner(movie, {});
  std::vector<uint32_t> pixels(160 * 120);
  const PixelTarget target{pixels.data(), 160, 120, 160};
  const uint32_t background = 0xFF000000u | engine->Stage().background;
  for (uint32_t frame = 0; frame < engine->Stage().frame_count; ++frame) {
    SCOPED_TRACE(frame);
    engine->Render(target, {}, background, false);
    const raster::Pixmap& expected = runner.Draw();
    for (int y = 0; y < 120; ++y) {
      ASSERT_TRUE(
          std::equal(pixels.begin() + y * 160, pixels.begin() + (y + 1) * 160, expected.Row(y)));
    }
    engine->AdvanceFrame();
    runner.Advance();
  }
}

}  // namespace
}  // namespace lumen::flash
