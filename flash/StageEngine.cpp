// The control's movie engine: the parsed movie, its player state and the renderer, behind the
// narrow interface the control drives. Bitmaps the next two seconds of the timeline place are
// decoded on a worker thread, so that a new photo does not hold up the frame that shows it; a
// frame that still finds one missing decodes it on the spot.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "flash/MovieEngine.h"
#include "movie/Movie.h"
#include "raster/Pixmap.h"
#include "render/RenderList.h"
#include "render/Renderer.h"
#include "stage/BitmapPlan.h"
#include "stage/BitmapPrefetcher.h"
#include "stage/Stage.h"
#include "text/TextField.h"

namespace lumen::flash {
namespace {

// A declared length beyond this is refused before anything is inflated.
constexpr uint32_t kMaxMovieBytes = 256u << 20;
// How far ahead bitmaps are decoded, and the frame rate assumed when the movie gives none.
constexpr double kAheadSeconds = 2;
constexpr double kAssumedFrameRate = 12;
constexpr size_t kMaxAheadFrames = 240;

uint32_t DeclaredLength(std::span<const uint8_t> file) {
  if (file.size() < 8) return 0;
  return file[4] | file[5] << 8 | file[6] << 16 | static_cast<uint32_t>(file[7]) << 24;
}

int32_t Twips(float value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int32_t>(std::clamp(value, -1.0e9f, 1.0e9f));
}

bool SameMatrix(const render::Matrix& x, const render::Matrix& y) {
  return x.a == y.a && x.b == y.b && x.c == y.c && x.d == y.d && x.tx == y.tx && x.ty == y.ty;
}

bool SameTransform(const render::ColorTransform& x, const render::ColorTransform& y) {
  return x.mul_r == y.mul_r && x.mul_g == y.mul_g && x.mul_b == y.mul_b && x.mul_a == y.mul_a &&
         x.add_r == y.add_r && x.add_g == y.add_g && x.add_b == y.add_b && x.add_a == y.add_a;
}

bool SameCommand(const render::RenderCommand& p, const render::RenderCommand& q) {
  return p.kind == q.kind && p.shape == q.shape && p.blend == q.blend && p.snap == q.snap &&
         p.centre == q.centre && p.filter_first == q.filter_first &&
         p.filter_count == q.filter_count && SameMatrix(p.matrix, q.matrix) &&
         SameTransform(p.cxform, q.cxform);
}

// A part drawn anew larger than this share of the target is not worth telling apart.
constexpr double kMaxPartialShare = 0.5;
// Anti-aliasing and smoothing reach this far beyond a shape's bounds.
constexpr float kEdgePixels = 2;

// The pixels a shape drawn by `command` may touch, or nothing when it cannot tell.
std::optional<render::Rect> DeviceBounds(const render::RenderCommand& command,
                                         const render::Matrix& stage_to_device) {
  if (command.kind != render::RenderCommand::Kind::DrawShape || !command.shape) return {};
  const render::Rect& b = command.shape->bounds;
  const render::Matrix& m = command.matrix;
  const render::Point corners[] = {
      {b.x_min, b.y_min}, {b.x_max, b.y_min}, {b.x_min, b.y_max}, {b.x_max, b.y_max}};
  render::Rect out{1e30f, 1e30f, -1e30f, -1e30f};
  for (const render::Point& corner : corners) {
    const render::Point p = stage_to_device.Apply(m.Apply(corner));
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {};
    out = {std::min(out.x_min, p.x), std::min(out.y_min, p.y), std::max(out.x_max, p.x),
           std::max(out.y_max, p.y)};
  }
  return out;
}

// The part of a `width` x `height` target in which `now` can differ from `before`: all of it
// unless the lists differ only in plain shapes (masks and layers reach beyond their shapes).
PixelRect ChangedPart(const std::vector<render::RenderCommand>& before,
                      const std::vector<render::RenderCommand>& now,
                      const render::Matrix& stage_to_device, int width, int height) {
  const PixelRect all{0, 0, width, height};
  if (before.size() != now.size()) return all;
  const bool plain = std::all_of(now.begin(), now.end(), [](const render::RenderCommand& c) {
    return c.kind == render::RenderCommand::Kind::DrawShape;
  });
  bool changed = false;
  float left = 0, top = 0, right = 0, bottom = 0;
  for (size_t i = 0; i < now.size(); ++i) {
    if (SameCommand(before[i], now[i])) continue;
    if (!plain) return all;
    for (const render::RenderCommand* command : {&before[i], &now[i]}) {
      const auto bounds = DeviceBounds(*command, stage_to_device);
      if (!bounds) return all;
      left = changed ? std::min(left, bounds->x_min) : bounds->x_min;
      top = changed ? std::min(top, bounds->y_min) : bounds->y_min;
      right = changed ? std::max(right, bounds->x_max) : bounds->x_max;
      bottom = changed ? std::max(bottom, bounds->y_max) : bounds->y_max;
      changed = true;
    }
  }
  if (!changed) return {};
  const auto clamp = [](float value, int limit) {
    return static_cast<int>(std::clamp(value, 0.0f, static_cast<float>(limit)));
  };
  const PixelRect part{
      clamp(std::floor(left - kEdgePixels), width), clamp(std::floor(top - kEdgePixels), height),
      clamp(std::ceil(right + kEdgePixels), width), clamp(std::ceil(bottom + kEdgePixels), height)};
  const double share = static_cast<double>(part.right - part.left) * (part.bottom - part.top) /
                       (static_cast<double>(width) * height);
  return share > kMaxPartialShare ? all : part;
}

// Everything a drawn picture depends on besides the draw list.
struct DrawInputs {
  const uint32_t* pixels = nullptr;
  int width = 0, height = 0;
  ptrdiff_t stride = 0;
  StageView view;
  uint32_t background = 0;
  DrawQuality quality = DrawQuality::High;
  uint64_t shape_generation = 0;
  uint64_t field_revision = 0;  // fields' pictures change in place

  bool operator==(const DrawInputs& o) const {
    return pixels == o.pixels && width == o.width && height == o.height && stride == o.stride &&
           view.scale_x == o.view.scale_x && view.scale_y == o.view.scale_y &&
           view.offset_x == o.view.offset_x && view.offset_y == o.view.offset_y &&
           background == o.background && quality == o.quality &&
           shape_generation == o.shape_generation && field_revision == o.field_revision;
  }
};

render::Quality RendererQuality(DrawQuality quality) {
  switch (quality) {
    case DrawQuality::Low:
      return render::Quality::Low;
    case DrawQuality::Medium:
      return render::Quality::Medium;
    case DrawQuality::High:
      return render::Quality::High;
    case DrawQuality::Best:
      return render::Quality::Best;
  }
  return render::Quality::High;
}

uint32_t Rgb(render::Rgba color) {
  return static_cast<uint32_t>(color.r) << 16 | static_cast<uint32_t>(color.g) << 8 | color.b;
}

bool HasScripts(const movie::Timeline& timeline) {
  for (const movie::Frame& frame : timeline.frames) {
    for (const movie::FrameCommand& command : frame.commands) {
      if (std::holds_alternative<movie::ActionCommand>(command)) return true;
      const auto* place = std::get_if<movie::PlaceCommand>(&command);
      if (place != nullptr && !place->clip_actions.empty()) return true;
      const auto* other = std::get_if<movie::OtherCommand>(&command);
      if (other != nullptr && other->code == 59) return true;  // DoInitAction
    }
  }
  return false;
}

// Sound definitions or a stream on any timeline: only then is a device opened for the movie.
bool HasSounds(const movie::Movie& movie) {
  constexpr uint16_t kSoundStreamHead = 18, kSoundStreamHead2 = 45;
  const auto has_stream = [](const movie::Timeline& timeline) {
    for (const movie::Frame& frame : timeline.frames) {
      for (const movie::FrameCommand& command : frame.commands) {
        const auto* other = std::get_if<movie::OtherCommand>(&command);
        if (other && (other->code == kSoundStreamHead || other->code == kSoundStreamHead2)) {
          return true;
        }
      }
    }
    return false;
  };
  if (has_stream(movie.root)) return true;
  for (const auto& [id, character] : movie.Characters()) {
    if (character.kind == movie::Character::Kind::Sound) return true;
    if (character.sprite && has_stream(*character.sprite)) return true;
  }
  return false;
}

bool HasScripts(const movie::Movie& movie) {
  if (HasScripts(movie.root)) return true;
  for (const auto& [id, character] : movie.Characters()) {
    if (character.sprite && HasScripts(*character.sprite)) return true;
    if (character.button) {
      for (const movie::ButtonAction& action : character.button->actions) {
        if (!action.code.empty() && action.code[0] != 0) return true;
      }
    }
  }
  return false;
}

class StageEngine final : public MovieEngine {
 public:
  explicit StageEngine(size_t bitmap_bytes) : bitmap_bytes_(bitmap_bytes) {
    // A frame is drawn in two bands at once where there are two cores to draw them.
    renderer_.SetThreads(std::thread::hardware_concurrency() >= 2 ? 2 : 1);
  }
  bool Load(std::span<const uint8_t> file, const std::filesystem::path& folder) override;
  void Unload() override;
  bool Loaded() const override { return stage_ != nullptr; }
  const StageInfo& Stage() const override { return info_; }
  uint32_t CurrentFrame() const override;
  void GotoFrame(uint32_t frame) override;
  void AdvanceFrame() override;
  bool Scripted() const override { return scripted_; }
  void Tick(double ms, bool loop) override;
  bool TimelinePlaying() const override { return stage_ && stage_->Playing(); }
  void SetTimelinePlaying(bool playing) override;
  void SetQuality(DrawQuality quality) override;
  void PointerMoved(double x, double y) override;
  void PointerButton(bool down) override;
  void PointerLeft() override;
  bool HandCursor() const override;
  bool PointerHidden() const override;
  void KeyDown(uint16_t code, uint16_t ascii) override;
  void KeyUp(uint16_t code, uint16_t ascii) override;
  bool HasSound() const override { return has_sound_; }
  void MixSound(std::span<int16_t> out) override;
  std::optional<StreamProgress> MainStream() const override;
  PixelRect Render(const PixelTarget& target, const StageView& view, uint32_t background,
                   bool kept) override;

 private:
  void DecodeAhead();
  void UnloadLocked();

  size_t bitmap_bytes_;
  // Held by whatever changes the stage's sound (loading, ticks, gotos) and by the mix.
  mutable std::mutex sound_lock_;
  bool has_sound_ = false;
  std::shared_ptr<const movie::Movie> movie_;
  std::unique_ptr<stage::Stage> stage_;
  std::unique_ptr<stage::BitmapPlan> plan_;
  // Declared after the stage and the movie: destroyed (and joined) before them.
  std::unique_ptr<stage::BitmapPrefetcher> prefetcher_;
  std::vector<const render::BitmapSource*> ahead_;   // the last window asked for
  std::vector<const render::BitmapSource*> window_;  // scratch: the window from this frame
  StageInfo info_;
  render::Renderer renderer_;
  render::RenderList list_;
  uint64_t shape_generation_ = 0;
  DrawQuality quality_ = DrawQuality::High;
  bool scripted_ = false;
  // What the last drawn picture was made of, to tell an unchanged frame.
  std::vector<render::RenderCommand> drawn_commands_;
  std::vector<render::Filter> drawn_filters_;
  std::optional<DrawInputs> drawn_inputs_;
};

bool StageEngine::Load(std::span<const uint8_t> file, const std::filesystem::path& folder) {
  const std::lock_guard lock(sound_lock_);
  UnloadLocked();
  if (DeclaredLength(file) > kMaxMovieBytes) return false;
  movie::LoadResult loaded = movie::LoadMovie(file);
  if (!loaded.movie) return false;
  movie_ = std::move(loaded.movie);
  // The control decides what follows the last frame; the timeline itself stops there.
  stage::ScriptSetup scripts;
  scripts.folder = stage::MovieFolder(folder);
  stage_ =
      std::make_unique<stage::Stage>(movie_, /*loop=*/false, bitmap_bytes_, std::move(scripts));
  const render::Rect& r = movie_->stage;
  info_.x_min = Twips(r.x_min);
  info_.y_min = Twips(r.y_min);
  info_.width = Twips(r.x_max - r.x_min);
  info_.height = Twips(r.y_max - r.y_min);
  info_.frame_rate = std::isfinite(movie_->frame_rate) ? std::max(movie_->frame_rate, 0.0f) : 0;
  info_.frame_count = static_cast<uint16_t>(std::min<size_t>(stage_->FrameCount(), 65535));
  info_.background = Rgb(stage_->Background());
  scripted_ = HasScripts(*movie_);
  has_sound_ = HasSounds(*movie_);
  plan_ = std::make_unique<stage::BitmapPlan>(*movie_);
  prefetcher_ = std::make_unique<stage::BitmapPrefetcher>(stage_->Bitmaps());
  DecodeAhead();
  return true;
}

void StageEngine::Unload() {
  const std::lock_guard lock(sound_lock_);
  UnloadLocked();
}

void StageEngine::UnloadLocked() {
  has_sound_ = false;
  prefetcher_.reset();
  ahead_.clear();
  plan_.reset();
  stage_.reset();
  movie_.reset();
  info_ = StageInfo();
  renderer_.ClearCache();
  list_.Clear();
  shape_generation_ = 0;
  drawn_commands_.clear();
  drawn_filters_.clear();
  drawn_inputs_.reset();
}

uint32_t StageEngine::CurrentFrame() const {
  return stage_ ? static_cast<uint32_t>(stage_->CurrentFrame() - 1) : 0;
}

void StageEngine::GotoFrame(uint32_t frame) {
  const std::lock_guard lock(sound_lock_);
  if (stage_ && frame < info_.frame_count) {
    stage_->GotoFrame(size_t{frame} + 1);
    DecodeAhead();
  }
}

void StageEngine::Tick(double ms, bool loop) {
  const std::lock_guard lock(sound_lock_);
  if (!stage_) return;
  stage_->SetLoop(loop);
  stage_->SetClock(ms);
  stage_->Advance();
  DecodeAhead();
}

void StageEngine::PointerMoved(double x, double y) {
  const std::lock_guard lock(sound_lock_);
  if (stage_) stage_->MouseMove(x, y);
}

void StageEngine::PointerButton(bool down) {
  const std::lock_guard lock(sound_lock_);
  if (!stage_) return;
  if (down) {
    stage_->MouseDown();
  } else {
    stage_->MouseUp();
  }
}

void StageEngine::PointerLeft() {
  const std::lock_guard lock(sound_lock_);
  if (stage_) stage_->MouseLeave();
}

bool StageEngine::HandCursor() const {
  const std::lock_guard lock(sound_lock_);
  return stage_ && stage_->PointerCursor() == stage::Cursor::Hand;
}

bool StageEngine::PointerHidden() const {
  const std::lock_guard lock(sound_lock_);
  return stage_ && stage_->PointerHidden();
}

void StageEngine::KeyDown(uint16_t code, uint16_t ascii) {
  const std::lock_guard lock(sound_lock_);
  if (stage_) stage_->KeyDown(code, ascii);
}

void StageEngine::KeyUp(uint16_t code, uint16_t ascii) {
  const std::lock_guard lock(sound_lock_);
  if (stage_) stage_->KeyUp(code, ascii);
}

void StageEngine::SetTimelinePlaying(bool playing) {
  const std::lock_guard lock(sound_lock_);
  if (!stage_) return;
  if (playing) {
    stage_->Root().Play();
  } else {
    stage_->Root().Stop();
  }
}

void StageEngine::AdvanceFrame() {
  const std::lock_guard lock(sound_lock_);
  if (stage_) {
    stage_->Advance();
    DecodeAhead();
  }
}

void StageEngine::MixSound(std::span<int16_t> out) {
  const std::lock_guard lock(sound_lock_);
  if (stage_) {
    stage_->Sound().Mix(out);
  } else {
    std::fill(out.begin(), out.end(), int16_t{0});
  }
}

std::optional<MovieEngine::StreamProgress> StageEngine::MainStream() const {
  const std::lock_guard lock(sound_lock_);
  if (!stage_ || !stage_->StreamPlaying()) return std::nullopt;
  return StreamProgress{static_cast<uint32_t>(stage_->StreamFirstFrame()),
                        stage_->StreamPosition()};
}

// Asks the worker for the bitmaps of the frames from the current one on, when they changed.
// The window wraps past the last frame, where the control usually loops.
void StageEngine::DecodeAhead() {
  const double rate = info_.frame_rate > 0 ? info_.frame_rate : kAssumedFrameRate;
  const auto frames = static_cast<size_t>(
      std::clamp(std::ceil(rate * kAheadSeconds), 1.0, double{kMaxAheadFrames}));
  plan_->Window(stage_->CurrentFrame() - 1, frames, window_);
  if (window_ == ahead_) return;
  ahead_ = window_;
  prefetcher_->Request(ahead_);
}

void StageEngine::SetQuality(DrawQuality quality) {
  quality_ = quality;
  renderer_.SetQuality(RendererQuality(quality));
}

PixelRect StageEngine::Render(const PixelTarget& target, const StageView& view, uint32_t background,
                              bool kept) {
  if (!stage_ || target.pixels == nullptr || target.width <= 0 || target.height <= 0) return {};
  stage_->BuildRenderList(list_);
  const DrawInputs inputs{target.pixels,
                          target.width,
                          target.height,
                          target.stride,
                          view,
                          background,
                          quality_,
                          stage_->ShapeGeneration(),
                          text::TextField::Revision()};
  const auto sx = static_cast<float>(view.scale_x), sy = static_cast<float>(view.scale_y);
  const auto tx = static_cast<float>(view.offset_x - info_.x_min * view.scale_x);
  const auto ty = static_cast<float>(view.offset_y - info_.y_min * view.scale_y);
  PixelRect part{0, 0, target.width, target.height};
  // Filtered layers count as changed when their filters do; ChangedPart then draws them whole,
  // since a filter spreads its object's picture past the object's own area.
  if (kept && drawn_inputs_ == inputs && drawn_filters_ == list_.filters) {
    part = ChangedPart(drawn_commands_, list_.commands, {sx, 0, 0, sy, tx, ty}, target.width,
                       target.height);
    if (part.Empty()) return {};
  }
  if (inputs.shape_generation != shape_generation_) {
    renderer_.ClearCache();
    shape_generation_ = inputs.shape_generation;
  }
  // The part is drawn as a target of its own, its corner at the origin: whole-pixel shifts keep
  // every sample where it was.
  raster::Pixmap pixmap =
      raster::Pixmap::Borrow(target.pixels + part.top * target.stride + part.left,
                             part.right - part.left, part.bottom - part.top, target.stride);
  list_.background = {static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                      static_cast<uint8_t>(background), 255};
  const render::Matrix part_to_device{
      sx, 0, 0, sy, tx - static_cast<float>(part.left), ty - static_cast<float>(part.top)};
  renderer_.Render(list_, part_to_device, pixmap);
  drawn_commands_.assign(list_.commands.begin(), list_.commands.end());
  drawn_filters_.assign(list_.filters.begin(), list_.filters.end());
  drawn_inputs_ = inputs;
  return part;
}

}  // namespace

std::unique_ptr<MovieEngine> CreateMovieEngine() {
  return CreateMovieEngine(codec::DecodeBudget::kDefaultTotal);
}

std::unique_ptr<MovieEngine> CreateMovieEngine(size_t bitmap_bytes) {
  return std::make_unique<StageEngine>(bitmap_bytes);
}

}  // namespace lumen::flash
