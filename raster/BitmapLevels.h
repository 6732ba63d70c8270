#pragma once

// Prefiltered halves of a large photo, for drawing it much smaller than its size: a bilinear
// filter reads only the four pixels nearest each sample, so a 3000-pixel photo shown at 500
// would skip most of its pixels and shimmer as it zooms. Each level averages 2 x 2 pixels of
// the one before; the paint picks the level at which a device pixel spans one to two pixels.

#include <cstddef>

#include "render/Geometry.h"

namespace lumen::raster {

// Whether a bitmap of this size gets levels: photos, not icons or tiles.
bool TakesLevels(int width, int height);
// The bytes its levels add to the bitmap's own (none where it takes none).
size_t LevelBytes(int width, int height);
// Fills `bitmap.smaller` with its halves, down to a level under the smallest size that takes
// levels; a bitmap too small for levels is left alone.
void AddSmallerLevels(render::Bitmap& bitmap);

}  // namespace lumen::raster
