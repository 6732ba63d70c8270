#include "audio/SoundTags.h"

#include "movie/ByteReader.h"

namespace lumen::audio {

namespace {

using movie::ByteReader;
using movie::ParseError;

// An envelope has at most 255 points, so a SOUNDINFO is small whatever it declares.
SoundInfo ReadSoundInfo(ByteReader& in) {
  SoundInfo info;
  const uint8_t flags = in.U8();
  info.sync_stop = (flags & 0x20) != 0;
  info.no_multiple = (flags & 0x10) != 0;
  if (flags & 0x01) info.in_point = in.U32();
  if (flags & 0x02) info.out_point = in.U32();
  if (flags & 0x04) info.loops = in.U16();
  if (flags & 0x08) {
    const uint8_t count = in.U8();
    info.envelope.reserve(count);
    for (int i = 0; i < count; ++i) {
      EnvelopePoint point;
      point.position44 = in.U32();
      point.left = in.U16();
      point.right = in.U16();
      info.envelope.push_back(point);
    }
  }
  return info;
}

}  // namespace

std::optional<SoundDefinition> ReadDefineSound(std::span<const uint8_t> body) {
  try {
    ByteReader in(body);
    SoundDefinition sound;
    sound.id = in.U16();
    sound.format = SoundFormat::FromByte(in.U8());
    sound.sample_count = in.U32();
    if (sound.format.codec == Codec::Mp3) {
      const int16_t seek = in.S16();  // a negative delay means none
      sound.seek_samples = static_cast<uint16_t>(seek > 0 ? seek : 0);
    }
    sound.data = in.Rest();
    return sound;
  } catch (const ParseError&) {
    return std::nullopt;
  }
}

std::optional<StartSound> ReadStartSound(std::span<const uint8_t> body, bool by_class_name) {
  try {
    ByteReader in(body);
    StartSound start;
    if (by_class_name) {
      start.class_name = in.String();
    } else {
      start.id = in.U16();
    }
    start.info = ReadSoundInfo(in);
    return start;
  } catch (const ParseError&) {
    return std::nullopt;
  }
}

std::optional<StreamHead> ReadStreamHead(std::span<const uint8_t> body) {
  try {
    ByteReader in(body);
    in.U8();  // the playback format: a hint for the device, the stream's own format rules
    StreamHead head;
    head.format = SoundFormat::FromByte(in.U8());
    head.samples_per_frame = in.U16();
    if (head.format.codec == Codec::Mp3 && in.Remaining() >= 2) head.latency_seek = in.S16();
    return head;
  } catch (const ParseError&) {
    return std::nullopt;
  }
}

std::optional<StreamBlock> ReadStreamBlock(std::span<const uint8_t> body, const StreamHead& head) {
  StreamBlock block;
  if (head.format.codec == Codec::Mp3) {
    if (body.size() < 4) return std::nullopt;
    block.sample_count = static_cast<uint16_t>(body[0] | body[1] << 8);
    block.data = body.subspan(4);
    return block;
  }
  block.data = body;
  return block;
}

}  // namespace lumen::audio
