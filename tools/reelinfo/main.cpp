// reelinfo FILE...: prints what the movie header reader sees in each file, one line per file.
#include <cstdio>
#include <filesystem>

#include "tools/reelinfo/MovieInfo.h"

namespace {

template <typename Char>
int Run(int argc, Char** argv) {
  if (argc < 2) {
    std::fputs("usage: reelinfo FILE...\n", stderr);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const lumen::MovieInfoLine line = lumen::DescribeMovie(std::filesystem::path(argv[i]));
    std::printf("%s\n", line.text.c_str());
    if (!line.ok) status = 1;
  }
  return status;
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
