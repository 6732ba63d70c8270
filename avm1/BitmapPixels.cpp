// Design: one flat vector of premultiplied pixels. Premultiplying rounds to nearest and
// unmultiplying rounds halves down, which is what makes 0xAABBCCDD read back as 0xAABBCCDC, as
// in the reference. Every operation clips to the bitmap first, so script-given rectangles and
// offsets never index outside it.

#include "avm1/BitmapPixels.h"

#include <algorithm>
#include <cmath>

namespace lumen::avm1 {

bool BitmapPixels::ValidSize(double width, double height) {
  if (!(width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide)) return false;
  return std::floor(width) * std::floor(height) <= static_cast<double>(kMaxPixels);
}

BitmapPixels::BitmapPixels(int32_t width, int32_t height, bool transparent, uint32_t fill)
    : width_(width), height_(height), transparent_(transparent) {
  pixels_.assign(static_cast<size_t>(width) * static_cast<size_t>(height), Stored(fill));
}

uint32_t BitmapPixels::Premultiply(uint32_t argb) {
  const uint32_t a = argb >> 24;
  if (a == 255) return argb;
  auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (channel((argb >> 16) & 0xFF) << 16) | (channel((argb >> 8) & 0xFF) << 8) |
         channel(argb & 0xFF);
}

uint32_t BitmapPixels::Unmultiply(uint32_t premultiplied) {
  const uint32_t a = premultiplied >> 24;
  if (a == 255) return premultiplied;
  if (a == 0) return 0;
  auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + (a - 1) / 2) / a); };
  return (a << 24) | (channel((premultiplied >> 16) & 0xFF) << 16) |
         (channel((premultiplied >> 8) & 0xFF) << 8) | channel(premultiplied & 0xFF);
}

uint32_t BitmapPixels::Stored(uint32_t argb) const {
  return transparent_ ? Premultiply(argb) : (argb | 0xFF000000u);
}

uint32_t BitmapPixels::Get(int32_t x, int32_t y) const {
  return Contains(x, y) ? Unmultiply(pixels_[Index(x, y)]) : 0;
}

void BitmapPixels::Set(int32_t x, int32_t y, uint32_t argb) {
  if (!Contains(x, y)) return;
  pixels_[Index(x, y)] = Stored(argb);
  ++revision_;
}

void BitmapPixels::SetRaw(int32_t x, int32_t y, uint32_t premultiplied) {
  if (!Contains(x, y)) return;
  pixels_[Index(x, y)] = transparent_ ? premultiplied : Stored(Unmultiply(premultiplied));
  ++revision_;
}

PixelRect BitmapPixels::Clip(PixelRect r) const {
  const int64_t left = std::max<int64_t>(r.x, 0);
  const int64_t top = std::max<int64_t>(r.y, 0);
  const int64_t right = std::min<int64_t>(int64_t{r.x} + std::max(r.width, 0), width_);
  const int64_t bottom = std::min<int64_t>(int64_t{r.y} + std::max(r.height, 0), height_);
  if (right <= left || bottom <= top) return {};
  return {static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right - left),
          static_cast<int32_t>(bottom - top)};
}

void BitmapPixels::Fill(const PixelRect& r, uint32_t argb) {
  const PixelRect c = Clip(r);
  const uint32_t value = Stored(argb);
  ++revision_;
  for (int32_t y = c.y; y < c.y + c.height; ++y) {
    std::fill_n(pixels_.begin() + static_cast<ptrdiff_t>(Index(c.x, y)), c.width, value);
  }
}

void BitmapPixels::Scroll(int32_t dx, int32_t dy) {
  Copy(*this, {0, 0, width_, height_}, dx, dy, false);
}

namespace {

uint32_t Over(uint32_t src, uint32_t dst) {
  const uint32_t inverse = 255 - (src >> 24);
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s = (src >> shift) & 0xFF;
    const uint32_t d = (dst >> shift) & 0xFF;
    out |= std::min<uint32_t>(255, s + (d * inverse + 127) / 255) << shift;
  }
  return out;
}

}  // namespace

void BitmapPixels::BlendRaw(int32_t x, int32_t y, uint32_t premultiplied) {
  if (Contains(x, y)) SetRaw(x, y, Over(premultiplied, Raw(x, y)));
}

void BitmapPixels::Copy(const BitmapPixels& source, PixelRect from, int32_t to_x, int32_t to_y,
                        bool blend) {
  if (&source == this) {
    const BitmapPixels before = *this;
    Copy(before, from, to_x, to_y, blend);
    return;
  }
  from = source.Clip(from);
  // Where the source rectangle lands, clipped to this bitmap; then back to the source.
  const PixelRect to = Clip({to_x, to_y, from.width, from.height});
  if (to.width == 0) return;
  const int64_t shift_x = int64_t{from.x} - to_x;
  const int64_t shift_y = int64_t{from.y} - to_y;
  std::vector<uint32_t> row(static_cast<size_t>(to.width));
  for (int32_t y = to.y; y < to.y + to.height; ++y) {
    const auto sy = static_cast<int32_t>(y + shift_y);
    for (int32_t i = 0; i < to.width; ++i) {
      row[static_cast<size_t>(i)] = source.Raw(static_cast<int32_t>(to.x + i + shift_x), sy);
    }
    for (int32_t i = 0; i < to.width; ++i) {
      const uint32_t s = row[static_cast<size_t>(i)];
      if (blend) {
        BlendRaw(to.x + i, y, s);
      } else {
        SetRaw(to.x + i, y, s);
      }
    }
  }
}

}  // namespace lumen::avm1
