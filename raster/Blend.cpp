// Design: every path computes s = Div255(src * f) with f = Div255(cov * alpha), then
// d = min(255, s + Div255(d * (255 - s.alpha))) per channel; the SSE2 code does the same sums in
// 16-bit lanes, four pixels at a time, so the two paths agree bit for bit. Opaque sources at one
// alpha (a cross-fade) take a cheaper mix that is within one step of that.

#include "raster/Blend.h"

#include <algorithm>

#include "raster/Color.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumen::raster {

using render::BlendMode;

Isa BestIsa() {
#if defined(__SSE2__)
  return Isa::Sse2;
#else
  return Isa::Scalar;
#endif
}

namespace {

uint32_t ScalePixel(uint32_t p, uint32_t f) {
  if (f == 255) return p;
  return Pack(Div255((p >> 24) * f), Div255(((p >> 16) & 0xFF) * f), Div255(((p >> 8) & 0xFF) * f),
              Div255((p & 0xFF) * f));
}

uint32_t Over(uint32_t s, uint32_t d) {
  const uint32_t inv = 255 - (s >> 24);
  if (inv == 0) return s;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t c = ((s >> shift) & 0xFF) + Div255(((d >> shift) & 0xFF) * inv);
    out |= std::min<uint32_t>(255, c) << shift;
  }
  return out;
}

// (s * w + d * (256 - w) + 128) >> 8 per channel, w in 0..256.
uint32_t MixOpaque(uint32_t s, uint32_t d, uint32_t w) {
  const uint32_t iw = 256 - w, half = 0x800080;
  const uint32_t rb = (((s & 0xFF00FF) * w + (d & 0xFF00FF) * iw + half) >> 8) & 0xFF00FF;
  const uint32_t ag =
      ((((s >> 8) & 0xFF00FF) * w + ((d >> 8) & 0xFF00FF) * iw + half) >> 8) & 0xFF00FF;
  return rb | ag << 8;
}

uint32_t Factor(const uint8_t* cov, uint8_t alpha, int i) {
  return cov ? Div255(uint32_t{cov[i]} * alpha) : alpha;
}

void SrcOverScalar(uint32_t* dst, const uint32_t* src, uint32_t solid, const uint8_t* cov,
                   uint8_t alpha, int n) {
  for (int i = 0; i < n; ++i) {
    const uint32_t f = Factor(cov, alpha, i);
    if (f == 0) continue;
    dst[i] = Over(ScalePixel(src ? src[i] : solid, f), dst[i]);
  }
}

#if defined(__SSE2__)

inline __m128i Div255x8(__m128i x) {
  const __m128i t = _mm_add_epi16(x, _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Two pixels in 16-bit lanes: scale by per-pixel factors, then over the destination.
inline __m128i OverHalf(__m128i s, __m128i d, __m128i f) {
  s = Div255x8(_mm_mullo_epi16(s, f));
  __m128i a = _mm_shufflelo_epi16(s, _MM_SHUFFLE(3, 3, 3, 3));
  a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
  const __m128i inv = _mm_sub_epi16(_mm_set1_epi16(255), a);
  return _mm_add_epi16(s, Div255x8(_mm_mullo_epi16(d, inv)));
}

void SrcOverSse2(uint32_t* dst, const uint32_t* src, uint32_t solid, const uint8_t* cov,
                 uint8_t alpha, int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i solid4 = _mm_set1_epi32(static_cast<int>(solid));
  const __m128i alpha8 = _mm_set1_epi16(alpha);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m128i f;  // 16-bit factors f0..f3 in lanes 0..3
    if (cov) {
      int32_t c4;
      std::copy_n(cov + i, 4, reinterpret_cast<uint8_t*>(&c4));
      const __m128i c = _mm_unpacklo_epi8(_mm_cvtsi32_si128(c4), zero);
      f = Div255x8(_mm_mullo_epi16(c, alpha8));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(f, zero)) == 0xFFFF) continue;
    } else {
      f = alpha8;
    }
    const __m128i s = src ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)) : solid4;
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i ff = _mm_unpacklo_epi16(f, f);  // f0 f0 f1 f1 f2 f2 f3 f3
    const __m128i lo = OverHalf(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero),
                                _mm_unpacklo_epi32(ff, ff));
    const __m128i hi = OverHalf(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero),
                                _mm_unpackhi_epi32(ff, ff));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  SrcOverScalar(dst + i, src ? src + i : nullptr, solid, cov ? cov + i : nullptr, alpha, n - i);
}

// Opaque sources at a constant alpha are a plain mix of source and destination. With the
// weight in 0..256 it needs one product per value and a shift instead of two divisions by 255.
void LerpOpaqueSse2(uint32_t* dst, const uint32_t* src, uint32_t weight, int n) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(static_cast<int16_t>(weight));
  const __m128i iw = _mm_set1_epi16(static_cast<int16_t>(256 - weight));
  const __m128i half = _mm_set1_epi16(128);
  auto mix = [&](__m128i s, __m128i d) {
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(s, w), _mm_mullo_epi16(d, iw));
    return _mm_srli_epi16(_mm_add_epi16(sum, half), 8);
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
    const __m128i lo = mix(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(d, zero));
    const __m128i hi = mix(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(d, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
  }
  for (; i < n; ++i) dst[i] = MixOpaque(src[i], dst[i], weight);
}

#endif

void Dispatch(uint32_t* dst, const uint32_t* src, uint32_t solid, const uint8_t* cov, uint8_t alpha,
              int n, Isa isa) {
  if (n <= 0 || alpha == 0) return;
#if defined(__SSE2__)
  if (isa == Isa::Sse2) {
    SrcOverSse2(dst, src, solid, cov, alpha, n);
    return;
  }
#endif
  (void)isa;
  SrcOverScalar(dst, src, solid, cov, alpha, n);
}

struct Channels {
  int a, r, g, b;
};

Channels Split(uint32_t p) {
  return {static_cast<int>(p >> 24), static_cast<int>((p >> 16) & 0xFF),
          static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)};
}

int D255(int x) {
  return static_cast<int>(Div255(static_cast<uint32_t>(std::clamp(x, 0, 65025))));
}

// One colour channel of a separable mode on premultiplied values.
int Separable(BlendMode mode, int s, int d, int sa, int da) {
  switch (mode) {
    case BlendMode::Multiply:
      return D255(s * d) + D255(s * (255 - da)) + D255(d * (255 - sa));
    case BlendMode::Screen:
      return s + d - D255(s * d);
    case BlendMode::Lighten:
      return s + d - std::min(D255(s * da), D255(d * sa));
    case BlendMode::Darken:
      return s + d - std::max(D255(s * da), D255(d * sa));
    case BlendMode::Difference:
      return s + d - 2 * std::min(D255(s * da), D255(d * sa));
    case BlendMode::Overlay:
    case BlendMode::HardLight: {
      const bool low = mode == BlendMode::Overlay ? 2 * d <= da : 2 * s <= sa;
      const int mixed = low ? 2 * D255(s * d) : D255(sa * da) - 2 * D255((da - d) * (sa - s));
      return mixed + D255(s * (255 - da)) + D255(d * (255 - sa));
    }
    default:
      return s + D255(d * (255 - sa));
  }
}

uint32_t BlendPixel(BlendMode mode, uint32_t sp, uint32_t dp) {
  const Channels s = Split(sp), d = Split(dp);
  int a = s.a + d.a - D255(s.a * d.a);
  int r, g, b;
  switch (mode) {
    case BlendMode::Add:
      a = std::min(255, s.a + d.a);
      r = s.r + d.r, g = s.g + d.g, b = s.b + d.b;
      break;
    case BlendMode::Subtract:
      r = d.r - s.r, g = d.g - s.g, b = d.b - s.b;
      break;
    case BlendMode::Invert:
      a = d.a;
      r = D255(d.r * (255 - s.a)) + D255(s.a * (d.a - d.r));
      g = D255(d.g * (255 - s.a)) + D255(s.a * (d.a - d.g));
      b = D255(d.b * (255 - s.a)) + D255(s.a * (d.a - d.b));
      break;
    case BlendMode::Alpha:
      return ScalePixel(dp, static_cast<uint32_t>(s.a));
    case BlendMode::Erase:
      return ScalePixel(dp, static_cast<uint32_t>(255 - s.a));
    default:
      r = Separable(mode, s.r, d.r, s.a, d.a);
      g = Separable(mode, s.g, d.g, s.a, d.a);
      b = Separable(mode, s.b, d.b, s.a, d.a);
      break;
  }
  a = std::clamp(a, 0, 255);
  auto channel = [a](int c) { return static_cast<uint32_t>(std::clamp(c, 0, a)); };
  return Pack(static_cast<uint32_t>(a), channel(r), channel(g), channel(b));
}

}  // namespace

void SrcOver(uint32_t* dst, const uint32_t* src, const uint8_t* cov, uint8_t alpha, int n,
             Isa isa) {
  Dispatch(dst, src, 0, cov, alpha, n, isa);
}

void SrcOverOpaque(uint32_t* dst, const uint32_t* src, uint8_t alpha, int n, Isa isa) {
  const uint32_t weight = alpha + (alpha >> 7u);  // 0..256, 255 -> 256
#if defined(__SSE2__)
  if (isa == Isa::Sse2) {
    LerpOpaqueSse2(dst, src, weight, n);
    return;
  }
#endif
  (void)isa;
  for (int i = 0; i < n; ++i) dst[i] = MixOpaque(src[i], dst[i], weight);
}

void SrcOverSolid(uint32_t* dst, uint32_t color, const uint8_t* cov, uint8_t alpha, int n,
                  Isa isa) {
  Dispatch(dst, nullptr, color, cov, alpha, n, isa);
}

void Composite(BlendMode mode, uint32_t* dst, const uint32_t* src, const uint8_t* cov, int n,
               Isa isa) {
  if (mode == BlendMode::Normal || mode == BlendMode::Layer) {
    SrcOver(dst, src, cov, 255, n, isa);
    return;
  }
  for (int i = 0; i < n; ++i) {
    const uint32_t f = cov ? cov[i] : 255;
    if (f == 0) continue;
    const uint32_t s = ScalePixel(src[i], f);
    // A transparent source leaves every mode's result at the destination; for Alpha too, so an
    // alpha layer changes only the pixels it draws with some opacity.
    if (s >> 24 == 0 && mode != BlendMode::Add && mode != BlendMode::Subtract) continue;
    dst[i] = BlendPixel(mode, s, dst[i]);
  }
}

}  // namespace lumen::raster
