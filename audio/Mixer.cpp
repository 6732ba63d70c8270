#include "audio/Mixer.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioDevice.h"
#include "audio/SoundFeeds.h"

namespace lumen::audio {

namespace {

// A 44.1 kHz position in the sound's own frames.
uint64_t SourceFrames(uint64_t position44, uint32_t rate) {
  const uint64_t doubled = rate == 5512 ? 11025 : uint64_t{rate} * 2;
  return position44 * doubled / (uint64_t{kOutputRate} * 2);
}

VoiceCut CutFor(const SoundDefinition& sound, const SoundInfo& info) {
  VoiceCut cut;
  const uint32_t rate = sound.format.rate;
  const uint64_t in = info.in_point ? SourceFrames(*info.in_point, rate) : 0;
  cut.skip = sound.seek_samples + in;
  if (info.out_point && *info.out_point > info.in_point.value_or(0)) {
    cut.length = SourceFrames(*info.out_point, rate) - in;
  }
  if (sound.sample_count > 0) {
    cut.length =
        std::min<uint64_t>(cut.length, sound.sample_count > in ? sound.sample_count - in : 0);
  }
  cut.loops = info.loops;
  return cut;
}

// Scripts may set any number; beyond a hundred times full scale nothing is audible but clipping.
double Percent(double value) {
  if (!std::isfinite(value)) return 0;
  return std::clamp(value, -10000.0, 10000.0) / 100;
}

int32_t Q15(double gain) {
  return static_cast<int32_t>(std::lround(gain * 32768));
}

}  // namespace

uint64_t Mixer::StartEvent(const SoundDefinition& sound, const SoundInfo& info, uint64_t clip) {
  if (info.sync_stop) {
    StopSound(sound.id);
    return 0;
  }
  if (info.no_multiple && SoundPlaying(sound.id)) return 0;
  if (voices_.size() >= kMaxVoices) return 0;
  auto voice = std::make_unique<Voice>(sound.format, std::make_unique<SpanFeed>(sound.data),
                                       CutFor(sound, info), info.envelope);
  if (voice->Ended()) return 0;
  const uint64_t handle = next_handle_++;
  voices_.push_back({VoiceOwner{sound.id, clip, 0, handle}, std::move(voice)});
  return handle;
}

std::optional<uint64_t> Mixer::EventPosition(uint64_t handle) const {
  for (const Active& p : voices_) {
    if (p.owner.handle == handle) return p.voice->Position();
  }
  return std::nullopt;
}

std::vector<uint64_t> Mixer::TakeFinished() {
  std::vector<uint64_t> finished;
  finished.swap(finished_);
  return finished;
}

void Mixer::StopClipEvents(uint64_t clip, uint32_t sound_id) {
  std::erase_if(voices_, [clip, sound_id](const Active& p) {
    return p.owner.stream == 0 && p.owner.clip == clip &&
           (sound_id == 0 || p.owner.sound_id == sound_id);
  });
}

bool Mixer::StartStream(const StreamHead& head, std::unique_ptr<SoundFeed> feed, VoiceOwner owner) {
  StopStream(owner.stream);
  if (voices_.size() >= kMaxVoices) return false;
  VoiceCut cut;
  if (head.format.codec == Codec::Mp3 && head.latency_seek > 0) cut.skip = head.latency_seek;
  auto voice =
      std::make_unique<Voice>(head.format, std::move(feed), cut, std::vector<EnvelopePoint>{});
  if (voice->Ended()) return false;
  voices_.push_back({owner, std::move(voice)});
  return true;
}

void Mixer::StopStream(uint64_t stream) {
  std::erase_if(voices_, [stream](const Active& p) { return p.owner.stream == stream; });
}

bool Mixer::StreamPlaying(uint64_t stream) const {
  return std::any_of(voices_.begin(), voices_.end(),
                     [stream](const Active& p) { return p.owner.stream == stream; });
}

uint64_t Mixer::StreamPosition(uint64_t stream) const {
  for (const Active& p : voices_) {
    if (p.owner.stream == stream) return p.voice->Position();
  }
  return 0;
}

void Mixer::StopSound(uint32_t sound_id) {
  std::erase_if(voices_, [sound_id](const Active& p) {
    return p.owner.stream == 0 && p.owner.sound_id == sound_id;
  });
}

bool Mixer::SoundPlaying(uint32_t sound_id) const {
  return std::any_of(voices_.begin(), voices_.end(), [sound_id](const Active& p) {
    return p.owner.stream == 0 && p.owner.sound_id == sound_id;
  });
}

void Mixer::StopClip(uint64_t clip) {
  std::erase_if(voices_, [clip](const Active& p) { return p.owner.clip == clip; });
  transforms_.erase(clip);
}

void Mixer::StopAll() {
  voices_.clear();
}

void Mixer::SetTransform(uint64_t clip, const SoundTransform& transform) {
  transforms_[clip] = transform;
}

SoundTransform Mixer::Transform(uint64_t clip) const {
  const auto it = transforms_.find(clip);
  return it == transforms_.end() ? SoundTransform{} : it->second;
}

// The clip's transform, then the movie's: two 2x2 matrices multiplied, in Q15.
ChannelGains Mixer::GainsFor(uint64_t clip) const {
  const auto matrix = [](const SoundTransform& t, double m[2][2]) {
    const double volume = Percent(t.volume);
    m[0][0] = volume * Percent(t.left_to_left);
    m[0][1] = volume * Percent(t.right_to_left);
    m[1][0] = volume * Percent(t.left_to_right);
    m[1][1] = volume * Percent(t.right_to_right);
  };
  double own[2][2], movie[2][2];
  matrix(clip == 0 ? SoundTransform{} : Transform(clip), own);
  matrix(Transform(0), movie);
  ChannelGains gains;
  gains.left_to_left = Q15(movie[0][0] * own[0][0] + movie[0][1] * own[1][0]);
  gains.right_to_left = Q15(movie[0][0] * own[0][1] + movie[0][1] * own[1][1]);
  gains.left_to_right = Q15(movie[1][0] * own[0][0] + movie[1][1] * own[1][0]);
  gains.right_to_right = Q15(movie[1][0] * own[0][1] + movie[1][1] * own[1][1]);
  return gains;
}

void Mixer::Mix(std::span<int16_t> out) {
  scratch_.assign(out.size(), 0);
  for (Active& p : voices_) p.voice->MixInto(scratch_, GainsFor(p.owner.clip));
  // Scripts hear of the ends later; a movie that never looks does not pile them up for ever.
  constexpr size_t kMaxFinished = 4096;
  for (const Active& p : voices_) {
    if (p.voice->Ended() && p.owner.handle != 0 && finished_.size() < kMaxFinished) {
      finished_.push_back(p.owner.handle);
    }
  }
  std::erase_if(voices_, [](const Active& p) { return p.voice->Ended(); });
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<int16_t>(std::clamp(scratch_[i], -32768, 32767));
  }
}

}  // namespace lumen::audio
