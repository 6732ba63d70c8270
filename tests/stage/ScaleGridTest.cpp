#include "stage/ScaleGrid.h"

#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::Bytes;
using authoring::MatrixSpec;
using authoring::PlaceSpec;

constexpr render::Rect kBounds{0, 0, 2000, 2000};    // 100 pixels square
constexpr render::Rect kGrid{200, 200, 1800, 1800};  // 10 pixels in from each side
constexpr float kTolerance = 0.01f;                  // twips

// Each fixed part keeps its stage size until both no longer fit; then they share the scaled
// size in proportion and the centre vanishes. Unmap undoes Map.
TEST(ScaleGrid, FixedPartsKeepTheirStageSizeOrShrinkTogether) {
  const auto up = ScaleGrid::For(kGrid, kBounds, render::Matrix::Scale(3, 3));
  ASSERT_TRUE(up);
  EXPECT_NEAR(3 * up->Map({100, 0}).x, 100, kTolerance);
  EXPECT_NEAR(3 * (2000 - up->Map({0, 1900}).y), 100, kTolerance);
  const float centre = (3 * 2000 - 400) / 1600.0f;
  EXPECT_NEAR(3 * (up->Map({1200, 0}).x - up->Map({800, 0}).x), 400 * centre, kTolerance);
  for (const float v : {100.0f, 1000.0f, 1900.0f}) {  // hit tests take points back
    EXPECT_NEAR(up->Unmap(up->Map({v, 0})).x, v, kTolerance);
  }

  const float scale = 0.15f;  // 300 twips on the stage, fixed parts of 400
  const auto down = ScaleGrid::For(kGrid, kBounds, render::Matrix::Scale(scale, scale));
  ASSERT_TRUE(down);
  EXPECT_NEAR(scale * down->Map({200, 0}).x, 200 * (2000 * scale / 400), kTolerance);
  EXPECT_NEAR(down->Map({200, 0}).x, down->Map({1800, 0}).x, kTolerance);

  const render::Matrix turned{0, 3, -3, 0, 0, 0};
  EXPECT_FALSE(ScaleGrid::For(kGrid, kBounds, turned));
  EXPECT_FALSE(ScaleGrid::For(kGrid, kBounds, {}));
}

Bytes Rectangle(uint16_t id, int32_t x0, int32_t x1) {
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 128, 0, 255}));
  shape.Rectangle(x0, x0, x1, x1);
  return shape.Tag(id, x0, x1, x0, x1);
}

// A one-pixel line across the middle.
Bytes Line(uint16_t id) {
  authoring::ShapeWriter shape(3);
  shape.Select(-1, -1, shape.AddLineStyle(20, {0, 0, 0, 255}));
  shape.MoveTo(500, 1000);
  shape.LineTo(1500, 1000);
  return shape.Tag(id, 490, 1510, 990, 1010);
}

PlaceSpec At(uint16_t depth, uint16_t character, MatrixSpec m = {}) {
  PlaceSpec p;
  p.depth = depth;
  p.character = character;
  p.matrix = m;
  return p;
}

// Sprite 10: a frame of 100 pixels (shape 1), a 5-pixel corner mark (shape 2), a block in the
// centre (shape 3), sprite 4 holding another mark, placed near the far corner, and a line
// (shape 5).
Bytes GridSprite(const MatrixSpec& placed) {
  Bytes t;
  for (const Bytes& shape :
       {Rectangle(1, 0, 2000), Rectangle(2, 0, 100), Rectangle(3, 800, 1200), Line(5)}) {
    t.insert(t.end(), shape.begin(), shape.end());
  }
  Bytes inner;
  authoring::PlaceObject2(inner, At(1, 2));
  authoring::ShowFrame(inner);
  authoring::End(inner);
  authoring::DefineSprite(t, 4, 1, inner);
  Bytes s;
  for (uint16_t id = 1; id <= 3; ++id) authoring::PlaceObject2(s, At(id, id));
  authoring::PlaceObject2(s, At(4, 4, MatrixSpec{1, 0, 0, 1, 1900, 1900}));
  authoring::PlaceObject2(s, At(5, 5));
  authoring::ShowFrame(s);
  authoring::End(s);
  authoring::DefineSprite(t, 10, 1, s);
  authoring::DefineScalingGrid(t, 10, 200, 1800, 200, 1800);
  authoring::PlaceObject2(t, At(1, 10, placed));
  authoring::ShowFrame(t);
  return t;
}

// Scaled three times, the mark keeps its 5 pixels, the centre takes what the fixed parts leave,
// the line keeps its width, and the inner sprite scales as a whole. Turned, or at scale 1, the
// shapes are drawn as defined.
TEST(ScaleGrid, AScaledClipDrawsItsShapesThroughTheGrid) {
  render::RenderList list;
  auto stage_x = [&list](size_t i, float x) {
    const render::RenderCommand& c = list.commands[i];
    return c.matrix.Apply({x, 0}).x;
  };
  Stage scaled(movie::testing::Load(GridSprite({3, 0, 0, 3, 0, 0})));
  scaled.BuildRenderList(list);
  ASSERT_EQ(list.commands.size(), 5u);
  const render::Rect& mark = list.commands[1].shape->bounds;
  EXPECT_FLOAT_EQ(stage_x(1, mark.x_max) - stage_x(1, mark.x_min), 100);
  const render::Rect& block = list.commands[2].shape->bounds;
  const float centre = (3 * 2000 - 400) / 1600.0f;
  EXPECT_FLOAT_EQ(stage_x(2, block.x_max) - stage_x(2, block.x_min), 400 * centre);
  EXPECT_FLOAT_EQ(stage_x(2, block.x_min), 200 + 600 * centre);
  EXPECT_FLOAT_EQ(list.commands[3].matrix.tx, 3 * 1900);
  const render::RenderCommand& line = list.commands[4];
  EXPECT_FLOAT_EQ(line.shape->parts[0].line.width * (line.matrix.a + line.matrix.d) / 2, 20);

  for (const MatrixSpec& plain : {MatrixSpec{}, MatrixSpec{0, 3, -3, 0, 0, 0}}) {
    Stage stage(movie::testing::Load(GridSprite(plain)));
    stage.BuildRenderList(list);
    ASSERT_EQ(list.commands.size(), 5u);
    for (uint16_t id = 1; id <= 3; ++id) {
      EXPECT_EQ(list.commands[id - 1].shape, stage.Movie().Find(id)->shape.get());
    }
  }
}

// A grid names a sprite or button defined before it and has some area; anything else is
// ignored.
TEST(ScaleGrid, OnlyAGridWithAreaForADefinedSpriteCounts) {
  Bytes t = GridSprite({});
  authoring::DefineScalingGrid(t, 1, 0, 100, 0, 100);    // a shape
  authoring::DefineScalingGrid(t, 99, 0, 100, 0, 100);   // nothing
  authoring::DefineScalingGrid(t, 4, 100, 100, 0, 100);  // empty
  authoring::DefineScalingGrid(t, 4, 100, 0, 100, 0);    // inverted
  const auto movie = movie::testing::Load(t);
  EXPECT_FALSE(movie->Find(1)->scaling_grid);
  EXPECT_FALSE(movie->Find(4)->scaling_grid);
  ASSERT_TRUE(movie->Find(10)->scaling_grid);
  EXPECT_FLOAT_EQ(movie->Find(10)->scaling_grid->x_max, 1800);
}

}  // namespace
}  // namespace lumen::stage
