#pragma once

// One playing sound: its encoded bytes decoded a unit at a time, cut to its in and out points,
// looped, brought to 44.1 kHz and shaped by its envelope. The mixer adds voices together.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/Decoder.h"
#include "audio/SoundTags.h"

namespace lumen::audio {

// Where a voice's encoded bytes come from: one span for an event sound, a timeline's blocks for a
// stream. Spans must outlive the voice.
class SoundFeed {
 public:
  virtual ~SoundFeed() = default;
  // The next piece to decode; empty when there is none left.
  virtual std::span<const uint8_t> Next() = 0;
  // Back to the first piece, for another loop.
  virtual void Rewind() = 0;
};

// Gains in Q15 (32768 = 1.0): how much of each input channel goes to each output channel.
struct ChannelGains {
  int32_t left_to_left = 32768, left_to_right = 0;
  int32_t right_to_left = 0, right_to_right = 32768;
};

// How a voice plays, in the sound's own sample frames (SOUNDINFO's 44.1 kHz positions converted).
struct VoiceCut {
  uint64_t skip = 0;        // decoded frames dropped before the first heard (MP3 delay, in point)
  uint64_t length = ~0ull;  // frames heard per loop after the skip
  uint32_t loops = 1;
};

class Voice {
 public:
  Voice(SoundFormat format, std::unique_ptr<SoundFeed> feed, VoiceCut cut,
        std::vector<EnvelopePoint> envelope);

  // Adds the next `frames` stereo output frames into `mix` (2 per frame), scaled by `gains`.
  // Answers false once the voice has ended (the frames after its end add nothing).
  bool MixInto(std::span<int32_t> mix, const ChannelGains& gains);
  bool Ended() const { return ended_; }
  // Output frames this voice has produced so far.
  uint64_t Position() const { return position_; }
  bool Decodable() const { return decoder_ != nullptr; }

 private:
  bool NextSourceFrame(int32_t& left, int32_t& right);
  bool Refill();
  bool StartLoop();
  void EnvelopeAt(uint64_t position, int32_t& left, int32_t& right);

  SoundFormat format_;
  std::unique_ptr<SoundFeed> feed_;
  std::unique_ptr<Decoder> decoder_;
  VoiceCut cut_;
  std::vector<EnvelopePoint> envelope_;
  size_t envelope_index_ = 0;

  std::vector<int16_t> pcm_;
  size_t pcm_read_ = 0;  // samples of pcm_ used
  uint64_t skip_left_ = 0;
  uint64_t heard_left_ = 0;
  uint32_t loops_left_ = 0;

  // Linear interpolation between the source frames before and after the output position.
  uint64_t step_ = 0;      // source frames per output frame, 32.32 fixed point
  uint64_t fraction_ = 0;  // position between `before_` and `after_`, 0.32 fixed point
  int32_t before_[2] = {0, 0};
  int32_t after_[2] = {0, 0};
  bool source_done_ = false;
  bool ended_ = false;
  uint64_t position_ = 0;
};

}  // namespace lumen::audio
