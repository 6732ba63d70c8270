#pragma once

// One text field on stage: its definition, the text and formats it holds now, the properties
// scripts may change, and its picture, laid out again only after a change.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "render/Geometry.h"
#include "text/EditText.h"
#include "text/FieldBorder.h"
#include "text/FieldEditor.h"
#include "text/FontLibrary.h"
#include "text/Html.h"
#include "text/TextFormat.h"
#include "text/TextLayout.h"

namespace lumen::text {

class GlyphPainter;

// Finds a device font for a format; may answer null.
using DeviceFontLookup = std::function<const Font*(const TextFormat&)>;

enum class AutoSize : uint8_t { None, Left, Center, Right };

class TextField {
 public:
  // The field starts with its definition's text. The fonts outlive the field.
  TextField(const EditTextDef& def, FontLibrary& embedded, DeviceFontLookup device);

  const EditTextDef& Def() const { return def_; }
  std::string_view Variable() const { return variable_; }
  void SetVariable(std::string_view name);
  bool Html() const { return html_; }
  // The characters shown, as UTF-8 ('\r' between paragraphs).
  std::string Text() const;
  void SetText(std::string_view utf8);
  // Read with the field's style sheet, if it has one.
  void SetHtmlText(std::string_view utf8, const StyleSheet& styles = {});
  // HTML fields answer their text as HTML; others their plain text.
  std::string HtmlText() const;
  void SetHtml(bool html) { html_ = html; }
  const FormattedText& Content() const { return text_; }
  void SetContent(FormattedText text);
  // Fields bound to a variable show its value (as HTML in HTML fields) whenever it changes.
  void ShowVariable(std::string_view value);
  bool VariableShown() const { return variable_shown_; }
  // The variable took the field's text from typing: nothing to show again.
  void VariableWritten(std::string_view value);
  // What a new text starts in: the definition's font, size, colour and layout at first.
  const TextFormat& NewTextFormat() const { return new_format_; }
  void SetNewTextFormat(const TextFormat& format) { new_format_ = format; }

  struct Look {
    bool border = false, background = false;
    render::Rgba border_color{0, 0, 0, 255};
    render::Rgba background_color{255, 255, 255, 255};
    bool word_wrap = false, multiline = false, password = false;
    bool embed_fonts = false, selectable = true, input = false, condense_white = false;
    uint16_t max_chars = 0;
    AutoSize auto_size = AutoSize::None;
    friend bool operator==(const Look&, const Look&) = default;
  };
  const Look& Appearance() const { return look_; }
  void SetAppearance(const Look& look);

  // Twips in the field's own space; auto-sizing moves them to fit the text.
  const render::Rect& Bounds();
  void SetBounds(const render::Rect& bounds);
  const TextLayout& Layout();
  // Lines scrolled out at the top: scroll is 1-based, as scripts count.
  size_t Scroll() const { return scroll_; }
  void SetScroll(double line);
  size_t MaxScroll();
  size_t BottomScroll();
  // Typing: the selection, and the caret drawn while the field has the focus.
  const FieldEditor& Editor() const { return editor_; }
  void Select(size_t anchor, size_t caret);
  void ShowCaret(bool shown);
  // The caret position nearest a point in the field's own space.
  size_t IndexAt(render::Point p);
  // The character drawn at `p` (in the field's coordinates), if the point lies on one.
  std::optional<size_t> CharAt(render::Point p);
  // A typed character, or an editing key; true when the text changed.
  bool Type(char16_t c, const EditRules& rules);
  bool Press(EditKey key, bool shift, const EditRules& rules);
  bool Paste(std::u16string_view chars, const EditRules& rules);

  // The picture in the field's own space. It changes in place.
  const render::ShapeGeometry& Geometry();
  // Counts pictures made again, of every field: a host keeping what it drew can tell that a
  // field's picture changed under the same address.
  static uint64_t Revision() { return revision_.load(std::memory_order_relaxed); }
  // The border, when the field has one, for the field placed on the stage by `m`; in stage
  // twips. Valid until the next call.
  const render::ShapeGeometry* Border(const render::Matrix& m);
  // Whether text reaches out of the field's box, and the box as a shape to clip it with.
  bool Overflows();
  const render::ShapeGeometry& Box();

 private:
  class Resolver;
  void Changed() {
    dirty_ = true;
    editor_.Clamp(text_.text.size());
  }
  void Update();
  void Fit(float width, float height);
  bool Apply(const std::optional<FieldEditor::Edit>& edit);
  void DrawCaret(GlyphPainter& painter, float x0, float y0);
  void DrawSelection(GlyphPainter& painter, const TextLine& line, float x0, float y0);
  static render::Rgba Tinted(render::Rgba color);

  static std::atomic<uint64_t> revision_;

  EditTextDef def_;
  FontLibrary& embedded_;
  DeviceFontLookup device_;
  bool html_;
  FormattedText text_;
  TextFormat new_format_;
  Look look_;
  render::Rect bounds_;
  TextLayout layout_;
  render::ShapeGeometry geometry_;
  render::ShapeGeometry box_;
  FieldBorder border_;
  FieldEditor editor_;
  bool caret_shown_ = false;
  bool overflows_ = false;
  bool dirty_ = true;
  size_t scroll_ = 1;
  std::string variable_;
  bool variable_shown_ = false;
  std::string variable_value_;
};

}  // namespace lumen::text
