// Design: a blur is separable boxes as wide as the blur asks, fractions included (a partial
// weight on the two end pixels), over the area grown by everything the passes and the offset
// reach. Each pass slides a sum along the rows, from the layer into a buffer, and then down all
// columns at once, back into the layer; a step reads only the two pixels at the box's ends, and
// a box up to 32 pixels wide takes its mean in floats, exactly. Shadows, glows and bevels all
// start from the object's alpha (an inner shadow or glow: its complement) blurred the same way,
// four values to a pixel: a shadow or glow reads it at the offset, a bevel takes the difference
// between it behind and ahead of the offset; that value picks a colour (one colour, or a
// gradient's 256 levels), which then goes under, over or instead of the object. A convolution
// reads a kernel around each pixel. The work is bounded by the grown area, never by the target.

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

// Pixel rows `stride` apart (negative in a bottom-up layer).
struct Rows {
  uint32_t* first;
  ptrdiff_t stride;
  int w, h;
  uint32_t* Row(int y) const { return first + y * stride; }
};

// An image of `w` x `h` pixels copied out of the layer.
struct Image {
  std::vector<uint32_t>& px;
  int w, h;
  uint32_t& At(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
};

// Single values (alphas, 0 to 255) a byte each, kept in words of four, `words` to a row: a row
// read as words is four neighbours side by side in each pixel. The rows stored run on to a whole
// number of fours; the spare ones hold nothing that matters.
struct AlphaPlane {
  std::vector<uint32_t>& px;
  int w, h, words;
  uint8_t* Row(int y) {
    return reinterpret_cast<uint8_t*>(px.data() + static_cast<size_t>(y) * words);
  }
  Rows Words() { return {px.data(), words, words, h}; }
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

// A box at pixel j weighs p[j - r] .. p[j + r] 256 each and its two ends, b = p[j - r - 1] and
// a = p[j + r + 1], `edge` each: the mean is (that sum + width / 2) / width. Twice the dividend
// plus one gives the same quotient by twice the width, never a whole one, which a mean in floats
// needs. That doubled dividend is P + (2 edge - 512) b + 2 edge a, where P is 512 times the sum of
// b .. p[j + r], plus twice width / 2 plus one, and the next pixel's P is P + 512 (a - b): each
// step reads its two ends alone, each channel of b beside the same channel of a, so that one
// multiply-add weighs both.

#if defined(__SSE2__)
// Four 32-bit values, one per channel of a pixel.
struct Lanes {
  __m128i v;
  static Lanes Splat(uint32_t x) { return {_mm_set1_epi32(static_cast<int>(x))}; }
  static Lanes Load(const uint32_t* at) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(at))};
  }
  void Store(uint32_t* at) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(at), v); }
  Lanes operator+(Lanes o) const { return {_mm_add_epi32(v, o.v)}; }
};

// Multipliers of a box's two ends, 16 bits each.
struct Weights {
  __m128i v;
  Weights(int b, int a) : v(_mm_setr_epi16(b, a, b, a, b, a, b, a)) {}
};

// A box's two end pixels, each channel as 16 bits beside its fellow.
class Ends {
 public:
  Ends() = default;
  Ends(uint32_t b, uint32_t a) {
    const __m128i pairs = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(b)),
                                            _mm_cvtsi32_si128(static_cast<int>(a)));
    v_ = _mm_unpacklo_epi8(pairs, _mm_setzero_si128());
  }
  // The ends of four boxes in a row, whose first ends lie at `b` and `a`.
  static void Load4(const uint32_t* b, const uint32_t* a, Ends out[4]) {
    const __m128i bs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    const __m128i as = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = _mm_unpacklo_epi8(bs, as), high = _mm_unpackhi_epi8(bs, as);
    out[0].v_ = _mm_unpacklo_epi8(low, zero);
    out[1].v_ = _mm_unpackhi_epi8(low, zero);
    out[2].v_ = _mm_unpacklo_epi8(high, zero);
    out[3].v_ = _mm_unpackhi_epi8(high, zero);
  }
  Lanes Weigh(const Weights& w) const { return {_mm_madd_epi16(v_, w.v)}; }

 private:
  __m128i v_;
};

uint32_t Pixel(Lanes means) {
  const __m128i words = _mm_packs_epi32(means.v, means.v);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
}

void StorePixels(Lanes m0, Lanes m1, Lanes m2, Lanes m3, uint32_t* at) {
  const __m128i low = _mm_packs_epi32(m0.v, m1.v), high = _mm_packs_epi32(m2.v, m3.v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm_packus_epi16(low, high));
}

// The quotients of the doubled dividends in floats, exact up to kMaxWidth whatever the rounding
// mode: a dividend below 2^24 converts exactly, and the two roundings err by less than 2^-22 of a
// quotient below 256, which stays 1 / (2 width) clear of a whole number.
class FloatMean {
 public:
  static constexpr uint32_t kMaxWidth = 32 * 256;
  explicit FloatMean(uint32_t width)
      : inverse_(_mm_set1_ps(1.0f / static_cast<float>(2 * width))) {}
  Lanes operator()(Lanes doubled) const {
    return {_mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(doubled.v), inverse_))};
  }

 private:
  __m128 inverse_;
};

// The quotients by a multiply and shift, for any width.
class ExactMean {
 public:
  explicit ExactMean(uint32_t width) : divide_(width) {}
  Lanes operator()(Lanes doubled) const {
    const __m128i x = _mm_srli_epi32(doubled.v, 1);
    const __m128i m = _mm_set1_epi32(static_cast<int>(divide_.Multiplier()));
    const __m128i shift = _mm_cvtsi32_si128(divide_.Shift());
    const __m128i even = _mm_srl_epi64(_mm_mul_epu32(x, m), shift);
    const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(x, 32), m), shift);
    return {_mm_or_si128(even, _mm_slli_epi64(odd, 32))};
  }

 private:
  Divider divide_;
};
#else
struct Lanes {
  int32_t v[4] = {};
  static Lanes Splat(uint32_t x) {
    const auto i = static_cast<int32_t>(x);
    return {{i, i, i, i}};
  }
  static Lanes Load(const uint32_t* at) {
    Lanes l;
    for (int c = 0; c < 4; ++c) l.v[c] = static_cast<int32_t>(at[c]);
    return l;
  }
  void Store(uint32_t* at) const {
    for (int c = 0; c < 4; ++c) at[c] = static_cast<uint32_t>(v[c]);
  }
  Lanes operator+(Lanes o) const {
    for (int c = 0; c < 4; ++c) o.v[c] += v[c];
    return o;
  }
};

struct Weights {
  int b, a;
};

class Ends {
 public:
  Ends() = default;
  Ends(uint32_t b, uint32_t a) : b_(b), a_(a) {}
  static void Load4(const uint32_t* b, const uint32_t* a, Ends out[4]) {
    for (int k = 0; k < 4; ++k) out[k] = Ends(b[k], a[k]);
  }
  Lanes Weigh(const Weights& w) const {
    Lanes l;
    for (int c = 0; c < 4; ++c) {
      l.v[c] = w.b * static_cast<int32_t>(b_ >> (8 * c) & 0xFF) +
               w.a * static_cast<int32_t>(a_ >> (8 * c) & 0xFF);
    }
    return l;
  }

 private:
  uint32_t b_ = 0, a_ = 0;
};

uint32_t Pixel(Lanes means) {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) out |= static_cast<uint32_t>(means.v[c]) << (8 * c);
  return out;
}

void StorePixels(Lanes m0, Lanes m1, Lanes m2, Lanes m3, uint32_t* at) {
  at[0] = Pixel(m0);
  at[1] = Pixel(m1);
  at[2] = Pixel(m2);
  at[3] = Pixel(m3);
}

class ExactMean {
 public:
  explicit ExactMean(uint32_t width) : divide_(width) {}
  Lanes operator()(Lanes doubled) const {
    for (int32_t& c : doubled.v) c = static_cast<int32_t>(divide_(static_cast<uint32_t>(c) >> 1));
    return doubled;
  }

 private:
  Divider divide_;
};
#endif

// A box sliding along a row or down the columns, as the note above works it out.
template <class Mean>
struct Slider {
  explicit Slider(const Box& box)
      : reach(box.reach),
        start(box.width / 2 * 2 + 1),
        mean(box.width),
        ends(2 * static_cast<int>(box.edge) - 512, 2 * static_cast<int>(box.edge)) {}
  // Past a pixel whose mean is not wanted (while the box slides in from where it covers nothing).
  void Slide(Lanes& p, const Ends& e) const { p = p + e.Weigh(slide); }
  // The mean at a pixel, sliding past it.
  Lanes Step(Lanes& p, const Ends& e) const {
    const Lanes means = mean(p + e.Weigh(ends));
    Slide(p, e);
    return means;
  }

  int reach;
  uint32_t start;  // P where the box covers nothing
  Mean mean;
  Weights ends, slide{-512, 512};
};

// Runs `pass` with the cheapest mean exact for the box's width.
template <class Pass>
void WithSlider(const Box& box, const Pass& pass) {
#if defined(__SSE2__)
  if (box.width <= FloatMean::kMaxWidth) return pass(Slider<FloatMean>(box));
#endif
  pass(Slider<ExactMean>(box));
}

// Pixels i0 .. i1 - 1 of a row, whose ends are b[i - i0] and a[i - i0].
template <class Mean>
void BoxRun(const uint32_t* b, const uint32_t* a, int i0, int i1, Lanes& sum, uint32_t* out,
            const Slider<Mean>& box) {
  int i = i0;
  for (; i + 4 <= i1; i += 4) {
    Ends ends[4];
    Ends::Load4(b + (i - i0), a + (i - i0), ends);
    const Lanes m0 = box.Step(sum, ends[0]), m1 = box.Step(sum, ends[1]);
    const Lanes m2 = box.Step(sum, ends[2]), m3 = box.Step(sum, ends[3]);
    StorePixels(m0, m1, m2, m3, out + i);
  }
  for (; i < i1; ++i) out[i] = Pixel(box.Step(sum, Ends(b[i - i0], a[i - i0])));
}

// One box pass along a row of `n` pixels into `out` (not the row), those past the ends counting
// as transparent: the row is cut where the box's near end comes into it and where its far end
// leaves it, and an end outside reads `zeros` (n + 4 of them) instead.
template <class Mean>
void BoxRow(const uint32_t* row, uint32_t* out, int n, const Slider<Mean>& box,
            const uint32_t* zeros) {
  const int r = box.reach;
  Lanes sum = Lanes::Splat(box.start);
  for (int k = 0; k <= r; ++k) box.Slide(sum, Ends(0, k < n ? row[k] : 0));
  const int b_in = std::min(r + 1, n), a_out = std::max(n - r - 1, 0);
  const int cuts[] = {0, std::min(b_in, a_out), std::max(b_in, a_out), n};
  for (int c = 0; c < 3; ++c) {
    const int i0 = cuts[c], i1 = cuts[c + 1];
    if (i0 == i1) continue;
    const uint32_t* b = i0 >= b_in ? row + (i0 - r - 1) : zeros;
    const uint32_t* a = i1 <= a_out ? row + (i0 + r + 1) : zeros;
    BoxRun(b, a, i0, i1, sum, out, box);
  }
}

// One box pass along each row of `src` into `dst`; a row blurred in place is copied first.
template <class Mean>
void BoxRows(Rows src, Rows dst, const Slider<Mean>& box, FilterScratch& s) {
  const int n = src.w;
  s.blank.assign(static_cast<size_t>(n) + 4, 0);
  s.line.resize(static_cast<size_t>(n));
  for (int y = 0; y < src.h; ++y) {
    const uint32_t* row = src.Row(y);
    if (src.first == dst.first) {
      std::copy_n(row, n, s.line.data());
      row = s.line.data();
    }
    BoxRow(row, dst.Row(y), n, box, s.blank.data());
  }
}

// One box pass down every column of `src` into `dst` at once, row by row, so that memory is read
// in order: a sum per column slides down the image.
template <class Mean>
void BoxColumns(Rows src, Rows dst, const Slider<Mean>& box, FilterScratch& s) {
  const int w = src.w, h = src.h, r = box.reach;
  s.blank.assign(static_cast<size_t>(w), 0);
  const auto row = [&](int y) -> const uint32_t* {
    return y >= 0 && y < h ? src.Row(y) : s.blank.data();
  };
  s.sums.resize(static_cast<size_t>(w) * 4);
  uint32_t* const sums = s.sums.data();  // four per column
  for (int x = 0; x < w; ++x) Lanes::Splat(box.start).Store(&sums[x * 4]);
  for (int y = -r - 1; y < 0; ++y) {
    const uint32_t *b = row(y - r - 1), *a = row(y + r + 1);
    for (int x = 0; x < w; ++x) {
      Lanes sum = Lanes::Load(&sums[x * 4]);
      box.Slide(sum, Ends(b[x], a[x]));
      sum.Store(&sums[x * 4]);
    }
  }
  for (int y = 0; y < h; ++y) {
    const uint32_t *b = row(y - r - 1), *a = row(y + r + 1);
    uint32_t* out = dst.Row(y);
    int x = 0;
    for (; x + 4 <= w; x += 4) {
      Ends ends[4];
      Ends::Load4(b + x, a + x, ends);
      const auto step = [&](int k) {
        Lanes sum = Lanes::Load(&sums[(x + k) * 4]);
        const Lanes means = box.Step(sum, ends[k]);
        sum.Store(&sums[(x + k) * 4]);
        return means;
      };
      StorePixels(step(0), step(1), step(2), step(3), out + x);
    }
    for (; x < w; ++x) {
      Lanes sum = Lanes::Load(&sums[x * 4]);
      out[x] = Pixel(box.Step(sum, Ends(b[x], a[x])));
      sum.Store(&sums[x * 4]);
    }
  }
}

// The passes in the layer itself: the rows into a buffer and the columns back, or one of them
// alone.
void Blur(Rows layer, Box bx, Box by, int passes, FilterScratch& s) {
  s.image.resize(static_cast<size_t>(layer.w) * layer.h);
  const Rows buffer{s.image.data(), layer.w, layer.w, layer.h};
  const bool across = bx.width > 256, down = by.width > 256;
  for (int pass = 0; pass < passes; ++pass) {
    if (across) {
      WithSlider(bx, [&](const auto& box) { BoxRows(layer, down ? buffer : layer, box, s); });
    } else {
      for (int y = 0; y < layer.h; ++y) std::copy_n(layer.Row(y), layer.w, buffer.Row(y));
    }
    if (down) WithSlider(by, [&](const auto& box) { BoxColumns(buffer, layer, box, s); });
  }
}

// Four rows of `w` single values as one row of pixels, row k in channel k.
void PackRows(const uint8_t* const rows[4], uint32_t* px, int w) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= w; x += 16) {
    const auto load = [&](int k) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
    };
    const __m128i r0 = load(0), r1 = load(1), r2 = load(2), r3 = load(3);
    const __m128i low01 = _mm_unpacklo_epi8(r0, r1), low23 = _mm_unpacklo_epi8(r2, r3);
    const __m128i high01 = _mm_unpackhi_epi8(r0, r1), high23 = _mm_unpackhi_epi8(r2, r3);
    __m128i* out = reinterpret_cast<__m128i*>(px + x);
    _mm_storeu_si128(out, _mm_unpacklo_epi16(low01, low23));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(low01, low23));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(high01, high23));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(high01, high23));
  }
#endif
  for (; x < w; ++x) {
    px[x] =
        rows[0][x] | rows[1][x] << 8 | rows[2][x] << 16 | static_cast<uint32_t>(rows[3][x]) << 24;
  }
}

// The rows back out of the pixels.
void UnpackRows(const uint32_t* px, uint8_t* const rows[4], int w) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= w; x += 16) {
    const __m128i* in = reinterpret_cast<const __m128i*>(px + x);
    const __m128i w0 = _mm_loadu_si128(in), w1 = _mm_loadu_si128(in + 1);
    const __m128i w2 = _mm_loadu_si128(in + 2), w3 = _mm_loadu_si128(in + 3);
    // Interleaving bytes three times over sorts them by row, then by pixel: c0 holds rows 0 and
    // 1 of the first eight pixels, c1 rows 2 and 3; c2 and c3 the same of the next eight.
    const __m128i a0 = _mm_unpacklo_epi8(w0, w1), a1 = _mm_unpackhi_epi8(w0, w1);
    const __m128i a2 = _mm_unpacklo_epi8(w2, w3), a3 = _mm_unpackhi_epi8(w2, w3);
    const __m128i b0 = _mm_unpacklo_epi8(a0, a1), b1 = _mm_unpackhi_epi8(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi8(a2, a3), b3 = _mm_unpackhi_epi8(a2, a3);
    const __m128i c0 = _mm_unpacklo_epi8(b0, b1), c1 = _mm_unpackhi_epi8(b0, b1);
    const __m128i c2 = _mm_unpacklo_epi8(b2, b3), c3 = _mm_unpackhi_epi8(b2, b3);
    const auto store = [&](int k, __m128i v) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[k] + x), v);
    };
    store(0, _mm_unpacklo_epi64(c0, c2));
    store(1, _mm_unpackhi_epi64(c0, c2));
    store(2, _mm_unpacklo_epi64(c1, c3));
    store(3, _mm_unpackhi_epi64(c1, c3));
  }
#endif
  for (; x < w; ++x) {
    for (int k = 0; k < 4; ++k) rows[k][x] = static_cast<uint8_t>(px[x] >> (8 * k));
  }
}

// A blur of single values four at a time, one in each channel: the rows are blurred four
// together, and the columns as the plane's words hold them. Channels never mix, so each value
// comes out as alone.
void BlurAlpha(AlphaPlane plane, Box bx, Box by, int passes, FilterScratch& s) {
  const int w = plane.w, h = plane.h;
  for (int pass = 0; pass < passes; ++pass) {
    if (bx.width > 256) {
      s.packed.resize(static_cast<size_t>(w));
      const Rows packed{s.packed.data(), w, w, 1};
      for (int y = 0; y < h; y += 4) {
        uint8_t* const rows[4] = {plane.Row(y), plane.Row(y + 1), plane.Row(y + 2),
                                  plane.Row(y + 3)};
        PackRows(rows, s.packed.data(), w);
        WithSlider(bx, [&](const auto& box) { BoxRows(packed, packed, box, s); });
        UnpackRows(s.packed.data(), rows, w);
      }
    }
    if (by.width > 256) {
      s.out.resize(plane.px.size());
      const Rows blurred{s.out.data(), plane.words, plane.words, h};
      WithSlider(by, [&](const auto& box) { BoxColumns(plane.Words(), blurred, box, s); });
      plane.px.swap(s.out);
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

// Each channel times k (0..255) / 255, rounded as Div255 rounds, two channels to a multiply:
// a channel's product plus the rounding stays below 2^16, so it never reaches its neighbour.
uint32_t Scale(uint32_t premultiplied, uint32_t k) {
  constexpr uint32_t kEven = 0x00FF00FF, kHalf = 0x00800080;
  uint32_t even = (premultiplied & kEven) * k + kHalf;
  uint32_t odd = (premultiplied >> 8 & kEven) * k + kHalf;
  even = (even + (even >> 8 & kEven)) >> 8 & kEven;
  odd = (odd + (odd >> 8 & kEven)) & ~kEven;
  return even | odd;
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
  AlphaPlane plane;
  uint32_t outside;
  uint32_t At(int x, int y) {
    return x >= 0 && y >= 0 && x < plane.w && y < plane.h ? plane.Row(y)[x] : outside;
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
  const int words = (w + 3) / 4;
  s.image.assign(static_cast<size_t>(words) * ((h + 3) / 4 * 4), 0);
  Sampler alpha{{s.image, w, h, words}, complement ? 255u : 0u};
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    uint8_t* out = alpha.plane.Row(y);
    for (int x = 0; x < w; ++x)
      out[x] = static_cast<uint8_t>(complement ? 255 - (row[x] >> 24) : row[x] >> 24);
  }
  BlurAlpha(alpha.plane, bx, by, passes, s);
  FillRamp(f, s.ramp);
  const float strength = std::isfinite(f.strength) ? std::clamp(f.strength, 0.0f, 255.0f) : 1;
  // A shadow or glow's colour depends on the blurred alpha alone: one per level, worked out once.
  if (!bevel) {
    for (int lit = 0; lit < 256; ++lit) s.tints[lit] = GlowTint(f, lit, s.ramp, strength);
  }
  // A shadow or glow behind the object: it shows only where the object is not opaque, and
  // alone where the object is not.
  const bool behind = placement == Placement::Outer && !bevel && !f.hide_object && !f.knockout;
  for (int y = 0; y < h; ++y) {
    uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    for (int x = 0; x < w; ++x) {
      if (behind && row[x] >= 0xFF000000u) continue;
      const uint32_t tint = bevel ? BevelTint(f, alpha, x, y, ox, oy, s.ramp, strength)
                                  : s.tints[alpha.At(x - ox, y - oy)];
      row[x] = behind && row[x] == 0 ? tint : Composite(f, placement, tint, row[x]);
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
  if (grown.Empty()) return area;
  const Rows rows{layer.Row(grown.y0) + grown.x0, layer.Stride(), grown.x1 - grown.x0,
                  grown.y1 - grown.y0};
  Blur(rows, bx, by, passes, s);
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
