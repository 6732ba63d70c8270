// Design: one reader per filter record, each filling a FilterSettings that starts from the script
// defaults of its kind. Fixed-point fields are widened to doubles as stored, so scripts read back
// the file's own rounding (16.16 sizes and angles, 8.8 strengths, 32-bit float matrices).

#include "stage/FilterList.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "movie/ByteReader.h"

namespace lumen::stage {
namespace {

using avm1::FilterSettings;
using Kind = FilterSettings::Kind;

double Fixed(movie::ByteReader& in) {
  return static_cast<int32_t>(in.U32()) / 65536.0;
}
double Fixed8(movie::ByteReader& in) {
  return static_cast<int16_t>(in.U16()) / 256.0;
}
double Float(movie::ByteReader& in) {
  return std::bit_cast<float>(in.U32());
}

void ReadColor(movie::ByteReader& in, uint32_t& rgb, uint8_t& alpha) {
  const render::Rgba c = movie::ReadRgba(in);
  rgb = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
  alpha = c.a;
}

// Blur sizes, then for the shadow family angle and distance, then strength and the flag byte.
void ReadShadowTail(movie::ByteReader& in, FilterSettings& f, bool angled, bool on_top_bit) {
  f.blur_x = Fixed(in);
  f.blur_y = Fixed(in);
  if (angled) {
    f.angle = Fixed(in);
    f.distance = Fixed(in);
  }
  f.strength = Fixed8(in);
  const uint8_t flags = in.U8();
  f.inner = flags & 0x80;
  f.knockout = flags & 0x40;
  f.hide_object = !(flags & 0x20);
  const bool on_top = on_top_bit && (flags & 0x10);
  f.quality = flags & (on_top_bit ? 0x0F : 0x1F);
  f.placement = f.inner  ? FilterSettings::Placement::Inner
                : on_top ? FilterSettings::Placement::Full
                         : FilterSettings::Placement::Outer;
}

void ReadGradient(movie::ByteReader& in, FilterSettings& f) {
  f.stops = in.U8();
  f.colors.resize(f.stops);
  f.alphas.resize(f.stops);
  f.ratios.resize(f.stops);
  for (size_t i = 0; i < f.stops; ++i) ReadColor(in, f.colors[i], f.alphas[i]);
  for (size_t i = 0; i < f.stops; ++i) f.ratios[i] = in.U8();
  ReadShadowTail(in, f, true, true);
}

void ReadConvolution(movie::ByteReader& in, FilterSettings& f) {
  f.matrix_x = in.U8();
  f.matrix_y = in.U8();
  f.divisor = Float(in);
  f.bias = Float(in);
  f.matrix.resize(static_cast<size_t>(f.matrix_x) * static_cast<size_t>(f.matrix_y));
  for (double& v : f.matrix) v = Float(in);
  ReadColor(in, f.color, f.alpha);
  const uint8_t flags = in.U8();
  f.clamp = flags & 0x02;
  f.preserve_alpha = flags & 0x01;
}

FilterSettings ReadFilter(movie::ByteReader& in) {
  const uint8_t id = in.U8();
  if (id > static_cast<uint8_t>(Kind::GradientBevel)) in.Fail("unknown filter");
  FilterSettings f = FilterSettings::Defaults(static_cast<Kind>(id));
  switch (f.kind) {
    case Kind::DropShadow:
      ReadColor(in, f.color, f.alpha);
      ReadShadowTail(in, f, true, false);
      break;
    case Kind::Blur: {
      f.blur_x = Fixed(in);
      f.blur_y = Fixed(in);
      f.quality = in.U8() >> 3;
      break;
    }
    case Kind::Glow:
      ReadColor(in, f.color, f.alpha);
      ReadShadowTail(in, f, false, false);
      break;
    case Kind::Bevel:
      // Highlight first, whatever the format's documents say.
      ReadColor(in, f.color, f.alpha);
      ReadColor(in, f.shadow_color, f.shadow_alpha);
      ReadShadowTail(in, f, true, true);
      break;
    case Kind::GradientGlow:
    case Kind::GradientBevel:
      ReadGradient(in, f);
      break;
    case Kind::Convolution:
      ReadConvolution(in, f);
      break;
    case Kind::ColorMatrix:
      for (double& v : f.matrix) v = Float(in);
      break;
    case Kind::DisplacementMap:
      break;
  }
  return f;
}

}  // namespace

std::vector<FilterSettings> ReadFilterList(std::span<const uint8_t> bytes) {
  std::vector<FilterSettings> filters;
  try {
    movie::ByteReader in(bytes);
    const int count = in.U8();
    for (int i = 0; i < count; ++i) filters.push_back(ReadFilter(in));
  } catch (const movie::ParseError&) {
    // Keep what was read.
  }
  return filters;
}

namespace {

render::Rgba Colour(uint32_t rgb, uint8_t alpha) {
  return {static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
          static_cast<uint8_t>(rgb), alpha};
}

}  // namespace

namespace {

void SetShadow(const avm1::FilterSettings& f, bool angled, render::Filter& r) {
  if (angled) {
    r.dx = static_cast<float>(f.distance * std::cos(f.angle));
    r.dy = static_cast<float>(f.distance * std::sin(f.angle));
  }
  r.color = Colour(f.color, f.alpha);
  r.strength = static_cast<float>(f.strength);
  r.inner = f.inner;
  r.knockout = f.knockout;
  r.hide_object = f.hide_object;
}

// Bevels and gradient filters place themselves by `placement` rather than `inner`.
void SetPlacement(const avm1::FilterSettings& f, render::Filter& r) {
  r.inner = f.placement == FilterSettings::Placement::Inner;
  r.on_top = f.placement == FilterSettings::Placement::Full;
}

void SetStops(const avm1::FilterSettings& f, render::Filter& r) {
  const size_t n = std::min(
      {f.stops, f.colors.size(), f.alphas.size(), f.ratios.size(), render::Filter::kMaxStops});
  for (size_t i = 0; i < n; ++i) r.stops[i] = {f.ratios[i], Colour(f.colors[i], f.alphas[i])};
  r.stop_count = n;
}

bool SetConvolution(const avm1::FilterSettings& f, render::Filter& r) {
  if (f.matrix_x <= 0 || f.matrix_y <= 0 || f.matrix_x > render::Filter::kMaxKernel ||
      f.matrix_y > render::Filter::kMaxKernel ||
      f.matrix.size() < static_cast<size_t>(f.matrix_x) * static_cast<size_t>(f.matrix_y)) {
    return false;
  }
  r.columns = f.matrix_x;
  r.rows = f.matrix_y;
  for (size_t i = 0; i < static_cast<size_t>(r.columns * r.rows); ++i) {
    r.matrix[i] = static_cast<float>(f.matrix[i]);
  }
  r.divisor = static_cast<float>(f.divisor);
  r.bias = static_cast<float>(f.bias);
  r.clamp = f.clamp;
  r.preserve_alpha = f.preserve_alpha;
  r.color = Colour(f.color, f.alpha);
  return true;
}

// The renderer's form of `f`; false for what it does not draw.
bool ToRender(const avm1::FilterSettings& f, render::Filter& r) {
  using RKind = render::Filter::Kind;
  r.blur_x = static_cast<float>(f.blur_x);
  r.blur_y = static_cast<float>(f.blur_y);
  r.passes = f.quality;
  switch (f.kind) {
    case Kind::Blur:
      r.kind = RKind::Blur;
      return true;
    case Kind::DropShadow:
      r.kind = RKind::DropShadow;
      SetShadow(f, true, r);
      return true;
    case Kind::Glow:
      r.kind = RKind::Glow;
      SetShadow(f, false, r);
      return true;
    case Kind::Bevel:
      r.kind = RKind::Bevel;
      SetShadow(f, true, r);
      SetPlacement(f, r);
      r.shadow = Colour(f.shadow_color, f.shadow_alpha);
      return true;
    case Kind::GradientGlow:
    case Kind::GradientBevel:
      r.kind = f.kind == Kind::GradientGlow ? RKind::GradientGlow : RKind::GradientBevel;
      SetShadow(f, true, r);
      SetPlacement(f, r);
      SetStops(f, r);
      return true;
    case Kind::ColorMatrix:
      if (f.matrix.size() != 20) return false;
      r.kind = RKind::ColorMatrix;
      for (size_t i = 0; i < 20; ++i) r.matrix[i] = static_cast<float>(f.matrix[i]);
      return true;
    case Kind::Convolution:
      r.kind = RKind::Convolution;
      return SetConvolution(f, r);
    case Kind::DisplacementMap:
      return false;
  }
  return false;
}

}  // namespace

size_t AddRenderFilters(const std::vector<avm1::FilterSettings>& filters,
                        std::vector<render::Filter>& out) {
  size_t added = 0;
  for (const avm1::FilterSettings& f : filters) {
    render::Filter r;
    if (!ToRender(f, r)) continue;
    out.push_back(r);
    ++added;
  }
  return added;
}

}  // namespace lumen::stage
