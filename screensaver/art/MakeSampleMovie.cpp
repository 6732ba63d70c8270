// Writes the sample movie the saver carries when no slideshow has been put in its place: a
// compressed 550 x 400 movie of three seconds on a deep blue stage.
//   make-sample-movie <out.swf>
#include <cstdio>
#include <fstream>

#include "authoring/SwfWriter.h"

int main(int argc, char** argv) {
  using namespace lumen::authoring;
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-sample-movie <out.swf>\n");
    return 2;
  }
  constexpr uint16_t kSetBackgroundColor = 9, kShowFrame = 1, kEnd = 0;
  MovieSpec spec;
  spec.compressed = true;
  spec.frame_rate = 12 << 8;
  spec.frame_count = 36;
  Bytes tags;
  const uint8_t background[] = {0x12, 0x2A, 0x4E};
  WriteTag(tags, kSetBackgroundColor, background);
  for (int frame = 0; frame < spec.frame_count; ++frame) WriteTag(tags, kShowFrame, {});
  WriteTag(tags, kEnd, {});
  const Bytes movie = BuildMovie(spec, tags);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(movie.data()),
            static_cast<std::streamsize>(movie.size()));
  return out ? 0 : 1;
}
