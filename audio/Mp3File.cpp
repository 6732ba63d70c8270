#include "audio/Mp3File.h"

#include "audio/mp3/FrameHeader.h"

namespace lumen::audio {

namespace {

// An ID3v2 tag: "ID3", version, flags, then its size in four 7-bit bytes, and a footer of 10
// more bytes when flagged.
size_t Id3Length(std::span<const uint8_t> file) {
  if (file.size() < 10 || file[0] != 'I' || file[1] != 'D' || file[2] != '3') return 0;
  size_t size = 0;
  for (int i = 6; i < 10; ++i) size = size << 7 | (file[i] & 0x7F);
  const size_t footer = (file[5] & 0x10) ? 10 : 0;
  const size_t total = 10 + size + footer;
  return total <= file.size() ? total : file.size();
}

}  // namespace

std::optional<SoundDefinition> ReadMp3File(std::span<const uint8_t> file) {
  const std::span<const uint8_t> frames = file.subspan(Id3Length(file));
  std::optional<mp3::FrameHeader> first;
  size_t start = 0;
  uint64_t samples = 0;
  for (size_t pos = 0; pos + 4 <= frames.size();) {
    const auto header = mp3::FrameHeader::Parse(frames.subspan(pos));
    const bool joins = header && (!first || header->SameStream(*first));
    if (!joins || static_cast<size_t>(header->FrameBytes()) > frames.size() - pos) {
      ++pos;  // junk between frames, or a cut last frame
      continue;
    }
    if (!first) {
      first = header;
      start = pos;
    }
    samples += static_cast<uint64_t>(header->SampleFrames());
    pos += static_cast<size_t>(header->FrameBytes());
  }
  if (!first) return std::nullopt;
  SoundDefinition sound;
  sound.format.codec = Codec::Mp3;
  sound.format.rate = first->rate;
  sound.format.sixteen_bit = true;
  sound.format.stereo = first->Channels() == 2;
  sound.sample_count = static_cast<uint32_t>(std::min<uint64_t>(samples, UINT32_MAX));
  sound.data = frames.subspan(start);
  return sound;
}

}  // namespace lumen::audio
