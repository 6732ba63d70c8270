#include "raster/Pixmap.h"

#include <algorithm>

namespace lumen::raster {

namespace {
// 16384 x 16384 pixels (1 GiB) is far beyond any screen; larger requests are refused.
constexpr int64_t kMaxPixels = int64_t{16384} * 16384;
}  // namespace

Pixmap::Pixmap(int width, int height) {
  if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxPixels) return;
  owned_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  base_ = owned_.data();
  width_ = width;
  height_ = height;
  stride_ = width;
}

Pixmap Pixmap::Borrow(uint32_t* pixels, int width, int height, ptrdiff_t stride) {
  Pixmap p;
  if (!pixels || width <= 0 || height <= 0 || (stride < width && stride > -width)) return p;
  p.base_ = pixels;
  p.width_ = width;
  p.height_ = height;
  p.stride_ = stride;
  return p;
}

void Pixmap::Fill(uint32_t premultiplied) {
  for (int y = 0; y < height_; ++y) std::fill_n(Row(y), width_, premultiplied);
}

}  // namespace lumen::raster
