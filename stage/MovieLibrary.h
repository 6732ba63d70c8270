#pragma once

// The characters that the clips of one movie place: the movie's own, and those it imports by
// name from other movie files. An imported character is answered from the library of the movie
// that defines it, so a sprite plays with its own movie's definitions, fonts and scripts.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "movie/Movie.h"
#include "stage/ShapeHit.h"
#include "stage/TextShapes.h"

namespace lumen::stage {

class MovieLibrary {
 public:
  struct Found {
    const movie::Character* character = nullptr;  // null: not defined
    MovieLibrary* library = nullptr;              // the one that defines it
    uint16_t id = 0;                              // its id there
  };
  // A DoInitAction of an exporting movie for a sprite this movie imports.
  struct ImportedInit {
    MovieLibrary* library;
    uint16_t sprite;
    std::span<const uint8_t> code;
  };

  MovieLibrary(std::shared_ptr<const movie::Movie> movie, std::unique_ptr<text::FontFiles> fonts);
  MovieLibrary(const MovieLibrary&) = delete;
  MovieLibrary& operator=(const MovieLibrary&) = delete;

  const movie::Movie& Movie() const { return *movie_; }
  uint8_t Version() const { return movie_->version; }
  TextShapes& Texts() { return texts_; }

  Found Find(uint16_t id);
  // The symbol scripts attach by `name`: exported by this movie or imported into it.
  Found FindSymbol(std::string_view name);
  // The character this movie exports as `name`.
  std::optional<uint16_t> ExportedId(std::string_view name) const;
  // The name a character of this movie is exported or imported under.
  std::optional<std::string_view> SymbolName(uint16_t id) const;

  // Gives `id` the character `from_id` of `from`, and notes the exporting movie's init actions
  // for it.
  void Import(uint16_t id, MovieLibrary& from, uint16_t from_id);
  const std::vector<ImportedInit>& ImportedInits() const { return inits_; }

  // Whether `shape`, one of this movie's, covers `p` (in its twips): a shape of many lines
  // through bands built on first use, while they fit a memory budget.
  bool ShapeCovers(const render::ShapeGeometry& shape, render::Point p);

 private:
  struct Link {
    MovieLibrary* from;
    uint16_t id;
  };
  Found Find(uint16_t id, int hops);

  std::shared_ptr<const movie::Movie> movie_;
  TextShapes texts_;
  std::unordered_map<std::string, uint16_t> symbols_;  // by name, letter case folded
  std::unordered_map<uint16_t, std::string_view> names_;
  std::unordered_multimap<uint16_t, std::span<const uint8_t>> own_inits_;  // by sprite
  std::unordered_map<uint16_t, Link> imported_;
  std::vector<ImportedInit> inits_;
  // By shape; null for shapes walked plainly.
  std::unordered_map<const render::ShapeGeometry*, std::unique_ptr<const ShapeHitBands>> bands_;
  size_t band_bytes_ = 0;
};

}  // namespace lumen::stage
