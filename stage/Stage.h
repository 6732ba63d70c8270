#pragma once

// The player state of one movie: the root timeline with its sprite instances, the scripts, the
// stage colour, and the draw list of the frame shown. The clock lives outside: the host (or a
// test) calls Advance once per frame tick and tells the stage the time and the input.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "avm1/Vm.h"
#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/BitmapCache.h"
#include "stage/Clip.h"
#include "stage/Drawing.h"
#include "stage/MovieFolder.h"
#include "stage/MovieLibraries.h"
#include "stage/PointerInput.h"
#include "stage/ScaleGrid.h"
#include "stage/ScriptHost.h"
#include "stage/StageSound.h"
#include "text/DeviceFonts.h"

namespace lumen::stage {

// How scripts run on a stage: their budgets, and where trace() lines go from the first frame on.
struct ScriptSetup {
  avm1::VmLimits limits;
  std::function<void(std::string_view)> trace;
  MovieFolder folder;  // the movie's own, for the files its scripts and imports load
  std::function<void(std::string_view command, std::string_view args)> fscommand;
  // The window the movie plays in, in pixels (0: not known), which Stage.width and
  // Stage.height tell when the movie does not scale.
  double viewport_width = 0, viewport_height = 0;
  text::FontFilesSource device_fonts;  // empty: the system's
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
  // Input at stage pixels. Buttons and button handlers answer the left mouse button; the others
  // only show in Key.isDown. Leaving: the pointer went off the stage.
  enum class MouseButton : uint8_t { Left = 1, Right = 2, Middle = 4 };
  void MouseMove(double x, double y);
  void MouseDown(MouseButton button = MouseButton::Left);
  void MouseUp(MouseButton button = MouseButton::Left);
  void MouseLeave();
  void KeyDown(uint16_t code, uint16_t ascii);
  void KeyUp(uint16_t code, uint16_t ascii);
  // Text commands for the focused input field, as a host's editing menu or shortcuts give them:
  // an editing key's action without the key, all of its text selected, text pasted.
  void EditText(text::EditKey key, bool shift = false);
  void SelectAllText();
  void PasteText(std::string_view utf8);
  static constexpr uint16_t kTabKey = 9;
  static constexpr uint16_t kShiftKey = 16;
  static constexpr uint16_t kSpaceKey = 32;
  // The pointer to show: a hand over an enabled button that asks for one.
  Cursor PointerCursor() const { return pointer_->CurrentCursor(); }
  // A script hid the pointer (Mouse.hide) and has not shown it again.
  bool PointerHidden() const;
  PointerInput& Pointer() { return *pointer_; }

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
  void MoveFocus();  // to the next object in the tab order
  void TellFocused(const char* handler);
  Clip* FocusedClip();
  FieldHandle* FocusedField();
  void ClickField();
  void DragSelection();
  // The link (a url) of the field text under the pointer; empty for none.
  std::string LinkUnderPointer(std::string* target = nullptr);
  void FollowLink();
  void FieldFocused(avm1::Object* focus);
  void ClickFocused();
  void EmitFocusRect(render::RenderList& out);
  bool ShowsFocusRect(Clip* clip);
  // `grid`: the owner's scale-9 mapping in force, if any.
  void EmitClip(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                bool in_mask, const ScaleGrid* grid, render::RenderList& out);
  void EmitObject(const Clip& owner, const DisplayObject& object, const render::Matrix& parent_m,
                  const render::ColorTransform& parent_cx, bool in_mask, const ScaleGrid* grid,
                  render::RenderList& out);
  void EmitClipContent(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                       bool in_mask, render::RenderList& out);
  void EmitChildClip(Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                     bool in_mask, render::RenderList& out);
  const render::ShapeGeometry* MorphAt(const DisplayObject& object);
  // Carries out a loadMovie or unloadMovie, and tells a MovieClipLoader its steps.
  void LoadMovie(const ScriptHost::MovieRequest& request);
  // The new root of `level`, or null where it is emptied.
  Clip* LoadLevel(int level, MovieLibrary* library);
  Clip* LevelClip(int level);
  void EmitField(text::TextField& field, bool focused, const render::Matrix& m,
                 const render::ColorTransform& cx, bool in_mask, render::RenderList& out);

  std::shared_ptr<const movie::Movie> movie_;
  BitmapCache bitmaps_;
  MovieLibraries libraries_;  // outlives the engine, whose functions run their movies' code
  StageSound sound_;
  StageContext context_;
  std::unique_ptr<ScriptHost> scripts_;  // outlives the clips, which unregister from it
  std::unique_ptr<Clip> root_;
  std::map<int, std::unique_ptr<Clip>> levels_;  // above 0, drawn over the root in their order
  bool shift_down_ = false;
  bool selecting_ = false;    // the left button went down in a field
  std::string pressed_link_;  // the link the left button went down on: a release there follows it
  // Compared only: the last object Tab focused, when it shows the focus frame.
  const avm1::Object* tabbed_to_ = nullptr;
  avm1::ClipBounds focus_bounds_;  // what focus_rect_ frames
  Drawing focus_rect_;
  std::unique_ptr<PointerInput> pointer_;  // outlives the clips, which it forgets as they go
  bool loop_;
  const text::TextField* focused_field_ = nullptr;  // while the list is built
  std::vector<uint16_t> masks_;  // clip depths of the masks in force, innermost last
  std::map<std::pair<const movie::MorphShape*, uint16_t>, std::unique_ptr<render::ShapeGeometry>>
      morphs_;           // by shape and ratio
  ScaledShapes scaled_;  // shapes drawn through scale-9 grids
  uint64_t scaled_generation_ = 0;
  uint64_t shape_generation_ = 0;
  uint64_t drawing_revision_ = 0;
};

}  // namespace lumen::stage
