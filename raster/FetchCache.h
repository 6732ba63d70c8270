#pragma once

// Device pixels of a bitmap fill fetched in one frame and kept for the next, so that a photo
// standing still while it fades is filtered once, not every frame. A fill's spans are kept only
// once the same bitmap was drawn under the same device mapping in the frame before: a photo that
// moves or zooms changes its mapping every frame and costs no more than comparing keys. Fills not
// drawn for a frame are let go, and a pixel budget bounds what is kept.

#include <cstdint>
#include <memory>
#include <vector>

#include "render/Geometry.h"

namespace lumen::raster {

class FetchCache {
 public:
  static constexpr size_t kMaxPixels = size_t{4} << 20;
  static constexpr size_t kMaxFills = 32;
  static constexpr size_t kMaxSpansPerRow = 4;
  static constexpr int kMaxRows = 16384;

  // What decides a fill's fetched pixels: the bitmap level drawn, the device-to-bitmap mapping,
  // filtering and repetition.
  struct Key {
    const render::Bitmap* level = nullptr;
    double inverse[6] = {};
    bool smooth = false, repeat = false;
    bool operator==(const Key&) const = default;
  };

  // Starts a frame: fills not drawn in the frame before are let go.
  void BeginFrame();
  // The fill fetched from now on. `owner` is the bitmap whose level is drawn: a fill is known
  // only while its owner lives, for another bitmap may come to lie at its address.
  void Select(const Key& key, const std::shared_ptr<const render::Bitmap>& owner);
  // The kept pixels of span (x, y, n) of the selected fill, or null.
  const uint32_t* Find(int x, int y, int n) const;
  // Keeps span (x, y, n) of the selected fill, when its spans are kept and room allows.
  void Store(int x, int y, int n, const uint32_t* pixels);

 private:
  struct Span {
    int x = 0;
    std::vector<uint32_t> pixels;
  };
  struct Fill {
    Key key;
    std::weak_ptr<const render::Bitmap> owner;
    uint64_t first_frame = 0, last_frame = 0;
    std::vector<std::vector<Span>> rows;  // by device row
    size_t pixels = 0;
  };
  bool Keeping() const;

  std::vector<Fill> fills_;
  size_t selected_ = SIZE_MAX;
  uint64_t frame_ = 0;
  size_t pixels_ = 0;
};

}  // namespace lumen::raster
