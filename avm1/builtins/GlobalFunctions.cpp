// The global functions: number parsing, escaping, the clock and the timers.

#include <cmath>

#include "avm1/Builtins.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"

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

Value Nothing(Vm&, const Arguments&) {
  return Value();
}

Value GlobalTrace(Vm& vm, const Arguments& args) {
  vm.bridge().Trace(args[0].IsUndefined() ? std::string("undefined") : vm.ToString(args[0]));
  return Value();
}

// A native function by its table and index. Only Object's and Math's tables are reachable.
Value AsNative(Vm& vm, const Arguments& args) {
  constexpr double kObjectTable = 101, kMathTable = 200;
  const double table = vm.ToNumber(args[0]);
  const double index = std::trunc(vm.ToNumber(args[1]));
  NativeFunction fn = table == kObjectTable ? ObjectNative(index)
                      : table == kMathTable ? MathNative(index)
                                            : nullptr;
  return fn ? Value(static_cast<Object*>(vm.NewNative(fn))) : Value();
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
  vm.DefineValue(g, "NaN", NAN);
  vm.DefineValue(g, "Infinity", INFINITY);
}

}  // namespace lumen::avm1
