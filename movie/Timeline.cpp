#include "movie/Timeline.h"

namespace lumen::movie {

std::optional<size_t> Timeline::FindLabel(std::string_view label) const {
  for (size_t i = 0; i < frames.size(); ++i) {
    for (const std::string& l : frames[i].labels) {
      if (l == label) return i;
    }
  }
  return std::nullopt;
}

bool IsPlainStop(std::span<const uint8_t> actions) {
  constexpr uint8_t kStop = 0x07;
  constexpr uint8_t kBranches[] = {0x99, 0x9D, 0x9B, 0x8E, 0x94, 0x8F, 0x9E, 0x81,
                                   0x8C, 0x9F, 0x06, 0x8A, 0x8D, 0x04, 0x05};
  bool stop = false;
  size_t i = 0;
  while (i < actions.size() && actions[i] != 0) {
    const uint8_t code = actions[i++];
    if (code == kStop) stop = true;
    for (uint8_t b : kBranches) {
      if (code == b) return false;
    }
    if (code >= 0x80) {
      if (i + 2 > actions.size()) return false;
      const size_t length = actions[i] | static_cast<size_t>(actions[i + 1]) << 8;
      i += 2 + length;
    }
  }
  return stop;
}

}  // namespace lumen::movie
