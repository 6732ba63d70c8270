#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::ActionWriter;
using authoring::Register;

constexpr uint16_t kLeft = 37, kHome = 36, kBackspace = 8, kEnter = 13;

struct Typing {
  std::vector<std::string> changes;  // the field's text each time onChanged ran
  std::unique_ptr<Stage> stage;

  void Type(std::string_view keys) {
    for (const char c : keys) stage->KeyDown(static_cast<uint16_t>(c), static_cast<uint16_t>(c));
  }
  void Press(uint16_t code, bool shift = false) {
    if (shift) stage->KeyDown(Stage::kShiftKey, 0);
    stage->KeyDown(code, 0);
    if (shift) stage->KeyUp(Stage::kShiftKey, 0);
  }
  avm1::Value Call(const char* method) {
    avm1::Vm& vm = stage->Scripts().Engine();
    return vm.CallMethod(vm.Get(vm.Global(), "Selection"), method, {});
  }
  std::string Variable() {
    avm1::Vm& vm = stage->Scripts().Engine();
    return vm.ToString(vm.Get(stage->Root().ScriptObject(), "v"));
  }
};

// A field f of `type` bound to v, whose onChanged traces its text, takes the focus.
std::unique_ptr<Typing> Play(const char* type, const char* restrict = nullptr) {
  ActionWriter a;
  a.Push({20.0, 100.0, 0.0, 0.0, 1.0, "f"}).CallMethod("_root", "createTextField", 6);
  a.Op(authoring::kPop);
  a.SetMember("f", "type", [&](ActionWriter& w) { w.Push({std::string(type)}); });
  a.SetMember("f", "variable", [](ActionWriter& w) { w.Push({"v"}); });
  if (restrict) a.SetMember("f", "restrict", [&](ActionWriter& w) { w.Push({restrict}); });
  ActionWriter changed;
  changed.GetMember(Register{1}, "text").Op(authoring::kTrace);
  a.SetMember("f", "onChanged", [&](ActionWriter& w) { w.DefineFunction("", 1, changed); });
  a.Load("f").CallMethod("Selection", "setFocus", 1).Op(authoring::kPop);
  authoring::Bytes tags;
  authoring::DoAction(tags, a.Finish());
  authoring::ShowFrame(tags);
  auto typing = std::make_unique<Typing>();
  ScriptSetup setup;
  setup.trace = [t = typing.get()](std::string_view line) { t->changes.emplace_back(line); };
  typing->stage = std::make_unique<Stage>(movie::testing::Load(std::move(tags)), true,
                                          codec::DecodeBudget::kDefaultTotal, std::move(setup));
  return typing;
}

TEST(Typing, TheFocusedInputFieldTakesKeysAndItsVariableAndOnChangedFollow) {
  auto t = Play("input");
  t->Type("Hi");
  t->Press(kLeft);
  t->Type("!");
  EXPECT_EQ(t->Call("getCaretIndex").AsNumber(), 2);
  t->Press(kHome, true);
  EXPECT_EQ(t->Call("getBeginIndex").AsNumber(), 0);
  EXPECT_EQ(t->Call("getEndIndex").AsNumber(), 2);
  t->Press(kBackspace);
  t->Press(kEnter);  // a single line takes no break
  EXPECT_EQ(t->changes, (std::vector<std::string>{"H", "Hi", "H!i", "i"}));
  EXPECT_EQ(t->Variable(), "i");
  avm1::Vm& vm = t->stage->Scripts().Engine();
  const avm1::Value range[] = {5.0, -3.0};
  vm.CallMethod(vm.Get(vm.Global(), "Selection"), "setSelection", range);
  EXPECT_EQ(t->Call("getBeginIndex").AsNumber(), 0);
  EXPECT_EQ(t->Call("getCaretIndex").AsNumber(), 0);
  EXPECT_EQ(t->Call("getEndIndex").AsNumber(), 1);
}

TEST(Typing, APressInAFieldFocusesItAndADragSelects) {
  auto t = Play("input");
  t->Type("abc");
  avm1::Vm& vm = t->stage->Scripts().Engine();
  const avm1::Value none = avm1::Value::Null();
  vm.CallMethod(vm.Get(vm.Global(), "Selection"), "setFocus", {&none, 1});
  EXPECT_TRUE(t->Call("getFocus").IsNull());
  t->stage->MouseMove(150, 10);  // beside the field
  t->stage->MouseDown();
  t->stage->MouseUp();
  EXPECT_TRUE(t->Call("getFocus").IsNull());
  t->stage->MouseMove(99, 10);  // past the text's end
  t->stage->MouseDown();
  EXPECT_EQ(vm.ToString(t->Call("getFocus")), "_level0.f");
  EXPECT_EQ(t->Call("getCaretIndex").AsNumber(), 3);
  t->stage->MouseMove(0, 10);
  t->stage->MouseUp();
  t->stage->MouseMove(99, 10);  // released: the selection stays
  EXPECT_EQ(t->Call("getBeginIndex").AsNumber(), 0);
  EXPECT_EQ(t->Call("getEndIndex").AsNumber(), 3);
  EXPECT_EQ(t->Call("getCaretIndex").AsNumber(), 0);
}

TEST(Typing, DynamicFieldsAndRestrictedCharactersTakeNothing) {
  auto dynamic = Play("dynamic");
  dynamic->Type("ab");
  EXPECT_TRUE(dynamic->changes.empty());
  auto digits = Play("input", "0-9");
  digits->Type("a1b2");
  EXPECT_EQ(digits->changes, (std::vector<std::string>{"1", "12"}));
}

}  // namespace
}  // namespace lumen::stage
