// make_fuzz_seeds TARGET FOLDER: writes a few valid inputs for a fuzz target to start from.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"

namespace {

using lumen::authoring::Bytes;

void Save(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
  std::ofstream out(folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<Bytes> Movies() {
  const Bytes body = {0x40, 0x00, 0x00, 0x00};
  std::vector<Bytes> movies;
  for (bool compressed : {false, true}) {
    lumen::authoring::MovieSpec spec;
    spec.compressed = compressed;
    movies.push_back(lumen::authoring::BuildMovie(spec, body));
    spec.x_min = spec.x_max = spec.y_min = spec.y_max = 0;
    movies.push_back(lumen::authoring::BuildMovie(spec, body));
  }
  return movies;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_fuzz_seeds TARGET FOLDER\n", stderr);
    return 2;
  }
  const std::string target = argv[1];
  const std::filesystem::path folder = argv[2];
  int n = 0;
  if (target == "fuzz_raster") {
    // Background, then commands: a filled square, a stroked curve, a masked layer.
    Save(folder, "seed0",
         {0, 0, 0, 255, 0, 0, 128, 128, 128, 128, 1, 0,   1, 0,   1, 0, 1, 0,   1, 0, 0, 5,
          0, 1, 0, 0,   0, 1, 1,   100, 0,   1,   1, 100, 1, 100, 1, 1, 0, 100, 1, 1, 0, 0});
    Save(folder, "seed1",
         {3, 1,  9, 9, 9, 255, 1,   0,   128, 128, 128, 128, 1, 0,   1, 0, 1,   0, 1,
          0, 0,  0, 1, 1, 0,   3,   0,   1,   0,   0,   2,   1, 200, 0, 1, 100, 1, 1,
          0, 60, 0, 2, 5, 128, 128, 128, 128, 1,   0,   1,   0, 1,   0, 1, 0,   5, 3});
    return 0;
  }
  for (const Bytes& movie : Movies()) {
    if (target == "fuzz_inflate_view") {
      Bytes input = {63};  // read piece size
      const Bytes packed = lumen::authoring::Deflate(movie);
      input.insert(input.end(), packed.begin(), packed.end());
      Save(folder, "seed" + std::to_string(n++), input);
    } else if (target == "fuzz_trailer") {
      // A slideshow executable: some program bytes, the movie, its length plus 4 and "FSBF".
      Bytes input(64, 0x90);
      input.insert(input.end(), movie.begin(), movie.end());
      const uint32_t length = static_cast<uint32_t>(movie.size() + 4);
      for (int i = 0; i < 4; ++i) input.push_back(static_cast<uint8_t>(length >> (8 * i)));
      for (char c : {'F', 'S', 'B', 'F'}) input.push_back(static_cast<uint8_t>(c));
      Save(folder, "seed" + std::to_string(n++), input);
    } else {
      Save(folder, "seed" + std::to_string(n++), movie);
    }
  }
  return 0;
}
