#include "text/FieldEditor.h"

#include <algorithm>
#include <cmath>

#include "text/TextFormat.h"

namespace lumen::text {

namespace {

bool HighSurrogate(char16_t c) {
  return c >= 0xD800 && c < 0xDC00;
}

bool LowSurrogate(char16_t c) {
  return c >= 0xDC00 && c < 0xE000;
}

// Steps over whole characters: a surrogate pair counts as one.
size_t Before(std::u16string_view text, size_t at) {
  if (at == 0) return 0;
  const bool pair = at >= 2 && LowSurrogate(text[at - 1]) && HighSurrogate(text[at - 2]);
  return at - (pair ? 2 : 1);
}

size_t After(std::u16string_view text, size_t at) {
  if (at >= text.size()) return text.size();
  const bool pair = at + 1 < text.size() && HighSurrogate(text[at]) && LowSurrogate(text[at + 1]);
  return at + (pair ? 2 : 1);
}

// Home and End go to the ends of the paragraph the caret is in.
size_t ParagraphStart(std::u16string_view text, size_t at) {
  while (at > 0 && !IsLineBreak(text[at - 1])) --at;
  return at;
}

size_t ParagraphEnd(std::u16string_view text, size_t at) {
  while (at < text.size() && !IsLineBreak(text[at])) ++at;
  return at;
}

size_t LineOf(const CaretLines& lines, size_t at) {
  const auto after =
      std::upper_bound(lines.lines.begin() + 1, lines.lines.end(), at,
                       [](size_t i, const TextLine& line) { return i < line.first_char; });
  return static_cast<size_t>(after - lines.lines.begin()) - 1;
}

// Where End puts the caret on line `l`: before the break or the space that ended it, so the
// caret stays on that line rather than at the start of the next.
size_t LineEnd(std::u16string_view text, const CaretLines& lines, size_t l) {
  if (l + 1 >= lines.lines.size()) return text.size();
  const size_t first = lines.lines[l].first_char;
  const size_t end = std::min(lines.lines[l + 1].first_char, text.size());
  const bool trailing = end > first && (IsLineBreak(text[end - 1]) || text[end - 1] == u' ');
  return trailing ? end - 1 : end;
}

// The place on line `l` nearest `x` along it.
size_t NearestOnLine(std::u16string_view text, const CaretLines& lines, size_t l, float x) {
  const size_t first = lines.lines[l].first_char;
  const size_t last = std::min(LineEnd(text, lines, l), lines.char_x.size() - 1);
  size_t best = first;
  for (size_t i = first; i <= last; ++i) {
    if (std::abs(lines.char_x[i] - x) < std::abs(lines.char_x[best] - x)) best = i;
  }
  return best;
}

}  // namespace

bool CharFilter::Admits(char16_t c) const {
  if (any_) return true;
  const std::u16string_view p = pattern_;
  bool admitting = true, admitted = !p.empty() && p[0] == u'^';
  for (size_t i = 0; i < p.size();) {
    if (p[i] == u'^') {
      admitting = !admitting;
      ++i;
      continue;
    }
    if (p[i] == u'\\' && i + 1 < p.size()) ++i;
    const char16_t low = p[i++];
    char16_t high = low;
    if (i + 1 < p.size() && p[i] == u'-') {
      i += p[i + 1] == u'\\' && i + 2 < p.size() ? 2 : 1;
      high = p[i++];
    }
    if (c >= low && c <= high) admitted = admitting;
  }
  return admitted;
}

void FieldEditor::Select(size_t anchor, size_t caret, size_t length) {
  anchor_ = std::min(anchor, length);
  caret_ = std::min(caret, length);
}

FieldEditor::Edit FieldEditor::Replace(size_t begin, size_t end, std::u16string chars) {
  anchor_ = caret_ = begin + chars.size();
  return {begin, end, std::move(chars)};
}

void FieldEditor::Move(size_t to, bool extend) {
  caret_ = to;
  if (!extend) anchor_ = to;
}

void FieldEditor::MoveByLine(std::u16string_view text, EditKey key, bool shift,
                             const CaretLines& lines) {
  const size_t l = LineOf(lines, caret_);
  switch (key) {
    case EditKey::Home:
      Move(lines.lines[l].first_char, shift);
      break;
    case EditKey::End:
      Move(LineEnd(text, lines, l), shift);
      break;
    case EditKey::Up:
    case EditKey::Down: {
      const bool up = key == EditKey::Up;
      if (up ? l == 0 : l + 1 >= lines.lines.size()) break;
      Move(NearestOnLine(text, lines, up ? l - 1 : l + 1, lines.char_x[caret_]), shift);
      break;
    }
    default:
      break;
  }
}

std::optional<FieldEditor::Edit> FieldEditor::Type(std::u16string_view text, char16_t c,
                                                   const EditRules& rules) {
  Clamp(text.size());
  if (c < 0x20 || c == 0x7F || !rules.filter.Admits(c)) return std::nullopt;
  if (rules.max_chars != 0 && text.size() - (End() - Begin()) >= rules.max_chars) {
    return std::nullopt;
  }
  return Replace(Begin(), End(), std::u16string(1, c));
}

std::optional<FieldEditor::Edit> FieldEditor::Paste(std::u16string_view text,
                                                    std::u16string_view chars,
                                                    const EditRules& rules) {
  Clamp(text.size());
  const size_t kept = text.size() - (End() - Begin());
  size_t room = rules.max_chars == 0 ? chars.size()
                                     : rules.max_chars - std::min(kept, size_t{rules.max_chars});
  std::u16string pasted;
  for (const char16_t c : chars) {
    if (pasted.size() >= room) break;
    const bool line_break = IsLineBreak(c);
    if (line_break ? rules.multiline : c >= 0x20 && rules.filter.Admits(c)) {
      pasted.push_back(line_break ? u'\r' : c);
    }
  }
  if (pasted.empty()) return std::nullopt;
  return Replace(Begin(), End(), std::move(pasted));
}

std::optional<FieldEditor::Edit> FieldEditor::Press(std::u16string_view text, EditKey key,
                                                    bool shift, const EditRules& rules,
                                                    const CaretLines* lines) {
  Clamp(text.size());
  const bool by_line =
      key == EditKey::Up || key == EditKey::Down || key == EditKey::Home || key == EditKey::End;
  if (by_line && lines && !lines->lines.empty() && caret_ < lines->char_x.size()) {
    MoveByLine(text, key, shift, *lines);
    return std::nullopt;
  }
  const bool selected = anchor_ != caret_;
  switch (key) {
    case EditKey::Backspace:
      if (selected) return Replace(Begin(), End(), {});
      if (caret_ == 0) return std::nullopt;
      return Replace(Before(text, caret_), caret_, {});
    case EditKey::Delete:
      if (selected) return Replace(Begin(), End(), {});
      if (caret_ == text.size()) return std::nullopt;
      return Replace(caret_, After(text, caret_), {});
    case EditKey::Enter:
      if (!rules.multiline) return std::nullopt;
      if (rules.max_chars != 0 && text.size() - (End() - Begin()) >= rules.max_chars) {
        return std::nullopt;
      }
      return Replace(Begin(), End(), u"\r");
    case EditKey::Left:
      Move(selected && !shift ? Begin() : Before(text, caret_), shift);
      return std::nullopt;
    case EditKey::Right:
      Move(selected && !shift ? End() : After(text, caret_), shift);
      return std::nullopt;
    case EditKey::Home:
      Move(ParagraphStart(text, caret_), shift);
      return std::nullopt;
    case EditKey::End:
      Move(ParagraphEnd(text, caret_), shift);
      return std::nullopt;
    case EditKey::Up:
    case EditKey::Down:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace lumen::text
