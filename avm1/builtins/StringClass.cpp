// String: the constructor, String.fromCharCode and the methods of String.prototype. Script
// strings are kept as UTF-8, but every index a script sees counts UTF-16 units, so the methods
// work on a UTF-16 copy of the text. Index arguments wrap as 32-bit integers, which is why
// 4294967297 reads as 1. Case mapping follows the player's own table, which is older than
// today's Unicode (Georgian, Cherokee and many Latin extensions map to themselves).

#include <algorithm>
#include <cmath>
#include <optional>

#include "avm1/Builtins.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

using namespace unicode;

namespace {

// A run of code units that map by the same offset: first, first + stride, ... (count of them).
struct CaseRun {
  char16_t first;
  uint16_t count;
  uint8_t stride;
  int32_t delta;
};

constexpr CaseRun kToLowerRuns[] = {
    {0x0041, 26, 1, 32},   {0x00C0, 23, 1, 32},   {0x00D8, 7, 1, 32},   {0x0100, 24, 2, 1},
    {0x0130, 1, 1, -199},  {0x0132, 3, 2, 1},     {0x0139, 8, 2, 1},    {0x014A, 23, 2, 1},
    {0x0178, 1, 1, -121},  {0x0179, 3, 2, 1},     {0x0181, 1, 1, 210},  {0x0182, 2, 2, 1},
    {0x0186, 1, 1, 206},   {0x0187, 1, 1, 1},     {0x0189, 2, 1, 205},  {0x018B, 1, 1, 1},
    {0x018E, 1, 1, 79},    {0x018F, 1, 1, 202},   {0x0190, 1, 1, 203},  {0x0191, 1, 1, 1},
    {0x0193, 1, 1, 205},   {0x0194, 1, 1, 207},   {0x0196, 1, 1, 211},  {0x0197, 1, 1, 209},
    {0x0198, 1, 1, 1},     {0x019C, 1, 1, 211},   {0x019D, 1, 1, 213},  {0x019F, 1, 1, 214},
    {0x01A0, 3, 2, 1},     {0x01A6, 1, 1, 218},   {0x01A7, 1, 1, 1},    {0x01A9, 1, 1, 218},
    {0x01AC, 1, 1, 1},     {0x01AE, 1, 1, 218},   {0x01AF, 1, 1, 1},    {0x01B1, 2, 1, 217},
    {0x01B3, 2, 2, 1},     {0x01B7, 1, 1, 219},   {0x01B8, 1, 1, 1},    {0x01BC, 1, 1, 1},
    {0x01C4, 1, 1, 2},     {0x01C5, 1, 1, 1},     {0x01C7, 1, 1, 2},    {0x01C8, 1, 1, 1},
    {0x01CA, 1, 1, 2},     {0x01CB, 9, 2, 1},     {0x01DE, 9, 2, 1},    {0x01F1, 1, 1, 2},
    {0x01F2, 2, 2, 1},     {0x01F6, 1, 1, -97},   {0x01F7, 1, 1, -56},  {0x01F8, 20, 2, 1},
    {0x0222, 9, 2, 1},     {0x0386, 1, 1, 38},    {0x0388, 3, 1, 37},   {0x038C, 1, 1, 64},
    {0x038E, 2, 1, 63},    {0x0391, 27, 1, 32},   {0x03D8, 12, 2, 1},   {0x03F4, 1, 1, -60},
    {0x0400, 16, 1, 80},   {0x0410, 32, 1, 32},   {0x0460, 17, 2, 1},   {0x048A, 27, 2, 1},
    {0x04C1, 2, 2, 1},     {0x04C7, 1, 1, 1},     {0x04CB, 1, 1, 1},    {0x04D0, 21, 2, 1},
    {0x0531, 38, 1, 48},   {0x10A0, 38, 1, 48},   {0x1E00, 75, 2, 1},   {0x1EA0, 45, 2, 1},
    {0x1F08, 8, 1, -8},    {0x1F18, 6, 1, -8},    {0x1F28, 8, 1, -8},   {0x1F38, 8, 1, -8},
    {0x1F48, 6, 1, -8},    {0x1F59, 4, 2, -8},    {0x1F68, 8, 1, -8},   {0x1F88, 8, 1, -8},
    {0x1F98, 8, 1, -8},    {0x1FA8, 8, 1, -8},    {0x1FB8, 2, 1, -8},   {0x1FBA, 2, 1, -74},
    {0x1FBC, 1, 1, -9},    {0x1FC8, 4, 1, -86},   {0x1FCC, 1, 1, -9},   {0x1FD8, 2, 1, -8},
    {0x1FDA, 2, 1, -100},  {0x1FE8, 2, 1, -8},    {0x1FEA, 2, 1, -112}, {0x1FEC, 1, 1, -7},
    {0x1FF8, 2, 1, -128},  {0x1FFA, 2, 1, -126},  {0x1FFC, 1, 1, -9},   {0x2126, 1, 1, -7517},
    {0x212A, 1, 1, -8383}, {0x212B, 1, 1, -8262}, {0x2160, 16, 1, 16},  {0x24B6, 26, 1, 26},
    {0xFF21, 26, 1, 32},
};
constexpr CaseRun kToUpperRuns[] = {
    {0x0061, 26, 1, -32}, {0x00E0, 23, 1, -32},  {0x00F8, 7, 1, -32},  {0x00FF, 1, 1, 121},
    {0x0101, 24, 2, -1},  {0x0131, 1, 1, -232},  {0x0133, 3, 2, -1},   {0x013A, 8, 2, -1},
    {0x014B, 23, 2, -1},  {0x017A, 3, 2, -1},    {0x017F, 1, 1, -300}, {0x0183, 2, 2, -1},
    {0x0188, 1, 1, -1},   {0x018C, 1, 1, -1},    {0x0192, 1, 1, -1},   {0x0195, 1, 1, 97},
    {0x0199, 1, 1, -1},   {0x01A1, 3, 2, -1},    {0x01A8, 1, 1, -1},   {0x01AD, 1, 1, -1},
    {0x01B0, 1, 1, -1},   {0x01B4, 2, 2, -1},    {0x01B9, 1, 1, -1},   {0x01BD, 1, 1, -1},
    {0x01BF, 1, 1, 56},   {0x01C5, 1, 1, -1},    {0x01C6, 1, 1, -2},   {0x01C8, 1, 1, -1},
    {0x01C9, 1, 1, -2},   {0x01CB, 1, 1, -1},    {0x01CC, 1, 1, -2},   {0x01CE, 8, 2, -1},
    {0x01DD, 1, 1, -79},  {0x01DF, 9, 2, -1},    {0x01F2, 1, 1, -1},   {0x01F3, 1, 1, -2},
    {0x01F5, 1, 1, -1},   {0x01F9, 20, 2, -1},   {0x0223, 9, 2, -1},   {0x0253, 1, 1, -210},
    {0x0254, 1, 1, -206}, {0x0256, 2, 1, -205},  {0x0259, 1, 1, -202}, {0x025B, 1, 1, -203},
    {0x0260, 1, 1, -205}, {0x0263, 1, 1, -207},  {0x0268, 1, 1, -209}, {0x0269, 1, 1, -211},
    {0x026F, 1, 1, -211}, {0x0272, 1, 1, -213},  {0x0275, 1, 1, -214}, {0x0280, 1, 1, -218},
    {0x0283, 1, 1, -218}, {0x0288, 1, 1, -218},  {0x028A, 2, 1, -217}, {0x0292, 1, 1, -219},
    {0x0345, 1, 1, 84},   {0x03AC, 1, 1, -38},   {0x03AD, 3, 1, -37},  {0x03B1, 27, 1, -32},
    {0x03CC, 1, 1, -64},  {0x03CD, 2, 1, -63},   {0x03D0, 1, 1, -62},  {0x03D1, 1, 1, -57},
    {0x03D5, 1, 1, -47},  {0x03D6, 1, 1, -54},   {0x03D9, 12, 2, -1},  {0x03F0, 1, 1, -86},
    {0x03F1, 1, 1, -80},  {0x03F2, 1, 1, -79},   {0x03F5, 1, 1, -96},  {0x0430, 32, 1, -32},
    {0x0450, 16, 1, -80}, {0x0461, 17, 2, -1},   {0x048B, 27, 2, -1},  {0x04C2, 2, 2, -1},
    {0x04C8, 1, 1, -1},   {0x04CC, 1, 1, -1},    {0x04D1, 21, 2, -1},  {0x0561, 38, 1, -48},
    {0x1E01, 75, 2, -1},  {0x1E9B, 1, 1, -59},   {0x1EA1, 45, 2, -1},  {0x1F00, 8, 1, 8},
    {0x1F10, 6, 1, 8},    {0x1F20, 8, 1, 8},     {0x1F30, 8, 1, 8},    {0x1F40, 6, 1, 8},
    {0x1F51, 4, 2, 8},    {0x1F60, 8, 1, 8},     {0x1F70, 2, 1, 74},   {0x1F72, 4, 1, 86},
    {0x1F76, 2, 1, 100},  {0x1F78, 2, 1, 128},   {0x1F7A, 2, 1, 112},  {0x1F7C, 2, 1, 126},
    {0x1F80, 8, 1, 8},    {0x1F90, 8, 1, 8},     {0x1FA0, 8, 1, 8},    {0x1FB0, 2, 1, 8},
    {0x1FB3, 1, 1, 9},    {0x1FBE, 1, 1, -7205}, {0x1FC3, 1, 1, 9},    {0x1FD0, 2, 1, 8},
    {0x1FE0, 2, 1, 8},    {0x1FE5, 1, 1, 7},     {0x1FF3, 1, 1, 9},    {0x2170, 16, 1, -16},
    {0x24D0, 26, 1, -26}, {0xFF41, 26, 1, -32},
};

template <size_t N>
char16_t MapCase(const CaseRun (&runs)[N], char16_t c) {
  const CaseRun* end = runs + N;
  const CaseRun* it =
      std::upper_bound(runs, end, c, [](char16_t v, const CaseRun& r) { return v < r.first; });
  if (it == runs) return c;
  const CaseRun& run = *(it - 1);
  const unsigned offset = c - run.first;
  if (offset % run.stride != 0 || offset / run.stride >= run.count) return c;
  return static_cast<char16_t>(c + run.delta);
}

}  // namespace

std::u16string ToLowerText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = MapCase(kToLowerRuns, c);
  return out;
}

namespace {

std::u16string ToUpperText(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = MapCase(kToUpperRuns, c);
  return out;
}

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

// toString and valueOf: the primitive. Other objects borrowing the methods (String.prototype
// among them) have none and stay themselves, so they never pass for undefined.
Value ValueOf(Vm&, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o != nullptr && o->native_class == "String") return o->primitive;
  return args.self;
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
