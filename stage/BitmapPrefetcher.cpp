#include "stage/BitmapPrefetcher.h"

#include <utility>

namespace lumen::stage {

BitmapPrefetcher::BitmapPrefetcher(BitmapCache& cache)
    : cache_(cache), worker_([this] { Run(); }) {}

BitmapPrefetcher::~BitmapPrefetcher() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  worker_.join();
}

void BitmapPrefetcher::Request(std::vector<const render::BitmapSource*> sources) {
  {
    const std::lock_guard lock(mutex_);
    pending_ = std::move(sources);
    requested_ = true;
  }
  wake_.notify_one();
}

bool BitmapPrefetcher::Idle() const {
  const std::lock_guard lock(mutex_);
  return !requested_ && !working_;
}

// A newer request makes the one under way stale: it is given up for the new one.
bool BitmapPrefetcher::Cancelled() const {
  const std::lock_guard lock(mutex_);
  return stopping_ || requested_;
}

void BitmapPrefetcher::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return stopping_ || requested_; });
    if (stopping_) return;
    std::vector<const render::BitmapSource*> sources = std::move(pending_);
    pending_.clear();
    requested_ = false;
    working_ = true;
    lock.unlock();
    cache_.Prefetch(sources, [this] { return Cancelled(); });
    lock.lock();
    working_ = false;
  }
}

}  // namespace lumen::stage
