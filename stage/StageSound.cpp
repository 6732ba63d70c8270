#include "stage/StageSound.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "audio/Mp3File.h"
#include "audio/SoundFeeds.h"
#include "avm1/Names.h"

namespace lumen::stage {

namespace {

constexpr uint16_t kStartSound = 15;
constexpr uint16_t kSoundStreamHead = 18;
constexpr uint16_t kSoundStreamBlock = 19;
constexpr uint16_t kSoundStreamHead2 = 45;
constexpr uint32_t kFirstLoadedId = 0x10000;

}  // namespace

void StageSound::Start(uint16_t code, std::span<const uint8_t> body, uint64_t clip,
                       const movie::Movie& from) {
  const auto start = audio::ReadStartSound(body, code != kStartSound);
  if (!start) return;
  std::optional<uint16_t> id = start->id;
  if (code != kStartSound) id = ExportedId(start->class_name, from);
  const audio::SoundDefinition* sound = id ? Definition(*id, from) : nullptr;
  if (sound == nullptr) return;
  mixer_.StartEvent(*sound, start->info, clip);
}

void StageSound::EnteredFrame(const movie::Timeline& timeline, size_t frame, bool in_order,
                              uint64_t clip) {
  const bool playing = mixer_.StreamPlaying(clip);
  if (playing && in_order) return;
  if (playing) mixer_.StopStream(clip);
  const StreamTrack& track = TrackOf(timeline);
  if (!track.head || frame >= track.blocks.size() || track.blocks[frame].empty()) return;
  auto feed = std::make_unique<audio::BlockFeed>(track.blocks, frame);
  if (mixer_.StartStream(*track.head, std::move(feed), audio::VoiceOwner{0, clip, clip})) {
    stream_first_frames_[clip] = frame;
  }
}

size_t StageSound::StreamFirstFrame(uint64_t clip) const {
  const auto it = stream_first_frames_.find(clip);
  return it == stream_first_frames_.end() ? 0 : it->second;
}

const StageSound::StreamTrack& StageSound::TrackOf(const movie::Timeline& timeline) {
  const auto found = tracks_.find(&timeline);
  if (found != tracks_.end()) return found->second;
  StreamTrack& track = tracks_[&timeline];
  track.blocks.resize(timeline.frames.size());
  for (size_t f = 0; f < timeline.frames.size(); ++f) {
    for (const movie::FrameCommand& command : timeline.frames[f].commands) {
      const auto* other = std::get_if<movie::OtherCommand>(&command);
      if (other == nullptr) continue;
      if ((other->code == kSoundStreamHead || other->code == kSoundStreamHead2) && !track.head) {
        track.head = audio::ReadStreamHead(other->body);
      } else if (other->code == kSoundStreamBlock && track.head) {
        const auto block = audio::ReadStreamBlock(other->body, *track.head);
        if (block) track.blocks[f] = block->data;
      }
    }
  }
  return track;
}

uint32_t StageSound::AddLoaded(std::string_view file) {
  // Each load keeps its file for the movie's life; a script loading in a loop is refused early.
  constexpr size_t kMaxLoaded = 64;
  if (loaded_.size() >= kMaxLoaded) return 0;
  auto loaded = std::make_unique<LoadedSound>();
  loaded->bytes.assign(file.begin(), file.end());
  const auto sound = audio::ReadMp3File(loaded->bytes);
  if (!sound) return 0;
  loaded->sound = *sound;
  loaded->sound.id = kFirstLoadedId + static_cast<uint32_t>(loaded_.size());
  loaded_.push_back(std::move(loaded));
  return loaded_.back()->sound.id;
}

const audio::SoundDefinition* StageSound::Definition(uint32_t id, const movie::Movie& from) {
  if (id >= kFirstLoadedId) {
    const size_t index = id - kFirstLoadedId;
    return index < loaded_.size() ? &loaded_[index]->sound : nullptr;
  }
  auto [it, made] = definitions_.try_emplace(std::make_pair(&from, static_cast<uint16_t>(id)));
  if (made) {
    const movie::Character* character = from.Find(static_cast<uint16_t>(id));
    if (character != nullptr && character->kind == movie::Character::Kind::Sound) {
      it->second = audio::ReadDefineSound(character->body);
    }
  }
  return it->second ? &*it->second : nullptr;
}

std::optional<size_t> StageSound::LoadedBytes(uint32_t id) const {
  if (id < kFirstLoadedId || id - kFirstLoadedId >= loaded_.size()) return std::nullopt;
  return loaded_[id - kFirstLoadedId]->bytes.size();
}

std::optional<double> StageSound::DurationMs(uint32_t id) {
  const audio::SoundDefinition* sound = Definition(id);
  if (sound == nullptr || sound->format.rate == 0) return std::nullopt;
  const double rate = sound->format.rate == 5512 ? 5512.5 : sound->format.rate;
  return std::round(sound->sample_count * 1000.0 / rate);
}

uint64_t StageSound::StartScripted(uint32_t id, uint64_t clip, double offset_seconds, int loops) {
  const audio::SoundDefinition* sound = Definition(id);
  if (sound == nullptr) return 0;
  audio::SoundInfo info;
  // An offset counts whole 44.1 kHz frames, as SOUNDINFO's in point does; a day at most.
  if (std::isfinite(offset_seconds) && offset_seconds > 0) {
    info.in_point = static_cast<uint32_t>(std::min(offset_seconds, 86400.0) * 44100);
  }
  info.loops = static_cast<uint16_t>(std::clamp(loops, 1, 65535));
  return mixer_.StartEvent(*sound, info, clip);
}

std::optional<uint16_t> StageSound::ExportedId(std::string_view name, const movie::Movie& from) {
  for (const auto& [id, exported] : from.exports) {
    if (avm1::SameAsciiName(exported, name)) return id;
  }
  return std::nullopt;
}

}  // namespace lumen::stage
