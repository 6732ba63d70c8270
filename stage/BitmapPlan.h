#pragma once

// Which bitmaps each frame of a movie's main timeline places, so that a player can decode them
// before the frame is drawn. Built once per movie; a hint, capped per frame.

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "movie/Movie.h"

namespace lumen::stage {

class BitmapPlan {
 public:
  explicit BitmapPlan(const movie::Movie& movie);

  size_t FrameCount() const { return frames_.size(); }
  // The bitmaps placed by `count` frames from `first` (0-based), wrapping past the last frame,
  // in order of first need and each once.
  void Window(size_t first, size_t count, std::vector<const render::BitmapSource*>& out) const;

 private:
  using Sources = std::vector<const render::BitmapSource*>;

  void AddFrame(const movie::Frame& frame, Sources& out);
  void AddCharacter(uint16_t id, Sources& out);
  const Sources& SpriteSources(uint16_t id, const movie::Timeline& timeline);

  const movie::Movie& movie_;
  std::vector<Sources> frames_;
  std::unordered_map<uint16_t, Sources> sprites_;  // while building
};

}  // namespace lumen::stage
