// Design: a blur is separable boxes as wide as the blur asks, fractions included (a partial
// weight on the two end pixels), each pass a prefix sum along the rows and then along the columns,
// on a copy of the area grown by everything the passes and the offset reach. Shadows, glows and
// bevels all start from the object's alpha (an inner shadow or glow: its complement) blurred the
// same way: a shadow or glow reads it at the offset, a bevel takes the difference between it
// behind and ahead of the offset; that value picks a colour (one colour, or a gradient's 256
// levels), which then goes under, over or instead of the object. A convolution reads a kernel
// around each pixel. The work is bounded by the grown area, never by the target.

#include "raster/Filters.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "raster/Color.h"

namespace lumen::raster {
namespace {

constexpr int kMaxReach = 255;  // device pixels a box reaches each way
constexpr int kMaxPasses = 15;

// A box `width` pixels wide, centred: whole pixels within `reach`, and the fraction left over
// split between the two pixels just past it (in 256ths).
struct Box {
  int reach = 0;
  uint32_t edge = 0;
  uint32_t width = 256;  // in 256ths: (2 reach + 1) 256 + 2 edge
  int Spread() const { return reach + (edge > 0 ? 1 : 0); }
};

// A blur of b counts b stage pixels; the view scales the span between its outer ones, so a blur
// of 1 stays sharp at any size.
Box BoxFor(float blur, float scale) {
  const float w = std::round(((blur - 1) * scale + 1) * 256);
  if (!std::isfinite(w) || w <= 256) return {};
  const auto width = static_cast<uint32_t>(std::min(w, float{(2 * kMaxReach + 1) * 256}));
  const int reach = static_cast<int>((width / 256 - 1) / 2);
  return {reach, (width - (2 * static_cast<uint32_t>(reach) + 1) * 256) / 2, width};
}

int Offset(float d, float scale) {
  const float o = std::round(d * scale);
  return std::isfinite(o) ? static_cast<int>(std::clamp(o, -4096.0f, 4096.0f)) : 0;
}

// An image of `w` x `h` pixels copied out of the layer.
struct Image {
  std::vector<uint32_t>& px;
  int w, h;
  uint32_t& At(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
};

// Division by a box's width as a multiply and a shift, exact for every dividend below 2^27
// (a box's weighted sum stays below 2^25): the widths are not constants the compiler can see.
class Divider {
 public:
  explicit Divider(uint32_t d) : shift_(kBits + std::bit_width(d - 1)) {
    multiplier_ = (uint64_t{1} << shift_) / d + 1;
  }
  uint32_t operator()(uint32_t x) const {
    return static_cast<uint32_t>((x * multiplier_) >> shift_);
  }

 private:
  static constexpr int kBits = 27;
  int shift_;
  uint64_t multiplier_;
};

// One box pass over `n` values: each becomes the weighted mean of those the box covers, those
// past the ends counting as transparent. `channels` of 8 bits each are summed apart.
template <int channels, typename At>
void BoxLine(int n, Box box, const At& at, FilterScratch& s) {
  const Divider divide(box.width);
  s.line.resize(n);
  for (int i = 0; i < n; ++i) s.line[i] = at(i);
  s.sums.assign(static_cast<size_t>(n + 1) * 4, 0);
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < channels; ++c) {
      s.sums[(i + 1) * 4 + c] = s.sums[i * 4 + c] + (s.line[i] >> (c * 8) & 0xFF);
    }
  }
  const auto sum = [&](int lo, int hi, int c) {  // of [lo, hi) within the line
    lo = std::clamp(lo, 0, n);
    hi = std::clamp(hi, 0, n);
    return lo < hi ? s.sums[hi * 4 + c] - s.sums[lo * 4 + c] : 0;
  };
  for (int i = 0; i < n; ++i) {
    uint32_t out = 0;
    for (int c = 0; c < channels; ++c) {
      const uint32_t whole = sum(i - box.reach, i + box.reach + 1, c);
      const uint32_t edges =
          sum(i - box.reach - 1, i - box.reach, c) + sum(i + box.reach + 1, i + box.reach + 2, c);
      out |= divide(whole * 256 + edges * box.edge + box.width / 2) << (c * 8);
    }
    at(i) = out;
  }
}

template <int channels>
void Blur(Image image, Box bx, Box by, int passes, FilterScratch& s) {
  for (int pass = 0; pass < passes; ++pass) {
    if (bx.width > 256) {
      for (int y = 0; y < image.h; ++y) {
        BoxLine<channels>(
            image.w, bx, [&](int i) -> uint32_t& { return image.At(i, y); }, s);
      }
    }
    if (by.width > 256) {
      for (int x = 0; x < image.w; ++x) {
        BoxLine<channels>(
            image.h, by, [&](int i) -> uint32_t& { return image.At(x, i); }, s);
      }
    }
  }
}

// What `passes` boxes spread `area` to, and `mx`, `my` further each way, within the layer.
IntRect Spread(const IntRect& area, Box bx, Box by, int passes, int mx, int my,
               const Pixmap& layer) {
  return IntRect{area.x0 - bx.Spread() * passes - mx, area.y0 - by.Spread() * passes - my,
                 area.x1 + bx.Spread() * passes + mx, area.y1 + by.Spread() * passes + my}
      .Intersect({0, 0, layer.Width(), layer.Height()});
}

uint32_t Scale(uint32_t premultiplied, uint32_t k) {  // k in 0..255
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    out |= Div255((premultiplied >> shift & 0xFF) * k) << shift;
  }
  return out;
}

uint32_t Over(uint32_t top, uint32_t below) {
  return top + Scale(below, 255 - (top >> 24));
}

enum class Placement : uint8_t { Inner, Outer, Full };

Placement PlacementOf(const render::Filter& f) {
  if (f.inner) return Placement::Inner;
  return f.on_top ? Placement::Full : Placement::Outer;
}

// The colours of a gradient glow or bevel at each of 256 levels, premultiplied; the ends repeat
// past the first and last stop.
void FillRamp(const render::Filter& f, FilterScratch::Ramp& ramp) {
  const size_t n = std::min(f.stop_count, f.stops.size());
  if (n == 0) {
    ramp.fill(0);
    return;
  }
  size_t next = 0;
  for (int i = 0; i < 256; ++i) {
    while (next < n && f.stops[next].ratio < i) ++next;
    const render::GradientStop& hi = f.stops[std::min(next, n - 1)];
    const render::GradientStop& lo = f.stops[next == 0 ? 0 : next - 1];
    const int span = hi.ratio - lo.ratio;
    if (next == 0 || next == n || span <= 0) {
      ramp[i] = Premultiply(next == n ? f.stops[n - 1].color : hi.color);
      continue;
    }
    const auto mix = [&](uint8_t a, uint8_t b) {
      return static_cast<uint8_t>((a * (hi.ratio - i) + b * (i - lo.ratio) + span / 2) / span);
    };
    ramp[i] = Premultiply({mix(lo.color.r, hi.color.r), mix(lo.color.g, hi.color.g),
                           mix(lo.color.b, hi.color.b), mix(lo.color.a, hi.color.a)});
  }
}

// Reads the blurred alpha at a shift, what lies past the image counting as `outside`.
struct Sampler {
  Image image;
  uint32_t outside;
  uint32_t At(int x, int y) {
    return x >= 0 && y >= 0 && x < image.w && y < image.h ? image.At(x, y) : outside;
  }
};

uint32_t Strengthen(int v, float strength) {
  return static_cast<uint32_t>(std::clamp(static_cast<float>(v) * strength, 0.0f, 255.0f));
}

// The shadow, glow or bevel's own colour at (x, y) of the image, before it meets the object.
uint32_t Tint(const render::Filter& f, Sampler& s, int x, int y, int ox, int oy,
              const FilterScratch::Ramp& ramp, float strength) {
  using Kind = render::Filter::Kind;
  const int lit = static_cast<int>(s.At(x - ox, y - oy));
  if (f.kind == Kind::DropShadow || f.kind == Kind::Glow) {
    return Scale(Premultiply(f.color), Strengthen(lit, strength));
  }
  if (f.kind == Kind::GradientGlow) return ramp[Strengthen(lit, strength)];
  // Bevels: lit from behind the offset, shaded ahead of it.
  const int d = lit - static_cast<int>(s.At(x + ox, y + oy));
  const auto k = static_cast<int>(Strengthen(std::abs(d), strength));
  if (f.kind == Kind::GradientBevel) return ramp[(255 + (d < 0 ? -k : k) + 1) / 2];
  return d < 0 ? Scale(Premultiply(f.color), k) : Scale(Premultiply(f.shadow), k);
}

// Puts `tint` with the object as the placement and the knockout and hide flags say.
uint32_t Composite(const render::Filter& f, Placement placement, uint32_t tint, uint32_t object) {
  const uint32_t a = object >> 24;
  switch (placement) {
    case Placement::Inner:
      tint = Scale(tint, a);
      return f.knockout || f.hide_object ? tint : Over(tint, object);
    case Placement::Outer:
      if (f.kind == render::Filter::Kind::Bevel || f.kind == render::Filter::Kind::GradientBevel) {
        tint = Scale(tint, 255 - a);
      }
      if (f.hide_object) return tint;
      return f.knockout ? Scale(tint, 255 - a) : Over(object, tint);
    case Placement::Full:
      if (f.hide_object) return tint;
      return f.knockout ? Scale(tint, 255 - a) : Over(tint, object);
  }
  return object;
}

// Shadows, glows and bevels: the object's alpha (an inner shadow or glow: its complement)
// blurred, read at the offset and tinted, then put with the object.
IntRect Shadow(const render::Filter& f, float scale, Pixmap& layer, const IntRect& area,
               FilterScratch& s) {
  const Box bx = BoxFor(f.blur_x, scale), by = BoxFor(f.blur_y, scale);
  const int passes = std::clamp(f.passes, 0, kMaxPasses);
  const int ox = Offset(f.dx, scale), oy = Offset(f.dy, scale);
  const IntRect grown = Spread(area, bx, by, passes, std::abs(ox), std::abs(oy), layer);
  if (grown.Empty()) return area;
  const Placement placement = PlacementOf(f);
  const bool bevel =
      f.kind == render::Filter::Kind::Bevel || f.kind == render::Filter::Kind::GradientBevel;
  const bool complement = placement == Placement::Inner && !bevel;
  const int w = grown.x1 - grown.x0, h = grown.y1 - grown.y0;
  s.image.resize(static_cast<size_t>(w) * h);
  Sampler alpha{{s.image, w, h}, complement ? 255u : 0u};
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    for (int x = 0; x < w; ++x)
      alpha.image.At(x, y) = complement ? 255 - (row[x] >> 24) : row[x] >> 24;
  }
  Blur<1>(alpha.image, bx, by, passes, s);
  FillRamp(f, s.ramp);
  const float strength = std::isfinite(f.strength) ? std::clamp(f.strength, 0.0f, 255.0f) : 1;
  for (int y = 0; y < h; ++y) {
    uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    for (int x = 0; x < w; ++x) {
      row[x] = Composite(f, placement, Tint(f, alpha, x, y, ox, oy, s.ramp, strength), row[x]);
    }
  }
  return placement == Placement::Inner ? area : grown;
}

IntRect BlurLayer(const render::Filter& f, float scale, Pixmap& layer, const IntRect& area,
                  FilterScratch& s) {
  const Box bx = BoxFor(f.blur_x, scale), by = BoxFor(f.blur_y, scale);
  const int passes = std::clamp(f.passes, 0, kMaxPasses);
  if (passes == 0 || (bx.width <= 256 && by.width <= 256)) return area;
  const IntRect grown = Spread(area, bx, by, passes, 0, 0, layer);
  const int w = grown.x1 - grown.x0, h = grown.y1 - grown.y0;
  s.image.resize(static_cast<size_t>(w) * h);
  Image image{s.image, w, h};
  for (int y = 0; y < h; ++y) {
    std::copy_n(layer.Row(grown.y0 + y) + grown.x0, w, &image.At(0, y));
  }
  Blur<4>(image, bx, by, passes, s);
  for (int y = 0; y < h; ++y) {
    std::copy_n(&image.At(0, y), w, layer.Row(grown.y0 + y) + grown.x0);
  }
  return grown;
}

void ColourMatrix(const render::Filter& f, Pixmap& layer, const IntRect& area) {
  for (int y = area.y0; y < area.y1; ++y) {
    uint32_t* row = layer.Row(y);
    for (int x = area.x0; x < area.x1; ++x) {
      const render::Rgba c = Unpremultiply(row[x]);
      const float in[4] = {static_cast<float>(c.r), static_cast<float>(c.g),
                           static_cast<float>(c.b), static_cast<float>(c.a)};
      float out[4];
      for (int i = 0; i < 4; ++i) {
        const float* m = &f.matrix[static_cast<size_t>(i) * 5];
        out[i] = m[0] * in[0] + m[1] * in[1] + m[2] * in[2] + m[3] * in[3] + m[4];
      }
      row[x] = Premultiply(
          {ClampChannel(out[0]), ClampChannel(out[1]), ClampChannel(out[2]), ClampChannel(out[3])});
    }
  }
}

// Each pixel becomes the weighted sum of those around it (unpremultiplied), divided and biased.
// Past the picture's area the edge pixels repeat (clamp) or the default colour stands.
void Convolve(const render::Filter& f, Pixmap& layer, const IntRect& area, FilterScratch& s) {
  const int cols = std::clamp(f.columns, 0, render::Filter::kMaxKernel);
  const int rows = std::clamp(f.rows, 0, render::Filter::kMaxKernel);
  if (cols == 0 || rows == 0) return;
  const int w = area.x1 - area.x0, h = area.y1 - area.y0;
  s.image.resize(static_cast<size_t>(w) * h);
  Image source{s.image, w, h};
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = layer.Row(area.y0 + y) + area.x0;
    for (int x = 0; x < w; ++x) {
      const render::Rgba p = Unpremultiply(row[x]);
      source.At(x, y) = Pack(p.a, p.r, p.g, p.b);
    }
  }
  const uint32_t fallback = Pack(f.color.a, f.color.r, f.color.g, f.color.b);
  const float divisor = f.divisor != 0 && std::isfinite(f.divisor) ? f.divisor : 1;
  for (int y = 0; y < h; ++y) {
    uint32_t* out = layer.Row(area.y0 + y) + area.x0;
    for (int x = 0; x < w; ++x) {
      float sum[4] = {};
      for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < cols; ++i) {
          int sx = x + i - cols / 2, sy = y + j - rows / 2;
          const bool inside = sx >= 0 && sy >= 0 && sx < w && sy < h;
          if (!inside && f.clamp) {
            sx = std::clamp(sx, 0, w - 1);
            sy = std::clamp(sy, 0, h - 1);
          }
          const uint32_t p = inside || f.clamp ? source.At(sx, sy) : fallback;
          const float k = f.matrix[static_cast<size_t>(j) * cols + i];
          for (int c = 0; c < 4; ++c) sum[c] += k * static_cast<float>(p >> (c * 8) & 0xFF);
        }
      }
      const uint32_t own = source.At(x, y);
      const auto channel = [&](int c) { return ClampChannel(sum[c] / divisor + f.bias); };
      const uint8_t alpha = f.preserve_alpha ? static_cast<uint8_t>(own >> 24) : channel(3);
      out[x] = Premultiply({channel(2), channel(1), channel(0), alpha});
    }
  }
}

}  // namespace

int FilterReach(const render::Filter& f, float scale) {
  using Kind = render::Filter::Kind;
  if (f.kind == Kind::ColorMatrix || f.kind == Kind::Convolution) return 0;
  const int passes = std::clamp(f.passes, 0, kMaxPasses);
  const int blur = std::max(BoxFor(f.blur_x, scale).Spread(), BoxFor(f.blur_y, scale).Spread());
  const int offset = f.kind == Kind::Blur
                         ? 0
                         : std::max(std::abs(Offset(f.dx, scale)), std::abs(Offset(f.dy, scale)));
  return blur * passes + offset;
}

IntRect ApplyFilter(const render::Filter& filter, float scale, Pixmap& layer, const IntRect& area,
                    FilterScratch& scratch) {
  if (area.Empty()) return area;
  switch (filter.kind) {
    case render::Filter::Kind::Blur:
      return BlurLayer(filter, scale, layer, area, scratch);
    case render::Filter::Kind::DropShadow:
    case render::Filter::Kind::Glow:
    case render::Filter::Kind::Bevel:
    case render::Filter::Kind::GradientGlow:
    case render::Filter::Kind::GradientBevel:
      return Shadow(filter, scale, layer, area, scratch);
    case render::Filter::Kind::ColorMatrix:
      ColourMatrix(filter, layer, area);
      return area;
    case render::Filter::Kind::Convolution:
      Convolve(filter, layer, area, scratch);
      return area;
  }
  return area;
}

}  // namespace lumen::raster
