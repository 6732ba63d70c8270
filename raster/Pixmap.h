#pragma once

// A premultiplied 32-bit picture (0xAARRGGBB; B, G, R, A in memory on x86). It either owns its
// pixels or borrows a caller's buffer (a DIB section), so the screen copy can be the only copy.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lumen::raster {

class Pixmap {
 public:
  Pixmap() = default;
  // Owns width * height transparent pixels; a size that is not positive or too large gives an
  // empty pixmap.
  Pixmap(int width, int height);
  // Borrows `pixels`, rows `stride` pixels apart (negative for a bottom-up buffer). The buffer
  // must outlive the pixmap.
  static Pixmap Borrow(uint32_t* pixels, int width, int height, ptrdiff_t stride);

  Pixmap(Pixmap&&) noexcept = default;
  Pixmap& operator=(Pixmap&&) noexcept = default;
  Pixmap(const Pixmap&) = delete;
  Pixmap& operator=(const Pixmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  ptrdiff_t Stride() const { return stride_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  uint32_t* Row(int y) { return base_ + y * stride_; }
  const uint32_t* Row(int y) const { return base_ + y * stride_; }
  uint32_t At(int x, int y) const { return Row(y)[x]; }

  void Fill(uint32_t premultiplied);

 private:
  std::vector<uint32_t> owned_;
  uint32_t* base_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  ptrdiff_t stride_ = 0;
};

}  // namespace lumen::raster
