// Design: a blur is separable boxes as wide as the blur asks, fractions included (a partial
// weight on the two end pixels), each pass a sum sliding along the rows and then down all columns
// at once, on a copy of the area grown by everything the passes and the offset reach. Shadows,
// glows and bevels all start from the object's alpha (an inner shadow or glow: its complement)
// blurred the same way: a shadow or glow reads it at the offset, a bevel takes the difference
// between it behind and ahead of the offset; that value picks a colour (one colour, or a gradient's
// 256 levels), which then goes under, over or instead of the object. A convolution reads a kernel
// around each pixel. The work is bounded by the grown area, never by the target.

#include "raster/Filters.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "raster/Color.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    multiplier_ = static_cast<uint32_t>((uint64_t{1} << shift_) / d + 1);
  }
  uint32_t operator()(uint32_t x) const {
    return static_cast<uint32_t>((uint64_t{x} * multiplier_) >> shift_);
  }
  uint32_t Multiplier() const { return multiplier_; }  // below 2^28 for every width above 256
  int Shift() const { return shift_; }

 private:
  static constexpr int kBits = 27;
  int shift_;
  uint32_t multiplier_;
};

// The four 8-bit channels of a pixel as 32-bit sums, and the box's weighted mean of them.
#if defined(__SSE2__)
class Lanes {
 public:
  Lanes() : v_(_mm_setzero_si128()) {}
  explicit Lanes(uint32_t pixel) {
    const __m128i zero = _mm_setzero_si128();
    v_ = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(pixel)), zero),
                            zero);
  }
  static Lanes Load(const uint32_t* at) {
    return Lanes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
  }
  void Store(uint32_t* at) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v_); }
  Lanes operator+(Lanes o) const { return Lanes(_mm_add_epi32(v_, o.v_)); }
  Lanes operator-(Lanes o) const { return Lanes(_mm_sub_epi32(v_, o.v_)); }

  // (whole 256 + edges edge + width / 2) / width per channel, packed back into a pixel. Every
  // edge sum and edge weight fits 16 bits, so one multiply-add gives their product.
  static uint32_t Mean(Lanes whole, Lanes edges, const Box& box, const Divider& divide) {
    const __m128i x = _mm_add_epi32(
        _mm_add_epi32(_mm_slli_epi32(whole.v_, 8),
                      _mm_madd_epi16(edges.v_, _mm_set1_epi32(static_cast<int>(box.edge)))),
        _mm_set1_epi32(static_cast<int>(box.width / 2)));
    const __m128i m = _mm_set1_epi32(static_cast<int>(divide.Multiplier()));
    const __m128i shift = _mm_cvtsi32_si128(divide.Shift());
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(x, m), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), m), shift);
    const __m128i means = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
    const __m128i words = _mm_packs_epi32(means, means);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
  }

 private:
  explicit Lanes(__m128i v) : v_(v) {}
  __m128i v_;
};
#else
class Lanes {
 public:
  Lanes() = default;
  explicit Lanes(uint32_t pixel) {
    for (int c = 0; c < 4; ++c) v_[c] = pixel >> (c * 8) & 0xFF;
  }
  static Lanes Load(const uint32_t* at) {
    Lanes l;
    std::copy_n(at, 4, l.v_);
    return l;
  }
  void Store(uint32_t* at) const { std::copy_n(v_, 4, at); }
  Lanes operator+(Lanes o) const {
    for (int c = 0; c < 4; ++c) o.v_[c] += v_[c];
    return o;
  }
  Lanes operator-(Lanes o) const {
    for (int c = 0; c < 4; ++c) o.v_[c] = v_[c] - o.v_[c];
    return o;
  }
  static uint32_t Mean(Lanes whole, Lanes edges, const Box& box, const Divider& divide) {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
      out |= divide(whole.v_[c] * 256 + edges.v_[c] * box.edge + box.width / 2) << (c * 8);
    }
    return out;
  }

 private:
  uint32_t v_[4] = {};
};
#endif

// One box pass along a row of `n` pixels, in place: each becomes the weighted mean of those the
// box covers, those past the ends counting as transparent. The box's sum slides along the row,
// one pixel in and one out.
void BoxRow(uint32_t* row, int n, const Box& box, const Divider& divide, FilterScratch& s) {
  const int r = box.reach, pad = r + 2;
  s.line.assign(static_cast<size_t>(n) + 2 * static_cast<size_t>(pad), 0);
  std::copy_n(row, n, s.line.begin() + pad);
  const uint32_t* p = s.line.data() + pad;  // p[-pad] .. p[n + pad - 1]
  Lanes whole;
  for (int k = -r; k <= r; ++k) whole = whole + Lanes(p[k]);
  for (int i = 0; i < n; ++i) {
    if (i > 0) whole = whole + Lanes(p[i + r]) - Lanes(p[i - r - 1]);
    row[i] = Lanes::Mean(whole, Lanes(p[i - r - 1]) + Lanes(p[i + r + 1]), box, divide);
  }
}

// One box pass down every column at once, row by row, so that memory is read in order: a sum
// per column slides down the image into a second buffer, which then becomes the image.
void BoxColumns(Image& image, const Box& box, const Divider& divide, FilterScratch& s) {
  const int w = image.w, h = image.h, r = box.reach;
  s.blank.assign(static_cast<size_t>(w), 0);
  s.out.resize(image.px.size());
  const auto row = [&](int y) -> const uint32_t* {
    return y >= 0 && y < h ? &image.At(0, y) : s.blank.data();
  };
  s.sums.assign(static_cast<size_t>(w) * 4, 0);
  for (int y = std::max(-r, 0); y <= std::min(r, h - 1); ++y) {
    const uint32_t* src = row(y);
    for (int x = 0; x < w; ++x) (Lanes::Load(&s.sums[x * 4]) + Lanes(src[x])).Store(&s.sums[x * 4]);
  }
  for (int y = 0; y < h; ++y) {
    const uint32_t *in = row(y + r), *out = row(y - r - 1), *below = row(y + r + 1);
    uint32_t* dst = s.out.data() + static_cast<size_t>(y) * w;
    for (int x = 0; x < w; ++x) {
      Lanes whole = Lanes::Load(&s.sums[x * 4]);
      if (y > 0) {
        whole = whole + Lanes(in[x]) - Lanes(out[x]);
        whole.Store(&s.sums[x * 4]);
      }
      dst[x] = Lanes::Mean(whole, Lanes(out[x]) + Lanes(below[x]), box, divide);
    }
  }
  image.px.swap(s.out);
}

void Blur(Image image, Box bx, Box by, int passes, FilterScratch& s) {
  const Divider divide_x(bx.width), divide_y(by.width);
  for (int pass = 0; pass < passes; ++pass) {
    if (bx.width > 256) {
      for (int y = 0; y < image.h; ++y) BoxRow(&image.At(0, y), image.w, bx, divide_x, s);
    }
    if (by.width > 256) BoxColumns(image, by, divide_y, s);
  }
}

// A blur of single values (an alpha, 0 to 255 in each pixel) four at a time, one in each
// channel: the rows are blurred four together, and the columns with four neighbours side by
// side in each pixel. Channels never mix, so each value comes out as alone.
void BlurAlpha(Image image, Box bx, Box by, int passes, FilterScratch& s) {
  const Divider divide_x(bx.width), divide_y(by.width);
  const int w = image.w, h = image.h, packed_w = (w + 3) / 4;
  const auto value = [&](int x, int y) { return x < w && y < h ? image.At(x, y) : 0u; };
  for (int pass = 0; pass < passes; ++pass) {
    if (bx.width > 256) {
      s.packed.resize(static_cast<size_t>(w));
      for (int y = 0; y < h; y += 4) {
        for (int x = 0; x < w; ++x) {
          s.packed[x] =
              value(x, y) | value(x, y + 1) << 8 | value(x, y + 2) << 16 | value(x, y + 3) << 24;
        }
        BoxRow(s.packed.data(), w, bx, divide_x, s);
        for (int k = 0; k < 4 && y + k < h; ++k) {
          for (int x = 0; x < w; ++x) image.At(x, y + k) = s.packed[x] >> (8 * k) & 0xFF;
        }
      }
    }
    if (by.width > 256) {
      s.packed.resize(static_cast<size_t>(packed_w) * h);
      Image packed{s.packed, packed_w, h};
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < packed_w; ++x) {
          packed.At(x, y) = value(4 * x, y) | value(4 * x + 1, y) << 8 | value(4 * x + 2, y) << 16 |
                            value(4 * x + 3, y) << 24;
        }
      }
      BoxColumns(packed, by, divide_y, s);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) image.At(x, y) = packed.At(x / 4, y) >> (8 * (x % 4)) & 0xFF;
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

// A shadow or glow's own colour where its blurred alpha reads `lit`.
uint32_t GlowTint(const render::Filter& f, int lit, const FilterScratch::Ramp& ramp,
                  float strength) {
  if (f.kind == render::Filter::Kind::GradientGlow) return ramp[Strengthen(lit, strength)];
  return Scale(Premultiply(f.color), Strengthen(lit, strength));
}

// A bevel's own colour at (x, y) of the image, before it meets the object: lit from behind the
// offset, shaded ahead of it.
uint32_t BevelTint(const render::Filter& f, Sampler& s, int x, int y, int ox, int oy,
                   const FilterScratch::Ramp& ramp, float strength) {
  using Kind = render::Filter::Kind;
  const int lit = static_cast<int>(s.At(x - ox, y - oy));
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
  BlurAlpha(alpha.image, bx, by, passes, s);
  FillRamp(f, s.ramp);
  const float strength = std::isfinite(f.strength) ? std::clamp(f.strength, 0.0f, 255.0f) : 1;
  // A shadow or glow's colour depends on the blurred alpha alone: one per level, worked out once.
  if (!bevel) {
    for (int lit = 0; lit < 256; ++lit) s.tints[lit] = GlowTint(f, lit, s.ramp, strength);
  }
  for (int y = 0; y < h; ++y) {
    uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    for (int x = 0; x < w; ++x) {
      const uint32_t tint = bevel ? BevelTint(f, alpha, x, y, ox, oy, s.ramp, strength)
                                  : s.tints[std::min(alpha.At(x - ox, y - oy), 255u)];
      row[x] = Composite(f, placement, tint, row[x]);
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
  Blur(image, bx, by, passes, s);
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
