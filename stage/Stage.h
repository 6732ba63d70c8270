#pragma once

// The player state of one movie: the root timeline with its sprite instances, the stage colour,
// and the draw list of the frame shown. The clock lives outside: the host (or a test) calls
// Advance once per frame tick.

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/BitmapCache.h"
#include "stage/Clip.h"

namespace lumen::stage {

class Stage {
 public:
  // Shows the first frame. `loop`: the root timeline starts over after its last frame.
  // `bitmap_bytes`: what the decoded bitmaps may hold together.
  explicit Stage(std::shared_ptr<const movie::Movie> movie, bool loop = true,
                 size_t bitmap_bytes = codec::DecodeBudget::kDefaultTotal);

  void Advance();
  // 1-based, clamped to the timeline.
  void GotoFrame(size_t frame);
  bool GotoLabel(std::string_view label) { return root_->GotoLabel(label); }
  size_t CurrentFrame() const { return root_->CurrentFrame() + 1; }
  size_t FrameCount() const { return root_->FrameCount(); }
  bool Playing() const { return root_->Playing(); }

  Clip& Root() { return *root_; }
  const movie::Movie& Movie() const { return *movie_; }
  render::Rgba Background() const { return context_.background; }

  // Refills `out` with the frame shown. Shapes referenced by the list stay valid until the next
  // call (morph shapes are built per ratio and cached here); its bitmaps come from Bitmaps().
  void BuildRenderList(render::RenderList& out);
  BitmapCache& Bitmaps() { return bitmaps_; }
  const BitmapCache& Bitmaps() const { return bitmaps_; }
  // Changes whenever shapes handed out in earlier lists were freed: a renderer that caches
  // work per shape address must forget it then.
  uint64_t ShapeGeneration() const { return shape_generation_; }

 private:
  void EmitClip(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                bool in_mask, render::RenderList& out);
  void EmitObject(const DisplayObject& object, const render::Matrix& parent_m,
                  const render::ColorTransform& parent_cx, bool in_mask, render::RenderList& out);
  const render::ShapeGeometry* MorphAt(const DisplayObject& object);

  std::shared_ptr<const movie::Movie> movie_;
  BitmapCache bitmaps_;
  StageContext context_;
  std::unique_ptr<Clip> root_;
  bool loop_;
  std::vector<uint16_t> masks_;  // clip depths of the masks in force, innermost last
  std::unordered_map<uint32_t, std::unique_ptr<render::ShapeGeometry>> morphs_;
  uint64_t shape_generation_ = 0;
};

}  // namespace lumen::stage
