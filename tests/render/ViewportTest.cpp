#include <gtest/gtest.h>

#include <cmath>

#include "render/Viewport.h"

namespace lumen::render {
namespace {

// A 400 x 300 pixel stage in an 800 x 400 window unless a case says otherwise.
struct ViewCase {
  const char* name;
  ScaleMode mode;
  const char* align;
  Point top_left, bottom_right;  // where the stage corners land, in window pixels
  Rect stage = {0, 0, 8000, 6000};
};

const ViewCase kViews[] = {
    {"show_all_centred", ScaleMode::ShowAll, "", {133.333f, 0}, {666.667f, 400}},
    {"show_all_left", ScaleMode::ShowAll, "L", {0, 0}, {533.333f, 400}},
    {"show_all_right", ScaleMode::ShowAll, "r", {266.667f, 0}, {800, 400}},
    {"show_all_left_and_right_keeps_left", ScaleMode::ShowAll, "LR", {0, 0}, {533.333f, 400}},
    {"no_border_centred", ScaleMode::NoBorder, "", {0, -100}, {800, 500}},
    {"no_border_top", ScaleMode::NoBorder, "T", {0, 0}, {800, 600}},
    {"no_border_bottom", ScaleMode::NoBorder, "B", {0, -200}, {800, 400}},
    {"exact_fit", ScaleMode::ExactFit, "TL", {0, 0}, {800, 400}},
    {"no_scale_centred", ScaleMode::NoScale, "", {200, 50}, {600, 350}},
    {"no_scale_top_left", ScaleMode::NoScale, "TL", {0, 0}, {400, 300}},
    {"no_scale_bottom_right", ScaleMode::NoScale, "BR", {400, 100}, {800, 400}},
    {"stage_not_at_origin",
     ScaleMode::NoScale,
     "TL",
     {0, 0},
     {400, 300},
     {2000, 1000, 10000, 7000}},
};

class Views : public ::testing::TestWithParam<ViewCase> {};

TEST_P(Views, StageCornersLandWhereTheModeSays) {
  const ViewCase& c = GetParam();
  const Matrix m = StageToDevice(c.stage, 800, 400, c.mode, ParseStageAlign(c.align));
  const Point tl = m.Apply({c.stage.x_min, c.stage.y_min});
  const Point br = m.Apply({c.stage.x_max, c.stage.y_max});
  EXPECT_NEAR(tl.x, c.top_left.x, 0.01);
  EXPECT_NEAR(tl.y, c.top_left.y, 0.01);
  EXPECT_NEAR(br.x, c.bottom_right.x, 0.01);
  EXPECT_NEAR(br.y, c.bottom_right.y, 0.01);
}

INSTANTIATE_TEST_SUITE_P(ScaleModes, Views, ::testing::ValuesIn(kViews),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Viewport, UnusableSizesScaleToNothing) {
  const Rect stage{0, 0, 8000, 6000};
  for (const Matrix& m : {StageToDevice(stage, 0, 400, ScaleMode::ShowAll),
                          StageToDevice(stage, 800, -1, ScaleMode::NoBorder),
                          StageToDevice({0, 0, 0, 6000}, 800, 400, ScaleMode::ExactFit),
                          StageToDevice({0, 0, NAN, 6000}, 800, 400, ScaleMode::ShowAll),
                          StageToDevice({0, 0, INFINITY, 6000}, 800, 400, ScaleMode::NoScale)}) {
    EXPECT_EQ(m.a, 0);
    EXPECT_EQ(m.d, 0);
  }
}

TEST(Viewport, AlignLettersInAnyOrderAndCase) {
  EXPECT_EQ(ParseStageAlign("TL"), (StageAlign{true, false, true, false}));
  EXPECT_EQ(ParseStageAlign("lt"), (StageAlign{true, false, true, false}));
  EXPECT_EQ(ParseStageAlign("BR"), (StageAlign{false, true, false, true}));
  EXPECT_EQ(ParseStageAlign("xyz"), StageAlign{});
  EXPECT_EQ(ParseStageAlign(""), StageAlign{});
}

}  // namespace
}  // namespace lumen::render
