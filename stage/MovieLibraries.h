#pragma once

// The movies one stage plays from: the root movie, the movie files its imports name and those
// scripts load with loadMovie, each file loaded once and kept for the stage's life. Files are
// read from the importing movie's folder under the same rules as the files scripts load; one
// that is missing, refused or not a movie imports nothing, and the movie plays on without it.
// loadMovie also takes a picture (JPEG, PNG or GIF): a movie of one frame showing it.

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "stage/MovieFolder.h"
#include "stage/MovieLibrary.h"
#include "text/DeviceFonts.h"

namespace lumen::stage {

class MovieLibraries {
 public:
  // Movie files loaded at most, the bytes they may hold together uncompressed, and how deep
  // imports of imports are followed. Loaded movies stay for the stage's life: functions their
  // scripts defined may still run their code.
  static constexpr size_t kMaxMovies = 256;
  static constexpr size_t kMaxBytes = size_t{256} << 20;
  static constexpr int kMaxDepth = 4;

  MovieLibraries(std::shared_ptr<const movie::Movie> root, MovieFolder folder,
                 text::FontFilesSource fonts);
  MovieLibraries(const MovieLibraries&) = delete;
  MovieLibraries& operator=(const MovieLibraries&) = delete;

  MovieLibrary& Root() { return *all_.front(); }
  // The movie or picture file `url` names beside the root movie, or null.
  MovieLibrary* LoadMovie(std::string_view url) { return Load(folder_, url, 0); }

 private:
  void ResolveImports(MovieLibrary& library, const MovieFolder& folder, int depth);
  // The library of the movie file `url` names in `folder`; null when it does not load.
  MovieLibrary* Load(const MovieFolder& folder, std::string_view url, int depth);
  std::unique_ptr<MovieLibrary> Library(std::shared_ptr<const movie::Movie> movie) const;

  MovieFolder folder_;
  text::FontFilesSource fonts_;
  std::vector<std::unique_ptr<MovieLibrary>> all_;  // the root first
  // Null: the file did not load. Failures are remembered only up to a bound, so that a script
  // trying name after name does not grow it without end.
  std::map<std::filesystem::path, MovieLibrary*> by_path_;
  size_t bytes_ = 0;
};

}  // namespace lumen::stage
