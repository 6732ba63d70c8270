// appendmovie PLAYER MOVIE OUTPUT: writes a slideshow executable, a copy of PLAYER carrying MOVIE.
#include <cstdio>
#include <filesystem>

#include "player/MovieTrailer.h"
#include "stream/Stream.h"

namespace {

template <typename Char>
int Run(int argc, Char** argv) {
  if (argc != 4) {
    std::fputs("usage: appendmovie PLAYER MOVIE OUTPUT\n", stderr);
    return 2;
  }
  try {
    lumen::player::AppendMovie(std::filesystem::path(argv[1]), std::filesystem::path(argv[2]),
                               std::filesystem::path(argv[3]));
  } catch (const lumen::StreamError& error) {
    std::fprintf(stderr, "appendmovie: %s\n", error.what());
    return 1;
  }
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return Run(argc, argv);
}
#else
int main(int argc, char** argv) {
  return Run(argc, argv);
}
#endif
