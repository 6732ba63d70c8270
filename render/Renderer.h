#pragma once

// Draws a frame's RenderList onto a pixmap. Shapes are prepared (flattened) once per shape and
// scale and kept; every buffer is reused, so a steady stream of frames allocates nothing.

#include <memory>

#include "raster/Blend.h"
#include "raster/Coverage.h"
#include "raster/Pixmap.h"
#include "render/Geometry.h"
#include "render/RenderList.h"

namespace lumen::render {

class Renderer {
 public:
  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Low: no anti-aliasing and no bitmap smoothing; Medium: 2 x 2 samples per pixel; High and
  // Best: 4 x 4.
  void SetQuality(Quality quality);
  // How anti-aliased coverage is computed: the sampled grid of the quality or the exact area.
  void SetCoverage(raster::CoverageMethod method);
  // Scalar or SSE2 pixel code (the best available by default).
  void SetIsa(raster::Isa isa);

  // Fills `target` with the list's background, then paints its commands through
  // `stage_to_device` (stage twips to target pixels). Drawing input that is not finite or
  // not usable draws nothing.
  void Render(const RenderList& list, const Matrix& stage_to_device, raster::Pixmap& target);

  // Forgets every prepared shape; call when the shapes the lists point at are freed.
  void ClearCache();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lumen::render
