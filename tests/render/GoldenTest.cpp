// Small scenes, one per drawing feature, against checked-in pictures. Run with
// LUMEN_UPDATE_GOLDEN=1 to rewrite the pictures after a deliberate change (and look at them).

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "render/Png.h"
#include "render/Renderer.h"
#include "tests/render/Scene.h"

namespace lumen::render::test {
namespace {

using raster::CoverageMethod;
using Kind = RenderCommand::Kind;

constexpr Rgba kRed{220, 40, 40, 255}, kBlue{40, 60, 220, 255}, kGreen{30, 170, 60, 255};
constexpr Rgba kBlack{0, 0, 0, 255}, kYellow{250, 210, 30, 255};

std::vector<GradientStop> ThreeStops() {
  return {{0, kRed}, {128, kYellow}, {255, kBlue}};
}

Scene SolidAligned() {
  Scene s;
  s.Draw(s.Fill(RectPath(10, 10, 60, 50), SolidFill(kRed)));
  s.Draw(s.Fill(RectPath(40, 30, 90, 90), SolidFill({40, 60, 220, 128})));
  return s;
}

Scene Star(FillRule rule) {
  Scene s;
  std::vector<Point> pts;
  for (int i = 0; i < 5; ++i) {
    const double a = -std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
    pts.push_back(
        {static_cast<float>(50 + 45 * std::cos(a)), static_cast<float>(52 + 45 * std::sin(a))});
  }
  s.Draw(s.Fill(PolyPath(pts), SolidFill(kBlue), rule));
  return s;
}

Scene Curves() {
  Scene s;
  s.Draw(s.Fill(CirclePath(50, 50, 40), SolidFill(kGreen)));
  Path hole = CirclePath(50, 50, 20);
  Path ring = CirclePath(30, 30, 18);
  ShapeGeometry& g = s.Shape();
  Path both = ring;
  both.verbs.insert(both.verbs.end(), hole.verbs.begin(), hole.verbs.end());
  both.points.insert(both.points.end(), hole.points.begin(), hole.points.end());
  Scene::AddFill(g, both, SolidFill({200, 30, 150, 200}), FillRule::EvenOdd);
  s.Draw(g);
  return s;
}

Scene Gradient(FillStyle::Kind kind, SpreadMode spread, Interpolation interp = Interpolation::Rgb,
               float focal = 0) {
  Scene s;
  FillStyle f = GradientFill(kind, ThreeStops(), 50, 50,
                             kind == FillStyle::Kind::LinearGradient ? 20 : 30, spread);
  f.gradient.interpolation = interp;
  f.gradient.focal_point = focal;
  s.Draw(s.Fill(RectPath(5, 5, 95, 95), f));
  return s;
}

Scene BitmapScene(bool repeat, bool smooth, Matrix image_to_pixels) {
  Scene s;
  s.Draw(s.Fill(RectPath(5, 5, 95, 95),
                BitmapFill(TestBitmap(16, 12), image_to_pixels, repeat, smooth)));
  return s;
}

Scene BitmapAlphaTinted() {
  Scene s;
  s.Draw(s.Fill(RectPath(0, 0, 100, 100), SolidFill(kGreen)));
  ColorTransform tint;
  tint.mul_r = 0.5f;
  tint.add_b = 80;
  tint.mul_a = 0.8f;
  s.Draw(s.Fill(RectPath(10, 10, 90, 90),
                BitmapFill(TestBitmap(20, 20, true), {4, 0, 0, 4, 10, 10}, false, true)),
         {}, tint);
  return s;
}

Scene Caps() {
  Scene s;
  const LineCap caps[] = {LineCap::Round, LineCap::None, LineCap::Square};
  for (int i = 0; i < 3; ++i) {
    LineStyle l = Line(12, kBlue);
    l.start_cap = l.end_cap = caps[i];
    s.Draw(s.Stroke(PolyPath({{20, 20.0f + 30 * i}, {80, 20.0f + 30 * i}}, false), l));
    s.Draw(s.Stroke(PolyPath({{20, 20.0f + 30 * i}, {80, 20.0f + 30 * i}}, false), Line(0, kRed)));
  }
  return s;
}

Scene Joins() {
  Scene s;
  const LineJoin joins[] = {LineJoin::Round, LineJoin::Bevel, LineJoin::Miter};
  for (int i = 0; i < 3; ++i) {
    LineStyle l = Line(8, kGreen);
    l.join = joins[i];
    l.miter_limit = 8;
    const float x = 8.0f + 31 * i;
    s.Draw(s.Stroke(PolyPath({{x, 85}, {x + 12, 15}, {x + 24, 85}}, false), l));
  }
  LineStyle closed = Line(5, kRed);
  closed.join = LineJoin::Miter;
  s.Draw(s.Stroke(RectPath(30, 40, 70, 60), closed));
  return s;
}

Scene ScaledStrokes() {
  Scene s;
  // The same 2-pixel line drawn with the object scaled 4 x horizontally.
  const Matrix wide{4, 0, 0, 1, 0, 0};
  LineStyle normal = Line(2, kBlue), keep_h = Line(2, kRed), hair = Line(0, kBlack);
  keep_h.no_hscale = true;
  s.Draw(s.Stroke(PolyPath({{2, 10}, {22, 40}}, false), normal), wide);
  s.Draw(s.Stroke(PolyPath({{2, 50}, {22, 80}}, false), keep_h), wide);
  s.Draw(s.Stroke(CirclePath(12, 50, 8), hair), wide);
  return s;
}

Scene Masked() {
  Scene s;
  s.Command(Kind::BeginMask);
  s.Draw(s.Fill(CirclePath(50, 50, 35), SolidFill(kBlack)));
  s.Command(Kind::EndMask);
  s.Draw(s.Fill(RectPath(0, 0, 100, 100),
                GradientFill(FillStyle::Kind::LinearGradient, ThreeStops(), 50, 50, 50)));
  // A nested mask: only where both the circle and this bar are.
  s.Command(Kind::BeginMask);
  s.Draw(s.Fill(RectPath(0, 40, 100, 60), SolidFill(kBlack)));
  s.Command(Kind::EndMask);
  s.Draw(s.Fill(RectPath(0, 0, 100, 100), SolidFill({0, 0, 0, 160})));
  s.Command(Kind::PopMask);
  s.Command(Kind::PopMask);
  s.Draw(s.Fill(RectPath(80, 80, 98, 98), SolidFill(kGreen)));  // no longer masked
  return s;
}

Scene Blends() {
  Scene s({240, 240, 240, 255});
  const BlendMode modes[] = {BlendMode::Normal,     BlendMode::Layer,    BlendMode::Multiply,
                             BlendMode::Screen,     BlendMode::Lighten,  BlendMode::Darken,
                             BlendMode::Difference, BlendMode::Add,      BlendMode::Subtract,
                             BlendMode::Invert,     BlendMode::Alpha,    BlendMode::Erase,
                             BlendMode::Overlay,    BlendMode::HardLight};
  for (int i = 0; i < 14; ++i) {
    const float x = 4.0f + 24 * (i % 4), y = 4.0f + 24 * (i / 4);
    // Backdrop: a half-transparent ramp so the alpha modes show too.
    s.Draw(
        s.Fill(RectPath(x, y, x + 20, y + 20),
               GradientFill(FillStyle::Kind::LinearGradient,
                            {{0, {20, 40, 200, 255}}, {255, {250, 200, 40, 120}}}, x + 10, y, 10)));
    s.Command(Kind::BeginLayer, modes[i]);
    s.Draw(s.Fill(CirclePath(x + 10, y + 10, 8), SolidFill({200, 60, 120, 200})));
    s.Command(Kind::EndLayer, modes[i]);
  }
  return s;
}

Scene LayerAlpha() {
  Scene s;
  s.Draw(s.Fill(RectPath(0, 40, 100, 60), SolidFill(kBlue)));
  s.Command(Kind::BeginLayer, BlendMode::Layer);
  s.Draw(s.Fill(CirclePath(40, 50, 25), SolidFill(kRed)));
  s.Draw(s.Fill(CirclePath(60, 50, 25), SolidFill(kYellow)));
  ColorTransform half;
  half.mul_a = 0.5f;
  s.Command(Kind::EndLayer, BlendMode::Layer, half);
  return s;
}

Scene ColorTransformed() {
  Scene s;
  ColorTransform cx;
  cx.mul_r = 0;
  cx.add_g = 100;
  cx.mul_a = 0.6f;
  s.Draw(s.Fill(CirclePath(50, 50, 40),
                GradientFill(FillStyle::Kind::RadialGradient, ThreeStops(), 50, 50, 40)),
         {}, cx);
  return s;
}

// Nothing here may paint: the picture is the background alone.
Scene Degenerate() {
  Scene s({10, 120, 200, 255});
  s.Draw(s.Fill(RectPath(10, 10, 10, 90), SolidFill(kRed)));  // zero width
  s.Draw(s.Fill(Path{}, SolidFill(kRed)));
  s.Draw(s.Fill(PolyPath({{10, 10}, {50, 50}, {90, 90}}), SolidFill(kRed)));  // collinear
  s.Draw(s.Fill(RectPath(1e30f, 1e30f, 2e30f, 2e30f), SolidFill(kRed)));
  s.Draw(s.Fill(RectPath(-1e9f, -1e9f, -1e8f, -1e8f), SolidFill(kRed)));
  s.Draw(s.Fill(RectPath(10, 10, 90, 90), SolidFill(kRed)), {NAN, 0, 0, 1, 0, 0});
  s.Draw(s.Fill(RectPath(10, 10, 90, 90), SolidFill(kRed)), {1, 0, 0, 1, INFINITY, 0});
  s.Draw(s.Fill(RectPath(10, 10, 90, 90), SolidFill(kRed)), Matrix::Scale(0, 0));
  s.Draw(s.Fill(RectPath(10, 10, 90, 90),
                GradientFill(FillStyle::Kind::LinearGradient, ThreeStops(), 50, 50, 0)));
  s.Draw(s.Fill(RectPath(10, 10, 90, 90), BitmapFill(nullptr, {}, true, true)));
  ColorTransform invisible;
  invisible.mul_a = 0;
  s.Draw(s.Fill(RectPath(10, 10, 90, 90), SolidFill(kRed)), {}, invisible);
  s.Draw(s.Stroke(Path{}, Line(4, kRed)));
  s.Draw(s.Stroke(PolyPath({{10, 10}, {90, 90}}, false), Line(NAN, kRed)));
  return s;
}

// Huge but finite coordinates: clipped without overflow, the visible part exact.
Scene Huge() {
  Scene s;
  s.Draw(s.Fill(PolyPath({{-1e7f, 20}, {1e7f, 20}, {1e7f, 80}, {-1e7f, 80}}), SolidFill(kRed)));
  s.Draw(s.Fill(PolyPath({{50, -1e8f}, {60, -1e8f}, {60, 1e8f}, {50, 1e8f}}), SolidFill(kBlue)));
  return s;
}

struct GoldenCase {
  const char* name;
  std::function<Scene()> build;
  Quality quality = Quality::High;
  CoverageMethod method = CoverageMethod::SampledGrid;
  int tolerance = 0;  // per channel
  int outliers = 0;   // pixels allowed beyond the tolerance
};

// Anti-aliased edges may round differently across compilers and maths libraries; exact scenes
// (axis-aligned edges on pixel borders, nothing drawn) get no slack.
const GoldenCase kCases[] = {
    {"solid_aligned", SolidAligned},
    {"star_evenodd", [] { return Star(FillRule::EvenOdd); }, Quality::High,
     CoverageMethod::SampledGrid, 2, 8},
    {"star_nonzero", [] { return Star(FillRule::NonZero); }, Quality::High,
     CoverageMethod::SampledGrid, 2, 8},
    {"star_nonzero_low", [] { return Star(FillRule::NonZero); }, Quality::Low,
     CoverageMethod::SampledGrid, 2, 8},
    {"star_nonzero_medium", [] { return Star(FillRule::NonZero); }, Quality::Medium,
     CoverageMethod::SampledGrid, 2, 8},
    {"star_evenodd_area", [] { return Star(FillRule::EvenOdd); }, Quality::High,
     CoverageMethod::ExactArea, 2, 8},
    {"curves", Curves, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"curves_area", Curves, Quality::High, CoverageMethod::ExactArea, 2, 8},
    {"linear_pad", [] { return Gradient(FillStyle::Kind::LinearGradient, SpreadMode::Pad); },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"linear_reflect",
     [] { return Gradient(FillStyle::Kind::LinearGradient, SpreadMode::Reflect); }, Quality::High,
     CoverageMethod::SampledGrid, 2, 4},
    {"linear_repeat", [] { return Gradient(FillStyle::Kind::LinearGradient, SpreadMode::Repeat); },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"linear_linear_rgb",
     [] {
       return Gradient(FillStyle::Kind::LinearGradient, SpreadMode::Pad, Interpolation::LinearRgb);
     },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"radial_pad", [] { return Gradient(FillStyle::Kind::RadialGradient, SpreadMode::Pad); },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"radial_reflect",
     [] { return Gradient(FillStyle::Kind::RadialGradient, SpreadMode::Reflect); }, Quality::High,
     CoverageMethod::SampledGrid, 2, 4},
    {"focal",
     [] {
       return Gradient(FillStyle::Kind::FocalGradient, SpreadMode::Pad, Interpolation::Rgb, 0.7f);
     },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"bitmap_repeat_nearest",
     [] {
       return BitmapScene(true, false, {3, 0, 0, 3, 5, 5});
     }},
    {"bitmap_clamp_nearest",
     [] {
       return BitmapScene(false, false, {2, 0, 0, 2, 30, 30});
     }},
    {"bitmap_clamp_smooth",
     [] {
       return BitmapScene(false, true, {5.5f, 0, 0, 5.5f, 8, 8});
     },
     Quality::High, CoverageMethod::SampledGrid, 2, 0},
    {"bitmap_rotated_smooth",
     [] {
       return BitmapScene(true, true, {3, 2, -2, 3, 40, 5});
     },
     Quality::High, CoverageMethod::SampledGrid, 2, 4},
    {"bitmap_alpha_tinted", BitmapAlphaTinted, Quality::High, CoverageMethod::SampledGrid, 2, 0},
    {"stroke_caps", Caps, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"stroke_joins", Joins, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"stroke_scaled", ScaledStrokes, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"mask_nested", Masked, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"blend_modes", Blends, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"layer_alpha", LayerAlpha, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"color_transform", ColorTransformed, Quality::High, CoverageMethod::SampledGrid, 2, 8},
    {"degenerate", Degenerate},
    {"huge_coordinates", Huge},
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << c.name;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, MatchesPicture) {
  const GoldenCase& c = GetParam();
  Scene scene = c.build();
  raster::Pixmap picture(100, 100);
  Renderer renderer;
  renderer.SetQuality(c.quality);
  renderer.SetCoverage(c.method);
  renderer.Render(scene.list, Matrix::Scale(1.0f / 20, 1.0f / 20), picture);

  const std::string path = std::string(LUMEN_GOLDEN_DIR) + "/" + c.name + ".png";
  const char* update = std::getenv("LUMEN_UPDATE_GOLDEN");
  if (update && *update && *update != '0') {
    ASSERT_TRUE(WritePng(path, picture)) << path;
    GTEST_SKIP() << "rewrote " << path;
  }
  const raster::Pixmap expected = ReadPng(path);
  ASSERT_EQ(expected.Width(), 100) << "missing picture " << path;
  ASSERT_EQ(expected.Height(), 100);
  // PNGs hold straight colours: compare what a round trip through one gives.
  const std::string actual_path = testing::TempDir() + "golden_" + c.name + ".png";
  ASSERT_TRUE(WritePng(actual_path, picture));
  const raster::Pixmap actual = ReadPng(actual_path);
  int outliers = 0, worst = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      const uint32_t a = actual.At(x, y), e = expected.At(x, y);
      int diff = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        diff = std::max(diff, std::abs(static_cast<int>((a >> shift) & 0xFF) -
                                       static_cast<int>((e >> shift) & 0xFF)));
      }
      worst = std::max(worst, diff);
      if (diff > c.tolerance) ++outliers;
    }
  }
  EXPECT_LE(outliers, c.outliers) << c.name << ": worst channel difference " << worst
                                  << "; picture written to " << actual_path;
}

INSTANTIATE_TEST_SUITE_P(Scenes, Golden, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace lumen::render::test
