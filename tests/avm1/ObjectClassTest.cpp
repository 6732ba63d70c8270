#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Names.h"
#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

// A watch callback that stores "name:old>new" and, for "echo", counts its calls in "calls" and
// assigns its own name again.
Value Describe(Vm& vm, const Arguments& a) {
  const std::string text = Text(vm, a[0]) + ":" + Text(vm, a[1]) + ">" + Text(vm, a[2]);
  if (Text(vm, a[0]) == "echo") {
    Object* self = a.self.AsObject();
    vm.Set(self, "calls", vm.ToNumber(vm.Get(self, "calls")) + 1);
    vm.Set(self, "echo", vm.Str("inner"));
  }
  return vm.Str(text);
}

class ObjectClassTest : public ::testing::Test {
 protected:
  Value Call(const Value& o, std::string_view name, std::vector<Value> args = {}) {
    return vm.CallMethod(o, name, args);
  }

  TestBridge bridge;
  Vm vm{8, bridge};
};

TEST_F(ObjectClassTest, TheCallbackDecidesWhatIsStoredUntilUnwatched) {
  const Value o = New(vm, "Object", {});
  const Value describe = static_cast<Object*>(vm.NewNative(Describe));
  vm.SetMember(o, "x", 1.0);
  EXPECT_TRUE(vm.ToBoolean(Call(o, "watch", {vm.Str("x"), describe})));
  EXPECT_FALSE(vm.ToBoolean(Call(o, "watch", {vm.Str("y"), 3.0})));  // not a function

  vm.SetMember(o, "x", 2.0);
  EXPECT_EQ(Text(vm, vm.GetMember(o, "x")), "x:1>2");
  vm.SetMember(o, "y", 5.0);
  EXPECT_EQ(Text(vm, vm.GetMember(o, "y")), "5");

  // A callback that assigns its own name is called again, 65 deep, before the innermost
  // assignment is stored as it is; the outermost callback has the last word.
  vm.SetMember(o, "calls", 0.0);
  EXPECT_TRUE(vm.ToBoolean(Call(o, "watch", {vm.Str("echo"), describe})));
  vm.SetMember(o, "echo", vm.Str("outer"));
  EXPECT_EQ(Text(vm, vm.GetMember(o, "echo")), "echo:undefined>outer");
  EXPECT_EQ(Text(vm, vm.GetMember(o, "calls")), "65");

  EXPECT_TRUE(vm.ToBoolean(Call(o, "unwatch", {vm.Str("x")})));
  EXPECT_FALSE(vm.ToBoolean(Call(o, "unwatch", {vm.Str("x")})));
  vm.SetMember(o, "x", 3.0);
  EXPECT_EQ(Text(vm, vm.GetMember(o, "x")), "3");
}

// Before version 7 a callback that assigns its own name stores that value as it is.
TEST(ObjectWatchNesting, Version6CallsACallbackOnceForItsOwnName) {
  TestBridge bridge;
  Vm vm(6, bridge);
  const Value o = New(vm, "Object", {});
  vm.SetMember(o, "calls", 0.0);
  const Value describe = static_cast<Object*>(vm.NewNative(Describe));
  const std::vector<Value> args{vm.Str("echo"), describe};
  vm.CallMethod(o, "watch", args);
  vm.SetMember(o, "echo", vm.Str("outer"));
  EXPECT_EQ(Text(vm, vm.GetMember(o, "calls")), "1");
}

// Before version 7 names match without case by the player's table, small objects and large
// ones alike: titlecase letters match both cases, letters newer than the table only themselves.
TEST(ObjectClassNames, Version6FoldsCaseByThePlayersTable) {
  TestBridge bridge;
  Vm vm(6, bridge);
  for (const int filler : {0, 20}) {
    Object* o = vm.NewObject();
    for (int i = 0; i < filler; ++i) vm.SetMember(o, "p" + std::to_string(i), 1.0);
    vm.SetMember(o, "\u00c4", vm.Str("a"));         // Ä
    vm.SetMember(o, "\u01f3\u01f2", vm.Str("dz"));  // ǳǲ
    vm.SetMember(o, "\u023a", vm.Str("newer"));     // Ⱥ
    EXPECT_EQ(Text(vm, vm.GetMember(o, "\u00e4")), "a") << filler;
    EXPECT_EQ(Text(vm, vm.GetMember(o, "\u01f1\u01f3")), "dz") << filler;
    EXPECT_TRUE(vm.GetMember(o, "\u2c65").IsUndefined()) << filler;
  }
  Vm strict(7, bridge);
  Object* o = strict.NewObject();
  strict.SetMember(o, "\u00c4", 1.0);
  EXPECT_TRUE(strict.GetMember(o, "\u00e4").IsUndefined());
}

// "_level" and "_flash" names read a signed number up to its first other character, wrapping
// at 32 bits.
TEST(ObjectClassNames, LevelNamesReadTheirNumberAsThePlayerDoes) {
  EXPECT_EQ(LevelOfName("_level"), 0);
  EXPECT_EQ(LevelOfName("_FLASH0a"), 0);
  EXPECT_EQ(LevelOfName("_level4294967297"), 1);
  EXPECT_LT(*LevelOfName("_level2147483648"), 0);
  EXPECT_EQ(LevelOfName("_level-1"), -1);
  EXPECT_FALSE(LevelOfName("_leve"));
  EXPECT_FALSE(LevelOfName("level0"));
}

// A new object, or a boxed primitive, has the prototype its class has at the time, whatever it
// is; only Object.prototype, where every chain ends, stays.
TEST_F(ObjectClassTest, ObjectsTakeThePrototypeTheirClassHasNow) {
  Object* global = vm.Global();
  vm.Set(vm.Get(global, "String").AsObject(), "prototype", 8.0);
  for (const Value& made : {New(vm, "String", {vm.Str("hi")}), New(vm, "Object", {vm.Str("hi")})}) {
    ASSERT_TRUE(made.IsObject());
    EXPECT_EQ(made.AsObject()->Proto(), nullptr);
    EXPECT_TRUE(vm.LooseEquals(made, Value()));  // no valueOf to give it a value
  }
  EXPECT_EQ(Text(vm, vm.GetMember(New(vm, "String", {}), "__proto__")), "8");

  Object* object_ctor = vm.Get(global, "Object").AsObject();
  const Value proto = vm.Get(object_ctor, "prototype");
  vm.Set(object_ctor, "prototype", 8.0);
  EXPECT_FALSE(vm.Delete(object_ctor, "prototype"));
  EXPECT_EQ(vm.Get(object_ctor, "prototype").AsObject(), proto.AsObject());
}

// ASnative(101, n) reaches Object.prototype's methods by their index in the player's table.
TEST_F(ObjectClassTest, AsNativeReachesObjectMethodsByIndex) {
  const Value o = New(vm, "Object", {});
  vm.SetMember(o, "a", 1.0);
  const Value has = testing::CallGlobal(vm, "ASnative", {101.0, 5.0});
  const Value a = vm.Str("a"), b = vm.Str("b");
  EXPECT_TRUE(vm.ToBoolean(vm.Call(has, o, std::span<const Value>(&a, 1))));
  EXPECT_FALSE(vm.ToBoolean(vm.Call(has, o, std::span<const Value>(&b, 1))));
  const Value proto = vm.Str("__proto__");  // the prototype link is an own property
  EXPECT_TRUE(vm.ToBoolean(vm.Call(has, o, std::span<const Value>(&proto, 1))));
  EXPECT_TRUE(testing::CallGlobal(vm, "ASnative", {101.0, 99.0}).IsUndefined());
}

// Object.registerClass takes a function, or null/undefined to take a registration back.
TEST_F(ObjectClassTest, RegisterClassTakesOnlyFunctions) {
  const Value object_ctor = vm.GetMember(static_cast<Object*>(vm.Global()), "Object");
  const Value describe = static_cast<Object*>(vm.NewNative(Describe));
  const Value symbol = vm.Str("photo");
  for (const Value& wrong : {Value(12.0), vm.Str("bar"), New(vm, "Object", {})}) {
    EXPECT_FALSE(vm.ToBoolean(Call(object_ctor, "registerClass", {symbol, wrong})));
  }
  EXPECT_TRUE(vm.ToBoolean(Call(object_ctor, "registerClass", {symbol, describe})));
  EXPECT_TRUE(vm.ToBoolean(Call(object_ctor, "registerClass", {symbol, Value::Null()})));
  EXPECT_FALSE(vm.ToBoolean(Call(object_ctor, "registerClass", {symbol})));
}

// Bits 12 and 13 of ASSetPropFlags hide a property from movies before 8 and before 9.
TEST_F(ObjectClassTest, VersionBitsHideFromOlderMovies) {
  const Value o = New(vm, "Object", {});
  vm.SetMember(o, "a", 1.0);
  const Value set_flags = vm.Get(vm.Global(), "ASSetPropFlags");
  auto flags = [&](double set, double clear) {
    vm.Call(set_flags, Value(), std::vector<Value>{o, vm.Str("a"), set, clear});
    return vm.GetMember(o, "a").IsUndefined() ? "hidden" : "shown";
  };
  EXPECT_STREQ(flags(1 << 12, 0), "shown");
  EXPECT_STREQ(flags(1 << 13, 0), "hidden");
  EXPECT_STREQ(flags(0, 1 << 13), "shown");
  // Names come as a comma list or an array; an object that looks like an array names nothing.
  Object* lookalike = vm.NewObject();
  vm.SetMember(lookalike, "length", 1.0);
  vm.SetMember(lookalike, "0", vm.Str("a"));
  vm.Call(set_flags, Value(), std::vector<Value>{o, lookalike, 1 << 13, 0});
  EXPECT_FALSE(vm.GetMember(o, "a").IsUndefined());
  // Object.prototype's methods are reachable by their index in the native table.
  const Value has_own =
      vm.Call(vm.Get(vm.Global(), "ASnative"), Value(), std::vector<Value>{101, 5});
  EXPECT_TRUE(vm.ToBoolean(vm.Call(has_own, o, std::vector<Value>{vm.Str("a")})));
  EXPECT_TRUE(vm.ToBoolean(vm.Call(has_own, o, std::vector<Value>{vm.Str("__proto__")})));
}

// Bit 8 hides a property from version 6 movies and from no others.
TEST(ObjectClassVersions, Bit8HidesFromVersion6Alone) {
  for (const uint8_t version : {5, 6, 7}) {
    TestBridge bridge;
    Vm vm{version, bridge};
    const Value o = New(vm, "Object", {});
    vm.SetMember(o, "a", 1.0);
    vm.Call(vm.Get(vm.Global(), "ASSetPropFlags"), Value(),
            std::vector<Value>{o, vm.Str("a"), 1 << 8, 0});
    EXPECT_EQ(vm.GetMember(o, "a").IsUndefined(), version == 6) << int{version};
  }
}

// The prototype link resists delete until its flags are cleared; then the object has none.
TEST_F(ObjectClassTest, ThePrototypeLinkIsDeletedOnceUnprotected) {
  const Value o = New(vm, "Object", {});
  EXPECT_FALSE(vm.Delete(o.AsObject(), "__proto__"));
  EXPECT_TRUE(vm.GetMember(o, "__proto__").IsObject());
  vm.Call(vm.Get(vm.Global(), "ASSetPropFlags"), Value(),
          std::vector<Value>{o, vm.Str("__proto__"), 0, 7});
  EXPECT_TRUE(vm.Delete(o.AsObject(), "__proto__"));
  EXPECT_TRUE(vm.GetMember(o, "__proto__").IsUndefined());
  EXPECT_TRUE(vm.GetMember(o, "toString").IsUndefined());
  // Object.prototype itself cannot be replaced.
  const Value object_ctor = vm.Get(vm.Global(), "Object");
  vm.SetMember(object_ctor, "prototype", 6.0);
  EXPECT_TRUE(vm.GetMember(object_ctor, "prototype").IsObject());
}

Value TagThis(Vm& vm, const Arguments& a) {
  vm.SetMember(a.self, "tag", a[0]);
  return Value();
}

// Primitives are boxed by the class the globals name at the time, or not at all.
TEST_F(ObjectClassTest, PrimitivesAreBoxedByTheCurrentGlobalClass) {
  Object* global = vm.Global();
  const Value builtin = vm.Get(global, "String");
  const Value text = vm.Str("abc");
  vm.SetMember(global, "String", static_cast<Object*>(vm.NewNative(TagThis)));
  EXPECT_EQ(Text(vm, vm.GetMember(text, "tag")), "abc");
  vm.SetMember(global, "String", 1.0);
  EXPECT_TRUE(vm.GetMember(text, "length").IsUndefined());
  // call's this falls back to the globals when the primitive cannot be boxed.
  const Value self =
      static_cast<Object*>(vm.NewNative([](Vm&, const Arguments& a) { return a.self; }));
  EXPECT_EQ(Call(self, "call", {text}).AsObject(), global);
  vm.SetMember(global, "String", builtin);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(text, "length")), 3);
  EXPECT_EQ(vm.TypeOf(Call(self, "call", {text})), "object");
}

// Built-in classes were made by Function, Object and Function included.
TEST_F(ObjectClassTest, ClassesAreMadeByFunction) {
  Object* function = vm.Get(vm.Global(), "Function").AsObject();
  for (const char* name : {"Object", "Function", "Number", "XMLSocket"}) {
    Object* ctor = vm.Get(vm.Global(), name).AsObject();
    ASSERT_NE(ctor, nullptr) << name;
    EXPECT_TRUE(vm.HasOwn(ctor, "constructor")) << name;
    EXPECT_EQ(vm.Get(ctor, "constructor").AsObject(), function) << name;
  }
}

Value CountingSetter(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  vm.SetUnwatched(self, "sets", vm.ToNumber(vm.Get(self, "sets")) + 1);
  return Value();
}

// Assignments in a version 6 movie see properties as version 7 reads them: a setter hidden by
// bit 8 or by version 7's bit 10 is called, one hidden by version 8's bit 12 is not. An own
// property that the assignment sees keeps its version bit; one it does not see shows again.
// From version 7 an assignment sees what reads see.
TEST(ObjectClassVersions, AssignmentsSeeWhatVersion7Sees) {
  struct Case {
    uint8_t version;
    double bit;
    bool setter_called;
    bool own_stays_hidden;
  };
  const Case cases[] = {{6, 256, true, false},
                        {6, 1024, true, true},
                        {6, 4096, false, false},
                        {8, 8192, false, false}};
  TestBridge bridge;
  for (const Case& c : cases) {
    Vm vm(c.version, bridge);
    const Value set_flags = vm.Get(vm.Global(), "ASSetPropFlags");
    auto hide = [&](const Value& o) {
      vm.Call(set_flags, Value(), std::vector<Value>{o, vm.Str("p"), c.bit});
    };
    const Value proto = New(vm, "Object", {});
    const Value setter = static_cast<Object*>(vm.NewNative(CountingSetter));
    vm.CallMethod(proto, "addProperty", std::vector<Value>{vm.Str("p"), setter, setter});
    hide(proto);
    const Value o = New(vm, "Object", {});
    vm.SetMember(o, "__proto__", proto);
    vm.SetMember(o, "sets", 0.0);
    vm.SetMember(o, "p", 1.0);
    EXPECT_EQ(vm.ToNumber(vm.GetMember(o, "sets")), c.setter_called ? 1 : 0) << c.bit;
    const Value own = New(vm, "Object", {});
    vm.SetMember(own, "p", 1.0);
    hide(own);
    vm.SetMember(own, "p", 2.0);
    EXPECT_EQ(vm.GetMember(own, "p").IsUndefined(), c.own_stays_hidden) << c.bit;
  }
}

// ASSetNative names the entries of a native table from a first index on, enumerable, a leading
// digit hiding a name from older movies; an entry of a table not reachable here is a function
// still. ASSetNativeAccessor takes a getter and a setter a name.
TEST_F(ObjectClassTest, NativeTablesNameTheirEntries) {
  const Value o = New(vm, "Object", {});
  auto global = [&](const char* name, std::vector<Value> args) {
    return vm.Call(vm.Get(vm.Global(), name), Value(), args);
  };
  global("ASSetNative", {o, 101, vm.Str("own,9later"), 5});
  vm.SetMember(o, "x", 1.0);
  EXPECT_TRUE(vm.ToBoolean(Call(o, "own", {vm.Str("x")})));  // hasOwnProperty
  EXPECT_TRUE(vm.GetMember(o, "later").IsUndefined());       // isPrototypeOf, from version 9
  EXPECT_TRUE(o.AsObject()->Properties().Find("later", true) != nullptr);
  global("ASSetNative", {o, 9999, vm.Str("unknown")});
  EXPECT_EQ(vm.TypeOf(vm.GetMember(o, "unknown")), "function");
  EXPECT_EQ(vm.Keys(o.AsObject()), (std::vector<std::string>{"unknown", "x", "later", "own"}));
  // The getter of "least" is Math's entry 1, min, which answers Infinity to no arguments.
  global("ASSetNativeAccessor", {o, 200, vm.Str(",least"), -1});
  EXPECT_EQ(vm.ToNumber(vm.GetMember(o, "least")), INFINITY);
  const Value ctor = global("ASconstructor", {101, 4});
  EXPECT_TRUE(vm.GetMember(ctor, "prototype").IsObject());
  EXPECT_TRUE(global("ASconstructor", {9999, 0}).IsUndefined());
}

// A method that gives `this` a new class and calls super() reaches the new base: it is found as
// many steps up `this`'s chain as the running method's class was. Native bases fill `this` in.
TEST_F(ObjectClassTest, SuperReachesTheBaseThisChainHasAtTheCall) {
  Object* method_class = vm.NewObject();
  Object* self = vm.NewObject(method_class);
  const Value super_value = static_cast<Object*>(vm.heap().Make<SuperObject>(method_class, self));
  auto rebase = [&](const char* native) {
    Value base = vm.Global();
    for (std::string_view rest = native; !rest.empty();) {
      const size_t dot = std::min(rest.find('.'), rest.size());
      base = vm.GetMember(base, rest.substr(0, dot));
      rest.remove_prefix(std::min(dot + 1, rest.size()));
    }
    Object* derived = vm.NewObject(vm.Get(base.AsObject(), "prototype").AsObject());
    vm.SetOwn(derived, "__constructor__", base);
    self->SetProto(derived);
  };
  rebase("TextFormat");
  const Value format_args[] = {vm.Str("Arial"), 12.0};
  EXPECT_TRUE(vm.StrictEquals(vm.Call(super_value, Value(), format_args), self));
  EXPECT_EQ(Text(vm, vm.Get(self, "font")), "Arial");
  EXPECT_EQ(Text(vm, vm.Get(self, "size")), "12");
  EXPECT_TRUE(vm.ToBoolean(Call(self, "hasOwnProperty", {vm.Str("getTextExtent")})));

  rebase("NetConnection");
  EXPECT_TRUE(vm.Call(super_value, Value(), {}).IsUndefined());
  EXPECT_EQ(Text(vm, vm.Get(self, "isConnected")), "false");

  rebase("Sound");
  EXPECT_TRUE(vm.StrictEquals(vm.Call(super_value, Value(), {}), self));
  EXPECT_EQ(Text(vm, Call(self, "getVolume")), "100");

  rebase("flash.filters.BlurFilter");
  const Value blur[] = {10.0, 20.0};
  EXPECT_TRUE(vm.StrictEquals(vm.Call(super_value, Value(), blur), self));
  EXPECT_EQ(Text(vm, vm.GetMember(self, "blurY")), "20");

  rebase("flash.display.BitmapData");
  const Value size[] = {20.0, 30.0};
  EXPECT_TRUE(vm.StrictEquals(vm.Call(super_value, Value(), size), self));
  EXPECT_EQ(Text(vm, vm.GetMember(self, "height")), "30");

  rebase("TextField.StyleSheet");
  EXPECT_TRUE(vm.StrictEquals(vm.Call(super_value, Value(), {}), self));

  rebase("Function");
  const Value name[] = {vm.Str("f")};
  EXPECT_EQ(Text(vm, vm.Call(super_value, Value(), name)), "f");
}

}  // namespace
}  // namespace lumen::avm1
