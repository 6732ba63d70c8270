#include <gtest/gtest.h>

#include "flash/ViewZoom.h"

namespace lumen::flash {
namespace {

// Where a stage point (twips from the stage's corner) lands in the window.
double WindowX(const StageView& view, double twips) {
  return view.offset_x + twips * view.scale_x;
}
double WindowY(const StageView& view, double twips) {
  return view.offset_y + twips * view.scale_y;
}

// A 200 x 100 window showing a 4000 x 2000 twip stage at 20 twips a pixel.
constexpr StageView kBase{0.05, 0.05, 0, 0};

TEST(ViewZoom, ZoomsAboutTheWindowCentreWithinItsLimits) {
  ViewZoom zoom;
  EXPECT_FALSE(zoom.Zoomed());
  zoom.ZoomBy(0.5, 200, 100);  // never smaller than the layout
  EXPECT_EQ(zoom.Factor(), 1);
  zoom.ZoomBy(2, 200, 100);
  EXPECT_TRUE(zoom.Zoomed());
  const StageView view = zoom.Apply(kBase, 200, 100);
  EXPECT_DOUBLE_EQ(view.scale_x, 0.1);
  EXPECT_DOUBLE_EQ(WindowX(view, 2000), 100);  // the stage centre stays at the window centre
  EXPECT_DOUBLE_EQ(WindowY(view, 1000), 50);
  for (int i = 0; i < 10; ++i) zoom.ZoomBy(2, 200, 100);
  EXPECT_EQ(zoom.Factor(), ViewZoom::kMaxFactor);
  zoom.ZoomBy(0, 200, 100);  // no factor at all changes nothing
  EXPECT_EQ(zoom.Factor(), ViewZoom::kMaxFactor);
  zoom.Reset();
  EXPECT_FALSE(zoom.Zoomed());
}

TEST(ViewZoom, PansNoFurtherThanTheMagnifiedEdge) {
  const struct {
    double factor, dx, dy;
    double left_x, top_y;  // where the stage's top left corner lands
  } cases[] = {
      {1, 30, 30, 0, 0},            // not zoomed: nothing to pan
      {2, 30, -20, -70, -70},       // within the room
      {2, 500, 500, 0, 0},          // clamped at the left and top edges
      {2, -500, -500, -200, -100},  // and at the right and bottom ones
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.factor + c.dx);
    ViewZoom zoom;
    zoom.ZoomBy(c.factor, 200, 100);
    zoom.PanBy(c.dx, c.dy, 200, 100);
    const StageView view = zoom.Apply(kBase, 200, 100);
    EXPECT_DOUBLE_EQ(WindowX(view, 0), c.left_x);
    EXPECT_DOUBLE_EQ(WindowY(view, 0), c.top_y);
  }
  // Zooming back out pulls a pan in with it.
  ViewZoom zoom;
  zoom.ZoomBy(4, 200, 100);
  zoom.PanBy(300, 150, 200, 100);
  zoom.ZoomBy(0.5, 200, 100);
  const StageView view = zoom.Apply(kBase, 200, 100);
  EXPECT_DOUBLE_EQ(WindowX(view, 0), 0);
  EXPECT_DOUBLE_EQ(WindowY(view, 0), 0);
}

TEST(ViewZoom, ZoomsToARectangleCentredAndWithinLimits) {
  const struct {
    const char* what;
    double x0, y0, x1, y1;
    double factor, left_x, top_y;  // where the stage's top left corner lands
  } cases[] = {
      {"the top left quarter", 0, 0, 100, 50, 2, 0, 0},
      {"the middle quarter", 75, 37.5, 125, 62.5, 4, -300, -150},
      {"a rectangle larger than the window", -50, -50, 250, 150, 1, 0, 0},
      {"a speck", 9.9995, 9.9995, 10.0005, 10.0005, ViewZoom::kMaxFactor, -(10 * 20 - 100),
       -(10 * 20 - 50)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ViewZoom zoom;
    zoom.ZoomTo(c.x0, c.y0, c.x1, c.y1, 200, 100);
    EXPECT_DOUBLE_EQ(zoom.Factor(), c.factor);
    const StageView view = zoom.Apply(kBase, 200, 100);
    EXPECT_NEAR(WindowX(view, 0), c.left_x, 1e-6);
    EXPECT_NEAR(WindowY(view, 0), c.top_y, 1e-6);
  }
  ViewZoom zoom;
  zoom.ZoomTo(10, 10, 10, 20, 200, 100);  // no width: nothing changes
  EXPECT_FALSE(zoom.Zoomed());
}

}  // namespace
}  // namespace lumen::flash
