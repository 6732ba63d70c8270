#include "avm1/builtins/DateClass.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

#include "avm1/DateMath.h"
#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

const FixedOffsetZone kNepal(345);
const UtcZone kUtc;
constexpr double k2000 = 946684800000;  // 2000-01-01 00:00 UTC

class DateClassTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDateZoneForTests(&kNepal); }
  void TearDown() override { SetDateZoneForTests(nullptr); }
  double Time(const Value& date) { return vm.CallMethod(date, "getTime", {}).AsNumber(); }
  double Call(const Value& date, const char* method, std::vector<Value> args = {}) {
    return vm.ToNumber(vm.CallMethod(date, method, args));
  }

  TestBridge bridge;
  Vm vm{7, bridge};
};

TEST_F(DateClassTest, ConstructorReadsLocalFieldsUpToTheFirstUndefined) {
  const double nepal_ms = 345 * kMsPerMinute;
  struct Case {
    std::vector<Value> args;
    double expected;
  };
  const Case cases[] = {
      {{123456.0}, 123456},
      {{2000.0, 0.0}, k2000 - nepal_ms},
      {{0.0, 0.0}, k2000 - nepal_ms - 36524 * kMsPerDay},  // years 0-99 are 1900s
      {{99.0, 12.0}, k2000 - nepal_ms},
      {{2000.0, 0.0, 2.0, 3.0}, k2000 - nepal_ms + kMsPerDay + 3 * kMsPerHour},
      {{2000.0, 0.0, Value(), 3.0}, k2000 - nepal_ms},
  };
  for (const Case& c : cases) {
    Value date = New(vm, "Date", c.args);
    ASSERT_TRUE(date.IsObject());
    EXPECT_EQ(Time(date), c.expected) << c.args.size();
  }
  const auto clock_ms = [] {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count());
  };
  const double before = clock_ms();
  const double now = Time(New(vm, "Date", {}));
  EXPECT_LE(before, now);
  EXPECT_LE(now, clock_ms());
}

TEST_F(DateClassTest, GettersSplitLocalAndUtcTime) {
  Value date = New(vm, "Date", {k2000 + 90061001.0});  // Jan 2 2000 01:01:01.001 UTC
  struct Case {
    const char* getter;
    double expected;
  };
  const Case cases[] = {
      {"getFullYear", 2000},
      {"getYear", 100},
      {"getMonth", 0},
      {"getDate", 2},
      {"getDay", 0},
      {"getHours", 6},
      {"getMinutes", 46},
      {"getSeconds", 1},
      {"getMilliseconds", 1},
      {"getUTCHours", 1},
      {"getUTCMinutes", 1},
      {"getUTCDay", 0},
      {"getTimezoneOffset", -345},
      {"valueOf", k2000 + 90061001.0},
  };
  for (const Case& c : cases) EXPECT_EQ(Call(date, c.getter), c.expected) << c.getter;
  EXPECT_EQ(Text(vm, date), "Sun Jan 2 06:46:01 GMT+0545 2000");
  Value invalid = New(vm, "Date", {vm.Str("soon")});
  EXPECT_EQ(Text(vm, invalid), "Invalid Date");
  EXPECT_TRUE(std::isnan(Call(invalid, "getHours")));
  // Date methods borrowed by another object give nothing.
  Object* other = vm.NewObject();
  vm.SetOwn(other, "getTime", vm.Get(vm.builtins().date_proto, "getTime"));
  EXPECT_TRUE(vm.CallMethod(other, "getTime", {}).IsUndefined());
}

TEST_F(DateClassTest, SettersChangeTheTimeAndReturnIt) {
  SetDateZoneForTests(&kUtc);
  struct Case {
    const char* setter;
    std::vector<Value> args;
    double expected;
  };
  const Case cases[] = {
      {"setHours", {5.0, 30.0}, k2000 + 5 * kMsPerHour + 30 * kMsPerMinute},
      {"setHours", {5.0, Value(), 30.0}, k2000 + 5 * kMsPerHour},
      {"setUTCMinutes", {2.0}, k2000 + 2 * kMsPerMinute},
      {"setMonth", {1.0, 3.0}, k2000 + 33 * kMsPerDay},
      {"setYear", {99.0}, k2000 - 365 * kMsPerDay},
      {"setUTCFullYear", {2001.0}, k2000 + 366 * kMsPerDay},
      {"setMilliseconds", {}, NAN},
      {"setTime", {5.0}, 5},
      {"setTime", {9e15}, NAN},
  };
  for (const Case& c : cases) {
    Value date = New(vm, "Date", {k2000});
    const double returned = Call(date, c.setter, c.args);
    if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(returned) && std::isnan(Time(date))) << c.setter;
    } else {
      EXPECT_EQ(returned, c.expected) << c.setter;
      EXPECT_EQ(Time(date), c.expected) << c.setter;
    }
  }
}

TEST_F(DateClassTest, UtcNeedsTwoArgumentsAndSubclassesGetATime) {
  Value date_ctor = vm.Get(vm.Global(), "Date");
  EXPECT_EQ(vm.CallMethod(date_ctor, "UTC", std::vector<Value>{2000.0, 0.0}).AsNumber(), k2000);
  EXPECT_TRUE(vm.CallMethod(date_ctor, "UTC", std::vector<Value>{2000.0}).IsUndefined());
  Object* sub = vm.NewObject(vm.NewObject(vm.builtins().date_proto));
  vm.Call(date_ctor, sub, std::vector<Value>{123456.0});
  EXPECT_EQ(Time(sub), 123456);
  EXPECT_EQ(Text(vm, sub), "Thu Jan 1 05:47:03 GMT+0545 1970");
}

}  // namespace
}  // namespace lumen::avm1
