#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "tests/movie/MovieTestUtil.h"
#include "tests/text/TextTestUtil.h"
#include "text/EditText.h"
#include "text/GlyphPainter.h"
#include "text/TextField.h"
#include "text/TextLayout.h"

namespace lumen::text {
namespace {

using authoring::Bytes;

// A field of the box font: "A" is an em square, 20 px high at size 20.
class FieldTest : public ::testing::Test {
 protected:
  TextField Make(authoring::EditTextSpec spec) {
    spec.id = 2;
    spec.font = 1;
    spec.height = 400;
    spec.flags |= kUseOutlines;
    Bytes tags;
    testing::BoxFont(tags);
    authoring::DefineEditText(tags, spec);
    movie_ = movie::testing::Load(tags);
    fonts_ = std::make_unique<FontLibrary>(*movie_);
    const movie::Character* c = movie_->Find(2);
    def_ = ReadEditText(c->body, movie_->version).value();
    return TextField(def_, *fonts_, nullptr);
  }

  std::shared_ptr<const movie::Movie> movie_;
  std::unique_ptr<FontLibrary> fonts_;
  EditTextDef def_;
};

TEST_F(FieldTest, WordsWrapAtTheFieldsWidthInsideItsGutter) {
  authoring::EditTextSpec spec;
  spec.x_max = 80 + 2 * 400 + 100;  // room for two letters and a bit
  spec.flags = kWordWrap | kMultiline;
  spec.text = "AA AA AAAAA";
  TextField field = Make(spec);
  const TextLayout& layout = field.Layout();
  ASSERT_EQ(layout.lines.size(), 5u);  // "AA ", "AA ", then the long word cut: "AA", "AA", "A"
  EXPECT_EQ(layout.lines[0].end_char, 3u);
  EXPECT_EQ(layout.lines[2].end_char - layout.lines[2].first_char, 2u);
  EXPECT_FLOAT_EQ(layout.lines[0].width, 800);
  EXPECT_FLOAT_EQ(layout.lines[1].top, 400 * 0.8f + 400 * 0.2f);  // ascent + descent
  // The first glyph sits on the baseline, two pixels in from the field's corner.
  const render::ShapeGeometry& g = field.Geometry();
  ASSERT_FALSE(g.parts.empty());
  EXPECT_FLOAT_EQ(g.parts[0].path.points[0].x, 40);
  // Five lines do not fit its 20 pixels: the stage clips them to the box.
  EXPECT_TRUE(field.Overflows());
  EXPECT_FLOAT_EQ(field.Box().bounds.y_max, 400);
}

// A field of a million characters lays out every line but paints no more than the painter's
// budget, in bounded time and memory.
TEST_F(FieldTest, AMillionCharactersLayOutWithinThePaintBudget) {
  authoring::EditTextSpec spec;
  spec.x_max = 4000;
  spec.flags = kWordWrap | kMultiline;
  std::string text;
  text.reserve(1000000);
  while (text.size() < 1000000) text += "AAAA ";
  spec.text = std::move(text);
  TextField field = Make(spec);
  const TextLayout& layout = field.Layout();
  EXPECT_EQ(layout.lines.size(), 1000000u / 5 / 2);  // two words of four letters a line
  size_t points = 0;
  for (const auto& part : field.Geometry().parts) points += part.path.points.size();
  EXPECT_GT(points, 0u);
  EXPECT_LE(points, GlyphPainter::kMaxPoints);
}

// Home and End keep to the line the caret shows on, and Up and Down find the nearest place on
// the wrapped line above or below.
TEST_F(FieldTest, CaretKeysMoveAlongWrappedLines) {
  authoring::EditTextSpec spec;
  spec.x_max = 80 + 3 * 400 + 100;  // room for three letters
  spec.flags = kWordWrap | kMultiline;
  spec.text = "AAA AA AAA";  // lines "AAA ", "AA ", "AAA"
  TextField field = Make(spec);
  ASSERT_EQ(field.Layout().lines.size(), 3u);
  const EditRules rules;
  auto caret = [&] { return field.Editor().Caret(); };
  field.Select(2, 2);
  field.Press(EditKey::Down, false, rules);
  EXPECT_EQ(caret(), 6u);  // under the third letter's place: the end of "AA"
  field.Press(EditKey::Down, false, rules);
  EXPECT_EQ(caret(), 9u);
  field.Press(EditKey::Down, false, rules);
  EXPECT_EQ(caret(), 9u);  // no line below
  field.Press(EditKey::Up, false, rules);
  field.Press(EditKey::Home, false, rules);
  EXPECT_EQ(caret(), 4u);
  field.Press(EditKey::End, true, rules);
  EXPECT_EQ(field.Editor().Begin(), 4u);
  EXPECT_EQ(field.Editor().End(), 6u);  // before the space that ended the line
  field.Press(EditKey::Up, true, rules);
  EXPECT_EQ(field.Editor().Anchor(), 4u);
  EXPECT_EQ(caret(), 2u);
}

// The text's height counts leading between lines, and once under a single line.
TEST_F(FieldTest, TextHeightCountsLeadingBetweenLinesOrUnderASingleOne) {
  authoring::EditTextSpec spec;
  spec.x_max = 4000;
  spec.flags = kMultiline;
  spec.align = 0;
  spec.leading = 5 * 20;
  spec.text = "A";
  EXPECT_FLOAT_EQ(Make(spec).Layout().text_height, 400 + 100);
  spec.text = "A\rA\rA";
  EXPECT_FLOAT_EQ(Make(spec).Layout().text_height, 3 * 400 + 2 * 100);
}

// Each glyph advances by whole twips: three glyphs of 10000 units at 20 px advance 195 twips
// each, not 195.3; an advance past 32767 units reads unsigned.
TEST(FieldAdvances, GlyphsAdvanceByWholeTwipsReadUnsigned) {
  authoring::FontSpec font;
  font.id = 1;
  font.name = "Narrow";
  font.ascent = 16384;
  font.descent = 4096;
  authoring::GlyphSpec a;
  a.code = 'A';
  a.advance = 10000;
  a.outline.Select(0, 1);
  a.outline.Rectangle(0, -10000, 10000, 0);
  font.glyphs.push_back(a);
  a.code = 'W';
  a.advance = static_cast<int16_t>(40000);  // stored as the unsigned 40000
  font.glyphs.push_back(std::move(a));
  authoring::EditTextSpec spec;
  spec.id = 2;
  spec.font = 1;
  spec.height = 400;
  spec.x_max = 4000;
  spec.flags = kUseOutlines;
  spec.text = "AAA";
  Bytes tags;
  authoring::DefineFont3(tags, font);
  authoring::DefineEditText(tags, spec);
  const auto movie = movie::testing::Load(tags);
  FontLibrary fonts(*movie);
  const EditTextDef def = ReadEditText(movie->Find(2)->body, movie->version).value();
  TextField field(def, fonts, nullptr);
  EXPECT_FLOAT_EQ(field.Layout().text_width, 3 * 195);
  field.SetText("WA");
  EXPECT_FLOAT_EQ(field.Layout().glyphs[1].x, 781);
}

TEST_F(FieldTest, AlignmentAutoSizeAndBorder) {
  authoring::EditTextSpec spec;
  spec.x_max = 2000;
  spec.align = 1;  // right
  spec.text = "A";
  TextField right = Make(spec);
  EXPECT_FLOAT_EQ(right.Layout().glyphs[0].x, 2000 - 80 - 400);
  spec.align.reset();
  spec.flags = kAutoSize | kBorder;
  spec.color = authoring::Color{255, 153, 204, 255};
  spec.text = "AAA";
  TextField sized = Make(spec);
  EXPECT_FLOAT_EQ(sized.Bounds().x_max, 3 * 400 + 80);
  EXPECT_FLOAT_EQ(sized.Bounds().y_max, 400 + 80);
  // Background and glyphs in their tinted colour; the border a line on the stage, half a stage
  // pixel right of and below the box's edges, mirrored or not.
  const auto& parts = sized.Geometry().parts;
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].fill.color, (render::Rgba{255, 255, 255, 255}));
  EXPECT_EQ(parts[1].fill.color, (render::Rgba{255, 152, 203, 255}));
  const render::ShapeGeometry* border = sized.Border({-1, 0, 0, 1, 2000, 0});
  ASSERT_NE(border, nullptr);
  EXPECT_EQ(border->parts.at(0).kind, render::ShapePart::Kind::Stroke);
  EXPECT_FLOAT_EQ(border->bounds.x_min, 2000 - 1280);
  EXPECT_FLOAT_EQ(border->bounds.x_max, 2000 + 20);
}

// Selected text is white on black over its line's height; the caret after a character stands
// on the pixel before the boundary, inside that character, in a part of its own.
TEST_F(FieldTest, SelectionInvertsAndTheCaretStandsInsideTheCharacterBefore) {
  authoring::EditTextSpec spec;
  spec.text = "AAA";
  TextField field = Make(spec);
  field.ShowCaret(true);
  field.Select(1, 3);
  const auto& parts = field.Geometry().parts;
  ASSERT_EQ(parts.size(), 3u);  // the highlight, a glyph, the selected glyphs
  EXPECT_EQ(parts[0].fill.color, (render::Rgba{0, 0, 0, 255}));
  EXPECT_FLOAT_EQ(parts[0].path.points[0].x, 40 + 400);
  EXPECT_EQ(parts[2].fill.color, (render::Rgba{255, 255, 255, 255}));
  field.Select(3, 3);
  const auto& caret = field.Geometry().parts.back();
  EXPECT_EQ(field.Geometry().parts.size(), 2u);  // the glyphs, the caret
  EXPECT_FLOAT_EQ(caret.path.points[0].x, 40 + 3 * 400 - 20);
}

// Two glyphs of 1000 units in a 1024-unit em, 'A' kerned by -70 before 'V'; a device font's
// glyphs and kerning come from a loader (here one that has no more glyphs).
class TwoGlyphFont final : public FontResolver {
 public:
  explicit TwoGlyphFont(bool device) {
    font_.units_per_em = 1024;
    font_.has_layout = true;
    font_.ascent = 1000;
    for (const char16_t code : {u'A', u'V'}) {
      Glyph g;
      g.code = code;
      g.advance = 1000;
      g.outline.MoveTo({0, 0});
      g.outline.LineTo({1000, 0});
      g.outline.LineTo({0, -1000});
      font_.glyphs.push_back(std::move(g));
    }
    font_.IndexCodes();
    font_.AddKerning(u'A', u'V', -70);
    if (device) font_.loader = std::make_shared<NoMoreGlyphs>();
  }
  const Font* Resolve(const TextFormat&) override { return &font_; }

 private:
  class NoMoreGlyphs final : public GlyphLoader {
    std::optional<Glyph> Load(uint16_t) override { return std::nullopt; }
    float Kerning(uint16_t left, uint16_t right) override {
      return left == u'A' && right == u'V' ? -70 : 0;
    }
  };
  Font font_;
};

// The distance from the first glyph to the second of `chars`, at 20 px with kerning.
float SecondGlyphAt(bool device, std::u16string_view chars) {
  TwoGlyphFont fonts(device);
  TextFormat format;
  format.size = 20;
  format.kerning = true;
  FormattedText text;
  text.Append(chars, format);
  const TextLayout layout = LayOut(text, {}, fonts);
  return layout.glyphs.at(1).x - layout.glyphs.at(0).x;
}

// Kerning joins the advance before it is cut to whole twips: 1000 units less 70 at 20 px is
// 363 twips (363.3), not 390 less 27.3. The ascent is cut too: the baseline of 1000 units stands
// 390 twips down.
TEST(FieldAdvances, KerningCountsBeforeTheAdvanceIsCutAndLineMetricsAreWholeTwips) {
  EXPECT_FLOAT_EQ(SecondGlyphAt(false, u"AV"), 363);
  TwoGlyphFont fonts(false);
  TextFormat format;
  format.size = 20;
  FormattedText text;
  text.Append(u"A", format);
  EXPECT_FLOAT_EQ(LayOut(text, {}, fonts).glyphs[0].baseline, 390);
}

// Device text advances by whole pixels, as hinted system text does: 390.6 twips (19.5 px) is
// 20 px, and 363.3 twips (18.2 px) with the kerning is 18.
TEST(FieldAdvances, DeviceFontsAdvanceByWholePixels) {
  EXPECT_FLOAT_EQ(SecondGlyphAt(false, u"AA"), 390);
  EXPECT_FLOAT_EQ(SecondGlyphAt(true, u"AA"), 400);
  EXPECT_FLOAT_EQ(SecondGlyphAt(true, u"AV"), 360);
}

TEST_F(FieldTest, HtmlFieldsParseTheirTextAndVariablesReplaceIt) {
  authoring::EditTextSpec spec;
  spec.flags = kHtml | kMultiline;
  spec.variable = "caption";
  spec.text = "<p>A</p><p>O</p>";
  TextField field = Make(spec);
  EXPECT_EQ(field.Text(), "A\rO\r");
  EXPECT_EQ(field.Layout().lines.size(), 3u);
  field.ShowVariable("<b>AO</b>");
  EXPECT_EQ(field.Text(), "AO");
  EXPECT_TRUE(field.VariableShown());
}

}  // namespace
}  // namespace lumen::text
