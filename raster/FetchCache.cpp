#include "raster/FetchCache.h"

#include <algorithm>

namespace lumen::raster {

void FetchCache::BeginFrame() {
  ++frame_;
  selected_ = SIZE_MAX;
  std::erase_if(fills_, [this](const Fill& fill) {
    const bool gone = fill.last_frame + 1 < frame_ || fill.owner.expired();
    if (gone) pixels_ -= fill.pixels;
    return gone;
  });
}

void FetchCache::Select(const Key& key, const std::shared_ptr<const render::Bitmap>& owner) {
  selected_ = SIZE_MAX;
  for (size_t i = 0; i < fills_.size(); ++i) {
    Fill& fill = fills_[i];
    if (fill.key == key && fill.owner.lock() == owner) {
      fill.last_frame = frame_;
      selected_ = i;
      return;
    }
  }
  if (!owner || fills_.size() >= kMaxFills) return;
  fills_.push_back({key, owner, frame_, frame_, {}, 0});
  selected_ = fills_.size() - 1;
}

// Whether a fill is selected that was drawn in an earlier frame too.
bool FetchCache::Keeping() const {
  return selected_ < fills_.size() && fills_[selected_].first_frame < frame_;
}

const uint32_t* FetchCache::Find(int x, int y, int n) const {
  if (!Keeping()) return nullptr;
  const Fill& fill = fills_[selected_];
  if (y < 0 || static_cast<size_t>(y) >= fill.rows.size()) return nullptr;
  for (const Span& span : fill.rows[y]) {
    if (x >= span.x && x + n <= span.x + static_cast<int>(span.pixels.size())) {
      return span.pixels.data() + (x - span.x);
    }
  }
  return nullptr;
}

void FetchCache::Store(int x, int y, int n, const uint32_t* pixels) {
  if (!Keeping() || y < 0 || y >= kMaxRows || n <= 0 ||
      pixels_ + static_cast<size_t>(n) > kMaxPixels) {
    return;
  }
  Fill& fill = fills_[selected_];
  if (fill.rows.size() <= static_cast<size_t>(y)) fill.rows.resize(static_cast<size_t>(y) + 1);
  std::vector<Span>& row = fill.rows[y];
  if (row.size() >= kMaxSpansPerRow) return;
  row.push_back({x, std::vector<uint32_t>(pixels, pixels + n)});
  fill.pixels += static_cast<size_t>(n);
  pixels_ += static_cast<size_t>(n);
}

}  // namespace lumen::raster
