#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

class XmlClassesTest : public ::testing::Test {
 protected:
  Value Xml(std::string_view text) { return New(vm, "XML", {vm.Str(text)}); }
  Value Get(const Value& o, std::string_view name) { return vm.GetMember(o, name); }
  Value Call(const Value& o, std::string_view name, std::vector<Value> args = {}) {
    return vm.CallMethod(o, name, args);
  }
  // Follows a path of property names: Path(doc, {"firstChild", "nextSibling"}).
  Value Path(Value v, std::vector<std::string_view> names) {
    for (std::string_view n : names) v = Get(v, n);
    return v;
  }

  TestBridge bridge;
  Vm vm{8, bridge};
};

TEST_F(XmlClassesTest, ParsedTreeNavigation) {
  const Value doc = Xml("<a x=\"1\" y=\"2\">t<b/><c>u</c></a>");
  const Value a = Get(doc, "firstChild");
  struct Case {
    std::vector<std::string_view> path;
    std::string text;
  } cases[] = {
      {{"nodeType"}, "1"},
      {{"nodeName"}, "null"},
      {{"firstChild", "nodeName"}, "a"},
      {{"firstChild", "firstChild", "nodeType"}, "3"},
      {{"firstChild", "firstChild", "nodeValue"}, "t"},
      {{"firstChild", "firstChild", "nodeName"}, "null"},
      {{"firstChild", "firstChild", "nextSibling", "nodeName"}, "b"},
      {{"firstChild", "lastChild", "previousSibling", "nodeName"}, "b"},
      {{"firstChild", "lastChild", "nextSibling"}, "null"},
      {{"firstChild", "firstChild", "previousSibling"}, "null"},
      {{"firstChild", "lastChild", "parentNode", "nodeName"}, "a"},
      {{"parentNode"}, "null"},
      {{"firstChild", "childNodes", "length"}, "3"},
      {{"firstChild", "attributes", "y"}, "2"},
      {{"status"}, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Text(vm, Path(doc, c.path)), c.text) << c.path.back();
  EXPECT_TRUE(vm.StrictEquals(Path(a, {"firstChild", "parentNode"}), a));
  EXPECT_EQ(vm.Keys(Get(a, "attributes").AsObject()), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Text(vm, Get(Xml("<a><b></a>"), "status")), "-9");
  EXPECT_FALSE(vm.HasOwn(doc.AsObject(), "status"));  // an accessor of XML.prototype

  std::string many;
  for (int i = 0; i <= 100000; ++i) many += "<a/>";
  const Value big = Xml(many);
  EXPECT_EQ(Text(vm, Get(big, "status")), "-7");
  EXPECT_EQ(Text(vm, Path(big, {"childNodes", "length"})), "100000");
}

TEST_F(XmlClassesTest, PrintsTreesAndDeclarations) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"<test></test>", "<test />"},
      {"<a q='&quot;x&amp;'>I'm <b>b</b></a>", "<a q=\"&quot;x&amp;\">I&apos;m <b>b</b></a>"},
      {"<?xml version=\"1.0\"?><!DOCTYPE x><x/>", "<?xml version=\"1.0\"?><!DOCTYPE x><x />"},
      {"<!--c-->t<n>u</n>", "t<n>u</n>"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Text(vm, Xml(in)), out) << in;

  const Value doc = Xml("<t>x</t>");
  vm.SetMember(doc, "nodeName", vm.Str("root"));
  vm.SetMember(doc, "nodeName", Value());  // undefined is ignored
  vm.SetMember(doc, "xmlDecl", vm.Str("<?xml?>"));
  EXPECT_EQ(Text(vm, doc), "<?xml?><root><t>x</t></root>");
  EXPECT_EQ(Text(vm, Get(doc, "firstChild")), "<t>x</t>");

  const Value ns = Xml("<p:a xmlns:p=\"urn:p\"><p:b/></p:a>");
  const Value b = Path(ns, {"firstChild", "firstChild"});
  EXPECT_EQ(Text(vm, Get(b, "prefix")), "p");
  EXPECT_EQ(Text(vm, Get(b, "localName")), "b");
  EXPECT_EQ(Text(vm, Get(b, "namespaceURI")), "urn:p");
  EXPECT_EQ(Text(vm, Call(b, "getPrefixForNamespace", {vm.Str("urn:p")})), "p");
  EXPECT_TRUE(Call(b, "getNamespaceForPrefix", {vm.Str("q")}).IsNull());
}

TEST_F(XmlClassesTest, EditingKeepsTreeAndChildNodesInStep) {
  const Value doc = Xml("<l><a/><b/></l>");
  const Value list = Get(doc, "firstChild");
  const Value kids = Get(list, "childNodes");
  Call(list, "appendChild", {Call(doc, "createElement", {vm.Str("c")})});
  EXPECT_EQ(Text(vm, list), "<l><a /><b /><c /></l>");
  EXPECT_EQ(Text(vm, Get(kids, "length")), "3");

  const Value a = Get(list, "firstChild");
  Call(list, "appendChild", {a});  // moves it to the end
  Call(list, "insertBefore", {Call(doc, "createTextNode", {vm.Str("<&>")}), a});
  EXPECT_EQ(Text(vm, list), "<l><b /><c />&lt;&amp;&gt;<a /></l>");
  Call(Get(list, "firstChild"), "removeNode");
  EXPECT_EQ(Text(vm, list), "<l><c />&lt;&amp;&gt;<a /></l>");
  EXPECT_EQ(Text(vm, Get(kids, "length")), "3");

  Call(a, "appendChild", {list});  // an ancestor: refused
  Call(list, "appendChild", {list});
  EXPECT_EQ(Text(vm, doc), "<l><c />&lt;&amp;&gt;<a /></l>");
  EXPECT_EQ(Text(vm, Call(list, "cloneNode", {false})), "<l />");
  const Value copy = Call(list, "cloneNode", {true});
  Call(Get(copy, "firstChild"), "removeNode");
  EXPECT_EQ(Text(vm, copy), "<l>&lt;&amp;&gt;<a /></l>");
  EXPECT_EQ(Text(vm, list), "<l><c />&lt;&amp;&gt;<a /></l>");
  EXPECT_FALSE(vm.ToBoolean(Call(Get(copy, "lastChild"), "hasChildNodes")));

  // A chain far deeper than any parse: printing, cloning and collecting need no deep stack.
  Value deepest = list;
  for (int i = 0; i < 200000; ++i) {
    const Value next = Call(doc, "createElement", {vm.Str("d")});
    Call(deepest, "appendChild", {next});
    deepest = next;
  }
  EXPECT_EQ(Text(vm, Call(doc, "cloneNode", {true})).size(), Text(vm, doc).size());
  vm.SetOwn(vm.Global(), "keep", doc);  // C++ locals are no roots
  vm.CollectGarbage();
  EXPECT_EQ(Text(vm, Get(deepest, "nodeName")), "d");
}

TEST_F(XmlClassesTest, NodesTakeCurrentPrototypeAndSubclassesBecomeNodes) {
  const Value node_class = vm.Get(vm.Global(), "XMLNode");
  Object* custom = vm.NewObject(Get(node_class, "prototype").AsObject());
  vm.SetOwn(custom, "marker", vm.Str("yes"));
  vm.SetMember(node_class, "prototype", custom);
  EXPECT_EQ(Text(vm, Path(Xml("<a/>"), {"firstChild", "marker"})), "yes");

  // super(1, "n") on a plain instance of a script subclass.
  Object* plain = vm.NewObject(custom);
  const Value args[] = {1, vm.Str("n")};
  const Value r = vm.Call(node_class, plain, args);
  EXPECT_TRUE(vm.StrictEquals(r, plain));
  EXPECT_EQ(Text(vm, Get(plain, "nodeName")), "n");
  EXPECT_EQ(Text(vm, plain), "<n />");
}

TEST_F(XmlClassesTest, LoadVarsDecodeAndEncode) {
  const Value lv = New(vm, "LoadVars", {});
  EXPECT_TRUE(Call(lv, "decode", {vm.Str("a=1+2&b=%41%2&&c")}).IsUndefined());
  EXPECT_EQ(Text(vm, Get(lv, "a")), "1 2");
  EXPECT_EQ(Text(vm, Get(lv, "b")), "A%2");
  EXPECT_EQ(Text(vm, Get(lv, "c")), "");
  EXPECT_EQ(Text(vm, Call(lv, "toString")), "c=&b=A%252&a=1%202");
  EXPECT_FALSE(vm.ToBoolean(Call(lv, "decode")));
  // Nothing is sent, but an object target is told it is loading.
  EXPECT_FALSE(vm.ToBoolean(Call(lv, "sendAndLoad", {vm.Str("x.txt"), 3.0})));
  EXPECT_TRUE(vm.ToBoolean(Call(lv, "sendAndLoad", {vm.Str("x.txt"), lv})));
  EXPECT_EQ(Text(vm, Get(lv, "loaded")), "false");

  // onData's default hands the text to decode and tells onLoad.
  Call(lv, "onData", {vm.Str("d=4")});
  EXPECT_EQ(Text(vm, Get(lv, "d")), "4");
  EXPECT_EQ(Text(vm, Get(lv, "loaded")), "true");
  const Value doc = Xml("");
  Call(doc, "onData", {vm.Str("<z/>")});
  EXPECT_EQ(Text(vm, doc), "<z />");
}

// load() reads at once and delivers on the next tick; a file that is not there leaves the
// object unloaded, and the byte counts say what came in.
TEST_F(XmlClassesTest, LoadDeliversTheFileOnTheNextTick) {
  bridge.files["photos.xml"] = "\xEF\xBB\xBF<show><photo src=\"a.jpg\"/></show>";
  bridge.files["vars.txt"] = "title=Summer";
  const Value doc = Xml("");
  const Value lv = New(vm, "LoadVars", {});
  const Value missing = Xml("");
  EXPECT_TRUE(vm.ToBoolean(Call(doc, "load", {vm.Str("photos.xml")})));
  EXPECT_TRUE(vm.ToBoolean(Call(lv, "load", {vm.Str("vars.txt")})));
  EXPECT_TRUE(vm.ToBoolean(Call(missing, "load", {vm.Str("gone.xml")})));
  EXPECT_EQ(Text(vm, Get(doc, "loaded")), "false");
  EXPECT_EQ(Text(vm, Call(doc, "getBytesLoaded")), "0");
  EXPECT_EQ(Text(vm, Call(doc, "getBytesTotal")), "undefined");  // not known before it arrives

  vm.DeliverLoads();
  EXPECT_EQ(Text(vm, Call(doc, "getBytesTotal")), "36");  // the bytes of the file
  EXPECT_EQ(Text(vm, Get(doc, "loaded")), "true");
  EXPECT_EQ(Text(vm, Path(doc, {"firstChild", "firstChild", "attributes", "src"})), "a.jpg");
  EXPECT_EQ(Text(vm, Get(lv, "title")), "Summer");
  EXPECT_EQ(Text(vm, Get(missing, "loaded")), "false");
  EXPECT_EQ(Text(vm, Call(missing, "getBytesLoaded")), "0");
}

}  // namespace
}  // namespace lumen::avm1
