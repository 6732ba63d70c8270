#pragma once

#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "movie/Movie.h"

namespace lumen::movie::testing {

using authoring::Bytes;

// A movie of `body` (tags; an End tag is appended) that must load.
inline std::shared_ptr<const Movie> Load(Bytes body, bool compressed = false,
                                         uint8_t version = 10) {
  authoring::End(body);
  authoring::MovieSpec spec;
  spec.compressed = compressed;
  spec.version = version;
  const Bytes file = authoring::BuildMovie(spec, body);
  LoadResult result = LoadMovie(file);
  EXPECT_TRUE(result.movie) << result.error;
  return result.movie;
}

// Twice the signed area enclosed by a path's contours, curves taken by their end points.
inline double SignedArea(const render::Path& path) {
  double area = 0;
  size_t p = 0;
  render::Point start, last;
  auto edge = [&](render::Point a, render::Point b) {
    area += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
  };
  for (render::PathVerb verb : path.verbs) {
    if (verb == render::PathVerb::MoveTo) {
      edge(last, start);
      start = last = path.points[p++];
    } else if (verb == render::PathVerb::LineTo) {
      edge(last, path.points[p]);
      last = path.points[p++];
    } else {
      edge(last, path.points[p + 1]);
      last = path.points[p + 1];
      p += 2;
    }
  }
  edge(last, start);
  return area / 2;
}

inline size_t CountMoves(const render::Path& path) {
  size_t n = 0;
  for (auto verb : path.verbs) n += verb == render::PathVerb::MoveTo;
  return n;
}

}  // namespace lumen::movie::testing
