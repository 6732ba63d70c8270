#include "raster/Mask.h"

#include <algorithm>
#include <cstring>

#include "raster/Color.h"

namespace lumen::raster {

void IntRect::Include(int x, int y, int n) {
  if (Empty()) {
    *this = {x, y, x + n, y + 1};
    return;
  }
  x0 = std::min(x0, x);
  x1 = std::max(x1, x + n);
  y0 = std::min(y0, y);
  y1 = std::max(y1, y + 1);
}

IntRect IntRect::Intersect(const IntRect& o) const {
  IntRect r{std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
  return r.Empty() ? IntRect{} : r;
}

void Mask::Reset(int width, int height) {
  if (width != width_ || height != height_) {
    width_ = width;
    height_ = height;
    cov_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  } else {
    for (int y = bounds_.y0; y < bounds_.y1; ++y) {
      std::memset(Row(y) + bounds_.x0, 0, static_cast<size_t>(bounds_.x1 - bounds_.x0));
    }
  }
  bounds_ = {};
}

void Mask::Add(int y, int x, int n, const uint8_t* cov) {
  uint8_t* row = Row(y) + x;
  for (int i = 0; i < n; ++i) {
    const uint32_t m = row[i], c = cov[i];
    row[i] = static_cast<uint8_t>(m + c - Div255(m * c));
  }
  bounds_.Include(x, y, n);
}

void Mask::AddSolid(int y, int x, int n, uint8_t cov) {
  uint8_t* row = Row(y) + x;
  if (cov == 255) {
    std::memset(row, 255, static_cast<size_t>(n));
  } else {
    for (int i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + cov - Div255(row[i] * cov));
  }
  bounds_.Include(x, y, n);
}

void Mask::IntersectWith(const Mask& outer) {
  if (outer.width_ != width_ || outer.height_ != height_) return;
  for (int y = bounds_.y0; y < bounds_.y1; ++y) {
    uint8_t* row = Row(y);
    const uint8_t* o = outer.Row(y);
    for (int x = bounds_.x0; x < bounds_.x1; ++x)
      row[x] = static_cast<uint8_t>(Div255(row[x] * o[x]));
  }
  bounds_ = bounds_.Intersect(outer.bounds_);
}

}  // namespace lumen::raster
