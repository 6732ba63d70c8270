// TextField.StyleSheet: styles kept by selector name (set one by one or read from CSS text),
// and turning a style object (CSS property names in camel case) into the TextFormat it stands
// for, which a field with the sheet applies to its HTML.
//
// Design: each style property has its own small reading rule, as the reference has: numbers
// are read from the front of their text as whole numbers (whitespace first, a sign, digits,
// anything after ignored), names are matched exactly or, for alignment, ignoring case. A value
// that does not read leaves the format's value unset (null).

#include <cctype>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/CssReader.h"
#include "avm1/Vm.h"
#include "avm1/builtins/StyleSheetClass.h"

namespace lumen::avm1 {
namespace {

constexpr size_t kMaxDigits = 15;  // beyond what a double holds exactly

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The whole number at the front of `text`, after whitespace; nothing when no digit comes.
std::optional<double> LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  double value = 0;
  size_t digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    if (digits < kMaxDigits) value = value * 10 + (text[i] - '0');
  }
  if (digits == 0) return std::nullopt;
  return negative ? -value : value;
}

// Values scripts leave out: undefined, null, false, 0 and the empty string.
bool Absent(Vm& vm, const Value& v) {
  return !vm.ToBoolean(v);
}

Value Integer(Vm& vm, const Value& v, double when_unreadable, double at_least) {
  if (Absent(vm, v)) return Value::Null();
  const std::optional<double> n = LeadingInteger(vm.ToString(v));
  return n ? std::max(*n, at_least) : when_unreadable;
}

Value FontSize(Vm& vm, const Value& v) {
  const std::optional<double> n = LeadingInteger(vm.ToString(v));
  return n && *n >= 1 ? Value(*n) : Value::Null();
}

// Each family name loses its leading whitespace; empty names drop out.
Value FontFamily(Vm& vm, const Value& v) {
  if (Absent(vm, v)) return Value::Null();
  const std::string text = vm.ToString(v);
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    size_t first = start;
    while (first < end && IsSpace(text[first])) ++first;
    if (first < end) {
      if (!out.empty()) out += ',';
      out.append(text, first, end - first);
    }
    start = end + 1;
  }
  return vm.Str(out);
}

// "#rrggbb" exactly.
Value Color(const Value& v) {
  if (!v.IsString()) return Value::Null();
  const std::string& text = v.AsString();
  if (text.size() != 7 || text[0] != '#') return Value::Null();
  for (size_t i = 1; i < 7; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return Value::Null();
  }
  return static_cast<double>(std::stoul(text.substr(1), nullptr, 16));
}

// Two names that set a flag one way or the other, matched exactly.
Value Flag(const Value& v, std::string_view off, std::string_view on) {
  if (!v.IsString()) return Value::Null();
  const std::string& text = v.AsString();
  if (text == off) return false;
  if (text == on) return true;
  return Value::Null();
}

Value Align(Vm& vm, const Value& v) {
  if (!v.IsString()) return Value::Null();
  std::string text = v.AsString();
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* name : {"left", "center", "right", "justify"}) {
    if (text == name) return vm.Str(name);
  }
  return Value::Null();
}

Value Display(Vm& vm, const Value& v) {
  const std::string text = v.IsString() ? v.AsString() : std::string();
  return vm.Str(text == "inline" || text == "none" ? text : std::string("block"));
}

// Kerning is on for the word "true" and for any number that is not zero.
bool Kerning(const Value& v) {
  if (v.IsNumber()) return std::trunc(v.AsNumber()) != 0;
  if (!v.IsString()) return false;
  if (v.AsString() == "true") return true;
  const std::optional<double> n = LeadingInteger(v.AsString());
  return n && *n != 0;
}

Value Transform(Vm& vm, const Arguments& args) {
  const Value& style = args[0];
  if (style.IsNullish()) return Value::Null();
  auto get = [&](const char* name) { return vm.GetMember(style, name); };
  Object* format = NewTextFormat(vm);
  const double nan = std::nan("");
  vm.SetOwn(format, "color", Color(get("color")));
  vm.SetOwn(format, "display", Display(vm, get("display")));
  vm.SetOwn(format, "font", FontFamily(vm, get("fontFamily")));
  vm.SetOwn(format, "size", FontSize(vm, get("fontSize")));
  vm.SetOwn(format, "italic", Flag(get("fontStyle"), "normal", "italic"));
  vm.SetOwn(format, "bold", Flag(get("fontWeight"), "normal", "bold"));
  vm.SetOwn(format, "kerning", Kerning(get("kerning")));
  vm.SetOwn(format, "leading", Integer(vm, get("leading"), 0, -INFINITY));
  vm.SetOwn(format, "letterSpacing", Integer(vm, get("letterSpacing"), nan, -INFINITY));
  vm.SetOwn(format, "leftMargin", Integer(vm, get("marginLeft"), 0, 0));
  vm.SetOwn(format, "rightMargin", Integer(vm, get("marginRight"), 0, 0));
  vm.SetOwn(format, "align", Align(vm, get("textAlign")));
  vm.SetOwn(format, "underline", Flag(get("textDecoration"), "none", "underline"));
  vm.SetOwn(format, "indent", Integer(vm, get("textIndent"), 0, -INFINITY));
  return format;
}

// The styles live in a hidden object of the sheet, made on first use.
constexpr std::string_view kStyles = "_css";

Object* Styles(Vm& vm, Object* sheet, bool make) {
  if (Object* styles = vm.Get(sheet, kStyles).AsObject()) return styles;
  if (!make) return nullptr;
  Object* styles = vm.NewObject();
  vm.SetOwn(sheet, kStyles, styles, kDontEnum);
  return styles;
}

// A style is kept as a copy of the object given, so later changes to that object do not reach it.
Object* Copy(Vm& vm, Object* style) {
  Object* copy = vm.NewObject();
  for (const std::string& key : vm.Keys(style)) vm.Set(copy, key, vm.Get(style, key));
  return copy;
}

Value SetStyle(Vm& vm, const Arguments& a) {
  Object* sheet = a.self.AsObject();
  if (sheet == nullptr || a.size() == 0) return Value();
  const std::string name = vm.ToString(a[0]);
  Object* style = a.size() > 1 ? a[1].AsObject() : nullptr;
  if (style == nullptr) {
    if (Object* styles = Styles(vm, sheet, false)) vm.Delete(styles, name);
    return Value();
  }
  vm.Set(Styles(vm, sheet, true), name, Copy(vm, style));
  return Value();
}

Value GetStyle(Vm& vm, const Arguments& a) {
  Object* sheet = a.self.AsObject();
  Object* styles = sheet ? Styles(vm, sheet, false) : nullptr;
  if (styles == nullptr || a.size() == 0) return Value::Null();
  Object* style = vm.Get(styles, vm.ToString(a[0])).AsObject();
  return style ? Value(Copy(vm, style)) : Value::Null();
}

Value GetStyleNames(Vm& vm, const Arguments& a) {
  ArrayObject* names = vm.NewArray();
  Object* sheet = a.self.AsObject();
  if (Object* styles = sheet ? Styles(vm, sheet, false) : nullptr) {
    for (const std::string& key : vm.Keys(styles)) names->elements.push_back(vm.Str(key));
  }
  return static_cast<Object*>(names);
}

Value Clear(Vm& vm, const Arguments& a) {
  if (Object* sheet = a.self.AsObject()) vm.SetOwn(sheet, kStyles, vm.NewObject(), kDontEnum);
  return Value();
}

// parseCSS: every rule of the text, or none where the text does not read.
Value ParseCss(Vm& vm, const Arguments& a) {
  Object* sheet = a.self.AsObject();
  if (sheet == nullptr || a.size() == 0) return false;
  const std::optional<std::vector<CssRule>> rules = ReadCss(vm.ToString(a[0]));
  if (!rules) return false;
  Object* styles = Styles(vm, sheet, true);
  for (const CssRule& rule : *rules) {
    Object* style = vm.NewObject();
    for (const auto& [property, value] : rule.declarations) vm.Set(style, property, vm.Str(value));
    vm.Set(styles, rule.selector, style);
  }
  return true;
}

// load(name): a CSS file beside the movie, whose text reaches onData on the next tick.
Value Load(Vm& vm, const Arguments& a) {
  Object* sheet = a.self.AsObject();
  if (sheet == nullptr || a.size() == 0) return false;
  vm.QueueLoad(sheet, vm.ToString(a[0]));
  return true;
}

// onData's default: the text is read as CSS, and onLoad hears whether it was (undefined: the file
// could not be read).
Value OnData(Vm& vm, const Arguments& a) {
  Value read = false;
  if (!a[0].IsUndefined()) read = vm.CallMethod(a.self, "parseCSS", a.values.subspan(0, 1));
  vm.CallMethod(a.self, "onLoad", std::span<const Value>(&read, 1));
  return Value();
}

// Called as super() calls it: the subclass's instance is the sheet, and is the answer.
Value StyleSheetCall(Vm& vm, const Arguments& args) {
  Object* self = SuperTarget(vm, args.self);
  return self ? Value(self) : Value();
}

}  // namespace

StyleRules StyleSheetRules(Vm& vm, Object* sheet) {
  StyleRules rules;
  Object* styles = Styles(vm, sheet, false);
  if (styles == nullptr) return rules;
  for (const std::string& selector : vm.Keys(styles)) {
    const Value style = vm.Get(styles, selector);
    if (!style.IsObject()) continue;
    const Value args[] = {style};
    const Value format = Transform(vm, Arguments{Value(sheet), args});
    if (Object* f = format.AsObject()) rules.emplace_back(selector, FormatValuesOf(vm, f));
  }
  return rules;
}

void InstallStyleSheetClass(Vm& vm) {
  Object* proto = vm.NewObject();
  const std::pair<const char*, NativeFunction> methods[] = {
      {"setStyle", SetStyle}, {"getStyle", GetStyle}, {"getStyleNames", GetStyleNames},
      {"clear", Clear},       {"parseCSS", ParseCss}, {"transform", Transform},
      {"load", Load},         {"onData", OnData},
  };
  for (const auto& [name, fn] : methods) vm.DefineMethod(proto, name, fn);
  FunctionObject* ctor = vm.NewClass(proto, StyleSheetCall);
  Property* field = vm.Global()->Properties().Find("TextField", vm.CaseSensitive());
  Object* field_class = field ? field->value.AsObject() : nullptr;
  if (field_class == nullptr) return;
  vm.DefineValue(field_class, "StyleSheet", static_cast<Object*>(ctor));
  // Version 7 brought style sheets.
  field_class->Properties().Find("StyleSheet", vm.CaseSensitive())->min_version = 7;
}

}  // namespace lumen::avm1
