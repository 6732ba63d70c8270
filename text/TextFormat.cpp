#include "text/TextFormat.h"

#include <algorithm>

namespace lumen::text {

void FormattedText::Append(std::u16string_view chars, const TextFormat& format) {
  if (chars.empty()) return;
  text.append(chars);
  if (!runs.empty() && runs.back().format == format) {
    runs.back().end = text.size();
  } else {
    runs.push_back({text.size(), format});
  }
}

void FormattedText::RemoveLast() {
  if (text.empty()) return;
  text.pop_back();
  runs.back().end = text.size();
  const size_t start = runs.size() > 1 ? runs[runs.size() - 2].end : 0;
  if (runs.back().end == start) runs.pop_back();
}

const TextFormat& FormattedText::FormatAt(size_t index) const {
  static const TextFormat kPlain;
  if (runs.empty()) return kPlain;
  const auto it = std::upper_bound(runs.begin(), runs.end(), index,
                                   [](size_t i, const FormatRun& run) { return i < run.end; });
  return it == runs.end() ? runs.back().format : it->format;
}

}  // namespace lumen::text
