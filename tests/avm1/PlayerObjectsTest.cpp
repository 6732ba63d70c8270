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
      {"addListener", Value(), "true", "undefined"}, {"addListener", Value::Null(), "true", "null"},
      {"addListener", false, "true", "null,false"},  {"addListener", false, "true", "null,false"},
      {"removeListener", false, "true", "null"},     {"removeListener", false, "false", "null"},
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
  EXPECT_TRUE(
      vm.CallMethod(b, "broadcastMessage", std::vector<Value>{vm.Str("onX")}).IsUndefined());
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
  for (auto [name, code] :
       {std::pair{"ENTER", 13}, {"CAPSLOCK", 20}, {"DELETEKEY", 46}, {"PGDN", 34}, {"UP", 38}}) {
    EXPECT_EQ(vm.ToNumber(vm.GetMember(key, name)), code) << name;
  }
  vm.CallMethod(key, "addListener",
                std::vector<Value>{Listener(vm, "k", {"onKeyDown", "onKeyUp"})});
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

// A clip whose only working part is _alpha.
class FakeClip : public ClipLink {
 public:
  virtual ~FakeClip() = default;
  ClipLink* Parent() override { return nullptr; }
  ClipLink* Child(std::string_view, bool) override { return nullptr; }
  void Children(std::vector<ClipLink*>&) override {}
  ClipLink* ChildAtDepth(int32_t) override { return nullptr; }
  FieldLink* ChildField(std::string_view, bool) override { return nullptr; }
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
  FieldLink* CreateTextField(std::string_view, int32_t, double, double, double, double) override {
    return nullptr;
  }
  ClipLink* Attach(std::string_view, std::string_view, int32_t) override { return nullptr; }
  ClipLink* Duplicate(std::string_view, int32_t) override { return nullptr; }
  void Remove() override {}
  void SwapDepths(int32_t) override {}
  int32_t NextHighestDepth() override { return 0; }
  void SetMask(ClipLink*) override {}
  void Clear() override {}
  void LineStyle(const LineSpec&) override {}
  void NoLineStyle() override {}
  void BeginFill(uint32_t, double) override {}
  void BeginGradientFill(const GradientSpec&) override {}
  void EndFill() override {}
  void MoveTo(double, double) override {}
  void LineTo(double, double) override {}
  void CurveTo(double, double, double, double) override {}
  void AttachBitmap(std::shared_ptr<const BitmapPixels>, int32_t, PixelSnapping, bool) override {}

  double alpha = 100;
};

class TintableClip final : public FakeClip, public ClipColorAccess {
 public:
  ColorTransformValues GetColorTransform() override { return transform; }
  void SetColorTransform(const ColorTransformValues& v) override { transform = v; }
  ColorTransformValues transform;
};

Value MakeTransform(Vm& vm, std::initializer_list<std::pair<const char*, Value>> fields) {
  Object* o = vm.NewObject();
  for (const auto& [name, v] : fields) vm.SetOwn(o, name, v);
  return o;
}

TEST(PlayerObjectsColor, TransformsAreKeptInSixteenBitsAsThePlayerDoes) {
  TestBridge bridge;
  Vm vm(8, bridge);
  TintableClip link;
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
  EXPECT_EQ(field("ba"), "31.640625");
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

TEST(PlayerObjectsColor, ClipsWithoutTransformsReachOnlyAlpha) {
  TestBridge bridge;
  Vm vm(8, bridge);
  FakeClip link;
  link.alpha = 40;
  Value color = New(vm, "Color", {static_cast<Object*>(vm.MakeClipObject(link))});
  Value t = vm.CallMethod(color, "getTransform", {});
  EXPECT_EQ(Text(vm, vm.GetMember(t, "aa")), "40");
  EXPECT_EQ(Text(vm, vm.GetMember(t, "ra")), "100");
  vm.CallMethod(color, "setTransform", std::vector<Value>{MakeTransform(vm, {{"aa", 50}})});
  EXPECT_EQ(link.alpha, 50);
}

// --- flash.geom ---

std::string Describe(Vm& vm, const Value& v) {
  return Text(vm, vm.CallMethod(v, "toString", {}));
}

Value NewGeom(Vm& vm, const char* name, std::vector<Value> args) {
  return vm.Construct(Global(vm, std::string("flash.geom.") + name), args);
}

TEST(GeomPackage, HiddenFromMoviesBeforeVersionEight) {
  TestBridge bridge;
  for (uint8_t version : {5, 6, 7, 8}) {
    Vm vm(version, bridge);
    EXPECT_EQ(vm.TypeOf(vm.Get(vm.Global(), "flash")), version >= 8 ? "object" : "undefined");
  }
}

TEST(GeomPoint, MethodsUseScriptArithmetic) {
  TestBridge bridge;
  Vm vm(8, bridge);
  Value xy = NewGeom(vm, "Point", {vm.Str("x"), vm.Str("y")});
  Value p34 = NewGeom(vm, "Point", {3, 4});
  Value point = Global(vm, "flash.geom.Point");
  EXPECT_EQ(Describe(vm, NewGeom(vm, "Point", {})), "(x=0, y=0)");
  EXPECT_EQ(Text(vm, vm.GetMember(p34, "length")), "5");
  EXPECT_EQ(Describe(vm, vm.CallMethod(xy, "add", {})), "(x=xundefined, y=yundefined)");
  EXPECT_EQ(Describe(vm, vm.CallMethod(xy, "subtract", std::vector<Value>{p34})), "(x=NaN, y=NaN)");
  Value p0 = NewGeom(vm, "Point", {vm.Str("0"), vm.Str("0")});
  Value p10 = NewGeom(vm, "Point", {vm.Str("10"), vm.Str("0")});
  EXPECT_EQ(Describe(vm, vm.CallMethod(point, "interpolate", std::vector<Value>{p0, p10, 3})),
            "(x=10-30, y=00)");
  EXPECT_EQ(Text(vm, vm.CallMethod(point, "distance", std::vector<Value>{p34, p0})), "5");
  Value plain = vm.NewObject();
  EXPECT_TRUE(vm.CallMethod(point, "distance", std::vector<Value>{plain, p34}).IsUndefined());
  EXPECT_EQ(
      Text(vm, vm.CallMethod(p34, "equals", std::vector<Value>{NewGeom(vm, "Point", {3, 4})})),
      "true");
  Value p = NewGeom(vm, "Point", {3, -4});
  vm.CallMethod(p, "normalize", std::vector<Value>{-10});
  EXPECT_EQ(Describe(vm, p), "(x=-6, y=8)");
  vm.CallMethod(xy, "normalize", std::vector<Value>{5});  // NaN length: left alone
  EXPECT_EQ(Describe(vm, xy), "(x=x, y=y)");
  vm.CallMethod(p34, "offset", std::vector<Value>{vm.Str("-6"), -8});
  EXPECT_EQ(Describe(vm, p34), "(x=3-6, y=-4)");
}

TEST(GeomMatrix, OperationsPrintAsTheReference) {
  TestBridge bridge;
  Vm vm(8, bridge);
  auto matrix = [&](std::vector<Value> args) { return NewGeom(vm, "Matrix", std::move(args)); };
  struct Case {
    std::vector<Value> start;
    const char* method;
    std::vector<Value> args;
    const char* expected;
  } cases[] = {
      {{1, 2, 3, 4, 5, 6}, "scale", {32, -3.4}, "(a=32, b=-6.8, c=96, d=-13.6, tx=160, ty=-20.4)"},
      {{6, 0, 0, 8, 300, 400},
       "invert",
       {},
       "(a=0.166666666666667, b=0, c=0, d=0.125, tx=-50, ty=-50)"},
      {{4, 5, 44, 55, 2, 4}, "invert", {}, "(a=1, b=0, c=0, d=1, tx=0, ty=0)"},
      {{4, 5, 0, 5, 2, 3}, "invert", {}, "(a=0.25, b=-0.25, c=0, d=0.2, tx=-0.5, ty=-0.1)"},
      {{5, 4, 5, 3, 2, 1},
       "createBox",
       {4, 3, 4, 2, 3},
       "(a=-2.61457448345445, b=-2.27040748592378, c=3.02720998123171, d=-1.96093086259084, tx=2, "
       "ty=3)"},
      {{},
       "createGradientBox",
       {5, 6, 0, 1, 1},
       "(a=0.0030517578125, b=0, c=0, d=0.003662109375, tx=3.5, ty=4)"},
      {{1, 0, 0, 1, vm.Str("s"), 0}, "translate", {20, 1}, "(a=1, b=0, c=0, d=1, tx=s20, ty=1)"},
      {{8}, "identity", {}, "(a=1, b=0, c=0, d=1, tx=0, ty=0)"},
  };
  for (Case& c : cases) {
    Value m = matrix(c.start);
    vm.CallMethod(m, c.method, c.args);
    EXPECT_EQ(Describe(vm, m), c.expected) << c.method;
  }
  Value m = matrix({6, 0, 0, 8, 300, 400});
  vm.CallMethod(m, "concat", std::vector<Value>{matrix({32, -6.8, 96, -13.6, 160, -20.4})});
  EXPECT_EQ(Describe(vm, m), "(a=192, b=-40.8, c=768, d=-108.8, tx=48160, ty=-7500.4)");
  EXPECT_EQ(Describe(vm, vm.CallMethod(matrix({2, 0, 0, 2, 1, 1}), "transformPoint",
                                       std::vector<Value>{NewGeom(vm, "Point", {3, 4})})),
            "(x=7, y=9)");
  // Objects that only look like matrices: rotate does nothing, translate works.
  Object* fake = vm.NewObject();
  for (const char* f : {"a", "b", "c", "d", "tx", "ty"}) vm.SetOwn(fake, f, 1);
  Value proto = Global(vm, "flash.geom.Matrix.prototype");
  vm.Call(vm.GetMember(proto, "rotate"), fake, std::vector<Value>{2});
  vm.Call(vm.GetMember(proto, "translate"), fake, std::vector<Value>{4, 5});
  EXPECT_EQ(Text(vm, vm.Call(vm.GetMember(proto, "toString"), fake, {})),
            "(a=1, b=1, c=1, d=1, tx=5, ty=6)");
}

TEST(GeomColorTransform, ConstructorRgbAndConcat) {
  TestBridge bridge;
  Vm vm(8, bridge);
  EXPECT_EQ(Describe(vm, NewGeom(vm, "ColorTransform", {0, 2, 3})),
            "(redMultiplier=1, greenMultiplier=1, blueMultiplier=1, alphaMultiplier=1, "
            "redOffset=0, greenOffset=0, blueOffset=0, alphaOffset=0)");
  Value c = NewGeom(vm, "ColorTransform", {1, 1, -0.5, 4, 2, 2, 2, 8});
  vm.SetMember(c, "rgb", -4534);
  EXPECT_EQ(Describe(vm, c),
            "(redMultiplier=0, greenMultiplier=0, blueMultiplier=0, alphaMultiplier=4, "
            "redOffset=255, greenOffset=238, blueOffset=74, alphaOffset=8)");
  EXPECT_EQ(Text(vm, vm.GetMember(NewGeom(vm, "ColorTransform", {1, 1, 1, 1, 1e6, 1000, 1000, 0}),
                                  "rgb")),
            "1111747560");
  Value a = NewGeom(vm, "ColorTransform", {2, 1, 1, 1, 10, 0, 0, 0});
  vm.CallMethod(a, "concat",
                std::vector<Value>{NewGeom(vm, "ColorTransform", {3, 1, 1, 1, 5, 0, 0, 0})});
  EXPECT_EQ(Text(vm, vm.GetMember(a, "redMultiplier")), "6");
  EXPECT_EQ(Text(vm, vm.GetMember(a, "redOffset")), "20");
}

}  // namespace
}  // namespace lumen::avm1
