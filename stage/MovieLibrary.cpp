#include "stage/MovieLibrary.h"

#include "avm1/Names.h"

namespace lumen::stage {

namespace {

// Imports of imports followed at most: movies importing from each other in a ring end here.
constexpr int kMaxHops = 8;
constexpr uint16_t kDoInitAction = 59;
// What the hit bands of one movie's shapes may take, and a line's share of them at most.
constexpr size_t kMaxBandBytes = size_t{48} << 20;
constexpr size_t kBandBytesPerLine = 40;

std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) c = avm1::FoldAscii(c);
  return folded;
}

}  // namespace

MovieLibrary::MovieLibrary(std::shared_ptr<const movie::Movie> movie,
                           std::unique_ptr<text::FontFiles> fonts)
    : movie_(std::move(movie)), texts_(*movie_, std::move(fonts)) {
  // Names are looked up without regard to letter case; the first of a name counts, exports
  // before imports.
  for (const auto& [id, name] : movie_->exports) {
    symbols_.try_emplace(Folded(name), id);
    names_.try_emplace(id, name);
  }
  for (const movie::Import& import : movie_->imports) {
    for (const auto& [id, name] : import.symbols) {
      symbols_.try_emplace(Folded(name), id);
      names_.try_emplace(id, name);
    }
  }
  for (const movie::Frame& frame : movie_->root.frames) {
    for (const movie::FrameCommand& command : frame.commands) {
      const auto* other = std::get_if<movie::OtherCommand>(&command);
      if (other == nullptr || other->code != kDoInitAction || other->body.size() < 2) continue;
      const auto sprite = static_cast<uint16_t>(other->body[0] | other->body[1] << 8);
      own_inits_.emplace(sprite, other->body.subspan(2));
    }
  }
}

MovieLibrary::Found MovieLibrary::Find(uint16_t id) {
  return Find(id, 0);
}

MovieLibrary::Found MovieLibrary::Find(uint16_t id, int hops) {
  if (const movie::Character* own = movie_->Find(id)) return {own, this, id};
  const auto it = imported_.find(id);
  if (it == imported_.end() || hops >= kMaxHops) return {nullptr, this, id};
  return it->second.from->Find(it->second.id, hops + 1);
}

bool MovieLibrary::ShapeCovers(const render::ShapeGeometry& shape, render::Point p) {
  const render::Rect& b = shape.bounds;
  if (!(p.x >= b.x_min && p.x <= b.x_max && p.y >= b.y_min && p.y <= b.y_max)) return false;
  auto [it, added] = bands_.try_emplace(&shape);
  if (added) {
    const size_t lines = ShapeHitBands::LineCount(shape);
    if (lines >= ShapeHitBands::kMinLines &&
        band_bytes_ + lines * kBandBytesPerLine <= kMaxBandBytes) {
      it->second = std::make_unique<const ShapeHitBands>(shape);
      band_bytes_ += it->second->Bytes();
    }
  }
  return it->second ? it->second->Contains(p) : ShapeContains(shape, p);
}

MovieLibrary::Found MovieLibrary::FindSymbol(std::string_view name) {
  const auto it = symbols_.find(Folded(name));
  return it == symbols_.end() ? Found{} : Find(it->second);
}

std::optional<uint16_t> MovieLibrary::ExportedId(std::string_view name) const {
  const auto it = symbols_.find(Folded(name));
  if (it == symbols_.end() || !movie_->exports.contains(it->second)) return std::nullopt;
  return it->second;
}

std::optional<std::string_view> MovieLibrary::SymbolName(uint16_t id) const {
  const auto it = names_.find(id);
  if (it == names_.end()) return std::nullopt;
  return it->second;
}

void MovieLibrary::Import(uint16_t id, MovieLibrary& from, uint16_t from_id) {
  if (!imported_.try_emplace(id, Link{&from, from_id}).second) return;
  const auto [begin, end] = from.own_inits_.equal_range(from_id);
  for (auto it = begin; it != end; ++it) inits_.push_back({&from, from_id, it->second});
}

}  // namespace lumen::stage
