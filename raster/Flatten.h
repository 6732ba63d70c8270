#pragma once

// Paths to polylines: the first link of the drawing chain. Quadratic curves become as many line
// segments as keep them within a tolerance, in the path's own units.

#include <cstdint>
#include <vector>

#include "render/Geometry.h"

namespace lumen::raster {

struct Polylines {
  struct Contour {
    uint32_t begin = 0, end = 0;  // points[begin .. end)
    bool closed = false;          // the last point equals the first
  };
  std::vector<render::Point> points;
  std::vector<Contour> contours;

  void Clear() {
    points.clear();
    contours.clear();
  }
};

// Appends the contours of `path`. Verbs without their points end the path there; a curve is
// split into at most 256 segments however large it is.
void Flatten(const render::Path& path, float tolerance, Polylines& out);

// Segments needed to keep a quadratic within `tolerance` of its chords (1 .. 256).
int QuadSegments(render::Point p0, render::Point control, render::Point p1, float tolerance);

}  // namespace lumen::raster
