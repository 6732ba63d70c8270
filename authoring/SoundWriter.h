#pragma once

// Sound tags for the movies the project builds: definitions, start commands and stream sound.

#include <cstdint>
#include <span>

#include "authoring/SwfWriter.h"

namespace lumen::authoring {

// The format byte: codec (0 PCM, 1 ADPCM, 2 MP3, 3 PCM little-endian, ...), rate index
// (0 5.5 kHz, 1 11 kHz, 2 22 kHz, 3 44 kHz), sample size and channels.
uint8_t SoundFormatByte(uint8_t codec, uint8_t rate_index, bool sixteen_bit, bool stereo);

// `data` is the codec's bytes; for MP3 the caller puts the SeekSamples word in front.
void DefineSound(Bytes& out, uint16_t id, uint8_t format, uint32_t sample_count,
                 std::span<const uint8_t> data);

struct SoundInfoSpec {
  bool stop = false;
  bool no_multiple = false;
  uint16_t loops = 1;
  uint32_t in_point = 0, out_point = 0;  // 44.1 kHz frames; 0: none
};
void StartSound(Bytes& out, uint16_t id, const SoundInfoSpec& info = {});

// SoundStreamHead2; blocks then go one per frame. MP3 blocks carry their own sample count and
// seek words in front of `data`, which the caller writes.
void SoundStreamHead(Bytes& out, uint8_t format, uint16_t samples_per_frame);
void SoundStreamBlock(Bytes& out, std::span<const uint8_t> data);

}  // namespace lumen::authoring
