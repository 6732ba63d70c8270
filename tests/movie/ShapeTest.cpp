#include <gtest/gtest.h>

#include <cmath>

#include "authoring/SwfWriter.h"
#include "movie/Movie.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::movie {
namespace {

using authoring::Bytes;
using authoring::ShapeWriter;
using testing::CountMoves;
using testing::Load;
using testing::SignedArea;

const render::ShapeGeometry& ShapeOf(const std::shared_ptr<const Movie>& movie, uint16_t id) {
  static const render::ShapeGeometry kNone;
  const Character* c = movie ? movie->Find(id) : nullptr;
  EXPECT_TRUE(c && c->shape) << "shape " << id;
  return c && c->shape ? *c->shape : kNone;
}

std::shared_ptr<const Movie> LoadShape(const ShapeWriter& shape, bool nonzero = false) {
  return Load(shape.Tag(1, 0, 1000, 0, 1000, nonzero));
}

// Two squares side by side drawn as a cell grid would be: the shared edge carries style 1 on
// one side and style 2 on the other. Each style must come out as one closed square of the same
// orientation, whatever the order of the edges.
TEST(ShapeEdgeModel, SharedEdgesFillBothSidesWithConsistentOrientation) {
  ShapeWriter shape(2);
  const int left = shape.AddSolidFill({255, 0, 0, 255});
  const int right = shape.AddSolidFill({0, 0, 255, 255});
  shape.Select(0, left);
  shape.MoveTo(0, 0);
  shape.LineTo(100, 0);
  shape.Select(right, left);  // the shared edge, drawn downwards: left lies on fill 1's side
  shape.LineTo(100, 100);
  shape.Select(0, left);
  shape.LineTo(0, 100);
  shape.LineTo(0, 0);
  shape.Select(right, 0);  // the right square drawn the other way round
  shape.MoveTo(100, 100);
  shape.LineTo(200, 100);
  shape.LineTo(200, 0);
  shape.LineTo(100, 0);
  const auto movie = LoadShape(shape);
  const auto& g = ShapeOf(movie, 1);
  ASSERT_EQ(g.parts.size(), 2u);
  double areas[2];
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(g.parts[static_cast<size_t>(i)].kind, render::ShapePart::Kind::Fill);
    EXPECT_EQ(CountMoves(g.parts[static_cast<size_t>(i)].path), 1u);
    areas[i] = SignedArea(g.parts[static_cast<size_t>(i)].path);
    EXPECT_DOUBLE_EQ(std::abs(areas[i]), 10000.0);
  }
  EXPECT_EQ(areas[0] > 0, areas[1] > 0);
  EXPECT_EQ(g.parts[0].fill.color, (render::Rgba{255, 0, 0, 255}));
  EXPECT_EQ(g.parts[1].fill.color, (render::Rgba{0, 0, 255, 255}));
}

TEST(ShapeEdgeModel, ChainsEdgesGivenInAnyOrder) {
  ShapeWriter shape(3);
  const int fill = shape.AddSolidFill({0, 255, 0, 255});
  shape.Select(-1, fill);
  // The sides of a square, each after its own move, in scrambled order.
  shape.MoveTo(100, 100);
  shape.LineTo(0, 100);
  shape.MoveTo(0, 0);
  shape.LineTo(100, 0);
  shape.MoveTo(0, 100);
  shape.LineTo(0, 0);
  shape.MoveTo(100, 0);
  shape.LineTo(100, 100);
  const auto movie = LoadShape(shape);
  const auto& g = ShapeOf(movie, 1);
  ASSERT_EQ(g.parts.size(), 1u);
  EXPECT_EQ(CountMoves(g.parts[0].path), 1u);
  EXPECT_DOUBLE_EQ(std::abs(SignedArea(g.parts[0].path)), 10000.0);
}

TEST(ShapeEdgeModel, LayersPaintInOrderFillsBeforeStrokes) {
  ShapeWriter shape(3);
  const int line = shape.AddLineStyle(40, {0, 0, 0, 255});
  const int fill = shape.AddSolidFill({255, 0, 0, 255});
  shape.Select(-1, fill, line);
  shape.Rectangle(0, 0, 100, 100);
  shape.MoveTo(300, 0);  // a second stroke piece, apart from the first
  shape.Select(-1, 0);
  shape.LineTo(400, 0);
  shape.NewStyles();
  const int fill2 = shape.AddSolidFill({0, 0, 255, 128});
  shape.Select(-1, fill2, 0);
  shape.Rectangle(50, 50, 150, 150);
  const auto movie = LoadShape(shape);
  const auto& g = ShapeOf(movie, 1);
  ASSERT_EQ(g.parts.size(), 3u);
  EXPECT_EQ(g.parts[0].kind, render::ShapePart::Kind::Fill);
  EXPECT_EQ(g.parts[1].kind, render::ShapePart::Kind::Stroke);
  EXPECT_FLOAT_EQ(g.parts[1].line.width, 40);
  EXPECT_EQ(CountMoves(g.parts[1].path), 2u);
  EXPECT_EQ(g.parts[2].kind, render::ShapePart::Kind::Fill);
  EXPECT_EQ(g.parts[2].fill.color, (render::Rgba{0, 0, 255, 128}));
}

TEST(ShapeEdgeModel, WindingRuleFollowsTheShape4Flag) {
  for (const auto& [version, nonzero, rule] : {std::tuple{3, false, render::FillRule::EvenOdd},
                                               std::tuple{4, false, render::FillRule::EvenOdd},
                                               std::tuple{4, true, render::FillRule::NonZero}}) {
    ShapeWriter shape(version);
    shape.Select(-1, shape.AddSolidFill({}));
    shape.Rectangle(0, 0, 10, 10);
    const auto movie = LoadShape(shape, nonzero);
    const auto& g = ShapeOf(movie, 1);
    ASSERT_EQ(g.parts.size(), 1u);
    EXPECT_EQ(g.parts[0].rule, rule) << version;
  }
}

TEST(ShapeEdgeModel, CurvesAndOutOfRangeStylesAndBounds) {
  ShapeWriter shape(1);
  const int fill = shape.AddSolidFill({9, 8, 7, 255});
  shape.AddSolidFill({1, 1, 1, 255});
  shape.Select(-1, 3);  // no such style: the edges fill nothing
  shape.Rectangle(0, 0, 10, 10);
  shape.Select(-1, fill);
  shape.MoveTo(0, 0);
  shape.CurveTo(50, -50, 100, 0);
  shape.LineTo(0, 0);
  const auto movie = Load(shape.Tag(1, -20, 120, -60, 20));
  const auto& g = ShapeOf(movie, 1);
  ASSERT_EQ(g.parts.size(), 1u);
  EXPECT_EQ(g.parts[0].fill.color, (render::Rgba{9, 8, 7, 255}));  // RGB in DefineShape: opaque
  ASSERT_EQ(g.parts[0].path.verbs.size(), 3u);
  EXPECT_EQ(g.parts[0].path.verbs[1], render::PathVerb::QuadTo);
  EXPECT_FLOAT_EQ(g.parts[0].path.points[1].y, -50);
  EXPECT_FLOAT_EQ(g.bounds.x_min, -20);
  EXPECT_FLOAT_EQ(g.bounds.y_max, 20);
}

TEST(ShapeFills, GradientAndBitmapFillsKeepTheirParameters) {
  Bytes body;
  const uint8_t pixels[] = {0, 255, 0, 0};  // one opaque red pixel, XRGB
  authoring::DefineBitsLossless(body, 7, false, 5, 1, 1, pixels);
  ShapeWriter shape(3);
  const int grad = shape.AddLinearGradient({0.5, 0, 0, 0.5, 100, 0},
                                           {{0, {255, 0, 0, 255}}, {255, {0, 0, 255, 0}}}, 1);
  const int bitmap = shape.AddBitmapFill(7, {20, 0, 0, 20, 0, 0}, 0x42);
  const int missing = shape.AddBitmapFill(99, {}, 0x41);
  for (int style : {grad, bitmap, missing}) {
    shape.Select(-1, style);
    shape.Rectangle(0, 0, 10 * style, 10);
  }
  const Bytes tag = shape.Tag(1, 0, 100, 0, 100);
  body.insert(body.end(), tag.begin(), tag.end());
  const auto movie = Load(body);
  const auto& g = ShapeOf(movie, 1);
  ASSERT_EQ(g.parts.size(), 3u);
  const auto& gf = g.parts[0].fill;
  EXPECT_EQ(gf.kind, render::FillStyle::Kind::LinearGradient);
  EXPECT_EQ(gf.gradient.spread, render::SpreadMode::Reflect);
  ASSERT_EQ(gf.gradient.stops.size(), 2u);
  EXPECT_EQ(gf.gradient.stops[1].ratio, 255);
  EXPECT_EQ(gf.gradient.stops[1].color, (render::Rgba{0, 0, 255, 0}));
  EXPECT_FLOAT_EQ(gf.matrix.a, 0.5f);
  EXPECT_FLOAT_EQ(gf.matrix.tx, 100);
  const auto& bf = g.parts[1].fill;
  EXPECT_EQ(bf.kind, render::FillStyle::Kind::Bitmap);
  EXPECT_EQ(bf.source, movie->Find(7)->bitmap);
  ASSERT_TRUE(bf.source);
  EXPECT_EQ(bf.source->Decode()->pixels[0], 0xFFFF0000u);
  EXPECT_EQ(movie->Find(1)->bitmap_fills,
            std::vector<const render::BitmapSource*>{movie->Find(7)->bitmap.get()});
  EXPECT_TRUE(bf.repeat);
  EXPECT_FALSE(bf.smooth);
  EXPECT_FLOAT_EQ(bf.matrix.a, 20);
  EXPECT_EQ(g.parts[2].fill.source, nullptr);
  EXPECT_FALSE(g.parts[2].fill.repeat);
  EXPECT_TRUE(g.parts[2].fill.smooth);
}

// DefineMorphShape with one solid style going from red to blue, and a square growing from
// 100 to 300 twips wide with one side turning into a curve.
Bytes MorphTag(uint16_t id) {
  ShapeWriter start(3), end(3);
  start.Select(-1, 1);
  start.Rectangle(0, 0, 100, 100);
  end.MoveTo(0, 0);
  end.LineTo(300, 0);
  end.LineTo(300, 300);
  end.CurveTo(150, 400, 0, 300);
  end.LineTo(0, 0);
  authoring::BitWriter body;
  body.WriteU16(id);
  authoring::WriteRect(body, 0, 100, 0, 100);
  authoring::WriteRect(body, 0, 300, 0, 400);
  const Bytes start_edges = start.Records(1, 0);
  authoring::BitWriter styles;
  styles.WriteU8(1);
  styles.WriteU8(0x00);
  for (uint8_t v : {255, 0, 0, 255, 0, 0, 255, 255}) styles.WriteU8(v);
  styles.WriteU8(0);  // no line styles
  const Bytes& style_bytes = styles.bytes();
  body.WriteU32(static_cast<uint32_t>(style_bytes.size() + start_edges.size()));
  body.WriteBytes(style_bytes);
  body.WriteBytes(start_edges);
  body.WriteBytes(end.Records(0, 0));
  Bytes tag;
  authoring::WriteTag(tag, authoring::kTagDefineMorphShape, body.bytes());
  return tag;
}

TEST(MorphShapes, InterpolatesEdgesStylesAndBoundsByRatio) {
  const auto movie = Load(MorphTag(3));
  const Character* c = movie->Find(3);
  ASSERT_TRUE(c && c->morph);
  struct Case {
    uint16_t ratio;
    float right;
    uint8_t red;
  };
  // Interpolated colours drop their fraction: two thirds of the way from red to blue, red is 84,
  // not 85.
  for (const Case& k :
       {Case{0, 100, 255}, Case{65535, 300, 0}, Case{32768, 200, 127}, Case{43691, 233.34f, 84}}) {
    const ShapeData data = c->morph->At(k.ratio);
    ASSERT_EQ(data.records.size(), 6u);  // select, move, four edges
    EXPECT_NEAR(data.records[2].to.x, k.right, 0.01) << k.ratio;
    EXPECT_EQ(data.records[4].kind, ShapeRecord::Kind::Curve);  // straight paired with curved
    EXPECT_EQ(data.tables[0].fills[0].color.r, k.red) << k.ratio;
    EXPECT_NEAR(data.bounds.x_max, k.right, 0.01);
  }
  // The straight start edge acts as a curve with its control point at its middle.
  const ShapeData start = c->morph->At(0);
  EXPECT_FLOAT_EQ(start.records[4].control.x, 50);
  EXPECT_FLOAT_EQ(start.records[4].control.y, 100);
}

}  // namespace
}  // namespace lumen::movie
