// Design: decoding is pulled by the output. Each output frame interpolates linearly between two
// source frames at a 32.32 fixed-point position, so a sound of any rate is brought to 44.1 kHz
// with integer arithmetic and gives the same samples on every machine. The skip and the
// length count source frames after decoding; each loop decodes the bytes again from the start,
// so a long sound is never held decoded.

#include "audio/Voice.h"

#include <algorithm>

#include "audio/AudioDevice.h"

namespace lumen::audio {

namespace {

// 5.5 kHz is an eighth of 44.1 kHz: the format's 5512 stands for 5512.5.
uint64_t StepFor(uint32_t rate) {
  const uint64_t doubled = rate == 5512 ? 11025 : uint64_t{rate} * 2;
  return (doubled << 32) / (uint64_t{kOutputRate} * 2);
}

int32_t Scale(int32_t sample, int32_t gain) {
  return static_cast<int32_t>((int64_t{sample} * gain) >> 15);
}

}  // namespace

Voice::Voice(SoundFormat format, std::unique_ptr<SoundFeed> feed, VoiceCut cut,
             std::vector<EnvelopePoint> envelope)
    : format_(format),
      feed_(std::move(feed)),
      cut_(cut),
      envelope_(std::move(envelope)),
      loops_left_(std::max<uint32_t>(cut.loops, 1)) {
  if (!StartLoop()) ended_ = true;
}

bool Voice::StartLoop() {
  if (loops_left_ == 0) return false;
  --loops_left_;
  decoder_ = MakeDecoder(format_);
  if (!decoder_) return false;
  feed_->Rewind();
  pcm_.clear();
  pcm_read_ = 0;
  skip_left_ = cut_.skip;
  heard_left_ = cut_.length;
  return true;
}

bool Voice::Refill() {
  pcm_.clear();
  pcm_read_ = 0;
  while (pcm_.empty()) {
    if (decoder_->DecodeNext(pcm_)) continue;
    const auto piece = feed_->Next();
    if (piece.empty()) return false;
    decoder_->Feed(piece);
  }
  return true;
}

bool Voice::NextSourceFrame(int32_t& left, int32_t& right) {
  const size_t channels = static_cast<size_t>(decoder_->Channels());
  for (;;) {
    if (heard_left_ == 0 || (pcm_read_ + channels > pcm_.size() && !Refill())) {
      if (!StartLoop()) return false;
      continue;
    }
    const int16_t* frame = pcm_.data() + pcm_read_;
    pcm_read_ += channels;
    if (skip_left_ > 0) {
      --skip_left_;
      continue;
    }
    --heard_left_;
    left = frame[0];
    right = channels == 2 ? frame[1] : frame[0];
    return true;
  }
}

void Voice::EnvelopeAt(uint64_t position, int32_t& left, int32_t& right) {
  while (envelope_index_ + 1 < envelope_.size() &&
         envelope_[envelope_index_ + 1].position44 <= position) {
    ++envelope_index_;
  }
  const EnvelopePoint& a = envelope_[envelope_index_];
  if (position <= a.position44 || envelope_index_ + 1 == envelope_.size()) {
    left = a.left;
    right = a.right;
    return;
  }
  const EnvelopePoint& b = envelope_[envelope_index_ + 1];
  const int64_t span = b.position44 - a.position44;
  const int64_t into = static_cast<int64_t>(position - a.position44);
  left = static_cast<int32_t>(a.left + (int64_t{b.left} - a.left) * into / span);
  right = static_cast<int32_t>(a.right + (int64_t{b.right} - a.right) * into / span);
}

bool Voice::MixInto(std::span<int32_t> mix, const ChannelGains& gains) {
  if (ended_) return false;
  if (step_ == 0) {
    // Prime the interpolation with the first two frames, so the sound starts on its first
    // sample. An MP3 decoder knows its rate from that first frame on.
    if (!NextSourceFrame(before_[0], before_[1])) {
      ended_ = true;
      return false;
    }
    if (!NextSourceFrame(after_[0], after_[1])) source_done_ = true;
    step_ = StepFor(decoder_->Rate());
  }
  for (size_t i = 0; i + 1 < mix.size(); i += 2) {
    while (fraction_ >= (uint64_t{1} << 32)) {
      fraction_ -= uint64_t{1} << 32;
      before_[0] = after_[0];
      before_[1] = after_[1];
      if (source_done_ || !NextSourceFrame(after_[0], after_[1])) {
        if (source_done_) {
          ended_ = true;
          return false;
        }
        source_done_ = true;
        after_[0] = after_[1] = 0;
      }
    }
    const auto frac = static_cast<int64_t>(fraction_);
    int32_t left = before_[0] + static_cast<int32_t>(((after_[0] - before_[0]) * frac) >> 32);
    int32_t right = before_[1] + static_cast<int32_t>(((after_[1] - before_[1]) * frac) >> 32);
    if (!envelope_.empty()) {
      int32_t level_left = 0, level_right = 0;
      EnvelopeAt(position_, level_left, level_right);
      left = Scale(left, level_left);
      right = Scale(right, level_right);
    }
    mix[i] += Scale(left, gains.left_to_left) + Scale(right, gains.right_to_left);
    mix[i + 1] += Scale(left, gains.left_to_right) + Scale(right, gains.right_to_right);
    fraction_ += step_;
    ++position_;
  }
  return true;
}

}  // namespace lumen::audio
