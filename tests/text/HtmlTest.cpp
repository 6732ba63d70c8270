#include <gtest/gtest.h>

#include "text/Html.h"

namespace lumen::text {
namespace {

TEST(Html, TagsSetFormatsOfTheirContentAndParagraphsEndWithBreaks) {
  TextFormat base;
  base.size = 10;
  const FormattedText t = ParseHtml(
      "<p align='center'>A<b>b<i>c</i></b><font size='+4' color='#FF0000' face='Arial'>"
      "d</font></p><p>e<br>f</p>",
      base);
  EXPECT_EQ(t.text, u"Abcd\re\rf\r");
  HtmlOptions single_line;
  single_line.multiline = false;
  EXPECT_EQ(ParseHtml("<p>a</p><p>b<br>c</p>", base, single_line).text, u"abc");
  HtmlOptions condensed;
  condensed.condense_white = true;
  EXPECT_EQ(ParseHtml("<b> \n </b>x \t\n y<i>\n</i>", base, condensed).text, u"x y");
  EXPECT_EQ(t.FormatAt(0).align, Align::Center);
  EXPECT_FALSE(t.FormatAt(0).bold);
  EXPECT_TRUE(t.FormatAt(1).bold);
  EXPECT_FALSE(t.FormatAt(1).italic);
  EXPECT_TRUE(t.FormatAt(2).bold && t.FormatAt(2).italic);
  EXPECT_EQ(t.FormatAt(3).size, 14);
  EXPECT_EQ(t.FormatAt(3).font, "Arial");
  EXPECT_EQ(t.FormatAt(3).color, (render::Rgba{255, 0, 0, 255}));
  EXPECT_EQ(t.FormatAt(5).align, Align::Left);
  EXPECT_EQ(t.FormatAt(5).size, 10);
}

TEST(Html, EntitiesDecodeAndBrokenMarkupKeepsItsText) {
  const TextFormat base;
  EXPECT_EQ(ParseHtml("a &lt;b&gt; &amp; &#65;&#x42; &bogus; &", base).text,
            u"a <b> & AB &bogus; &");
  // Unknown tags vanish, stray closings change nothing, an open tag at the end ends the text.
  const FormattedText t = ParseHtml("<blink>x</blink></b><u>y</i>z<font", base);
  EXPECT_EQ(t.text, u"xyz");
  EXPECT_FALSE(t.FormatAt(0).underline);
  EXPECT_TRUE(t.FormatAt(2).underline);
  // A tag with a bare attribute value leaves no text at all.
  EXPECT_EQ(ParseHtml("<font color=#00FF00>green</font>", base).text, u"");
  // A closing tag ends what was opened inside it.
  const FormattedText nested = ParseHtml("<b><i>a</b>b", base);
  EXPECT_FALSE(nested.FormatAt(1).bold || nested.FormatAt(1).italic);
}

// With a style sheet a tag takes its tag's style, then its class's, then its own attributes;
// span carries a class alone.
TEST(Html, StylesApplyByTagThenClassBeforeAttributes) {
  HtmlOptions styled;
  styled.styles = [](std::string_view selector, TextFormat& f) {
    if (selector == "p") f.align = Align::Right;
    if (selector == "font") f.color = {0, 0, 255, 255};
    if (selector == ".big") f.size = 30;
    if (selector == ".bold") f.bold = true;
  };
  const FormattedText t = ParseHtml(
      "<p class='big'>a<span class='bold'>b</span>c<font color='#00FF00'>d</font></p>", {}, styled);
  EXPECT_EQ(t.text, u"abcd\r");
  EXPECT_EQ(t.FormatAt(0).align, Align::Right);
  EXPECT_EQ(t.FormatAt(0).size, 30);
  EXPECT_FALSE(t.FormatAt(0).bold);
  EXPECT_TRUE(t.FormatAt(1).bold);
  EXPECT_FALSE(t.FormatAt(2).bold);
  EXPECT_EQ(t.FormatAt(3).color, (render::Rgba{0, 255, 0, 255}));
}

}  // namespace
}  // namespace lumen::text
