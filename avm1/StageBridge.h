#pragma once

// What the script engine reaches of the stage: the stage implements these interfaces, so scripts
// can be run and tested without pictures, and the engine never sees the display list itself.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lumen::avm1 {

class ClipObject;
class FieldObject;
class FieldLink;
class Object;
class BitmapPixels;

// The properties that GetProperty and SetProperty reach by number, in their numbering.
enum class ClipProperty : uint8_t {
  X,
  Y,
  XScale,
  YScale,
  CurrentFrame,
  TotalFrames,
  Alpha,
  Visible,
  Width,
  Height,
  Rotation,
  Target,
  FramesLoaded,
  Name,
  DropTarget,
  Url,
  HighQuality,
  FocusRect,
  SoundBufTime,
  Quality,
  XMouse,
  YMouse,
  Count
};

struct ClipBounds {
  double x_min = 0, y_min = 0, x_max = 0, y_max = 0;  // pixels
  bool empty = true;
};

// A gradient fill of the drawing API.
struct GradientSpec {
  struct Stop {
    uint32_t rgb = 0;
    double alpha = 100;  // percent
    double ratio = 0;    // 0..255
  };
  bool radial = false;
  std::vector<Stop> stops;
  // From the gradient square (-819.2..819.2 pixels each way) to the clip's pixels.
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  uint8_t spread = 0;  // pad, reflect, repeat
  bool linear_rgb = false;
  double focal = 0;
};

// A line style of the drawing API.
struct LineSpec {
  enum class Cap : uint8_t { Round, None, Square };
  enum class Join : uint8_t { Round, Bevel, Miter };
  double width = 0;  // pixels; 0 is a hairline
  uint32_t rgb = 0;
  double alpha = 100;      // percent
  bool no_hscale = false;  // the width ignores the clip's horizontal scale
  bool no_vscale = false;  // ... and its vertical one
  Cap cap = Cap::Round;
  Join join = Join::Round;
  double miter_limit = 3;  // 1..255
};

// Where an attached bitmap's pixels land on the device's (attachBitmap's pixelSnapping): on
// whole pixels always, never, or while it is shown upright at its own size.
enum class PixelSnapping : uint8_t { Never, Always, Auto };

// A movie clip of the stage (the root timeline, a sprite instance, or a clip made by script).
// The link stays valid until the stage calls ClipObject::Unlink.
class ClipLink {
 public:
  virtual ClipLink* Parent() = 0;
  // The clip of this name in the display list (the first in depth order when several share it).
  virtual ClipLink* Child(std::string_view name, bool case_sensitive) = 0;
  // Named clips in the display list, deepest first, as enumeration lists them.
  virtual void Children(std::vector<ClipLink*>& out) = 0;
  virtual ClipLink* ChildAtDepth(int32_t depth) = 0;
  // The text field of this name in the display list, when no clip has it.
  virtual FieldLink* ChildField(std::string_view name, bool case_sensitive) = 0;
  virtual ClipObject* Script() = 0;
  virtual int Level() = 0;  // the _level of its root

  virtual std::string Name() = 0;
  virtual void SetName(std::string_view name) = 0;
  virtual int32_t Depth() = 0;  // as scripts count: timeline depths from -16384
  virtual double Get(ClipProperty property) = 0;
  virtual void Set(ClipProperty property, double value) = 0;
  virtual ClipBounds Bounds(ClipLink* space) = 0;
  virtual void LocalToGlobal(double& x, double& y) = 0;
  virtual void GlobalToLocal(double& x, double& y) = 0;
  virtual bool HitTest(double x, double y, bool shape) = 0;
  virtual bool HitTest(ClipLink& other) = 0;

  virtual size_t CurrentFrame() = 0;  // 1-based
  virtual size_t TotalFrames() = 0;
  virtual bool Playing() = 0;
  virtual void Play() = 0;
  virtual void Stop() = 0;
  // 0-based; clamped. The frame's scripts run after the running one, as a goto queues them.
  virtual void GotoFrame(size_t frame, bool play) = 0;
  // The 0-based frame carrying `label`, or -1.
  virtual long FindLabel(std::string_view label) = 0;
  // Runs the scripts of a frame now, as ActionCall does.
  virtual void CallFrame(size_t frame) = 0;

  virtual ClipLink* CreateEmpty(std::string_view name, int32_t depth) = 0;
  // A text field at a script depth, its corner and size in pixels of this clip.
  virtual FieldLink* CreateTextField(std::string_view name, int32_t depth, double x, double y,
                                     double width, double height) = 0;
  // An exported symbol; null when there is no such symbol.
  virtual ClipLink* Attach(std::string_view symbol, std::string_view name, int32_t depth) = 0;
  virtual ClipLink* Duplicate(std::string_view name, int32_t depth) = 0;
  // Only clips made by script, or moved to a script depth, can be removed.
  virtual void Remove() = 0;
  virtual void SwapDepths(int32_t depth) = 0;
  virtual int32_t NextHighestDepth() = 0;
  virtual void SetMask(ClipLink* mask) = 0;

  // The drawing API.
  virtual void Clear() = 0;
  virtual void LineStyle(const LineSpec& line) = 0;
  virtual void NoLineStyle() = 0;
  virtual void BeginFill(uint32_t rgb, double alpha) = 0;
  virtual void BeginGradientFill(const GradientSpec& gradient) = 0;
  virtual void EndFill() = 0;
  virtual void MoveTo(double x, double y) = 0;
  virtual void LineTo(double x, double y) = 0;
  virtual void CurveTo(double cx, double cy, double x, double y) = 0;
  // attachBitmap: the pixels as they are now, shown at `depth` from this clip's origin, one
  // bitmap pixel to a pixel of the clip.
  virtual void AttachBitmap(std::shared_ptr<const BitmapPixels> pixels, int32_t depth,
                            PixelSnapping snapping, bool smooth) = 0;

 protected:
  ~ClipLink() = default;
};

// Text field properties that are not display properties, in no particular order.
enum class FieldProperty : uint8_t {
  Text,             // string
  HtmlText,         // string
  Html,             // boolean
  TextColor,        // number, 0xRRGGBB
  Border,           // boolean
  BorderColor,      // number
  Background,       // boolean
  BackgroundColor,  // number
  WordWrap,         // boolean
  Multiline,        // boolean
  Password,         // boolean
  Selectable,       // boolean
  EmbedFonts,       // boolean
  AutoSize,         // string: "none", "left", "center", "right"
  Type,             // string: "dynamic", "input"
  Variable,         // string, or empty for none
  MaxChars,         // number, 0 for no limit
  Scroll,           // number, 1-based line
  MaxScroll,        // number
  BottomScroll,     // number
  HScroll,          // number
  MaxHScroll,       // number
  TextWidth,        // number, pixels
  TextHeight,       // number, pixels
  Length,           // number
  CondenseWhite,    // boolean
  Count
};

using FieldValue = std::variant<double, bool, std::string>;

// A TextFormat as scripts see it; an absent value reads as null (not set, or mixed in a range).
struct FormatValues {
  std::optional<std::string> font, url, target, align;
  std::optional<double> size, color, left_margin, right_margin, indent, leading, block_indent,
      letter_spacing;
  std::optional<bool> bold, italic, underline, bullet, kerning;
};

// A style sheet as a field reads it: each selector (a tag name, or '.' and a class name) with the
// format its style stands for.
using StyleRules = std::vector<std::pair<std::string, FormatValues>>;

// A text field of the stage. The link stays valid until the stage calls FieldObject::Unlink.
class FieldLink {
 public:
  // Made on first use.
  virtual FieldObject* Script() = 0;
  virtual ClipLink* Parent() = 0;
  virtual std::string Name() = 0;
  virtual void SetName(std::string_view name) = 0;
  virtual int32_t Depth() = 0;
  // Display properties as clips have them (_x, _y, _alpha, ...).
  virtual double Get(ClipProperty property) = 0;
  virtual void Set(ClipProperty property, double value) = 0;
  virtual FieldValue Get(FieldProperty property) = 0;
  virtual void Set(FieldProperty property, const FieldValue& value) = 0;
  // The format of characters [begin, end), with values that differ left absent.
  virtual FormatValues GetFormat(size_t begin, size_t end) = 0;
  virtual void SetFormat(const FormatValues& format, size_t begin, size_t end) = 0;
  virtual FormatValues GetNewFormat() = 0;
  virtual void SetNewFormat(const FormatValues& format) = 0;
  virtual void ReplaceText(size_t begin, size_t end, std::string_view text) = 0;
  // Text read as HTML with a style sheet, whatever the field's html flag.
  virtual void SetStyledHtml(std::string_view html, const StyleRules& styles) = 0;
  // The text as HTML, whatever the field's html flag.
  virtual std::string MarkedUpText() = 0;
  // The selection in the field's text: where it began (the anchor) and where the caret is.
  virtual std::pair<size_t, size_t> GetSelection() = 0;
  virtual void SetSelection(size_t anchor, size_t caret) = 0;
  // Only fields made by script can be removed.
  virtual void Remove() = 0;

 protected:
  ~FieldLink() = default;
};

// The room a text takes, in pixels.
struct TextExtent {
  double width = 0, height = 0, ascent = 0, descent = 0;
};

// Services of the stage and its host as a whole.
// A Sound object's volume and pan, in whole percent: how much of each input channel goes to
// each output channel.
struct SoundTransformValues {
  int32_t volume = 100;
  int32_t left_to_left = 100, left_to_right = 0, right_to_left = 0, right_to_right = 100;
};

class StageBridge {
 public:
  virtual void Trace(std::string_view line) = 0;
  // Milliseconds of the movie's clock, as getTimer answers.
  virtual double Timer() = 0;
  virtual ClipLink* LevelRoot(int level) = 0;
  virtual double StageWidth() = 0;
  virtual double StageHeight() = 0;
  virtual double MouseX() = 0;  // stage pixels
  virtual double MouseY() = 0;
  virtual void GetUrl(std::string_view url, std::string_view target) = 0;
  // loadMovie and unloadMovie: the movie or picture file `url` names (relative to the movie)
  // takes the place of `clip`'s content, or of level `level` when `clip` is null, in the next
  // tick; an empty url empties the clip or the level. A MovieClipLoader's load has a `ticket`
  // (0: none) under which the stage reports its steps (ClipLoadEvent).
  virtual void LoadMovie(std::string_view url, ClipLink* clip, int level, uint32_t ticket) = 0;
  virtual void StopSounds() = 0;
  virtual void ToggleQuality() = 0;
  virtual std::string Quality() = 0;
  virtual void SetQuality(std::string_view quality) = 0;
  // Of the movie `clip` plays (null: the root movie).
  virtual size_t BytesLoaded(ClipLink* clip) = 0;
  virtual size_t BytesTotal(ClipLink* clip) = 0;
  virtual std::string Url() = 0;
  // A file named relative to the movie (XML.load and LoadVars.load), or nothing where there is
  // none or the name is refused.
  virtual std::optional<std::string> ReadMovieFile(std::string_view name) = 0;
  // Variables loaded into `clip` (loadVariables) have been set: its data event is due.
  virtual void VariablesLoaded(ClipLink& clip) = 0;
  // What `text` takes in `format` (the device font it names, or an embedded one of that name),
  // wrapped at `width` pixels when that is above 0.
  virtual TextExtent MeasureText(const FormatValues& format, std::string_view text,
                                 double width) = 0;

  // The Sound class. `owner` is the clip a Sound object stands for, null for the whole movie.
  // Sounds are named by number: those the movie defines by their id, loaded ones above 0xFFFF.
  // A sound exported under `name`, or 0.
  virtual uint32_t ExportedSound(std::string_view name) = 0;
  // An MP3 file beside the movie, read whole; 0 when there is none to play.
  virtual uint32_t LoadSound(std::string_view url) = 0;
  virtual std::optional<double> SoundDuration(uint32_t id) = 0;  // milliseconds
  // The size of a loaded sound's file; nothing for the movie's own sounds.
  virtual std::optional<size_t> SoundFileBytes(uint32_t id) = 0;
  // Starts a sound `offset` seconds in, `loops` times; answers the instance's handle or 0.
  virtual uint64_t StartSound(uint32_t id, ClipLink* owner, double offset, int loops) = 0;
  // The owner's sounds (id 0: all of them; with no owner, every sound of the movie).
  virtual void StopSound(ClipLink* owner, uint32_t id) = 0;
  virtual std::optional<double> SoundPosition(uint64_t handle) = 0;  // milliseconds
  virtual SoundTransformValues SoundTransform(ClipLink* owner) = 0;
  virtual void SetSoundTransform(ClipLink* owner, const SoundTransformValues& values) = 0;

  // A clip a script has just made (attachMovie, duplicateMovieClip) is built at once: its
  // initialize and construct events and its registered class's constructor run now, after the
  // init object's properties are set.
  virtual void Construct(ClipLink*) {}
  // A script moved the keyboard focus to `focus` (null: to nothing), before the objects hear
  // of it.
  virtual void FocusMoved(Object*) {}

  // A copy of the pixels of the bitmap the movie exports as `name` (BitmapData.loadBitmap), or
  // null where it exports no bitmap of that name.
  virtual std::shared_ptr<BitmapPixels> ExportedBitmap(std::string_view) { return nullptr; }

 protected:
  ~StageBridge() = default;
};

}  // namespace lumen::avm1
