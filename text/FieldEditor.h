#pragma once

// Typing into an input field: the caret and the selection over its text, and what each typed
// character or editing key changes.
//
// Design: the editor never owns the text. It reads the text it is handed and answers an edit
// (a range to replace and what goes there) for the caller to carry out on the field, which keeps
// its formats; the selection already stands as it will be after that edit. Positions count
// UTF-16 units, as scripts count them; the selection runs between the anchor (where it started)
// and the caret (where it grows).

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/TextLayout.h"

namespace lumen::text {

// Which characters a field's `restrict` lets in: ranges such as "A-Z0-9", a caret switching
// between admitting and excluding ("^" first: all but what follows), backslash taking the next
// character as it is. Later items override earlier ones.
class CharFilter {
 public:
  CharFilter() = default;  // admits everything
  explicit CharFilter(std::u16string_view pattern) : pattern_(pattern), any_(false) {}
  bool Admits(char16_t c) const;

 private:
  std::u16string pattern_;
  bool any_ = true;
};

struct EditRules {
  bool multiline = false;
  size_t max_chars = 0;  // 0: no limit
  CharFilter filter;
};

enum class EditKey { Backspace, Delete, Left, Right, Up, Down, Home, End, Enter };

// The text's lines as laid out, for the keys that move by line: Home and End go to the ends of
// the line the caret shows on, Up and Down to the nearest place on the line above or below.
struct CaretLines {
  std::span<const TextLine> lines;
  std::span<const float> char_x;  // where each character starts along its line
};

class FieldEditor {
 public:
  struct Edit {
    size_t begin = 0, end = 0;  // replaced range
    std::u16string chars;
  };

  size_t Anchor() const { return anchor_; }
  size_t Caret() const { return caret_; }
  size_t Begin() const { return std::min(anchor_, caret_); }
  size_t End() const { return std::max(anchor_, caret_); }
  // Both ends clamp to the text's `length`.
  void Select(size_t anchor, size_t caret, size_t length);
  // The text changed behind the editor's back.
  void Clamp(size_t length) { Select(anchor_, caret_, length); }

  // A typed character replaces the selection, unless the rules refuse it.
  std::optional<Edit> Type(std::u16string_view text, char16_t c, const EditRules& rules);
  // Pasted text replaces the selection: what the rules let in, as far as there is room; with
  // nothing of it left nothing changes.
  std::optional<Edit> Paste(std::u16string_view text, std::u16string_view chars,
                            const EditRules& rules);
  // Keys that move the caret answer no edit; Shift makes them extend the selection. Without
  // `lines`, Home and End go to the ends of the paragraph and Up and Down do nothing.
  std::optional<Edit> Press(std::u16string_view text, EditKey key, bool shift,
                            const EditRules& rules, const CaretLines* lines = nullptr);

 private:
  Edit Replace(size_t begin, size_t end, std::u16string chars);
  void Move(size_t to, bool extend);
  void MoveByLine(std::u16string_view text, EditKey key, bool shift, const CaretLines& lines);

  size_t anchor_ = 0, caret_ = 0;
};

}  // namespace lumen::text
