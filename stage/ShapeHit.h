#pragma once

// Whether a point lies on what a shape paints: inside a fill by the fill's rule, or within half
// a stroke's width of its line. The pointer and hitTest(x, y, true) ask this.

#include "render/Geometry.h"

namespace lumen::stage {

// `p` in the shape's own twips.
bool ShapeContains(const render::ShapeGeometry& shape, render::Point p);

}  // namespace lumen::stage
