#include "stage/StageSound.h"

#include <memory>

#include "audio/SoundFeeds.h"
#include "avm1/Names.h"

namespace lumen::stage {

namespace {

constexpr uint16_t kStartSound = 15;
constexpr uint16_t kSoundStreamHead = 18;
constexpr uint16_t kSoundStreamBlock = 19;
constexpr uint16_t kSoundStreamHead2 = 45;

}  // namespace

void StageSound::Start(uint16_t code, std::span<const uint8_t> body, uint64_t clip) {
  const auto start = audio::ReadStartSound(body, code != kStartSound);
  if (!start) return;
  std::optional<uint16_t> id = start->id;
  if (code != kStartSound) id = ExportedId(start->class_name);
  const audio::SoundDefinition* sound = id ? Definition(*id) : nullptr;
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

const audio::SoundDefinition* StageSound::Definition(uint16_t id) {
  auto [it, made] = definitions_.try_emplace(id);
  if (made) {
    const movie::Character* character = movie_.Find(id);
    if (character != nullptr && character->kind == movie::Character::Kind::Sound) {
      it->second = audio::ReadDefineSound(character->body);
    }
  }
  return it->second ? &*it->second : nullptr;
}

std::optional<uint16_t> StageSound::ExportedId(std::string_view name) const {
  for (const auto& [id, exported] : movie_.exports) {
    if (avm1::SameName(exported, name, false)) return id;
  }
  return std::nullopt;
}

}  // namespace lumen::stage
