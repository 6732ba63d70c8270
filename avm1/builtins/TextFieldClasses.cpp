// TextField.prototype (formats, replacing text, removal), the TextFormat class, and the
// conversion between TextFormat objects and the stage's format values.

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "avm1/Builtins.h"
#include "avm1/FieldObject.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"

namespace lumen::avm1 {

namespace {

// TextFormat's properties in the order the constructor takes them, then the rest.
constexpr const char* kFormatNames[] = {
    "font",    "size",        "color",  "bold",       "italic",        "underline",
    "url",     "target",      "align",  "leftMargin", "rightMargin",   "indent",
    "leading", "blockIndent", "bullet", "tabStops",   "letterSpacing", "kerning"};
constexpr size_t kConstructorArguments = 13;

FieldLink* Self(const Arguments& args) {
  Object* o = args.self.AsObject();
  FieldObject* field = o ? o->AsField() : nullptr;
  return field ? field->Link() : nullptr;
}

Value Optional(Vm& vm, const std::optional<std::string>& v) {
  return v ? vm.Str(*v) : Value::Null();
}
Value Optional(const std::optional<double>& v) {
  return v ? Value(*v) : Value::Null();
}
Value Optional(const std::optional<bool>& v) {
  return v ? Value(*v) : Value::Null();
}

Value GetTextExtent(Vm& vm, const Arguments& a);

// Every TextFormat carries its own getTextExtent, hidden; the prototype has none.
void AddExtentMethod(Vm& vm, Object* format) {
  vm.DefineMethod(format, "getTextExtent", GetTextExtent, kDontEnum);
}

}  // namespace

Object* NewTextFormat(Vm& vm) {
  Object* format = vm.NewObject(vm.builtins().textformat_proto);
  AddExtentMethod(vm, format);
  for (const char* name : kFormatNames) vm.SetOwn(format, name, Value::Null());
  return format;
}

namespace {

Object* FormatObject(Vm& vm, const FormatValues& f) {
  Object* o = NewTextFormat(vm);
  vm.SetOwn(o, "font", Optional(vm, f.font));
  vm.SetOwn(o, "size", Optional(f.size));
  vm.SetOwn(o, "color", Optional(f.color));
  vm.SetOwn(o, "bold", Optional(f.bold));
  vm.SetOwn(o, "italic", Optional(f.italic));
  vm.SetOwn(o, "underline", Optional(f.underline));
  vm.SetOwn(o, "url", Optional(vm, f.url));
  vm.SetOwn(o, "target", Optional(vm, f.target));
  vm.SetOwn(o, "align", Optional(vm, f.align));
  vm.SetOwn(o, "leftMargin", Optional(f.left_margin));
  vm.SetOwn(o, "rightMargin", Optional(f.right_margin));
  vm.SetOwn(o, "indent", Optional(f.indent));
  vm.SetOwn(o, "leading", Optional(f.leading));
  vm.SetOwn(o, "blockIndent", Optional(f.block_indent));
  vm.SetOwn(o, "bullet", Optional(f.bullet));
  vm.SetOwn(o, "letterSpacing", Optional(f.letter_spacing));
  vm.SetOwn(o, "kerning", Optional(f.kerning));
  vm.SetOwn(o, "tabStops", static_cast<Object*>(vm.NewArray()));  // fields keep no tab stops
  return o;
}

}  // namespace

// Null and undefined leave a value alone.
FormatValues FormatValuesOf(Vm& vm, Object* o) {
  FormatValues f;
  auto text = [&](const char* name, std::optional<std::string>& out) {
    const Value v = vm.Get(o, name);
    if (!v.IsNullish()) out = vm.ToString(v);
  };
  auto number = [&](const char* name, std::optional<double>& out) {
    const Value v = vm.Get(o, name);
    if (v.IsNullish()) return;
    const double n = vm.ToNumber(v);
    if (std::isfinite(n)) out = n;
  };
  auto flag = [&](const char* name, std::optional<bool>& out) {
    const Value v = vm.Get(o, name);
    if (!v.IsNullish()) out = vm.ToBoolean(v);
  };
  text("font", f.font);
  number("size", f.size);
  number("color", f.color);
  flag("bold", f.bold);
  flag("italic", f.italic);
  flag("underline", f.underline);
  text("url", f.url);
  text("target", f.target);
  text("align", f.align);
  number("leftMargin", f.left_margin);
  number("rightMargin", f.right_margin);
  number("indent", f.indent);
  number("leading", f.leading);
  number("blockIndent", f.block_indent);
  flag("bullet", f.bullet);
  number("letterSpacing", f.letter_spacing);
  flag("kerning", f.kerning);
  return f;
}

namespace {

// The [begin, end) range of (begin, end) arguments; one argument means one character.
void Range(Vm& vm, const Arguments& a, size_t count, size_t length, size_t& begin, size_t& end) {
  begin = 0;
  end = length;
  auto index = [&](const Value& v, size_t fallback) {
    const double n = vm.ToNumber(v);
    if (!std::isfinite(n) || n < 0) return fallback;
    return static_cast<size_t>(std::min(n, static_cast<double>(length)));
  };
  if (count >= 1) {
    begin = index(a[0], 0);
    end = begin + 1;
  }
  if (count >= 2) end = index(a[1], length);
  end = std::min(end, length);
  if (begin > end) begin = end;
}

size_t Length(FieldLink& field) {
  const FieldValue v = field.Get(FieldProperty::Length);
  const double* n = std::get_if<double>(&v);
  return n ? static_cast<size_t>(*n) : 0;
}

Value GetTextFormat(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  if (field == nullptr) return Value();
  size_t begin = 0, end = 0;
  Range(vm, a, a.size(), Length(*field), begin, end);
  return FormatObject(vm, field->GetFormat(begin, end));
}

Value SetTextFormat(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  if (field == nullptr || a.size() == 0) return Value();
  // The format comes last: (format), (index, format) or (begin, end, format).
  const size_t count = std::min<size_t>(a.size(), 3);
  Object* format = a[count - 1].AsObject();
  if (format == nullptr) return Value();
  size_t begin = 0, end = 0;
  Range(vm, a, count - 1, Length(*field), begin, end);
  field->SetFormat(FormatValuesOf(vm, format), begin, end);
  return Value();
}

Value GetNewTextFormat(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  return field ? Value(FormatObject(vm, field->GetNewFormat())) : Value();
}

Value SetNewTextFormat(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  if (Object* format = a[0].AsObject(); field != nullptr && format != nullptr) {
    field->SetNewFormat(FormatValuesOf(vm, format));
  }
  return Value();
}

Value ReplaceText(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  if (field == nullptr || a.size() < 3) return Value();
  size_t begin = 0, end = 0;
  Range(vm, a, 2, Length(*field), begin, end);
  field->ReplaceText(begin, end, vm.ToString(a[2]));
  return Value();
}

// Without a selection the new text goes at the end.
// The focused field's selection gives way to the text, the caret after it; a field without the
// focus takes the text at its end.
Value ReplaceSel(Vm& vm, const Arguments& a) {
  FieldLink* field = Self(a);
  if (field == nullptr || a.size() == 0) return Value();
  const size_t length = Length(*field);
  if (FocusedObject(vm) != a.self.AsObject()) {
    field->ReplaceText(length, length, vm.ToString(a[0]));
    return Value();
  }
  const auto [anchor, caret] = field->GetSelection();
  const size_t begin = std::min(anchor, caret), end = std::max(anchor, caret);
  field->ReplaceText(begin, end, vm.ToString(a[0]));
  const size_t after = begin + Length(*field) + (end - begin) - length;
  field->SetSelection(after, after);
  return Value();
}

Value RemoveTextField(Vm&, const Arguments& a) {
  if (FieldLink* field = Self(a)) field->Remove();
  return Value();
}

Value GetDepth(Vm&, const Arguments& a) {
  FieldLink* field = Self(a);
  return field ? Value(static_cast<double>(field->Depth())) : Value();
}

Value GetFontList(Vm& vm, const Arguments&) {
  ArrayObject* list = vm.NewArray();
  for (const char* name :
       {"_sans", "_serif", "_typewriter", "Arial", "Courier New", "Times New Roman", "Verdana"}) {
    list->elements.push_back(vm.Str(name));
  }
  return static_cast<Object*>(list);
}

// The room a text would take in this format: its width and height, ascent and descent, and the
// size of a field that holds it (two pixels of gutter on each side).
Value GetTextExtent(Vm& vm, const Arguments& a) {
  Object* self = a.self.AsObject();
  if (self == nullptr || a.size() == 0) return Value();
  const double width = a.size() > 1 ? vm.ToNumber(a[1]) : 0;
  const TextExtent e = vm.bridge().MeasureText(FormatValuesOf(vm, self), vm.ToString(a[0]),
                                               std::isfinite(width) ? width : 0);
  Object* out = vm.NewObject();
  vm.SetOwn(out, "ascent", e.ascent);
  vm.SetOwn(out, "descent", e.descent);
  vm.SetOwn(out, "width", e.width);
  vm.SetOwn(out, "height", e.height);
  vm.SetOwn(out, "textFieldHeight", e.height + 4);
  vm.SetOwn(out, "textFieldWidth", width > 0 ? width : e.width + 4);
  return out;
}

// TextField.prototype's properties, in the order the reference makes them (enumeration shows
// them last first). The last five came with version 8.
constexpr const char* kFieldAccessors[] = {"gridFitType",
                                           "antiAliasType",
                                           "thickness",
                                           "sharpness",
                                           "filters",
                                           "scroll",
                                           "maxscroll",
                                           "borderColor",
                                           "backgroundColor",
                                           "textColor",
                                           "tabIndex",
                                           "autoSize",
                                           "text",
                                           "type",
                                           "htmlText",
                                           "variable",
                                           "hscroll",
                                           "maxhscroll",
                                           "maxChars",
                                           "embedFonts",
                                           "html",
                                           "border",
                                           "background",
                                           "wordWrap",
                                           "password",
                                           "multiline",
                                           "selectable",
                                           "length",
                                           "bottomScroll",
                                           "textWidth",
                                           "textHeight",
                                           "restrict",
                                           "condenseWhite",
                                           "mouseWheelEnabled",
                                           "styleSheet"};
constexpr size_t kVersion8Accessors = 5;

FieldObject* LiveField(const Value& self) {
  Object* o = self.AsObject();
  FieldObject* field = o ? o->AsField() : nullptr;
  return field && field->Link() ? field : nullptr;
}

// A field answers what it keeps natively; of the rest only mouseWheelEnabled has a value
// before a script gives one. Other objects that borrow the prototype read nothing.
template <size_t kIndex>
Value GetFieldAccessor(Vm& vm, const Arguments& a) {
  FieldObject* field = LiveField(a.self);
  if (field == nullptr) return Value();
  Value out;
  if (field->GetNative(vm, kFieldAccessors[kIndex], out)) return out;
  if (std::string_view(kFieldAccessors[kIndex]) == "mouseWheelEnabled") return true;
  return Value();
}

// What the field does not keep natively becomes the field's own property.
template <size_t kIndex>
Value SetFieldAccessor(Vm& vm, const Arguments& a) {
  FieldObject* field = LiveField(a.self);
  if (field == nullptr) return Value();
  if (!field->SetNative(vm, kFieldAccessors[kIndex], a[0])) {
    vm.SetOwn(field, kFieldAccessors[kIndex], a[0]);
  }
  return Value();
}

template <size_t... kIndex>
void DefineFieldAccessors(Vm& vm, Object* proto, std::index_sequence<kIndex...>) {
  const NativeFunction getters[] = {GetFieldAccessor<kIndex>...};
  const NativeFunction setters[] = {SetFieldAccessor<kIndex>...};
  for (size_t i = 0; i < sizeof...(kIndex); ++i) {
    vm.SetOwn(proto, kFieldAccessors[i], Value(), 0);
    Property* p = proto->Properties().Find(kFieldAccessors[i], vm.CaseSensitive());
    p->getter = vm.NewNative(getters[i]);
    p->setter = vm.NewNative(setters[i]);
    if (i < kVersion8Accessors) p->min_version = 8;
  }
}

void InitFormat(Vm& vm, Object* format, const Arguments& a) {
  AddExtentMethod(vm, format);
  for (size_t i = 0; i < std::size(kFormatNames); ++i) {
    vm.SetOwn(format, kFormatNames[i],
              i < kConstructorArguments && i < a.size() ? a[i] : Value::Null());
  }
}

Value FormatConstruct(Vm& vm, const Arguments& a) {
  Object* format = vm.NewObject(a.self.AsObject());
  InitFormat(vm, format, a);
  return format;
}

// Called as super() does: fills in `this`.
Value FormatCall(Vm& vm, const Arguments& a) {
  Object* format = SuperTarget(vm, a.self);
  if (format == nullptr) return Value();
  InitFormat(vm, format, a);
  return format;
}

}  // namespace

void InstallTextFieldClasses(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().field_proto = proto;
  const std::pair<const char*, NativeFunction> methods[] = {
      {"getTextFormat", GetTextFormat},       {"setTextFormat", SetTextFormat},
      {"getNewTextFormat", GetNewTextFormat}, {"setNewTextFormat", SetNewTextFormat},
      {"replaceText", ReplaceText},           {"replaceSel", ReplaceSel},
      {"removeTextField", RemoveTextField},   {"getDepth", GetDepth},
  };
  for (const auto& [name, fn] : methods) vm.DefineMethod(proto, name, fn);
  DefineFieldAccessors(vm, proto, std::make_index_sequence<std::size(kFieldAccessors)>());
  FunctionObject* field = vm.NewClass(proto, Nothing);
  vm.DefineMethod(field, "getFontList", GetFontList);
  vm.DefineValue(vm.Global(), "TextField", static_cast<Object*>(field));

  Object* format_proto = vm.NewObject();
  vm.builtins().textformat_proto = format_proto;
  FunctionObject* format = vm.NewClass(format_proto, FormatCall, FormatConstruct);
  vm.DefineValue(vm.Global(), "TextFormat", static_cast<Object*>(format));
}

}  // namespace lumen::avm1
