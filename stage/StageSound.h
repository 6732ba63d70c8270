#pragma once

// The movie's sound commands on the stage: event sounds that frames start, the stream sound each
// timeline carries, and the mixer they all play into. The host pulls the mix.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "audio/Mixer.h"
#include "audio/SoundTags.h"
#include "movie/Movie.h"

namespace lumen::stage {

class StageSound {
 public:
  explicit StageSound(const movie::Movie& movie) : movie_(movie) {}

  // StartSound (15) and StartSound2 (89) bodies, from a frame of `clip` whose sounds `from`
  // defines.
  void Start(uint16_t code, std::span<const uint8_t> body, uint64_t clip, const movie::Movie& from);
  // A timeline entered `frame`: `in_order` when it came from the frame before by playing. A
  // stream that the timeline jumped away from stops; a frame with a block starts one.
  void EnteredFrame(const movie::Timeline& timeline, size_t frame, bool in_order, uint64_t clip);
  // The timeline stopped or went away: its stream stops; when gone, its event sounds too.
  void TimelineStopped(uint64_t clip) { mixer_.StopStream(clip); }
  void ClipGone(uint64_t clip) {
    mixer_.StopClip(clip);
    stream_first_frames_.erase(clip);
  }
  // The 0-based frame the clip's stream started on.
  size_t StreamFirstFrame(uint64_t clip) const;

  // Scripts' side: sounds by export name, their length, and starting one from an offset.
  std::optional<uint16_t> ExportedId(std::string_view name) const {
    return ExportedId(name, movie_);
  }
  std::optional<double> DurationMs(uint32_t id);
  // The file size of a sound AddLoaded took.
  std::optional<size_t> LoadedBytes(uint32_t id) const;
  uint64_t StartScripted(uint32_t id, uint64_t clip, double offset_seconds, int loops);
  // An MP3 file a script loaded; answers the number it plays under (0: not a sound).
  uint32_t AddLoaded(std::string_view file);

  audio::Mixer& Mixer() { return mixer_; }
  const audio::Mixer& Mixer() const { return mixer_; }

 private:
  struct StreamTrack {
    std::optional<audio::StreamHead> head;
    std::vector<std::span<const uint8_t>> blocks;  // per frame; empty where a frame has none
  };

  const StreamTrack& TrackOf(const movie::Timeline& timeline);
  const audio::SoundDefinition* Definition(uint32_t id) { return Definition(id, movie_); }
  const audio::SoundDefinition* Definition(uint32_t id, const movie::Movie& from);
  static std::optional<uint16_t> ExportedId(std::string_view name, const movie::Movie& from);

  struct LoadedSound {
    std::vector<uint8_t> bytes;
    audio::SoundDefinition sound;  // its data points into `bytes`
  };

  const movie::Movie& movie_;
  std::unordered_map<const movie::Timeline*, StreamTrack> tracks_;
  std::map<std::pair<const movie::Movie*, uint16_t>, std::optional<audio::SoundDefinition>>
      definitions_;
  std::unordered_map<uint64_t, size_t> stream_first_frames_;
  std::vector<std::unique_ptr<LoadedSound>> loaded_;
  audio::Mixer mixer_;  // last: its voices read the spans above
};

}  // namespace lumen::stage
