#include <gtest/gtest.h>

#include "flash/FrameClock.h"
#include "flash/StageLayout.h"

namespace lumen::flash {
namespace {

struct LayoutCase {
  const char* name;
  int32_t stage_w, stage_h;  // twips
  int window_w, window_h;
  ScaleMode mode;
  int32_t align;
  StageView expected;
};

TEST(StageLayout, PlacesTheStageForEveryScaleModeAndAlignment) {
  const LayoutCase cases[] = {
      // 550 x 400 px stage in a 200 x 100 window: height limits, 137.5 px wide, centred.
      {"show all, wide window",
       11000,
       8000,
       200,
       100,
       ScaleMode::ShowAll,
       0,
       {1.0 / 80, 1.0 / 80, 31.25, 0}},
      {"show all, tall window", 11000, 8000, 110, 400, ScaleMode::ShowAll, 0, {0.01, 0.01, 0, 160}},
      {"show all, left",
       11000,
       8000,
       200,
       100,
       ScaleMode::ShowAll,
       kAlignLeft,
       {1.0 / 80, 1.0 / 80, 0, 0}},
      {"show all, right",
       11000,
       8000,
       200,
       100,
       ScaleMode::ShowAll,
       kAlignRight,
       {1.0 / 80, 1.0 / 80, 62.5, 0}},
      {"show all, left and right cancel",
       11000,
       8000,
       200,
       100,
       ScaleMode::ShowAll,
       kAlignLeft | kAlignRight,
       {1.0 / 80, 1.0 / 80, 31.25, 0}},
      {"show all, bottom of tall window",
       11000,
       8000,
       110,
       400,
       ScaleMode::ShowAll,
       kAlignBottom,
       {0.01, 0.01, 0, 320}},
      {"no border crops the long side",
       11000,
       8000,
       200,
       100,
       ScaleMode::NoBorder,
       0,
       {1.0 / 55, 1.0 / 55, 0, (100 - 8000.0 / 55) / 2}},
      {"exact fit stretches",
       11000,
       8000,
       200,
       100,
       ScaleMode::ExactFit,
       0,
       {200.0 / 11000, 100.0 / 8000, 0, 0}},
      {"no scale keeps pixels, centred",
       2000,
       2000,
       300,
       50,
       ScaleMode::NoScale,
       0,
       {0.05, 0.05, 100, -25}},
      {"no scale, top left",
       2000,
       2000,
       300,
       50,
       ScaleMode::NoScale,
       kAlignTop | kAlignLeft,
       {0.05, 0.05, 0, 0}},
      {"empty stage", 0, 8000, 200, 100, ScaleMode::ShowAll, 0, {0.05, 0.05, 0, 0}},
      {"negative stage", -20, 8000, 200, 100, ScaleMode::ShowAll, 0, {0.05, 0.05, 0, 0}},
      {"empty window", 11000, 8000, 0, 100, ScaleMode::ShowAll, 0, {0.05, 0.05, 0, 0}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    const StageView view =
        LayoutStage(c.stage_w, c.stage_h, c.window_w, c.window_h, c.mode, c.align);
    EXPECT_DOUBLE_EQ(view.scale_x, c.expected.scale_x);
    EXPECT_DOUBLE_EQ(view.scale_y, c.expected.scale_y);
    EXPECT_DOUBLE_EQ(view.offset_x, c.expected.offset_x);
    EXPECT_DOUBLE_EQ(view.offset_y, c.expected.offset_y);
  }
}

TEST(FrameClock, SchedulesEveryFrameFromTheStartWithoutDrift) {
  // 3 frames per second on a 1000-tick clock: frames fall due at 333, 666, 1000, ...
  FrameClock clock(3, 1000);
  clock.Start(5000);
  EXPECT_EQ(clock.Poll(5000), 0u);
  EXPECT_EQ(clock.TicksUntilNext(5000), 333);
  EXPECT_EQ(clock.Poll(5332), 0u);
  EXPECT_EQ(clock.Poll(5334), 1u);
  EXPECT_EQ(clock.TicksUntilNext(5334), 666 - 334);
  EXPECT_EQ(clock.Poll(5700), 1u);  // a late poll still leaves frame 3 at 6000, not 6033
  EXPECT_EQ(clock.TicksUntilNext(5700), 300);
  EXPECT_EQ(clock.Poll(6000), 1u);
  // 1000 polls of one frame each land exactly on the thousandth frame.
  FrameClock steady(30, 3000);
  steady.Start(0);
  uint64_t frames = 0;
  for (int64_t now = 100; now <= 100000; now += 100) frames += steady.Poll(now);
  EXPECT_EQ(frames, 1000u);
}

TEST(FrameClock, StallsRestartTheScheduleAndNoRateMeansNoFrames) {
  FrameClock clock(10, 1000);
  clock.Start(0);
  EXPECT_EQ(clock.Poll(350), 3u);
  EXPECT_EQ(clock.Poll(10000), FrameClock::kMaxCatchUp);  // 96 frames late: not caught up
  EXPECT_EQ(clock.TicksUntilNext(10000), 100);            // restarted at the stall's end
  EXPECT_EQ(clock.Poll(10100), 1u);
  EXPECT_EQ(clock.Poll(-5), 0u);  // a clock running backwards gives nothing

  FrameClock still(0, 1000);
  still.Start(0);
  EXPECT_EQ(still.Poll(100000), 0u);
  EXPECT_EQ(FrameClock().Poll(100), 0u);
}

}  // namespace
}  // namespace lumen::flash
