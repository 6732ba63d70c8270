#pragma once

// The pictures of cached and filtered layers, kept between frames. A layer's picture is known
// by a hash of everything that makes its pixels: the commands between its BeginLayer and
// EndLayer with their device matrices, colour transforms, the shapes' paths and styles, the
// layer's own filters, and the rows and quality it is drawn at. The same hash in a later frame
// means the same pixels, which are then copied back instead of drawn (a filtered picture with its
// filters applied: the colour transform of the layer as a whole, as in a fade, is not part of
// it). Content whose pixels could change under the same commands (a bitmap whose pixels cannot be
// had now, filters inside) is never kept. A few pictures are kept within a pixel budget; the
// least recently used leave first.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "raster/Mask.h"
#include "raster/Pixmap.h"
#include "render/RenderList.h"

namespace lumen::render {

// A hash of a shape's paths.
uint64_t PathsHash(const ShapeGeometry& shape);

// What a layer's picture depends on besides its commands.
struct PictureView {
  Matrix stage_to_device;
  int width = 0, height = 0;  // of the target
  int y0 = 0, y1 = 0;         // the rows drawn
  int quality = 0;
  int method = 0;  // how coverage is computed
};

// A picture's key, and the bitmaps its pixels were made from, known by their addresses. They are
// watched, not held (a kept picture must not keep a large bitmap alive): once one is gone, its
// address may come to another, and the picture is let go.
struct PictureKey {
  uint64_t hash = 0;
  std::vector<std::weak_ptr<const void>> made_from;
};

class LayerPictures {
 public:
  static constexpr size_t kMaxPictures = 16;
  static constexpr size_t kMaxPixels = size_t{2} << 20;

  // The key of the layer from `begin` to `end` of `list`, or nothing when it may not be kept.
  // Bitmaps with a source are asked of `bitmaps`: only those at hand can be kept.
  static std::optional<PictureKey> Key(const RenderList& list, size_t begin, size_t end,
                                       const PictureView& view, BitmapProvider* bitmaps);
  // A kept picture's pixels: rows as wide as its area, which is in the pixels of its layer.
  struct Kept {
    raster::IntRect area;
    const uint32_t* pixels = nullptr;
    const uint32_t* Row(int y) const {
      return pixels + static_cast<ptrdiff_t>(y - area.y0) * (area.x1 - area.x0) - area.x0;
    }
  };
  // The picture known by `key`, if it is kept and fits a layer of `width` x `height`; valid until
  // the next Keep or Clear.
  std::optional<Kept> Find(uint64_t key, int width, int height);
  // Keeps `area` of `from` as the picture known by `key`.
  void Keep(PictureKey key, const raster::Pixmap& from, const raster::IntRect& area);
  void Clear();

 private:
  struct Picture {
    PictureKey key;
    raster::IntRect area;
    std::vector<uint32_t> pixels;
    uint64_t used = 0;
  };
  std::vector<Picture> pictures_;
  size_t pixels_ = 0;
  uint64_t clock_ = 0;
};

}  // namespace lumen::render
