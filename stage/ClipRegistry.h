#pragma once

// The clips that take part in scripts, in the order they were made: events reach them newest
// first. Adding, removing and asking take constant time, so a movie that makes and removes tens of
// thousands of clips costs no more per clip: a removed clip leaves a gap, closed once the gaps are
// half of the list.

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace lumen::stage {

class Clip;

class ClipRegistry {
 public:
  void Add(Clip* clip) {
    if (gaps_ > clips_.size() / 2) Compact();
    where_[clip] = clips_.size();
    clips_.push_back(clip);
  }
  void Remove(const Clip* clip) {
    const auto it = where_.find(clip);
    if (it == where_.end()) return;
    clips_[it->second] = nullptr;
    where_.erase(it);
    ++gaps_;
  }
  bool Contains(const Clip* clip) const { return where_.contains(clip); }

  // Visits every clip, newest first. `visit` must not add or remove clips.
  template <typename Visit>
  void NewestFirst(const Visit& visit) const {
    for (auto it = clips_.rbegin(); it != clips_.rend(); ++it) {
      if (*it != nullptr) visit(*it);
    }
  }

 private:
  void Compact() {
    size_t kept = 0;
    for (Clip* clip : clips_) {
      if (clip == nullptr) continue;
      where_[clip] = kept;
      clips_[kept++] = clip;
    }
    clips_.resize(kept);
    gaps_ = 0;
  }

  std::vector<Clip*> clips_;  // oldest first; null where a clip was removed
  std::unordered_map<const Clip*, size_t> where_;
  size_t gaps_ = 0;
};

}  // namespace lumen::stage
