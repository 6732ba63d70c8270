#pragma once

// The shape a clip draws with the drawing API (moveTo, lineTo, curveTo, fills and line styles),
// kept as ready-to-paint parts under the clip's children. Coordinates arrive in pixels and are
// kept in twips, like every other shape.

#include <atomic>
#include <cstdint>
#include <memory>

#include "avm1/StageBridge.h"
#include "render/Geometry.h"

namespace lumen::stage {

class Drawing {
 public:
  void Clear();
  void LineStyle(const avm1::LineSpec& line);
  void NoLineStyle();
  void BeginFill(uint32_t rgb, double alpha);
  void BeginGradientFill(const avm1::GradientSpec& gradient);
  // `matrix` takes bitmap pixels to the clip's pixels.
  void BeginBitmapFill(std::shared_ptr<const render::Bitmap> bitmap, const render::Matrix& matrix,
                       bool repeat, bool smooth);
  void EndFill();
  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void CurveTo(double cx, double cy, double x, double y);

  // Null when nothing was drawn. Changes identity whenever the drawing changes.
  const render::ShapeGeometry* Geometry() const;
  // Counts changes of every drawing: geometry handed out earlier may have been freed since.
  static uint64_t Revision() { return revision_.load(std::memory_order_relaxed); }
  bool Empty() const { return parts_.empty() && fill_.path.Empty() && stroke_.path.Empty(); }

 private:
  void FlushStroke();
  void CloseFill();
  void StartFill(const render::FillStyle& style);
  void Changed() {
    cached_.reset();
    revision_.fetch_add(1, std::memory_order_relaxed);
  }

  static constexpr size_t kMaxPoints = 1 << 20;  // per clip, against scripts drawing forever
  std::vector<render::ShapePart> parts_;
  render::ShapePart fill_;    // the open fill, closed by EndFill
  render::ShapePart stroke_;  // the current stroke run
  bool filling_ = false;
  bool stroking_ = false;
  render::Point pen_;
  render::Point fill_start_;
  size_t points_ = 0;
  mutable std::shared_ptr<render::ShapeGeometry> cached_;
  static std::atomic<uint64_t> revision_;
};

}  // namespace lumen::stage
