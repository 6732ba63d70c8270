// Design: one reader per filter record, each filling a FilterSettings that starts from the script
// defaults of its kind. Fixed-point fields are widened to doubles as stored, so scripts read back
// the file's own rounding (16.16 sizes and angles, 8.8 strengths, 32-bit float matrices).

#include "stage/FilterList.h"

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

size_t AddRenderFilters(const std::vector<avm1::FilterSettings>& filters,
                        std::vector<render::Filter>& out) {
  size_t added = 0;
  for (const avm1::FilterSettings& f : filters) {
    render::Filter r;
    r.blur_x = static_cast<float>(f.blur_x);
    r.blur_y = static_cast<float>(f.blur_y);
    r.passes = f.quality;
    switch (f.kind) {
      case Kind::Blur:
        r.kind = render::Filter::Kind::Blur;
        break;
      case Kind::DropShadow:
      case Kind::Glow:
        r.kind =
            f.kind == Kind::Glow ? render::Filter::Kind::Glow : render::Filter::Kind::DropShadow;
        if (f.kind == Kind::DropShadow) {
          r.dx = static_cast<float>(f.distance * std::cos(f.angle));
          r.dy = static_cast<float>(f.distance * std::sin(f.angle));
        }
        r.color = Colour(f.color, f.alpha);
        r.strength = static_cast<float>(f.strength);
        r.inner = f.inner;
        r.knockout = f.knockout;
        r.hide_object = f.hide_object;
        break;
      case Kind::ColorMatrix:
        if (f.matrix.size() != r.matrix.size()) continue;
        r.kind = render::Filter::Kind::ColorMatrix;
        for (size_t i = 0; i < r.matrix.size(); ++i) r.matrix[i] = static_cast<float>(f.matrix[i]);
        break;
      default:
        continue;
    }
    out.push_back(r);
    ++added;
  }
  return added;
}

}  // namespace lumen::stage
