#include "authoring/Mp3Stream.h"

#include <algorithm>
#include <array>

#include "authoring/SoundWriter.h"

namespace lumen::authoring {

namespace {

constexpr int kRate = 44100;
constexpr uint16_t kTagSoundStreamHead2 = 45;

// The length of the MPEG-1 Layer III frame at 44.1 kHz and in two channels whose header
// starts `header`; 0 for any other header.
size_t FrameLength(std::span<const uint8_t, 4> header) {
  constexpr std::array<int, 16> kKbps = {0,   32,  40,  48,  56,  64,  80,  96,
                                         112, 128, 160, 192, 224, 256, 320, 0};
  const bool sync = header[0] == 0xFF && (header[1] & 0xE0) == 0xE0;
  const bool mpeg1_layer3 = (header[1] >> 1 & 0x0F) == 0x0D;  // version 1, layer III
  const int kbps = kKbps[header[2] >> 4];
  const bool rate_44k = (header[2] >> 2 & 3) == 0;
  const bool two_channels = header[3] >> 6 != 3;
  if (!sync || !mpeg1_layer3 || kbps == 0 || !rate_44k || !two_channels) return 0;
  const int padding = header[2] >> 1 & 1;
  return static_cast<size_t>(144 * 1000 * kbps / kRate + padding);
}

int64_t FrameEndSample(int64_t frame, int frame_rate) {
  return ((frame + 1) * kRate + frame_rate - 1) / frame_rate;
}

}  // namespace

std::optional<Mp3Frames> SplitMp3Frames(std::span<const uint8_t> bytes) {
  Mp3Frames frames;
  size_t at = 0;
  while (at < bytes.size()) {
    if (bytes.size() - at < 4) return std::nullopt;
    const size_t length = FrameLength(bytes.subspan(at).first<4>());
    if (length == 0 || length > bytes.size() - at) return std::nullopt;
    frames.push_back(bytes.subspan(at, length));
    at += length;
  }
  if (frames.empty()) return std::nullopt;
  return frames;
}

Mp3StreamWriter::Mp3StreamWriter(Mp3Frames frames, int delay, int frame_rate)
    : frames_(std::move(frames)),
      delay_(std::clamp(delay, 0, 32767)),
      frame_rate_(std::max(frame_rate, 1)) {}

void Mp3StreamWriter::WriteHead(Bytes& out) const {
  const uint8_t format = SoundFormatByte(2, 3, true, true);
  BitWriter body;
  body.WriteU8(format & 0x0F);
  body.WriteU8(format);
  body.WriteU16(static_cast<uint16_t>((kRate + frame_rate_ / 2) / frame_rate_));
  // The latency: what a player drops of the decoded sound before the first frame's.
  body.WriteU16(static_cast<uint16_t>(delay_));
  WriteTag(out, kTagSoundStreamHead2, body.bytes());
}

void Mp3StreamWriter::WriteNextBlock(Bytes& out) {
  constexpr size_t kMostFrames = 65535 / kMp3FrameSamples;  // the sample count is 16 bits
  const int64_t delivered = static_cast<int64_t>(next_mp3_frame_) * kMp3FrameSamples;
  const int64_t needed = delay_ + FrameEndSample(next_movie_frame_, frame_rate_);
  const int64_t start = delay_ + next_movie_frame_ * kRate / frame_rate_;
  ++next_movie_frame_;
  size_t count = 0;
  while (delivered + static_cast<int64_t>(count) * kMp3FrameSamples < needed &&
         next_mp3_frame_ + count < frames_.size() && count < kMostFrames) {
    ++count;
  }
  BitWriter body;
  body.WriteU16(static_cast<uint16_t>(count * kMp3FrameSamples));
  // Seek samples: from the block's first decoded sample to the movie frame's first.
  const int64_t seek = count == 0 ? 0 : std::clamp<int64_t>(start - delivered, -32768, 32767);
  body.WriteU16(static_cast<uint16_t>(static_cast<int16_t>(seek)));
  for (size_t i = 0; i < count; ++i) body.WriteBytes(frames_[next_mp3_frame_ + i]);
  next_mp3_frame_ += count;
  SoundStreamBlock(out, body.bytes());
}

}  // namespace lumen::authoring
