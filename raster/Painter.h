#pragma once

// The sinks at the end of the rasterizer: PaintSink fetches, masks and blends coverage runs onto
// a pixmap; MaskSink adds them to a mask.

#include <vector>

#include "raster/Blend.h"
#include "raster/Coverage.h"
#include "raster/Mask.h"
#include "raster/Paint.h"
#include "raster/Pixmap.h"

namespace lumen::raster {

class PaintSink : public SpanSink {
 public:
  // `mask` (nullable) clips what is painted. The pixmap, paint and mask must outlive the use.
  void Begin(Pixmap& target, Paint& paint, const Mask* mask, Isa isa);
  void Span(int y, int x, int n, const uint8_t* cov) override;
  void Solid(int y, int x, int n, uint8_t cov) override;
  // The pixels touched since Begin.
  const IntRect& Dirty() const { return dirty_; }

 private:
  Pixmap* target_ = nullptr;
  Paint* paint_ = nullptr;
  const Mask* mask_ = nullptr;
  Isa isa_ = Isa::Scalar;
  IntRect dirty_;
  std::vector<uint32_t> pixels_;
  std::vector<uint8_t> cov_;        // coverage times mask
  std::vector<uint8_t> solid_cov_;  // a Solid run spelled out for masking
};

class MaskSink : public SpanSink {
 public:
  void Begin(Mask& mask) { mask_ = &mask; }
  void Span(int y, int x, int n, const uint8_t* cov) override { mask_->Add(y, x, n, cov); }
  void Solid(int y, int x, int n, uint8_t cov) override { mask_->AddSolid(y, x, n, cov); }

 private:
  Mask* mask_ = nullptr;
};

}  // namespace lumen::raster
