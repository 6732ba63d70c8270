// Design: a frame is a walk over the command list with two stacks. Layers are pixmaps the size
// of the target taken from a pool, a filtered picture's grown each way by as far as its filters
// carry pixels, so what lies past the target can cast its shadow or glow onto it. Each layer
// remembers which masks were already active when it began, because those clip the layer as a
// whole when it is composited, not the drawing inside it.
// Masks are coverage planes from a pool; a finished mask is intersected with the mask it nests
// in. Every shape's contours are flattened in shape space for the scale they are drawn at, with
// the curve tolerance exact in device pixels: where a curve is cut decides which pixel centres
// along its edge fall inside, and the reference pictures follow cuts made for the device. The
// result is kept while the scale holds, so a still frame only transforms points; strokes are
// widened in device space, where the pen is round. A layer that is a cached picture stands on whole
// pixels; its pixels, and a filtered picture's with its filters applied, are kept between frames
// and shown again while its content stays the same. A frame may be drawn in bands of rows, one a
// thread: each band computes only its own rows of a shape, each as a whole frame would, and draws
// a filtered picture as far past its seams as the filters read, so that its rows come out as in a
// whole frame.

#include "render/Renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "raster/Color.h"
#include "raster/Filters.h"
#include "raster/Flatten.h"
#include "raster/Mask.h"
#include "raster/Paint.h"
#include "raster/Painter.h"
#include "raster/Stroker.h"
#include "render/CoverageCache.h"
#include "render/LayerPictures.h"

namespace lumen::render {

using raster::CoverageMethod;
using raster::IntRect;
using raster::Isa;
using raster::Pixmap;

namespace {

constexpr float kTolerance = 0.1f;  // device pixels a flattened curve may stray
constexpr float kTwips = 20;        // per device pixel
// Nesting beyond these is ignored. Each layer is a target-sized pixmap (8 MB at 1920 x 1080,
// with the largest margin 11.6 MB), each mask a quarter of that.
constexpr size_t kMaxMaskDepth = 64;
constexpr size_t kMaxLayerDepth = 16;
// A filtered picture is drawn this far beyond the target at most, all its enclosing filtered
// pictures' margins included.
constexpr int kMaxMargin = 128;
// Shapes that stop being drawn are never told about; a cache this full starts again.
constexpr size_t kMaxCachedShapes = 4096;
// A frame whose filters read further than this many rows across is drawn whole, not in bands.
constexpr int kMaxSeamReach = kMaxMargin;

// How many rows away filters [first, last) of `list` read, at `scale` device pixels per twip: a
// band draws a filtered picture this far past its seams, so that its own rows come out as in a
// whole frame.
int SeamReach(const RenderList& list, size_t first, size_t last, float scale) {
  int reach = 0;
  for (size_t i = first; i < std::min(last, list.filters.size()) && reach <= kMaxSeamReach; ++i) {
    const Filter& f = list.filters[i];
    reach += raster::FilterReach(f, scale * kTwips);
    if (f.kind == Filter::Kind::Convolution) reach += std::clamp(f.rows, 0, Filter::kMaxKernel) / 2;
  }
  return reach;
}

float DeviceScale(const Matrix& m) {
  return std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
}

bool Finite(const Matrix& m) {
  return std::isfinite(m.a) && std::isfinite(m.b) && std::isfinite(m.c) && std::isfinite(m.d) &&
         std::isfinite(m.tx) && std::isfinite(m.ty);
}

// The shape's bounds on the target, or false when they miss it.
// The device box of `bounds` under `m`, widened by some slack: hairlines and anti-aliased
// edges may reach just past the stated bounds.
Rect DeviceBox(const Rect& bounds, const Matrix& m) {
  constexpr float kSlack = 2;
  Rect box{INFINITY, INFINITY, -INFINITY, -INFINITY};
  for (Point p : {Point{bounds.x_min, bounds.y_min}, Point{bounds.x_max, bounds.y_min},
                  Point{bounds.x_min, bounds.y_max}, Point{bounds.x_max, bounds.y_max}}) {
    const Point q = m.Apply(p);
    box.x_min = std::min(box.x_min, q.x - kSlack), box.y_min = std::min(box.y_min, q.y - kSlack);
    box.x_max = std::max(box.x_max, q.x + kSlack), box.y_max = std::max(box.y_max, q.y + kSlack);
  }
  return box;
}

bool Visible(const Rect& bounds, const Matrix& m, int width, int height) {
  if (bounds.Empty()) return true;  // no bounds given: let the clipper decide
  const Rect box = DeviceBox(bounds, m);
  return box.x_max >= 0 && box.y_max >= 0 && box.x_min <= static_cast<float>(width) &&
         box.y_min <= static_cast<float>(height);
}

// Whether `bounds` under `m` lie wholly within `area`.
bool Inside(const Rect& bounds, const Matrix& m, const IntRect& area) {
  if (bounds.Empty()) return false;
  const Rect box = DeviceBox(bounds, m);
  return box.x_min >= static_cast<float>(area.x0) && box.y_min >= static_cast<float>(area.y0) &&
         box.x_max <= static_cast<float>(area.x1) && box.y_max <= static_cast<float>(area.y1);
}

struct PreparedShape {
  float scale = 0;           // the scale the contours were flattened for
  uint64_t fingerprint = 0;  // of the paths flattened
  std::vector<raster::Polylines> parts;
};

struct LayerState {
  Pixmap* pixmap;
  size_t mask_base;  // masks below this index clip the layer, not what is drawn in it
  const raster::Mask* clip;
  BlendMode blend;
  IntRect dirty;
  std::optional<PictureKey> picture = {};  // a picture drawn anew, kept under this key
  // A picture found kept (its filters applied), shown instead of what the layer holds.
  std::optional<LayerPictures::Kept> kept = {};
  // A filtered picture reaches `margin` pixels beyond what it is drawn on each way; `origin`
  // adds those of the enclosing layers (the target's pixel x is the layer's x - origin).
  int margin = 0, origin = 0;
  int y0 = 0, y1 = 0;  // the rows drawn, in the layer
};

// Pixels kept for the layers opened at one depth, and the view of as many as the open one needs.
struct LayerBuffer {
  Pixmap store;
  Pixmap view;

  // False when `width` x `height` pixels cannot be had. A store bigger than `max_width` x
  // `max_height` (the target shrank) is let go.
  bool View(int width, int height, int max_width, int max_height) {
    if (store.Width() < width || store.Height() < height || store.Width() > max_width ||
        store.Height() > max_height) {
      store = Pixmap();  // let the old pixels go before the new ones are had
      store = Pixmap(width, height);
    }
    if (store.Width() < width || store.Height() < height) return false;
    view = Pixmap::Borrow(store.Row(0), width, height, store.Stride());
    return true;
  }
};

struct MaskState {
  raster::Mask* mask;
  bool building;
};

// Passes on the rows of one band of the target: coverage replayed from what was kept may hold
// other rows too.
class BandSink final : public raster::SpanSink {
 public:
  raster::SpanSink& Around(raster::SpanSink& out, int y0, int y1) {
    out_ = &out;
    y0_ = y0;
    y1_ = y1;
    return *this;
  }
  void Span(int y, int x, int n, const uint8_t* cov) override {
    if (y >= y0_ && y < y1_) out_->Span(y, x, n, cov);
  }
  void Solid(int y, int x, int n, uint8_t cov) override {
    if (y >= y0_ && y < y1_) out_->Solid(y, x, n, cov);
  }

 private:
  raster::SpanSink* out_ = nullptr;
  int y0_ = 0, y1_ = 0;
};

// Passes on what lies outside `hidden`: pixels that an opaque object drawn later paints over
// need not be painted first.
class OutsideSink final : public raster::SpanSink {
 public:
  raster::SpanSink& Around(raster::SpanSink& out, const IntRect& hidden) {
    out_ = &out;
    hidden_ = hidden;
    return *this;
  }
  void Span(int y, int x, int n, const uint8_t* cov) override {
    const auto [left, right] = Outside(y, x, n);
    if (left > 0) out_->Span(y, x, left, cov);
    if (right > 0) out_->Span(y, x + n - right, right, cov + (n - right));
  }
  void Solid(int y, int x, int n, uint8_t cov) override {
    const auto [left, right] = Outside(y, x, n);
    if (left > 0) out_->Solid(y, x, left, cov);
    if (right > 0) out_->Solid(y, x + n - right, right, cov);
  }

 private:
  // How many pixels of the run lie left of the hidden area and how many right of it.
  std::pair<int, int> Outside(int y, int x, int n) const {
    if (y < hidden_.y0 || y >= hidden_.y1 || x >= hidden_.x1 || x + n <= hidden_.x0) {
      return {n, 0};
    }
    return {std::max(0, hidden_.x0 - x), std::max(0, x + n - hidden_.x1)};
  }

  raster::SpanSink* out_ = nullptr;
  IntRect hidden_;
};

// Where the row at height `y` crosses the convex quadrilateral `q`: its least and greatest x, or
// nothing when it misses.
std::optional<std::pair<double, double>> Across(const std::array<Point, 4>& q, double y) {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (size_t i = 0; i < q.size(); ++i) {
    const Point a = q[i], b = q[(i + 1) % q.size()];
    if ((y < a.y && y < b.y) || (y > a.y && y > b.y)) continue;
    // A side lying along the row crosses it everywhere between its ends.
    const double x = a.y == b.y ? a.x : a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
    const double x_end = a.y == b.y ? b.x : x;
    lo = std::min({lo, x, x_end});
    hi = std::max({hi, x, x_end});
  }
  if (lo > hi) return std::nullopt;
  return std::pair{lo, hi};
}

// A large upright rectangle of whole pixels inside the convex quadrilateral `q` (a turned or
// skewed rectangle, corners in order) and inside `bounds`. A rectangle lies inside a convex shape
// when its corners do, so for a few pairs of top and bottom rows it takes the columns both rows
// have inside; the largest of those is kept.
IntRect InscribedArea(const std::array<Point, 4>& q, const IntRect& bounds) {
  // Less than a rounding error of the corners' positions, so that a pixel on the edge stays out.
  constexpr double kSlack = 1e-3;
  constexpr int kTries = 8;
  double top = HUGE_VAL, bottom = -HUGE_VAL;
  for (const Point& p : q) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return {};
    top = std::min<double>(top, p.y);
    bottom = std::max<double>(bottom, p.y);
  }
  top = std::max<double>(top, bounds.y0);
  bottom = std::min<double>(bottom, bounds.y1);
  IntRect best;
  const auto area = [](const IntRect& r) { return int64_t{r.x1 - r.x0} * (r.y1 - r.y0); };
  for (int i = 0; i < kTries && bottom > top; ++i) {
    for (int j = 0; j < kTries; ++j) {
      const double y0 = std::ceil(top + (bottom - top) * i / (2 * kTries) + kSlack);
      const double y1 = std::floor(bottom - (bottom - top) * j / (2 * kTries) - kSlack);
      const auto a = Across(q, y0), b = Across(q, y1);
      if (y1 <= y0 || !a || !b) continue;
      const auto column = [&](double x) {
        return static_cast<int>(std::clamp<double>(x, bounds.x0, bounds.x1));
      };
      const IntRect r{
          column(std::ceil(std::max(a->first, b->first) + kSlack)), static_cast<int>(y0),
          column(std::floor(std::min(a->second, b->second) - kSlack)), static_cast<int>(y1)};
      if (!r.Empty() && (best.Empty() || area(r) > area(best))) best = r;
    }
  }
  return best;
}

}  // namespace

// A frame's bitmap pixels fetched ahead, so that the bands read them at once without asking the
// list's provider, which belongs to one thread.
class FrozenPixels final : public BitmapProvider {
 public:
  void Clear() { pixels_.clear(); }
  // Fetches `source`'s pixels from `from` unless they are held already.
  void Fetch(const BitmapSource& source, BitmapProvider& from) {
    const auto at = Find(&source);
    if (at == pixels_.end() || at->first != &source) {
      pixels_.emplace(at, &source, from.Pixels(source));
    }
  }
  void BeginFrame(std::span<const BitmapSource* const>) override {}
  std::shared_ptr<const Bitmap> Pixels(const BitmapSource& source) override {
    const auto at = Find(&source);
    return at != pixels_.end() && at->first == &source ? at->second : nullptr;
  }

 private:
  using Entry = std::pair<const BitmapSource*, std::shared_ptr<const Bitmap>>;
  // Sorted by source: a frame may fill thousands of shapes from a few photos.
  std::vector<Entry>::iterator Find(const BitmapSource* source) {
    return std::lower_bound(pixels_.begin(), pixels_.end(), source,
                            [](const Entry& e, const BitmapSource* s) {
                              return std::less<const BitmapSource*>()(e.first, s);
                            });
  }
  std::vector<Entry> pixels_;
};

class Renderer::Impl {
 public:
  Quality quality = Quality::High;
  CoverageMethod method = CoverageMethod::SampledGrid;
  Isa isa = raster::BestIsa();

  // Draws rows [y0, y1) of the frame, the bitmaps from `bitmaps`.
  void Render(const RenderList& list, const Matrix& stage_to_device, Pixmap& target, int y0, int y1,
              BitmapProvider* bitmaps);
  // Fetches ahead the pixels of every bitmap the frame shows, for its bands.
  void Freeze(const RenderList& list, const Matrix& stage_to_device, Pixmap& target,
              FrozenPixels& frozen);
  void ClearCache() {
    cache_.clear();
    coverage_.Clear();
    pictures_.Clear();
  }

 private:
  void BeginBitmaps(const RenderList& list, BitmapProvider* bitmaps);
  void FillBackground(Rgba background, const IntRect& covered = {});
  // The rows of the canvas this band draws.
  std::pair<int, int> BandRows() const {
    return layers_.empty() ? std::pair{y0_, y1_} : std::pair{layers_.back().y0, layers_.back().y1};
  }
  raster::SpanSink& Band(raster::SpanSink& out) {
    const auto [from, to] = BandRows();
    return band_.Around(out, from, to);
  }
  // Fills the edges gathered into `out`, computing only the band's rows.
  void FillBand(FillRule rule, int grid, raster::SpanSink& out) {
    const auto [from, to] = BandRows();
    rasterizer_.Fill(edges_, rule, method, grid, band_.Around(out, from, to), from, to);
  }
  const FillStyle& Resolve(const FillStyle& fill);
  void Draw(const RenderCommand& cmd);
  size_t FirstShown(const RenderList& list);
  void HideFor(size_t i);
  IntRect OpaqueArea(const RenderCommand& cmd);
  const PreparedShape& Prepare(const ShapeGeometry& shape, float scale);
  void DrawPart(const ShapePart& part, const raster::Polylines& lines, uint64_t fingerprint,
                const Matrix& m, const Matrix& object, const ColorTransform& cx);
  void AddDirty(const IntRect& add);
  float StrokeWidth(const LineStyle& line, const Matrix& object) const;
  void HintStroke(float& half_width);
  void Rasterize(FillRule rule, raster::Paint* paint);
  void SnapOrigin(const Matrix& object, bool centre);
  size_t ReusePicture(const RenderList& list, size_t begin);
  // False when the layer is not drawn on a pixmap of its own (ignored, or part of a mask).
  bool BeginLayer(const RenderCommand& begin);
  int LayerMargin(const RenderCommand& begin) const;
  void ApplyFilters(const RenderCommand& end, LayerState& layer);
  void EndLayer(const RenderCommand& cmd);
  void BeginMask();
  void EndMask();
  void PopMask();
  const raster::Mask* ActiveMask(size_t above) const;
  const raster::Mask* ActiveMask() const { return ActiveMask(MaskBase()); }
  size_t BuildingMask() const;
  size_t MaskBase() const { return layers_.empty() ? 0 : layers_.back().mask_base; }
  Pixmap& Canvas() { return layers_.empty() ? *target_ : *layers_.back().pixmap; }
  // Whether what is drawn now goes onto the target where part of it is painted over later.
  bool HiddenOnTarget() const { return !hidden_.Empty() && layers_.empty() && BuildingMask() == 0; }
  int Grid() const;
  raster::Smoothing BitmapSmoothing() const;

  Pixmap* target_ = nullptr;
  const RenderList* list_ = nullptr;
  int y0_ = 0, y1_ = 0;  // the rows drawn
  BandSink band_;
  Matrix stage_to_device_;
  std::vector<Matrix> views_;  // stage to device outside each open layer
  float device_scale_ = 1;
  std::unordered_map<const ShapeGeometry*, PreparedShape> cache_;
  CoverageCache coverage_;
  std::vector<Point> device_;
  raster::EdgeList edges_;
  raster::Rasterizer rasterizer_;
  raster::Stroker stroker_;
  raster::Paint paint_;
  raster::PaintSink paint_sink_;
  raster::MaskSink mask_sink_;
  std::vector<std::unique_ptr<LayerBuffer>> layer_pool_;
  std::vector<LayerState> layers_;
  LayerPictures pictures_;
  size_t ignored_layers_ = 0;
  size_t mask_layers_ = 0;  // layers opened while a mask is built: their content goes to the mask
  std::vector<std::unique_ptr<raster::Mask>> mask_pool_;
  std::vector<MaskState> masks_;
  size_t ignored_masks_ = 0;
  std::vector<uint32_t> row_;
  std::vector<uint8_t> cov_;
  raster::FilterScratch filter_scratch_;
  BitmapProvider* bitmaps_ = nullptr;
  std::vector<const BitmapSource*> frame_sources_;
  std::vector<size_t> covering_;  // FirstShown's candidates
  // The commands that paint an upright rectangle of the target opaquely (all of a photo standing
  // upright, a part of a turned one), ascending, each with the largest such rectangle painted by
  // it or a later one: what hides the commands before it.
  struct Hider {
    size_t at;
    IntRect hides;
  };
  std::vector<Hider> hiders_;
  size_t next_hider_ = 0;
  IntRect covered_;  // the largest of them, which the background need not fill
  IntRect hidden_;   // what is painted over later of the command drawn now
  OutsideSink outside_;
  // The pixels this frame painted with, held until it ends whatever the provider evicts.
  std::vector<std::shared_ptr<const Bitmap>> frame_pixels_;
  FillStyle resolved_;  // a fill with a source, its pixels filled in
};

// A thread that draws one band of each frame while the caller draws another.
class Renderer::BandWorker {
 public:
  BandWorker() : thread_([this] { Run(); }) {}
  ~BandWorker() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  BandWorker(const BandWorker&) = delete;
  BandWorker& operator=(const BandWorker&) = delete;

  struct Job {
    Impl* impl;
    const RenderList* list;
    Matrix stage_to_device;
    Pixmap* target;
    int y0, y1;
    BitmapProvider* bitmaps;
  };
  void Start(const Job& job) {
    {
      std::lock_guard lock(mutex_);
      job_ = job;
      pending_ = true;
    }
    wake_.notify_one();
  }
  void Wait() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !pending_; });
  }

 private:
  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return pending_ || quit_; });
      if (quit_) return;
      const Job job = job_;
      lock.unlock();
      job.impl->Render(*job.list, job.stage_to_device, *job.target, job.y0, job.y1, job.bitmaps);
      lock.lock();
      pending_ = false;
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  Job job_{};
  bool pending_ = false, quit_ = false;
  std::thread thread_;  // last: it starts once everything it uses exists
};

Renderer::Renderer() : impl_(std::make_unique<Impl>()), frozen_(std::make_unique<FrozenPixels>()) {}
Renderer::~Renderer() = default;

template <typename Change>
void Renderer::ForEachBand(const Change& change) {
  change(*impl_);
  for (const auto& band : bands_) change(*band);
}

void Renderer::SetQuality(Quality quality) {
  ForEachBand([quality](Impl& impl) { impl.quality = quality; });
}
void Renderer::SetCoverage(CoverageMethod method) {
  ForEachBand([method](Impl& impl) { impl.method = method; });
}
void Renderer::SetIsa(Isa isa) {
  ForEachBand([isa](Impl& impl) { impl.isa = isa; });
}
void Renderer::ClearCache() {
  ForEachBand([](Impl& impl) { impl.ClearCache(); });
}

void Renderer::SetThreads(int threads) {
  const size_t extra = static_cast<size_t>(std::clamp(threads, 1, kMaxThreads) - 1);
  workers_.clear();
  bands_.resize(std::min(bands_.size(), extra));
  while (bands_.size() < extra) {
    bands_.push_back(std::make_unique<Impl>());
    bands_.back()->quality = impl_->quality;
    bands_.back()->method = impl_->method;
    bands_.back()->isa = impl_->isa;
  }
  for (size_t i = 0; i < extra; ++i) workers_.push_back(std::make_unique<BandWorker>());
}

// Bands of rows, one a thread; a target too low to share is drawn by the caller alone.
void Renderer::Render(const RenderList& list, const Matrix& stage_to_device, Pixmap& target) {
  constexpr int kMinBandRows = 32;
  const int bands = static_cast<int>(workers_.size()) + 1;
  if (bands == 1 || target.Height() < bands * kMinBandRows ||
      SeamReach(list, 0, list.filters.size(), DeviceScale(stage_to_device)) > kMaxSeamReach) {
    impl_->Render(list, stage_to_device, target, 0, target.Height(), list.bitmaps);
    return;
  }
  impl_->Freeze(list, stage_to_device, target, *frozen_);
  const auto row = [&](int band) { return target.Height() * band / bands; };
  for (int i = 1; i < bands; ++i) {
    workers_[i - 1]->Start(
        {bands_[i - 1].get(), &list, stage_to_device, &target, row(i), row(i + 1), frozen_.get()});
  }
  impl_->Render(list, stage_to_device, target, 0, row(1), frozen_.get());
  for (const auto& worker : workers_) worker->Wait();
}

int Renderer::Impl::Grid() const {
  switch (quality) {
    case Quality::Low:
      return 1;
    case Quality::Medium:
      return 2;
    default:
      return 4;
  }
}

raster::Smoothing Renderer::Impl::BitmapSmoothing() const {
  switch (quality) {
    case Quality::Low:
    case Quality::Medium:
      return raster::Smoothing::Never;
    case Quality::High:
      return raster::Smoothing::AsFill;
    case Quality::Best:
      return raster::Smoothing::Always;
  }
  return raster::Smoothing::AsFill;
}

void Renderer::Impl::Render(const RenderList& list, const Matrix& stage_to_device, Pixmap& target,
                            int y0, int y1, BitmapProvider* bitmaps) {
  if (target.Empty()) return;
  target_ = &target;
  list_ = &list;
  y0_ = std::max(y0, 0);
  y1_ = std::min(y1, target.Height());
  stage_to_device_ = stage_to_device;
  if (!Finite(stage_to_device)) {
    FillBackground(list.background);
    target_ = nullptr;
    return;
  }
  BeginBitmaps(list, bitmaps);
  paint_.BeginFrame();
  const size_t first = FirstShown(list);
  if (first == list.commands.size()) FillBackground(list.background, covered_);
  device_scale_ = DeviceScale(stage_to_device);
  const size_t width = static_cast<size_t>(target.Width());
  if (row_.size() < width) {
    row_.resize(width);
    cov_.resize(width);
  }
  for (size_t i = first == list.commands.size() ? 0 : first; i < list.commands.size(); ++i) {
    const RenderCommand& cmd = list.commands[i];
    HideFor(i);
    switch (cmd.kind) {
      case RenderCommand::Kind::DrawShape:
        if (cmd.snap) {
          const Matrix view = stage_to_device_;
          SnapOrigin(cmd.matrix, false);
          Draw(cmd);
          stage_to_device_ = view;
        } else {
          Draw(cmd);
        }
        break;
      case RenderCommand::Kind::BeginMask:
        BeginMask();
        break;
      case RenderCommand::Kind::EndMask:
        EndMask();
        break;
      case RenderCommand::Kind::PopMask:
        PopMask();
        break;
      case RenderCommand::Kind::BeginLayer:
        views_.push_back(stage_to_device_);
        // Without anti-aliasing, a filtered picture is drawn with its origin on a pixel centre.
        if (cmd.snap || (cmd.centre && quality == Quality::Low)) {
          SnapOrigin(cmd.matrix, !cmd.snap);
        }
        if (BeginLayer(cmd) && (cmd.snap || cmd.filter_count > 0)) i = ReusePicture(list, i);
        break;
      case RenderCommand::Kind::EndLayer:
        EndLayer(cmd);
        if (!views_.empty()) {
          stage_to_device_ = views_.back();
          views_.pop_back();
        }
        break;
    }
  }
  hidden_ = {};
  while (!layers_.empty() || ignored_layers_ > 0) EndLayer(RenderCommand{});
  views_.clear();
  masks_.clear();
  ignored_masks_ = 0;
  mask_layers_ = 0;
  target_ = nullptr;
  list_ = nullptr;
  bitmaps_ = nullptr;
  resolved_.bitmap.reset();
  frame_pixels_.clear();
}

// Pixels that a shape drawn later paints opaquely keep what they hold until then.
void Renderer::Impl::FillBackground(Rgba background, const IntRect& covered) {
  const uint32_t colour = raster::Premultiply(background);
  const int width = target_->Width();
  for (int y = y0_; y < y1_; ++y) {
    uint32_t* row = target_->Row(y);
    if (covered.Empty() || y < covered.y0 || y >= covered.y1) {
      std::fill_n(row, width, colour);
      continue;
    }
    std::fill_n(row, covered.x0, colour);
    std::fill_n(row + covered.x1, width - covered.x1, colour);
  }
}

void Renderer::Impl::Freeze(const RenderList& list, const Matrix& stage_to_device, Pixmap& target,
                            FrozenPixels& frozen) {
  frozen.Clear();
  if (target.Empty() || !Finite(stage_to_device) || list.bitmaps == nullptr) return;
  target_ = &target;
  stage_to_device_ = stage_to_device;
  BeginBitmaps(list, list.bitmaps);
  const size_t first = FirstShown(list);
  for (size_t i = first == list.commands.size() ? 0 : first; i < list.commands.size(); ++i) {
    const RenderCommand& cmd = list.commands[i];
    if (cmd.kind != RenderCommand::Kind::DrawShape || !cmd.shape) continue;
    for (const ShapePart& part : cmd.shape->parts) {
      const FillStyle& fill = part.kind == ShapePart::Kind::Fill ? part.fill : part.line.fill;
      if (fill.source) frozen.Fetch(*fill.source, *list.bitmaps);
    }
  }
  target_ = nullptr;
  bitmaps_ = nullptr;
  resolved_.bitmap.reset();
  frame_pixels_.clear();
}

// Tells the frame's bitmap provider which sources this frame paints with.
void Renderer::Impl::BeginBitmaps(const RenderList& list, BitmapProvider* bitmaps) {
  bitmaps_ = bitmaps;
  if (bitmaps_ == nullptr) return;
  frame_sources_.clear();
  for (const RenderCommand& cmd : list.commands) {
    if (cmd.kind != RenderCommand::Kind::DrawShape || !cmd.shape) continue;
    for (const ShapePart& part : cmd.shape->parts) {
      const FillStyle& fill = part.kind == ShapePart::Kind::Fill ? part.fill : part.line.fill;
      if (fill.source) frame_sources_.push_back(fill.source.get());
    }
  }
  bitmaps_->BeginFrame(frame_sources_);
}

// `fill` itself, or for a fill whose pixels come from a source a copy holding them.
const FillStyle& Renderer::Impl::Resolve(const FillStyle& fill) {
  if (fill.kind != FillStyle::Kind::Bitmap || fill.bitmap || !fill.source) return fill;
  resolved_.kind = fill.kind;
  resolved_.matrix = fill.matrix;
  resolved_.repeat = fill.repeat;
  resolved_.smooth = fill.smooth;
  resolved_.bitmap = bitmaps_ ? bitmaps_->Pixels(*fill.source) : nullptr;
  if (resolved_.bitmap) frame_pixels_.push_back(resolved_.bitmap);
  return resolved_;
}

// Occlusion: the last shape drawn straight onto the target (inside no mask and no layer) that
// paints all of it opaquely hides everything before it, the background too, so drawing starts
// there. The commands before it are balanced, so skipping them leaves no mask or layer open.
// Answers the list's size when no shape covers the target; then `covered_` is the largest part
// of it such a shape paints, which the background need not fill (a photo letterboxed on a wide
// screen leaves only the margins to fill). Likewise a shape drawn before such a rectangle is
// painted only outside it (the photo of the slide before, zoomed past the new one's edges).
size_t Renderer::Impl::FirstShown(const RenderList& list) {
  covering_.clear();
  int nesting = 0;
  for (size_t i = 0; i < list.commands.size(); ++i) {
    switch (list.commands[i].kind) {
      case RenderCommand::Kind::BeginMask:
      case RenderCommand::Kind::BeginLayer:
        ++nesting;
        break;
      case RenderCommand::Kind::PopMask:
      case RenderCommand::Kind::EndLayer:
        nesting = std::max(0, nesting - 1);
        break;
      case RenderCommand::Kind::EndMask:
        break;
      case RenderCommand::Kind::DrawShape:
        if (nesting == 0) covering_.push_back(i);
        break;
    }
  }
  hiders_.clear();
  next_hider_ = 0;
  const auto size = [](const IntRect& r) { return int64_t{r.x1 - r.x0} * (r.y1 - r.y0); };
  size_t first = list.commands.size();
  for (auto at = covering_.rbegin(); at != covering_.rend(); ++at) {
    const IntRect area = OpaqueArea(list.commands[*at]);
    if (area.x0 == 0 && area.y0 == 0 && area.x1 == target_->Width() &&
        area.y1 == target_->Height()) {
      first = *at;
      break;
    }
    if (area.Empty()) continue;
    const bool larger = hiders_.empty() || size(area) > size(hiders_.back().hides);
    hiders_.push_back({*at, larger ? area : hiders_.back().hides});
  }
  std::reverse(hiders_.begin(), hiders_.end());
  covered_ = hiders_.empty() ? IntRect{} : hiders_.front().hides;
  return first;
}

// What is painted over later of what command `i` draws on the target.
void Renderer::Impl::HideFor(size_t i) {
  while (next_hider_ < hiders_.size() && hiders_[next_hider_].at <= i) ++next_hider_;
  hidden_ = next_hider_ < hiders_.size() ? hiders_[next_hider_].hides : IntRect{};
}

// Whole pixels of the target that `cmd` paints opaquely when it is a rectangle of one opaque fill
// (a photo, say): all of them when it stands upright, a large upright part when it is turned or
// skewed; empty otherwise.
IntRect Renderer::Impl::OpaqueArea(const RenderCommand& cmd) {
  if (cmd.kind != RenderCommand::Kind::DrawShape || !cmd.shape || cmd.shape->parts.size() != 1) {
    return {};
  }
  const ShapePart& part = cmd.shape->parts[0];
  const Path& path = part.path;
  const Matrix m = stage_to_device_ * cmd.matrix;
  if (part.kind != ShapePart::Kind::Fill || !Finite(m) || path.verbs.size() != 5 ||
      path.points.size() != 5) {
    return {};
  }
  for (size_t i = 1; i < 5; ++i) {
    if (path.verbs[i] != PathVerb::LineTo) return {};
  }
  const Point p0 = path.points[0], p2 = path.points[2];
  const Point& p1 = path.points[1];
  const Point& p3 = path.points[3];
  const Point& p4 = path.points[4];
  const bool rect = p4.x == p0.x && p4.y == p0.y &&
                    ((p1.x == p2.x && p1.y == p0.y && p3.x == p0.x && p3.y == p2.y) ||
                     (p1.x == p0.x && p1.y == p2.y && p3.x == p2.x && p3.y == p0.y));
  if (!rect) return {};
  const IntRect target{0, 0, target_->Width(), target_->Height()};
  IntRect area;
  if (m.b != 0 || m.c != 0) {
    area = InscribedArea({m.Apply(p0), m.Apply(p1), m.Apply(p2), m.Apply(p3)}, target);
  } else {
    const Point a = m.Apply(p0), b = m.Apply(p2);
    // Pixels wholly inside; far outside the target the corners are clamped to it.
    const auto whole = [](float v, float limit, bool up) {
      const float clamped = std::clamp(v, -1.0f, limit + 1);
      return static_cast<int>(up ? std::ceil(clamped) : std::floor(clamped));
    };
    const auto w = static_cast<float>(target.x1), h = static_cast<float>(target.y1);
    area = IntRect{whole(std::min(a.x, b.x), w, true), whole(std::min(a.y, b.y), h, true),
                   whole(std::max(a.x, b.x), w, false), whole(std::max(a.y, b.y), h, false)}
               .Intersect(target);
  }
  if (area.Empty()) return {};
  const bool opaque =
      paint_.SetFill(Resolve(part.fill), m * part.fill.matrix, cmd.cxform) && paint_.Opaque();
  return opaque ? area : IntRect{};
}

const PreparedShape& Renderer::Impl::Prepare(const ShapeGeometry& shape, float scale) {
  scale = std::clamp(scale, 1e-6f, 1e6f);
  if (cache_.size() >= kMaxCachedShapes && !cache_.contains(&shape)) cache_.clear();
  auto [it, inserted] = cache_.try_emplace(&shape);
  PreparedShape& prepared = it->second;
  // Shapes are cached by address, and an address can be reused by a new shape or a shape
  // changed in place (a morph); hashing the points is cheaper than the transform every frame
  // does anyway.
  const uint64_t fingerprint = PathsHash(shape);
  if (inserted || prepared.scale != scale || prepared.fingerprint != fingerprint ||
      prepared.parts.size() != shape.parts.size()) {
    prepared.scale = scale;
    prepared.fingerprint = fingerprint;
    prepared.parts.resize(shape.parts.size());
    const float tolerance = kTolerance / scale;
    for (size_t i = 0; i < shape.parts.size(); ++i) {
      prepared.parts[i].Clear();
      raster::Flatten(shape.parts[i].path, tolerance, prepared.parts[i]);
    }
  }
  return prepared;
}

void Renderer::Impl::Draw(const RenderCommand& cmd) {
  if (!cmd.shape || ignored_masks_ > 0 || ignored_layers_ > 0) return;
  const Matrix m = stage_to_device_ * cmd.matrix;
  if (!Finite(m) || !Visible(cmd.shape->bounds, m, Canvas().Width(), Canvas().Height())) return;
  if (HiddenOnTarget() && Inside(cmd.shape->bounds, m, hidden_)) return;
  const float scale = std::sqrt(std::max(m.a * m.a + m.b * m.b, m.c * m.c + m.d * m.d));
  if (!std::isfinite(scale)) return;
  const PreparedShape& prepared = Prepare(*cmd.shape, scale);
  for (size_t i = 0; i < cmd.shape->parts.size(); ++i) {
    DrawPart(cmd.shape->parts[i], prepared.parts[i], prepared.fingerprint, m, cmd.matrix,
             cmd.cxform);
  }
}

float Renderer::Impl::StrokeWidth(const LineStyle& line, const Matrix& object) const {
  const float sx = std::hypot(object.a, object.b), sy = std::hypot(object.c, object.d);
  float k = (sx + sy) / 2;
  if (line.no_hscale && line.no_vscale) {
    k = 1;
  } else if (line.no_hscale) {
    k = sy;
  } else if (line.no_vscale) {
    k = sx;
  }
  const float width = line.width * k * device_scale_;
  return std::isfinite(width) ? std::max(width, 1.0f) : 0.0f;  // hairlines stay one pixel wide
}

// Pixel hinting: a whole number of pixels wide, centred on pixel centres (odd widths) or pixel
// borders (even widths), so thin lines stay crisp.
void Renderer::Impl::HintStroke(float& half_width) {
  if (!std::isfinite(half_width) || half_width > 1e6f) return;
  const float width = std::max(1.0f, std::round(half_width * 2));
  half_width = width / 2;
  const bool odd = std::fmod(width, 2.0f) == 1;
  for (Point& p : device_) {
    p = odd ? Point{std::floor(p.x) + 0.5f, std::floor(p.y) + 0.5f}
            : Point{std::round(p.x), std::round(p.y)};
  }
}

void Renderer::Impl::DrawPart(const ShapePart& part, const raster::Polylines& lines,
                              uint64_t fingerprint, const Matrix& m, const Matrix& object,
                              const ColorTransform& cx) {
  Pixmap& canvas = Canvas();
  const size_t building = BuildingMask();
  const int grid = Grid();
  // A mask is the area of its fills; its outlines do not widen it.
  if (building > 0 && part.kind != ShapePart::Kind::Fill) return;
  // Fills painted again where they were replay their coverage instead of rasterizing it.
  const bool cached = building == 0 && part.kind == ShapePart::Kind::Fill &&
                      lines.points.size() >= CoverageCache::kMinPoints;
  const CoverageKey key{&part, fingerprint, m, canvas.Width(), canvas.Height(), grid, method};
  raster::SpanSink& paint = HiddenOnTarget() ? outside_.Around(paint_sink_, hidden_) : paint_sink_;
  const FillStyle* fill = &part.fill;  // resolved below, once it is certain to be painted
  if (cached) {
    const FillStyle& resolved = Resolve(*fill);
    if (!paint_.SetFill(resolved, m * resolved.matrix, cx, BitmapSmoothing())) return;
    paint_sink_.Begin(canvas, paint_, ActiveMask(), isa);
    if (coverage_.Replay(key, Band(paint))) {
      AddDirty(paint_sink_.Dirty());
      return;
    }
  }
  device_.resize(lines.points.size());
  for (size_t i = 0; i < lines.points.size(); ++i) device_[i] = m.Apply(lines.points[i]);
  edges_.Reset(canvas.Width(), canvas.Height());
  FillRule rule = part.rule;
  if (part.kind == ShapePart::Kind::Fill) {
    for (const auto& c : lines.contours) edges_.AddPolygon(&device_[c.begin], c.end - c.begin);
  } else {
    raster::StrokeStyle style;
    style.half_width = StrokeWidth(part.line, object) / 2;
    style.start_cap = part.line.start_cap;
    style.end_cap = part.line.end_cap;
    style.join = part.line.join;
    style.miter_limit = part.line.miter_limit;
    if (part.line.pixel_hinting) HintStroke(style.half_width);
    // A contour that is only a move draws nothing; one whose lines have no length is a dot.
    for (const auto& c : lines.contours) {
      if (c.end - c.begin < 2) continue;
      stroker_.Stroke(&device_[c.begin], c.end - c.begin, c.closed, style, edges_);
    }
    rule = FillRule::NonZero;
    fill = part.line.has_fill ? &part.line.fill : nullptr;
  }
  if (building > 0) {
    mask_sink_.Begin(*masks_[building - 1].mask, ActiveMask(building));
    FillBand(rule, grid, mask_sink_);
    return;
  }
  if (cached) {
    FillBand(rule, grid, coverage_.Record(key, paint));
    coverage_.EndRecord();
    AddDirty(paint_sink_.Dirty());
    return;
  }
  if (fill) fill = &Resolve(*fill);
  const bool visible = fill ? paint_.SetFill(*fill, m * fill->matrix, cx, BitmapSmoothing())
                            : paint_.SetSolid(part.line.color, cx);
  if (!visible) return;
  paint_sink_.Begin(canvas, paint_, ActiveMask(), isa);
  FillBand(rule, grid, paint);
  AddDirty(paint_sink_.Dirty());
}

void Renderer::Impl::AddDirty(const IntRect& add) {
  if (layers_.empty() || add.Empty()) return;
  IntRect& d = layers_.back().dirty;
  d = d.Empty() ? add
                : IntRect{std::min(d.x0, add.x0), std::min(d.y0, add.y0), std::max(d.x1, add.x1),
                          std::max(d.y1, add.y1)};
}

// The innermost finished mask above index `above`: what clips drawing there.
const raster::Mask* Renderer::Impl::ActiveMask(size_t above) const {
  for (size_t i = masks_.size(); i > above; --i) {
    if (!masks_[i - 1].building) return masks_[i - 1].mask;
  }
  return nullptr;
}

// One more than the index of the innermost mask being built, or 0.
size_t Renderer::Impl::BuildingMask() const {
  for (size_t i = masks_.size(); i > MaskBase(); --i) {
    if (masks_[i - 1].building) return i;
  }
  return 0;
}

void Renderer::Impl::BeginMask() {
  if (ignored_masks_ > 0 || masks_.size() >= kMaxMaskDepth) {
    ++ignored_masks_;
    return;
  }
  if (mask_pool_.size() <= masks_.size()) mask_pool_.push_back(std::make_unique<raster::Mask>());
  raster::Mask* mask = mask_pool_[masks_.size()].get();
  mask->Reset(Canvas().Width(), Canvas().Height());
  masks_.push_back({mask, true});
}

void Renderer::Impl::EndMask() {
  const size_t building = BuildingMask();
  if (ignored_masks_ > 0 || building == 0) return;
  masks_.resize(building - 1);  // masks left open inside the mask's content end with it
  const raster::Mask* outer = ActiveMask();
  masks_.push_back({mask_pool_[building - 1].get(), false});
  if (outer) masks_.back().mask->IntersectWith(*outer);
}

void Renderer::Impl::PopMask() {
  if (ignored_masks_ > 0) {
    --ignored_masks_;
    return;
  }
  if (masks_.size() > MaskBase()) masks_.pop_back();
}

// A cached picture is drawn whole pixels from where it would stand: what it holds moves by the
// fraction that takes its origin, rounded half up, to a pixel corner. With `centre` it moves
// instead to the centre of the pixel it lies in.
void Renderer::Impl::SnapOrigin(const Matrix& object, bool centre) {
  const Point p = stage_to_device_.Apply({object.tx, object.ty});
  if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
  const float c = centre ? 0.5f : 0.0f;
  stage_to_device_.tx += std::floor(p.x + 0.5f - c) + c - p.x;
  stage_to_device_.ty += std::floor(p.y + 0.5f - c) + c - p.y;
}

// A cached or filtered picture whose content is as it was when kept is shown from where it is
// kept, and its commands are passed over up to the layer's end; otherwise it is drawn and kept at
// the end, a filtered one with its filters applied.
// Answers the index of the last command handled.
size_t Renderer::Impl::ReusePicture(const RenderList& list, size_t begin) {
  size_t end = begin + 1;
  for (int depth = 1; end < list.commands.size(); ++end) {
    const RenderCommand::Kind kind = list.commands[end].kind;
    depth += kind == RenderCommand::Kind::BeginLayer ? 1 : 0;
    depth -= kind == RenderCommand::Kind::EndLayer ? 1 : 0;
    if (depth == 0) break;
  }
  if (end >= list.commands.size()) return begin;
  PictureView view{stage_to_device_, target_->Width(), target_->Height(), y0_, y1_};
  view.quality = static_cast<int>(quality);
  view.method = static_cast<int>(method);
  std::optional<PictureKey> key = LayerPictures::Key(list, begin, end, view, bitmaps_);
  if (!key) return begin;
  LayerState& layer = layers_.back();
  layer.kept = pictures_.Find(key->hash, layer.pixmap->Width(), layer.pixmap->Height());
  if (layer.kept) {
    layer.dirty = layer.kept->area;
    return end - 1;
  }
  layer.picture = std::move(key);
  return begin;
}

// A filtered picture's filters may carry what lies beyond the target onto it, so it is drawn
// as far beyond as they reach.
int Renderer::Impl::LayerMargin(const RenderCommand& begin) const {
  if (list_ == nullptr) return 0;
  const size_t first = begin.filter_first;
  const size_t last = std::min(list_->filters.size(), first + begin.filter_count);
  int reach = 0;
  for (size_t i = first; i < last && reach < kMaxMargin; ++i) {
    reach += raster::FilterReach(list_->filters[i], device_scale_ * kTwips);
  }
  const int origin = layers_.empty() ? 0 : layers_.back().origin;
  return std::clamp(reach, 0, kMaxMargin - origin);
}

bool Renderer::Impl::BeginLayer(const RenderCommand& begin) {
  if (BuildingMask() > 0) {
    ++mask_layers_;
    return false;
  }
  if (ignored_layers_ > 0 || layers_.size() >= kMaxLayerDepth) {
    ++ignored_layers_;
    return false;
  }
  if (layer_pool_.size() <= layers_.size()) layer_pool_.push_back(std::make_unique<LayerBuffer>());
  LayerBuffer& buffer = *layer_pool_[layers_.size()];
  const Pixmap& below = Canvas();
  const int max_width = target_->Width() + 2 * kMaxMargin;
  const int max_height = target_->Height() + 2 * kMaxMargin;
  int margin = LayerMargin(begin);
  if (!buffer.View(below.Width() + 2 * margin, below.Height() + 2 * margin, max_width,
                   max_height)) {
    margin = 0;
    if (!buffer.View(below.Width(), below.Height(), max_width, max_height)) {
      ++ignored_layers_;
      return false;
    }
  }
  LayerState layer{&buffer.view, masks_.size(), ActiveMask(), begin.blend, {}};
  layer.margin = margin;
  layer.origin = (layers_.empty() ? 0 : layers_.back().origin) + margin;
  // The band's rows, as far past its seams as the filters read, and where it ends at an edge of
  // what lies below, the margin past it.
  const int y0 = layers_.empty() ? y0_ : layers_.back().y0;
  const int y1 = layers_.empty() ? y1_ : layers_.back().y1;
  const int reach = list_ == nullptr
                        ? 0
                        : SeamReach(*list_, begin.filter_first,
                                    size_t{begin.filter_first} + begin.filter_count, device_scale_);
  const int height = below.Height() + 2 * margin;
  layer.y0 = y0 <= 0 ? 0 : std::max(y0 + margin - reach, 0);
  layer.y1 = y1 >= below.Height() ? height : std::min(y1 + margin + reach, height);
  layers_.push_back(layer);
  stage_to_device_.tx += static_cast<float>(margin);
  stage_to_device_.ty += static_cast<float>(margin);
  return true;
}

// The layer's filters, in order, on its picture; each may spread it beyond what was drawn.
// Filters measure in stage pixels, the view in twips.
void Renderer::Impl::ApplyFilters(const RenderCommand& end, LayerState& layer) {
  if (list_ == nullptr) return;
  const size_t first = end.filter_first;
  const size_t last = std::min(list_->filters.size(), first + end.filter_count);
  for (size_t i = first; i < last; ++i) {
    layer.dirty = raster::ApplyFilter(list_->filters[i], device_scale_ * kTwips, *layer.pixmap,
                                      layer.dirty, filter_scratch_);
  }
}

void Renderer::Impl::EndLayer(const RenderCommand& cmd) {
  if (mask_layers_ > 0) {
    --mask_layers_;
    return;
  }
  if (ignored_layers_ > 0) {
    --ignored_layers_;
    return;
  }
  if (layers_.empty()) return;
  LayerState layer = layers_.back();
  layers_.pop_back();
  masks_.resize(std::min(masks_.size(), layer.mask_base));
  if (!layer.kept) ApplyFilters(cmd, layer);
  if (layer.picture) pictures_.Keep(std::move(*layer.picture), *layer.pixmap, layer.dirty);
  Pixmap& below = Canvas();
  const int k = layer.margin;
  // Only the band's rows of what lies below: a filtered picture was drawn past them, as far as
  // its filters reach, so that those rows come out as in a whole frame.
  const int band_y0 = layers_.empty() ? y0_ : layers_.back().y0;
  const int band_y1 = layers_.empty() ? y1_ : layers_.back().y1;
  IntRect area =
      IntRect{layer.dirty.x0 - k, layer.dirty.y0 - k, layer.dirty.x1 - k, layer.dirty.y1 - k}
          .Intersect({0, std::max(band_y0, 0), below.Width(), std::min(band_y1, below.Height())});
  if (layer.clip) area = area.Intersect(layer.clip->Bounds());
  // Alpha and Erase work on an enclosing layer; with none they would punch holes through the
  // stage itself, so they draw nothing there.
  if (layers_.empty() && (layer.blend == BlendMode::Alpha || layer.blend == BlendMode::Erase)) {
    area = {};
  }
  const int alpha = raster::AlphaOnlyFactor(cmd.cxform);
  if (!area.Empty() && row_.size() < static_cast<size_t>(area.x1 - area.x0)) {
    row_.resize(area.x1 - area.x0);
    cov_.resize(area.x1 - area.x0);
  }
  for (int y = area.y0; y < area.y1; ++y) {
    const int n = area.x1 - area.x0;
    const uint32_t* src =
        (layer.kept ? layer.kept->Row(y + k) : layer.pixmap->Row(y + k)) + area.x0 + k;
    if (alpha < 0) {
      raster::TransformPixels(src, row_.data(), n, cmd.cxform);
      src = row_.data();
    }
    const uint8_t* cov = nullptr;
    if (layer.clip || alpha < 255) {
      const uint8_t* m = layer.clip ? layer.clip->Row(y) + area.x0 : nullptr;
      for (int i = 0; i < n; ++i) {
        const uint32_t c = m ? m[i] : 255;
        cov_[i] =
            static_cast<uint8_t>(alpha < 0 ? c : raster::Div255(c * static_cast<uint32_t>(alpha)));
      }
      cov = cov_.data();
    }
    raster::Composite(layer.blend, below.Row(y) + area.x0, src, cov, n, isa);
  }
  if (!layers_.empty() && !area.Empty()) {
    IntRect& d = layers_.back().dirty;
    d = d.Empty() ? area
                  : IntRect{std::min(d.x0, area.x0), std::min(d.y0, area.y0),
                            std::max(d.x1, area.x1), std::max(d.y1, area.y1)};
  }
  // Leave the layer transparent for its next use.
  if (layer.kept) return;
  for (int y = layer.dirty.y0; y < layer.dirty.y1; ++y) {
    std::fill_n(layer.pixmap->Row(y) + layer.dirty.x0, layer.dirty.x1 - layer.dirty.x0, 0u);
  }
}

}  // namespace lumen::render
