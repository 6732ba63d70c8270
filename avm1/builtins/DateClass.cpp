// Date: an object holding its time value (UTC milliseconds, NaN when invalid) in `primitive`.
// The calendar arithmetic is DateMath's; this file reads the arguments the way the player does
// (numbers, in order, up to the first undefined one after the first) and picks the zone.

#include "avm1/builtins/DateClass.h"

#include <array>
#include <chrono>
#include <cmath>
#include <optional>

#include "avm1/Builtins.h"
#include "avm1/DateMath.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

namespace {

constexpr int kMaxChain = 256;
constexpr size_t kMaxDateArgs = 7;  // year, month, date, hours, minutes, seconds, ms

const TimeZone* zone_for_tests = nullptr;

const TimeZone& Zone() {
  static const SystemZone system;
  return zone_for_tests != nullptr ? *zone_for_tests : system;
}

double NowUtcMs() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<double>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

struct NumberList {
  std::array<double, kMaxDateArgs> values{};
  size_t count = 0;
  DateArgs span() const { return DateArgs(values.data(), count); }
};

NumberList ReadArgs(Vm& vm, const Arguments& args, size_t limit) {
  NumberList list;
  for (size_t i = 0; i < args.size() && i < limit; ++i) {
    if (i > 0 && args[i].IsUndefined()) break;
    list.values[i] = vm.ToNumber(args[i]);
    list.count = i + 1;
  }
  return list;
}

Object* DateOf(const Value& self) {
  Object* o = self.AsObject();
  return o != nullptr && o->native_class == "Date" && o->primitive.IsNumber() ? o : nullptr;
}

Value SetTimeValue(Object* date, double t) {
  date->primitive = t;
  return t;
}

Value InitDate(Vm& vm, Object* date, const Arguments& args) {
  date->native_class = "Date";
  const NumberList list = ReadArgs(vm, args, kMaxDateArgs);
  const double now = list.count == 0 ? NowUtcMs() : 0;
  date->primitive = DateFromArguments(list.span(), now, Zone());
  return date;
}

// A fresh instance of a script subclass, before `super(...)` reaches the native base.
bool IsBlankInstance(Vm& vm, const Value& self) {
  Object* o = self.AsObject();
  if (o == nullptr || !o->native_class.empty()) return false;
  Object* proto = vm.builtins().date_proto;
  int steps = 0;
  for (Object* p = o->Proto(); p != nullptr && steps < kMaxChain; p = p->Proto(), ++steps) {
    if (p == proto) return true;
  }
  return false;
}

Value DateCall(Vm& vm, const Arguments& args) {
  if (IsBlankInstance(vm, args.self)) return InitDate(vm, args.self.AsObject(), args);
  return vm.Str(FormatDate(NowUtcMs(), Zone()));
}

Value DateConstruct(Vm& vm, const Arguments& args) {
  Object* proto = args.self.AsObject();
  return InitDate(vm, vm.NewObject(proto != nullptr ? proto : vm.builtins().date_proto), args);
}

Value DateUtcStatic(Vm& vm, const Arguments& args) {
  const std::optional<double> t = DateUTC(ReadArgs(vm, args, kMaxDateArgs).span());
  return t ? Value(*t) : Value();
}

template <double DateFields::*kField, bool kUtc>
Value GetField(Vm&, const Arguments& args) {
  const Object* date = DateOf(args.self);
  if (date == nullptr) return Value();
  const double t = date->primitive.AsNumber();
  return SplitTime(kUtc ? t : LocalTime(t, Zone())).*kField;
}

template <bool kUtc>
Value GetYear(Vm& vm, const Arguments& args) {
  const Value year = GetField<&DateFields::year, kUtc>(vm, args);
  return year.IsNumber() ? Value(year.AsNumber() - 1900) : year;
}

Value GetTime(Vm&, const Arguments& args) {
  const Object* date = DateOf(args.self);
  return date != nullptr ? date->primitive : Value();
}

Value GetTimezoneOffset(Vm&, const Arguments& args) {
  const Object* date = DateOf(args.self);
  if (date == nullptr) return Value();
  return TimezoneOffsetMinutes(date->primitive.AsNumber(), Zone());
}

// How many arguments each setter reads at most.
constexpr size_t SetterArity(DateSetter setter) {
  switch (setter) {
    case DateSetter::kHours:
      return 4;
    case DateSetter::kFullYear:
    case DateSetter::kYear:
    case DateSetter::kMinutes:
      return 3;
    case DateSetter::kMonth:
    case DateSetter::kSeconds:
      return 2;
    case DateSetter::kDate:
    case DateSetter::kMilliseconds:
      return 1;
  }
  return 1;
}

template <DateSetter kSetter, bool kUtc>
Value SetField(Vm& vm, const Arguments& args) {
  Object* date = DateOf(args.self);
  if (date == nullptr) return Value();
  const NumberList list = ReadArgs(vm, args, SetterArity(kSetter));
  return SetTimeValue(date,
                      ApplySetter(date->primitive.AsNumber(), kSetter, kUtc, list.span(), Zone()));
}

Value SetTime(Vm& vm, const Arguments& args) {
  Object* date = DateOf(args.self);
  if (date == nullptr) return Value();
  return SetTimeValue(date, TimeClip(args.size() > 0 ? vm.ToNumber(args[0]) : NAN));
}

Value DateToString(Vm& vm, const Arguments& args) {
  const Object* date = DateOf(args.self);
  if (date == nullptr) return Value();
  return vm.Str(FormatDate(date->primitive.AsNumber(), Zone()));
}

struct Method {
  const char* name;
  NativeFunction fn;
};

// In the player's order, which for..in shows newest first.
constexpr Method kMethods[] = {
    {"getFullYear", GetField<&DateFields::year, false>},
    {"getYear", GetYear<false>},
    {"getMonth", GetField<&DateFields::month, false>},
    {"getDate", GetField<&DateFields::date, false>},
    {"getDay", GetField<&DateFields::weekday, false>},
    {"getHours", GetField<&DateFields::hours, false>},
    {"getMinutes", GetField<&DateFields::minutes, false>},
    {"getSeconds", GetField<&DateFields::seconds, false>},
    {"getMilliseconds", GetField<&DateFields::ms, false>},
    {"setFullYear", SetField<DateSetter::kFullYear, false>},
    {"setMonth", SetField<DateSetter::kMonth, false>},
    {"setDate", SetField<DateSetter::kDate, false>},
    {"setHours", SetField<DateSetter::kHours, false>},
    {"setMinutes", SetField<DateSetter::kMinutes, false>},
    {"setSeconds", SetField<DateSetter::kSeconds, false>},
    {"setMilliseconds", SetField<DateSetter::kMilliseconds, false>},
    {"getTime", GetTime},
    {"setTime", SetTime},
    {"getTimezoneOffset", GetTimezoneOffset},
    {"toString", DateToString},
    {"setYear", SetField<DateSetter::kYear, false>},
    {"getUTCFullYear", GetField<&DateFields::year, true>},
    {"getUTCYear", GetYear<true>},
    {"getUTCMonth", GetField<&DateFields::month, true>},
    {"getUTCDate", GetField<&DateFields::date, true>},
    {"getUTCDay", GetField<&DateFields::weekday, true>},
    {"getUTCHours", GetField<&DateFields::hours, true>},
    {"getUTCMinutes", GetField<&DateFields::minutes, true>},
    {"getUTCSeconds", GetField<&DateFields::seconds, true>},
    {"getUTCMilliseconds", GetField<&DateFields::ms, true>},
    {"setUTCFullYear", SetField<DateSetter::kFullYear, true>},
    {"setUTCMonth", SetField<DateSetter::kMonth, true>},
    {"setUTCDate", SetField<DateSetter::kDate, true>},
    {"setUTCHours", SetField<DateSetter::kHours, true>},
    {"setUTCMinutes", SetField<DateSetter::kMinutes, true>},
    {"setUTCSeconds", SetField<DateSetter::kSeconds, true>},
    {"setUTCMilliseconds", SetField<DateSetter::kMilliseconds, true>},
    {"valueOf", GetTime},
};

}  // namespace

void SetDateZoneForTests(const TimeZone* zone) {
  zone_for_tests = zone;
}

void InstallDateClass(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().date_proto = proto;
  FunctionObject* date = vm.NewClass(proto, DateCall, DateConstruct);
  for (const Method& m : kMethods) vm.DefineMethod(proto, m.name, m.fn);
  vm.DefineMethod(date, "UTC", DateUtcStatic, kDontEnum | kReadOnly);
  vm.DefineValue(vm.Global(), "Date", static_cast<Object*>(date));
}

}  // namespace lumen::avm1
