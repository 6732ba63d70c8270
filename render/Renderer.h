#pragma once

// Draws a frame's RenderList onto a pixmap. Shapes are prepared (flattened) once per shape and
// scale and kept; every buffer is reused, so a steady stream of frames allocates nothing.

#include <memory>
#include <vector>

#include "raster/Blend.h"
#include "raster/Coverage.h"
#include "raster/Pixmap.h"
#include "render/Geometry.h"
#include "render/RenderList.h"

namespace lumen::render {

class FrozenPixels;

class Renderer {
 public:
  Renderer();
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Anti-aliasing samples per pixel and bitmap smoothing: Low none and never; Medium 2 x 2 and
  // never; High 4 x 4 and as each fill says; Best 4 x 4 and always.
  void SetQuality(Quality quality);
  // How anti-aliased coverage is computed: the sampled grid of the quality or the exact area.
  void SetCoverage(raster::CoverageMethod method);
  // Scalar or SSE2 pixel code (the best available by default).
  void SetIsa(raster::Isa isa);

  // Draws frames in `threads` bands of rows at once (1 to kMaxThreads), the calling thread
  // drawing one of them; the pixels are those one thread draws. The list's bitmap provider is
  // still asked from the calling thread only.
  static constexpr int kMaxThreads = 4;
  void SetThreads(int threads);

  // Fills `target` with the list's background, then paints its commands through
  // `stage_to_device` (stage twips to target pixels). Drawing input that is not finite or
  // not usable draws nothing.
  void Render(const RenderList& list, const Matrix& stage_to_device, raster::Pixmap& target);

  // Forgets every prepared shape; call when the shapes the lists point at are freed.
  void ClearCache();

 private:
  class Impl;
  class BandWorker;
  template <typename Change>
  void ForEachBand(const Change& change);

  std::unique_ptr<Impl> impl_;                // draws the first band, or the whole frame
  std::vector<std::unique_ptr<Impl>> bands_;  // the other bands, one per worker
  std::vector<std::unique_ptr<BandWorker>> workers_;
  std::unique_ptr<FrozenPixels> frozen_;
};

}  // namespace lumen::render
