#pragma once

// The movie's sound: the voices playing, the volume and pan that scripts set, and the mix the
// device pulls at 44.1 kHz stereo. Single-threaded: a host that plays on a device thread locks
// around it.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "audio/SoundTags.h"
#include "audio/Voice.h"

namespace lumen::audio {

// Volume and pan in percent, as scripts see them.
struct SoundTransform {
  double volume = 100;
  double left_to_left = 100, left_to_right = 0;
  double right_to_left = 0, right_to_right = 100;
};

// Who a voice belongs to: the sound it plays (for stop and no-multiple) and the clip that started
// it (its Sound objects shape it; 0: the movie itself).
struct VoiceOwner {
  uint32_t sound_id = 0;
  uint64_t clip = 0;
  uint64_t stream = 0;  // the timeline a stream voice follows; 0 for event sounds
  uint64_t handle = 0;  // names an event voice for scripts
};

class Mixer {
 public:
  // As many sounds play at once as the reference player allows; later ones are not started.
  static constexpr size_t kMaxVoices = 32;

  // Starts an event sound as its SOUNDINFO says (stop, no-multiple, points, loops, envelope).
  // Answers the playing instance's handle, or 0 when nothing was started.
  uint64_t StartEvent(const SoundDefinition& sound, const SoundInfo& info, uint64_t clip);
  // Output frames an event voice has played; nothing once it is over.
  std::optional<uint64_t> EventPosition(uint64_t handle) const;
  // The event voices that came to their end by themselves since the last call, oldest first.
  std::vector<uint64_t> TakeFinished();
  // Starts the stream of `owner.stream` from `feed`, replacing one it had.
  bool StartStream(const StreamHead& head, std::unique_ptr<SoundFeed> feed, VoiceOwner owner);
  void StopStream(uint64_t stream);
  // Output frames the stream has played since it started; nothing when it is not playing.
  bool StreamPlaying(uint64_t stream) const;
  uint64_t StreamPosition(uint64_t stream) const;

  void StopSound(uint32_t sound_id);
  bool SoundPlaying(uint32_t sound_id) const;
  // Every sound of a clip (and its streams): the clip is gone.
  void StopClip(uint64_t clip);
  // The event sounds a clip started: all of them (sound_id 0) or those of one sound.
  void StopClipEvents(uint64_t clip, uint32_t sound_id);
  void StopAll();
  size_t Playing() const { return voices_.size(); }

  // clip 0: the whole movie's transform, applied over every clip's own.
  void SetTransform(uint64_t clip, const SoundTransform& transform);
  SoundTransform Transform(uint64_t clip) const;

  // Writes the next out.size() / 2 stereo frames.
  void Mix(std::span<int16_t> out);

 private:
  struct Active {
    VoiceOwner owner;
    std::unique_ptr<Voice> voice;
  };

  ChannelGains GainsFor(uint64_t clip) const;

  std::vector<Active> voices_;
  std::unordered_map<uint64_t, SoundTransform> transforms_;
  std::vector<int32_t> scratch_;
  uint64_t next_handle_ = 1;
  std::vector<uint64_t> finished_;
};

}  // namespace lumen::audio
