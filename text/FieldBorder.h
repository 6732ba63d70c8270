#pragma once

// A field's border as the stage shows it: a one-pixel line along the field's box as it lands on
// the stage, half a stage pixel right of and below its edges whatever the field's scale or turn,
// so a stretched or mirrored field still gets one crisp line on the pixels its edges start.

#include "render/Geometry.h"

namespace lumen::text {

class FieldBorder {
 public:
  // The border of `box` (the field's own twips) placed by `m`, in stage twips, for a field of
  // device or embedded fonts; rebuilt only when something changed since the last call.
  const render::ShapeGeometry& On(const render::Rect& box, render::Rgba color,
                                  const render::Matrix& m, bool device);

 private:
  void Build(const render::Rect& box, render::Rgba color, const render::Matrix& m, bool device);

  render::ShapeGeometry geometry_;
  render::Rect box_;
  render::Rgba color_;
  render::Matrix matrix_;
  bool device_ = false;
  bool built_ = false;
};

}  // namespace lumen::text
