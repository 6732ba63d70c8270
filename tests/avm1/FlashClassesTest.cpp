#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avm1/BitmapPixels.h"
#include "avm1/CssReader.h"
#include "avm1/Vm.h"
#include "avm1/builtins/FilterClasses.h"
#include "avm1/builtins/StyleSheetClass.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::TestBridge;
using testing::Text;

// Partial alpha is stored premultiplied: rounding shows in what reads back, and opaque bitmaps
// drop alpha altogether.
TEST(BitmapPixelsTest, PremultipliedStoreRoundsAsThePlayerDoes) {
  BitmapPixels transparent(2, 1, true, 0xAABBCCDDu);
  EXPECT_EQ(transparent.Get(0, 0), 0xAABBCCDCu);
  transparent.Set(1, 0, 0x12345678u);
  EXPECT_EQ(transparent.Get(1, 0), 0x12395571u);
  transparent.Set(1, 0, 0x0000000Au);
  EXPECT_EQ(transparent.Get(1, 0), 0u);
  BitmapPixels opaque(1, 1, false, 0x12345678u);
  EXPECT_EQ(opaque.Get(0, 0), 0xFF345678u);
}

// Copies clip to both bitmaps, and a bitmap scrolled over itself reads its old pixels.
TEST(BitmapPixelsTest, CopiesClipAndOverlapSafely) {
  BitmapPixels b(3, 1, false, 0);
  for (int32_t x = 0; x < 3; ++x) b.Set(x, 0, 0xFF000000u | static_cast<uint32_t>(x + 1));
  b.Scroll(1, 0);
  EXPECT_EQ(b.Get(0, 0) & 0xFF, 1u);  // uncovered: left as it was
  EXPECT_EQ(b.Get(1, 0) & 0xFF, 1u);
  EXPECT_EQ(b.Get(2, 0) & 0xFF, 2u);
  BitmapPixels small(1, 1, false, 0xFF0000FFu);
  b.Copy(small, {-5, -5, 100, 100}, 2, 0, false);
  EXPECT_EQ(b.Get(2, 0), 0xFF0000FFu);
  b.Copy(small, {0, 0, 1, 1}, INT32_MAX, INT32_MIN, false);  // lands nowhere
  b.Fill({INT32_MAX - 1, 0, INT32_MAX, 1}, 0);
  EXPECT_EQ(b.Get(2, 0), 0xFF0000FFu);
}

Value BitmapDataClass(Vm& vm) {
  return vm.GetMember(vm.GetMember(vm.Get(vm.Global(), "flash"), "display"), "BitmapData");
}

class FlashClassesTest : public ::testing::Test {
 protected:
  Value NewIn(std::string_view package, std::string_view cls, std::vector<Value> args) {
    const Value flash = vm.Get(vm.Global(), "flash");
    return vm.Construct(vm.GetMember(vm.GetMember(flash, package), cls), args);
  }

  TestBridge bridge;
  Vm vm{8, bridge};
};

// Sizes past the caps make nothing; pixels made are charged to the script heap.
TEST_F(FlashClassesTest, BitmapSizesAreCappedAndCharged) {
  EXPECT_TRUE(NewIn("display", "BitmapData", {0, 10}).IsUndefined());
  EXPECT_TRUE(NewIn("display", "BitmapData", {8192, 1}).IsUndefined());
  EXPECT_TRUE(NewIn("display", "BitmapData", {8191, 8191}).IsUndefined());
  const size_t before = vm.heap().Bytes();
  const Value b = NewIn("display", "BitmapData", {1000, 1000});
  EXPECT_GE(vm.heap().Bytes() - before, size_t{4000000});
  vm.CallMethod(b, "dispose", {});
  EXPECT_EQ(vm.ToNumber(vm.GetMember(b, "width")), -1);
}

// Bitmaps made one after another stop at the heap's limit as they are made.
TEST(BitmapDataLimitTest, MakingBitmapsStopsAtTheHeapLimit) {
  TestBridge bridge;
  Vm small(8, bridge, VmLimits{.heap_bytes = size_t{16} << 20});
  const Value ctor = BitmapDataClass(small);
  EXPECT_THROW(
      {
        for (int i = 0; i < 10; ++i) small.Construct(ctor, std::vector<Value>{1000, 1000});
      },
      ScriptAbort);
}

// Setters bring values into the filter's range; the constructor goes through them.
TEST_F(FlashClassesTest, FilterSettingsAreClampedAndQuantised) {
  const Value glow = NewIn("filters", "GlowFilter", {-305419896, 0.5, 300, -1});
  EXPECT_EQ(vm.ToNumber(vm.GetMember(glow, "color")), 0xCBA988);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(glow, "alpha")), 127 / 255.0);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(glow, "blurX")), 255);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(glow, "blurY")), 0);
  vm.SetMember(glow, "quality", 100);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(glow, "quality")), 15);
  const Value copy = vm.CallMethod(glow, "clone", {});
  vm.SetMember(glow, "strength", 9);
  EXPECT_EQ(FilterSettingsOf(copy)->strength, 2);
}

// ConvolutionFilter's native table reads and writes its properties in prototype order from 1:
// entries 17 and 18 are alpha's getter and setter, and the table ends after them.
TEST_F(FlashClassesTest, ConvolutionTableReachesAlpha) {
  const Value f = NewIn("filters", "ConvolutionFilter", {});
  auto entry = [&](double index) {
    return vm.Call(vm.Get(vm.Global(), "ASnative"), Value(), std::vector<Value>{1109, index});
  };
  vm.Call(entry(18), f, std::vector<Value>{0.4});
  EXPECT_EQ(vm.ToNumber(vm.Call(entry(17), f, {})), 102 / 255.0);
  EXPECT_TRUE(entry(19).IsUndefined());
  EXPECT_TRUE(entry(0).IsUndefined());
}

// Colours set how many stops there are, ratios can only lower it, and stops beyond it keep
// their values for when it grows again.
TEST_F(FlashClassesTest, GradientStopsShareOneCount) {
  const Value f = NewIn("filters", "GradientGlowFilter", {});
  auto list = [&](std::vector<Value> values) {
    ArrayObject* a = vm.NewArray();
    a->elements = std::move(values);
    return Value(static_cast<Object*>(a));
  };
  vm.SetMember(f, "colors", list({1, 2, 3}));
  vm.SetMember(f, "ratios", list({10, 20, 30, 40}));
  vm.SetMember(f, "ratios", list({5}));
  EXPECT_EQ(Text(vm, vm.GetMember(f, "colors")), "1");
  vm.SetMember(f, "colors", list({7, 8}));
  EXPECT_EQ(Text(vm, vm.GetMember(f, "ratios")), "5,20");
  EXPECT_EQ(Text(vm, vm.GetMember(f, "alphas")), "0,0");
}

// A handler that reopens the dialog from onCancel is answered in bounded rounds, not nested.
TEST_F(FlashClassesTest, CancelledDialogsDoNotNestWithoutEnd) {
  const Value file = NewIn("net", "FileReference", {});
  vm.SetMember(file, "count", 0);
  struct Reopen {
    static Value Call(Vm& v, const Arguments& a) {
      v.SetMember(a.self, "count", v.ToNumber(v.GetMember(a.self, "count")) + 1);
      return v.CallMethod(a.self, "browse", {});
    }
  };
  vm.SetMember(file, "onCancel", static_cast<Object*>(vm.NewNative(Reopen::Call)));
  vm.RunCall(vm.GetMember(file, "browse"), file, {});
  const double heard = vm.ToNumber(vm.GetMember(file, "count"));
  EXPECT_GT(heard, 0);
  EXPECT_LT(heard, 100);
}

// CSS gives each selector its own rule with camel-cased names and trimmed values; comments go
// anywhere; a text with an error, or too large a one, gives nothing.
TEST(CssReaderTest, ReadsRulesPerSelectorOrNothing) {
  const auto rules = ReadCss("/* x */ p, .note { font-size: 12px ; text-align:right; }\n a{}");
  ASSERT_TRUE(rules);
  ASSERT_EQ(rules->size(), 3u);
  EXPECT_EQ((*rules)[1].selector, ".note");
  const std::vector<std::pair<std::string, std::string>> declared{{"fontSize", "12px"},
                                                                  {"textAlign", "right"}};
  EXPECT_EQ((*rules)[0].declarations, declared);
  EXPECT_TRUE((*rules)[2].declarations.empty());
  for (const char* broken : {"p { color: red", "p { color }", ", p { color: red }"}) {
    EXPECT_FALSE(ReadCss(broken)) << broken;
  }
  std::string many;  // selectors enough to copy their block past the cap
  for (size_t i = 0; i < kMaxCssValues / 2; ++i) many += "a,";
  EXPECT_FALSE(ReadCss(many + "b { x: 1 }"));
}

// A sheet keeps copies of its styles by name, from setStyle or parseCSS, and a field reads them
// as formats.
TEST_F(FlashClassesTest, StyleSheetKeepsCopiesAndReadsAsFormats) {
  const Value sheet =
      vm.Construct(vm.GetMember(vm.Get(vm.Global(), "TextField"), "StyleSheet"), {});
  auto call = [&](std::string_view method, std::vector<Value> args) {
    return vm.CallMethod(sheet, method, args);
  };
  Object* style = vm.NewObject();
  vm.Set(style, "color", vm.Str("#FF0000"));
  call("setStyle", {vm.Str(".red"), style});
  vm.Set(style, "color", vm.Str("#00FF00"));
  EXPECT_EQ(Text(vm, vm.GetMember(call("getStyle", {vm.Str(".red")}), "color")), "#FF0000");
  EXPECT_TRUE(vm.ToBoolean(call("parseCSS", {vm.Str("p { font-size: 14; }")})));
  EXPECT_FALSE(vm.ToBoolean(call("parseCSS", {vm.Str("h1 { color: #0000FF")})));
  const std::string names = Text(vm, call("getStyleNames", {}));
  EXPECT_TRUE(names == "p,.red" || names == ".red,p") << names;

  const StyleRules rules = StyleSheetRules(vm, sheet.AsObject());
  ASSERT_EQ(rules.size(), 2u);
  for (const auto& [selector, format] : rules) {
    EXPECT_EQ(selector == ".red" ? format.color : format.size, selector == ".red" ? 0xFF0000 : 14);
  }
  call("setStyle", {vm.Str(".red"), Value::Null()});
  call("clear", {});
  EXPECT_EQ(Text(vm, call("getStyleNames", {})), "");

  // load reads a file beside the movie on the next tick; onLoad hears whether it read.
  bridge.files["captions.css"] = ".caption { color: #FFFFFF; }";
  const Value heard = static_cast<Object*>(vm.NewNative([](Vm& v, const Arguments& a) {
    v.bridge().Trace(v.ToString(a[0]));
    return Value();
  }));
  vm.SetMember(sheet, "onLoad", heard);
  EXPECT_TRUE(vm.ToBoolean(call("load", {vm.Str("captions.css")})));
  call("load", {vm.Str("missing.css")});
  vm.DeliverLoads();
  EXPECT_EQ(bridge.lines, (std::vector<std::string>{"true", "false"}));
  EXPECT_EQ(Text(vm, call("getStyleNames", {})), ".caption");
}

}  // namespace
}  // namespace lumen::avm1
