#pragma once

// The player state of one movie: the root timeline with its sprite instances, the scripts, the
// stage colour, and the draw list of the frame shown. The clock lives outside: the host (or a
// test) calls Advance once per frame tick and tells the stage the time and the input.

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "avm1/Vm.h"
#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/BitmapCache.h"
#include "stage/Clip.h"
#include "stage/MovieFolder.h"
#include "stage/ScriptHost.h"
#include "stage/StageSound.h"
#include "stage/TextShapes.h"

namespace lumen::stage {

// How scripts run on a stage: their budgets, and where trace() lines go from the first frame on.
struct ScriptSetup {
  avm1::VmLimits limits;
  std::function<void(std::string_view)> trace;
  MovieFolder folder;  // the movie's own, for the files its scripts load
  std::function<void(std::string_view command, std::string_view args)> fscommand;
  // The window the movie plays in, in pixels (0: not known), which Stage.width and
  // Stage.height tell when the movie does not scale.
  double viewport_width = 0, viewport_height = 0;
};

class Stage {
 public:
  // Shows the first frame, its scripts run. `loop`: the root timeline starts over after its
  // last frame. `bitmap_bytes`: what the decoded bitmaps may hold together.
  explicit Stage(std::shared_ptr<const movie::Movie> movie, bool loop = true,
                 size_t bitmap_bytes = codec::DecodeBudget::kDefaultTotal,
                 ScriptSetup scripts = {});
  ~Stage();

  void Advance();
  void SetLoop(bool loop) { loop_ = loop; }
  // 1-based, clamped to the timeline.
  void GotoFrame(size_t frame);
  bool GotoLabel(std::string_view label);
  size_t CurrentFrame() const { return root_->CurrentFrameIndex() + 1; }
  size_t FrameCount() const { return root_->FrameCount(); }
  bool Playing() const { return root_->IsPlaying(); }

  Clip& Root() { return *root_; }
  const movie::Movie& Movie() const { return *movie_; }
  render::Rgba Background() const { return context_.background; }

  // Scripts: the host's clock (milliseconds since the movie started) and where trace lines,
  // FSCommands and URLs go.
  ScriptHost& Scripts() { return *scripts_; }
  void SetClock(double ms) { scripts_->SetClock(ms); }
  void SetTraceSink(std::function<void(std::string_view)> sink) {
    scripts_->trace_sink = std::move(sink);
  }
  // Input at stage pixels.
  void MouseMove(double x, double y);
  void MouseDown();
  void MouseUp();
  void KeyDown(uint16_t code, uint16_t ascii);
  void KeyUp(uint16_t code, uint16_t ascii);

  // Refills `out` with the frame shown. Shapes referenced by the list stay valid until the next
  // call (morph shapes are built per ratio and cached here); its bitmaps come from Bitmaps().
  void BuildRenderList(render::RenderList& out);
  BitmapCache& Bitmaps() { return bitmaps_; }
  // The movie's sound: the host pulls the mix from it at 44.1 kHz.
  audio::Mixer& Sound() { return sound_.Mixer(); }
  // Whether a stream sound plays on the root timeline, and how far it has played: while one
  // plays, the host keeps the picture to it.
  bool StreamPlaying() const;
  uint64_t StreamPosition() const;
  size_t StreamFirstFrame() const { return sound_.StreamFirstFrame(root_->SoundKey()); }  // from 0
  const BitmapCache& Bitmaps() const { return bitmaps_; }
  // Changes whenever shapes handed out in earlier lists were freed: a renderer that caches
  // work per shape address must forget it then.
  uint64_t ShapeGeneration() const { return shape_generation_; }

 private:
  void EmitClip(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                bool in_mask, render::RenderList& out);
  void EmitObject(const Clip& owner, const DisplayObject& object, const render::Matrix& parent_m,
                  const render::ColorTransform& parent_cx, bool in_mask, render::RenderList& out);
  void EmitClipContent(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                       bool in_mask, render::RenderList& out);
  const render::ShapeGeometry* MorphAt(const DisplayObject& object);
  void EmitField(text::TextField& field, const render::Matrix& m, const render::ColorTransform& cx,
                 bool in_mask, render::RenderList& out);

  std::shared_ptr<const movie::Movie> movie_;
  BitmapCache bitmaps_;
  TextShapes texts_;
  StageSound sound_;
  StageContext context_;
  std::unique_ptr<ScriptHost> scripts_;  // outlives the clips, which unregister from it
  std::unique_ptr<Clip> root_;
  bool loop_;
  std::vector<uint16_t> masks_;  // clip depths of the masks in force, innermost last
  std::unordered_map<uint32_t, std::unique_ptr<render::ShapeGeometry>> morphs_;
  uint64_t shape_generation_ = 0;
  uint64_t drawing_revision_ = 0;
};

}  // namespace lumen::stage
