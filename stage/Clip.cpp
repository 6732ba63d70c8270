#include "stage/Clip.h"

#include <algorithm>

namespace lumen::stage {

namespace {

template <typename T>
auto LowerBound(std::vector<T>& list, uint16_t depth) {
  return std::lower_bound(list.begin(), list.end(), depth, [](const T& item, uint16_t d) {
    if constexpr (std::is_same_v<T, Placement>) {
      return item.depth < d;
    } else {
      return item.place.depth < d;
    }
  });
}

// Placements a rebuild replays: the same commands Place and Remove apply to live objects.
void ReplayInto(const movie::Frame& frame, std::vector<Placement>& list) {
  for (const movie::FrameCommand& command : frame.commands) {
    if (const auto* place = std::get_if<movie::PlaceCommand>(&command)) {
      auto it = LowerBound(list, place->depth);
      const bool exists = it != list.end() && it->depth == place->depth;
      if (place->move && !exists) continue;
      if (!place->move && !place->character) continue;
      if (!exists) {
        it = list.insert(it, Placement{});
        it->depth = place->depth;
      } else if (!place->move) {
        *it = Placement{};
        it->depth = place->depth;
      }
      ApplyPlace(*place, *it);
    } else if (const auto* remove = std::get_if<movie::RemoveCommand>(&command)) {
      auto it = LowerBound(list, remove->depth);
      if (it != list.end() && it->depth == remove->depth) list.erase(it);
    }
  }
}

}  // namespace

void ApplyPlace(const movie::PlaceCommand& command, Placement& place) {
  if (command.character) place.character = *command.character;
  if (command.matrix) place.matrix = *command.matrix;
  if (command.cxform) place.cxform = *command.cxform;
  if (command.ratio) place.ratio = *command.ratio;
  if (command.name) place.name = *command.name;
  if (command.clip_depth) place.clip_depth = *command.clip_depth;
  if (command.blend) place.blend = *command.blend;
  if (command.cache_as_bitmap) place.cache_as_bitmap = *command.cache_as_bitmap;
}

Clip::Clip(StageContext& context, const movie::Timeline& timeline, int nesting)
    : context_(context), timeline_(timeline), nesting_(nesting) {
  if (!timeline_.frames.empty()) EnterFrame(0, true);
}

Clip::~Clip() {
  context_.objects -= objects_.size();
}

const DisplayObject* Clip::At(uint16_t depth) const {
  return const_cast<Clip*>(this)->Find(depth);
}

DisplayObject* Clip::Find(uint16_t depth) {
  auto it = LowerBound(objects_, depth);
  return it != objects_.end() && it->place.depth == depth ? &*it : nullptr;
}

void Clip::Advance(bool loop) {
  for (DisplayObject& object : objects_) {
    if (object.clip) object.clip->Advance(true);
  }
  if (!playing_ || FrameCount() <= 1) return;
  if (current_ + 1 < FrameCount()) {
    EnterFrame(current_ + 1, true);
  } else if (loop) {
    GotoFrame(0);
  } else {
    playing_ = false;
  }
}

void Clip::GotoFrame(size_t frame) {
  if (FrameCount() == 0) return;
  frame = std::min(frame, FrameCount() - 1);
  if (frame == current_) return;
  if (frame > current_) {
    for (size_t f = current_ + 1; f < frame; ++f) EnterFrame(f, false);
    EnterFrame(frame, true);
    return;
  }
  Rebuild(frame);
  RunActions(frame);
}

void Clip::EnterFrame(size_t frame, bool run_actions) {
  current_ = frame;
  for (const movie::FrameCommand& command : timeline_.frames[frame].commands) {
    if (const auto* place = std::get_if<movie::PlaceCommand>(&command)) {
      Place(*place);
    } else if (const auto* remove = std::get_if<movie::RemoveCommand>(&command)) {
      Remove(remove->depth);
    } else if (const auto* background = std::get_if<movie::BackgroundCommand>(&command)) {
      if (!context_.background_set) context_.background = background->color;
      context_.background_set = true;
    }
  }
  if (run_actions) RunActions(frame);
}

void Clip::RunActions(size_t frame) {
  for (const movie::FrameCommand& command : timeline_.frames[frame].commands) {
    const auto* action = std::get_if<movie::ActionCommand>(&command);
    if (action && action->stops) playing_ = false;
  }
}

void Clip::Place(const movie::PlaceCommand& command) {
  DisplayObject* existing = Find(command.depth);
  if (command.move) {
    if (existing == nullptr) return;
    Placement place = existing->place;
    ApplyPlace(command, place);
    if (place.character != existing->place.character) {
      Create(place);  // replace: a new instance that keeps the old one's properties
    } else {
      existing->place = place;
    }
    return;
  }
  if (!command.character) return;
  Placement place;
  place.depth = command.depth;
  ApplyPlace(command, place);
  Create(place);
}

void Clip::Remove(uint16_t depth) {
  auto it = LowerBound(objects_, depth);
  if (it != objects_.end() && it->place.depth == depth) Destroy(it);
}

void Clip::Destroy(std::vector<DisplayObject>::iterator it) {
  objects_.erase(it);
  --context_.objects;
}

void Clip::Create(const Placement& place) {
  Remove(place.depth);
  if (context_.objects >= StageContext::kMaxObjects) return;
  DisplayObject object;
  object.place = place;
  object.character = context_.movie->Find(place.character);
  if (object.character && object.character->sprite && nesting_ < StageContext::kMaxNesting) {
    object.clip = std::make_unique<Clip>(context_, *object.character->sprite, nesting_ + 1);
  }
  auto it = LowerBound(objects_, place.depth);
  objects_.insert(it, std::move(object));
  ++context_.objects;
}

void Clip::Rebuild(size_t frame) {
  scratch_.clear();
  for (size_t f = 0; f <= frame; ++f) ReplayInto(timeline_.frames[f], scratch_);
  current_ = frame;
  // Objects that the target frame still shows with the same character and ratio survive.
  for (auto it = objects_.begin(); it != objects_.end();) {
    auto want = LowerBound(scratch_, it->place.depth);
    const bool keep = want != scratch_.end() && want->depth == it->place.depth &&
                      want->character == it->place.character && want->ratio == it->place.ratio;
    if (keep) {
      it->place = *want;
      ++it;
    } else {
      const auto index = it - objects_.begin();
      Destroy(it);
      it = objects_.begin() + index;
    }
  }
  for (const Placement& place : scratch_) {
    if (Find(place.depth) == nullptr) Create(place);
  }
}

}  // namespace lumen::stage
