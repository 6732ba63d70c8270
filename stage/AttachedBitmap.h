#pragma once

// A bitmap a script attached to a clip (attachBitmap): a rectangle of its size filled with its
// pixels, one to a pixel of the clip. It shows the pixels as they are when drawn, so a script
// that keeps changing the bitmap shows its changes.

#include <cstdint>
#include <memory>

#include "avm1/BitmapPixels.h"
#include "avm1/StageBridge.h"
#include "stage/Drawing.h"

namespace lumen::stage {

class AttachedBitmap {
 public:
  AttachedBitmap(std::shared_ptr<const avm1::BitmapPixels> pixels, avm1::PixelSnapping snapping,
                 bool smooth);

  // Null for an empty bitmap. Made again when the pixels changed since the last call.
  const render::ShapeGeometry* Geometry();
  // Whether the picture drawn through `m` (to stage twips) is moved onto whole device pixels.
  bool Snaps(const render::Matrix& m) const;

 private:
  std::shared_ptr<const avm1::BitmapPixels> pixels_;
  avm1::PixelSnapping snapping_;
  bool smooth_;
  Drawing picture_;
  uint64_t shown_revision_ = 0;
  bool drawn_ = false;
};

}  // namespace lumen::stage
