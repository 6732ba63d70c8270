#pragma once

// The movies one stage plays from: the root movie and the movie files its imports name, each
// file loaded once and kept for the stage's life. Imports are read from the importing movie's
// folder under the same rules as the files scripts load; a file that is missing, refused or not
// a movie imports nothing, and the movie plays on without it.

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "stage/MovieFolder.h"
#include "stage/MovieLibrary.h"

namespace lumen::stage {

class MovieLibraries {
 public:
  // Movie files loaded at most, the bytes they may hold together uncompressed, and how deep
  // imports of imports are followed.
  static constexpr size_t kMaxMovies = 32;
  static constexpr size_t kMaxBytes = size_t{256} << 20;
  static constexpr int kMaxDepth = 4;

  MovieLibraries(std::shared_ptr<const movie::Movie> root, MovieFolder folder);
  MovieLibraries(const MovieLibraries&) = delete;
  MovieLibraries& operator=(const MovieLibraries&) = delete;

  MovieLibrary& Root() { return *all_.front(); }

 private:
  void ResolveImports(MovieLibrary& library, const MovieFolder& folder, int depth);
  // The library of the movie file `url` names in `folder`; null when it does not load.
  MovieLibrary* Load(const MovieFolder& folder, std::string_view url, int depth);

  std::vector<std::unique_ptr<MovieLibrary>> all_;          // the root first
  std::map<std::filesystem::path, MovieLibrary*> by_path_;  // null: the file did not load
  size_t bytes_ = 0;
};

}  // namespace lumen::stage
