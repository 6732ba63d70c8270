#include <gtest/gtest.h>

#include "tests/movie/MovieTestUtil.h"
#include "tests/text/TextTestUtil.h"
#include "text/FontLibrary.h"
#include "text/GlyphPainter.h"
#include "text/StaticText.h"

namespace lumen::text {
namespace {

using authoring::Bytes;

TEST(Fonts, DefineFont3GivesOutlinesCodesAndMetricsInItsUnits) {
  Bytes tags;
  testing::BoxFont(tags);
  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  const Font* font = fonts.ById(1);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->name, "Boxes");
  EXPECT_EQ(font->units_per_em, 20480);
  EXPECT_EQ(font->ascent, 16384);
  ASSERT_EQ(font->glyphs.size(), 2u);
  EXPECT_EQ(font->GlyphFor('O'), 1);
  EXPECT_EQ(font->GlyphFor('Z'), -1);
  EXPECT_EQ(font->glyphs[1].advance, 20480);
  // The ring: its outer square and its hole, wound against each other.
  const render::Path& ring = font->glyphs[1].outline;
  EXPECT_EQ(movie::testing::CountMoves(ring), 2u);
  EXPECT_NEAR(std::abs(movie::testing::SignedArea(ring)), 20480.0 * 20480 - 10240.0 * 10240, 1);
  EXPECT_EQ(fonts.ByName("boxes", false, false), font);
  EXPECT_EQ(fonts.ById(7), nullptr);
}

// A DefineFont3 without the wide-codes flag has one-byte codes, as the flag says, and its
// metrics follow them.
TEST(Fonts, DefineFont3ReadsCodesAsWideAsItsFlagSays) {
  authoring::BitWriter body;
  body.WriteU16(1);    // id
  body.WriteU8(0x80);  // layout, narrow codes, narrow offsets
  body.WriteU8(0);     // language
  body.WriteU8(1);     // name length
  body.WriteU8('T');
  body.WriteU16(1);    // glyphs
  body.WriteU16(4);    // the glyph's shape, after this table
  body.WriteU16(6);    // the code table, after the shape
  body.WriteU8(0x10);  // the shape: one fill bit, no line bits
  body.WriteU8(0);     // its end record
  body.WriteU8('a');   // code
  for (const uint16_t v : {16400, 4100, 20, 10240}) body.WriteU16(v);  // metrics, advance
  body.WriteU8(0);                                                     // an empty bounds rectangle
  body.WriteU16(0);                                                    // no kerning
  Bytes tags;
  constexpr uint16_t kDefineFont3 = 75;
  authoring::WriteTag(tags, kDefineFont3, body.bytes());
  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  const Font* font = fonts.ById(1);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->GlyphFor('a'), 0);
  EXPECT_EQ(font->ascent, 16400);
  EXPECT_EQ(font->descent, 4100);
  EXPECT_EQ(font->glyphs[0].advance, 10240);
}

TEST(StaticText, GlyphsAreScaledPlacedAndColouredPerRun) {
  Bytes tags;
  testing::BoxFont(tags);
  authoring::TextRunSpec first;
  first.font = 1;
  first.height = 200;  // 10 pixels
  first.color = authoring::Color{255, 0, 0, 128};
  first.x = 100;
  first.y = 400;
  first.glyphs = {{0, 300}, {1, 300}};
  authoring::TextRunSpec second;  // keeps font, height and y; moves right
  second.color = authoring::Color{0, 0, 255, 255};
  second.x = 1000;
  second.glyphs = {{0, 300}, {9, 300}};  // glyph 9 does not exist: it only advances
  authoring::MatrixSpec m;
  m.tx = 20;
  authoring::DefineText(tags, 2, m, {first, second}, true);
  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  const movie::Character* text = movie->Find(2);
  ASSERT_NE(text, nullptr);
  const render::ShapeGeometry g = BuildStaticText(text->tag, text->body, fonts);
  ASSERT_EQ(g.parts.size(), 2u);
  EXPECT_EQ(g.parts[0].fill.color, (render::Rgba{255, 0, 0, 128}));
  EXPECT_EQ(g.parts[1].fill.color, (render::Rgba{0, 0, 255, 255}));
  EXPECT_EQ(movie::testing::CountMoves(g.parts[0].path), 3u);
  EXPECT_EQ(movie::testing::CountMoves(g.parts[1].path), 1u);
  EXPECT_FLOAT_EQ(g.bounds.x_min, 120);
  EXPECT_FLOAT_EQ(g.bounds.x_max, 1220);
  EXPECT_FLOAT_EQ(g.bounds.y_min, 200);
  EXPECT_FLOAT_EQ(g.bounds.y_max, 400);
}

TEST(StaticText, DamagedRecordsKeepWhatCameBefore) {
  Bytes tags;
  testing::BoxFont(tags);
  authoring::TextRunSpec run;
  run.font = 1;
  run.x = 0;
  run.y = 240;
  run.glyphs = {{0, 240}, {1, 240}};
  authoring::DefineText(tags, 2, {}, {run, run});
  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  const movie::Character* text = movie->Find(2);
  ASSERT_NE(text, nullptr);
  // Cut inside the second record: the first one's glyphs stay.
  const auto cut = text->body.first(text->body.size() - 4);
  const render::ShapeGeometry g = BuildStaticText(text->tag, cut, fonts);
  ASSERT_EQ(g.parts.size(), 1u);
  EXPECT_EQ(movie::testing::CountMoves(g.parts[0].path), 3u);
}

// A glyph's curves are cut into lines in the font's units: drawn large or small it has the same
// cuts, each within the painter's tolerance of the curve.
TEST(StaticText, GlyphCurvesAreCutInFontUnits) {
  Glyph bowl;
  bowl.outline.MoveTo({0, 0});
  bowl.outline.QuadTo({1024, -2048}, {2048, 0});
  bowl.outline.LineTo({0, 0});
  std::vector<render::Path> painted;
  for (const float scale : {1.0f, 0.01f}) {
    GlyphPainter painter;
    painter.Glyph(bowl, {0, 0, 0, 255}, {scale, 0, 0, scale, 0, 0});
    const render::ShapeGeometry g = painter.Take();
    ASSERT_EQ(g.parts.size(), 1u);
    painted.push_back(g.parts[0].path);
  }
  ASSERT_EQ(painted[0].points.size(), painted[1].points.size());
  EXPECT_GT(painted[0].points.size(), 8u);
  for (const render::PathVerb verb : painted[0].verbs) EXPECT_NE(verb, render::PathVerb::QuadTo);
  // Within the curve's span, the parabola y = x (x - 2048) / 1024 lies just below each cut.
  for (const render::Point p : painted[0].points) {
    const float curve = p.x * (p.x - 2048) / 1024;
    if (p.y < 0) {
      EXPECT_NEAR(p.y, curve, GlyphPainter::kCurveTolerance);
    }
  }
}

// Hostile fonts end in bounded time and memory: a glyph of a million edges, a thousand times
// over, stops at the painter's budget instead of holding a billion points, and a font of
// 65,535 glyphs reads whole, each glyph found by its code.
TEST(HostileFonts, HugeGlyphsAndFullGlyphTablesStayBounded) {
  Bytes tags;
  authoring::FontSpec font;
  authoring::GlyphSpec huge;
  huge.code = 'A';
  huge.advance = 1;
  huge.outline.Select(0, 1);
  huge.outline.MoveTo(0, 0);
  for (int i = 0; i < 1000000; ++i) huge.outline.LineTo(i % 2 ? 0 : 20480, -(i / 2) % 20480);
  huge.outline.LineTo(0, 0);
  font.glyphs.push_back(std::move(huge));
  authoring::DefineFont3(tags, font);
  std::vector<authoring::TextRunSpec> runs(4);
  for (auto& run : runs) run.glyphs.assign(250, {0, 1});
  runs[0].font = 1;
  runs[0].x = runs[0].y = 0;
  authoring::DefineText(tags, 2, {}, runs);

  authoring::FontSpec full;
  full.id = 3;
  for (uint32_t code = 1; code <= 65535; ++code) {
    authoring::GlyphSpec glyph;
    glyph.code = static_cast<uint16_t>(code);
    glyph.advance = 1024;
    glyph.outline.Select(0, 1);
    glyph.outline.Rectangle(0, -1024, 1024, 0);
    full.glyphs.push_back(std::move(glyph));
  }
  authoring::DefineFont3(tags, full);

  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  ASSERT_NE(fonts.ById(1), nullptr);
  EXPECT_GT(fonts.ById(1)->glyphs[0].outline.points.size(), 1000000u);
  const render::ShapeGeometry g = BuildStaticText(movie->Find(2)->tag, movie->Find(2)->body, fonts);
  size_t points = 0;
  for (const auto& part : g.parts) points += part.path.points.size();
  EXPECT_GT(points, 0u);
  EXPECT_LE(points, GlyphPainter::kMaxPoints);

  const Font* all = fonts.ById(3);
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(all->glyphs.size(), 65535u);
  EXPECT_EQ(all->GlyphFor(0xFFFF), 65534);
  EXPECT_EQ(all->GlyphFor(0x4E2D), 0x4E2D - 1);
}

}  // namespace
}  // namespace lumen::text
