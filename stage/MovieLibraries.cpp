#include "stage/MovieLibraries.h"

#include "avm1/Names.h"

namespace lumen::stage {

MovieLibraries::MovieLibraries(std::shared_ptr<const movie::Movie> root, MovieFolder folder) {
  all_.push_back(std::make_unique<MovieLibrary>(std::move(root)));
  ResolveImports(*all_.front(), folder, 0);
}

void MovieLibraries::ResolveImports(MovieLibrary& library, const MovieFolder& folder, int depth) {
  for (const movie::Import& import : library.Movie().imports) {
    MovieLibrary* from = Load(folder, import.url, depth + 1);
    if (from == nullptr) continue;
    for (const auto& [id, name] : import.symbols) {
      for (const auto& [from_id, exported] : from->Movie().exports) {
        if (!avm1::SameName(exported, name, false)) continue;
        library.Import(id, *from, from_id);
        break;
      }
    }
  }
}

MovieLibrary* MovieLibraries::Load(const MovieFolder& folder, std::string_view url, int depth) {
  const auto path = folder.Resolve(url);
  if (!path) return nullptr;
  const auto known = by_path_.find(*path);
  if (known != by_path_.end()) return known->second;
  if (depth > kMaxDepth || all_.size() >= kMaxMovies || bytes_ >= kMaxBytes) return nullptr;
  by_path_[*path] = nullptr;
  const auto bytes = folder.Read(url);
  if (!bytes) return nullptr;
  auto loaded = movie::LoadMovie({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!loaded.movie) return nullptr;
  bytes_ += loaded.movie->HeldBytes();
  all_.push_back(std::make_unique<MovieLibrary>(std::move(loaded.movie)));
  MovieLibrary* library = all_.back().get();
  by_path_[*path] = library;
  ResolveImports(*library, MovieFolder(path->parent_path()), depth);
  return library;
}

}  // namespace lumen::stage
