#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace lumen::flash {

// What the control needs to know about a loaded movie to place and time it.
struct StageInfo {
  int32_t x_min = 0, y_min = 0;   // twips
  int32_t width = 0, height = 0;  // twips
  double frame_rate = 0;          // frames per second (the head's 8.8 value); 0 when it gives none
  uint16_t frame_count = 0;
  uint32_t background = 0xFFFFFF;  // 0xRRGGBB, from the movie's SetBackgroundColor
};

// A caller-owned pixel buffer: premultiplied 0xAARRGGBB, rows `stride` pixels apart, top row first.
struct PixelTarget {
  uint32_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  ptrdiff_t stride = 0;
};

// A rectangle of target pixels: columns left..right-1, rows top..bottom-1.
struct PixelRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
};

// Maps stage twips to target pixels: pixel = offset + (twips - stage min) * scale.
struct StageView {
  double scale_x = 0.05;
  double scale_y = 0.05;
  double offset_x = 0;
  double offset_y = 0;
};

// How finely edges are anti-aliased and bitmaps smoothed, lowest first.
enum class DrawQuality : uint8_t { Low, Medium, High, Best };

// The movie engine as the control sees it: it decodes a whole movie file held in memory, steps its
// timeline one frame at a time and draws the current frame. The control owns the clock, the window
// and the settings; the engine owns everything inside the movie.
class MovieEngine {
 public:
  virtual ~MovieEngine() = default;

  // Takes a whole movie file; answers false (and holds nothing) when the bytes are no movie.
  // `folder` is where the movie's scripts may load files from (empty: nowhere).
  virtual bool Load(std::span<const uint8_t> file, const std::filesystem::path& folder) = 0;
  virtual void Unload() = 0;
  virtual bool Loaded() const = 0;
  virtual const StageInfo& Stage() const = 0;

  virtual uint32_t CurrentFrame() const = 0;  // from 0
  virtual void GotoFrame(uint32_t frame) = 0;
  // Steps to the next frame; the caller decides what follows the last one.
  virtual void AdvanceFrame() = 0;
  // Whether the movie carries scripts. Such a movie is ticked at its frame rate even with one
  // frame or with its timeline stopped, since its scripts may still animate it.
  virtual bool Scripted() const = 0;
  // One tick of a scripted movie at `ms` on the movie's clock (what getTimer reads): events,
  // scripts, timers, and the next frame if the timeline plays, from the first again after the
  // last when `loop`.
  virtual void Tick(double ms, bool loop) = 0;
  // Whether the timeline plays; a script's stop() stops it, and so does the host's Stop.
  virtual bool TimelinePlaying() const = 0;
  virtual void SetTimelinePlaying(bool playing) = 0;

  virtual void SetQuality(DrawQuality quality) = 0;

  // The pointer, at stage pixels, and the left button: buttons and scripts hear them. Leaving:
  // the pointer went off the control.
  virtual void PointerMoved(double x, double y) = 0;
  virtual void PointerButton(bool down) = 0;
  virtual void PointerLeft() = 0;
  // Whether the pointer shows a hand: it is over an enabled button that wants one.
  virtual bool HandCursor() const = 0;
  // Whether a script hid the pointer.
  virtual bool PointerHidden() const = 0;
  // A key went down (again, when held) or up: its code as Key.getCode answers it and the
  // character it typed. Buttons, scripts and the keyboard focus hear it.
  virtual void KeyDown(uint16_t code, uint16_t ascii) = 0;
  virtual void KeyUp(uint16_t code, uint16_t ascii) = 0;

  // Sound. MixSound hands out the next frames of the movie's mix (44.1 kHz stereo) and may be
  // called from a device's own thread: the engine locks around everything its sound touches.
  virtual bool HasSound() const = 0;
  virtual void MixSound(std::span<int16_t> out) = 0;
  // While a stream sound plays on the main timeline: the frame it started on and the sample
  // frames of it mixed so far. The picture is kept to that sound.
  struct StreamProgress {
    uint32_t first_frame = 0;
    uint64_t mixed = 0;
  };
  virtual std::optional<StreamProgress> MainStream() const = 0;

  // Draws the current frame into `target` over `background` (0xAARRGGBB), which fills the whole
  // target; content lying outside the stage is drawn too, as far as the target reaches.
  // `kept`: the target still holds the picture this engine drew last. Then, when the frame would
  // come out the same (same draw list, view, background, quality and target), nothing is drawn,
  // and when only a few plain shapes moved or changed colour, only the part they cover is drawn.
  // Answers the part of the target drawn (empty when none).
  virtual PixelRect Render(const PixelTarget& target, const StageView& view, uint32_t background,
                           bool kept) = 0;
};

std::unique_ptr<MovieEngine> CreateMovieEngine();
// The same with room for `bitmap_bytes` of decoded pixels (photos beyond it are decoded again
// when they come back) instead of the platform's default.
std::unique_ptr<MovieEngine> CreateMovieEngine(size_t bitmap_bytes);

}  // namespace lumen::flash
