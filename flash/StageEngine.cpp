// The control's movie engine: the parsed movie, its player state and the renderer, behind the
// narrow interface the control drives.
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "flash/MovieEngine.h"
#include "movie/Movie.h"
#include "raster/Pixmap.h"
#include "render/RenderList.h"
#include "render/Renderer.h"
#include "stage/Stage.h"

namespace lumen::flash {
namespace {

// A declared length beyond this is refused before anything is inflated.
constexpr uint32_t kMaxMovieBytes = 256u << 20;

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

bool SameCommands(const std::vector<render::RenderCommand>& x,
                  const std::vector<render::RenderCommand>& y) {
  return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const auto& p, const auto& q) {
    return p.kind == q.kind && p.shape == q.shape && p.blend == q.blend &&
           SameMatrix(p.matrix, q.matrix) && SameTransform(p.cxform, q.cxform);
  });
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

  bool operator==(const DrawInputs& o) const {
    return pixels == o.pixels && width == o.width && height == o.height && stride == o.stride &&
           view.scale_x == o.view.scale_x && view.scale_y == o.view.scale_y &&
           view.offset_x == o.view.offset_x && view.offset_y == o.view.offset_y &&
           background == o.background && quality == o.quality &&
           shape_generation == o.shape_generation;
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

class StageEngine final : public MovieEngine {
 public:
  bool Load(std::span<const uint8_t> file) override;
  void Unload() override;
  bool Loaded() const override { return stage_ != nullptr; }
  const StageInfo& Stage() const override { return info_; }
  uint32_t CurrentFrame() const override;
  void GotoFrame(uint32_t frame) override;
  void AdvanceFrame() override;
  void SetQuality(DrawQuality quality) override;
  bool Render(const PixelTarget& target, const StageView& view, uint32_t background,
              bool kept) override;

 private:
  std::shared_ptr<const movie::Movie> movie_;
  std::unique_ptr<stage::Stage> stage_;
  StageInfo info_;
  render::Renderer renderer_;
  render::RenderList list_;
  uint64_t shape_generation_ = 0;
  DrawQuality quality_ = DrawQuality::High;
  // What the last drawn picture was made of, to tell an unchanged frame.
  std::vector<render::RenderCommand> drawn_commands_;
  std::optional<DrawInputs> drawn_inputs_;
};

bool StageEngine::Load(std::span<const uint8_t> file) {
  Unload();
  if (DeclaredLength(file) > kMaxMovieBytes) return false;
  movie::LoadResult loaded = movie::LoadMovie(file);
  if (!loaded.movie) return false;
  movie_ = std::move(loaded.movie);
  // The control decides what follows the last frame; the timeline itself stops there.
  stage_ = std::make_unique<stage::Stage>(movie_, /*loop=*/false);
  const render::Rect& r = movie_->stage;
  info_.x_min = Twips(r.x_min);
  info_.y_min = Twips(r.y_min);
  info_.width = Twips(r.x_max - r.x_min);
  info_.height = Twips(r.y_max - r.y_min);
  info_.frame_rate = std::isfinite(movie_->frame_rate) ? std::max(movie_->frame_rate, 0.0f) : 0;
  info_.frame_count = static_cast<uint16_t>(std::min<size_t>(stage_->FrameCount(), 65535));
  info_.background = Rgb(stage_->Background());
  return true;
}

void StageEngine::Unload() {
  stage_.reset();
  movie_.reset();
  info_ = StageInfo();
  renderer_.ClearCache();
  list_.Clear();
  shape_generation_ = 0;
  drawn_commands_.clear();
  drawn_inputs_.reset();
}

uint32_t StageEngine::CurrentFrame() const {
  return stage_ ? static_cast<uint32_t>(stage_->CurrentFrame() - 1) : 0;
}

void StageEngine::GotoFrame(uint32_t frame) {
  if (stage_ && frame < info_.frame_count) stage_->GotoFrame(size_t{frame} + 1);
}

void StageEngine::AdvanceFrame() {
  if (stage_) stage_->Advance();
}

void StageEngine::SetQuality(DrawQuality quality) {
  quality_ = quality;
  renderer_.SetQuality(RendererQuality(quality));
}

bool StageEngine::Render(const PixelTarget& target, const StageView& view, uint32_t background,
                         bool kept) {
  if (!stage_ || target.pixels == nullptr) return false;
  stage_->BuildRenderList(list_);
  const DrawInputs inputs{target.pixels, target.width, target.height, target.stride,
                          view,          background,   quality_,      stage_->ShapeGeneration()};
  if (kept && drawn_inputs_ == inputs && SameCommands(list_.commands, drawn_commands_)) {
    return false;
  }
  if (inputs.shape_generation != shape_generation_) {
    renderer_.ClearCache();
    shape_generation_ = inputs.shape_generation;
  }
  raster::Pixmap pixmap =
      raster::Pixmap::Borrow(target.pixels, target.width, target.height, target.stride);
  list_.background = {static_cast<uint8_t>(background >> 16), static_cast<uint8_t>(background >> 8),
                      static_cast<uint8_t>(background), 255};
  const auto sx = static_cast<float>(view.scale_x), sy = static_cast<float>(view.scale_y);
  const render::Matrix stage_to_device{
      sx,
      0,
      0,
      sy,
      static_cast<float>(view.offset_x - info_.x_min * view.scale_x),
      static_cast<float>(view.offset_y - info_.y_min * view.scale_y)};
  renderer_.Render(list_, stage_to_device, pixmap);
  drawn_commands_.assign(list_.commands.begin(), list_.commands.end());
  drawn_inputs_ = inputs;
  return true;
}

}  // namespace

std::unique_ptr<MovieEngine> CreateMovieEngine() {
  return std::make_unique<StageEngine>();
}

}  // namespace lumen::flash
