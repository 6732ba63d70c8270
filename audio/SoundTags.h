#pragma once

// The sound tags of a movie, read from their raw bodies: definitions, start commands with their
// SOUNDINFO, and a timeline's stream head and blocks. Positions in SOUNDINFO count 44.1 kHz
// sample frames whatever the sound's own rate.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "audio/SoundFormat.h"

namespace lumen::audio {

struct EnvelopePoint {
  uint32_t position44 = 0;
  uint16_t left = 32768;  // 0..32768 = silence..full
  uint16_t right = 32768;
};

struct SoundInfo {
  bool sync_stop = false;    // stop every instance of the sound
  bool no_multiple = false;  // do not start it while it plays
  std::optional<uint32_t> in_point, out_point;
  uint16_t loops = 1;
  std::vector<EnvelopePoint> envelope;
};

struct SoundDefinition {
  uint32_t id = 0;  // the tag's; sounds loaded by scripts are numbered above 0xFFFF
  SoundFormat format;
  uint32_t sample_count = 0;  // per channel, as declared
  uint16_t seek_samples = 0;  // MP3: decoded frames to drop at the start (the encoder's delay)
  std::span<const uint8_t> data;
};

struct StartSound {
  uint16_t id = 0;         // StartSound
  std::string class_name;  // StartSound2: the exported name
  SoundInfo info;
};

struct StreamHead {
  SoundFormat format;
  uint16_t samples_per_frame = 0;
  int16_t latency_seek = 0;  // MP3
};

struct StreamBlock {
  std::span<const uint8_t> data;  // codec bytes, MP3's own block header taken off
  uint16_t sample_count = 0;      // MP3: frames the block carries; others: from the data size
};

// Each answers nothing when the body is too short for what it declares.
std::optional<SoundDefinition> ReadDefineSound(std::span<const uint8_t> body);
std::optional<StartSound> ReadStartSound(std::span<const uint8_t> body, bool by_class_name);
std::optional<StreamHead> ReadStreamHead(std::span<const uint8_t> body);
std::optional<StreamBlock> ReadStreamBlock(std::span<const uint8_t> body, const StreamHead& head);

}  // namespace lumen::audio
