// The whole chain, movie bytes to pixels: parser, player state and renderer together.
#include "tools/reelrender/MovieRunner.h"

#include <gtest/gtest.h>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"

namespace lumen::tools {
namespace {

using authoring::Bytes;

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;

// A 20 x 20 pixel stage, blue. Frame 1: a red 10-pixel square at the origin and a 2 x 2 green
// bitmap placed at (0, 10) pixels; it is masked by a square covering only its top row. Frame 2:
// the red square moves right by 10 pixels.
std::shared_ptr<const movie::Movie> TestMovie() {
  Bytes t;
  authoring::SetBackgroundColor(t, {0, 0, 255, 255});
  authoring::ShapeWriter square(3);
  square.Select(-1, square.AddSolidFill({255, 0, 0, 255}));
  square.Rectangle(0, 0, 200, 200);
  const Bytes s = square.Tag(1, 0, 200, 0, 200);
  t.insert(t.end(), s.begin(), s.end());
  const uint8_t green[] = {0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0};
  authoring::DefineBitsLossless(t, 2, false, 5, 2, 2, green);
  authoring::ShapeWriter strip(3);
  strip.Select(-1, strip.AddSolidFill({0, 0, 0, 255}));
  strip.Rectangle(0, 200, 400, 220);
  const Bytes m = strip.Tag(3, 0, 400, 200, 220);
  t.insert(t.end(), m.begin(), m.end());
  authoring::PlaceSpec red;
  red.depth = 1;
  red.character = 1;
  authoring::PlaceObject2(t, red);
  authoring::PlaceSpec mask;
  mask.depth = 2;
  mask.character = 3;
  mask.clip_depth = 3;
  authoring::PlaceObject2(t, mask);
  authoring::PlaceSpec bitmap;
  bitmap.depth = 3;
  bitmap.character = 2;
  bitmap.matrix = authoring::MatrixSpec{1, 0, 0, 1, 0, 200};
  authoring::PlaceObject2(t, bitmap);
  authoring::ShowFrame(t);
  authoring::PlaceSpec move;
  move.depth = 1;
  move.move = true;
  move.matrix = authoring::MatrixSpec{1, 0, 0, 1, 200, 0};
  authoring::PlaceObject2(t, move);
  authoring::ShowFrame(t);
  authoring::End(t);
  authoring::MovieSpec spec;
  spec.x_max = spec.y_max = 400;
  spec.frame_count = 2;
  auto loaded = movie::LoadMovie(authoring::BuildMovie(spec, t));
  EXPECT_TRUE(loaded.movie) << loaded.error;
  return loaded.movie;
}

TEST(MovieRunner, DrawsFramesOfAMovieBuiltInCode) {
  RunOptions options;
  options.quality = render::Quality::Low;  // no anti-aliasing: every pixel is exact
  MovieRunner runner(TestMovie(), options);
  const raster::Pixmap& first = runner.Draw();
  ASSERT_EQ(first.Width(), 20);
  ASSERT_EQ(first.Height(), 20);
  struct Probe {
    int x, y;
    uint32_t frame1, frame2;
  };
  const Probe probes[] = {
      {5, 5, kRed, kBlue},     {15, 5, kBlue, kRed},  {15, 15, kBlue, kBlue},
      {0, 10, kGreen, kGreen}, {1, 11, kBlue, kBlue},  // the bitmap's second row is masked
  };
  for (const Probe& p : probes) EXPECT_EQ(first.At(p.x, p.y), p.frame1) << p.x << "," << p.y;
  runner.Advance();
  EXPECT_EQ(runner.Frame(), 2u);
  const raster::Pixmap& second = runner.Draw();
  for (const Probe& p : probes) EXPECT_EQ(second.At(p.x, p.y), p.frame2) << p.x << "," << p.y;
}

// Movies that define or place nothing drawable: each shows only its background colour.
TEST(MovieRunner, DegenerateContentDrawsOnlyTheBackground) {
  auto place = [](Bytes& t, uint16_t id) {
    authoring::PlaceSpec p;
    p.depth = 1;
    p.character = id;
    authoring::PlaceObject2(t, p);
  };
  auto shape_tag = [](bool zero_width, bool no_edges) {
    authoring::ShapeWriter shape(3);
    shape.Select(-1, shape.AddSolidFill({255, 0, 0, 255}));
    if (!no_edges) shape.Rectangle(100, 0, zero_width ? 100 : 300, 300);
    return shape.Tag(1, 100, 300, 0, 300);
  };
  struct Case {
    const char* name;
    Bytes tags;
    int32_t stage_twips;
  };
  std::vector<Case> cases;
  {
    Bytes t = shape_tag(true, false);
    place(t, 1);
    cases.push_back({"zero-area shape", t, 400});
  }
  {
    Bytes t = shape_tag(false, true);
    place(t, 1);
    cases.push_back({"shape without edges", t, 400});
  }
  {
    Bytes t, sprite;
    authoring::End(sprite);
    authoring::DefineSprite(t, 4, 0, sprite);
    place(t, 4);
    cases.push_back({"empty sprite", t, 400});
  }
  {
    Bytes t;
    place(t, 77);
    cases.push_back({"undefined character", t, 400});
  }
  {
    Bytes t = shape_tag(false, false);
    place(t, 1);
    cases.push_back({"stage rectangle with no bits", t, 0});
  }
  for (Case& c : cases) {
    Bytes t;
    authoring::SetBackgroundColor(t, {0, 0, 255, 255});
    t.insert(t.end(), c.tags.begin(), c.tags.end());
    authoring::ShowFrame(t);
    authoring::End(t);
    authoring::MovieSpec spec;
    spec.x_max = spec.y_max = c.stage_twips;
    const auto loaded = movie::LoadMovie(authoring::BuildMovie(spec, t));
    ASSERT_TRUE(loaded.movie) << c.name << ": " << loaded.error;
    RunOptions options;
    options.quality = render::Quality::Low;
    MovieRunner runner(loaded.movie, options);
    const raster::Pixmap& picture = runner.Draw();
    ASSERT_FALSE(picture.Empty()) << c.name;
    for (int y = 0; y < picture.Height(); ++y) {
      for (int x = 0; x < picture.Width(); ++x) {
        ASSERT_EQ(picture.At(x, y), kBlue) << c.name << " at " << x << "," << y;
      }
    }
  }
}

TEST(MovieRunner, StageSizeIsKeptWithinPictureLimits) {
  for (const auto& [x_max, expected] :
       {std::pair{0, 1}, std::pair{30, 2}, std::pair{1 << 30, 8192}}) {
    movie::Movie m;
    m.stage = {0, 0, static_cast<float>(x_max), 400};
    int w = 0, h = 0;
    StagePixels(m, w, h);
    EXPECT_EQ(w, expected) << x_max;
    EXPECT_EQ(h, 20);
  }
}

// The "quit" FSCommand ends the script that sends it as usual, and nothing runs after it: the
// frame's next script, or another frame.
TEST(MovieRunner, QuitEndsEverythingAfterTheScriptThatQuits) {
  namespace aw = authoring;
  aw::ActionWriter quits, next;
  quits.Push({std::string("FSCommand:quit"), std::string()}).GetUrl2(0);
  quits.Push({std::string("same script")}).Op(aw::kTrace);
  next.Push({std::string("next script")}).Op(aw::kTrace);
  Bytes t;
  aw::DoAction(t, quits.Finish());
  aw::DoAction(t, next.Finish());
  aw::ShowFrame(t);
  aw::DoAction(t, next.Finish());
  aw::ShowFrame(t);
  aw::End(t);
  aw::MovieSpec spec;
  spec.frame_count = 2;
  auto loaded = movie::LoadMovie(aw::BuildMovie(spec, t));
  ASSERT_TRUE(loaded.movie) << loaded.error;
  std::vector<std::string> lines;
  RunOptions options;
  options.trace = [&lines](std::string_view line) { lines.emplace_back(line); };
  MovieRunner runner(loaded.movie, options);
  runner.RunTicks(2, {});
  EXPECT_TRUE(runner.Quit());
  EXPECT_EQ(lines, std::vector<std::string>{"same script"});
}

}  // namespace
}  // namespace lumen::tools
