// The player shows what the engine draws: movies that stop themselves on a known frame are played
// by reelplayer, windowed and full screen, and by the saver, and the movie area on screen is
// compared with reelrender's picture of that frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "authoring/FontEmbedder.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "player/MovieTrailer.h"
#include "tests/playback/EnginePicture_win.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using authoring::Bytes;

// A caption over a dark band, in the sample's embedded font, and a line of device text below it;
// the movie stops on its second frame. Empty when the caption font is not installed.
Bytes CaptionMovie() {
  const auto font = authoring::EmbeddedFont::FromTrueType(authoring::ReadCaptionFont(),
                                                          "Sunrise over the sea", 1, "Caption");
  if (!font) return {};
  Bytes tags;
  authoring::SetBackgroundColor(tags, {40, 60, 90});
  authoring::DefineFont3(tags, font->Spec());
  authoring::DefineText(tags, 2, {},
                        {font->Run("Sunrise over the sea", 520, {255, 255, 255, 255}, 400, 2400)});
  authoring::EditTextSpec field;
  field.id = 3;
  field.x_min = 400;
  field.x_max = 7600;
  field.y_min = 3200;
  field.y_max = 4400;
  field.color = authoring::Color{255, 230, 120, 255};
  field.text = "Device text 0123";
  authoring::DefineEditText(tags, field);
  for (uint16_t id : {uint16_t{2}, uint16_t{3}}) {
    authoring::PlaceSpec place;
    place.depth = id;
    place.character = id;
    authoring::PlaceObject2(tags, place);
  }
  authoring::ShowFrame(tags);
  authoring::DoAction(tags, Bytes{0x07, 0x00});  // stop
  authoring::ShowFrame(tags);
  authoring::End(tags);
  authoring::MovieSpec spec;
  spec.frame_count = 2;
  spec.x_max = kStoppingMovieWidth * 20;
  spec.y_max = kStoppingMovieHeight * 20;
  return authoring::BuildMovie(spec, tags);
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR out) {
  *reinterpret_cast<WORD*>(out) = language;
  return FALSE;
}

// A copy of the saver carrying `movie` as its movie resource instead of the sample.
bool SaverWithMovie(const std::filesystem::path& saver, const Bytes& movie,
                    const std::filesystem::path& copy) {
  std::error_code error;
  if (!std::filesystem::copy_file(saver, copy, error)) return false;
  WORD language = 0;
  HMODULE image = LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return false;
  EnumResourceLanguagesW(image, L"SWF", MAKEINTRESOURCEW(103), &FirstLanguage,
                         reinterpret_cast<LONG_PTR>(&language));
  FreeLibrary(image);
  HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
  if (!update) return false;
  Bytes data = movie;
  const bool replaced = UpdateResourceW(update, L"SWF", MAKEINTRESOURCEW(103), language,
                                        data.data(), static_cast<DWORD>(data.size()));
  return EndUpdateResourceW(update, !replaced) && replaced;
}

class PlayerPictureTest : public ::testing::Test {
 protected:
  // Plays `movie`, which holds still from `frame` on, in reelplayer, windowed and full screen.
  void ExpectPlayerShows(const std::filesystem::path& movie, int frame, int stage_width,
                         int stage_height) {
    const auto exe = dir_.path() / L"Pictures.exe";
    player::AppendMovie(TestProgramFolder().parent_path() / "player" / "reelplayer.exe", movie,
                        exe);
    lumen::testing::ExpectPlayerShows(exe, movie, frame, stage_width, stage_height, pictures_);
  }

  TempDir dir_;
  EnginePictures pictures_{TestProgramFolder().parent_path() / "tools" / "reelrender.exe",
                           dir_.path()};
};

TEST_F(PlayerPictureTest, AMovieThatStopsItselfWindowedAndFullScreen) {
  ExpectPlayerShows(dir_.Write("stops.swf", StoppingMovie()), kStoppingMovieFrame,
                    kStoppingMovieWidth, kStoppingMovieHeight);
}

// Text is drawn by our rasterizer from the font's outlines, embedded or the system's, so the
// player's picture and reelrender's are the same, at the movie's size and full screen.
TEST_F(PlayerPictureTest, CaptionsInEmbeddedAndDeviceFontsWindowedAndFullScreen) {
  const Bytes movie = CaptionMovie();
  if (movie.empty()) GTEST_SKIP() << "the caption font is not installed";
  ExpectPlayerShows(dir_.Write("captions.swf", movie), 2, kStoppingMovieWidth,
                    kStoppingMovieHeight);
}

TEST_F(PlayerPictureTest, ACorpusMovieOfOneFrameWindowedAndFullScreen) {
  const char* corpus = std::getenv("LUMEN_CORPUS");
  const std::filesystem::path movie =
      std::filesystem::path(corpus ? corpus : LUMEN_DEFAULT_CORPUS) / "grad_focal_radial.swf";
  if (!std::filesystem::exists(movie)) GTEST_SKIP() << "no corpus at " << movie.string();
  ExpectPlayerShows(movie, 1, 550, 400);
}

// The saver plays over the whole screen on black: the engine's picture, scaled to the screen, with
// black wherever the movie's own background would show, the margins above and below included.
TEST_F(PlayerPictureTest, TheSaverShowsTheEngineFrameWithBlackMargins) {
  const Bytes movie = StoppingMovie();
  const auto saver = dir_.path() / L"Pictures.scr";
  ASSERT_TRUE(SaverWithMovie(TestProgramFolder().parent_path() / "screensaver" / "saver.scr", movie,
                             saver));
  ExpectSaverShows(saver, dir_.Write("stops.swf", movie), kStoppingMovieFrame,
                   kStoppingMovieBackground, pictures_);
}

}  // namespace
}  // namespace lumen::testing
