#pragma once

// The fetch stage: what colour a fill has at each device pixel. A Paint is set up once per
// drawn part (solid colour, gradient or bitmap, with the colour transform folded in where it
// can be) and then fetches premultiplied pixels a span at a time.

#include <array>
#include <cstdint>
#include <vector>

#include "raster/Blend.h"
#include "raster/FetchCache.h"
#include "render/Geometry.h"

namespace lumen::raster {

// Whether bitmaps are filtered: never (low and medium quality), as each fill says (high) or
// always (best).
enum class Smoothing : uint8_t { Never, AsFill, Always };

class Paint {
 public:
  // Each returns false when the paint would draw nothing (transparent, not invertible, not
  // finite). `to_device` maps the fill's own space (gradient square or bitmap pixels) to device
  // pixels.
  bool SetSolid(render::Rgba color, const render::ColorTransform& cx);
  bool SetFill(const render::FillStyle& fill, const render::Matrix& to_device,
               const render::ColorTransform& cx, Smoothing smoothing = Smoothing::AsFill);

  void SetIsa(Isa isa) { isa_ = isa; }
  // Starts a frame: bitmap fills drawn the same way as in the frame before are fetched from what
  // was kept of them.
  void BeginFrame() { fetched_.BeginFrame(); }
  bool IsSolid() const { return kind_ == Kind::Solid; }
  uint32_t SolidColor() const { return solid_; }
  // Every fetched pixel is opaque and no extra alpha applies.
  bool Opaque() const { return opaque_ && alpha_ == 255; }
  // Every fetched pixel is opaque (before the extra alpha).
  bool PixelsOpaque() const { return opaque_; }
  // Extra alpha (0..255) to apply to fetched pixels when blending.
  uint8_t Alpha() const { return alpha_; }

  // Pixels x .. x+n-1 of row y. Returns `buf` (n pixels) or a pointer into the bitmap.
  const uint32_t* Fetch(int x, int y, int n, uint32_t* buf);

 private:
  enum class Kind : uint8_t { Solid, Linear, Radial, Focal, Bitmap };

  bool SetGradient(const render::FillStyle& fill, const render::Matrix& to_device,
                   const render::ColorTransform& cx);
  bool SetBitmap(const render::FillStyle& fill, const render::Matrix& to_device,
                 const render::ColorTransform& cx, Smoothing smoothing);
  const render::Bitmap* PickLevel(const render::Bitmap& bm);
  void FetchGradient(int x, int y, int n, uint32_t* out) const;
  uint32_t RampAt(double t) const;
  const uint32_t* FetchBitmap(int x, int y, int n, uint32_t* buf);
  const uint32_t* FetchAxisAligned(int x, int y, int n, uint32_t* buf);
  void FetchGeneral(int x, int y, int n, uint32_t* out) const;
  const uint32_t* SourceRow(int row) const;

  Kind kind_ = Kind::Solid;
  Isa isa_ = BestIsa();
  uint32_t solid_ = 0;
  bool opaque_ = false;
  uint8_t alpha_ = 255;
  // Device pixel to fill space, in double so that large offsets keep their precision.
  double ia_ = 1, ib_ = 0, ic_ = 0, id_ = 1, itx_ = 0, ity_ = 0;
  // Gradients.
  std::array<uint32_t, 256> lut_{};
  render::SpreadMode spread_ = render::SpreadMode::Pad;
  double focal_ = 0;
  // Bitmaps.
  const render::Bitmap* bitmap_ = nullptr;
  bool repeat_ = false;
  bool smooth_ = false;
  bool transform_pixels_ = false;  // the colour transform is applied per pixel
  render::ColorTransform cx_;
  std::vector<uint32_t> blend_row_;  // two source rows mixed vertically
  FetchCache fetched_;
};

}  // namespace lumen::raster
