#include "stage/FieldHandle.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "avm1/FieldObject.h"
#include "stage/Clip.h"
#include "stage/ScriptHost.h"
#include "unicode/Utf.h"

namespace lumen::stage {

namespace {

using avm1::FieldProperty;
using avm1::FieldValue;

constexpr float kTwips = 20;
constexpr double kPi = 3.14159265358979323846;

double Rgb(render::Rgba c) {
  return static_cast<double>(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
}

render::Rgba FromRgb(double value) {
  const auto rgb = static_cast<uint32_t>(static_cast<int64_t>(value));
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
          static_cast<uint8_t>(rgb), 255};
}

const char* AlignName(text::Align a) {
  switch (a) {
    case text::Align::Right:
      return "right";
    case text::Align::Center:
      return "center";
    case text::Align::Justify:
      return "justify";
    default:
      return "left";
  }
}

avm1::FormatValues ValuesOf(const text::TextFormat& f) {
  avm1::FormatValues v;
  v.font = f.font;
  v.size = f.size;
  v.color = Rgb(f.color);
  v.bold = f.bold;
  v.italic = f.italic;
  v.underline = f.underline;
  v.url = f.url;
  v.target = f.target;
  v.align = AlignName(f.align);
  v.left_margin = f.left_margin;
  v.right_margin = f.right_margin;
  v.indent = f.indent;
  v.leading = f.leading;
  v.block_indent = f.block_indent;
  v.bullet = f.bullet;
  v.letter_spacing = f.letter_spacing;
  v.kerning = f.kerning;
  return v;
}

// Leaves in `into` only the values `other` shares.
void KeepCommon(avm1::FormatValues& into, const avm1::FormatValues& other) {
  auto keep = [](auto& a, const auto& b) {
    if (a != b) a.reset();
  };
  keep(into.font, other.font);
  keep(into.size, other.size);
  keep(into.color, other.color);
  keep(into.bold, other.bold);
  keep(into.italic, other.italic);
  keep(into.underline, other.underline);
  keep(into.url, other.url);
  keep(into.target, other.target);
  keep(into.align, other.align);
  keep(into.left_margin, other.left_margin);
  keep(into.right_margin, other.right_margin);
  keep(into.indent, other.indent);
  keep(into.leading, other.leading);
  keep(into.block_indent, other.block_indent);
  keep(into.bullet, other.bullet);
  keep(into.letter_spacing, other.letter_spacing);
  keep(into.kerning, other.kerning);
}

const char* AutoSizeName(text::AutoSize a) {
  switch (a) {
    case text::AutoSize::Left:
      return "left";
    case text::AutoSize::Center:
      return "center";
    case text::AutoSize::Right:
      return "right";
    default:
      return "none";
  }
}

text::AutoSize AutoSizeFrom(std::string_view name) {
  if (name == "left") return text::AutoSize::Left;
  if (name == "center") return text::AutoSize::Center;
  if (name == "right") return text::AutoSize::Right;
  return text::AutoSize::None;
}

}  // namespace

void ApplyFormat(const avm1::FormatValues& v, text::TextFormat& f) {
  auto number = [](const std::optional<double>& from, float& to) {
    if (from) to = static_cast<float>(*from);
  };
  if (v.font) f.font = *v.font;
  number(v.size, f.size);
  if (v.color) f.color = FromRgb(*v.color);
  if (v.bold) f.bold = *v.bold;
  if (v.italic) f.italic = *v.italic;
  if (v.underline) f.underline = *v.underline;
  if (v.url) f.url = *v.url;
  if (v.target) f.target = *v.target;
  if (v.align == "left") f.align = text::Align::Left;
  if (v.align == "right") f.align = text::Align::Right;
  if (v.align == "center") f.align = text::Align::Center;
  if (v.align == "justify") f.align = text::Align::Justify;
  number(v.left_margin, f.left_margin);
  number(v.right_margin, f.right_margin);
  number(v.indent, f.indent);
  number(v.leading, f.leading);
  number(v.block_indent, f.block_indent);
  if (v.bullet) f.bullet = *v.bullet;
  number(v.letter_spacing, f.letter_spacing);
  if (v.kerning) f.kerning = *v.kerning;
}

FieldHandle::~FieldHandle() {
  if (script_ != nullptr) script_->Unlink();
}

avm1::FieldObject* FieldHandle::Script() {
  if (script_ == nullptr && owner_.Scripts() != nullptr) {
    script_ = owner_.Scripts()->Engine().MakeFieldObject(*this);
  }
  return script_;
}

avm1::ClipLink* FieldHandle::Parent() {
  return &owner_;
}

render::Point FieldHandle::ToLocal(render::Point stage) {
  const Placement* place = Place();
  if (place == nullptr) return stage;
  return Inverse(owner_.GlobalMatrix() * place->matrix).Apply(stage);
}

Placement* FieldHandle::Place() {
  DisplayObject* entry = owner_.FieldEntry(*this);
  return entry ? &entry->place : nullptr;
}

int32_t FieldHandle::Depth() {
  const Placement* p = Place();
  return p ? p->depth - kScriptDepthBias : 0;
}

FieldHandle::Scales& FieldHandle::ScalesOf(const render::Matrix& m) {
  Scales& k = scales_;
  if (k.valid && k.made.a == m.a && k.made.b == m.b && k.made.c == m.c && k.made.d == m.d) {
    return k;
  }
  k.made = m;
  k.x = std::hypot(m.a, m.b) * 100;
  k.y = std::hypot(m.c, m.d) * 100;
  k.rotation = std::atan2(m.b, m.a) * 180 / kPi;
  k.valid = true;
  return k;
}

double FieldHandle::Get(avm1::ClipProperty property) {
  using P = avm1::ClipProperty;
  const Placement* p = Place();
  if (p == nullptr) return 0;
  const render::Matrix& m = p->matrix;
  const render::Rect& b = field_.Bounds();
  switch (property) {
    case P::X:
      return m.tx / 20.0;
    case P::Y:
      return m.ty / 20.0;
    case P::XScale:
      return ScalesOf(m).x;
    case P::YScale:
      return ScalesOf(m).y;
    case P::Rotation:
      return ScalesOf(m).rotation;
    case P::Alpha:
      return p->cxform.mul_a * 100.0;
    case P::Visible:
      return p->visible ? 1 : 0;
    case P::Width:
      return (b.x_max - b.x_min) * std::hypot(m.a, m.b) / 20.0;
    case P::Height:
      return (b.y_max - b.y_min) * std::hypot(m.c, m.d) / 20.0;
    default:
      return 0;
  }
}

void FieldHandle::Set(avm1::ClipProperty property, double value) {
  using P = avm1::ClipProperty;
  Placement* p = Place();
  if (p == nullptr) return;
  render::Matrix& m = p->matrix;
  const auto twips = static_cast<float>(std::trunc(std::clamp(value, -1e7, 1e7) * kTwips));
  switch (property) {
    case P::X:
      m.tx = twips;
      break;
    case P::Y:
      m.ty = twips;
      break;
    case P::Alpha:
      p->cxform.mul_a = static_cast<float>(value / 100);
      break;
    case P::Visible:
      p->visible = value != 0;
      break;
    case P::Width:
    case P::Height: {
      // A field's size is its box, not a scale.
      render::Rect b = field_.Bounds();
      const double scale = property == P::Width ? std::hypot(m.a, m.b) : std::hypot(m.c, m.d);
      if (scale == 0 || value < 0) return;
      const auto size = static_cast<float>(std::trunc(std::min(value * kTwips / scale, 1e8)));
      (property == P::Width ? b.x_max : b.y_max) =
          (property == P::Width ? b.x_min : b.y_min) + size;
      field_.SetBounds(b);
      break;
    }
    case P::XScale:
    case P::YScale:
    case P::Rotation: {
      Scales& k = ScalesOf(m);
      if (property == P::Rotation) {
        k.rotation = std::remainder(value, 360.0);
        if (k.rotation == -180) k.rotation = 180;
      } else {
        (property == P::XScale ? k.x : k.y) = value;
      }
      const double r = k.rotation * kPi / 180;
      m.a = static_cast<float>(k.x / 100 * std::cos(r));
      m.b = static_cast<float>(k.x / 100 * std::sin(r));
      m.c = static_cast<float>(-k.y / 100 * std::sin(r));
      m.d = static_cast<float>(k.y / 100 * std::cos(r));
      k.made = m;
      break;
    }
    default:
      return;
  }
}

FieldValue FieldHandle::Get(FieldProperty property) {
  const text::TextField::Look& look = field_.Appearance();
  switch (property) {
    case FieldProperty::Text:
      return field_.Text();
    case FieldProperty::HtmlText:
      return field_.HtmlText();
    case FieldProperty::Html:
      return field_.Html();
    case FieldProperty::TextColor:  // the field's own colour, whatever its text is marked up with
      return Rgb(field_.NewTextFormat().color);
    case FieldProperty::Border:
      return look.border;
    case FieldProperty::BorderColor:
      return Rgb(look.border_color);
    case FieldProperty::Background:
      return look.background;
    case FieldProperty::BackgroundColor:
      return Rgb(look.background_color);
    case FieldProperty::WordWrap:
      return look.word_wrap;
    case FieldProperty::Multiline:
      return look.multiline;
    case FieldProperty::Password:
      return look.password;
    case FieldProperty::Selectable:
      return look.selectable;
    case FieldProperty::EmbedFonts:
      return look.embed_fonts;
    case FieldProperty::CondenseWhite:
      return look.condense_white;
    case FieldProperty::AutoSize:
      return std::string(AutoSizeName(look.auto_size));
    case FieldProperty::Type:
      return std::string(look.input ? "input" : "dynamic");
    case FieldProperty::Variable:
      return std::string(field_.Variable());
    case FieldProperty::MaxChars:
      return static_cast<double>(look.max_chars);
    case FieldProperty::Scroll:
      return static_cast<double>(field_.Scroll());
    case FieldProperty::MaxScroll:
      return static_cast<double>(field_.MaxScroll());
    case FieldProperty::BottomScroll:
      return static_cast<double>(field_.BottomScroll());
    case FieldProperty::TextWidth:
      return std::trunc(field_.Layout().text_width / kTwips);
    case FieldProperty::TextHeight:
      return std::trunc(field_.Layout().text_height / kTwips);
    case FieldProperty::Length:
      return static_cast<double>(field_.Content().text.size());
    default:
      return 0.0;
  }
}

void FieldHandle::Set(FieldProperty property, const FieldValue& value) {
  const std::string* s = std::get_if<std::string>(&value);
  const double* n = std::get_if<double>(&value);
  switch (property) {
    case FieldProperty::Text:
      if (s) field_.SetText(*s);
      return;
    case FieldProperty::HtmlText:
      if (s && field_.Html()) field_.SetHtmlText(*s);
      if (s && !field_.Html()) field_.SetText(*s);
      return;
    case FieldProperty::Html:
      if (const bool* b = std::get_if<bool>(&value)) field_.SetHtml(*b);
      return;
    case FieldProperty::TextColor:
      if (n) {
        const render::Rgba color = FromRgb(*n);
        text::FormattedText content = field_.Content();
        content.Restyle(0, content.text.size(), [&](text::TextFormat& f) { f.color = color; });
        field_.SetContent(std::move(content));
        text::TextFormat format = field_.NewTextFormat();
        format.color = color;
        field_.SetNewTextFormat(format);
      }
      return;
    case FieldProperty::Variable:
      if (s) field_.SetVariable(*s);
      return;
    case FieldProperty::Scroll:
      if (n) field_.SetScroll(*n);
      return;
    default:
      SetLook(property, value);
  }
}

void FieldHandle::SetLook(FieldProperty property, const FieldValue& value) {
  text::TextField::Look look = field_.Appearance();
  const bool* b = std::get_if<bool>(&value);
  const double* n = std::get_if<double>(&value);
  const std::string* s = std::get_if<std::string>(&value);
  auto flag = [&](bool& slot) {
    if (b) slot = *b;
  };
  switch (property) {
    case FieldProperty::Border:
      flag(look.border);
      break;
    case FieldProperty::Background:
      flag(look.background);
      break;
    case FieldProperty::BorderColor:
      if (n) look.border_color = FromRgb(*n);
      break;
    case FieldProperty::BackgroundColor:
      if (n) look.background_color = FromRgb(*n);
      break;
    case FieldProperty::WordWrap:
      flag(look.word_wrap);
      break;
    case FieldProperty::Multiline:
      flag(look.multiline);
      break;
    case FieldProperty::Password:
      flag(look.password);
      break;
    case FieldProperty::Selectable:
      flag(look.selectable);
      break;
    case FieldProperty::EmbedFonts:
      flag(look.embed_fonts);
      break;
    case FieldProperty::CondenseWhite:
      flag(look.condense_white);
      break;
    case FieldProperty::AutoSize:
      if (s) look.auto_size = AutoSizeFrom(*s);
      break;
    case FieldProperty::Type:
      if (s && (*s == "input" || *s == "dynamic")) look.input = *s == "input";
      break;
    case FieldProperty::MaxChars:
      if (n) look.max_chars = static_cast<uint16_t>(std::clamp(*n, 0.0, 65535.0));
      break;
    default:
      return;  // read-only
  }
  field_.SetAppearance(look);
}

avm1::FormatValues FieldHandle::GetFormat(size_t begin, size_t end) {
  const text::FormattedText& content = field_.Content();
  if (begin >= end || content.runs.empty()) {
    return ValuesOf(begin < content.text.size() ? content.FormatAt(begin) : field_.NewTextFormat());
  }
  avm1::FormatValues common = ValuesOf(content.FormatAt(begin));
  size_t start = 0;
  for (const text::FormatRun& run : content.runs) {
    if (run.end > begin && start < end) KeepCommon(common, ValuesOf(run.format));
    start = run.end;
  }
  return common;
}

void FieldHandle::SetFormat(const avm1::FormatValues& format, size_t begin, size_t end) {
  text::FormattedText content = field_.Content();
  content.Restyle(begin, end, [&](text::TextFormat& f) { ApplyFormat(format, f); });
  field_.SetContent(std::move(content));
}

avm1::FormatValues FieldHandle::GetNewFormat() {
  return ValuesOf(field_.NewTextFormat());
}

void FieldHandle::SetNewFormat(const avm1::FormatValues& format) {
  text::TextFormat f = field_.NewTextFormat();
  ApplyFormat(format, f);
  field_.SetNewTextFormat(f);
}

void FieldHandle::SetStyledHtml(std::string_view html, const avm1::StyleRules& styles) {
  std::unordered_map<std::string_view, const avm1::FormatValues*> by_selector;
  for (const auto& [name, values] : styles) by_selector[name] = &values;
  field_.SetHtmlText(html, [&by_selector](std::string_view selector, text::TextFormat& format) {
    if (auto it = by_selector.find(selector); it != by_selector.end()) {
      ApplyFormat(*it->second, format);
    }
  });
}

std::string FieldHandle::MarkedUpText() {
  return text::WriteHtml(field_.Content());
}

void FieldHandle::ReplaceText(size_t begin, size_t end, std::string_view text) {
  text::FormattedText content = field_.Content();
  content.Replace(begin, end, unicode::ToUtf16(text), field_.NewTextFormat());
  field_.SetContent(std::move(content));
}

namespace {

std::optional<text::EditKey> EditingKey(uint16_t code) {
  switch (code) {
    case 8:
      return text::EditKey::Backspace;
    case 13:
      return text::EditKey::Enter;
    case 35:
      return text::EditKey::End;
    case 36:
      return text::EditKey::Home;
    case 37:
      return text::EditKey::Left;
    case 38:
      return text::EditKey::Up;
    case 39:
      return text::EditKey::Right;
    case 40:
      return text::EditKey::Down;
    case 46:
      return text::EditKey::Delete;
    default:
      return std::nullopt;
  }
}

}  // namespace

void FieldHandle::KeyPressed(uint16_t code, uint16_t ascii, bool shift) {
  if (!field_.Appearance().input) return;
  const text::EditRules rules = Rules();
  const std::optional<text::EditKey> key = EditingKey(code);
  const bool changed =
      key ? field_.Press(*key, shift, rules) : field_.Type(static_cast<char16_t>(ascii), rules);
  if (changed) TextTyped();
}

void FieldHandle::Edit(text::EditKey key, bool shift) {
  if (field_.Appearance().input && field_.Press(key, shift, Rules())) TextTyped();
}

void FieldHandle::Paste(std::string_view utf8) {
  if (field_.Appearance().input && field_.Paste(unicode::ToUtf16(utf8), Rules())) TextTyped();
}

// restrict is kept as the script object's own value: null or undefined (or none) lets all in.
// It is read without running script (no getter, no toString), which could remove the field.
text::EditRules FieldHandle::Rules() {
  text::EditRules rules;
  rules.multiline = field_.Appearance().multiline;
  rules.max_chars = field_.Appearance().max_chars;
  avm1::FieldObject* script = Script();
  ScriptHost* scripts = owner_.Scripts();
  if (script == nullptr || scripts == nullptr) return rules;
  avm1::Vm& vm = scripts->Engine();
  const avm1::Property* own = script->Properties().Find("restrict", vm.CaseSensitive());
  if (own != nullptr && own->getter == nullptr && !own->value.IsNullish()) {
    const avm1::Value& value = own->value;
    if (value.AsObject() == nullptr)
      rules.filter = text::CharFilter(unicode::ToUtf16(vm.ToString(value)));
  }
  return rules;
}

void FieldHandle::TextTyped() {
  ScriptHost* scripts = owner_.Scripts();
  if (scripts == nullptr) return;
  avm1::Vm& vm = scripts->Engine();
  const std::string text = field_.Text();
  const std::string variable(field_.Variable());
  avm1::ClipObject* clip = variable.empty() ? nullptr : owner_.ScriptObject();
  avm1::FieldObject* script = Script();
  if (clip != nullptr) field_.VariableWritten(text);
  // The scripts below may remove the field: nothing of it is touched after them.
  if (clip != nullptr) vm.WriteBound(clip, variable, text);
  if (script != nullptr) {
    const avm1::Value self = static_cast<avm1::Object*>(script);
    vm.CallMethod(self, "onChanged", {&self, 1});
  }
}

void FieldHandle::Remove() {
  owner_.RemoveField(*this);
}

}  // namespace lumen::stage
