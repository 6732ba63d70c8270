#include "stage/BitmapPlan.h"

#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::Bytes;
using Sources = std::vector<const render::BitmapSource*>;

// Bitmaps 1 to 3; shape 4 is filled with bitmap 3; sprite 5 shows bitmap 2 and places itself.
// Frame 0 places bitmap 1, frame 1 nothing, frame 2 the sprite, frame 3 the shape.
std::shared_ptr<const movie::Movie> PlannedMovie() {
  Bytes t;
  const uint8_t px[] = {0, 1, 2, 3};
  for (uint16_t id = 1; id <= 3; ++id) authoring::DefineBitsLossless(t, id, false, 5, 1, 1, px);
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddBitmapFill(3, {20, 0, 0, 20, 0, 0}));
  shape.Rectangle(0, 0, 20, 20);
  const Bytes s = shape.Tag(4, 0, 20, 0, 20);
  t.insert(t.end(), s.begin(), s.end());
  Bytes sprite;
  authoring::PlaceObject(sprite, 2, 1);
  authoring::PlaceObject(sprite, 5, 2);
  authoring::ShowFrame(sprite);
  authoring::End(sprite);
  authoring::DefineSprite(t, 5, 1, sprite);
  authoring::PlaceObject(t, 1, 1);
  authoring::ShowFrame(t);
  authoring::ShowFrame(t);
  authoring::PlaceObject(t, 5, 2);
  authoring::ShowFrame(t);
  authoring::PlaceObject(t, 4, 3);
  authoring::ShowFrame(t);
  return movie::testing::Load(t);
}

TEST(BitmapPlan, ListsWhatAWindowOfFramesPlacesInOrderAndWraps) {
  const auto movie = PlannedMovie();
  ASSERT_TRUE(movie);
  const render::BitmapSource* b1 = movie->Find(1)->bitmap.get();
  const render::BitmapSource* b2 = movie->Find(2)->bitmap.get();
  const render::BitmapSource* b3 = movie->Find(3)->bitmap.get();
  const BitmapPlan plan(*movie);
  ASSERT_EQ(plan.FrameCount(), 4u);
  const struct {
    size_t first, count;
    Sources expected;
  } cases[] = {
      {0, 1, {b1}},           {1, 1, {}},   {1, 2, {b2}}, {2, 3, {b2, b3, b1}},
      {0, 100, {b1, b2, b3}}, {4, 1, {b1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.first << " " << c.count);
    Sources window;
    plan.Window(c.first, c.count, window);
    EXPECT_EQ(window, c.expected);
  }
}

}  // namespace
}  // namespace lumen::stage
