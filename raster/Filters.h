#pragma once

// Bitmap filters on a layer's picture (premultiplied ARGB): box blurs; drop shadows, glows and
// bevels (plain or gradient) made from the blurred alpha; colour matrices and convolutions.

#include <array>
#include <cstdint>
#include <vector>

#include "raster/Mask.h"
#include "raster/Pixmap.h"
#include "render/RenderList.h"

namespace lumen::raster {

// Buffers kept between filters, so that a steady stream of frames allocates nothing.
struct FilterScratch {
  using Ramp = std::array<uint32_t, 256>;
  std::vector<uint32_t> image, out, line, blank, packed;
  std::vector<uint32_t> sums;
  Ramp ramp{};   // a gradient filter's colours
  Ramp tints{};  // a shadow or glow's colour at each level of its blurred alpha
};

// Applies `filter` to the pixels of `area` in `layer`, whose other pixels are transparent;
// `scale` is device pixels per stage pixel. Answers the area the picture covers now (grown by the
// blur and the shadow's offset, within the layer).
IntRect ApplyFilter(const render::Filter& filter, float scale, Pixmap& layer, const IntRect& area,
                    FilterScratch& scratch);

// How far `filter` may carry a picture's pixels, in device pixels any way: what lies that far
// beyond the target can still show on it.
int FilterReach(const render::Filter& filter, float scale);

}  // namespace lumen::raster
