#pragma once

#include <cstdint>
#include <vector>

#include "authoring/SwfWriter.h"
#include "player/MovieTrailer.h"
#include "tests/support/TinyPe.h"

namespace lumen::upgrade::test {

using Bytes = std::vector<uint8_t>;

// A small movie with a frame and a body whose bytes differ from any other fixture's.
inline Bytes Movie(bool compressed, uint8_t tag = 0x40, size_t body_size = 64) {
  authoring::MovieSpec spec;
  spec.compressed = compressed;
  Bytes body(body_size, tag);
  body.push_back(0);
  body.push_back(0);
  return authoring::BuildMovie(spec, body);
}

inline Bytes PlayerCopy(const Bytes& movie) {
  Bytes file = testing::MakeTinyPe({}).bytes;
  file.insert(file.end(), movie.begin(), movie.end());
  const auto trailer = player::MakeTrailer(static_cast<int64_t>(movie.size()));
  file.insert(file.end(), trailer.begin(), trailer.end());
  return file;
}

// A screen saver: an icon, the movie as "SWF" 103 and a manifest, as our saver carries them.
inline testing::TinyPe Saver(const Bytes& movie) {
  return testing::MakeTinyPe(
      {{"", 3, 1, Bytes(40, 0x11)}, {"SWF", 0, 103, movie}, {"", 24, 1, Bytes(30, 0x22)}});
}

inline testing::TinyPe Installer(const Bytes& saver) {
  return testing::MakeTinyPe({{"SCR", 0, 101, saver}, {"", 14, 103, Bytes(20, 0x33)}});
}

}  // namespace lumen::upgrade::test
