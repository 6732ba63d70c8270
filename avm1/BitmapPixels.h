#pragma once

// The pixels of a script-made bitmap (BitmapData): 32-bit ARGB, kept premultiplied by alpha as
// the player keeps them, so a colour with partial alpha reads back with the rounding the
// player's own store gives it. Opaque bitmaps force alpha to full.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace lumen::avm1 {

struct PixelRect {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

class BitmapPixels {
 public:
  // The largest side and pixel count a script may ask for.
  static constexpr int32_t kMaxSide = 8191;
  static constexpr int64_t kMaxPixels = 16777215;
  static bool ValidSize(double width, double height);

  BitmapPixels(int32_t width, int32_t height, bool transparent, uint32_t fill);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Transparent() const { return transparent_; }
  bool Contains(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  size_t Bytes() const { return pixels_.size() * sizeof(uint32_t); }

  // Straight (not premultiplied) ARGB; 0 outside the bitmap.
  uint32_t Get(int32_t x, int32_t y) const;
  void Set(int32_t x, int32_t y, uint32_t argb);
  // Premultiplied ARGB, as stored and as the renderer takes it.
  uint32_t Raw(int32_t x, int32_t y) const { return pixels_[Index(x, y)]; }
  void SetRaw(int32_t x, int32_t y, uint32_t premultiplied);
  // Lays a premultiplied pixel over the one at (x, y).
  void BlendRaw(int32_t x, int32_t y, uint32_t premultiplied);
  const std::vector<uint32_t>& RawPixels() const { return pixels_; }
  // Counts changes to the pixels, so that whoever shows them can tell when to look again.
  uint64_t Revision() const { return revision_; }

  // The part of `r` inside the bitmap.
  PixelRect Clip(PixelRect r) const;
  void Fill(const PixelRect& r, uint32_t argb);
  // Moves the picture by (dx, dy); what is uncovered keeps its old pixels.
  void Scroll(int32_t dx, int32_t dy);
  // `source`'s pixels in `from`, placed at (to_x, to_y); blended over when `blend` is set.
  void Copy(const BitmapPixels& source, PixelRect from, int32_t to_x, int32_t to_y, bool blend);

  static uint32_t Premultiply(uint32_t argb);
  static uint32_t Unmultiply(uint32_t premultiplied);

 private:
  size_t Index(int32_t x, int32_t y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
  }
  uint32_t Stored(uint32_t argb) const;

  int32_t width_, height_;
  bool transparent_;
  std::vector<uint32_t> pixels_;
  uint64_t revision_ = 0;
};

}  // namespace lumen::avm1
