#include "audio/mp3/FrameScanner.h"

namespace lumen::audio::mp3 {

void FrameScanner::Feed(std::span<const uint8_t> bytes) {
  if (!bytes.empty()) spans_.push_back(bytes);
}

std::optional<Frame> FrameScanner::FrameAt(std::span<const uint8_t> span, size_t pos) const {
  const auto header = FrameHeader::Parse(span.subspan(pos));
  if (!header) return std::nullopt;
  const size_t length = static_cast<size_t>(header->FrameBytes());
  const size_t minimum = 4 + (header->crc ? 2 : 0) + static_cast<size_t>(header->SideInfoBytes());
  if (length < minimum || length > span.size() - pos) return std::nullopt;
  const size_t end = pos + length;
  bool confirmed = end == span.size() || (last_ && header->SameStream(*last_));
  if (!confirmed) {
    const auto next = FrameHeader::Parse(span.subspan(end));
    confirmed = next && next->SameStream(*header);
  }
  if (!confirmed) return std::nullopt;
  return Frame{*header, span.subspan(pos, length)};
}

std::optional<Frame> FrameScanner::Next() {
  while (!spans_.empty()) {
    const std::span<const uint8_t> span = spans_.front();
    for (; pos_ < span.size(); ++pos_) {
      if (span[pos_] != 0xFF) continue;
      if (auto frame = FrameAt(span, pos_)) {
        pos_ += frame->bytes.size();
        last_ = frame->header;
        return frame;
      }
    }
    spans_.pop_front();
    pos_ = 0;
  }
  return std::nullopt;
}

std::optional<FrameHeader> FrameScanner::Peek() const {
  size_t pos = pos_;
  for (const auto& span : spans_) {
    for (; pos < span.size(); ++pos) {
      if (span[pos] != 0xFF) continue;
      if (auto frame = FrameAt(span, pos)) return frame->header;
    }
    pos = 0;
  }
  return std::nullopt;
}

}  // namespace lumen::audio::mp3
