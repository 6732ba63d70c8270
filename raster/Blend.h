#pragma once

// The last link of the drawing chain: combining source pixels with the destination. Source-over
// (the common case) has an SSE2 path and a scalar one with identical results; the other blend
// modes of layers are scalar.

#include <cstdint>

#include "render/RenderList.h"

namespace lumen::raster {

enum class Isa : uint8_t { Scalar, Sse2 };

// SSE2 where the build has it, else scalar.
Isa BestIsa();

// dst = s + dst * (255 - s.alpha) / 255, where s is src scaled by cov[i] * alpha / 255 (by
// `alpha` alone when cov is null).
void SrcOver(uint32_t* dst, const uint32_t* src, const uint8_t* cov, uint8_t alpha, int n, Isa isa);

// The same for sources known to be opaque, scaled by `alpha` alone (faster, same results).
void SrcOverOpaque(uint32_t* dst, const uint32_t* src, uint8_t alpha, int n, Isa isa);

// The same with one source colour for every pixel.
void SrcOverSolid(uint32_t* dst, uint32_t color, const uint8_t* cov, uint8_t alpha, int n, Isa isa);

// Combines a layer's pixels with what lies below by `mode`; cov (nullable) scales the layer.
void Composite(render::BlendMode mode, uint32_t* dst, const uint32_t* src, const uint8_t* cov,
               int n, Isa isa);

}  // namespace lumen::raster
