#include "stage/BitmapPlan.h"

#include <algorithm>
#include <variant>

namespace lumen::stage {

namespace {

// A frame, a sprite and a window list at most this many bitmaps.
constexpr size_t kMaxListed = 64;

void AddOnce(const render::BitmapSource* source, std::vector<const render::BitmapSource*>& out) {
  if (out.size() < kMaxListed && std::find(out.begin(), out.end(), source) == out.end()) {
    out.push_back(source);
  }
}

}  // namespace

BitmapPlan::BitmapPlan(const movie::Movie& movie) : movie_(movie) {
  frames_.reserve(movie.root.frames.size());
  for (const movie::Frame& frame : movie.root.frames) {
    Sources sources;
    AddFrame(frame, sources);
    frames_.push_back(std::move(sources));
  }
  sprites_.clear();
}

void BitmapPlan::AddFrame(const movie::Frame& frame, Sources& out) {
  for (const movie::FrameCommand& command : frame.commands) {
    const auto* place = std::get_if<movie::PlaceCommand>(&command);
    if (place && place->character) AddCharacter(*place->character, out);
  }
}

void BitmapPlan::AddCharacter(uint16_t id, Sources& out) {
  const movie::Character* c = movie_.Find(id);
  if (c == nullptr) return;
  if (c->bitmap) AddOnce(c->bitmap.get(), out);
  for (const render::BitmapSource* source : c->bitmap_fills) AddOnce(source, out);
  if (c->sprite) {
    for (const render::BitmapSource* source : SpriteSources(id, *c->sprite)) AddOnce(source, out);
  }
}

// Every sprite is walked once; one that places itself (directly or not) meets its own entry,
// still empty, and stops there.
const BitmapPlan::Sources& BitmapPlan::SpriteSources(uint16_t id, const movie::Timeline& timeline) {
  if (const auto it = sprites_.find(id); it != sprites_.end()) return it->second;
  sprites_.emplace(id, Sources());
  Sources sources;
  for (const movie::Frame& frame : timeline.frames) AddFrame(frame, sources);
  Sources& kept = sprites_[id];
  kept = std::move(sources);
  return kept;
}

void BitmapPlan::Window(size_t first, size_t count, Sources& out) const {
  out.clear();
  if (frames_.empty()) return;
  count = std::min(count, frames_.size());
  for (size_t i = 0; i < count; ++i) {
    for (const render::BitmapSource* source : frames_[(first + i) % frames_.size()]) {
      AddOnce(source, out);
    }
  }
}

}  // namespace lumen::stage
