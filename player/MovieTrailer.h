#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>

#include "stream/Stream.h"

namespace lumen::player {

// A slideshow executable ends with the movie, a signed 32-bit little-endian length L (the movie's
// size plus 4) and the magic "FSBF".
inline constexpr int64_t kTrailerSize = 8;
inline constexpr std::array<uint8_t, 4> kTrailerMagic = {'F', 'S', 'B', 'F'};

enum class TrailerStatus {
  Missing,  // the last four bytes are not "FSBF": the executable carries no movie
  Damaged,  // "FSBF" is there, but L does not describe a movie inside the file
  Found,
};

struct TrailerCheck {
  TrailerStatus status = TrailerStatus::Missing;
  int32_t length_field = 0;  // L as stored
  int64_t movie_offset = 0;  // from the start of the file
  int64_t movie_size = 0;
};

// Reads the last kTrailerSize bytes of a file of `file_size` bytes. L below 4, or a movie that
// would start before the beginning of the file, is Damaged; nothing here trusts L before checking
// it.
TrailerCheck ParseTrailer(std::span<const uint8_t, kTrailerSize> tail, int64_t file_size);

// The trailer that follows a movie of `movie_size` bytes; fails when L would not fit 32 bits.
std::array<uint8_t, kTrailerSize> MakeTrailer(int64_t movie_size);

// Reads the trailer at the end of `executable` and, when it is Found, copies the movie to the end
// of `movie`. Stream errors pass through as StreamError.
TrailerCheck ReadMovie(Stream& executable, Stream& movie);

// Copies the movie carried at the end of `executable` to `movie_file` (created or replaced).
// Answers false, writing nothing, when there is no trailer. A damaged trailer and every file error
// raise StreamError; a movie file left half-written by a failing write is removed again.
bool ExtractMovie(const std::filesystem::path& executable, const std::filesystem::path& movie_file);

// Writes `movie` and its trailer at the end of `output`.
void AppendMovieBytes(Stream& output, std::span<const uint8_t> movie);

// Writes `player` followed by `movie` and its trailer to `output`.
void AppendMovie(const std::filesystem::path& player, const std::filesystem::path& movie,
                 const std::filesystem::path& output);

}  // namespace lumen::player
