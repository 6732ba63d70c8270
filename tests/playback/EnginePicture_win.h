#pragma once

// The built programs show what the engine draws: their movie area on screen is compared with
// reelrender's picture of the same frame at the same size. A movie that stops itself holds the
// picture still, so the comparison needs no hold on the clock.

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "authoring/SwfWriter.h"

namespace lumen::testing {

constexpr int kStoppingMovieWidth = 400, kStoppingMovieHeight = 300;
constexpr int kStoppingMovieFrame = 6;  // 1-based, as reelrender counts
constexpr uint8_t kStoppingMovieBackground[3] = {0x20, 0x30, 0x80};

// A gradient backdrop and a square that moves and turns by fractions of a pixel each frame until
// the movie stops itself on frame kStoppingMovieFrame, of 9.
authoring::Bytes StoppingMovie();

// reelrender's pictures, written into a folder of the test's.
class EnginePictures {
 public:
  EnginePictures(std::filesystem::path reelrender, std::filesystem::path folder)
      : reelrender_(std::move(reelrender)), folder_(std::move(folder)) {}

  // The picture of `frame` (1-based) at a size, as 8-bit RGB rows; empty when none was drawn.
  // `input`, when given, names the events delivered (see reelrender --input).
  std::vector<uint8_t> Of(const std::filesystem::path& movie, int frame, int width, int height,
                          const std::filesystem::path& input = {}) const;

 private:
  std::filesystem::path reelrender_;
  std::filesystem::path folder_;
};

// Pictures match when no channel differs by more than a few steps, but for a sliver of pixels
// (edges the screen's colour conversion may round differently). With `movie_background`, that
// colour in the reference stands for black on screen.
bool PicturesMatch(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
                   std::string& why, const uint8_t* movie_background = nullptr);

// Both pictures, beside the test program, to look at after a failure.
void SavePictures(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
                  int width, int height, const std::string& name);

class PlayerProcess;

// Runs the slideshow executable `exe`, whose movie holds still from `frame` on, and compares its
// movie area with the engine's picture of `movie`, windowed and full screen.
void ExpectPlayerShows(const std::filesystem::path& exe, const std::filesystem::path& movie,
                       int frame, int stage_width, int stage_height,
                       const EnginePictures& pictures);
// The same for a player that runs already, windowed, with a movie area of `area_width` by
// `area_height`; it is left in full screen.
void ExpectPlayerShows(PlayerProcess& player, const std::filesystem::path& movie, int frame,
                       int area_width, int area_height, const EnginePictures& pictures,
                       const std::string& name);

// Runs `saver` /s and compares its movie control, over the whole screen on black, with the
// engine's picture of `movie`, whose background colour is `background`.
void ExpectSaverShows(const std::filesystem::path& saver, const std::filesystem::path& movie,
                      int frame, const uint8_t (&background)[3], const EnginePictures& pictures);

}  // namespace lumen::testing
