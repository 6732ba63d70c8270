#pragma once

// The decoded pixels of a movie's bitmaps for one player, held within a byte budget. A bitmap is
// decoded the first time a frame draws it (or ahead of that, by Prefetch on another thread) and
// kept while it fits. When a decode would overrun the budget, the least recently drawn bitmaps
// that the frame being drawn does not use are dropped; they are decoded again if they come back.
// A bitmap that fails to decode is remembered as failed and never tried again. Every member may
// be called from any thread; the sources must outlive the cache (the movie owns them).

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>

#include "codec/BitmapDecoder.h"
#include "render/RenderList.h"

namespace lumen::stage {

class BitmapCache final : public render::BitmapProvider {
 public:
  struct Counts {
    size_t decodes = 0;    // successful decodes, repeats after eviction included
    size_t failures = 0;   // sources that did not decode
    size_t evictions = 0;  // decoded bitmaps dropped to make room
    size_t resident = 0;   // bitmaps held now
    size_t bytes = 0;      // their pixel bytes, and those of decodes under way
  };

  explicit BitmapCache(size_t budget_bytes = codec::DecodeBudget::kDefaultTotal);

  void BeginFrame(std::span<const render::BitmapSource* const> sources) override;
  // Decodes on the caller's thread when the pixels are not held (waits instead when another
  // thread is decoding them). Null when the source is damaged, or when the bitmaps of the frame
  // being drawn leave no room for it within the budget.
  std::shared_ptr<const render::Bitmap> Pixels(const render::BitmapSource& source) override;

  // Decodes those of `sources` (nearest need first) not held yet, as long as they fit without
  // dropping the current frame's bitmaps or other bitmaps of this request. Stops early, between
  // decodes, when `cancelled` answers true.
  void Prefetch(std::span<const render::BitmapSource* const> sources,
                const std::function<bool()>& cancelled);

  Counts Count() const;
  bool Holds(const render::BitmapSource& source) const;

 private:
  struct Entry {
    std::shared_ptr<const render::Bitmap> pixels;
    uint64_t frame = 0;  // the last frame that announced it
    uint64_t used = 0;   // when it was last announced, drawn or decoded: orders eviction
    uint64_t round = 0;  // the last prefetch request that asked for it
    bool decoding = false;
    bool failed = false;
  };

  std::shared_ptr<const render::Bitmap> Decode(std::unique_lock<std::mutex>& lock,
                                               const render::BitmapSource& source, Entry& entry,
                                               bool ahead);
  bool MakeRoom(size_t bytes, bool ahead);
  bool Evictable(const Entry& entry, bool ahead) const;

  mutable std::mutex mutex_;
  std::condition_variable decoded_;
  codec::DecodeBudget budget_;
  // Entries are never erased (one per source of the movie), so references to them stay valid
  // while the lock is released for a decode.
  std::unordered_map<const render::BitmapSource*, Entry> entries_;
  uint64_t frame_ = 0, tick_ = 0, round_ = 0;
  size_t decoding_ahead_ = 0;  // prefetch decodes under way
  size_t frames_waiting_ = 0;  // frames waiting for those to make room
  Counts counts_;
};

}  // namespace lumen::stage
