#include <gtest/gtest.h>

#include <vector>

#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

// A watch callback that stores "name:old>new" and, for "echo", assigns its own name again: that
// inner assignment must be stored as it is, not watched once more.
Value Describe(Vm& vm, const Arguments& a) {
  const std::string text = Text(vm, a[0]) + ":" + Text(vm, a[1]) + ">" + Text(vm, a[2]);
  if (Text(vm, a[0]) == "echo") vm.Set(a.self.AsObject(), "echo", vm.Str("inner"));
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

  EXPECT_TRUE(vm.ToBoolean(Call(o, "watch", {vm.Str("echo"), describe})));
  vm.SetMember(o, "echo", vm.Str("outer"));
  EXPECT_EQ(Text(vm, vm.GetMember(o, "echo")), "echo:undefined>outer");

  EXPECT_TRUE(vm.ToBoolean(Call(o, "unwatch", {vm.Str("x")})));
  EXPECT_FALSE(vm.ToBoolean(Call(o, "unwatch", {vm.Str("x")})));
  vm.SetMember(o, "x", 3.0);
  EXPECT_EQ(Text(vm, vm.GetMember(o, "x")), "3");
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

}  // namespace
}  // namespace lumen::avm1
