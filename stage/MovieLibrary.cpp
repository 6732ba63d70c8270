#include "stage/MovieLibrary.h"

#include "avm1/Names.h"

namespace lumen::stage {

namespace {

// Imports of imports followed at most: movies importing from each other in a ring end here.
constexpr int kMaxHops = 8;
constexpr uint16_t kDoInitAction = 59;

}  // namespace

MovieLibrary::Found MovieLibrary::Find(uint16_t id) {
  return Find(id, 0);
}

MovieLibrary::Found MovieLibrary::Find(uint16_t id, int hops) {
  if (const movie::Character* own = movie_->Find(id)) return {own, this, id};
  const auto it = imported_.find(id);
  if (it == imported_.end() || hops >= kMaxHops) return {nullptr, this, id};
  return it->second.from->Find(it->second.id, hops + 1);
}

MovieLibrary::Found MovieLibrary::FindSymbol(std::string_view name) {
  for (const auto& [id, exported] : movie_->exports) {
    if (avm1::SameName(exported, name, false)) return Find(id);
  }
  for (const movie::Import& import : movie_->imports) {
    for (const auto& [id, imported] : import.symbols) {
      if (avm1::SameName(imported, name, false)) return Find(id);
    }
  }
  return {};
}

std::optional<std::string_view> MovieLibrary::SymbolName(uint16_t id) const {
  const auto exported = movie_->exports.find(id);
  if (exported != movie_->exports.end()) return exported->second;
  if (!imported_.contains(id)) return std::nullopt;
  for (const movie::Import& import : movie_->imports) {
    for (const auto& [symbol, name] : import.symbols) {
      if (symbol == id) return name;
    }
  }
  return std::nullopt;
}

void MovieLibrary::Import(uint16_t id, MovieLibrary& from, uint16_t from_id) {
  if (!imported_.try_emplace(id, Link{&from, from_id}).second) return;
  for (const movie::Frame& frame : from.Movie().root.frames) {
    for (const movie::FrameCommand& command : frame.commands) {
      const auto* other = std::get_if<movie::OtherCommand>(&command);
      if (other == nullptr || other->code != kDoInitAction || other->body.size() < 2) continue;
      const auto sprite = static_cast<uint16_t>(other->body[0] | other->body[1] << 8);
      if (sprite == from_id) inits_.push_back({&from, sprite, other->body.subspan(2)});
    }
  }
}

}  // namespace lumen::stage
