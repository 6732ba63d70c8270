#include "avm1/XmlTree.h"

#include <gtest/gtest.h>

#include <string>

namespace lumen::avm1 {
namespace {

constexpr size_t kManyNodes = 100000;
constexpr size_t kDeep = 256;

XmlParseResult Parse(std::string_view text, bool ignore_white = false) {
  return ParseXml(text, ignore_white, kManyNodes, kDeep);
}

std::string Print(const XmlParseResult& result) {
  return SerializeXml(result.root, result.xml_decl, result.doctype);
}

size_t Depth(const XmlNode& node) {
  size_t depth = 0;
  for (const XmlNode* n = &node; !n->children.empty(); n = &n->children.back()) ++depth;
  return depth;
}

struct Case {
  std::string_view input;
  int status;
  std::string_view printed;
};

TEST(XmlTreeRoundTrip, PrintsWhatItParsed) {
  const Case cases[] = {
      {"<test></test>", 0, "<test />"},
      {"I'm a <b>text node</b>!", 0, "I&apos;m a <b>text node</b>!"},
      {"<продукция>Название_Name</продукция>", 0, "<продукция>Название_Name</продукция>"},
      {"<a x='1' y=\"2\"\n z = \"3\"/>", 0, "<a x=\"1\" y=\"2\" z=\"3\" />"},
      {"<tag a1=\"hello\"a2=\"world\"></tag>", 0, "<tag a1=\"hello\" a2=\"world\" />"},
      {"<a b=\"1\" b=\"2\"/>", 0, "<a b=\"1\" />"},
      {"<a t='it\\'s'/>", 0, "<a t=\"it\\&apos;s\" />"},
      {"<A><x:b xmlns:x=\"u\">1 > 0</x:b></a>", 0, "<A><x:b xmlns:x=\"u\">1 &gt; 0</x:b></A>"},
      {"<T><S><!-- c -->x</S><S><![CDATA[<br>\"q\"]]></S></T>", 0,
       "<T><S>x</S><S>&lt;br&gt;&quot;q&quot;</S></T>"},
      {"<!DOCTYPE foo [ <!ENTITY g \"h\"> ]><r/>", 0, "<!DOCTYPE foo [ <!ENTITY g \"h\"> ]><r />"},
      {"<t></t><!doctype d><?xMl decl?><!dOcType new><?XMl new?>", 0,
       "<?xMl decl?><?XMl new?><!dOcType new><t />"},
      {"<a>\xC2\xA0</a>", 0, "<a>\xC2\xA0</a>"},
  };
  for (const Case& c : cases) {
    const XmlParseResult result = Parse(c.input);
    EXPECT_EQ(result.status, c.status) << c.input;
    EXPECT_EQ(Print(result), c.printed) << c.input;
  }
}

TEST(XmlTreeRoundTrip, KeepsLooseTextAndDeclarationsApart) {
  const XmlParseResult result = Parse("cruft <?xml v?>x<!--c-->y<a k='v'/>");
  EXPECT_TRUE(result.root.is_document);
  EXPECT_EQ(result.xml_decl, "<?xml v?>");
  EXPECT_EQ(result.doctype, "");
  ASSERT_EQ(result.root.children.size(), 4u);
  const char* texts[] = {"cruft ", "x", "y"};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(result.root.children[i].type, XmlNode::Text);
    EXPECT_EQ(result.root.children[i].value, texts[i]);
  }
  const XmlNode& element = result.root.children[3];
  EXPECT_EQ(element.type, XmlNode::Element);
  EXPECT_EQ(element.name, "a");
  ASSERT_EQ(element.attributes.size(), 1u);
  EXPECT_EQ(element.attributes[0], std::make_pair(std::string("k"), std::string("v")));
}

TEST(XmlTreeStatus, StopsAtTheFirstFaultKeepingEarlierNodes) {
  const Case cases[] = {
      {"<a/><?xml A", -3, "<a />"},
      {"<a/><?xml A ?><b/><?xml B", -3, "<?xml A ?><a /><b />"},
      {"<a/><!DOCTYPE A", -4, "<a />"},
      {"<a/><!DOCTYPE A><b/><!DOCTYPE B", -4, "<!DOCTYPE A><a /><b />"},
      {"<a>", -9, "<a />"},
      {"<a><b><c/></a>", -9, "<a><b><c /></b></a>"},
      {"<a><b>foo</a><c/>", -9, "<a><b>foo</b></a>"},
      {"<b><c/></a>", -10, "<b><c /></b>"},
      {"<a><b></c><d/></b></a>", -10, "<a><b /></a>"},
      {"</a><a/>", -10, ""},
      {"<a/ ></a/>", -10, "<a/ />"},
      {"<a>&</a>", 0, "<a>&amp;</a>"},
      {"<a A/><b/>", -6, ""},
      {"<a A=x></a><b/>", -6, ""},
      {"<open att      r='kk'", -6, ""},
      {"<a x='1'", -6, ""},
      {"<open>& ' \"<", -6, "<open>&amp; &apos; &quot;</open>"},
      {"<><a/>", -6, ""},
      {"<a></></a>", -6, "<a />"},
      {"<a></a", -6, "<a />"},
      {"<a A='x></a><b/>", -8, ""},
      {"<a/><!-- <b/>", -5, "<a />"},
      {"<open><![CDATA[jlkjdc</open>", -2, "<open />"},
  };
  for (const Case& c : cases) {
    const XmlParseResult result = Parse(c.input);
    EXPECT_EQ(result.status, c.status) << c.input;
    EXPECT_EQ(Print(result), c.printed) << c.input;
  }
}

TEST(XmlTreeIgnoreWhite, DropsOnlyPlainWhiteText) {
  struct WhiteCase {
    std::string_view input;
    bool ignore_white;
    std::string_view printed;
  };
  const std::string_view spaced = "<X1T> <X1C1> </X1C1> <X1C2>\n</X1C2> \t</X1T>";
  const WhiteCase cases[] = {
      {spaced, false, spaced},
      {spaced, true, "<X1T><X1C1 /><X1C2 /></X1T>"},
      {" <a/> \r\n", true, "<a />"},
      {"<X1> t </X1>", true, "<X1> t </X1>"},
      {"<a>\xC2\xA0</a>", true, "<a>\xC2\xA0</a>"},
      {"<a>&#32;</a>", true, "<a> </a>"},
      {"<a><![CDATA[ ]]></a>", true, "<a> </a>"},
  };
  for (const WhiteCase& c : cases) {
    const XmlParseResult result = Parse(c.input, c.ignore_white);
    EXPECT_EQ(result.status, 0) << c.input;
    EXPECT_EQ(Print(result), c.printed) << c.input;
  }
}

TEST(XmlTreeEntities, DecodeInTextAndAttributesAlike) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"A &amp; &#39; B", "A & ' B"},
      {"A & &thing; B", "A & &thing; B"},
      {"A &&amp; B", "A && B"},
      {"&amp;lt;", "&lt;"},
      {"&lt;&gt;&quot;&apos;", "<>\"'"},
      {"&LT;&Amp;&nbsp;", "<&\xC2\xA0"},
      {"&#229; &#1025; &#02312;", "å Ё ई"},
      {"&#229e2; &#76e9; &#ee229; &#fee; &#97;", "å L &#ee229; &#fee; a"},
      {"&#x41;&#X62;", "Ab"},
      {"&#0; &#55296; &#1114112; &#65 &#;", "&#0; &#55296; &#1114112; &#65 &#;"},
  };
  for (const auto& [raw, decoded] : cases) {
    const std::string text = "<a v='" + std::string(raw) + "'>" + std::string(raw) + "</a>";
    const XmlParseResult result = Parse(text);
    ASSERT_EQ(result.status, 0) << raw;
    const XmlNode& element = result.root.children.at(0);
    EXPECT_EQ(element.attributes.at(0).second, decoded) << raw;
    EXPECT_EQ(element.children.at(0).value, decoded) << raw;
  }
}

TEST(XmlTreeSerialize, EscapesAndShapesBuiltTrees) {
  XmlNode element = MakeXmlElement("n");
  element.attributes = {{"q", "<\"&'>"}, {"e", ""}};
  element.children.push_back(MakeXmlText("&<>\"'"));
  element.children.push_back(MakeXmlElement("empty"));
  EXPECT_EQ(SerializeXml(element),
            "<n q=\"&lt;&quot;&amp;&apos;&gt;\" e=\"\">&amp;&lt;&gt;&quot;&apos;<empty /></n>");
  EXPECT_EQ(SerializeXml(element, "<?xml?>", "<!DOCTYPE d>").substr(0, 3), "<n ");
  EXPECT_EQ(SerializeXml(MakeXmlElement("")), "< />");

  XmlNode document;
  document.is_document = true;
  EXPECT_EQ(SerializeXml(document, "7", "98"), "798");
  document.children.push_back(element.children[1]);
  document.children.push_back(MakeXmlText("t"));
  EXPECT_EQ(SerializeXml(document, "<?xml?>", "<!DOCTYPE d>"), "<?xml?><!DOCTYPE d><empty />t");
}

TEST(XmlTreeLimits, RefuseTooManyOrTooDeepNodes) {
  EXPECT_EQ(ParseXml("<a><b/>t</a>", false, 3, kDeep).status, 0);
  XmlParseResult result = ParseXml("<a><b/>t</a>", false, 2, kDeep);
  EXPECT_EQ(result.status, kXmlOutOfMemory);
  EXPECT_EQ(Print(result), "<a><b /></a>");

  EXPECT_EQ(ParseXml("<a><b>t</b></a>", false, kManyNodes, 3).status, 0);
  result = ParseXml("<a><b>t</b></a>", false, kManyNodes, 2);
  EXPECT_EQ(result.status, kXmlOutOfMemory);
  EXPECT_EQ(Print(result), "<a><b /></a>");
  EXPECT_TRUE(ParseXml("x", false, kManyNodes, 0).root.children.empty());

  std::string nested;
  for (int i = 0; i < 200000; ++i) nested += "<a>";
  result = ParseXml(nested, false, kManyNodes, 64);
  EXPECT_EQ(result.status, kXmlOutOfMemory);
  EXPECT_EQ(Depth(result.root), 64u);

  std::string flat;
  for (int i = 0; i < 5000; ++i) flat += "<b/>t";
  result = ParseXml(flat, false, 1000, kDeep);
  EXPECT_EQ(result.status, kXmlOutOfMemory);
  EXPECT_EQ(result.root.children.size(), 1000u);
}

TEST(XmlTreeLimits, TextEndsAtANul) {
  const XmlParseResult result = Parse(std::string_view("<a/>\0<b/>", 9));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(Print(result), "<a />");
}

}  // namespace
}  // namespace lumen::avm1
