// Design: a blur is separable boxes as wide as the blur asks, fractions included (a partial
// weight on the two end pixels), each pass a prefix sum along the rows and then along the columns,
// on a copy of the area grown by everything the passes reach. A shadow or glow is the object's
// alpha (inside: its complement) blurred the same way, shifted, strengthened and tinted, then put
// under the object (outside), over it within its shape (inside), or alone (knockout, hidden
// object). The work is bounded by that area, never by the target.

#include "raster/Filters.h"

#include <algorithm>
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

// One box pass over `n` values: each becomes the weighted mean of those the box covers, those
// past the ends counting as transparent. `channels` of 8 bits each are summed apart.
template <typename At>
void BoxLine(int n, Box box, int channels, const At& at, FilterScratch& s) {
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
      out |= ((whole * 256 + edges * box.edge + box.width / 2) / box.width) << (c * 8);
    }
    at(i) = out;
  }
}

void Blur(Image image, Box bx, Box by, int passes, int channels, FilterScratch& s) {
  for (int pass = 0; pass < passes; ++pass) {
    if (bx.width > 256) {
      for (int y = 0; y < image.h; ++y) {
        BoxLine(
            image.w, bx, channels, [&](int i) -> uint32_t& { return image.At(i, y); }, s);
      }
    }
    if (by.width > 256) {
      for (int x = 0; x < image.w; ++x) {
        BoxLine(
            image.h, by, channels, [&](int i) -> uint32_t& { return image.At(x, i); }, s);
      }
    }
  }
}

// What `passes` boxes spread `area` to, shifted by (ox, oy), within the layer.
IntRect Spread(const IntRect& area, Box bx, Box by, int passes, int ox, int oy,
               const Pixmap& layer) {
  return IntRect{area.x0 - bx.Spread() * passes + std::min(ox, 0),
                 area.y0 - by.Spread() * passes + std::min(oy, 0),
                 area.x1 + bx.Spread() * passes + std::max(ox, 0),
                 area.y1 + by.Spread() * passes + std::max(oy, 0)}
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

IntRect Shadow(const render::Filter& f, float scale, Pixmap& layer, const IntRect& area,
               FilterScratch& s) {
  const Box bx = BoxFor(f.blur_x, scale), by = BoxFor(f.blur_y, scale);
  const int passes = std::clamp(f.passes, 0, kMaxPasses);
  const int ox = Offset(f.dx, scale), oy = Offset(f.dy, scale);
  const IntRect grown = Spread(area, bx, by, passes, ox, oy, layer);
  if (grown.Empty()) return area;
  const int w = grown.x1 - grown.x0, h = grown.y1 - grown.y0;
  // The alpha to blur, before the shift: the object's, or inside its complement.
  s.image.resize(static_cast<size_t>(w) * h);
  Image alpha{s.image, w, h};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int sx = x - ox, sy = y - oy;  // the shadow here comes from there
      uint32_t a = 0;
      if (sx >= 0 && sy >= 0 && sx < w && sy < h) a = layer.Row(grown.y0 + sy)[grown.x0 + sx] >> 24;
      alpha.At(x, y) = f.inner ? 255 - a : a;
    }
  }
  Blur(alpha, bx, by, passes, 1, s);
  const uint32_t colour = Premultiply(f.color);
  const float strength = std::isfinite(f.strength) ? std::clamp(f.strength, 0.0f, 255.0f) : 1;
  for (int y = 0; y < h; ++y) {
    uint32_t* row = layer.Row(grown.y0 + y) + grown.x0;
    for (int x = 0; x < w; ++x) {
      const uint32_t object = row[x], a = object >> 24;
      auto k =
          static_cast<uint32_t>(std::min(255.0f, static_cast<float>(alpha.At(x, y)) * strength));
      if (f.inner) k = Div255(k * a);
      const uint32_t shadow = Scale(colour, k);
      if (f.inner) {
        row[x] = f.knockout || f.hide_object ? shadow : Over(shadow, object);
      } else if (f.hide_object) {
        row[x] = shadow;
      } else {
        row[x] = f.knockout ? Scale(shadow, 255 - a) : Over(object, shadow);
      }
    }
  }
  return f.inner ? area : grown;
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
  Blur(image, bx, by, passes, 4, s);
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

}  // namespace

IntRect ApplyFilter(const render::Filter& filter, float scale, Pixmap& layer, const IntRect& area,
                    FilterScratch& scratch) {
  if (area.Empty()) return area;
  switch (filter.kind) {
    case render::Filter::Kind::Blur:
      return BlurLayer(filter, scale, layer, area, scratch);
    case render::Filter::Kind::DropShadow:
    case render::Filter::Kind::Glow:
      return Shadow(filter, scale, layer, area, scratch);
    case render::Filter::Kind::ColorMatrix:
      ColourMatrix(filter, layer, area);
      return area;
  }
  return area;
}

}  // namespace lumen::raster
