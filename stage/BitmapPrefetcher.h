#pragma once

// Decodes bitmaps ahead of need on a worker thread of its own, into a cache the owner keeps
// alive longer than this object (with the movie whose bitmaps are asked for). Destruction stops
// the worker between two decodes and joins it.

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "stage/BitmapCache.h"

namespace lumen::stage {

class BitmapPrefetcher {
 public:
  explicit BitmapPrefetcher(BitmapCache& cache);
  ~BitmapPrefetcher();
  BitmapPrefetcher(const BitmapPrefetcher&) = delete;
  BitmapPrefetcher& operator=(const BitmapPrefetcher&) = delete;

  // Replaces whatever is still to do: decode `sources`, nearest need first.
  void Request(std::vector<const render::BitmapSource*> sources);
  // Whether the worker has finished every request (tests poll this).
  bool Idle() const;

 private:
  void Run();
  bool Cancelled() const;

  BitmapCache& cache_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<const render::BitmapSource*> pending_;
  bool requested_ = false;
  bool working_ = false;
  bool stopping_ = false;
  std::thread worker_;  // last: starts once the members it uses exist
};

}  // namespace lumen::stage
