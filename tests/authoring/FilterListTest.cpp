// PlaceObject3's filter list as the writer lays it out, read back by the movie parser and the
// stage's filter reader: every field in place, and the fields after the list still found.
#include <gtest/gtest.h>

#include <variant>

#include "authoring/SwfWriter.h"
#include "movie/Movie.h"
#include "stage/FilterList.h"

namespace lumen::authoring {
namespace {

using avm1::FilterSettings;

TEST(FilterList, RoundTripsThroughTheMovieParser) {
  FilterSpec shadow;
  shadow.kind = FilterSpec::kDropShadow;
  shadow.color = {10, 20, 30, 128};
  shadow.blur_x = 6.5;
  shadow.blur_y = 2;
  shadow.angle = 1.25;
  shadow.distance = 9;
  shadow.strength = 1.5;
  shadow.passes = 3;
  shadow.knockout = true;
  FilterSpec blur;
  blur.blur_x = 24;
  blur.blur_y = 12;
  blur.passes = 2;
  FilterSpec glow;
  glow.kind = FilterSpec::kGlow;
  glow.color = {255, 200, 0, 255};
  glow.blur_x = 8;
  glow.inner = true;
  glow.composite_source = false;
  FilterSpec bevel;
  bevel.kind = FilterSpec::kBevel;
  bevel.color = {255, 255, 255, 200};
  bevel.shadow = {0, 0, 9, 99};
  bevel.on_top = true;
  bevel.passes = 15;
  FilterSpec matrix;
  matrix.kind = FilterSpec::kColorMatrix;
  for (size_t i = 0; i < matrix.matrix.size(); ++i)
    matrix.matrix[i] = 0.25f * static_cast<float>(i);

  Bytes tags;
  PlaceSpec place;
  place.depth = 7;
  place.character = 1;
  place.filters = std::vector{shadow, blur, glow, bevel, matrix};
  place.blend = 3;
  place.cache_as_bitmap = true;
  PlaceObject3(tags, place);
  ShowFrame(tags);
  End(tags);
  const auto loaded = movie::LoadMovie(BuildMovie({}, tags));
  ASSERT_TRUE(loaded.movie) << loaded.error;
  const auto& command = std::get<movie::PlaceCommand>(loaded.movie->root.frames[0].commands[0]);
  EXPECT_EQ(command.depth, 7);
  EXPECT_EQ(command.blend, render::BlendMode::Multiply);
  EXPECT_EQ(command.cache_as_bitmap, true);
  ASSERT_TRUE(command.filters);
  const auto read = stage::ReadFilterList(*command.filters);
  ASSERT_EQ(read.size(), 5u);

  EXPECT_EQ(read[0].kind, FilterSettings::Kind::DropShadow);
  EXPECT_EQ(read[0].color, 0x0A141Eu);
  EXPECT_EQ(read[0].alpha, 128);
  EXPECT_EQ(read[0].blur_x, 6.5);
  EXPECT_EQ(read[0].blur_y, 2);
  EXPECT_NEAR(read[0].angle, 1.25, 1.0 / 65536);
  EXPECT_EQ(read[0].distance, 9);
  EXPECT_EQ(read[0].strength, 1.5);
  EXPECT_EQ(read[0].quality, 3);
  EXPECT_TRUE(read[0].knockout && !read[0].inner && !read[0].hide_object);

  EXPECT_EQ(read[1].kind, FilterSettings::Kind::Blur);
  EXPECT_EQ(read[1].blur_x, 24);
  EXPECT_EQ(read[1].blur_y, 12);
  EXPECT_EQ(read[1].quality, 2);

  EXPECT_EQ(read[2].kind, FilterSettings::Kind::Glow);
  EXPECT_EQ(read[2].color, 0xFFC800u);
  EXPECT_EQ(read[2].blur_x, 8);
  EXPECT_TRUE(read[2].inner && read[2].hide_object && !read[2].knockout);

  EXPECT_EQ(read[3].kind, FilterSettings::Kind::Bevel);
  EXPECT_EQ(read[3].color, 0xFFFFFFu);
  EXPECT_EQ(read[3].alpha, 200);
  EXPECT_EQ(read[3].shadow_color, 0x000009u);
  EXPECT_EQ(read[3].shadow_alpha, 99);
  EXPECT_EQ(read[3].placement, FilterSettings::Placement::Full);
  EXPECT_EQ(read[3].quality, 15);

  EXPECT_EQ(read[4].kind, FilterSettings::Kind::ColorMatrix);
  ASSERT_EQ(read[4].matrix.size(), 20u);
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(read[4].matrix[i], 0.25 * static_cast<double>(i));
}

}  // namespace
}  // namespace lumen::authoring
