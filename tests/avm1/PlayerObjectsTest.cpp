#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

// Listener methods record "name(args)" here, naming themselves by their `name` property.
std::vector<std::string> calls;

Value Record(Vm& vm, const Arguments& args) {
  std::string line = vm.ToString(vm.GetMember(args.self, "name")) + "(";
  for (size_t i = 0; i < args.size(); ++i) line += (i ? "," : "") + vm.ToString(args[i]);
  calls.push_back(line + ")");
  return Value();
}

Object* Listener(Vm& vm, const char* name, std::initializer_list<const char*> events) {
  Object* o = vm.NewObject();
  vm.SetOwn(o, "name", vm.Str(name));
  for (const char* e : events) vm.DefineMethod(o, e, Record);
  return o;
}

Value Global(Vm& vm, std::string_view path) {
  Value v = vm.Global();
  size_t start = 0;
  while (start <= path.size()) {
    size_t dot = path.find('.', start);
    if (dot == std::string_view::npos) dot = path.size();
    v = vm.GetMember(v, path.substr(start, dot - start));
    start = dot + 1;
  }
  return v;
}

std::string Listeners(Vm& vm, const Value& broadcaster) {
  return Text(vm, vm.GetMember(broadcaster, "_listeners"));
}

TEST(PlayerObjectsBroadcaster, ListenersAreAddedOnceAndRemovedByLooseEquality) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Object* b = vm.NewObject();
  vm.CallMethod(Global(vm, "AsBroadcaster"), "initialize", std::vector<Value>{b});
  EXPECT_TRUE(vm.Keys(b).empty());  // the broadcaster's members are hidden
  struct Step {
    const char* method;
    Value arg;
    const char* result;
    const char* listeners;
  } steps[] = {
      {"addListener", Value(), "true", "undefined"},
      {"addListener", Value::Null(), "true", "null"},
      {"addListener", false, "true", "null,false"},
      {"addListener", false, "true", "null,false"},
      {"removeListener", false, "true", "null"},
      {"removeListener", false, "false", "null"},
      {"removeListener", Value(), "true", ""},
  };
  for (const Step& s : steps) {
    Value r = vm.CallMethod(b, s.method, std::vector<Value>{s.arg});
    EXPECT_EQ(Text(vm, r), s.result) << s.method << " " << s.listeners;
    EXPECT_EQ(Listeners(vm, b), s.listeners) << s.method;
  }
}

TEST(PlayerObjectsBroadcaster, BroadcastCallsEachListenerWithTheRestOfTheArguments) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Object* b = vm.NewObject();
  vm.CallMethod(Global(vm, "AsBroadcaster"), "initialize", std::vector<Value>{b});
  EXPECT_TRUE(vm.CallMethod(b, "broadcastMessage", std::vector<Value>{vm.Str("onX")}).IsUndefined());
  vm.CallMethod(b, "addListener", std::vector<Value>{Listener(vm, "a", {"onX"})});
  vm.CallMethod(b, "addListener", std::vector<Value>{Listener(vm, "b", {"onY"})});
  calls.clear();
  Value r = vm.CallMethod(b, "broadcastMessage", std::vector<Value>{vm.Str("onX"), 1, vm.Str("s")});
  EXPECT_EQ(calls, std::vector<std::string>{"a(1,s)"});
  EXPECT_EQ(Text(vm, r), "true");  // a listener without the method still counts
  EXPECT_TRUE(vm.CallMethod(b, "broadcastMessage", {}).IsUndefined());
}

TEST(PlayerObjectsKey, StageInputUpdatesStateAndReachesListeners) {
  TestBridge bridge;
  Vm vm(7, bridge);
  Value key = Global(vm, "Key");
  for (auto [name, code] : {std::pair{"ENTER", 13}, {"CAPSLOCK", 20}, {"DELETEKEY", 46},
                            {"PGDN", 34}, {"UP", 38}}) {
    EXPECT_EQ(vm.ToNumber(vm.GetMember(key, name)), code) << name;
  }
  vm.CallMethod(key, "addListener", std::vector<Value>{Listener(vm, "k", {"onKeyDown", "onKeyUp"})});
  calls.clear();
  KeyPressed(vm, 65, 97);
  auto ask = [&](const char* method, double code = 0) {
    return Text(vm, vm.CallMethod(key, method, std::vector<Value>{code}));
  };
  EXPECT_EQ(ask("isDown", 65), "true");
  EXPECT_EQ(ask("getCode"), "65");
  EXPECT_EQ(ask("getAscii"), "97");
  KeyReleased(vm, 65, 97);
  EXPECT_EQ(ask("isDown", 65), "false");
  EXPECT_EQ(calls, (std::vector<std::string>{"k()", "k()"}));
  KeyPressed(vm, 20, 0);
  KeyPressed(vm, 20, 0);  // auto-repeat does not toggle again
  EXPECT_EQ(ask("isToggled", 20), "true");
  KeyReleased(vm, 20, 0);
  KeyPressed(vm, 20, 0);
  EXPECT_EQ(ask("isToggled", 20), "false");
}

TEST(PlayerObjectsMouse, VisibilityAnswersAndEvents) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Value mouse = Global(vm, "Mouse");
  struct Step {
    const char* method;
    double result;
    bool hidden;
  } steps[] = {{"hide", 0, true}, {"hide", 1, true}, {"show", 0, false}, {"show", 1, false}};
  for (const Step& s : steps) {
    EXPECT_EQ(vm.ToNumber(vm.CallMethod(mouse, s.method, {})), s.result) << s.method;
    EXPECT_EQ(PointerHidden(vm), s.hidden);
  }
  vm.CallMethod(mouse, "addListener",
                std::vector<Value>{Listener(vm, "m", {"onMouseDown", "onMouseWheel"})});
  calls.clear();
  MousePressed(vm);
  EXPECT_EQ(Text(vm, vm.CallMethod(Global(vm, "Key"), "isDown", std::vector<Value>{1})), "true");
  MouseReleased(vm);
  MouseWheel(vm, -3);
  EXPECT_EQ(calls, (std::vector<std::string>{"m()", "m(-3)"}));
}

TEST(PlayerObjectsStage, AlignScaleModeAndSize) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Value stage = Global(vm, "Stage");
  auto set = [&](const char* name, const Value& v) {
    vm.SetMember(stage, name, v);
    return Text(vm, vm.GetMember(stage, name));
  };
  EXPECT_EQ(Text(vm, vm.GetMember(stage, "align")), "");
  EXPECT_EQ(set("align", vm.Str("TllLBbbtRrrlBr")), "LTRB");
  EXPECT_EQ(set("align", vm.Str("br")), "RB");
  EXPECT_EQ(set("align", true), "TR");
  EXPECT_EQ(set("align", vm.Str("xyz")), "");
  EXPECT_EQ(set("scaleMode", vm.Str("EXACTFIT")), "exactFit");
  EXPECT_EQ(set("scaleMode", vm.Str("bogus")), "showAll");
  EXPECT_EQ(set("showMenu", 0), "false");
  ViewportResized(vm, 900, 700);
  EXPECT_EQ(Text(vm, vm.GetMember(stage, "width")), "550");
  vm.CallMethod(stage, "addListener", std::vector<Value>{Listener(vm, "s", {"onResize"})});
  calls.clear();
  EXPECT_EQ(set("scaleMode", vm.Str("noscale")), "noScale");
  EXPECT_EQ(Text(vm, vm.GetMember(stage, "width")), "900");
  EXPECT_EQ(Text(vm, vm.GetMember(stage, "height")), "700");
  ViewportResized(vm, 800, 700);
  EXPECT_EQ(calls, (std::vector<std::string>{"s()", "s()"}));
}

TEST(PlayerObjectsSystem, CapabilitiesAndSecurity) {
  TestBridge bridge;
  Vm vm(8, bridge);
  struct Case {
    const char* path;
    const char* type;
  } cases[] = {{"System.capabilities.version", "string"},
               {"System.capabilities.pixelAspectRatio", "number"},
               {"System.capabilities.hasIME", "boolean"},
               {"System.capabilities.screenColor", "string"},
               {"System.exactSettings", "boolean"},
               {"System.useCodepage", "boolean"},
               {"System.security.allowDomain", "function"},
               {"System.Product", "function"}};
  for (const Case& c : cases) EXPECT_EQ(vm.TypeOf(Global(vm, c.path)), c.type) << c.path;
  EXPECT_EQ(Text(vm, Global(vm, "System.capabilities.version")), PlayerVersion());
  Value security = Global(vm, "System.security");
  EXPECT_EQ(Text(vm, vm.CallMethod(security, "allowDomain", {})), "false");
  EXPECT_EQ(Text(vm, vm.CallMethod(security, "allowDomain", std::vector<Value>{0})), "true");
  SetScreenSize(vm, 1280, 1024);
  EXPECT_NE(Text(vm, Global(vm, "System.capabilities.serverString")).find("&R=1280x1024&"),
            std::string::npos);
  vm.SetMember(Global(vm, "System"), "useCodepage", 1);
  EXPECT_EQ(Text(vm, Global(vm, "System.useCodepage")), "true");
}

TEST(PlayerObjectsSharedObject, OneObjectPerNameKeptInMemory) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Value so_class = Global(vm, "SharedObject");
  auto get = [&](const char* name) {
    return vm.CallMethod(so_class, "getLocal", std::vector<Value>{vm.Str(name)});
  };
  Value a = get("prefs");
  ASSERT_TRUE(a.IsObject());
  EXPECT_EQ(a.AsObject(), get("prefs").AsObject());
  EXPECT_NE(a.AsObject(), get("other").AsObject());
  for (const char* bad : {"", "a b", "x:y", "semi;colon"}) EXPECT_TRUE(get(bad).IsNull()) << bad;
  Value data = vm.GetMember(a, "data");
  vm.SetMember(data, "score", 12);
  EXPECT_GT(vm.ToNumber(vm.CallMethod(a, "getSize", {})), 0);
  EXPECT_EQ(Text(vm, vm.CallMethod(a, "flush", {})), "true");
  vm.CallMethod(a, "clear", {});
  EXPECT_TRUE(vm.Keys(data.AsObject()).empty());
  EXPECT_EQ(vm.ToNumber(vm.CallMethod(a, "getSize", {})), 0);
}

// A clip whose only working parts are _alpha and, when asked to, its colour transform.
class FakeClip final : public ClipLink, public ClipColorAccess {
 public:
  explicit FakeClip(bool has_transform) : has_transform_(has_transform) {}
  ColorTransformValues GetColorTransform() override { return transform; }
  void SetColorTransform(const ColorTransformValues& v) override { transform = v; }
  ClipLink* Parent() override { return nullptr; }
  ClipLink* Child(std::string_view, bool) override { return nullptr; }
  void Children(std::vector<ClipLink*>&) override {}
  ClipLink* ChildAtDepth(int32_t) override { return nullptr; }
  ClipObject* Script() override { return nullptr; }
  int Level() override { return 0; }
  std::string Name() override { return "clip"; }
  void SetName(std::string_view) override {}
  int32_t Depth() override { return 0; }
  double Get(ClipProperty p) override { return p == ClipProperty::Alpha ? alpha : 0; }
  void Set(ClipProperty p, double v) override {
    if (p == ClipProperty::Alpha) alpha = v;
  }
  ClipBounds Bounds(ClipLink*) override { return {}; }
  void LocalToGlobal(double&, double&) override {}
  void GlobalToLocal(double&, double&) override {}
  bool HitTest(double, double, bool) override { return false; }
  bool HitTest(ClipLink&) override { return false; }
  size_t CurrentFrame() override { return 1; }
  size_t TotalFrames() override { return 1; }
  bool Playing() override { return false; }
  void Play() override {}
  void Stop() override {}
  void GotoFrame(size_t, bool) override {}
  long FindLabel(std::string_view) override { return -1; }
  void CallFrame(size_t) override {}
  ClipLink* CreateEmpty(std::string_view, int32_t) override { return nullptr; }
  ClipLink* Attach(std::string_view, std::string_view, int32_t) override { return nullptr; }
  ClipLink* Duplicate(std::string_view, int32_t) override { return nullptr; }
  void Remove() override {}
  void SwapDepths(int32_t) override {}
  int32_t NextHighestDepth() override { return 0; }
  void SetMask(ClipLink*) override {}
  void Clear() override {}
  void LineStyle(double, uint32_t, double) override {}
  void NoLineStyle() override {}
  void BeginFill(uint32_t, double) override {}
  void EndFill() override {}
  void MoveTo(double, double) override {}
  void LineTo(double, double) override {}
  void CurveTo(double, double, double, double) override {}

  ColorTransformValues transform;
  double alpha = 100;

 private:
  bool has_transform_;
};

Value MakeTransform(Vm& vm, std::initializer_list<std::pair<const char*, Value>> fields) {
  Object* o = vm.NewObject();
  for (const auto& [name, v] : fields) vm.SetOwn(o, name, v);
  return o;
}

TEST(PlayerObjectsColor, TransformsAreKeptInSixteenBitsAsThePlayerDoes) {
  TestBridge bridge;
  Vm vm(8, bridge);
  FakeClip link(true);
  Value clip = static_cast<Object*>(vm.MakeClipObject(link));
  Value color = New(vm, "Color", {clip});
  auto field = [&](const char* name) {
    return Text(vm, vm.GetMember(vm.CallMethod(color, "getTransform", {}), name));
  };
  vm.CallMethod(color, "setTransform",
                std::vector<Value>{MakeTransform(vm, {{"rb", 255}, {"gb", 128}, {"bb", 32}})});
  EXPECT_EQ(Text(vm, vm.CallMethod(color, "getRGB", {})), std::to_string(0xFF8020));
  vm.CallMethod(color, "setTransform",
                std::vector<Value>{MakeTransform(vm, {{"ra", 99.9}, {"ba", 32}, {"rb", 99.9}})});
  EXPECT_EQ(field("ra"), "99.609375");
  EXPECT_EQ(field("ba"), "31.25");
  EXPECT_EQ(field("rb"), "99");
  EXPECT_EQ(field("gb"), "128");  // untouched fields stay
  vm.CallMethod(color, "setTransform", std::vector<Value>{MakeTransform(vm, {{"aa", 12800}})});
  EXPECT_EQ(field("aa"), "-12800");
  vm.CallMethod(color, "setRGB", std::vector<Value>{0x667799});
  EXPECT_EQ(field("ra"), "0");
  EXPECT_EQ(field("bb"), "153");
  EXPECT_EQ(Text(vm, vm.CallMethod(color, "getRGB", {})), std::to_string(0x667799));

  Value untargeted = New(vm, "Color", {});
  EXPECT_TRUE(vm.CallMethod(untargeted, "getRGB", {}).IsUndefined());
  EXPECT_TRUE(vm.HasOwn(untargeted.AsObject(), "target"));
}

}  // namespace
}  // namespace lumen::avm1
