#pragma once

// A timeline being played: the movie's root or one instance of a sprite (placed by the timeline
// or made by script). It owns its display list; the tags it plays belong to the immutable movie.
// To scripts it is a movie clip: it implements the engine's ClipLink.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/ClipDisplay.h"
#include "avm1/FilterSettings.h"
#include "avm1/StageBridge.h"
#include "avm1/builtins/PlayerObjects.h"
#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/AttachedBitmap.h"
#include "stage/Drawing.h"
#include "stage/FieldHandle.h"
#include "stage/MovieLibrary.h"
#include "stage/StageSound.h"
#include "stage/TextShapes.h"

namespace lumen::avm1 {
class ClipObject;
}

namespace lumen::stage {

class Clip;
class PointerInput;
class ScriptHost;

// Shared by all clips of one stage: the limits against hostile movies, and the stage colour,
// which any timeline may set.
struct StageContext {
  static constexpr int kMaxNesting = 32;
  static constexpr size_t kMaxObjects = 100000;
  // Clips made in one frame, each counted by how deep it nests (what its making and removing
  // cost grows with): clips that place each other stay within kMaxNesting but could otherwise
  // make and replace exponentially many.
  static constexpr size_t kMaxClipWorkPerFrame = 100000;

  ScriptHost* scripts = nullptr;    // null: scripts do not run
  StageSound* sound = nullptr;      // null: silent
  PointerInput* pointer = nullptr;  // forgets clips as they go
  render::Rgba background{255, 255, 255, 255};
  bool background_set = false;  // only the first SetBackgroundColor of a movie counts
  size_t objects = 0;           // display objects alive on the whole stage
  size_t clip_work = 0;         // in this frame
  bool MayMakeClip() const { return clip_work < kMaxClipWorkPerFrame; }
  uint32_t unnamed = 0;  // clips placed without a name: they are called instance1, ...
  // An ActionScript 3 movie's timeline makes its clips afresh when it comes back to the frame
  // that placed them, unless the placement names them by ratio.
  bool remake_clips_on_rewind = false;
};

// Timeline depths as tags give them; scripts count from -16384 (`getDepth`), and clips made by
// script live at 0 and above in their counting.
constexpr int32_t kScriptDepthBias = 16384;

// What the timeline (or a script) says about one depth.
struct Placement {
  int32_t depth = 0;
  uint16_t character = 0;
  render::Matrix matrix;
  render::ColorTransform cxform;
  uint16_t ratio = 0;
  std::string_view name;  // points into the movie
  uint16_t clip_depth = 0;
  render::BlendMode blend = render::BlendMode::Normal;
  std::vector<avm1::FilterSettings> filters;
  bool cache_as_bitmap = false;
  bool visible = true;
  std::span<const uint8_t> clip_actions;
};

struct DisplayObject {
  Placement place;
  const movie::Character* character = nullptr;  // null when the id is not defined
  MovieLibrary* library = nullptr;              // the one defining `character`
  std::unique_ptr<Clip> clip;                   // sprites and clips made by script
  std::unique_ptr<text::TextField> field;       // text fields ...
  std::unique_ptr<FieldHandle> field_link;      // ... and their script side
  std::unique_ptr<AttachedBitmap> bitmap;       // attached by script
  // Made or moved by script: the timeline no longer places, moves or removes it.
  bool scripted = false;
  // Made by script: going back in the timeline drops it when it lies at a timeline depth.
  bool made_by_script = false;
  // Taken off the timeline while it hears its unload: kept out of sight until the next frame.
  bool unloading = false;
};

// The matrix that undoes `m`; all zero when nothing can.
render::Matrix Inverse(const render::Matrix& m);

class Clip final : public avm1::ClipLink,
                   public avm1::ClipColorAccess,
                   public avm1::ClipDisplayAccess {
 public:
  // Names this clip's sounds and stream in the mixer.
  uint64_t SoundKey() const { return reinterpret_cast<uintptr_t>(this); }
  // Enters the first frame. Sprites nested deeper than the limit stay empty. `library` defines
  // what the timeline places, and the sprite as `character`.
  Clip(StageContext& context, MovieLibrary& library, const movie::Timeline& timeline, int nesting,
       Clip* parent, int32_t depth, std::string name, uint16_t character = 0);
  ~Clip();
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  // One tick of this timeline alone: moves to its next frame, looping at the end when `loop`
  // (sprites always loop). Children advance on their own, as the stage runs them.
  void AdvanceTimeline(bool loop = true);
  // Advances this clip and every clip below it, children first: the order without scripts.
  void Advance(bool loop = true);
  // Shows frame `frame` (0-based, clamped), as if played to it: going forwards applies the
  // display tags in between, going backwards rebuilds the list from the first frame. Objects
  // whose placement is unchanged survive, so sprites keep playing. The target's actions run.
  void GotoFrame(size_t frame);
  // Goes to the frame carrying `label`; false when no frame does.
  bool GotoLabel(std::string_view label);
  // loadMovie into this clip (not a root): a new clip playing `library`'s movie takes its place,
  // name and placement; an empty one where `library` is null. `this` is gone after; answers the
  // new clip.
  Clip* LoadMovie(MovieLibrary* library);

  size_t CurrentFrameIndex() const { return current_; }
  size_t FrameCount() const { return timeline_->frames.size(); }
  bool IsPlaying() const { return playing_; }
  // In depth order.
  const std::vector<DisplayObject>& DisplayList() const { return objects_; }
  const DisplayObject* At(int32_t depth) const;
  Clip* ParentClip() const { return parent_; }
  avm1::ClipObject* ScriptObject() const { return script_; }
  const Drawing& Drawn() const { return drawing_; }
  // The clip that masks this one by setMask, if it is still on stage.
  const Clip* MaskClip() const;
  bool IsMaskOfAnother() const;
  // This clip's placement: its own for the root, its record in the parent's list otherwise.
  const Placement& Place() const;
  // Stage pixels from this clip's space.
  render::Matrix GlobalMatrix() const;
  bool Loaded() const { return loaded_; }
  // Its unload events, and those of what it holds, were queued as the timeline took it off.
  bool UnloadQueued() const { return unload_queued_; }
  // Queues what a clip runs once it is on stage: its load event, its first frame's scripts,
  // then the same for the clips that frame placed.
  void QueueFirstFrame();
  // The entry of one of this clip's text fields, and its removal (of fields made by script).
  DisplayObject* FieldEntry(const FieldHandle& field);
  void RemoveField(const FieldHandle& field);
  ScriptHost* Scripts() const { return context_.scripts; }
  MovieLibrary& Library() const { return library_; }
  uint16_t CharacterId() const { return character_; }  // in Library(); 0 for the root
  // What getBytesLoaded and getBytesTotal answer: for a movie's root its file, for a sprite the
  // length of its tags.
  size_t BytesLoaded() const;
  size_t BytesTotal() const;
  uint8_t Version() const { return library_.Version(); }
  // A field of this clip bound to a variable shows the variable's value; one whose variable does
  // not exist yet gives it its own text.
  void ShowBoundVariable(text::TextField& field) const;
  // The clip actions of the PlaceObject that made it.
  std::span<const uint8_t> ClipActions() const { return clip_actions_; }

  // A button instance plays one of its states as a timeline of one frame.
  const movie::ButtonData* Button() const { return button_; }
  // A placed video: to scripts an object of the Video class.
  bool IsVideo() const { return video_; }
  movie::ButtonData::State ButtonState() const { return button_state_; }
  // Shows `state`: characters the old and new states share stay, the rest come and go.
  void ShowButtonState(movie::ButtonData::State state);
  // Whether the stage point (twips) falls on what this clip paints (`visible_only`: its hidden
  // parts left out), or for a button on its hit area.
  bool Covers(render::Point stage, bool visible_only) const;
  // Each character of the hit area looked at spends one of `visits`.
  bool ButtonAreaCovers(render::Point stage, int& visits) const;
  // The topmost shown text field whose box holds `stage` (twips), in this clip or below it,
  // with the point in the field's own space.
  FieldHandle* FieldAt(render::Point stage, render::Point& local, int nesting = 0);
  // Whether the mask over one of this clip's objects, if any, shows the stage point.
  bool MaskAllows(const DisplayObject& object, render::Point stage) const;

  // --- avm1::ClipColorAccess ---
  avm1::ColorTransformValues GetColorTransform() override;
  void SetColorTransform(const avm1::ColorTransformValues& values) override;

  // --- avm1::ClipDisplayAccess ---
  avm1::ClipMatrix GetMatrix() override;
  void SetMatrix(const avm1::ClipMatrix& matrix) override;
  std::vector<avm1::FilterSettings> Filters() override { return Place().filters; }
  void SetFilters(std::vector<avm1::FilterSettings> filters) override;
  int BlendMode() override { return static_cast<int>(Place().blend) + 1; }
  void SetBlendMode(int mode) override;
  bool CacheAsBitmap() override { return Place().cache_as_bitmap; }
  void SetCacheAsBitmap(bool cached) override { MutablePlace().cache_as_bitmap = cached; }
  std::optional<avm1::ClipRect> ScrollRect() override { return scroll_rect_; }
  void SetScrollRect(std::optional<avm1::ClipRect> rect) override;
  std::optional<uint32_t> OpaqueBackground() override { return opaque_background_; }
  void SetOpaqueBackground(std::optional<uint32_t> rgb) override { opaque_background_ = rgb; }
  std::optional<avm1::ClipRect> Scale9Grid() override;
  void SetScale9Grid(std::optional<avm1::ClipRect> grid) override;
  // The centre of the scale-9 grid in the clip's space (twips): the definition's until a script
  // sets another.
  const std::optional<render::Rect>& ScalingGrid() const { return scaling_grid_; }
  // The box around the clip's content in its own space, twips.
  render::Rect LocalBounds() const;

  // What a scroll rectangle shows, as a shape in the clip's space to clip its content with, and
  // the move that brings its corner to the clip's origin; no shape without one.
  const render::ShapeGeometry* ScrollMask() const { return scroll_mask_.Geometry(); }
  render::Matrix ScrollShift() const;
  // The opaque background over the clip's current bounds; null without one.
  const render::ShapeGeometry* BackgroundShape();

  // --- avm1::ClipLink ---
  ClipLink* Parent() override { return parent_; }
  ClipLink* Child(std::string_view name, bool case_sensitive) override;
  void Children(std::vector<ClipLink*>& out) override;
  ClipLink* ChildAtDepth(int32_t depth) override;
  avm1::FieldLink* ChildField(std::string_view name, bool case_sensitive) override;
  avm1::ClipObject* Script() override { return script_; }
  int Level() override { return parent_ ? parent_->Level() : level_; }
  void SetLevel(int level) { level_ = level; }  // of a root
  std::string Name() override { return name_; }
  void SetName(std::string_view name) override { name_ = std::string(name); }
  // Scripts see a button's characters one deeper than its records place them.
  int32_t Depth() override {
    const bool in_button = parent_ != nullptr && parent_->button_ != nullptr;
    return depth_ - kScriptDepthBias + (in_button ? 1 : 0);
  }
  double Get(avm1::ClipProperty property) override;
  void Set(avm1::ClipProperty property, double value) override;
  avm1::ClipBounds Bounds(ClipLink* space) override;
  // The box around the clip's content through `to_space`, in whole twips.
  avm1::ClipBounds BoundsIn(const render::Matrix& to_space);
  // The same around a button's hit area; empty for other clips.
  avm1::ClipBounds HitAreaBoundsIn(const render::Matrix& to_space);
  void LocalToGlobal(double& x, double& y) override;
  void GlobalToLocal(double& x, double& y) override;
  bool HitTest(double x, double y, bool shape) override;
  bool HitTest(ClipLink& other) override;
  size_t CurrentFrame() override { return current_ + 1; }
  size_t TotalFrames() override { return FrameCount(); }
  bool Playing() override { return playing_; }
  void Play() override { playing_ = true; }
  void Stop() override {
    playing_ = false;
    if (context_.sound != nullptr) context_.sound->TimelineStopped(SoundKey());  // stream too
  }
  void GotoFrame(size_t frame, bool play) override;
  long FindLabel(std::string_view label) override;
  void CallFrame(size_t frame) override;
  ClipLink* CreateEmpty(std::string_view name, int32_t depth) override;
  avm1::FieldLink* CreateTextField(std::string_view name, int32_t depth, double x, double y,
                                   double width, double height) override;
  ClipLink* Attach(std::string_view symbol, std::string_view name, int32_t depth) override;
  ClipLink* Duplicate(std::string_view name, int32_t depth) override;
  void Remove() override;
  void SwapDepths(int32_t depth) override;
  int32_t NextHighestDepth() override;
  void SetMask(ClipLink* mask) override;
  void Clear() override { drawing_.Clear(); }
  void LineStyle(const avm1::LineSpec& line) override { drawing_.LineStyle(line); }
  void NoLineStyle() override { drawing_.NoLineStyle(); }
  void BeginFill(uint32_t rgb, double alpha) override { drawing_.BeginFill(rgb, alpha); }
  void BeginGradientFill(const avm1::GradientSpec& gradient) override {
    drawing_.BeginGradientFill(gradient);
  }
  void EndFill() override { drawing_.EndFill(); }
  void MoveTo(double x, double y) override { drawing_.MoveTo(x, y); }
  void LineTo(double x, double y) override { drawing_.LineTo(x, y); }
  void AttachBitmap(std::shared_ptr<const avm1::BitmapPixels> pixels, int32_t depth,
                    avm1::PixelSnapping snapping, bool smooth) override;
  void CurveTo(double cx, double cy, double x, double y) override {
    drawing_.CurveTo(cx, cy, x, y);
  }

 private:
  struct ScaleCache {
    double xscale = 100, yscale = 100, rotation = 0;
    double skew = 0;  // radians from the x axis's angle to the y axis's
    bool valid = false;
  };
  // How a frame was reached, for its sounds: by playing on, by a jump, or passed over on the way
  // to another frame (its sounds are not heard).
  enum class Arrival : uint8_t { InOrder, Jumped, PassedOver };
  void EnterFrame(size_t frame, bool run_actions, Arrival arrival);
  void StartFrameSounds(size_t frame, Arrival arrival);
  void Place(const movie::PlaceCommand& command);
  void Remove(int32_t depth);
  void QueueActions(size_t frame);
  void QueueAction(const movie::ActionCommand& action);
  // The first frames of the clips placed since the last call, or of those placed ahead of the
  // frame's script number `script`: a frame's clips and scripts run in the order of its tags.
  void QueuePlacedFirstFrames(size_t script = SIZE_MAX);
  // The frame's scripts, each after the first frames of the clips placed ahead of it.
  void QueueScriptsInTagOrder(size_t frame);
  void RunInitActions(size_t frame);
  void Rebuild(size_t frame);
  DisplayObject* Find(int32_t depth);
  // Creates the object for `place` at its depth, replacing what is there.
  DisplayObject* Create(const Placement& place);
  void AttachField(DisplayObject& object, std::unique_ptr<text::TextField> field, std::string name);
  void Destroy(std::vector<DisplayObject>::iterator it);
  // The timeline takes a clip off: one that (or whose content) hears its unload stays findable
  // by name for the rest of the frame, hidden at a depth below the timeline's, and hears it then.
  // False when it was not kept.
  bool Linger(std::vector<DisplayObject>::iterator it);
  void DropLingering();
  bool HearsUnload();
  void QueueUnload();
  // A clip made by script at a script depth: an empty one, a symbol or a copy.
  Clip* AddScripted(const MovieLibrary::Found& symbol, const movie::Timeline& timeline,
                    std::string_view name, int32_t depth, const Placement* like);
  Placement& MutablePlace();
  void FillScaleCache();
  void ApplyScaleCache();
  static avm1::ClipBounds WholeTwips(const render::Rect& local, const render::Matrix& to_space);
  // The box on the stage around the bounds; false when the clip has none.
  bool StageBox(render::Rect& box) const;
  // A shape or static text's picture; null for other objects.
  const render::ShapeGeometry* ShapeOf(const DisplayObject& object) const;
  // `local`: the point in this clip's twips.
  bool ContentCovers(render::Point local, bool visible_only) const;
  bool ObjectCovers(const DisplayObject& object, render::Point parent, bool visible_only) const;
  // The mask (a clip depth) that hides or shows `object`, if any.
  const DisplayObject* MaskOver(const DisplayObject& object) const;

  StageContext& context_;
  MovieLibrary& library_;
  const movie::Timeline* timeline_;  // a button switches it with its state
  int nesting_;
  Clip* parent_;
  int32_t depth_;
  int level_ = 0;
  std::string name_;
  uint16_t character_;
  size_t current_ = 0;
  bool playing_ = true;
  bool loaded_ = false;
  bool unload_queued_ = false;
  bool lingering_ = false;    // some child is unloading
  bool transformed_ = false;  // a script set its transform: the timeline no longer moves it
  bool filtered_ = false;     // a script set its filters: the timeline no longer changes them
  bool blended_ = false;      // a script set its blend mode: the timeline no longer changes it
  std::optional<avm1::ClipRect> scroll_rect_;
  std::optional<render::Rect> scaling_grid_;
  Drawing scroll_mask_;
  std::optional<uint32_t> opaque_background_;
  Drawing background_;
  render::Rect background_bounds_;  // what background_ was drawn over
  std::vector<DisplayObject> objects_;
  std::vector<Placement> scratch_;  // Rebuild's target list, kept between gotos
  Placement root_place_;            // the root's own properties
  ScaleCache scale_;
  Drawing drawing_;
  avm1::ClipObject* script_ = nullptr;
  std::span<const uint8_t> clip_actions_;
  const movie::ButtonData* button_ = nullptr;
  bool video_ = false;
  movie::ButtonData::State button_state_ = movie::ButtonData::kUp;
  // Children waiting for their first frame to run, with the number of scripts of the frame
  // that came before their place tag.
  struct Waiting {
    avm1::ClipObject* clip;
    size_t scripts_before;
  };
  std::vector<Waiting> placed_;
  size_t frame_scripts_seen_ = 0;
};

// Applies a place command to a placement record: fields the command leaves out keep their value.
void ApplyPlace(const movie::PlaceCommand& command, Placement& place);

}  // namespace lumen::stage
