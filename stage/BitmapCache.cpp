#include "stage/BitmapCache.h"

#include <utility>

#include "raster/BitmapLevels.h"

namespace lumen::stage {

namespace {

// A photo's prefiltered levels count against the budget with its pixels.
size_t BytesOf(const render::BitmapSource& source) {
  return codec::DecodeBudget::Bytes(source.Width(), source.Height()) +
         raster::LevelBytes(source.Width(), source.Height());
}

}  // namespace

BitmapCache::BitmapCache(size_t budget_bytes) : budget_(budget_bytes) {}

void BitmapCache::BeginFrame(std::span<const render::BitmapSource* const> sources) {
  const std::lock_guard lock(mutex_);
  ++frame_;
  for (const render::BitmapSource* source : sources) {
    Entry& entry = entries_[source];
    entry.frame = frame_;
    entry.used = ++tick_;
  }
}

std::shared_ptr<const render::Bitmap> BitmapCache::Pixels(const render::BitmapSource& source) {
  std::unique_lock lock(mutex_);
  Entry& entry = entries_[&source];
  entry.used = ++tick_;
  decoded_.wait(lock, [&entry] { return !entry.decoding; });
  if (entry.pixels || entry.failed) return entry.pixels;
  return Decode(lock, source, entry, false);
}

void BitmapCache::Prefetch(std::span<const render::BitmapSource* const> sources,
                           const std::function<bool()>& cancelled) {
  std::unique_lock lock(mutex_);
  ++round_;
  for (const render::BitmapSource* source : sources) entries_[source].round = round_;
  for (const render::BitmapSource* source : sources) {
    // A frame waiting for room goes first: decoding more ahead would take it again.
    if (cancelled() || frames_waiting_ > 0) return;
    Entry& entry = entries_[source];
    if (entry.pixels || entry.failed || entry.decoding) continue;
    // What does not fit now will not fit further ahead either: leave it to the frame.
    if (!Decode(lock, *source, entry, true) && !entry.failed) return;
  }
}

// Called with the lock held and `entry` neither held, failed nor decoding. Reserves the bytes,
// decodes with the lock released, and files the result.
std::shared_ptr<const render::Bitmap> BitmapCache::Decode(std::unique_lock<std::mutex>& lock,
                                                          const render::BitmapSource& source,
                                                          Entry& entry, bool ahead) {
  const size_t bytes = BytesOf(source);
  // Room held by decodes ahead returns once they are filed; a frame waits for it rather than
  // going without its bitmap.
  while (!MakeRoom(bytes, ahead)) {
    if (ahead || decoding_ahead_ == 0) return nullptr;
    ++frames_waiting_;
    decoded_.wait(lock);
    --frames_waiting_;
  }
  budget_.Take(bytes);
  entry.decoding = true;
  decoding_ahead_ += ahead ? 1 : 0;
  lock.unlock();
  std::optional<render::Bitmap> bitmap = source.Decode();
  if (bitmap) raster::AddSmallerLevels(*bitmap);
  auto pixels = bitmap ? std::make_shared<const render::Bitmap>(std::move(*bitmap)) : nullptr;
  lock.lock();
  entry.decoding = false;
  decoding_ahead_ -= ahead ? 1 : 0;
  entry.used = ++tick_;
  if (pixels) {
    entry.pixels = pixels;
    ++counts_.decodes;
  } else {
    entry.failed = true;
    budget_.Give(bytes);
    ++counts_.failures;
  }
  decoded_.notify_all();
  return pixels;
}

// The current frame's bitmaps stay; a prefetch also keeps what its own request asked for.
bool BitmapCache::Evictable(const Entry& entry, bool ahead) const {
  return entry.pixels && entry.frame != frame_ && !(ahead && entry.round == round_);
}

// Drops the least recently used evictable bitmaps until `bytes` fit; drops nothing when even
// all of them would not make enough room.
bool BitmapCache::MakeRoom(size_t bytes, bool ahead) {
  if (budget_.Left() >= bytes) return true;
  size_t freeable = 0;
  for (const auto& [source, entry] : entries_) {
    if (Evictable(entry, ahead)) freeable += BytesOf(*source);
  }
  if (budget_.Left() + freeable < bytes) return false;
  while (budget_.Left() < bytes) {
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (Evictable(it->second, ahead) &&
          (oldest == entries_.end() || it->second.used < oldest->second.used)) {
        oldest = it;
      }
    }
    oldest->second.pixels.reset();
    budget_.Give(BytesOf(*oldest->first));
    ++counts_.evictions;
  }
  return true;
}

BitmapCache::Counts BitmapCache::Count() const {
  const std::lock_guard lock(mutex_);
  Counts counts = counts_;
  counts.bytes = budget_.Used();
  for (const auto& [source, entry] : entries_) counts.resident += entry.pixels ? 1 : 0;
  return counts;
}

bool BitmapCache::Holds(const render::BitmapSource& source) const {
  const std::lock_guard lock(mutex_);
  const auto it = entries_.find(&source);
  return it != entries_.end() && it->second.pixels != nullptr;
}

}  // namespace lumen::stage
