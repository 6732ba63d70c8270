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

class ArrayClassTest : public ::testing::Test {
 protected:
  Value Array(std::vector<Value> items) { return New(vm, "Array", items); }
  Value Letters(std::string_view letters) {
    std::vector<Value> items;
    for (char c : letters) items.push_back(vm.Str(std::string(1, c)));
    return Array(items);
  }
  Value Call(const Value& target, const char* method, std::vector<Value> args = {}) {
    return vm.CallMethod(target, method, args);
  }
  std::string Join(const Value& v) { return Text(vm, v); }
  double Length(const Value& v) { return vm.ToNumber(vm.GetMember(v, "length")); }
  Value S(const char* s) { return vm.Str(s); }

  TestBridge bridge;
  Vm vm{8, bridge};
};

TEST_F(ArrayClassTest, ConstructorTakesALengthOrTheElements) {
  EXPECT_EQ(Join(Array({3.0})), "undefined,undefined,undefined");
  EXPECT_EQ(Join(Array({S("3")})), "3");
  EXPECT_EQ(Join(Array({1.0, S("b"), Value::Null()})), "1,b,null");
  EXPECT_EQ(Length(Array({-1.0})), 0);
  const Value called = testing::CallGlobal(vm, "Array", {1.0, 2.0});
  EXPECT_EQ(Join(called), "1,2");
  Object* ctor = vm.Get(vm.Global(), "Array").AsObject();
  EXPECT_EQ(vm.ToNumber(vm.Get(ctor, "RETURNINDEXEDARRAY")), 8);
  EXPECT_EQ(vm.ToNumber(vm.Get(ctor, "NUMERIC")), 16);
}

// Indices a length or a far index only made room for are not listed; setting one lists it.
TEST_F(ArrayClassTest, EnumerationSkipsIndicesNeverSet) {
  using Keys = std::vector<std::string>;
  const Value sized = Array({3.0});
  EXPECT_TRUE(vm.Keys(sized.AsObject()).empty());
  vm.SetMember(sized, "1", S("x"));
  EXPECT_EQ(vm.Keys(sized.AsObject()), Keys{"1"});
  const Value far = Array({});
  vm.SetMember(far, "4", 1.0);
  vm.SetMember(far, "length", 6.0);
  vm.SetMember(far, "2", 1.0);
  EXPECT_EQ(vm.Keys(far.AsObject()), (Keys{"4", "2"}));
  Call(far, "reverse");  // a method that rewrites the elements sets them all
  EXPECT_EQ(vm.Keys(far.AsObject()).size(), 6u);
}

// Expected values from the reference player's trace of these calls on ["a".."e"].
TEST_F(ArrayClassTest, SpliceInAllItsForms) {
  struct Case {
    std::vector<Value> args;
    const char* left;
    const char* removed;
  };
  const Case cases[] = {
      {{}, "a,b,c,d,e", "undefined"},
      {{Value()}, "a,b,c,d,e", "undefined"},
      {{0.0}, "", "a,b,c,d,e"},
      {{Value::Null()}, "", "a,b,c,d,e"},
      {{2.0}, "a,b", "c,d,e"},
      {{6.0}, "a,b,c,d,e", ""},
      {{2.0, 2.0}, "a,b,e", "c,d"},
      {{2.0, Value()}, "a,b,c,d,e", "undefined"},
      {{2.0, 8.0}, "a,b", "c,d,e"},
      {{1.0, 3.0, S("deleted")}, "a,deleted,e", "b,c,d"},
      {{1.0, 2.0, S("x"), S("y"), S("z")}, "a,x,y,z,d,e", "b,c"},
      {{2.0, -2.0}, "a,b,c,d,e", "undefined"},
      {{-2.0, 1.0}, "a,b,c,e", "d"},
      {{-9.0, 0.0, S("c")}, "c,a,b,c,d,e", ""},
  };
  for (const Case& c : cases) {
    const Value array = Letters("abcde");
    EXPECT_EQ(Join(Call(array, "splice", c.args)), c.removed) << c.left;
    EXPECT_EQ(Join(array), c.left);
  }
  const Value array = Letters("ab");
  Call(array, "splice", {0.0, 0.0, S("w"), Letters("xy")});
  EXPECT_EQ(Length(array), 4);  // an inserted array stays one element
}

TEST_F(ArrayClassTest, AddingRemovingAndCopying) {
  const Value a = Letters("abc");
  EXPECT_EQ(vm.ToNumber(Call(a, "push", {S("d"), S("e")})), 5);
  EXPECT_EQ(Text(vm, Call(a, "pop")), "e");
  EXPECT_EQ(Text(vm, Call(a, "shift")), "a");
  EXPECT_EQ(vm.ToNumber(Call(a, "unshift", {1.0, 2.0})), 5);
  EXPECT_EQ(Join(a), "1,2,b,c,d");
  EXPECT_EQ(Join(Call(a, "slice", {1.0, -1.0})), "2,b,c");
  EXPECT_EQ(Join(Call(a, "slice", {-2.0})), "c,d");
  EXPECT_EQ(Join(Call(a, "slice", {3.0, 1.0})), "");
  EXPECT_EQ(Text(vm, Call(a, "join", {S(" - ")})), "1 - 2 - b - c - d");
  EXPECT_EQ(Text(vm, Call(a, "join")), "1,2,b,c,d");
  Call(a, "reverse");
  EXPECT_EQ(Join(a), "d,c,b,2,1");
  EXPECT_TRUE(Call(Array({}), "pop").IsUndefined());

  const Value nested = Array({3.0, Array({4.0, 5.0})});
  const Value joined = Call(Array({S("1")}), "concat", {2.0, nested, S("x")});
  EXPECT_EQ(Length(joined), 5);  // one level is flattened
  EXPECT_EQ(Join(joined), "1,2,3,4,5,x");
}

TEST_F(ArrayClassTest, SortFlags) {
  struct Case {
    std::vector<Value> items;
    double flags;
    const char* sorted;
  };
  const Case cases[] = {
      {{S("b"), S("a"), S("C"), S("B")}, 0, "B,C,a,b"},
      {{S("b"), S("a"), S("C"), S("B")}, 1, "a,b,B,C"},
      {{S("b"), S("a"), S("C"), S("B")}, 2, "b,a,C,B"},
      {{S("b"), S("a"), S("C"), S("B")}, 3, "C,b,B,a"},
      {{10.0, 9.0, 100.0, -1.0}, 0, "-1,10,100,9"},
      {{10.0, 9.0, 100.0, -1.0}, 16, "-1,9,10,100"},
      {{10.0, 9.0, 100.0, -1.0}, 18, "100,10,9,-1"},
      {{S("b"), S("a"), S("c")}, 8, "1,0,2"},
      {{S("b"), S("a"), S("c")}, 4, "a,b,c"},
  };
  for (const Case& c : cases) {
    const Value array = Array(c.items);
    const Value result = Call(array, "sort", {c.flags});
    EXPECT_EQ(Join(result), c.sorted) << c.flags;
  }
  const Value ties = Array({S("b"), S("a"), S("b")});
  EXPECT_EQ(vm.ToNumber(Call(ties, "sort", {4.0})), 0);
  EXPECT_EQ(Join(ties), "b,a,b");  // left alone
  const Value indexed = Letters("cab");
  Call(indexed, "sort", {8.0});
  EXPECT_EQ(Join(indexed), "c,a,b");
}

Value ByNumberDescending(Vm& vm, const Arguments& args) {
  return vm.ToNumber(args[1]) - vm.ToNumber(args[0]);
}

TEST_F(ArrayClassTest, SortWithACompareFunction) {
  const Value compare = static_cast<Object*>(vm.NewNative(ByNumberDescending));
  const Value array = Array({2.0, 10.0, 1.0, 10.0});
  EXPECT_EQ(Join(Call(array, "sort", {compare})), "10,10,2,1");
  EXPECT_EQ(Join(Call(array, "sort", {compare, 2.0})), "1,2,10,10");
  EXPECT_EQ(vm.ToNumber(Call(array, "sort", {compare, 4.0})), 0);
}

TEST_F(ArrayClassTest, SortOnFieldsWithTheirOwnFlags) {
  auto record = [&](const char* name, double age) {
    Object* o = vm.NewObject();
    vm.Set(o, "name", S(name));
    vm.Set(o, "age", age);
    return Value(o);
  };
  const Value people = Array({record("bob", 30), record("Al", 4), record("al", 30)});
  auto names = [&](const Value& list) {
    std::string out;
    for (const Value& v : static_cast<ArrayObject*>(list.AsObject())->elements) {
      out += Text(vm, vm.GetMember(v, "name")) + " ";
    }
    return out;
  };
  Call(people, "sortOn", {S("name")});
  EXPECT_EQ(names(people), "Al al bob ");
  Call(people, "sortOn", {S("age"), 16.0});
  EXPECT_EQ(names(people), "Al al bob ");
  Call(people, "sortOn", {Array({S("age"), S("name")}), Array({18.0, 0.0})});
  EXPECT_EQ(names(people), "al bob Al ");
  EXPECT_EQ(Join(Call(people, "sortOn", {S("name"), 8.0 + 1.0 + 2.0})), "1,0,2");
}

TEST_F(ArrayClassTest, MethodsWorkOnOtherObjects) {
  // As in the reference: inherited and computed elements read as undefined.
  Object* base = Letters("abc").AsObject();
  Object* like = vm.NewObject();
  vm.Set(like, "length", 3.0);
  vm.Set(like, "1", S("own"));
  like->SetProto(base);
  EXPECT_EQ(Text(vm, vm.CallMethod(like, "toString", {})), "undefined,own,undefined");
  EXPECT_EQ(Text(vm, vm.Get(like, "0")), "a");

  Object* plain = vm.NewObject(vm.builtins().array_proto);
  EXPECT_EQ(vm.ToNumber(vm.CallMethod(plain, "push", std::vector<Value>{S("x"), S("y")})), 2);
  EXPECT_EQ(Text(vm, vm.CallMethod(plain, "shift", {})), "x");
  EXPECT_EQ(vm.ToNumber(vm.Get(plain, "length")), 1);
  EXPECT_EQ(Text(vm, vm.Get(plain, "0")), "y");
  EXPECT_FALSE(vm.HasOwn(plain, "1"));
}

}  // namespace
}  // namespace lumen::avm1
