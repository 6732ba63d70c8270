// Design: the fill's matrix is inverted once per part, so a span is fetched by stepping through
// fill space. Gradients go through a 256-entry table built from the stops with the colour
// transform already applied. Bitmaps have three routes: an unscaled, unfiltered span is handed
// out as a pointer into the image (no copy); an axis-aligned span mixes two source rows once and
// then filters horizontally in 16.16 fixed point (SSE2 two pixels at a time, identical integer
// maths in the scalar code); anything rotated or skewed steps in 16.16 fixed point inside the
// image (SSE2 two pixels at a time) and in double at its edges.

#include "raster/Paint.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "raster/Color.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumen::raster {

using render::Bitmap;
using render::ColorTransform;
using render::FillStyle;
using render::Matrix;
using render::Rgba;
using render::SpreadMode;

namespace {

constexpr double kGradientHalf = 16384;  // the gradient square runs from -16384 to 16384

float ToLinear(float c) {
  c /= 255;
  return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

float FromLinear(float c) {
  c = c <= 0.0031308f ? c * 12.92f : 1.055f * std::pow(c, 1 / 2.4f) - 0.055f;
  return c * 255;
}

double Spread(double t, SpreadMode mode) {
  switch (mode) {
    case SpreadMode::Repeat:
      t -= std::floor(t);
      break;
    case SpreadMode::Reflect:
      t -= 2 * std::floor(t / 2);
      if (t > 1) t = 2 - t;
      break;
    case SpreadMode::Pad:
      break;
  }
  if (!(t >= 0)) return 0;  // also NaN
  return std::min(t, 1.0);
}

// (p0 * (256 - w) + p1 * w) >> 8 per channel, w in 0..255.
inline uint32_t Lerp(uint32_t p0, uint32_t p1, uint32_t w) {
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((p0 & 0xFF00FF) * iw + (p1 & 0xFF00FF) * w) >> 8) & 0xFF00FF;
  const uint32_t ag = ((((p0 >> 8) & 0xFF00FF) * iw + ((p1 >> 8) & 0xFF00FF) * w) >> 8) & 0xFF00FF;
  return rb | ag << 8;
}

// Index of the pixel at coordinate `f` (any value; what is not finite gives the first).
inline int WrapCoord(double f, int size, bool repeat) {
  if (repeat) {
    // fmod is exact at any magnitude, where f - size * floor(f / size) can land far outside.
    double m = std::fmod(f, size);
    if (m < 0) m += size;
    return m >= 0 && m < size ? std::min(static_cast<int>(m), size - 1) : 0;
  }
  if (!(f > 0)) return 0;
  return f >= size - 1 ? size - 1 : static_cast<int>(f);
}

// The 16.16 position u + du * i. It lies in range wherever the span's ends do, though du * i
// alone may not.
inline int32_t FixedAt(int32_t u, int32_t du, int i) {
  return static_cast<int32_t>(u + int64_t{du} * i);
}

// Whether a span's steps (source pixels per device pixel) fit 16.16 fixed point.
inline bool FixedSteps(double du, double dv) {
  return std::abs(du) < 32767 && std::abs(dv) < 32767;
}

inline uint32_t Weight(double frac) {
  return std::min(255u, static_cast<uint32_t>(frac * 256));
}

bool Invert(const Matrix& m, double out[6]) {
  const double det = double{m.a} * m.d - double{m.b} * m.c;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  const double a = m.d / det, b = -m.b / det, c = -m.c / det, d = m.a / det;
  out[0] = a, out[1] = b, out[2] = c, out[3] = d;
  out[4] = -(a * m.tx + c * m.ty);
  out[5] = -(b * m.tx + d * m.ty);
  for (int i = 0; i < 6; ++i) {
    if (!std::isfinite(out[i])) return false;
  }
  return true;
}

void MixRows(const uint32_t* r0, const uint32_t* r1, uint32_t w, int n, uint32_t* out, Isa isa) {
  int i = 0;
#if defined(__SSE2__)
  if (isa == Isa::Sse2) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i w1 = _mm_set1_epi16(static_cast<int16_t>(w));
    const __m128i w0 = _mm_set1_epi16(static_cast<int16_t>(256 - w));
    for (; i + 4 <= n; i += 4) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r0 + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r1 + i));
      auto mix = [&](__m128i x, __m128i y) {
        return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, w0), _mm_mullo_epi16(y, w1)), 8);
      };
      const __m128i lo = mix(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
      const __m128i hi = mix(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
  }
#endif
  (void)isa;
  for (; i < n; ++i) out[i] = Lerp(r0[i], r1[i], w);
}

#if defined(__SSE2__)
// The weights of four 16.16 positions (their bits 8..15) as Lerp16 takes them, each spread over
// the four channels of its pixel: pixels 0 and 1 in `first`, 2 and 3 in `second`.
inline void SpreadWeights(int32_t p0, int32_t p1, int32_t p2, int32_t p3, __m128i& first,
                          __m128i& second) {
  const __m128i w32 =
      _mm_and_si128(_mm_srli_epi32(_mm_set_epi32(p3, p2, p1, p0), 1), _mm_set1_epi32(0xFF << 7));
  const __m128i w16 = _mm_packs_epi32(w32, w32);
  const __m128i pairs = _mm_unpacklo_epi16(w16, w16);
  first = _mm_unpacklo_epi32(pairs, pairs);
  second = _mm_unpackhi_epi32(pairs, pairs);
}

// (a * (256 - w) + b * w) >> 8 for each 16-bit channel, truncated as the scalar Lerp is, given
// w << 7: that is a + floor((b - a) * w / 256), and the high half of (b - a) * 2 times w << 7
// is that floor, in one multiplication.
inline __m128i Lerp16(__m128i a, __m128i b, __m128i w7) {
  return _mm_add_epi16(a, _mm_mulhi_epi16(_mm_slli_epi16(_mm_sub_epi16(b, a), 1), w7));
}

// Two pixels' left and right neighbours, read as the pairs at `p` and `q`, in 16-bit channels.
inline void SplitPairs(const uint32_t* p, const uint32_t* q, __m128i& left, __m128i& right) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
  const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)), zero);
  left = _mm_unpacklo_epi64(a, b);
  right = _mm_unpackhi_epi64(a, b);
}
#endif

// Horizontal filtering where every sample and its right neighbour lie inside `row`.
void FilterInside(const uint32_t* row, int32_t u, int32_t du, int n, uint32_t* out, Isa isa) {
  int i = 0;
#if defined(__SSE2__)
  if (isa == Isa::Sse2) {
    for (; i + 4 <= n; i += 4) {
      // Positions from the start, not by running sums, which could pass the int range after
      // the last pixel.
      const int32_t u0 = u + du * i, u1 = u0 + du, u2 = u1 + du, u3 = u2 + du;
      __m128i w01, w23, left, right;
      SpreadWeights(u0, u1, u2, u3, w01, w23);
      SplitPairs(row + (u0 >> 16), row + (u1 >> 16), left, right);
      const __m128i lo = Lerp16(left, right, w01);
      SplitPairs(row + (u2 >> 16), row + (u3 >> 16), left, right);
      const __m128i hi = Lerp16(left, right, w23);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
  }
#endif
  (void)isa;
  for (; i < n; ++i) {
    const int32_t at = u + du * i;
    out[i] = Lerp(row[at >> 16], row[(at >> 16) + 1], static_cast<uint32_t>(at >> 8) & 0xFF);
  }
}

// Bilinear filtering of a turned or skewed span where every sample's 2 x 2 neighbourhood lies
// inside the image (`stride` pixels a row); positions in 16.16 fixed point.
void BilinearInside(const uint32_t* pixels, int stride, int32_t u, int32_t du, int32_t v,
                    int32_t dv, int n, uint32_t* out, Isa isa) {
  const auto at = [&](int32_t at_u, int32_t at_v) {
    return pixels + static_cast<ptrdiff_t>(at_v >> 16) * stride + (at_u >> 16);
  };
  const auto weight = [](int32_t position) { return static_cast<uint32_t>(position >> 8) & 0xFF; };
  int i = 0;
#if defined(__SSE2__)
  if (isa == Isa::Sse2) {
    // Four output pixels: their four neighbours each, mixed across and then down, two at a time.
    const auto two = [&](const uint32_t* p, const uint32_t* q, __m128i wx, __m128i wy) {
      __m128i top_left, top_right, bottom_left, bottom_right;
      SplitPairs(p, q, top_left, top_right);
      SplitPairs(p + stride, q + stride, bottom_left, bottom_right);
      return Lerp16(Lerp16(top_left, top_right, wx), Lerp16(bottom_left, bottom_right, wx), wy);
    };
    for (; i + 4 <= n; i += 4) {
      const int32_t u0 = u + du * i, u1 = u0 + du, u2 = u1 + du, u3 = u2 + du;
      const int32_t v0 = v + dv * i, v1 = v0 + dv, v2 = v1 + dv, v3 = v2 + dv;
      __m128i wx01, wx23, wy01, wy23;
      SpreadWeights(u0, u1, u2, u3, wx01, wx23);
      SpreadWeights(v0, v1, v2, v3, wy01, wy23);
      const __m128i lo = two(at(u0, v0), at(u1, v1), wx01, wy01);
      const __m128i hi = two(at(u2, v2), at(u3, v3), wx23, wy23);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(lo, hi));
    }
  }
#endif
  (void)isa;
  for (; i < n; ++i) {
    const int32_t at_u = u + du * i, at_v = v + dv * i;
    const uint32_t* row = at(at_u, at_v);
    const uint32_t wx = weight(at_u), wy = weight(at_v);
    out[i] = Lerp(Lerp(row[0], row[1], wx), Lerp(row[stride], row[stride + 1], wx), wy);
  }
}

// The indices i of [0, n) at which the 16.16 position u + du * i lies in [0, limit): a run,
// as the position moves one way.
std::pair<int, int> InsideRun(int64_t u, int64_t du, int64_t limit, int n) {
  int64_t begin = 0, end = n;
  if (du == 0) {
    if (u < 0 || u >= limit) end = 0;
  } else if (du > 0) {
    begin = u >= 0 ? 0 : (-u + du - 1) / du;
    end = u >= limit ? 0 : (limit - u + du - 1) / du;
  } else {
    const int64_t d = -du;
    end = u < 0 ? 0 : u / d + 1;
    begin = u < limit ? 0 : (u - limit) / d + 1;
  }
  begin = std::clamp<int64_t>(begin, 0, n);
  end = std::clamp<int64_t>(end, begin, n);
  return {static_cast<int>(begin), static_cast<int>(end)};
}

}  // namespace

// Entry i of the ramp holds the colour of ratio i and stands for the middle of the i-th of 256
// equal steps along the gradient; between those middles the colour is mixed from the two
// nearest entries, so a ramp stretched over many pixels stays smooth.
uint32_t Paint::RampAt(double t) const {
  const double p = std::clamp(t * 256 - 0.5, 0.0, 255.0);
  const auto i = static_cast<size_t>(p);
  if (i >= 255) return lut_[255];
  return Lerp(lut_[i], lut_[i + 1], static_cast<uint32_t>((p - static_cast<double>(i)) * 256));
}

bool Paint::SetSolid(Rgba color, const ColorTransform& cx) {
  const Rgba c = Transform(color, cx);
  kind_ = Kind::Solid;
  solid_ = Premultiply(c);
  opaque_ = c.a == 255;
  alpha_ = 255;
  return c.a != 0;
}

bool Paint::SetFill(const FillStyle& fill, const Matrix& to_device, const ColorTransform& cx,
                    Smoothing smoothing) {
  switch (fill.kind) {
    case FillStyle::Kind::Solid:
      return SetSolid(fill.color, cx);
    case FillStyle::Kind::Bitmap:
      return SetBitmap(fill, to_device, cx, smoothing);
    default:
      return SetGradient(fill, to_device, cx);
  }
}

bool Paint::SetGradient(const FillStyle& fill, const Matrix& to_device, const ColorTransform& cx) {
  const auto& stops = fill.gradient.stops;
  double inv[6];
  if (stops.empty() || !Invert(to_device, inv)) return false;
  ia_ = inv[0], ib_ = inv[1], ic_ = inv[2], id_ = inv[3], itx_ = inv[4], ity_ = inv[5];
  kind_ = fill.kind == FillStyle::Kind::LinearGradient   ? Kind::Linear
          : fill.kind == FillStyle::Kind::RadialGradient ? Kind::Radial
                                                         : Kind::Focal;
  spread_ = fill.gradient.spread;
  focal_ = std::clamp(static_cast<double>(fill.gradient.focal_point), -0.998, 0.998);
  if (!std::isfinite(focal_)) focal_ = 0;
  const bool linear_rgb = fill.gradient.interpolation == render::Interpolation::LinearRgb;
  alpha_ = 255;
  opaque_ = true;
  bool visible = false;
  size_t k = 0;
  for (int i = 0; i < 256; ++i) {
    while (k + 1 < stops.size() && stops[k + 1].ratio <= i) ++k;
    Rgba c = Transform(stops[k].color, cx);
    if (k + 1 < stops.size() && i > stops[k].ratio) {
      const Rgba c1 = Transform(stops[k + 1].color, cx);
      const float f = static_cast<float>(i - stops[k].ratio) /
                      static_cast<float>(stops[k + 1].ratio - stops[k].ratio);
      auto mix = [&](uint8_t a, uint8_t b, bool gamma) {
        if (!gamma) return ClampChannel(a + (b - a) * f);
        return ClampChannel(FromLinear(ToLinear(a) + (ToLinear(b) - ToLinear(a)) * f));
      };
      c = {mix(c.r, c1.r, linear_rgb), mix(c.g, c1.g, linear_rgb), mix(c.b, c1.b, linear_rgb),
           mix(c.a, c1.a, false)};
    }
    lut_[i] = Premultiply(c);
    opaque_ = opaque_ && c.a == 255;
    visible = visible || c.a != 0;
  }
  // Stops that share a ratio each keep an entry of their own, in order from that ratio up; the
  // last of them starts the next blend as usual.
  int claimed = -1;
  for (size_t j = 0; j + 1 < stops.size(); ++j) {
    if (stops[j + 1].ratio > stops[j].ratio) continue;
    const int entry = std::max<int>(stops[j].ratio, claimed + 1);
    if (entry > 255) break;
    const Rgba c = Transform(stops[j].color, cx);
    lut_[static_cast<size_t>(entry)] = Premultiply(c);
    opaque_ = opaque_ && c.a == 255;
    visible = visible || c.a != 0;
    claimed = entry;
  }
  return visible;
}

bool Paint::SetBitmap(const FillStyle& fill, const Matrix& to_device, const ColorTransform& cx,
                      Smoothing smoothing) {
  const Bitmap* bm = fill.bitmap.get();
  double inv[6];
  if (!bm || bm->width <= 0 || bm->height <= 0 ||
      uint64_t{bm->pixels.size()} !=
          uint64_t{static_cast<uint32_t>(bm->width)} * static_cast<uint32_t>(bm->height) ||
      !Invert(to_device, inv)) {
    return false;
  }
  ia_ = inv[0], ib_ = inv[1], ic_ = inv[2], id_ = inv[3], itx_ = inv[4], ity_ = inv[5];
  kind_ = Kind::Bitmap;
  repeat_ = fill.repeat;
  smooth_ = smoothing == Smoothing::Always || (smoothing == Smoothing::AsFill && fill.smooth);
  bitmap_ = smooth_ ? PickLevel(*bm) : bm;
  fetched_.Select({bitmap_, {ia_, ib_, ic_, id_, itx_, ity_}, smooth_, repeat_}, fill.bitmap);
  cx_ = cx;
  const int factor = AlphaOnlyFactor(cx);
  transform_pixels_ = factor < 0;
  alpha_ = factor < 0 ? 255 : static_cast<uint8_t>(factor);
  opaque_ = bitmap_->opaque && !transform_pixels_;
  if (blend_row_.size() < static_cast<size_t>(bitmap_->width)) blend_row_.resize(bitmap_->width);
  return alpha_ != 0;
}

// The prefiltered level at which one device pixel spans one to two of its pixels along the
// bitmap's denser axis, with the fill-space steps rescaled to it. A repeating fill keeps to
// levels that still tile exactly.
const Bitmap* Paint::PickLevel(const Bitmap& bm) {
  const double across = std::min(std::hypot(ia_, ib_), std::hypot(ic_, id_));
  size_t level = 0;
  for (double span = across; span >= 2 && level < bm.smaller.size(); span /= 2) {
    const int factor = 2 << level;
    if (repeat_ && (bm.width % factor != 0 || bm.height % factor != 0)) break;
    ++level;
  }
  if (level == 0) return &bm;
  const double scale = 1.0 / static_cast<double>(1 << level);
  ia_ *= scale, ib_ *= scale, ic_ *= scale, id_ *= scale, itx_ *= scale, ity_ *= scale;
  return &bm.smaller[level - 1];
}

const uint32_t* Paint::Fetch(int x, int y, int n, uint32_t* buf) {
  switch (kind_) {
    case Kind::Solid:
      std::fill_n(buf, n, solid_);
      return buf;
    case Kind::Bitmap:
      return FetchBitmap(x, y, n, buf);
    default:
      FetchGradient(x, y, n, buf);
      return buf;
  }
}

void Paint::FetchGradient(int x, int y, int n, uint32_t* out) const {
  const double cx = x + 0.5, cy = y + 0.5;
  double gx = ia_ * cx + ic_ * cy + itx_, gy = ib_ * cx + id_ * cy + ity_;
  for (int i = 0; i < n; ++i, gx += ia_, gy += ib_) {
    double t;
    if (kind_ == Kind::Linear) {
      t = (gx + kGradientHalf) / (2 * kGradientHalf);
    } else if (kind_ == Kind::Radial) {
      t = std::sqrt(gx * gx + gy * gy) / kGradientHalf;
    } else {
      // Where the ray from the focal point through this pixel meets the unit circle.
      const double dx = gx / kGradientHalf - focal_, dy = gy / kGradientHalf;
      const double a = dx * dx + dy * dy, b = focal_ * dx, c = focal_ * focal_ - 1;
      const double k = a > 0 ? (-b + std::sqrt(b * b - a * c)) / a : 0;
      t = k > 0 ? 1 / k : 0;
    }
    out[i] = RampAt(Spread(t, spread_));
  }
}

const uint32_t* Paint::SourceRow(int row) const {
  return bitmap_->pixels.data() + static_cast<size_t>(row) * static_cast<size_t>(bitmap_->width);
}

const uint32_t* Paint::FetchBitmap(int x, int y, int n, uint32_t* buf) {
  const uint32_t* px = fetched_.Find(x, y, n);
  if (!px) {
    if (ib_ == 0 && ic_ == 0) {
      px = FetchAxisAligned(x, y, n, buf);
    } else {
      FetchGeneral(x, y, n, buf);
      px = buf;
    }
    // What comes straight from the bitmap's own rows costs nothing to fetch again.
    if (px == buf) fetched_.Store(x, y, n, buf);
  }
  if (transform_pixels_) {
    TransformPixels(px, buf, n, cx_);
    return buf;
  }
  return px;
}

const uint32_t* Paint::FetchAxisAligned(int x, int y, int n, uint32_t* buf) {
  const int w = bitmap_->width, h = bitmap_->height;
  const double u0 = ia_ * (x + 0.5) + itx_, v = id_ * (y + 0.5) + ity_;
  const double half = smooth_ ? 0.5 : 0;
  const double su = u0 - half, sv = v - half;
  // Rows to use and their vertical weight.
  const double fy = std::floor(sv);
  const uint32_t wy = smooth_ ? Weight(sv - fy) : 0;
  const int r0 = WrapCoord(fy, h, repeat_);
  const int r1 = WrapCoord(fy + 1, h, repeat_);
  const double fx = std::floor(su);
  const bool filter_x = smooth_ && !(ia_ == 1 && su == fx);
  // Unscaled and unfiltered: the image row itself, when the span lies inside it.
  if (!filter_x && ia_ == 1 && fx >= 0 && fx + n <= w && (wy == 0 || r0 == r1)) {
    return SourceRow(r0) + static_cast<int>(fx);
  }
  const double last = su + ia_ * (n - 1);
  const double lo = std::min(su, last), hi = std::max(su, last);
  const uint32_t* row = SourceRow(r0);
  if (wy != 0 && r0 != r1) {
    // Only the source columns this span reads, unless it wraps around the image.
    int from = 0, to = w;
    if (lo >= 0 && hi + 2 <= w) {
      from = static_cast<int>(lo);
      to = static_cast<int>(hi) + 2;
    }
    MixRows(SourceRow(r0) + from, SourceRow(r1) + from, wy, to - from, blend_row_.data() + from,
            isa_);
    row = blend_row_.data();
  }
  // One by one, where a sample or its right neighbour lies off the row (clamped or wrapped).
  const auto at_edge = [&](int from, int to) {
    for (int i = from; i < to; ++i) {
      const double s = su + ia_ * i;
      const double f = std::floor(s);
      const uint32_t p0 = row[WrapCoord(f, w, repeat_)];
      buf[i] = filter_x ? Lerp(p0, row[WrapCoord(f + 1, w, repeat_)], Weight(s - f)) : p0;
    }
  };
  if (filter_x && lo > -32768 && hi < 32767 && FixedSteps(ia_, 0)) {  // 16.16 holds it
    const auto u = static_cast<int32_t>(su * 65536), du = static_cast<int32_t>(ia_ * 65536);
    if (lo >= 0 && hi + 1 < w && ((u + static_cast<int64_t>(du) * (n - 1)) >> 16) + 1 < w) {
      FilterInside(row, u, du, n, buf, isa_);
      return buf;
    }
    // A span reaching past the image's left or right edge (a photo scaled up to the stage's
    // edges has one on every row): the samples between the edges still go all at once.
    if (du > 0 && !repeat_) {
      const auto [begin, stop] = InsideRun(u, du, int64_t{w - 1} << 16, n);
      at_edge(0, begin);
      FilterInside(row, FixedAt(u, du, begin), du, stop - begin, buf + begin, isa_);
      at_edge(stop, n);
      return buf;
    }
    if (du > 0) {
      // Repeating: a run within each tile, and one by one the samples whose pair wraps.
      const int64_t tile = int64_t{w} << 16;
      for (int i = 0; i < n;) {
        const int64_t at = u + int64_t{du} * i;
        const int64_t local = at - (at >= 0 ? at / tile : -((-at + tile - 1) / tile)) * tile;
        const int inside = InsideRun(local, du, tile - 65536, n - i).second;
        FilterInside(row, static_cast<int32_t>(local), du, inside, buf + i, isa_);
        const int64_t past = local + int64_t{du} * inside;
        const int64_t wrapping = past < tile ? (tile - past + du - 1) / du : 0;
        const int next = static_cast<int>(std::min<int64_t>(n, i + inside + wrapping));
        at_edge(i + inside, next);
        i = next;
      }
      return buf;
    }
  }
  at_edge(0, n);
  return buf;
}

void Paint::FetchGeneral(int x, int y, int n, uint32_t* out) const {
  const int w = bitmap_->width, h = bitmap_->height;
  const double half = smooth_ ? 0.5 : 0;
  const double cx = x + 0.5, cy = y + 0.5;
  const double u0 = ia_ * cx + ic_ * cy + itx_ - half, v0 = ib_ * cx + id_ * cy + ity_ - half;
  // One by one, where a sample or a neighbour it mixes lies off the image (clamped or wrapped).
  const auto at_edge = [&](int from, int to) {
    double u = u0 + ia_ * from, v = v0 + ib_ * from;
    for (int i = from; i < to; ++i, u += ia_, v += ib_) {
      const double fu = std::floor(u), fv = std::floor(v);
      const int x0 = WrapCoord(fu, w, repeat_), y0 = WrapCoord(fv, h, repeat_);
      if (!smooth_) {
        out[i] = SourceRow(y0)[x0];
        continue;
      }
      const int x1 = WrapCoord(fu + 1, w, repeat_), y1 = WrapCoord(fv + 1, h, repeat_);
      const uint32_t wx = Weight(u - fu), wy = Weight(v - fv);
      const uint32_t top = Lerp(SourceRow(y0)[x0], SourceRow(y0)[x1], wx);
      const uint32_t bottom = Lerp(SourceRow(y1)[x0], SourceRow(y1)[x1], wx);
      out[i] = Lerp(top, bottom, wy);
    }
  };
  // Inside the image, positions in 16.16 fixed point: a turned photo costs integer steps.
  const double last_u = u0 + ia_ * (n - 1), last_v = v0 + ib_ * (n - 1);
  const double lo = std::min({u0, v0, last_u, last_v}), hi = std::max({u0, v0, last_u, last_v});
  if (lo <= -32768 || hi >= 32767 || !FixedSteps(ia_, ib_)) {
    at_edge(0, n);
    return;
  }
  const auto u = static_cast<int32_t>(u0 * 65536), du = static_cast<int32_t>(ia_ * 65536);
  const auto v = static_cast<int32_t>(v0 * 65536), dv = static_cast<int32_t>(ib_ * 65536);
  const int pair = smooth_ ? 1 : 0;
  const auto [u_begin, u_end] = InsideRun(u, du, int64_t{w - pair} << 16, n);
  const auto [v_begin, v_end] = InsideRun(v, dv, int64_t{h - pair} << 16, n);
  const int begin = std::max(u_begin, v_begin), end = std::max(begin, std::min(u_end, v_end));
  at_edge(0, begin);
  if (smooth_) {
    BilinearInside(bitmap_->pixels.data(), w, FixedAt(u, du, begin), du, FixedAt(v, dv, begin), dv,
                   end - begin, out + begin, isa_);
  } else {
    for (int i = begin; i < end; ++i) {
      const int32_t at_u = FixedAt(u, du, i), at_v = FixedAt(v, dv, i);
      out[i] = SourceRow(at_v >> 16)[at_u >> 16];
    }
  }
  at_edge(end, n);
}

}  // namespace lumen::raster
