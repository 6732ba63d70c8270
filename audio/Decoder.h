#pragma once

// Decoders turn a codec's bytes into 16-bit sample frames a piece at a time, so that a long sound
// is never decoded whole and a stream's blocks join without a seam.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/SoundFormat.h"

namespace lumen::audio {

class Decoder {
 public:
  virtual ~Decoder() = default;

  // Queues encoded bytes: a whole event sound, or one stream block. The bytes must stay alive
  // until they are decoded. State that the codec carries across pieces (MP3's bit reservoir and
  // filter banks) carries across fed blocks too.
  virtual void Feed(std::span<const uint8_t> bytes) = 0;
  // Decodes the next unit of what is queued (an MP3 frame, an ADPCM packet, a Nellymoser block,
  // a run of PCM frames) and appends its sample frames to `out`, interleaved left, right when
  // Channels() is 2. Answers false when nothing decodable is left; damaged units are skipped.
  virtual bool DecodeNext(std::vector<int16_t>& out) = 0;

  // The frames' channel count, fixed by the format (a codec's own mono frames in a stereo sound
  // are doubled, and the other way round).
  virtual int Channels() const = 0;
  // Sample frames per second of the output: the format's rate, or for MP3 the frames' own.
  virtual uint32_t Rate() const = 0;
};

// A decoder for `format`; null for the codecs this player does not decode (AAC, Speex).
std::unique_ptr<Decoder> MakeDecoder(const SoundFormat& format);

}  // namespace lumen::audio
