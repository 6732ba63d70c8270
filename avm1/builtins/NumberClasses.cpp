// Number, Boolean and Math.
//
// Number and Boolean objects are plain objects holding their value in `primitive`; their
// methods accept the primitive itself as `this` too. Called as functions they convert, except
// on a fresh instance of a script subclass (`super(v)`), which they fill in.
//
// Every Math function converts its first two arguments, in order, whatever it uses of them,
// and reads a missing one as NaN; min and max look at two arguments at most.

#include <cmath>
#include <iterator>
#include <limits>

#include "avm1/Builtins.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr double kLn2 = 0.6931471805599453;
// Constants and Math members are read-only, and hidden like every built-in.
constexpr uint8_t kConstant = kDontEnum | kReadOnly;
constexpr int kMaxChain = 256;

// An object a script subclass constructor made, not yet given a value by the native base.
bool IsBlankInstanceOf(const Value& self, Object* proto) {
  Object* o = self.AsObject();
  if (o == nullptr || !o->native_class.empty() || o == proto) return false;
  int steps = 0;
  for (Object* p = o->Proto(); p != nullptr && steps < kMaxChain; p = p->Proto(), ++steps) {
    if (p == proto) return true;
  }
  return false;
}

Object* ProtoOr(const Value& proto, Object* fallback) {
  Object* o = proto.AsObject();
  return o != nullptr ? o : fallback;
}

Value Box(Object* o, const Value& v, std::string_view native_class) {
  o->primitive = v;
  o->native_class = native_class;
  return o;
}

// The value of `this` for methods of a class of boxed primitives, if it is one.
bool Unbox(const Value& self, Value::Type type, std::string_view native_class, Value& out) {
  if (self.type() == type) {
    out = self;
    return true;
  }
  Object* o = self.AsObject();
  if (o == nullptr || o->native_class != native_class || o->primitive.type() != type) return false;
  out = o->primitive;
  return true;
}

// --- Number ---

double NumberArgument(Vm& vm, const Arguments& args) {
  return args.size() > 0 ? vm.ToNumber(args[0]) : 0.0;
}

Value NumberCall(Vm& vm, const Arguments& args) {
  const double n = NumberArgument(vm, args);
  if (IsBlankInstanceOf(args.self, vm.builtins().number_proto)) {
    Box(args.self.AsObject(), n, "Number");
  }
  return n;
}

Value NumberConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(ProtoOr(args.self, vm.builtins().number_proto));
  return Box(o, NumberArgument(vm, args), "Number");
}

Value NumberProtoToString(Vm& vm, const Arguments& args) {
  Value n;
  if (!Unbox(args.self, Value::Type::Number, "Number", n)) return Value();
  const int radix = args.size() > 0 ? vm.ToInt32(args[0]) : 10;
  return vm.Str(NumberToStringRadix(n.AsNumber(), radix));
}

Value NumberProtoValueOf(Vm&, const Arguments& args) {
  Value n;
  return Unbox(args.self, Value::Type::Number, "Number", n) ? n : Value();
}

void InstallNumber(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().number_proto = proto;
  FunctionObject* number = vm.NewClass(proto, NumberCall, NumberConstruct);
  vm.builtins().number_ctor = number;
  vm.DefineMethod(proto, "valueOf", NumberProtoValueOf);
  vm.DefineMethod(proto, "toString", NumberProtoToString);
  vm.DefineValue(number, "NaN", kNaNConstant, kConstant);
  vm.DefineValue(number, "POSITIVE_INFINITY", kInfinity, kConstant);
  vm.DefineValue(number, "NEGATIVE_INFINITY", -kInfinity, kConstant);
  vm.DefineValue(number, "MIN_VALUE", std::numeric_limits<double>::denorm_min(), kConstant);
  vm.DefineValue(number, "MAX_VALUE", std::numeric_limits<double>::max(), kConstant);
  vm.DefineValue(vm.Global(), "Number", static_cast<Object*>(number));
}

// --- Boolean ---

Value BooleanCall(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const bool b = vm.ToBoolean(args[0]);
  if (IsBlankInstanceOf(args.self, vm.builtins().boolean_proto)) {
    Box(args.self.AsObject(), b, "Boolean");
  }
  return b;
}

Value BooleanConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(ProtoOr(args.self, vm.builtins().boolean_proto));
  return Box(o, args.size() > 0 && vm.ToBoolean(args[0]), "Boolean");
}

Value BooleanProtoToString(Vm& vm, const Arguments& args) {
  Value b;
  if (!Unbox(args.self, Value::Type::Boolean, "Boolean", b)) return Value();
  return vm.Str(b.AsBoolean() ? "true" : "false");
}

Value BooleanProtoValueOf(Vm&, const Arguments& args) {
  Value b;
  return Unbox(args.self, Value::Type::Boolean, "Boolean", b) ? b : Value();
}

void InstallBoolean(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().boolean_proto = proto;
  FunctionObject* boolean = vm.NewClass(proto, BooleanCall, BooleanConstruct);
  vm.builtins().boolean_ctor = boolean;
  vm.DefineMethod(proto, "valueOf", BooleanProtoValueOf);
  vm.DefineMethod(proto, "toString", BooleanProtoToString);
  vm.DefineValue(vm.Global(), "Boolean", static_cast<Object*>(boolean));
}

// --- Math ---

struct MathOperands {
  double x, y;
};

MathOperands ReadOperands(Vm& vm, const Arguments& args) {
  const double x = args.size() > 0 ? vm.ToNumber(args[0]) : kNaN;
  const double y = args.size() > 1 ? vm.ToNumber(args[1]) : kNaN;
  return {x, y};
}

template <double (*F)(double)>
Value MathUnary(Vm& vm, const Arguments& args) {
  return F(ReadOperands(vm, args).x);
}

template <double (*F)(double, double)>
Value MathBinary(Vm& vm, const Arguments& args) {
  const MathOperands o = ReadOperands(vm, args);
  return F(o.x, o.y);
}

double Abs(double x) {
  return std::fabs(x);
}
double Acos(double x) {
  return std::acos(x);
}
double Asin(double x) {
  return std::asin(x);
}
double Atan(double x) {
  return std::atan(x);
}
double Ceil(double x) {
  return std::ceil(x);
}
double Cos(double x) {
  return std::cos(x);
}
double Exp(double x) {
  return std::exp(x);
}
double Floor(double x) {
  return std::floor(x);
}
double Log(double x) {
  return std::log(x);
}
double Round(double x) {
  return std::floor(x + 0.5);
}
double Sin(double x) {
  return std::sin(x);
}
double Sqrt(double x) {
  return std::sqrt(x);
}
double Tan(double x) {
  return std::tan(x);
}
double Atan2(double y, double x) {
  return std::atan2(y, x);
}
// Special cases are the C library's. A fractional power goes the FPU's way, 2^(y*log2 x) with
// the fraction's 2^f - 1 rounded on its own: that double rounding shows in the last digit, as
// in pow(2, 0.5) < Math.SQRT2.
double Pow(double x, double y) {
  if (!std::isfinite(y) || std::trunc(y) == y || !std::isfinite(x) || x <= 0.0 || x == 1.0) {
    return std::pow(x, y);
  }
  const double exponent = y * std::log2(x);
  if (!std::isfinite(exponent)) return std::pow(x, y);
  const double whole = std::nearbyint(exponent);
  const double fraction = std::expm1((exponent - whole) * kLn2);
  return std::ldexp(1.0 + fraction, static_cast<int>(std::fmax(-2100.0, std::fmin(2100.0, whole))));
}

// No argument gives the identity of the operation; one gives NaN.
template <bool kMin>
Value MathMinMax(Vm& vm, const Arguments& args) {
  const MathOperands o = ReadOperands(vm, args);
  if (args.size() == 0) return kMin ? kInfinity : -kInfinity;
  if (std::isnan(o.x) || std::isnan(o.y)) return kNaN;
  return kMin ? (o.y < o.x ? o.y : o.x) : (o.y > o.x ? o.y : o.x);
}

Value MathRandom(Vm& vm, const Arguments& args) {
  ReadOperands(vm, args);
  constexpr uint32_t kSteps = 1u << 31;
  return static_cast<double>(vm.Random(kSteps)) / kSteps;
}

// Outside the table the dispatcher still reads its two operands, and answers NaN.
Value MathUnknown(Vm& vm, const Arguments& args) {
  ReadOperands(vm, args);
  return kNaN;
}

struct MathMethod {
  const char* name;
  NativeFunction fn;
};
// In the order of the player's native table 200, which ASnative reaches by index.
constexpr MathMethod kMathMethods[] = {
    {"abs", MathUnary<Abs>},     {"min", MathMinMax<true>},   {"max", MathMinMax<false>},
    {"sin", MathUnary<Sin>},     {"cos", MathUnary<Cos>},     {"atan2", MathBinary<Atan2>},
    {"tan", MathUnary<Tan>},     {"exp", MathUnary<Exp>},     {"log", MathUnary<Log>},
    {"sqrt", MathUnary<Sqrt>},   {"round", MathUnary<Round>}, {"random", MathRandom},
    {"floor", MathUnary<Floor>}, {"ceil", MathUnary<Ceil>},   {"atan", MathUnary<Atan>},
    {"asin", MathUnary<Asin>},   {"acos", MathUnary<Acos>},   {"pow", MathBinary<Pow>},
};

void InstallMath(Vm& vm) {
  Object* math = vm.NewObject();
  // Installed in the player's order, which for..in shows newest first.
  struct Constant {
    const char* name;
    double value;
  };
  static constexpr Constant kConstants[] = {
      {"SQRT2", 1.4142135623730951}, {"SQRT1_2", 0.7071067811865476}, {"PI", 3.141592653589793},
      {"LOG2E", 1.4426950408889634}, {"LOG10E", 0.4342944819032518},  {"LN2", 0.6931471805599453},
      {"LN10", 2.302585092994046},   {"E", 2.718281828459045},
  };
  for (const Constant& c : kConstants) vm.DefineValue(math, c.name, c.value, kConstant);
  for (const MathMethod& m : kMathMethods) vm.DefineMethod(math, m.name, m.fn, kConstant);
  vm.DefineValue(vm.Global(), "Math", math);
}

}  // namespace

NativeFunction MathNative(double index) {
  constexpr size_t kCount = std::size(kMathMethods);
  if (index >= 0 && index < kCount) return kMathMethods[static_cast<size_t>(index)].fn;
  return MathUnknown;
}

void InstallNumberClasses(Vm& vm) {
  InstallNumber(vm);
  InstallBoolean(vm);
  InstallMath(vm);
}

}  // namespace lumen::avm1
