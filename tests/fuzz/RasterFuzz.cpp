// Random shapes, styles, matrices and command lists through the renderer onto a small target:
// any coordinates (huge, not finite), any widths, unbalanced masks and layers.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "render/Renderer.h"

namespace {

using namespace lumen::render;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  bool Done() const { return pos_ >= size_; }
  // Mostly ordinary twips, sometimes any float bit pattern (NaN, infinities, 1e38).
  float Coord() {
    if (Byte() % 8 != 0) {
      const auto v = static_cast<int16_t>(Byte() | Byte() << 8);
      return static_cast<float>(v);
    }
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits = bits << 8 | Byte();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  float Unit() { return static_cast<float>(Byte()) / 128 - 1; }
  Matrix Transform() { return {Unit() * 2, Unit(), Unit(), Unit() * 2, Coord(), Coord()}; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

Path RandomPath(Input& in) {
  Path p;
  const int verbs = in.Byte() % 64;
  for (int i = 0; i < verbs; ++i) {
    switch (in.Byte() % 3) {
      case 0:
        p.MoveTo({in.Coord(), in.Coord()});
        break;
      case 1:
        p.LineTo({in.Coord(), in.Coord()});
        break;
      default:
        p.QuadTo({in.Coord(), in.Coord()}, {in.Coord(), in.Coord()});
        break;
    }
  }
  return p;
}

FillStyle RandomFill(Input& in) {
  FillStyle f;
  f.kind = static_cast<FillStyle::Kind>(in.Byte() % 5);
  f.color = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
  f.matrix = in.Transform();
  const int stops = in.Byte() % 17;
  for (int i = 0; i < stops; ++i)
    f.gradient.stops.push_back({in.Byte(), {in.Byte(), in.Byte(), in.Byte(), in.Byte()}});
  f.gradient.spread = static_cast<SpreadMode>(in.Byte() % 3);
  f.gradient.interpolation = static_cast<Interpolation>(in.Byte() % 2);
  f.gradient.focal_point = in.Unit() * 1.5f;
  if (f.kind == FillStyle::Kind::Bitmap && in.Byte() % 4 != 0) {
    auto bm = std::make_shared<Bitmap>();
    bm->width = in.Byte() % 9;
    bm->height = in.Byte() % 9;
    bm->opaque = in.Byte() % 2;
    // Sometimes fewer pixels than the size claims.
    const size_t count = static_cast<size_t>(bm->width * bm->height) - (in.Byte() % 4 == 0 ? 1 : 0);
    for (size_t i = 0; i < count && bm->width * bm->height > 0; ++i) {
      bm->pixels.push_back(0x01010101u * in.Byte());
    }
    f.bitmap = bm;
    f.repeat = in.Byte() % 2;
    f.smooth = in.Byte() % 2;
  }
  return f;
}

ShapeGeometry RandomShape(Input& in) {
  ShapeGeometry s;
  const int parts = in.Byte() % 4;
  for (int i = 0; i < parts; ++i) {
    ShapePart part;
    part.kind = in.Byte() % 2 ? ShapePart::Kind::Stroke : ShapePart::Kind::Fill;
    part.rule = in.Byte() % 2 ? FillRule::EvenOdd : FillRule::NonZero;
    part.path = RandomPath(in);
    part.fill = RandomFill(in);
    part.line.width = in.Coord();
    part.line.color = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
    part.line.start_cap = static_cast<LineCap>(in.Byte() % 3);
    part.line.end_cap = static_cast<LineCap>(in.Byte() % 3);
    part.line.join = static_cast<LineJoin>(in.Byte() % 3);
    part.line.miter_limit = in.Coord();
    part.line.no_hscale = in.Byte() % 2;
    part.line.no_vscale = in.Byte() % 2;
    part.line.has_fill = in.Byte() % 2;
    part.line.fill = RandomFill(in);
    s.parts.push_back(std::move(part));
  }
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::vector<std::unique_ptr<ShapeGeometry>> shapes;
  RenderList list;
  list.background = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
  while (!in.Done() && list.commands.size() < 64) {
    RenderCommand c;
    c.kind = static_cast<RenderCommand::Kind>(in.Byte() % 6);
    c.blend = static_cast<BlendMode>(in.Byte() % 14);
    c.cxform = {in.Unit(),  in.Unit(),  in.Unit(),  in.Unit(),
                in.Coord(), in.Coord(), in.Coord(), in.Coord()};
    if (c.kind == RenderCommand::Kind::DrawShape) {
      shapes.push_back(std::make_unique<ShapeGeometry>(RandomShape(in)));
      c.shape = shapes.back().get();
      c.matrix = in.Transform();
    }
    list.commands.push_back(c);
  }
  Renderer renderer;
  renderer.SetQuality(static_cast<Quality>(data && size ? data[0] % 4 : 0));
  renderer.SetCoverage(size > 1 && data[1] % 2 ? lumen::raster::CoverageMethod::ExactArea
                                               : lumen::raster::CoverageMethod::SampledGrid);
  lumen::raster::Pixmap target(48, 40);
  renderer.Render(list, Matrix::Scale(0.05f, 0.05f), target);
  return 0;
}
