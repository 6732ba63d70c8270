#include "avm1/FieldObject.h"

#include <cmath>

#include "avm1/ClipObject.h"
#include "avm1/Heap.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"
#include "avm1/builtins/StyleSheetClass.h"

namespace lumen::avm1 {

namespace {

constexpr std::string_view kStyleSheet = "styleSheet";

constexpr std::string_view kFieldNames[] = {
    "text",       "htmlText",        "html",     "textColor",  "border",    "borderColor",
    "background", "backgroundColor", "wordWrap", "multiline",  "password",  "selectable",
    "embedFonts", "autoSize",        "type",     "variable",   "maxChars",  "scroll",
    "maxscroll",  "bottomScroll",    "hscroll",  "maxhscroll", "textWidth", "textHeight",
    "length",     "condenseWhite"};
static_assert(std::size(kFieldNames) == static_cast<size_t>(FieldProperty::Count));

enum class Kind : uint8_t { Number, Boolean, String };

Kind KindOf(FieldProperty p) {
  switch (p) {
    case FieldProperty::Text:
    case FieldProperty::HtmlText:
    case FieldProperty::AutoSize:
    case FieldProperty::Type:
    case FieldProperty::Variable:
      return Kind::String;
    case FieldProperty::Html:
    case FieldProperty::Border:
    case FieldProperty::Background:
    case FieldProperty::WordWrap:
    case FieldProperty::Multiline:
    case FieldProperty::Password:
    case FieldProperty::Selectable:
    case FieldProperty::EmbedFonts:
    case FieldProperty::CondenseWhite:
      return Kind::Boolean;
    default:
      return Kind::Number;
  }
}

Value ToValue(Vm& vm, const FieldValue& v) {
  if (const double* n = std::get_if<double>(&v)) return *n;
  if (const bool* b = std::get_if<bool>(&v)) return *b;
  return vm.Str(std::get<std::string>(v));
}

// What an assignment hands the stage; nothing when the value changes nothing.
std::optional<FieldValue> FromValue(Vm& vm, FieldProperty p, const Value& v) {
  if (p == FieldProperty::Variable && v.IsNullish()) return FieldValue(std::string());
  if (p == FieldProperty::AutoSize && v.IsBoolean()) {
    return FieldValue(std::string(v.AsBoolean() ? "left" : "none"));
  }
  switch (KindOf(p)) {
    case Kind::String:
      return FieldValue(vm.ToString(v));
    case Kind::Boolean:
      return FieldValue(vm.ToBoolean(v));
    case Kind::Number: {
      const double n = vm.ToNumber(v);
      if (!std::isfinite(n)) return std::nullopt;
      return FieldValue(n);
    }
  }
  return std::nullopt;
}

}  // namespace

bool FindFieldProperty(std::string_view name, bool case_sensitive, FieldProperty& out) {
  for (size_t i = 0; i < std::size(kFieldNames); ++i) {
    if (SameName(name, kFieldNames[i], case_sensitive)) {
      out = static_cast<FieldProperty>(i);
      return true;
    }
  }
  return false;
}

bool FieldObject::GetNative(Vm& vm, std::string_view name, Value& out) {
  if (link_ == nullptr) return false;
  if (Properties().Find(name, vm.CaseSensitive()) != nullptr) return false;
  ClipProperty display;
  if (FindClipProperty(name, display)) {
    switch (display) {
      case ClipProperty::Name:
        out = vm.Str(link_->Name());
        return true;
      case ClipProperty::Target: {
        ClipLink* parent = link_->Parent();
        std::string path = parent ? vm.SlashTargetPath(parent->Script()) : std::string();
        if (path != "/") path += "/";
        out = vm.Str(path + link_->Name());
        return true;
      }
      case ClipProperty::Visible:
        out = link_->Get(display) != 0;
        return true;
      default:
        out = link_->Get(display);
        return true;
    }
  }
  if (SameName(name, "_parent", false)) {
    ClipLink* parent = link_->Parent();
    out = parent ? Value(static_cast<Object*>(parent->Script())) : Value();
    return true;
  }
  if (SameName(name, kStyleSheet, vm.CaseSensitive())) {
    out = style_sheet_ ? Value(style_sheet_) : Value();
    return true;
  }
  FieldProperty property;
  if (!FindFieldProperty(name, vm.CaseSensitive(), property)) return false;
  if (property == FieldProperty::HtmlText && style_sheet_ != nullptr) {
    out = vm.Str(styled_source_ ? *styled_source_ : link_->MarkedUpText());
    return true;
  }
  out = ToValue(vm, link_->Get(property));
  return true;
}

bool FieldObject::SetNative(Vm& vm, std::string_view name, const Value& value) {
  if (link_ == nullptr) return false;
  if (SetTabIndex(vm, *this, name, value)) return true;
  ClipProperty display;
  if (FindClipProperty(name, display)) {
    double n = 0;
    if (display == ClipProperty::Name) {
      link_->SetName(vm.ToString(value));
    } else if (display == ClipProperty::Visible) {
      link_->Set(display, vm.ToBoolean(value) ? 1 : 0);
    } else if (PropertyNumber(vm, value, n)) {
      link_->Set(display, n);
    }
    return true;
  }
  if (SameName(name, kStyleSheet, vm.CaseSensitive())) {
    SetStyleSheet(vm, value);
    return true;
  }
  FieldProperty property;
  if (!FindFieldProperty(name, vm.CaseSensitive(), property)) return false;
  const bool text = property == FieldProperty::Text || property == FieldProperty::HtmlText;
  if (text && style_sheet_ != nullptr) {
    SetStyledText(vm, vm.ToString(value));
    return true;
  }
  if (text) styled_source_.reset();
  if (const auto v = FromValue(vm, property, value)) link_->Set(property, *v);
  return true;
}

void FieldObject::SetStyleSheet(Vm& vm, const Value& value) {
  Object* sheet = value.AsObject();
  const bool display =
      sheet != nullptr && (sheet->AsClip() != nullptr || sheet->AsField() != nullptr);
  style_sheet_ = display ? nullptr : sheet;
  if (style_sheet_ != nullptr && styled_source_) SetStyledText(vm, *styled_source_);
}

void FieldObject::SetStyledText(Vm& vm, std::string source) {
  link_->SetStyledHtml(source, StyleSheetRules(vm, style_sheet_));
  styled_source_ = std::move(source);
}

void FieldObject::Trace(Heap& heap) {
  Object::Trace(heap);
  heap.Mark(style_sheet_);
}

}  // namespace lumen::avm1
