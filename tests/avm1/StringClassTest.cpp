#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

class StringClassTest : public ::testing::Test {
 protected:
  Value S(const char* s) { return vm.Str(s); }
  std::string Call(const char* self, const char* method, std::vector<Value> args = {}) {
    return Text(vm, vm.CallMethod(S(self), method, args));
  }
  // Splits and reports the length and the joined elements, as the reference traces show them.
  std::string Split(Vm& on, const char* self, std::vector<Value> args) {
    const Value list = on.CallMethod(on.Str(self), "split", args);
    return Text(on, on.GetMember(list, "length")) + ":" + Text(on, list);
  }

  TestBridge bridge;
  Vm vm{8, bridge};
};

// Expected values from the reference player's traces of the same calls.
TEST_F(StringClassTest, IndexedMethodsCountUtf16UnitsAndWrapIndices) {
  const Value u = Value();
  const Value null = Value::Null();
  struct Case {
    const char* self;
    const char* method;
    std::vector<Value> args;
    const char* expected;
  };
  const Case cases[] = {
      {"foo\U0001F60Bfoo", "charAt", {5.0}, "f"},
      {"foo\U0001F60Bfoo", "charAt", {-100.0}, ""},
      {"foo\U0001F60Bfoo", "charAt", {4294967297.0}, "o"},
      {"foo\U0001F60Bfoo", "charCodeAt", {3.0}, "55357"},
      {"foo\U0001F60Bfoo", "charCodeAt", {9.0}, "NaN"},
      {"foo\U0001F60Bfoo", "charCodeAt", {}, "102"},
      {"\u65E5\U0001F60B", "charCodeAt", {1.0}, "55357"},
      {"\u65E5\U0001F60B", "charCodeAt", {2.0}, "56843"},
      {"\u65E5\U0001F60B", "charCodeAt", {3.0}, "NaN"},
      {"aaatestFOOtestaaanull", "indexOf", {S("a"), 13.0}, "14"},
      {"aaatestFOOtestaaanull", "indexOf", {S("test"), -1.0}, "3"},
      {"aaatestFOOtestaaanull", "indexOf", {S("test"), 4294967300.0}, "10"},
      {"aaatestFOOtestaaanull", "indexOf", {S(""), 100.0}, "-1"},
      {"aaatestFOOtestaaanull", "indexOf", {null}, "17"},
      {"aaatestFOOtestaaanull", "indexOf", {u}, "-1"},
      {"aaatestFOOtestaaanull", "indexOf", {}, "undefined"},
      {"aaatestFOOtestaaanull", "lastIndexOf", {S("a"), 13.0}, "2"},
      {"aaatestFOOtestaaanull", "lastIndexOf", {S("test"), -1.0}, "-1"},
      {"aaatestFOOtestaaanull", "lastIndexOf", {S("test"), 4294967300.0}, "3"},
      {"aaatestFOOtestaaanull", "lastIndexOf", {S("test"), u}, "10"},
      {"aaatestFOOtestaaanull", "lastIndexOf", {S("")}, "21"},
      {"Hello1234", "slice", {-3.0, -1.0}, "23"},
      {"Hello1234", "slice", {4294967296.0, 4294967298.0}, "He"},
      {"Hello1234", "slice", {null, null}, ""},
      {"Hello1234", "slice", {u, u}, "Hello1234"},
      {"Hello1234", "slice", {}, "undefined"},
      {"HELLO\U0001D504hello", "substr", {-5.0}, "hello"},
      {"HELLO\U0001D504hello", "substr", {3.0, null}, ""},
      {"HELLO\U0001D504hello", "substr", {3.0, u}, "LO\U0001D504hello"},
      {"HELLO\U0001D504hello", "substr", {4294967296.0, -4294967294.0}, "HE"},
      {"HELLO\U0001D504hello", "substring", {-5.0}, "HELLO\U0001D504hello"},
      {"HELLO\U0001D504hello", "substring", {3.0, null}, "HEL"},
      {"HELLO\U0001D504hello", "substring", {null, 4.0}, "HELL"},
      {"HELLO\U0001D504hello", "substring", {}, "undefined"},
      {"foo", "concat", {null, S("foo"), u, 0.0, true}, "foonullfooundefined0true"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Call(c.self, c.method, c.args), c.expected) << c.self << "." << c.method;
  }
}

TEST_F(StringClassTest, SplitDependsOnSeparatorLimitAndVersion) {
  const Value u = Value();
  struct Case {
    const char* self;
    std::vector<Value> args;
    const char* expected;
  };
  const Case cases[] = {
      {"A,,b,undefined0,c,", {S(",")}, "6:A,,b,undefined0,c,"},
      {"A,,b,undefined0,c,", {S(","), 2.0}, "2:A,"},
      {"A,,b,undefined0,c,", {S(","), -100.0}, "0:"},
      {"A,,b,undefined0,c,", {S(","), Value::Null()}, "0:"},
      {"A,,b,undefined0,c,", {u, 0.0}, "1:A,,b,undefined0,c,"},
      {"abc", {S("")}, "3:a,b,c"},
      {"aa", {S(""), -1.0}, "0:"},
      {"hh", {S("h")}, "3:,,"},
      {"", {S("")}, "0:"},
      {"", {S("x"), 0.0}, "1:"},
      {"walla", {S("la")}, "2:wal,"},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(vm, c.self, c.args), c.expected) << c.self;

  Vm swf5(5, bridge);
  EXPECT_EQ(Split(swf5, "wallawalla", {swf5.Str("la")}), "1:wallawalla");
  EXPECT_EQ(Split(swf5, "abc", {swf5.Str("")}), "1:abc");
  EXPECT_EQ(Split(swf5, "a,b", {swf5.Str(",")}), "2:a,b");
  EXPECT_EQ(Split(swf5, "", {swf5.Str("x"), 0.0}), "0:");
  EXPECT_EQ(Split(swf5, "aa", {swf5.Str(""), 0.0}), "1:aa");
  EXPECT_EQ(Split(swf5, "aa", {u, 0.0}), "0:");
  EXPECT_EQ(Split(swf5, "aa", {swf5.Str("a"), u}), "3:,,");
}

TEST_F(StringClassTest, CaseMappingFollowsThePlayersTable) {
  EXPECT_EQ(Call("teST\U0001F60B", "toLowerCase"), "test\U0001F60B");
  EXPECT_EQ(Call("teST\U0001F60B", "toUpperCase"), "TEST\U0001F60B");
  EXPECT_EQ(Call("\u0130\u01C5\u03A3\u10A0\u2C00", "toLowerCase"), "i\u01C6\u03C3\u10D0\u2C00");
  EXPECT_EQ(Call("\u00FF\u0131\u00B5\u03C2\u1F80\u10D0", "toUpperCase"),
            "\u0178I\u00B5\u03A2\u1F88\u10D0");
}

TEST_F(StringClassTest, FromCharCodeWrapsUnitsAndStopsAtZero) {
  auto from = [&](std::vector<Value> codes) {
    return Text(vm, vm.CallMethod(vm.Get(vm.Global(), "String"), "fromCharCode", codes));
  };
  EXPECT_EQ(from({80.0, 81.0, 82.0}), "PQR");
  EXPECT_EQ(from({65616.0, -65456.0}), "PP");
  EXPECT_EQ(from({80.0, 0.0, 82.0}), "P");
  EXPECT_EQ(from({S("BAD")}), "");
}

TEST_F(StringClassTest, ConstructorBoxesAndCallConverts) {
  const Value boxed = New(vm, "String", {S("w\u00E4lla")});
  ASSERT_TRUE(boxed.IsObject());
  EXPECT_EQ(boxed.AsObject()->native_class, "String");
  EXPECT_TRUE(vm.HasOwn(boxed.AsObject(), "length"));
  EXPECT_EQ(vm.ToNumber(vm.GetMember(boxed, "length")), 5);
  EXPECT_EQ(Text(vm, vm.CallMethod(boxed, "charAt", std::vector<Value>{1.0})), "\u00E4");
  EXPECT_TRUE(vm.CallMethod(boxed, "valueOf", {}).IsString());
  EXPECT_TRUE(vm.InstanceOf(boxed, vm.Get(vm.Global(), "String").AsObject()));

  const Value converted = testing::CallGlobal(vm, "String", {12.5});
  ASSERT_TRUE(converted.IsString());
  EXPECT_EQ(converted.AsString(), "12.5");
  EXPECT_EQ(Text(vm, testing::CallGlobal(vm, "String", {})), "");

  // Borrowed by another object, the methods work on its text.
  Object* other = vm.NewObject();
  vm.Set(other, "substr", vm.Get(vm.builtins().string_proto, "substr"));
  EXPECT_EQ(Text(vm, vm.CallMethod(other, "substr", std::vector<Value>{0.0, 2.0})), "[o");
  // valueOf gives a borrower's text too, except to String.prototype, whose text it makes.
  vm.Set(other, "vo", vm.Get(vm.builtins().string_proto, "valueOf"));
  EXPECT_EQ(Text(vm, vm.CallMethod(other, "vo", {})), "[object Object]");
  const Value proto = vm.builtins().string_proto;
  EXPECT_TRUE(vm.CallMethod(proto, "valueOf", {}).IsObject());
}

}  // namespace
}  // namespace lumen::avm1
