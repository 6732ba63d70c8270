#pragma once

// What scripts reach of a clip's display besides ClipLink: its whole matrix (transform.matrix),
// its filter list (filters), blendMode, cacheAsBitmap, scrollRect and opaqueBackground. The stage's
// clips implement this beside ClipLink; scripts find it with dynamic_cast, and a clip without it
// has neither.

#include <cstdint>
#include <optional>
#include <vector>

#include "avm1/FilterSettings.h"

namespace lumen::avm1 {

// From the clip's space to its parent's; tx and ty in pixels.
struct ClipMatrix {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

// A rectangle in the clip's own space, in pixels.
struct ClipRect {
  double x = 0, y = 0, width = 0, height = 0;
};

class ClipDisplayAccess {
 public:
  virtual ClipMatrix GetMatrix() = 0;
  virtual void SetMatrix(const ClipMatrix& matrix) = 0;
  virtual std::vector<FilterSettings> Filters() = 0;
  virtual void SetFilters(std::vector<FilterSettings> filters) = 0;
  // As the player numbers blend modes: 1 normal, 2 layer, ... 14 hardlight.
  virtual int BlendMode() = 0;
  virtual void SetBlendMode(int mode) = 0;
  // Drawn as one picture on whole pixels, kept while nothing in it changes.
  virtual bool CacheAsBitmap() = 0;
  virtual void SetCacheAsBitmap(bool cached) = 0;
  // The part of its content the clip shows, moved to its origin; none: all of it.
  virtual std::optional<ClipRect> ScrollRect() = 0;
  virtual void SetScrollRect(std::optional<ClipRect> rect) = 0;
  // An opaque colour (0xRRGGBB) filling the clip's bounds behind its content; none: no fill.
  virtual std::optional<uint32_t> OpaqueBackground() = 0;
  virtual void SetOpaqueBackground(std::optional<uint32_t> rgb) = 0;
  // The centre of the clip's scale-9 grid; none: the clip scales as a whole.
  virtual std::optional<ClipRect> Scale9Grid() = 0;
  virtual void SetScale9Grid(std::optional<ClipRect> grid) = 0;

 protected:
  ~ClipDisplayAccess() = default;
};

}  // namespace lumen::avm1
