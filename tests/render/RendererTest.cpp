#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "render/Renderer.h"
#include "render/Viewport.h"
#include "tests/render/Scene.h"

#include "tests/render/AllocationCount.h"

namespace lumen::render::test {
namespace {

using Kind = RenderCommand::Kind;
using raster::Pixmap;

const Matrix kTwipsToPixels = Matrix::Scale(1.0f / 20, 1.0f / 20);

bool SamePixels(const Pixmap& a, const Pixmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      if (a.At(x, y) != b.At(x, y)) return false;
    }
  }
  return true;
}

Pixmap Render(const RenderList& list, int w = 64, int h = 64, Matrix m = kTwipsToPixels) {
  Pixmap out(w, h);
  Renderer r;
  r.Render(list, m, out);
  return out;
}

// `path` filled black on white, placed by `place`, without anti-aliasing.
// With `filtered`, drawn inside a filtered picture whose origin is a pixel centre (so that at
// low quality it does not move).
Pixmap RenderBlackLowQuality(const Path& path, const Matrix& place, int w, int h,
                             bool filtered = false) {
  Scene scene;
  if (filtered) {
    scene.Command(Kind::BeginLayer);
    scene.list.commands.back().centre = true;
    scene.list.commands.back().matrix = Matrix::Translate(Tw(0.5f), Tw(0.5f));
  }
  scene.Draw(scene.Fill(path, SolidFill({0, 0, 0, 255})), place);
  if (filtered) scene.Command(Kind::EndLayer);
  Pixmap out(w, h);
  Renderer r;
  r.SetQuality(Quality::Low);
  r.Render(scene.list, kTwipsToPixels, out);
  return out;
}

// Every kind of work a frame can hold: fills of each paint, a stroke, a mask and a layer.
Scene Busy() {
  Scene s;
  s.Draw(s.Fill(CirclePath(30, 30, 20), SolidFill({200, 0, 0, 255})));
  s.Draw(s.Fill(RectPath(0, 0, 64, 20),
                GradientFill(FillStyle::Kind::RadialGradient,
                             {{0, {0, 0, 0, 255}}, {255, {0, 0, 255, 128}}}, 32, 10, 20)));
  s.Command(Kind::BeginMask);
  s.Draw(s.Fill(RectPath(10, 10, 50, 50), SolidFill({})));
  s.Command(Kind::EndMask);
  s.Command(Kind::BeginLayer, BlendMode::Multiply);
  s.Draw(s.Fill(RectPath(0, 0, 64, 64),
                BitmapFill(TestBitmap(9, 7), {3, 1, -1, 3, 10, 0}, true, true)));
  s.Command(Kind::EndLayer, BlendMode::Multiply);
  s.Command(Kind::PopMask);
  s.Draw(s.Stroke(CirclePath(32, 32, 25), Line(3, {0, 128, 0, 255})));
  return s;
}

TEST(Renderer, SteadyFramesAllocateNothing) {
  Scene scene = Busy();
  Pixmap out(64, 64);
  Renderer r;
  const long start = AllocationCount();
  r.Render(scene.list, kTwipsToPixels, out);  // the first frame prepares shapes and buffers
  EXPECT_GT(AllocationCount(), start);
  r.Render(scene.list, kTwipsToPixels, out);
  const long before = AllocationCount();
  for (int i = 0; i < 3; ++i) r.Render(scene.list, kTwipsToPixels, out);
  EXPECT_EQ(AllocationCount() - before, 0);
}

TEST(Renderer, CachedShapesDrawLikeFreshOnesAtAnyScale) {
  Scene scene = Busy();
  Renderer cached;
  Pixmap first(64, 64), again(64, 64);
  cached.Render(scene.list, kTwipsToPixels, first);
  for (float zoom : {0.25f, 3.0f, 1.0f}) {
    const Matrix m = Matrix::Scale(zoom, zoom) * kTwipsToPixels;
    cached.Render(scene.list, m, again);
    EXPECT_TRUE(SamePixels(again, Render(scene.list, 64, 64, m))) << zoom;
  }
  EXPECT_TRUE(SamePixels(again, first));
  cached.ClearCache();
  cached.Render(scene.list, kTwipsToPixels, again);
  EXPECT_TRUE(SamePixels(again, first));
}

// A shape changed in place (a morph between frames) or a new shape at a freed one's address is
// flattened again, not drawn from the cache.
TEST(Renderer, ShapesChangedInPlaceAreFlattenedAgain) {
  Scene scene;
  ShapeGeometry& shape = scene.Fill(RectPath(5, 5, 20, 20), SolidFill({0, 0, 0, 255}));
  scene.Draw(shape);
  Renderer r;
  Pixmap out(64, 64);
  r.Render(scene.list, kTwipsToPixels, out);
  shape.parts[0].path = CirclePath(40, 40, 15);
  r.Render(scene.list, kTwipsToPixels, out);
  EXPECT_TRUE(SamePixels(out, Render(scene.list)));
  EXPECT_EQ(out.At(10, 10), 0xFFFFFFFFu);
}

// A fill of many edges drawn again where it was replays its coverage: under any colour
// transform, moved, or changed in place, each frame equals a fresh renderer's.
TEST(Renderer, FillsDrawnAgainMatchFreshOnes) {
  std::vector<Point> star;
  for (int i = 0; i < 400; ++i) {
    const float angle = static_cast<float>(i) * 6.2831853f / 400, r = i % 2 ? 28.0f : 17.5f;
    star.push_back({32 + r * std::cos(angle), 32 + r * std::sin(angle)});
  }
  Scene scene;
  ShapeGeometry& shape = scene.Fill(PolyPath(star), SolidFill({0, 0, 200, 255}));
  scene.Draw(shape);
  RenderCommand& draw = scene.list.commands[0];
  Renderer r;
  Pixmap out(64, 64);
  for (float alpha : {1.0f, 0.5f, 0.25f}) {
    draw.cxform.mul_a = alpha;
    r.Render(scene.list, kTwipsToPixels, out);
    EXPECT_TRUE(SamePixels(out, Render(scene.list))) << alpha;
  }
  draw.matrix.tx += Tw(3.5f);
  r.Render(scene.list, kTwipsToPixels, out);
  EXPECT_TRUE(SamePixels(out, Render(scene.list)));
  star.resize(300);
  shape.parts[0].path = PolyPath(star);
  r.Render(scene.list, kTwipsToPixels, out);
  EXPECT_TRUE(SamePixels(out, Render(scene.list)));
}

TEST(Renderer, ScalarAndSse2FramesAreIdentical) {
  Scene scene = Busy();
  Pixmap a(64, 64), b(64, 64);
  Renderer r;
  r.SetIsa(raster::Isa::Scalar);
  r.Render(scene.list, kTwipsToPixels, a);
  r.SetIsa(raster::BestIsa());
  r.Render(scene.list, kTwipsToPixels, b);
  EXPECT_TRUE(SamePixels(a, b));
}

TEST(Renderer, BorrowedBuffersWithStrideMatchOwnedPixmaps) {
  Scene scene = Busy();
  const Pixmap owned = Render(scene.list);
  std::vector<uint32_t> buffer(80 * 64, 0xDEADBEEF);
  for (ptrdiff_t stride : {80, -80}) {
    uint32_t* first_row = stride > 0 ? buffer.data() : buffer.data() + 63 * 80;
    Pixmap borrowed = Pixmap::Borrow(first_row, 64, 64, stride);
    Renderer().Render(scene.list, kTwipsToPixels, borrowed);
    EXPECT_TRUE(SamePixels(borrowed, owned)) << stride;
    EXPECT_EQ(buffer[64], 0xDEADBEEFu);  // the padding past each row is left alone
  }
  EXPECT_TRUE(Pixmap::Borrow(buffer.data(), 64, 64, 10).Empty());  // rows would overlap
  EXPECT_TRUE(Pixmap::Borrow(nullptr, 64, 64, 64).Empty());
}

TEST(Renderer, CoverageMethodsDifferOnlyAtEdges) {
  Scene scene;
  scene.Draw(scene.Fill(CirclePath(32, 32, 25), SolidFill({0, 0, 0, 255})));
  Pixmap grid(64, 64), area(64, 64);
  Renderer r;
  r.Render(scene.list, kTwipsToPixels, grid);
  r.SetCoverage(raster::CoverageMethod::ExactArea);
  r.Render(scene.list, kTwipsToPixels, area);
  int differing = 0, worst = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const int d =
          std::abs(static_cast<int>(grid.At(x, y) & 0xFF) - static_cast<int>(area.At(x, y) & 0xFF));
      differing += d != 0;
      worst = std::max(worst, d);
    }
  }
  EXPECT_GT(differing, 20);  // the switch really changes the coverage ...
  EXPECT_LE(worst, 40);      // ... by no more than a 4 x 4 grid's sampling error
  EXPECT_EQ(grid.At(32, 32), area.At(32, 32));
}

TEST(Renderer, MaskAroundALayerClipsTheLayerOnce) {
  // A mask over the left half, then a layer with a soft-edged red disc: where the mask shows,
  // the picture equals the unmasked one; elsewhere it is the background.
  Scene masked, plain;
  for (Scene* s : {&masked, &plain}) {
    if (s == &masked) {
      s->Command(Kind::BeginMask);
      s->Draw(s->Fill(RectPath(0, 0, 32, 64), SolidFill({})));
      s->Command(Kind::EndMask);
    }
    s->Command(Kind::BeginLayer, BlendMode::Layer);
    s->Draw(s->Fill(CirclePath(32, 32, 20.3f), SolidFill({255, 0, 0, 255})));
    ColorTransform half;
    half.mul_a = 0.5f;
    s->Command(Kind::EndLayer, BlendMode::Layer, half);
    if (s == &masked) s->Command(Kind::PopMask);
  }
  const Pixmap a = Render(masked.list), b = Render(plain.list);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      if (x < 32) {
        ASSERT_EQ(a.At(x, y), b.At(x, y)) << x << "," << y;
      } else {
        ASSERT_EQ(a.At(x, y), 0xFFFFFFFFu) << x << "," << y;
      }
    }
  }
}

// A mask whose content is itself masked (and wrapped in a layer) covers only what that content
// shows.
TEST(Renderer, MaskContentCanBeMaskedItself) {
  Scene s;
  s.Command(Kind::BeginMask);
  s.Command(Kind::BeginLayer, BlendMode::Layer);
  s.Command(Kind::BeginMask);
  s.Draw(s.Fill(RectPath(0, 0, 32, 64), SolidFill({})));
  s.Command(Kind::EndMask);
  s.Draw(s.Fill(RectPath(16, 16, 48, 48), SolidFill({})));
  s.Command(Kind::PopMask);
  s.Command(Kind::EndLayer, BlendMode::Layer);
  s.Command(Kind::EndMask);
  s.Draw(s.Fill(RectPath(0, 0, 64, 64), SolidFill({255, 0, 0, 255})));
  s.Command(Kind::PopMask);
  const Pixmap out = Render(s.list);
  EXPECT_EQ(out.At(20, 20), 0xFFFF0000u);  // in both
  EXPECT_EQ(out.At(40, 20), 0xFFFFFFFFu);  // in the content, outside its mask
  EXPECT_EQ(out.At(5, 5), 0xFFFFFFFFu);    // in the inner mask only
}

// Whether a bitmap comes out filtered (grey between its black and white pixel) by quality and
// the fill's own flag.
TEST(Renderer, BitmapSmoothingFollowsQuality) {
  struct Case {
    Quality quality;
    bool fill_smooth;
    bool filtered;
  };
  const Case cases[] = {{Quality::Low, true, false},
                        {Quality::Medium, true, false},
                        {Quality::High, true, true},
                        {Quality::High, false, false},
                        {Quality::Best, false, true}};
  auto bm = std::make_shared<Bitmap>();
  bm->width = 2;
  bm->height = 1;
  bm->opaque = true;
  bm->pixels = {0xFF000000, 0xFFFFFFFF};
  for (const Case& c : cases) {
    Scene s;
    s.Draw(s.Fill(RectPath(0, 0, 64, 64),
                  BitmapFill(bm, Matrix::Scale(32, 64), false, c.fill_smooth)));
    Pixmap out(64, 64);
    Renderer r;
    r.SetQuality(c.quality);
    r.Render(s.list, kTwipsToPixels, out);
    const uint32_t mid = out.At(31, 10) & 0xFF;
    EXPECT_EQ(mid != 0 && mid != 255, c.filtered)
        << static_cast<int>(c.quality) << " " << c.fill_smooth;
  }
}

// Alpha and Erase cut into the layer that encloses them, never through the stage.
TEST(Renderer, AlphaAndEraseNeedAnEnclosingLayer) {
  for (BlendMode mode : {BlendMode::Alpha, BlendMode::Erase}) {
    for (bool enclosed : {true, false}) {
      Scene s;
      if (enclosed) s.Command(Kind::BeginLayer, BlendMode::Layer);
      s.Draw(s.Fill(RectPath(0, 0, 64, 64), SolidFill({255, 0, 0, 255})));
      s.Command(Kind::BeginLayer, mode);
      s.Draw(s.Fill(RectPath(0, 0, 32, 64), SolidFill({0, 0, 0, 255})));
      s.Command(Kind::EndLayer, mode);
      if (enclosed) s.Command(Kind::EndLayer, BlendMode::Layer);
      const Pixmap out = Render(s.list);
      const bool alpha = mode == BlendMode::Alpha;
      // Enclosed: Alpha keeps red where its shape is, Erase removes it there (white shows).
      const uint32_t left = !enclosed || alpha ? 0xFFFF0000u : 0xFFFFFFFFu;
      EXPECT_EQ(out.At(10, 10), left) << alpha << enclosed;
      EXPECT_EQ(out.At(50, 10), 0xFFFF0000u) << alpha << enclosed;  // the layer left nothing here
    }
  }
}

// Curves are cut into segments by their size on the target, so a shape drawn scaled and the
// same shape built at that size give the same pixels (without anti-aliasing, where the segment
// count decides which pixel centres along an edge are inside).
TEST(Renderer, CurveSegmentsFollowTheSizeOnTheTarget) {
  constexpr float kScale = 3;
  Scene built, scaled;
  for (int i = 0; i < 6; ++i) {
    const float cx = 10.5f + 9.3f * static_cast<float>(i), r = 2.3f + 0.7f * static_cast<float>(i);
    built.Draw(built.Fill(CirclePath(cx * kScale, 64 + r, r * kScale), SolidFill({0, 0, 0, 255})));
    scaled.Draw(scaled.Fill(CirclePath(cx, (64 + r) / kScale, r), SolidFill({0, 0, 0, 255})),
                Matrix::Scale(kScale, kScale));
  }
  Pixmap a(200, 128), b(200, 128);
  Renderer r;
  r.SetQuality(Quality::Low);
  r.Render(built.list, kTwipsToPixels, a);
  r.Render(scaled.list, kTwipsToPixels, b);
  EXPECT_TRUE(SamePixels(a, b));
}

// Without anti-aliasing, a pixel centre a few hundredths of a pixel inside a curve is inside or
// not by where the curve is cut into lines. The top of an ellipse from a real movie: its cuts
// crowd towards the steeper end, as in the reference pictures, and leave inside two centres that
// equal parameter steps would put outside. Filtered pictures cut alike.
TEST(Renderer, LowQualityCurvesAreCutWhereTheyBend) {
  Path path;
  path.MoveTo({1614, 1187});
  path.QuadTo({3228, 19}, {5510, 19});
  path.LineTo({5510, 1187});
  path.LineTo({1614, 1187});
  for (const bool filtered : {false, true}) {
    const Pixmap out = RenderBlackLowQuality(path, {}, 300, 100, filtered);
    EXPECT_EQ(out.At(160, 18), 0xFF000000u) << filtered;  // 0.02 px inside the curve
    EXPECT_EQ(out.At(173, 14), 0xFF000000u) << filtered;  // 0.05 px inside
    EXPECT_EQ(out.At(98, 47), 0xFFFFFFFFu) << filtered;   // 0.06 px inside, under a long segment
  }
}

// A region whose curved side lies near the float limit on the target still covers what it
// covers: cutting the curve there must not overflow its points to infinity.
TEST(Renderer, CurvesFarOffTheTargetStillDraw) {
  constexpr float kFar = 1e21f;  // twips; 5e37 pixels on the target
  Path path;
  path.MoveTo({0, 0});
  path.LineTo({kFar, 0});
  path.QuadTo({2 * kFar, kFar / 2}, {kFar, kFar});
  path.LineTo({0, kFar});
  path.LineTo({0, 0});
  Scene scene;
  scene.Draw(scene.Fill(path, SolidFill({0, 0, 0, 255})), Matrix::Scale(1e18f, 1e18f));
  const Pixmap out = Render(scene.list, 8, 8);
  EXPECT_EQ(out.At(3, 3), 0xFF000000u);
}

// Without anti-aliasing, pixel centres on or within a hair of a straight edge: edges of glyphs
// placed by translations, and the pixels the reference pictures show inside or outside. Edge
// ends are held on a 1/256-pixel grid and crossings are decided exactly there, so a centre on
// a left edge is inside and one on a right edge outside, after the ends' rounding.
TEST(Renderer, LowQualityEdgesThroughPixelCentres) {
  struct Case {
    Point from, to;  // twips, in the shape
    Matrix place;
    bool fill_right;  // the region lies right of the edge (else left)
    int x, y;         // the pixel
    bool inside;
  };
  const Case cases[] = {
      // Centres exactly on a 45-degree edge.
      {{66, -567}, {98, -599}, Matrix::Translate(2240, 6401), true, 116, 290, true},
      {{66, -567}, {98, -599}, Matrix::Translate(2240, 6401), true, 115, 291, true},
      // Exactly on a right edge, but its ends' rounding moves it right of the centre.
      {{455, -935}, {325, 0}, Matrix::Translate(1927, 7111), false, 116, 327, true},
      // 0.005 twips inside a left edge, but rounding moves the edge right of the centre.
      {{571, -423}, {633, -839}, Matrix::Translate(4604, 2062), true, 261, 63, false},
      // Exactly on a right edge, and after rounding still a hair left of the centre.
      {{5495, 3884}, {5365, 4816}, {}, false, 271, 217, false},
  };
  for (const Case& c : cases) {
    const float side = c.fill_right ? 400.0f : -400.0f;
    Path path;
    path.MoveTo(c.from);
    path.LineTo(c.to);
    path.LineTo({c.to.x + side, c.to.y});
    path.LineTo({c.from.x + side, c.from.y});
    path.LineTo(c.from);
    const Pixmap out = RenderBlackLowQuality(path, c.place, 300, 400);
    EXPECT_EQ(out.At(c.x, c.y), c.inside ? 0xFF000000u : 0xFFFFFFFFu) << c.x << "," << c.y;
  }
}

// A cached picture stands on whole pixels, its origin rounded half up; kept between frames, it
// follows its content changed in place, and a picture drawn from the store equals a fresh one.
TEST(Renderer, CachedPicturesStandOnWholePixelsAndFollowTheirContent) {
  Scene s;
  ShapeGeometry& square = s.Fill(RectPath(0, 0, 10, 10), SolidFill({0, 0, 0, 255}));
  const Matrix place = Matrix::Translate(Tw(12.5f), Tw(12.5f));
  s.Command(Kind::BeginLayer);
  s.list.commands.back().snap = true;
  s.list.commands.back().matrix = place;
  s.Draw(square, place);
  s.Command(Kind::EndLayer);
  Renderer r;
  r.SetQuality(Quality::Low);
  auto fresh = [&s] {
    Pixmap out(64, 64);
    Renderer once;
    once.SetQuality(Quality::Low);
    once.Render(s.list, kTwipsToPixels, out);
    return out;
  };
  Pixmap out(64, 64);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(12, 12), 0xFFFFFFFFu);
  EXPECT_EQ(out.At(13, 13), 0xFF000000u);
  EXPECT_EQ(out.At(22, 22), 0xFF000000u);
  EXPECT_EQ(out.At(23, 23), 0xFFFFFFFFu);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_TRUE(SamePixels(out, fresh()));
  square.parts[0].fill.color = {255, 0, 0, 255};
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(15, 15), 0xFFFF0000u);
  square.parts[0].path = RectPath(0, 0, 5, 5);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(20, 20), 0xFFFFFFFFu);
  EXPECT_TRUE(SamePixels(out, fresh()));
}

// A snapped shape (an attached bitmap) moves its origin onto the nearest whole pixel; unsnapped
// it keeps its part-covered edge pixels.
TEST(Renderer, SnappedShapesStandOnWholePixels) {
  Scene s;
  ShapeGeometry& square = s.Fill(RectPath(0, 0, 10, 10), SolidFill({0, 0, 0, 255}));
  const Matrix place = Matrix::Translate(Tw(12.4f), Tw(12.4f));
  for (const bool snap : {true, false}) {
    s.list.commands.clear();
    s.Draw(square, place);
    s.list.commands.back().snap = snap;
    Renderer r;
    Pixmap out(64, 64);
    r.Render(s.list, kTwipsToPixels, out);
    EXPECT_EQ(out.At(12, 12) == 0xFF000000u, snap);
    EXPECT_EQ(out.At(22, 22) == 0xFFFFFFFFu, snap);
    EXPECT_EQ(out.At(15, 15), 0xFF000000u);
  }
}

// Without anti-aliasing a filtered picture's origin moves to the centre of the pixel it lies in;
// with anti-aliasing it stays where it is.
TEST(Renderer, FilteredPicturesAtLowQualityStandOnPixelCentres) {
  Scene s;
  ShapeGeometry& square = s.Fill(RectPath(0.25f, 0.25f, 10.25f, 10.25f), SolidFill({0, 0, 0, 255}));
  const Matrix place = Matrix::Translate(Tw(12.2f), Tw(12.2f));
  s.Command(Kind::BeginLayer);
  s.list.commands.back().centre = true;
  s.list.commands.back().matrix = place;
  s.Draw(square, place);
  s.Command(Kind::EndLayer);
  for (const Quality quality : {Quality::Low, Quality::Medium}) {
    Renderer r;
    r.SetQuality(quality);
    Pixmap out(64, 64);
    r.Render(s.list, kTwipsToPixels, out);
    // Low: the square spans 12.75 to 22.75; Medium: 12.45 to 22.45.
    const bool low = quality == Quality::Low;
    EXPECT_EQ(out.At(12, 12) == 0xFFFFFFFFu, low);
    EXPECT_EQ(out.At(22, 22) == 0xFF000000u, low);
    EXPECT_EQ(out.At(13, 13), 0xFF000000u);
  }
}

// In a filtered picture the points that cut a curve lie on the 1/256-pixel grid of the edges,
// also when the curve is a line's middle widened into a stroke: a hairline arc of a real movie,
// and a pixel the reference pictures leave out whose centre lies a hair inside the stroke
// widened from the unrounded points.
TEST(Renderer, FilteredStrokesAreWidenedFromCutsOnTheEdgeGrid) {
  Path arc;
  arc.MoveTo({1491, 1070});
  arc.QuadTo({1645, 916}, {1820, 815});
  Scene s;
  const Matrix place = Matrix::Translate(Tw(0.5f), Tw(0.5f));  // on a pixel centre
  s.Command(Kind::BeginLayer);
  s.list.commands.back().centre = true;
  s.list.commands.back().matrix = place;
  s.Draw(s.Stroke(arc, Line(1, {0, 0, 0, 255})), place);
  s.Command(Kind::EndLayer);
  Renderer r;
  r.SetQuality(Quality::Low);
  Pixmap out(128, 64);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(85, 44), 0xFFFFFFFFu);
  EXPECT_EQ(out.At(86, 44), 0xFF000000u);
}

// A filtered picture is drawn as far beyond the target as its filters carry pixels: the shadow
// of a square lying wholly above the target falls on it, inside a picture that is itself
// filtered too.
TEST(Renderer, ShadowsOfWhatLiesBeyondTheTargetFallOnIt) {
  Scene s;
  Filter shadow;
  shadow.kind = Filter::Kind::DropShadow;
  shadow.dy = 8;
  shadow.color = {0, 0, 0, 255};
  s.list.filters = {shadow, Filter{}};  // the second: a blur of nothing
  for (uint16_t i = 0; i < 2; ++i) {
    s.Command(Kind::BeginLayer);
    s.list.commands.back().centre = true;
    s.list.commands.back().filter_first = i;
    s.list.commands.back().filter_count = 1;
  }
  s.Draw(s.Fill(RectPath(4, -6, 12, -2), SolidFill({255, 0, 0, 255})));
  for (uint16_t i = 2; i-- > 0;) {
    s.Command(Kind::EndLayer);
    s.list.commands.back().filter_first = i;
    s.list.commands.back().filter_count = 1;
  }
  const Pixmap out = Render(s.list, 16, 16);
  EXPECT_EQ(out.At(8, 1), 0xFFFFFFFFu);
  EXPECT_EQ(out.At(8, 2), 0xFF000000u);
  EXPECT_EQ(out.At(8, 5), 0xFF000000u);
  EXPECT_EQ(out.At(8, 6), 0xFFFFFFFFu);
  EXPECT_EQ(out.At(3, 3), 0xFFFFFFFFu);
}

// A filtered picture is kept with its filters applied: a later frame with the same content
// and filters copies it back, the layer's own colour transform (a fade) still applied after
// it, and a changed filter or content draws it anew.
TEST(Renderer, FilteredPicturesAreKeptWithTheirFiltersAndFollowFiltersAndContent) {
  Scene s;
  Filter shadow;
  shadow.kind = Filter::Kind::DropShadow;
  shadow.dx = shadow.dy = 4;
  shadow.blur_x = shadow.blur_y = 3;
  shadow.color = {0, 0, 255, 255};
  s.list.filters = {shadow};
  ShapeGeometry& square = s.Fill(RectPath(8, 8, 24, 24), SolidFill({255, 0, 0, 255}));
  s.Command(Kind::BeginLayer);
  s.list.commands.back().centre = true;
  s.list.commands.back().filter_count = 1;
  s.Draw(square);
  s.Command(Kind::EndLayer);
  s.list.commands.back().filter_count = 1;
  Renderer kept;
  const auto frame = [&s](Renderer& r) {
    Pixmap out(48, 48);
    r.Render(s.list, kTwipsToPixels, out);
    return out;
  };
  const auto fresh = [&] {
    Renderer once;
    return frame(once);
  };
  EXPECT_TRUE(SamePixels(frame(kept), fresh()));
  for (const float alpha : {1.0f, 0.5f}) {
    s.list.commands.back().cxform.mul_a = alpha;
    EXPECT_TRUE(SamePixels(frame(kept), fresh())) << "alpha " << alpha;
  }
  EXPECT_NE(frame(kept).At(26, 26), 0xFFFFFFFFu);  // the shadow, faded
  s.list.commands.back().cxform.mul_a = 1;
  s.list.filters[0].dx = s.list.filters[0].dy = -4;
  EXPECT_TRUE(SamePixels(frame(kept), fresh()));
  square.parts[0].fill.color = {0, 255, 0, 255};
  const Pixmap recoloured = frame(kept);
  EXPECT_TRUE(SamePixels(recoloured, fresh()));
  EXPECT_EQ(recoloured.At(16, 16), 0xFF00FF00u);
}

// A kept picture made from a bitmap that is gone is let go: another bitmap may have come to lie
// at its address, as here, and must be drawn, not taken for it.
TEST(Renderer, KeptPicturesAreLetGoWithTheirBitmaps) {
  alignas(Bitmap) unsigned char storage[sizeof(Bitmap)];
  const auto bitmap_at_storage = [&storage](uint32_t colour) {
    auto* bitmap = new (storage) Bitmap{16, 16, std::vector<uint32_t>(256, colour), true, {}};
    return std::shared_ptr<const Bitmap>(bitmap, [](const Bitmap* b) { b->~Bitmap(); });
  };
  Scene s;
  FillStyle fill;
  fill.kind = FillStyle::Kind::Bitmap;
  fill.matrix = {20, 0, 0, 20, 0, 0};
  fill.bitmap = bitmap_at_storage(0xFFFF0000u);
  ShapeGeometry& square = s.Fill(RectPath(0, 0, 16, 16), std::exchange(fill, {}));
  s.Command(Kind::BeginLayer);
  s.list.commands.back().snap = true;
  s.Draw(square);
  s.Command(Kind::EndLayer);
  Renderer r;
  Pixmap out(32, 32);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(5, 5), 0xFFFF0000u);
  square.parts[0].fill.bitmap.reset();
  square.parts[0].fill.bitmap = bitmap_at_storage(0xFF00FF00u);
  r.Render(s.list, kTwipsToPixels, out);
  EXPECT_EQ(out.At(5, 5), 0xFF00FF00u);
}

// A photo scaled up and fading, frame after frame, and then moved and swapped for another:
// what a renderer keeps of its filtered pixels between frames draws each frame exactly as a
// fresh renderer does.
TEST(Renderer, KeptBitmapFetchesDrawAsFreshOnes) {
  Scene s;
  ShapeGeometry& photo =
      s.Fill(RectPath(0, 0, 60, 45),
             BitmapFill(TestBitmap(24, 18), {2.5f, 0, 0, 2.5f, 0, 0}, false, true));
  s.Draw(photo, Matrix::Translate(Tw(1.3f), Tw(2.6f)));
  Renderer kept;
  for (int frame = 0; frame < 6; ++frame) {
    s.list.commands[0].cxform.mul_a = 0.2f + 0.15f * static_cast<float>(frame);
    if (frame == 4) s.list.commands[0].matrix.tx += Tw(0.5f);
    if (frame == 5) photo.parts[0].fill.bitmap = TestBitmap(24, 18, true);
    Pixmap out(64, 64), fresh(64, 64);
    kept.Render(s.list, kTwipsToPixels, out);
    Renderer once;
    once.Render(s.list, kTwipsToPixels, fresh);
    EXPECT_TRUE(SamePixels(out, fresh)) << "frame " << frame;
  }
}

// Filtered pictures across the seams of bands drawn on three threads: a blur, a convolution,
// a shadow inside a glow and a blur wider than bands are drawn past their seams, come out as
// on one thread.
TEST(Renderer, FilteredPicturesInBandsDrawAsInAWholeFrame) {
  Filter blur;
  blur.blur_x = blur.blur_y = 9;
  blur.passes = 2;
  Filter convolution;
  convolution.kind = Filter::Kind::Convolution;
  convolution.columns = convolution.rows = 5;
  convolution.matrix.fill(1);
  convolution.divisor = 25;
  Filter shadow;
  shadow.kind = Filter::Kind::DropShadow;
  shadow.dy = 6;
  shadow.blur_x = shadow.blur_y = 4;
  shadow.color = {0, 0, 90, 255};
  Filter glow = shadow;
  glow.kind = Filter::Kind::Glow;
  glow.color = {255, 200, 0, 255};
  Filter wide = blur;
  wide.blur_x = wide.blur_y = 120;
  for (const Filter& last : {blur, wide}) {
    Scene s;
    s.list.filters = {blur, convolution, glow, shadow, last};
    const auto filtered = [&s](Path path, Rgba colour, std::vector<uint16_t> filters) {
      for (const uint16_t f : filters) {
        s.Command(Kind::BeginLayer);
        s.list.commands.back().centre = true;
        s.list.commands.back().filter_first = f;
        s.list.commands.back().filter_count = 1;
      }
      s.Draw(s.Fill(std::move(path), SolidFill(colour)));
      for (auto f = filters.rbegin(); f != filters.rend(); ++f) {
        s.Command(Kind::EndLayer);
        s.list.commands.back().filter_first = *f;
        s.list.commands.back().filter_count = 1;
      }
    };
    // The seams lie at rows 42 and 85.
    filtered(RectPath(4, 30, 30, 50), {255, 0, 0, 255}, {0});
    filtered(CirclePath(46, 85, 10), {0, 160, 0, 200}, {1});
    filtered(RectPath(10, 70, 28, 100), {0, 0, 255, 255}, {2, 3});
    filtered(RectPath(36, 20, 60, 40), {90, 90, 90, 255}, {4});
    Pixmap one(64, 128), three(64, 128);
    Renderer single, banded;
    banded.SetThreads(3);
    single.Render(s.list, kTwipsToPixels, one);
    banded.Render(s.list, kTwipsToPixels, three);
    EXPECT_TRUE(SamePixels(one, three)) << "with a blur of " << last.blur_x;
  }
}

// Pixels an alpha layer does not draw keep what lies below, also inside the bounds of what it
// does draw (the corners around a circle).
TEST(Renderer, AlphaLayerLeavesUndrawnPixelsAlone) {
  Scene s;
  s.Command(Kind::BeginLayer, BlendMode::Layer);
  s.Draw(s.Fill(RectPath(0, 0, 64, 64), SolidFill({255, 0, 0, 255})));
  s.Command(Kind::BeginLayer, BlendMode::Alpha);
  s.Draw(s.Fill(CirclePath(32, 32, 20), SolidFill({0, 0, 0, 128})));
  s.Command(Kind::EndLayer, BlendMode::Alpha);
  s.Command(Kind::EndLayer, BlendMode::Layer);
  const Pixmap out = Render(s.list);
  EXPECT_EQ(out.At(14, 14), 0xFFFF0000u);  // inside the circle's box, outside the circle
  EXPECT_EQ(out.At(2, 2), 0xFFFF0000u);
  // Inside, the red is half transparent over the white stage.
  EXPECT_NEAR(static_cast<int>((out.At(32, 32) >> 8) & 0xFF), 127, 2);
}

// A mask is the area of its fills: the outline of the mask shape does not let more through.
TEST(Renderer, MaskOutlinesDoNotWidenTheMask) {
  for (Quality quality : {Quality::Low, Quality::High}) {
    Scene s;
    ShapeGeometry& mask = s.Fill(RectPath(20, 20, 40, 40), SolidFill({0, 0, 0, 255}));
    ShapePart outline;
    outline.kind = ShapePart::Kind::Stroke;
    outline.path = RectPath(20, 20, 40, 40);
    outline.line = Line(10, {0, 0, 0, 255});
    mask.parts.push_back(std::move(outline));
    s.Command(Kind::BeginMask);
    s.Draw(mask);
    s.Command(Kind::EndMask);
    s.Draw(s.Fill(RectPath(0, 0, 64, 64), SolidFill({0, 0, 255, 255})));
    s.Command(Kind::PopMask);
    Pixmap out(64, 64);
    Renderer r;
    r.SetQuality(quality);
    r.Render(s.list, kTwipsToPixels, out);
    EXPECT_EQ(out.At(30, 30), 0xFF0000FFu);
    EXPECT_EQ(out.At(17, 30), 0xFFFFFFFFu);  // under the outline, outside the fill
    EXPECT_EQ(out.At(30, 42), 0xFFFFFFFFu);
  }
}

// A hinted one-pixel line between pixel rows lands on one row, fully opaque; unhinted it
// spreads over two at half strength.
TEST(Renderer, PixelHintingKeepsThinLinesCrisp) {
  for (bool hinted : {true, false}) {
    Scene s;
    LineStyle line = Line(1, {0, 0, 0, 255});
    line.pixel_hinting = hinted;
    line.start_cap = line.end_cap = LineCap::None;
    s.Draw(s.Stroke(PolyPath({{10.2f, 20}, {50.2f, 20}}, false), line));
    const Pixmap out = Render(s.list);
    if (hinted) {
      EXPECT_EQ(out.At(30, 20), 0xFF000000u);
      EXPECT_EQ(out.At(30, 19), 0xFFFFFFFFu);
    } else {
      EXPECT_EQ(out.At(30, 19), out.At(30, 20));
      EXPECT_NE(out.At(30, 20), 0xFF000000u);
    }
  }
}

// A move that no line follows leaves no mark; a line of no length is a dot.
TEST(Renderer, LoneMovesDrawNothingButEmptyLinesDrawDots) {
  Scene s;
  Path path;
  path.MoveTo({Tw(10), Tw(10)});
  path.MoveTo({Tw(30), Tw(30)});
  path.LineTo({Tw(30), Tw(30)});
  s.Draw(s.Stroke(path, Line(4, {0, 0, 0, 255})));
  const Pixmap out = Render(s.list);
  EXPECT_EQ(out.At(10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(out.At(30, 30), 0xFF000000u);
}

TEST(Renderer, UnbalancedAndDeepCommandsAreSafe) {
  Scene reference;
  reference.Draw(reference.Fill(RectPath(5, 5, 30, 30), SolidFill({0, 0, 255, 255})));
  Scene noisy;
  noisy.Command(Kind::EndMask);
  noisy.Command(Kind::PopMask);
  noisy.Command(Kind::EndLayer);
  noisy.Draw(noisy.Fill(RectPath(5, 5, 30, 30), SolidFill({0, 0, 255, 255})));
  noisy.Command(Kind::PopMask);
  noisy.Command(Kind::EndLayer);
  noisy.list.commands.push_back({});  // a DrawShape without a shape
  EXPECT_TRUE(SamePixels(Render(noisy.list), Render(reference.list)));

  Scene deep;
  for (int i = 0; i < 200; ++i) {
    deep.Command(Kind::BeginLayer, BlendMode::Layer);
    deep.Command(Kind::BeginMask);
    deep.Draw(deep.Fill(RectPath(0, 0, 64, 64), SolidFill({})));
    deep.Command(Kind::EndMask);
  }
  deep.Draw(deep.Fill(RectPath(5, 5, 30, 30), SolidFill({0, 0, 255, 255})));
  const Pixmap out = Render(deep.list);  // left open: closed by the renderer at the end
  EXPECT_EQ(out.At(0, 0), 0xFFFFFFFFu);
}

TEST(Renderer, NonFiniteStageMatrixShowsTheBackground) {
  Scene scene = Busy();
  scene.list.background = {1, 2, 3, 255};
  for (float bad : {NAN, INFINITY}) {
    const Pixmap out = Render(scene.list, 64, 64, {bad, 0, 0, 1, 0, 0});
    EXPECT_EQ(out.At(10, 10), 0xFF010203u);
    EXPECT_EQ(out.At(40, 40), 0xFF010203u);
  }
}

// A frame that starts with a full-stage opaque picture skips the background fill; anything
// less must not leave the previous frame showing.
TEST(Renderer, BackgroundIsPaintedUnlessFullyCovered) {
  struct Case {
    const char* name;
    FillStyle fill;
    Path path;
    bool covers;
  };
  auto translucent = TestBitmap(4, 4, true);
  const Case cases[] = {
      {"opaque_solid", SolidFill({0, 200, 0, 255}), RectPath(0, 0, 64, 64), true},
      {"opaque_bitmap", BitmapFill(TestBitmap(4, 4), Matrix::Scale(16, 16), false, true),
       RectPath(0, 0, 64, 64), true},
      {"translucent_solid", SolidFill({0, 200, 0, 128}), RectPath(0, 0, 64, 64), false},
      {"translucent_bitmap", BitmapFill(translucent, Matrix::Scale(16, 16), false, true),
       RectPath(0, 0, 64, 64), false},
      {"short_of_the_edge", SolidFill({0, 200, 0, 255}), RectPath(0, 0, 63.5f, 64), false},
  };
  for (const Case& c : cases) {
    Scene s({10, 20, 30, 255});
    s.Draw(s.Fill(c.path, c.fill));
    Pixmap out(64, 64);
    out.Fill(0xFFFF00FF);  // what a previous frame left
    Renderer r;
    r.Render(s.list, kTwipsToPixels, out);
    bool stale = false;
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) stale = stale || out.At(x, y) == 0xFFFF00FFu;
    }
    EXPECT_FALSE(stale) << c.name;
    EXPECT_TRUE(SamePixels(out, Render(s.list))) << c.name;
  }
}

// A photo source that counts how often its pixels are asked for.
class CountedSource final : public BitmapSource {
 public:
  CountedSource() : BitmapSource(4, 4) {}
  std::optional<Bitmap> Decode() const override { return *TestBitmap(4, 4); }
};

class CountingProvider final : public BitmapProvider {
 public:
  void BeginFrame(std::span<const BitmapSource* const>) override {}
  std::shared_ptr<const Bitmap> Pixels(const BitmapSource& source) override {
    ++asked;
    return std::make_shared<Bitmap>(*source.Decode());
  }
  int asked = 0;
};

// What lies under an opaque shape over the whole target is not drawn (its photo is not even
// fetched); under a translucent cover, or a cover inside a mask or layer, it is.
TEST(Renderer, ShapesUnderAnOpaqueCoverAreSkipped) {
  struct Case {
    const char* name;
    uint8_t cover_alpha;
    bool in_layer;
    bool fetched;
  };
  const Case cases[] = {{"opaque", 255, false, false},
                        {"translucent", 200, false, true},
                        {"in_a_layer", 255, true, true}};
  for (const Case& c : cases) {
    Scene s({10, 20, 30, 255});
    FillStyle photo;
    photo.kind = FillStyle::Kind::Bitmap;
    photo.matrix = Matrix::Scale(8, 8);
    photo.source = std::make_shared<CountedSource>();
    s.Draw(s.Fill(RectPath(4, 4, 36, 36), photo));
    s.Command(Kind::BeginMask);
    s.Draw(s.Fill(RectPath(0, 0, 20, 20), SolidFill({})));
    s.Command(Kind::EndMask);
    s.Draw(s.Fill(CirclePath(30, 30, 20), SolidFill({200, 0, 0, 255})));
    s.Command(Kind::PopMask);
    if (c.in_layer) s.Command(Kind::BeginLayer, BlendMode::Layer);
    s.Draw(s.Fill(RectPath(0, 0, 64, 64), SolidFill({0, 90, 0, c.cover_alpha})));
    if (c.in_layer) s.Command(Kind::EndLayer, BlendMode::Layer);
    s.Draw(s.Fill(CirclePath(20, 40, 10), SolidFill({0, 0, 200, 255})));
    CountingProvider provider;
    s.list.bitmaps = &provider;
    const Pixmap out = Render(s.list);
    EXPECT_EQ(provider.asked > 0, c.fetched) << c.name;
    if (c.cover_alpha == 255) {
      EXPECT_EQ(out.At(60, 2), out.At(2, 2)) << c.name;   // only the cover shows there
      EXPECT_NE(out.At(20, 40), out.At(2, 2)) << c.name;  // and what lies on top of it
    }
  }
}

// What a later opaque rectangle paints over is painted only around it, masked or not; the frame
// is the one painting everything would give, and a shape wholly under the rectangle leaves no
// trace.
TEST(Renderer, ShapesPartlyUnderAnOpaqueRectangleShowAroundIt) {
  const auto scene = [](bool covered) {
    Scene s({10, 20, 30, 255});
    // Scaled by a power of two, so that its samples do not depend on where a span starts.
    s.Draw(s.Fill(RectPath(2, 2, 62, 62),
                  BitmapFill(TestBitmap(9, 7), {4, 0, 0, 4, 2, 2}, true, true)));
    s.Draw(s.Fill(CirclePath(32, 32, 6), SolidFill({200, 0, 0, 255})));
    // A slanted band: runs of changing coverage across the rectangle's edges.
    s.Draw(
        s.Fill(PolyPath({{4, 20}, {62, 30}, {62, 33}, {4, 23}}), SolidFill({250, 250, 250, 255})));
    s.Command(Kind::BeginMask);
    s.Draw(s.Fill(RectPath(0, 0, 40, 64), SolidFill({})));
    s.Command(Kind::EndMask);
    s.Draw(s.Fill(CirclePath(12, 32, 12), SolidFill({0, 0, 200, 255})));
    s.Command(Kind::PopMask);
    if (covered) s.Draw(s.Fill(RectPath(16, 8, 48, 56), SolidFill({0, 90, 0, 255})));
    s.Draw(s.Fill(CirclePath(40, 40, 10), SolidFill({200, 200, 0, 128})));
    return s;
  };
  const Scene covered = scene(true), open = scene(false);
  const Pixmap out = Render(covered.list), beneath = Render(open.list);
  int differing = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool under = x >= 16 && x < 48 && y >= 8 && y < 56;
      const double from_top = std::hypot(x + 0.5 - 40, y + 0.5 - 40);
      if (!under) differing += out.At(x, y) != beneath.At(x, y);
      if (under && from_top > 11) differing += out.At(x, y) != 0xFF005A00u;
      if (under && from_top < 9) differing += out.At(x, y) == 0xFF005A00u;  // drawn over it
    }
  }
  EXPECT_EQ(differing, 0);
}

// A turned opaque rectangle hides what lies wholly under it, and nothing more: the frame is the
// one drawn with it as a shape of two parts, which hides nothing.
TEST(Renderer, ShapesUnderATurnedOpaqueRectangleShowAroundIt) {
  const auto scene = [](bool hides) {
    Scene s({10, 20, 30, 255});
    s.Draw(s.Fill(CirclePath(32, 32, 20), SolidFill({200, 0, 0, 255})));
    s.Draw(
        s.Fill(PolyPath({{4, 20}, {62, 30}, {62, 33}, {4, 23}}), SolidFill({250, 250, 250, 255})));
    ShapeGeometry& cover = s.Fill(RectPath(-12, -16, 12, 16), SolidFill({0, 90, 0, 255}));
    if (!hides) Scene::AddFill(cover, RectPath(-99, -99, -98, -98), SolidFill({0, 0, 0, 0}));
    const float turn = 0.3f;
    s.Draw(cover,
           {std::cos(turn), std::sin(turn), -std::sin(turn), std::cos(turn), Tw(33.3f), Tw(30.6f)});
    return s;
  };
  const Scene hiding = scene(true), plain = scene(false);
  const Pixmap out = Render(hiding.list), expected = Render(plain.list);
  int differing = 0, green = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      differing += out.At(x, y) != expected.At(x, y);
      green += out.At(x, y) == 0xFF005A00u;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(green, 24 * 32 / 2);
}

TEST(Renderer, ShowAllPaintsMarginsAndContentBeyondTheStage) {
  Scene s({0, 0, 255, 255});
  // The stage is 100 x 100 twips-pixels; the shape reaches 20 pixels past its left edge.
  s.Draw(s.Fill(RectPath(-20, 40, 50, 60), SolidFill({255, 0, 0, 255})));
  const Matrix m = StageToDevice({0, 0, Tw(100), Tw(100)}, 200, 100, ScaleMode::ShowAll);
  const Pixmap out = Render(s.list, 200, 100, m);
  EXPECT_EQ(out.At(10, 10), 0xFF0000FFu);   // margin: background
  EXPECT_EQ(out.At(40, 50), 0xFFFF0000u);   // left of the stage (which starts at x = 50)
  EXPECT_EQ(out.At(120, 50), 0xFF0000FFu);  // on the stage, past the shape
}

}  // namespace
}  // namespace lumen::render::test
