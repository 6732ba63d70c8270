#include "authoring/SoundWriter.h"

namespace lumen::authoring {

namespace {

constexpr uint16_t kTagDefineSound = 14;
constexpr uint16_t kTagStartSound = 15;
constexpr uint16_t kTagSoundStreamBlock = 19;
constexpr uint16_t kTagSoundStreamHead2 = 45;

}  // namespace

uint8_t SoundFormatByte(uint8_t codec, uint8_t rate_index, bool sixteen_bit, bool stereo) {
  return static_cast<uint8_t>(codec << 4 | (rate_index & 3) << 2 | (sixteen_bit ? 2 : 0) |
                              (stereo ? 1 : 0));
}

void DefineSound(Bytes& out, uint16_t id, uint8_t format, uint32_t sample_count,
                 std::span<const uint8_t> data) {
  BitWriter body;
  body.WriteU16(id);
  body.WriteU8(format);
  body.WriteU32(sample_count);
  body.WriteBytes(data);
  WriteTag(out, kTagDefineSound, body.bytes());
}

void StartSound(Bytes& out, uint16_t id, const SoundInfoSpec& info) {
  BitWriter body;
  body.WriteU16(id);
  const uint8_t flags = static_cast<uint8_t>(
      (info.stop ? 0x20 : 0) | (info.no_multiple ? 0x10 : 0) | (info.loops != 1 ? 0x04 : 0) |
      (info.out_point ? 0x02 : 0) | (info.in_point ? 0x01 : 0));
  body.WriteU8(flags);
  if (info.in_point) body.WriteU32(info.in_point);
  if (info.out_point) body.WriteU32(info.out_point);
  if (info.loops != 1) body.WriteU16(info.loops);
  WriteTag(out, kTagStartSound, body.bytes());
}

void SoundStreamHead(Bytes& out, uint8_t format, uint16_t samples_per_frame) {
  BitWriter body;
  body.WriteU8(format & 0x0F);
  body.WriteU8(format);
  body.WriteU16(samples_per_frame);
  if (format >> 4 == 2) body.WriteU16(0);  // MP3's latency
  WriteTag(out, kTagSoundStreamHead2, body.bytes());
}

void SoundStreamBlock(Bytes& out, std::span<const uint8_t> data) {
  WriteTag(out, kTagSoundStreamBlock, data);
}

}  // namespace lumen::authoring
