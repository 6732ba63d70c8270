// String: the constructor, String.fromCharCode and the methods of String.prototype. Script
// strings are kept as UTF-8, but every index a script sees counts UTF-16 units, so the methods
// work on a UTF-16 copy of the text. Index arguments wrap as 32-bit integers, which is why
// 4294967297 reads as 1. Case mapping follows the player's own table (CaseMap.h).

#include <algorithm>
#include <cmath>
#include <optional>

#include "avm1/Builtins.h"
#include "avm1/CaseMap.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

using namespace unicode;

namespace {

// Concatenation and splitting stop at this size rather than exhaust memory.
constexpr size_t kMaxTextUnits = size_t{1} << 27;

// The text a method works on: the primitive of a string value or String object, otherwise
// whatever the object converts to.
std::string ThisUtf8(Vm& vm, const Value& self) {
  if (self.IsString()) return self.AsString();
  if (Object* o = self.AsObject(); o != nullptr && o->primitive.IsString()) {
    if (o->native_class == "String") return o->primitive.AsString();
  }
  return vm.ToString(self);
}

std::u16string ThisText(Vm& vm, const Value& self) {
  return ToUtf16(ThisUtf8(vm, self));
}

// The unit at `index`, converting no more of the text than leads up to it: loops over a long
// text one character at a time stay cheap. A unit ends within 3 bytes a unit before it, a
// surrogate pair within 4.
bool UnitAt(Vm& vm, const Value& self, int32_t index, char16_t& unit) {
  if (index < 0) return false;
  const std::string utf8 = ThisUtf8(vm, self);
  const size_t bytes = std::min(utf8.size(), 3 * static_cast<size_t>(index) + 4);
  const std::u16string prefix = ToUtf16(std::string_view(utf8).substr(0, bytes));
  if (static_cast<size_t>(index) >= prefix.size()) return false;
  unit = prefix[static_cast<size_t>(index)];
  return true;
}

Value Text(Vm& vm, std::u16string_view text) {
  return vm.Str(ToUtf8(text));
}

int32_t IndexArg(Vm& vm, const Value& v) {
  return vm.ToInt32(v);
}

// A position counted from the end when negative, then kept within the text.
size_t FromEnd(int64_t i, size_t size) {
  const auto n = static_cast<int64_t>(size);
  if (i < 0) i = std::max<int64_t>(n + i, 0);
  return static_cast<size_t>(std::min(i, n));
}

size_t Clamp(int64_t i, size_t size) {
  return static_cast<size_t>(std::clamp<int64_t>(i, 0, static_cast<int64_t>(size)));
}

Value CharAt(Vm& vm, const Arguments& args) {
  char16_t unit = 0;
  if (!UnitAt(vm, args.self, IndexArg(vm, args[0]), unit)) return vm.Str("");
  return Text(vm, std::u16string_view(&unit, 1));
}

Value CharCodeAt(Vm& vm, const Arguments& args) {
  char16_t unit = 0;
  if (!UnitAt(vm, args.self, IndexArg(vm, args[0]), unit)) return NAN;
  return static_cast<double>(unit);
}

Value Concat(Vm& vm, const Arguments& args) {
  std::string out = ThisUtf8(vm, args.self);
  for (const Value& v : args.values) {
    out += vm.ToString(v);
    if (out.size() > kMaxTextUnits) throw ScriptAbort{"memory"};
  }
  return vm.Str(std::move(out));
}

Value IndexOf(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const std::u16string s = ThisText(vm, args.self);
  const std::u16string needle = ToUtf16(vm.ToString(args[0]));
  const int32_t start = std::max(IndexArg(vm, args[1]), 0);
  if (static_cast<size_t>(start) > s.size()) return -1;
  const size_t at = s.find(needle, static_cast<size_t>(start));
  return at == std::u16string::npos ? -1.0 : static_cast<double>(at);
}

Value LastIndexOf(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const std::u16string s = ThisText(vm, args.self);
  const std::u16string needle = ToUtf16(vm.ToString(args[0]));
  size_t from = s.size();
  if (args.size() > 1 && !args[1].IsUndefined()) {
    const int32_t start = IndexArg(vm, args[1]);
    if (start < 0) return -1;
    from = static_cast<size_t>(start);
  }
  const size_t at = s.rfind(needle, from);
  return at == std::u16string::npos ? -1.0 : static_cast<double>(at);
}

Value Slice(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const std::u16string s = ThisText(vm, args.self);
  const size_t start = FromEnd(IndexArg(vm, args[0]), s.size());
  const size_t end = args[1].IsUndefined() ? s.size() : FromEnd(IndexArg(vm, args[1]), s.size());
  if (end <= start) return vm.Str("");
  return Text(vm, std::u16string_view(s).substr(start, end - start));
}

// substr(start, length): a negative length counts back from the end like a negative start.
Value Substr(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const std::u16string s = ThisText(vm, args.self);
  const size_t start = FromEnd(IndexArg(vm, args[0]), s.size());
  const int64_t length =
      args[1].IsUndefined() ? static_cast<int64_t>(s.size()) : int64_t{IndexArg(vm, args[1])};
  const size_t end = FromEnd(static_cast<int64_t>(start) + length, s.size());
  if (end <= start) return vm.Str("");
  return Text(vm, std::u16string_view(s).substr(start, end - start));
}

Value Substring(Vm& vm, const Arguments& args) {
  if (args.size() == 0) return Value();
  const std::u16string s = ThisText(vm, args.self);
  size_t start = Clamp(IndexArg(vm, args[0]), s.size());
  size_t end = args[1].IsUndefined() ? s.size() : Clamp(IndexArg(vm, args[1]), s.size());
  if (end < start) std::swap(start, end);
  return Text(vm, std::u16string_view(s).substr(start, end - start));
}

void Append(Vm& vm, ArrayObject* list, std::u16string_view piece) {
  list->elements.push_back(Text(vm, piece));
  vm.heap().Charge(sizeof(Value));
}

void SplitOn(Vm& vm, ArrayObject* list, const std::u16string& s, std::u16string_view sep,
             int64_t limit) {
  size_t from = 0;
  while (static_cast<int64_t>(list->elements.size()) < limit) {
    const size_t at = s.find(sep, from);
    Append(vm, list, std::u16string_view(s).substr(from, at == s.npos ? s.npos : at - from));
    if (at == s.npos) break;
    from = at + sep.size();
  }
}

// Movies before version 6 split on a single character only: an empty separator leaves the
// text whole whatever the limit; a longer or undefined one does so unless the limit is below 1.
void SplitVersion5(Vm& vm, ArrayObject* list, const std::u16string& s,
                   const std::optional<std::u16string>& sep, int64_t limit) {
  if (sep && sep->empty()) {
    Append(vm, list, s);
  } else if (limit <= 0) {
    return;
  } else if (!sep || sep->size() != 1) {
    Append(vm, list, s);
  } else {
    SplitOn(vm, list, s, *sep, limit);
  }
}

// From version 6: an undefined separator leaves the text whole, an empty one splits it into
// units, and an empty text gives one empty string (none for an empty separator) whatever the
// limit.
void Split(Vm& vm, ArrayObject* list, const std::u16string& s,
           const std::optional<std::u16string>& sep, int64_t limit) {
  if (!sep || (s.empty() && !sep->empty())) {
    Append(vm, list, s);
  } else if (sep->empty()) {
    const auto n = static_cast<size_t>(std::clamp<int64_t>(limit, 0, int64_t(s.size())));
    for (size_t i = 0; i < n; ++i) Append(vm, list, std::u16string_view(s).substr(i, 1));
  } else {
    SplitOn(vm, list, s, *sep, limit);
  }
}

Value SplitMethod(Vm& vm, const Arguments& args) {
  ArrayObject* list = vm.NewArray();
  const std::u16string s = ThisText(vm, args.self);
  if (args.size() == 0) {
    Append(vm, list, s);
    return list;
  }
  std::optional<std::u16string> sep;
  if (!args[0].IsUndefined()) sep = ToUtf16(vm.ToString(args[0]));
  const int64_t limit = args[1].IsUndefined() ? INT64_MAX : int64_t{vm.ToInt32(args[1])};
  if (vm.Version() < 6) {
    SplitVersion5(vm, list, s, sep, limit);
  } else {
    Split(vm, list, s, sep, limit);
  }
  return list;
}

Value ToLowerCase(Vm& vm, const Arguments& args) {
  return Text(vm, ToLowerText(ThisText(vm, args.self)));
}

Value ToUpperCase(Vm& vm, const Arguments& args) {
  return Text(vm, ToUpperText(ThisText(vm, args.self)));
}

// toString and valueOf: the primitive. Other objects borrowing the methods give their text,
// except those whose own toString is this very method (String.prototype among them): they
// stay themselves, so they never pass for undefined.
Value ValueOf(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o != nullptr && o->native_class == "String") return o->primitive;
  if (o == nullptr) return args.self;
  const auto* own = dynamic_cast<FunctionObject*>(vm.Get(o, "toString").AsObject());
  if (own != nullptr && own->native == ValueOf) return args.self;
  return vm.ToStringValue(args.self);
}

// Each argument is one UTF-16 unit; a zero ends the text, as the player's strings end there.
Value FromCharCode(Vm& vm, const Arguments& args) {
  std::u16string out;
  for (const Value& v : args.values) {
    const auto unit = static_cast<char16_t>(ToUint32(vm.ToNumber(v)) & 0xFFFF);
    if (unit == 0) break;
    out += unit;
  }
  return Text(vm, out);
}

void MakeStringObject(Vm& vm, Object* o, const Value& text) {
  o->primitive = text;
  o->native_class = "String";
  vm.SetOwn(o, "length", static_cast<double>(ToUtf16Length(text.AsString())),
            kDontEnum | kDontDelete);
}

Value ArgumentText(Vm& vm, const Arguments& args) {
  return args.size() == 0 ? vm.Str("") : vm.ToStringValue(args[0]);
}

Value StringConstruct(Vm& vm, const Arguments& args) {
  Object* proto = args.self.AsObject() ? args.self.AsObject() : vm.builtins().string_proto;
  Object* o = vm.NewObject(proto);
  MakeStringObject(vm, o, ArgumentText(vm, args));
  return o;
}

// `super(text)` in a subclass reaches here with the new instance as `this`; it becomes a String
// object. A plain call converts its argument.
bool InheritsFrom(Object* o, Object* proto) {
  for (int i = 0; o != nullptr && i < 256; ++i) {
    o = o->Proto();
    if (o == proto) return true;
  }
  return false;
}

Value StringCall(Vm& vm, const Arguments& args) {
  const Value text = ArgumentText(vm, args);
  Object* self = args.self.AsObject();
  if (self != nullptr && self->AsClip() == nullptr && self->native_class.empty() &&
      InheritsFrom(self, vm.builtins().string_proto)) {
    MakeStringObject(vm, self, text);
  }
  return text;
}

}  // namespace

void InstallStringClass(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().string_proto = proto;
  FunctionObject* ctor = vm.NewClass(proto, StringCall, StringConstruct);
  vm.builtins().string_ctor = ctor;
  constexpr uint8_t kBuiltIn = kDontEnum | kDontDelete;
  vm.DefineMethod(ctor, "fromCharCode", FromCharCode, kBuiltIn);
  const struct {
    const char* name;
    NativeFunction fn;
  } methods[] = {
      {"valueOf", ValueOf},         {"toString", ValueOf},
      {"toUpperCase", ToUpperCase}, {"toLowerCase", ToLowerCase},
      {"charAt", CharAt},           {"charCodeAt", CharCodeAt},
      {"concat", Concat},           {"indexOf", IndexOf},
      {"lastIndexOf", LastIndexOf}, {"slice", Slice},
      {"substring", Substring},     {"split", SplitMethod},
      {"substr", Substr},
  };
  for (const auto& m : methods) vm.DefineMethod(proto, m.name, m.fn, kBuiltIn);
  vm.DefineValue(vm.Global(), "String", static_cast<Object*>(ctor));
}

}  // namespace lumen::avm1
