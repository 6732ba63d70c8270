#pragma once

#include "movie/ShapeData.h"
#include "render/Geometry.h"

namespace lumen::movie {

// Turns shape records into paintable parts. Every edge carries up to two fills: fill style 1 lies
// on one side and fill style 0 on the other, so a style's region is bounded by its fill-1 edges
// as drawn plus its fill-0 edges reversed. Those edges arrive in any order; they are chained head
// to tail by exact end points into closed contours, all oriented alike. A NewStyles record starts
// a layer painted over the previous ones; within a layer fills paint in style order, then strokes.
render::ShapeGeometry BuildGeometry(const ShapeData& shape);

}  // namespace lumen::movie
