#include "raster/Painter.h"

#include <algorithm>
#include <cstring>

#include "raster/Color.h"

namespace lumen::raster {

void PaintSink::Begin(Pixmap& target, Paint& paint, const Mask* mask, Isa isa) {
  target_ = &target;
  paint_ = &paint;
  mask_ = mask;
  isa_ = isa;
  dirty_ = {};
  const auto width = static_cast<size_t>(std::max(0, target.Width()));
  if (pixels_.size() < width) {
    pixels_.resize(width);
    cov_.resize(width);
    solid_cov_.resize(width);
  }
  paint.SetIsa(isa);
}

void PaintSink::Span(int y, int x, int n, const uint8_t* cov) {
  if (mask_) {
    const IntRect& b = mask_->Bounds();
    if (y < b.y0 || y >= b.y1) return;
    const int x0 = std::max(x, b.x0), x1 = std::min(x + n, b.x1);
    if (x1 <= x0) return;
    const uint8_t* m = mask_->Row(y);
    for (int i = x0; i < x1; ++i) cov_[i - x0] = static_cast<uint8_t>(Div255(cov[i - x] * m[i]));
    x = x0;
    n = x1 - x0;
    cov = cov_.data();
  }
  uint32_t* dst = target_->Row(y) + x;
  if (paint_->IsSolid()) {
    SrcOverSolid(dst, paint_->SolidColor(), cov, 255, n, isa_);
  } else {
    SrcOver(dst, paint_->Fetch(x, y, n, pixels_.data()), cov, paint_->Alpha(), n, isa_);
  }
  dirty_.Include(x, y, n);
}

void PaintSink::Solid(int y, int x, int n, uint8_t cov) {
  if (mask_) {
    std::fill_n(solid_cov_.data(), n, cov);
    Span(y, x, n, solid_cov_.data());
    return;
  }
  uint32_t* dst = target_->Row(y) + x;
  dirty_.Include(x, y, n);
  if (cov == 255 && paint_->Opaque()) {
    if (paint_->IsSolid()) {
      std::fill_n(dst, n, paint_->SolidColor());
    } else if (const uint32_t* src = paint_->Fetch(x, y, n, dst); src != dst) {
      std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(uint32_t));
    }
    return;
  }
  const auto alpha = static_cast<uint8_t>(Div255(uint32_t{cov} * paint_->Alpha()));
  if (paint_->IsSolid()) {
    SrcOverSolid(dst, paint_->SolidColor(), nullptr, alpha, n, isa_);
  } else if (paint_->PixelsOpaque()) {
    SrcOverOpaque(dst, paint_->Fetch(x, y, n, pixels_.data()), alpha, n, isa_);
  } else {
    SrcOver(dst, paint_->Fetch(x, y, n, pixels_.data()), nullptr, alpha, n, isa_);
  }
}

}  // namespace lumen::raster
