#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "render/RenderList.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::ActionWriter;
using authoring::Bytes;

constexpr int32_t kSide = 2000;  // twips: 100 pixels

struct Played {
  std::vector<std::string> lines;
  std::unique_ptr<Stage> stage;
};

// Clips a, b and c in reading order b at (100, 0), a at (0, 0), c at (0, 100), placed out of
// that order, plus d at (100, 100) with no handlers. a, b and c act as buttons, tracing their
// clicks; Selection's listener traces where the focus goes. `script` runs after the setup.
std::unique_ptr<Played> Play(const std::function<void(ActionWriter&)>& script) {
  Bytes tags;
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({200, 0, 0, 255}));
  shape.Rectangle(0, 0, kSide, kSide);
  const Bytes square = shape.Tag(1, 0, kSide, 0, kSide);
  tags.insert(tags.end(), square.begin(), square.end());
  Bytes sprite;
  authoring::PlaceObject(sprite, 1, 1);
  authoring::ShowFrame(sprite);
  authoring::DefineSprite(tags, 2, 1, sprite);
  const std::pair<const char*, std::pair<int32_t, int32_t>> clips[] = {
      {"c", {0, kSide}}, {"b", {kSide, 0}}, {"d", {kSide, kSide}}, {"a", {0, 0}}};
  uint16_t depth = 1;
  for (const auto& [name, at] : clips) {
    authoring::PlaceSpec place;
    place.depth = depth++;
    place.character = 2;
    place.matrix = authoring::MatrixSpec{1, 0, 0, 1, at.first, at.second};
    place.name = name;
    authoring::PlaceObject2(tags, place);
  }
  ActionWriter a;
  for (const char* name : {"a", "b", "c"}) {
    ActionWriter click;
    click.Push({std::string("click ") + name}).Op(authoring::kTrace);
    a.SetMember(name, "onRelease", [&](ActionWriter& w) { w.DefineFunction("", 0, click); });
  }
  ActionWriter told;
  told.Push({authoring::Register{2}}).Op(authoring::kTrace);
  a.SetVariable("l", [](ActionWriter& w) { w.Push({0.0, "Object"}).Op(authoring::kNewObject); });
  a.SetMember("l", "onSetFocus", [&](ActionWriter& w) { w.DefineFunction("", 2, told); });
  a.Load("l").CallMethod("Selection", "addListener", 1).Op(authoring::kPop);
  script(a);
  authoring::DoAction(tags, a.Finish());
  authoring::ShowFrame(tags);
  auto played = std::make_unique<Played>();
  ScriptSetup setup;
  setup.trace = [p = played.get()](std::string_view line) { p->lines.emplace_back(line); };
  played->stage = std::make_unique<Stage>(movie::testing::Load(std::move(tags)), true,
                                          codec::DecodeBudget::kDefaultTotal, std::move(setup));
  return played;
}

TEST(Focus, TabWalksRowsThenColumnsAndSpaceClicksTheFocusedClip) {
  auto p = Play([](ActionWriter&) {});
  Stage& stage = *p->stage;
  for (int i = 0; i < 4; ++i) stage.KeyDown(Stage::kTabKey, 9);
  stage.KeyDown(Stage::kShiftKey, 0);
  stage.KeyDown(Stage::kTabKey, 9);
  stage.KeyUp(Stage::kShiftKey, 0);
  stage.KeyDown(Stage::kSpaceKey, ' ');
  const std::vector<std::string> want = {"_level0.a", "_level0.b", "_level0.c",
                                         "_level0.a", "_level0.c", "click c"};
  EXPECT_EQ(p->lines, want);
}

TEST(Focus, TabIndexOrdersOnlyTheIndexedAndTabEnabledDecides) {
  auto p = Play([](ActionWriter& a) {
    a.SetMember("c", "tabIndex", [](ActionWriter& w) { w.Push({1.0}); });
    a.SetMember("a", "tabIndex", [](ActionWriter& w) { w.Push({2.0}); });
    a.SetMember("d", "tabIndex", [](ActionWriter& w) { w.Push({3.0}); });
    a.SetMember("d", "tabEnabled", [](ActionWriter& w) { w.Push({true}); });
  });
  Stage& stage = *p->stage;
  for (int i = 0; i < 4; ++i) stage.KeyDown(Stage::kTabKey, 9);
  const std::vector<std::string> want = {"_level0.c", "_level0.a", "_level0.d", "_level0.c"};
  EXPECT_EQ(p->lines, want);
}

// What the focus reaches rolls over and what it leaves rolls out, as if the pointer moved: after
// the script that set the focus, before the objects Tab moves it between hear of it.
TEST(Focus, FocusRollsObjectsOverAndOut) {
  auto p = Play([](ActionWriter& a) {
    for (const char* name : {"a", "b"}) {
      for (const char* event : {"over", "out"}) {
        ActionWriter trace;
        trace.Push({std::string(event) + " " + name}).Op(authoring::kTrace);
        a.SetMember(name, event == std::string("over") ? "onRollOver" : "onRollOut",
                    [&](ActionWriter& w) { w.DefineFunction("", 0, trace); });
      }
    }
    a.Load("b").CallMethod("Selection", "setFocus", 1).Op(authoring::kPop);
    a.Push({"set"}).Op(authoring::kTrace);
  });
  Stage& stage = *p->stage;
  stage.KeyDown(Stage::kTabKey, 9);  // to c, which has no roll handlers
  stage.MouseMove(50, 50);           // over a
  stage.KeyDown(Stage::kTabKey, 9);  // round to a: out and over again
  stage.MouseMove(150, 150);         // over d, no button
  const std::vector<std::string> want = {"_level0.b", "set",   "over b", "out b",     "_level0.c",
                                         "over a",    "out a", "over a", "_level0.a", "out a"};
  EXPECT_EQ(p->lines, want);
}

// A clip keeps tabIndex as a 32-bit integer (not a number: the smallest), unless what came first
// was no number; it stays a plain variable then.
TEST(Focus, ClipsKeepTabIndexAsAnInteger) {
  auto p = Play([](ActionWriter& a) {
    auto set = [&](const char* clip, const authoring::ActionValue& v) {
      a.SetMember(clip, "tabIndex", [&](ActionWriter& w) { w.Push({v}); });
      a.GetMember(clip, "tabIndex").Op(authoring::kTrace);
    };
    set("a", 4.9);
    set("a", std::string("x"));
    set("a", 4294967295.0);
    set("b", std::string("x"));
    set("b", 5.0);
    set("b", std::string("y"));
  });
  const std::vector<std::string> want = {"4", "-2147483648", "-2147483648", "x", "5", "y"};
  EXPECT_EQ(p->lines, want);
}

// The focus frame goes around what Tab focused, unless _focusrect (the object's, or the root's
// where the object has none) is false as Tab arrives.
TEST(Focus, FocusRectDecidesTheFrameAsTabArrives) {
  auto p = Play([](ActionWriter& a) {
    a.SetMember("b", "_focusrect", [](ActionWriter& w) { w.Push({false}); });
  });
  Stage& stage = *p->stage;
  render::RenderList list;
  // The frame's box in pixels, or -1 when the last thing drawn is no frame.
  auto frame = [&] {
    stage.BuildRenderList(list);
    const render::RenderCommand& last = list.commands.back();
    const bool yellow = last.shape && last.shape->parts.size() == 4;
    return yellow ? last.shape->bounds.x_min / 20 : -1.0f;
  };
  stage.KeyDown(Stage::kTabKey, 9);  // a, at (0, 0)
  EXPECT_EQ(frame(), 0);
  auto set = [&](const char* target, bool value) {
    avm1::Vm& vm = stage.Scripts().Engine();
    avm1::Object* object = stage.Root().ScriptObject();
    if (*target) object = vm.Get(object, target).AsObject();
    vm.Set(object, "_focusrect", value);
  };
  set("a", false);
  EXPECT_EQ(frame(), 0);             // until the next Tab
  stage.KeyDown(Stage::kTabKey, 9);  // b: its own says no
  EXPECT_EQ(frame(), -1);
  set("", false);
  stage.KeyDown(Stage::kTabKey, 9);  // c: the root's says no
  EXPECT_EQ(frame(), -1);
  set("c", true);
  stage.KeyDown(Stage::kTabKey, 9);
  stage.KeyDown(Stage::kTabKey, 9);
  stage.KeyDown(Stage::kTabKey, 9);  // round to c again
  EXPECT_EQ(frame(), 0);
}

}  // namespace
}  // namespace lumen::stage
