#include "render/LayerPictures.h"

#include <algorithm>
#include <cstring>

namespace lumen::render {

namespace {

class Hash {
 public:
  void Mix(uint64_t v) { h_ = (h_ ^ v) * 1099511628211ull; }
  void Mix(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    Mix(uint64_t{bits});
  }
  void Mix(const void* p) { Mix(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p))); }
  void Mix(Rgba c) { Mix(uint64_t{c.r} << 24 | uint64_t{c.g} << 16 | uint64_t{c.b} << 8 | c.a); }
  void Mix(const Matrix& m) {
    for (const float f : {m.a, m.b, m.c, m.d, m.tx, m.ty}) Mix(f);
  }
  void Mix(const ColorTransform& c) {
    for (const float f : {c.mul_r, c.mul_g, c.mul_b, c.mul_a, c.add_r, c.add_g, c.add_b, c.add_a}) {
      Mix(f);
    }
  }
  // A fill's bitmap is known by its address, noted in `made_from`.
  void Mix(const FillStyle& f, std::vector<std::weak_ptr<const void>>& made_from) {
    Mix(uint64_t{static_cast<uint8_t>(f.kind)} << 2 | uint64_t{f.repeat} << 1 | f.smooth);
    Mix(f.color);
    Mix(f.matrix);
    Mix(f.bitmap.get());
    Mix(f.source.get());
    if (f.bitmap) made_from.push_back(f.bitmap);
    if (f.source) made_from.push_back(f.source);
    Mix(uint64_t{static_cast<uint8_t>(f.gradient.spread)} << 8 |
        static_cast<uint8_t>(f.gradient.interpolation));
    Mix(f.gradient.focal_point);
    for (const GradientStop& s : f.gradient.stops) {
      Mix(uint64_t{s.ratio});
      Mix(s.color);
    }
  }
  void Mix(const LineStyle& l, std::vector<std::weak_ptr<const void>>& made_from) {
    Mix(l.width);
    Mix(l.color);
    Mix(uint64_t{static_cast<uint8_t>(l.start_cap)} << 16 |
        uint64_t{static_cast<uint8_t>(l.end_cap)} << 8 | static_cast<uint8_t>(l.join));
    Mix(l.miter_limit);
    Mix(uint64_t{l.no_hscale} << 3 | uint64_t{l.no_vscale} << 2 | uint64_t{l.pixel_hinting} << 1 |
        l.has_fill);
    Mix(l.fill, made_from);
  }
  void Mix(const Filter& f) {
    Mix(uint64_t{static_cast<uint8_t>(f.kind)} << 32 | static_cast<uint32_t>(f.passes));
    for (const float v : {f.blur_x, f.blur_y, f.dx, f.dy, f.strength, f.divisor, f.bias}) Mix(v);
    Mix(f.color);
    Mix(f.shadow);
    Mix(uint64_t{f.inner} << 5 | uint64_t{f.knockout} << 4 | uint64_t{f.hide_object} << 3 |
        uint64_t{f.on_top} << 2 | uint64_t{f.clamp} << 1 | f.preserve_alpha);
    for (size_t i = 0; i < std::min(f.stop_count, f.stops.size()); ++i) {
      Mix(uint64_t{f.stops[i].ratio});
      Mix(f.stops[i].color);
    }
    Mix(uint64_t{static_cast<uint32_t>(f.columns)} << 32 | static_cast<uint32_t>(f.rows));
    const size_t factors = static_cast<size_t>(std::clamp(f.columns * f.rows, 0, 225));
    for (size_t i = 0; i < factors && i < f.matrix.size(); ++i) Mix(f.matrix[i]);
  }
  uint64_t Value() const { return h_; }

 private:
  uint64_t h_ = 1469598103934665603ull;
};

// Whether a shape's pixels follow from its definition and the bitmaps at hand: a bitmap that
// cannot be had now may be there in a later frame. Once had, a source's pixels never change.
bool Settled(const ShapeGeometry& shape, BitmapProvider* bitmaps) {
  return std::all_of(shape.parts.begin(), shape.parts.end(), [bitmaps](const ShapePart& p) {
    for (const BitmapSource* source : {p.fill.source.get(), p.line.fill.source.get()}) {
      if (source != nullptr && (bitmaps == nullptr || bitmaps->Pixels(*source) == nullptr)) {
        return false;
      }
    }
    return true;
  });
}

}  // namespace

uint64_t PathsHash(const ShapeGeometry& shape) {
  Hash h;
  for (const ShapePart& part : shape.parts) {
    h.Mix(uint64_t{part.path.verbs.size()});
    for (const Point& p : part.path.points) {
      h.Mix(p.x);
      h.Mix(p.y);
    }
  }
  return h.Value();
}

std::optional<PictureKey> LayerPictures::Key(const RenderList& list, size_t begin, size_t end,
                                             const PictureView& view, BitmapProvider* bitmaps) {
  PictureKey key;
  Hash h;
  h.Mix(view.stage_to_device);
  h.Mix(uint64_t{static_cast<uint32_t>(view.width)} << 32 | static_cast<uint32_t>(view.height));
  h.Mix(uint64_t{static_cast<uint32_t>(view.y0)} << 32 | static_cast<uint32_t>(view.y1));
  h.Mix(uint64_t{static_cast<uint32_t>(view.quality)} << 32 | static_cast<uint32_t>(view.method));
  if (begin < list.commands.size()) {
    const RenderCommand& layer = list.commands[begin];
    const size_t last =
        std::min<size_t>(list.filters.size(), layer.filter_first + layer.filter_count);
    for (size_t i = layer.filter_first; i < last; ++i) h.Mix(list.filters[i]);
  }
  for (size_t i = begin + 1; i < end && i < list.commands.size(); ++i) {
    const RenderCommand& c = list.commands[i];
    if (c.kind == RenderCommand::Kind::EndLayer && c.filter_count > 0) return std::nullopt;
    h.Mix(uint64_t{static_cast<uint8_t>(c.kind)} << 16 |
          uint64_t{static_cast<uint8_t>(c.blend)} << 8 | c.snap);
    h.Mix(c.matrix);
    h.Mix(c.cxform);
    if (c.kind != RenderCommand::Kind::DrawShape || c.shape == nullptr) continue;
    if (!Settled(*c.shape, bitmaps)) return std::nullopt;
    h.Mix(PathsHash(*c.shape));
    for (const ShapePart& part : c.shape->parts) {
      h.Mix(uint64_t{static_cast<uint8_t>(part.kind)} << 8 | static_cast<uint8_t>(part.rule));
      if (part.kind == ShapePart::Kind::Fill) {
        h.Mix(part.fill, key.made_from);
      } else {
        h.Mix(part.line, key.made_from);
      }
    }
  }
  key.hash = h.Value();
  return key;
}

std::optional<LayerPictures::Kept> LayerPictures::Find(uint64_t key, int width, int height) {
  const auto it = std::find_if(pictures_.begin(), pictures_.end(),
                               [key](const Picture& p) { return p.key.hash == key; });
  if (it == pictures_.end()) return std::nullopt;
  const auto gone = [](const std::weak_ptr<const void>& bitmap) { return bitmap.expired(); };
  if (std::any_of(it->key.made_from.begin(), it->key.made_from.end(), gone)) {
    pixels_ -= it->pixels.size();
    pictures_.erase(it);
    return std::nullopt;
  }
  if (it->area.x1 > width || it->area.y1 > height) return std::nullopt;
  it->used = ++clock_;
  return Kept{it->area, it->pixels.data()};
}

void LayerPictures::Keep(PictureKey key, const raster::Pixmap& from, const raster::IntRect& area) {
  if (area.Empty() || area.x0 < 0 || area.y0 < 0 || area.x1 > from.Width() ||
      area.y1 > from.Height()) {
    return;
  }
  const int width = area.x1 - area.x0;
  const size_t size = static_cast<size_t>(width) * static_cast<size_t>(area.y1 - area.y0);
  if (size > kMaxPixels) return;
  // Make room: the least recently used go first.
  while (!pictures_.empty() && (pictures_.size() >= kMaxPictures || pixels_ + size > kMaxPixels)) {
    const auto oldest =
        std::min_element(pictures_.begin(), pictures_.end(),
                         [](const Picture& a, const Picture& b) { return a.used < b.used; });
    pixels_ -= oldest->pixels.size();
    pictures_.erase(oldest);
  }
  Picture picture{std::move(key), area, {}, ++clock_};
  picture.pixels.resize(size);
  for (int y = area.y0; y < area.y1; ++y) {
    std::copy_n(from.Row(y) + area.x0, width,
                picture.pixels.data() + static_cast<size_t>(y - area.y0) * width);
  }
  pixels_ += size;
  pictures_.push_back(std::move(picture));
}

void LayerPictures::Clear() {
  pictures_.clear();
  pixels_ = 0;
}

}  // namespace lumen::render
