#pragma once

// A coverage mask the size of the target: 0 hides, 255 shows. Only the rectangle `Bounds()` may
// hold anything but 0, which keeps clearing and combining masks proportional to what they cover.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumen::raster {

struct IntRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // x1, y1 exclusive
  bool Empty() const { return x1 <= x0 || y1 <= y0; }
  void Include(int x, int y, int n);  // pixels x .. x+n-1 of row y
  IntRect Intersect(const IntRect& o) const;
};

class Mask {
 public:
  // All zero, `width` x `height`; keeps its storage.
  void Reset(int width, int height);
  uint8_t* Row(int y) { return cov_.data() + static_cast<size_t>(y) * width_; }
  const uint8_t* Row(int y) const { return cov_.data() + static_cast<size_t>(y) * width_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const IntRect& Bounds() const { return bounds_; }

  // Adds coverage (union: a + b - a * b).
  void Add(int y, int x, int n, const uint8_t* cov);
  void AddSolid(int y, int x, int n, uint8_t cov);
  // Keeps only what `outer` shows too.
  void IntersectWith(const Mask& outer);

 private:
  std::vector<uint8_t> cov_;
  int width_ = 0;
  int height_ = 0;
  IntRect bounds_;
};

}  // namespace lumen::raster
