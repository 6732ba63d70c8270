#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "upgrade/Resources.h"

namespace lumen::upgrade {

// Where a file keeps its movie.
enum class SlideshowKind {
  None,         // no movie found; `found` says what the file is instead
  Movie,        // the file is the movie itself
  PlayerCopy,   // a player with the movie and its "FSBF" trailer appended
  ScreenSaver,  // a program carrying the movie as its resource "SWF" 103
  Installer,    // a program carrying such a screen saver as its resource "SCR" 101
};

struct Slideshow {
  SlideshowKind kind = SlideshowKind::None;
  std::span<const uint8_t> movie;  // borrowed from the recognised file
  std::string found;               // for None: what the file is, in plain words
};

inline const ResourceKey kMovieType = ResourceKey::Named("SWF");
inline const ResourceKey kMovieName = ResourceKey::Number(103);
inline const ResourceKey kSaverType = ResourceKey::Named("SCR");
inline const ResourceKey kSaverName = ResourceKey::Number(101);

// Finds the movie in a file by its content alone, reading it but never running, loading or mapping
// any of its code. A movie counts only when the header reader reads it.
Slideshow RecognizeSlideshow(std::span<const uint8_t> file);

// True when the header reader reads `movie` as an SWF file with a frame; otherwise false, with the
// reason in `problem` when one is given.
bool ReadsAsMovie(std::span<const uint8_t> movie, std::string* problem = nullptr);

}  // namespace lumen::upgrade
