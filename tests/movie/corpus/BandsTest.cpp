// Drawing in bands of rows on several threads gives the pixels of one thread, on every movie of
// the corpus and the picture suite, at the stage's size and enlarged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/reelrender/MovieRunner.h"

namespace lumen::tools {
namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMEN_BANDS_SANITIZED 1
#endif
#endif

#ifdef LUMEN_BANDS_SANITIZED
// Sanitized drawing is twenty times slower; two frames still cross every band's seams.
constexpr size_t kFrames = 2;
#else
constexpr size_t kFrames = 6;
#endif

std::vector<std::filesystem::path> Movies() {
  const char* env = std::getenv("LUMEN_CORPUS");
  const std::filesystem::path corpus = env ? env : LUMEN_DEFAULT_CORPUS;
  std::vector<std::filesystem::path> movies;
  for (const auto& folder : {corpus, corpus.parent_path() / "suites" / "pictures"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.path().extension() == ".swf") movies.push_back(entry.path());
    }
  }
  return movies;
}

bool SamePixels(const raster::Pixmap& a, const raster::Pixmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    if (std::memcmp(a.Row(y), b.Row(y), static_cast<size_t>(a.Width()) * 4) != 0) return false;
  }
  return true;
}

TEST(Bands, ThreadsDrawTheSamePixelsAsOne) {
  const std::vector<std::filesystem::path> movies = Movies();
  if (movies.empty()) GTEST_SKIP() << "no corpus";
  for (const auto& path : movies) {
    const movie::LoadResult loaded = LoadMovieFile(path);
    if (!loaded.movie) continue;
    const std::shared_ptr<const movie::Movie> movie = loaded.movie;
    for (const int scale : {1, 2}) {
      RunOptions one;
      StagePixels(*movie, one.width, one.height);
      one.width *= scale;
      one.height *= scale;
      RunOptions three = one;
      three.threads = 3;
      MovieRunner single(movie, one), banded(movie, three);
      for (size_t frame = 1; frame <= kFrames; ++frame) {
        ASSERT_TRUE(SamePixels(single.Draw(), banded.Draw()))
            << path.filename() << " at " << scale << "x, frame " << frame;
        single.Advance();
        banded.Advance();
      }
    }
  }
}

}  // namespace
}  // namespace lumen::tools
