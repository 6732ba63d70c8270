// The global functions: number parsing, escaping, the clock and the timers, and the access to
// the player's native tables (ASnative and the functions built on it).

#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "avm1/builtins/FilterClasses.h"

namespace lumen::avm1 {

namespace {

Value GlobalParseInt(Vm& vm, const Arguments& args) {
  std::optional<int> radix;
  if (args.size() > 1 && !args[1].IsUndefined()) radix = vm.ToInt32(args[1]);
  return ParseInt(vm.ToString(args[0]), radix);
}

Value GlobalParseFloat(Vm& vm, const Arguments& args) {
  return ParseFloat(vm.ToString(args[0]));
}

Value GlobalIsNaN(Vm& vm, const Arguments& args) {
  return std::isnan(vm.ToNumber(args[0]));
}

Value GlobalIsFinite(Vm& vm, const Arguments& args) {
  return std::isfinite(vm.ToNumber(args[0]));
}

Value GlobalEscape(Vm& vm, const Arguments& args) {
  return vm.Str(Escape(vm.ToString(args[0])));
}

Value GlobalUnescape(Vm& vm, const Arguments& args) {
  return vm.Str(Unescape(vm.ToString(args[0])));
}

Value GetTimer(Vm& vm, const Arguments&) {
  return std::floor(vm.Now());
}

// setInterval(function, ms, args...) or setInterval(object, "method", ms, args...).
Value AddTimer(Vm& vm, const Arguments& args, bool repeat) {
  Object* first = args[0].AsObject();
  if (first == nullptr) return Value();
  if (first->TypeOf() == "function") {
    if (args[1].IsUndefined()) return Value();  // no interval, no timer
    std::vector<Value> rest(args.values.begin() + std::min<size_t>(2, args.size()),
                            args.values.end());
    return vm.AddTimer(args[0], Value(), {}, std::move(rest), vm.ToNumber(args[1]), repeat);
  }
  if (args.size() < 3 || args[2].IsUndefined()) return Value();
  std::vector<Value> rest(args.values.begin() + 3, args.values.end());
  return vm.AddTimer(Value(), args[0], vm.ToString(args[1]), std::move(rest), vm.ToNumber(args[2]),
                     repeat);
}

Value SetInterval(Vm& vm, const Arguments& args) {
  return AddTimer(vm, args, true);
}
Value SetTimeout(Vm& vm, const Arguments& args) {
  return AddTimer(vm, args, false);
}

Value ClearTimer(Vm& vm, const Arguments& args) {
  const double id = vm.ToNumber(args[0]);
  if (std::isfinite(id) && std::abs(id) < 2147483648.0) vm.RemoveTimer(static_cast<int>(id));
  return Value();
}

Value GlobalTrace(Vm& vm, const Arguments& args) {
  vm.bridge().Trace(args[0].IsUndefined() ? std::string("undefined") : vm.ToString(args[0]));
  return Value();
}

// A native function by its table and index. Object.prototype's, Math's and some filter
// classes' tables are reachable so far.
NativeFunction NativeEntry(double table, double index) {
  constexpr double kObjectTable = 101;
  constexpr double kMathTable = 200;
  if (table == kObjectTable) return ObjectNative(std::trunc(index));
  if (table == kMathTable) return MathNative(std::trunc(index));
  return FilterNative(table, index);
}

Value AsNative(Vm& vm, const Arguments& args) {
  NativeFunction fn = NativeEntry(vm.ToNumber(args[0]), vm.ToNumber(args[1]));
  return fn ? Value(static_cast<Object*>(vm.NewNative(fn))) : Value();
}

// ASconstructor(table, index): the native function as a class, with a prototype of its own.
Value AsConstructor(Vm& vm, const Arguments& args) {
  NativeFunction fn = NativeEntry(vm.ToNumber(args[0]), vm.ToNumber(args[1]));
  return fn ? Value(static_cast<Object*>(vm.NewClass(vm.NewObject(), fn))) : Value();
}

// The names of a comma list, each with the version a leading digit asks for (0: every one).
std::vector<std::pair<std::string, uint8_t>> NativeNames(std::string_view list) {
  constexpr size_t kMaxNames = 1024;
  std::vector<std::pair<std::string, uint8_t>> names;
  size_t start = 0;
  while (start <= list.size() && names.size() < kMaxNames) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view name = list.substr(start, comma - start);
    uint8_t version = 0;
    if (!name.empty() && name[0] >= '0' && name[0] <= '9') {
      version = static_cast<uint8_t>(name[0] - '0');
      name.remove_prefix(1);
    }
    names.emplace_back(std::string(name), version);
    start = comma + 1;
  }
  return names;
}

Property& DefineNative(Vm& vm, Object* target, const std::string& name, uint8_t version,
                       uint8_t flags) {
  vm.SetOwn(target, name, Value(), flags);
  Property* p = target->Properties().Find(name, vm.CaseSensitive());
  p->min_version = version;
  return *p;
}

// ASSetNative(target, table, "a,b,6c", first): name i is the method ASnative(table, first + i),
// enumerable. Entries of tables not reachable here are methods that do nothing.
Value AsSetNative(Vm& vm, const Arguments& args) {
  Object* target = args[0].AsObject();
  if (target == nullptr) return Value();
  const double table = vm.ToNumber(args[1]);
  const double first = args.size() > 3 ? vm.ToNumber(args[3]) : 0;
  double index = first;
  for (const auto& [name, version] : NativeNames(vm.ToString(args[2]))) {
    NativeFunction fn = NativeEntry(table, index++);
    if (name.empty()) continue;
    Property& p = DefineNative(vm, target, name, version, 0);
    p.value = static_cast<Object*>(vm.NewNative(fn ? fn : Nothing));
  }
  return Value();
}

// ASSetNativeAccessor(target, table, "a,b", first): name i reads through ASnative(table,
// first + 2i) and writes through the entry after it.
Value AsSetNativeAccessor(Vm& vm, const Arguments& args) {
  Object* target = args[0].AsObject();
  if (target == nullptr) return Value();
  const double table = vm.ToNumber(args[1]);
  double index = args.size() > 3 ? vm.ToNumber(args[3]) : 0;
  for (const auto& [name, version] : NativeNames(vm.ToString(args[2]))) {
    NativeFunction get = NativeEntry(table, index);
    NativeFunction set = NativeEntry(table, index + 1);
    index += 2;
    if (name.empty() || get == nullptr) continue;
    Property& p = DefineNative(vm, target, name, version, kDontEnum);
    p.getter = vm.NewNative(get);
    p.setter = set ? vm.NewNative(set) : nullptr;
  }
  return Value();
}

}  // namespace

void InstallGlobalFunctions(Vm& vm) {
  Object* g = vm.Global();
  vm.DefineMethod(g, "parseInt", GlobalParseInt);
  vm.DefineMethod(g, "parseFloat", GlobalParseFloat);
  vm.DefineMethod(g, "isNaN", GlobalIsNaN);
  vm.DefineMethod(g, "isFinite", GlobalIsFinite);
  vm.DefineMethod(g, "escape", GlobalEscape);
  vm.DefineMethod(g, "unescape", GlobalUnescape);
  vm.DefineMethod(g, "getTimer", GetTimer);
  vm.DefineMethod(g, "setInterval", SetInterval);
  vm.DefineMethod(g, "clearInterval", ClearTimer);
  vm.DefineMethod(g, "setTimeout", SetTimeout);
  vm.DefineMethod(g, "clearTimeout", ClearTimer);
  vm.DefineMethod(g, "updateAfterEvent", Nothing);
  vm.DefineMethod(g, "trace", GlobalTrace);
  vm.DefineMethod(g, "ASnative", AsNative);
  vm.DefineMethod(g, "ASconstructor", AsConstructor);
  vm.DefineMethod(g, "ASSetNative", AsSetNative);
  vm.DefineMethod(g, "ASSetNativeAccessor", AsSetNativeAccessor);
  vm.DefineValue(g, "NaN", kNaNConstant);
  vm.DefineValue(g, "Infinity", INFINITY);
}

}  // namespace lumen::avm1
