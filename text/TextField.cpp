#include "text/TextField.h"

#include <algorithm>
#include <cmath>

#include "text/GlyphPainter.h"
#include "text/Html.h"
#include "unicode/Utf.h"

namespace lumen::text {

namespace {

constexpr float kTwipsPerPixel = 20;
constexpr float kGutter = 2 * kTwipsPerPixel;  // between the field's edge and its text
constexpr render::Rgba kSelection{0, 0, 0, 255};
constexpr render::Rgba kSelectedText{255, 255, 255, 255};

TextFormat FormatOf(const EditTextDef& def, FontLibrary& fonts) {
  TextFormat f;
  if (!def.font_class.empty()) f.font = def.font_class;
  if (def.font_id) {
    if (const Font* font = fonts.ById(*def.font_id); font != nullptr && !font->name.empty()) {
      f.font = font->name;
      // HTML text starts plain whatever style the field's font has: its tags choose styles.
      f.bold = font->bold && !def.Has(kHtml);
      f.italic = font->italic && !def.Has(kHtml);
    }
  }
  f.size = def.height / kTwipsPerPixel;
  f.color = def.color;
  f.align = def.align;
  f.left_margin = def.left_margin / kTwipsPerPixel;
  f.right_margin = def.right_margin / kTwipsPerPixel;
  f.indent = def.indent / kTwipsPerPixel;
  f.leading = def.leading / kTwipsPerPixel;
  return f;
}

}  // namespace

// Embedded glyphs when the field uses outlines (by the format's font name, or the definition's
// own font), device fonts otherwise.
class TextField::Resolver final : public FontResolver {
 public:
  explicit Resolver(TextField& field) : field_(field) {}
  const Font* Resolve(const TextFormat& format) override {
    if (!field_.look_.embed_fonts) return field_.device_ ? field_.device_(format) : nullptr;
    if (const Font* font = field_.embedded_.ByName(format.font, format.bold, format.italic)) {
      return font;
    }
    return field_.def_.font_id ? field_.embedded_.ById(*field_.def_.font_id) : nullptr;
  }

 private:
  TextField& field_;
};

TextField::TextField(const EditTextDef& def, FontLibrary& embedded, DeviceFontLookup device)
    : def_(def),
      embedded_(embedded),
      device_(std::move(device)),
      html_(def.Has(kHtml)),
      new_format_(FormatOf(def, embedded)),
      bounds_(def.bounds),
      variable_(def.variable) {
  look_.border = look_.background = def.Has(kBorder);
  look_.word_wrap = def.Has(kWordWrap);
  look_.multiline = def.Has(kMultiline);
  look_.password = def.Has(kPassword);
  look_.auto_size = def.Has(kAutoSize) ? AutoSize::Left : AutoSize::None;
  look_.embed_fonts = def.Has(kUseOutlines);
  look_.selectable = !def.Has(kNoSelect);
  look_.input = !def.Has(kReadOnly);
  look_.max_chars = def.max_length;
  if (html_) {
    SetHtmlText(def.initial_text);
  } else {
    SetText(def.initial_text);
  }
}

std::string TextField::Text() const {
  return unicode::ToUtf8(text_.text);
}

void TextField::SetText(std::string_view utf8) {
  text_.Clear();
  std::u16string chars = unicode::ToUtf16(utf8);
  for (char16_t& c : chars) {
    if (c == u'\n') c = u'\r';
  }
  text_.Append(chars, new_format_);
  Changed();
}

void TextField::SetHtmlText(std::string_view utf8, const StyleSheet& styles) {
  HtmlOptions options;
  options.condense_white = look_.condense_white;
  options.multiline = look_.multiline;
  options.styles = styles;
  text_ = ParseHtml(utf8, new_format_, options);
  Changed();
}

void TextField::SetVariable(std::string_view name) {
  variable_ = std::string(name);
  variable_shown_ = false;
}

std::string TextField::HtmlText() const {
  return html_ ? WriteHtml(text_) : Text();
}

void TextField::SetContent(FormattedText text) {
  text_ = std::move(text);
  Changed();
}

void TextField::SetScroll(double line) {
  const double top = std::clamp(line, 1.0, static_cast<double>(MaxScroll()));
  scroll_ = static_cast<size_t>(top);
  Changed();
}

// The last line that can be the top one: where the lines below it all fit.
size_t TextField::MaxScroll() {
  const TextLayout& layout = Layout();
  const float room = bounds_.y_max - bounds_.y_min - 2 * kGutter;
  if (layout.lines.empty()) return 1;
  const float bottom = layout.text_height;
  size_t top = 0;
  while (top + 1 < layout.lines.size() && bottom - layout.lines[top].top > room) ++top;
  return top + 1;
}

size_t TextField::BottomScroll() {
  const TextLayout& layout = Layout();
  if (layout.lines.empty()) return 1;
  const size_t first = std::min(scroll_, layout.lines.size()) - 1;
  const float limit = layout.lines[first].top + bounds_.y_max - bounds_.y_min - 2 * kGutter;
  size_t last = first;
  while (last + 1 < layout.lines.size()) {
    const TextLine& next = layout.lines[last + 1];
    if (next.top + next.ascent + next.descent > limit) break;
    ++last;
  }
  return last + 1;
}

void TextField::ShowVariable(std::string_view value) {
  if (variable_shown_ && value == variable_value_) return;
  variable_shown_ = true;
  variable_value_ = std::string(value);
  if (html_) {
    SetHtmlText(value);
  } else {
    SetText(value);
  }
}

void TextField::VariableWritten(std::string_view value) {
  variable_shown_ = true;
  variable_value_ = std::string(value);
}

void TextField::Select(size_t anchor, size_t caret) {
  editor_.Select(anchor, caret, text_.text.size());
  if (caret_shown_) Changed();
}

void TextField::ShowCaret(bool shown) {
  if (shown == caret_shown_) return;
  caret_shown_ = shown;
  Changed();
}

size_t TextField::IndexAt(render::Point p) {
  Update();
  if (layout_.lines.empty()) return 0;
  const size_t first = std::min(scroll_, layout_.lines.size()) - 1;
  const float x = p.x - bounds_.x_min - kGutter;
  const float y = p.y - bounds_.y_min - kGutter + layout_.lines[first].top;
  size_t l = first;
  while (l + 1 < layout_.lines.size() && layout_.lines[l + 1].top <= y) ++l;
  const TextLine& line = layout_.lines[l];
  size_t best = line.first_char;
  for (size_t i = line.first_char; i <= line.end_char && i < layout_.char_x.size(); ++i) {
    if (std::abs(layout_.char_x[i] - x) < std::abs(layout_.char_x[best] - x)) best = i;
  }
  return best;
}

std::optional<size_t> TextField::CharAt(render::Point p) {
  Update();
  if (layout_.lines.empty()) return std::nullopt;
  const size_t first = std::min(scroll_, layout_.lines.size()) - 1;
  const float x = p.x - bounds_.x_min - kGutter;
  const float y = p.y - bounds_.y_min - kGutter + layout_.lines[first].top;
  for (size_t l = first; l < layout_.lines.size(); ++l) {
    const TextLine& line = layout_.lines[l];
    if (y < line.top || y >= line.top + line.ascent + line.descent + line.leading) continue;
    // A line's last character ends where its ink does: the next line may have moved its end.
    for (size_t i = line.first_char; i < line.end_char && i + 1 < layout_.char_x.size(); ++i) {
      const float right = i + 1 < line.end_char ? layout_.char_x[i + 1] : line.left + line.width;
      if (x >= layout_.char_x[i] && x < right) return i;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

bool TextField::Type(char16_t c, const EditRules& rules) {
  return Apply(editor_.Type(text_.text, c, rules));
}

bool TextField::Paste(std::u16string_view chars, const EditRules& rules) {
  return Apply(editor_.Paste(text_.text, chars, rules));
}

bool TextField::Press(EditKey key, bool shift, const EditRules& rules) {
  Update();
  const size_t anchor = editor_.Anchor(), caret = editor_.Caret();
  const CaretLines lines{layout_.lines, layout_.char_x};
  const bool changed = Apply(editor_.Press(text_.text, key, shift, rules, &lines));
  if (editor_.Anchor() != anchor || editor_.Caret() != caret) Changed();
  return changed;
}

// Typed text takes the format new text gets.
bool TextField::Apply(const std::optional<FieldEditor::Edit>& edit) {
  if (!edit) return false;
  text_.Replace(edit->begin, edit->end, edit->chars, new_format_);
  Changed();
  return true;
}

// A line a pixel wide over the height of the caret's line, in the colour of the text there.
void TextField::DrawCaret(GlyphPainter& painter, float x0, float y0) {
  const size_t at = editor_.Caret();
  if (layout_.lines.empty() || at >= layout_.char_x.size()) return;
  auto line = std::upper_bound(layout_.lines.begin() + 1, layout_.lines.end(), at,
                               [](size_t i, const TextLine& l) { return i < l.first_char; });
  --line;
  // On the nearest whole pixel, half-way going left; after a character, on the pixel before
  // that boundary, inside the character, and at a line's start on the one after it.
  const float before = at > line->first_char ? kTwipsPerPixel : 0;
  const float x =
      std::ceil((x0 + layout_.char_x[at]) / kTwipsPerPixel - 0.5f) * kTwipsPerPixel - before;
  const float top = y0 + line->top;
  const TextFormat& format = text_.runs.empty() ? new_format_ : text_.FormatAt(at);
  painter.Rectangle({x, top, x + kTwipsPerPixel, top + line->ascent + line->descent}, format.color);
}

// Selected text stands white on black over the height of its line.
void TextField::DrawSelection(GlyphPainter& painter, const TextLine& line, float x0, float y0) {
  const size_t from = std::max(editor_.Begin(), line.first_char);
  const size_t to = std::min(editor_.End(), line.end_char);
  if (from >= to || to >= layout_.char_x.size()) return;
  const float top = y0 + line.top;
  painter.Rectangle(
      {x0 + layout_.char_x[from], top, x0 + layout_.char_x[to], top + line.ascent + line.descent},
      kSelection);
}

void TextField::SetAppearance(const Look& look) {
  if (look == look_) return;
  look_ = look;
  Changed();
}

const render::Rect& TextField::Bounds() {
  Update();
  return bounds_;
}

void TextField::SetBounds(const render::Rect& bounds) {
  bounds_ = bounds;
  Changed();
}

const TextLayout& TextField::Layout() {
  Update();
  return layout_;
}

const render::ShapeGeometry& TextField::Geometry() {
  Update();
  return geometry_;
}

bool TextField::Overflows() {
  Update();
  return overflows_;
}

const render::ShapeGeometry& TextField::Box() {
  Update();
  return box_;
}

// Auto-sizing keeps the field's anchor (left, centre or right) and grows or shrinks it around
// the text; wrapped fields keep their width.
void TextField::Fit(float width, float height) {
  bounds_.y_max = bounds_.y_min + height;
  if (look_.word_wrap) return;
  const float old_width = bounds_.x_max - bounds_.x_min;
  if (look_.auto_size == AutoSize::Center) bounds_.x_min += (old_width - width) / 2;
  if (look_.auto_size == AutoSize::Right) bounds_.x_min += old_width - width;
  bounds_.x_max = bounds_.x_min + width;
}

// A field's text is drawn in white tinted by its colour, the tint held in 8.8 fixed point: most
// channels come out a step darker than the colour named.
render::Rgba TextField::Tinted(render::Rgba color) {
  auto tint = [](uint8_t c) { return static_cast<uint8_t>(255 * (c * 256 / 255) >> 8); };
  return {tint(color.r), tint(color.g), tint(color.b), color.a};
}

std::atomic<uint64_t> TextField::revision_{0};

void TextField::Update() {
  if (!dirty_) return;
  dirty_ = false;
  revision_.fetch_add(1, std::memory_order_relaxed);
  Resolver resolver(*this);
  LayoutOptions options;
  options.word_wrap = look_.word_wrap;
  options.password = look_.password;
  options.width = bounds_.x_max - bounds_.x_min - 2 * kGutter;
  // An empty field's line stands in the format new text gets: the caret's height and place.
  if (text_.runs.empty()) {
    FormattedText empty;
    empty.runs.push_back({0, new_format_});
    layout_ = LayOut(empty, options, resolver);
  } else {
    layout_ = LayOut(text_, options, resolver);
  }
  if (look_.auto_size != AutoSize::None) {
    Fit(layout_.text_width + 2 * kGutter, layout_.text_height + 2 * kGutter);
  }
  GlyphPainter painter;
  if (look_.background) painter.Rectangle(bounds_, look_.background_color);
  const float inner_bottom = bounds_.y_max - kGutter;
  const size_t first = std::min(scroll_, std::max<size_t>(layout_.lines.size(), 1)) - 1;
  const float scrolled = first < layout_.lines.size() ? layout_.lines[first].top : 0;
  const float x0 = bounds_.x_min + kGutter, y0 = bounds_.y_min + kGutter - scrolled;
  const bool selecting = caret_shown_ && editor_.Begin() < editor_.End();
  for (size_t l = first; l < layout_.lines.size(); ++l) {
    const TextLine& line = layout_.lines[l];
    if (y0 + line.top >= inner_bottom && l != first) break;
    if (selecting) DrawSelection(painter, line, x0, y0);
    for (size_t i = line.first_glyph; i < line.end_glyph; ++i) {
      const PlacedGlyph& g = layout_.glyphs[i];
      const bool selected = selecting && editor_.Begin() <= g.index && g.index < editor_.End();
      painter.Glyph(*g.glyph, selected ? kSelectedText : Tinted(g.color),
                    render::Matrix{g.scale, 0, 0, g.scale, x0 + g.x, y0 + g.baseline});
    }
  }
  for (const Underline& u : layout_.underlines) {
    painter.Rectangle({x0 + u.rect.x_min, y0 + u.rect.y_min, x0 + u.rect.x_max, y0 + u.rect.y_max},
                      u.color);
  }
  const render::Rect ink = painter.Extent();
  overflows_ = !ink.Empty() && (ink.x_min < bounds_.x_min || ink.y_min < bounds_.y_min ||
                                ink.x_max > bounds_.x_max || ink.y_max > bounds_.y_max);
  if (caret_shown_ && editor_.Begin() == editor_.End()) DrawCaret(painter, x0, y0);
  geometry_ = painter.Take();
  // The field's area counts even where it shows nothing: hit tests and bounds see all of it,
  // and its border, a pixel past its last row and column.
  render::Rect& b = geometry_.bounds;
  if (geometry_.parts.empty()) b = bounds_;
  painter.Rectangle(bounds_, {0, 0, 0, 255});
  box_ = painter.Take();
  const float edge = look_.border ? kTwipsPerPixel : 0;
  b = {std::min(b.x_min, bounds_.x_min), std::min(b.y_min, bounds_.y_min),
       std::max(b.x_max, bounds_.x_max + edge), std::max(b.y_max, bounds_.y_max + edge)};
}

const render::ShapeGeometry* TextField::Border(const render::Matrix& m) {
  Update();
  if (!look_.border) return nullptr;
  return &border_.On(bounds_, look_.border_color, m, !look_.embed_fonts);
}

}  // namespace lumen::text
