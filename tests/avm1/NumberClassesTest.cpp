#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::CallGlobal;
using testing::New;
using testing::TestBridge;
using testing::Text;

Value CallMath(Vm& vm, const char* name, std::vector<Value> args) {
  return vm.CallMethod(vm.Get(vm.Global(), "Math"), name, args);
}

int value_of_calls = 0;
Value CountingValueOf(Vm& vm, const Arguments& args) {
  ++value_of_calls;
  return vm.Get(args.self.AsObject(), "v");
}

Value Noisy(Vm& vm, double v) {
  Object* o = vm.NewObject();
  vm.SetOwn(o, "v", v);
  vm.DefineMethod(o, "valueOf", CountingValueOf);
  return o;
}

TEST(NumberClassesMath, ArgumentsAndEdgeCasesPrintAsThePlayerDoes) {
  TestBridge bridge;
  Vm vm(6, bridge);
  const Value u;
  struct Case {
    const char* name;
    std::vector<Value> args;
    const char* expected;
  };
  const Case cases[] = {
      {"abs", {}, "NaN"},
      {"abs", {u}, "0"},  // undefined is 0 before SWF 7
      {"abs", {-3.5}, "3.5"},
      {"sin", {true}, "0.841470984807897"},
      {"cos", {Value::Null()}, "1"},
      {"log", {false}, "-Infinity"},
      {"sqrt", {-1.0}, "NaN"},
      {"round", {12.5}, "13"},
      {"round", {-12.5}, "-12"},
      {"round", {-23.7}, "-24"},
      {"floor", {-12.5}, "-13"},
      {"ceil", {-12.5}, "-12"},
      {"atan2", {2.0}, "NaN"},  // a missing argument is NaN, not undefined
      {"atan2", {2.0, u}, "1.5707963267949"},
      {"pow", {2.0}, "NaN"},
      {"pow", {3.0, 2.0, 1.0}, "9"},
      {"pow", {true}, "1"},
      {"pow", {2.0, 0.5}, "1.41421356237309"},  // one below Math.SQRT2
      {"pow", {2.0, -0.5}, "0.707106781186547"},
      {"pow", {-8.0, 1.0 / 3}, "NaN"},
      {"min", {}, "Infinity"},
      {"max", {}, "-Infinity"},
      {"min", {-1.0}, "NaN"},
      {"min", {3.0, 2.0, 1.0}, "2"},  // only two are compared
      {"max", {1.0, 2.0, 3.0}, "2"},
      {"max", {0.0, vm.ToNumber(vm.Str("x"))}, "NaN"},
      {"min", {2.0, u}, "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(vm, CallMath(vm, c.name, c.args)), c.expected) << c.name;
  }
  Vm vm7(7, bridge);
  EXPECT_EQ(Text(vm7, CallMath(vm7, "abs", {u})), "NaN");
  EXPECT_EQ(Text(vm7, CallMath(vm7, "max", {2.0, u})), "NaN");
}

TEST(NumberClassesMath, ConvertsExactlyTheFirstTwoArguments) {
  TestBridge bridge;
  Vm vm(6, bridge);
  for (const char* name : {"abs", "min", "pow", "random"}) {
    value_of_calls = 0;
    CallMath(vm, name, {Noisy(vm, 3), Noisy(vm, 2), Noisy(vm, 1)});
    EXPECT_EQ(value_of_calls, 2) << name;
  }
  for (int i = 0; i < 100; ++i) {
    const double r = CallMath(vm, "random", {}).AsNumber();
    ASSERT_TRUE(r >= 0 && r < 1) << r;
  }
  Object* math = vm.Get(vm.Global(), "Math").AsObject();
  EXPECT_EQ(Text(vm, vm.Get(math, "SQRT1_2")), "0.707106781186548");
  EXPECT_EQ(Text(vm, vm.Get(math, "LOG2E")), "1.44269504088896");
  EXPECT_TRUE(vm.Keys(math).empty());
}

TEST(NumberClassesNumber, ConvertsWhenCalledAndBoxesWhenConstructed) {
  TestBridge bridge;
  Vm vm(6, bridge);
  EXPECT_EQ(CallGlobal(vm, "Number", {}).AsNumber(), 0);
  EXPECT_EQ(CallGlobal(vm, "Number", {vm.Str("0x10")}).AsNumber(), 16);
  Value boxed = New(vm, "Number", {268.0});
  ASSERT_TRUE(boxed.IsObject());
  EXPECT_EQ(vm.CallMethod(boxed, "valueOf", {}).AsNumber(), 268);
  EXPECT_TRUE(vm.Keys(boxed.AsObject()).empty());
  EXPECT_TRUE(vm.LooseEquals(boxed, 268.0));
  struct Radix {
    double value;
    Value radix;
    const char* expected;
  };
  const Radix radixes[] = {
      {255, 16.0, "ff"}, {6, 2.0, "110"}, {-11, 16.0, "-b"}, {6, -2.0, "6"}, {6, Value(), "6"}};
  for (const Radix& r : radixes) {
    const std::vector<Value> radix{r.radix};
    EXPECT_EQ(Text(vm, vm.CallMethod(r.value, "toString", radix)), r.expected);
    EXPECT_EQ(Text(vm, vm.CallMethod(New(vm, "Number", {r.value}), "toString", radix)), r.expected);
  }
  Object* number = vm.Get(vm.Global(), "Number").AsObject();
  EXPECT_EQ(Text(vm, vm.Get(number, "MAX_VALUE")), "1.79769313486231e+308");
  EXPECT_EQ(Text(vm, vm.Get(number, "MIN_VALUE")), "4.94065645841247e-324");
  // Borrowed by another kind of object, the methods give nothing.
  Value to_string = vm.Get(vm.builtins().number_proto, "toString");
  EXPECT_TRUE(vm.Call(to_string, vm.Str("7"), {}).IsUndefined());
}

Value SaysNo(Vm& vm, const Arguments&) {
  return vm.Str("no");
}

// A String object converts to its own text, for parseInt and parseFloat too; its toString and
// valueOf say "no".
TEST(NumberClassesParse, StringObjectsAreReadByTheirOwnText) {
  TestBridge bridge;
  Vm vm(6, bridge);
  vm.DefineMethod(vm.builtins().string_proto, "toString", SaysNo);
  vm.DefineMethod(vm.builtins().string_proto, "valueOf", SaysNo);
  const Value ten = New(vm, "String", {vm.Str("10.5")});
  EXPECT_EQ(CallGlobal(vm, "parseInt", {ten}).AsNumber(), 10);
  EXPECT_EQ(CallGlobal(vm, "parseFloat", {ten}).AsNumber(), 10.5);
  EXPECT_EQ(Text(vm, ten), "10.5");
  EXPECT_EQ(Text(vm, vm.CallMethod(ten, "toString", {})), "no");
}

// == tells NaNs apart by their bits: the NaN constant equals itself, not the NaN that text
// which is no number converts to, nor the one a native function hands back.
TEST(NumberClassesNumber, TheNaNConstantEqualsOnlyItself) {
  TestBridge bridge;
  Vm vm(7, bridge);
  const Value nan = vm.Get(vm.Global(), "NaN");
  const Value parsed = vm.ToNumber(vm.Str("abc"));
  const Value returned = CallGlobal(vm, "Number", {nan});
  EXPECT_TRUE(vm.LooseEquals(nan, nan));
  EXPECT_TRUE(vm.LooseEquals(nan, vm.GetMember(vm.Get(vm.Global(), "Number"), "NaN")));
  EXPECT_TRUE(vm.LooseEquals(parsed, parsed));
  EXPECT_TRUE(vm.LooseEquals(returned, returned));
  EXPECT_FALSE(vm.LooseEquals(nan, parsed));
  EXPECT_FALSE(vm.LooseEquals(nan, returned));
  EXPECT_FALSE(vm.LooseEquals(parsed, returned));
  EXPECT_FALSE(vm.LooseEquals(vm.Str("NaN"), nan));
}

// Strings order by their characters, but none orders against the empty string.
TEST(NumberClassesNumber, NoStringIsLessOrMoreThanTheEmptyOne) {
  TestBridge bridge;
  Vm vm(8, bridge);
  EXPECT_TRUE(vm.Less(vm.Str("abc"), vm.Str("abcd")).AsBoolean());
  EXPECT_FALSE(vm.Less(vm.Str(""), vm.Str("0")).AsBoolean());
  EXPECT_FALSE(vm.Less(vm.Str("0"), vm.Str("")).AsBoolean());
}

TEST(NumberClassesBoolean, ConvertsBoxesAndPrints) {
  TestBridge bridge;
  Vm vm(6, bridge);
  EXPECT_TRUE(CallGlobal(vm, "Boolean", {}).IsUndefined());
  EXPECT_EQ(CallGlobal(vm, "Boolean", {vm.Str("1")}).AsBoolean(), true);
  Value empty = New(vm, "Boolean", {});
  ASSERT_TRUE(empty.IsObject());
  EXPECT_EQ(Text(vm, empty), "false");
  EXPECT_EQ(vm.CallMethod(New(vm, "Boolean", {1.0}), "valueOf", {}).AsBoolean(), true);
  EXPECT_EQ(Text(vm, vm.CallMethod(false, "toString", {})), "false");
}

TEST(NumberClassesSubclass, SuperCallGivesAScriptSubclassItsValue) {
  TestBridge bridge;
  Vm vm(7, bridge);
  Object* number_instance = vm.NewObject(vm.NewObject(vm.builtins().number_proto));
  CallGlobal(vm, "Number", {});  // a plain call leaves other objects alone
  vm.Call(vm.Get(vm.Global(), "Number"), number_instance, std::vector<Value>{123.4});
  EXPECT_EQ(Text(vm, number_instance), "123.4");
  Object* bool_instance = vm.NewObject(vm.NewObject(vm.builtins().boolean_proto));
  vm.Call(vm.Get(vm.Global(), "Boolean"), bool_instance, std::vector<Value>{true});
  EXPECT_EQ(Text(vm, bool_instance), "true");
  Object* plain = vm.NewObject();
  vm.Call(vm.Get(vm.Global(), "Number"), plain, std::vector<Value>{1.0});
  EXPECT_TRUE(plain->native_class.empty());
}

TEST(NumberClassesError, MessageIsOwnOnlyWhenGiven) {
  TestBridge bridge;
  Vm vm(6, bridge);
  struct Case {
    std::vector<Value> args;
    const char* text;
    bool own_message;
  };
  const Case cases[] = {
      {{}, "Error", false},
      {{Value()}, "Error", false},
      {{Value::Null()}, "null", true},
      {{7.8898}, "7.8898", true},
  };
  for (const Case& c : cases) {
    Value e = New(vm, "Error", c.args);
    ASSERT_TRUE(e.IsObject());
    EXPECT_EQ(Text(vm, vm.CallMethod(e, "toString", {})), c.text);
    EXPECT_EQ(vm.HasOwn(e.AsObject(), "message"), c.own_message) << c.text;
    EXPECT_FALSE(vm.HasOwn(e.AsObject(), "name"));
    EXPECT_EQ(Text(vm, vm.Get(e.AsObject(), "name")), "Error");
  }
  const std::vector<std::string> shown{"name", "message"};
  EXPECT_EQ(vm.Keys(New(vm, "Error", {}).AsObject()), shown);  // unlike other built-ins
  Object* with_object = New(vm, "Error", {vm.NewObject()}).AsObject();
  EXPECT_TRUE(vm.CallMethod(with_object, "toString", {}).IsObject());
  EXPECT_TRUE(CallGlobal(vm, "Error", {vm.Str("x")}).IsUndefined());
  Object* sub = vm.NewObject(vm.NewObject(vm.builtins().error_proto));
  vm.Call(vm.Get(vm.Global(), "Error"), sub, std::vector<Value>{vm.Str("boom")});
  EXPECT_EQ(Text(vm, sub), "boom");
}

}  // namespace
}  // namespace lumen::avm1
