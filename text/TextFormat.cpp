#include "text/TextFormat.h"

#include <algorithm>

namespace lumen::text {

namespace {

// Appends characters [from, to) of `source` in their formats.
void AppendRange(FormattedText& out, const FormattedText& source, size_t from, size_t to) {
  size_t start = 0;
  for (const FormatRun& run : source.runs) {
    const size_t a = std::max(from, start), b = std::min(to, run.end);
    if (a < b) out.Append(std::u16string_view(source.text).substr(a, b - a), run.format);
    start = run.end;
  }
}

}  // namespace

void FormattedText::Append(std::u16string_view chars, const TextFormat& format) {
  if (chars.empty()) return;
  text.append(chars);
  if (!runs.empty() && runs.back().format == format) {
    runs.back().end = text.size();
  } else {
    runs.push_back({text.size(), format});
  }
}

void FormattedText::Replace(size_t begin, size_t end, std::u16string_view chars,
                            const TextFormat& format) {
  end = std::min(end, text.size());
  begin = std::min(begin, end);
  FormattedText out;
  AppendRange(out, *this, 0, begin);
  out.Append(chars, format);
  AppendRange(out, *this, end, text.size());
  *this = std::move(out);
}

void FormattedText::Restyle(size_t begin, size_t end,
                            const std::function<void(TextFormat&)>& change) {
  end = std::min(end, text.size());
  FormattedText out;
  size_t start = 0;
  for (const FormatRun& run : runs) {
    const std::u16string_view chars = std::u16string_view(text).substr(start, run.end - start);
    const size_t a = std::clamp(begin, start, run.end) - start;
    const size_t b = std::clamp(end, start, run.end) - start;
    TextFormat changed = run.format;
    change(changed);
    out.Append(chars.substr(0, a), run.format);
    out.Append(chars.substr(a, b - a), changed);
    out.Append(chars.substr(b), run.format);
    start = run.end;
  }
  *this = std::move(out);
}

const TextFormat& FormattedText::FormatAt(size_t index) const {
  static const TextFormat kPlain;
  if (runs.empty()) return kPlain;
  const auto it = std::upper_bound(runs.begin(), runs.end(), index,
                                   [](size_t i, const FormatRun& run) { return i < run.end; });
  return it == runs.end() ? runs.back().format : it->format;
}

}  // namespace lumen::text
