// The player shows what the engine draws: a movie that stops itself on a known frame is played by
// reelplayer, windowed and full screen, and the movie area on screen is compared with reelrender's
// picture of that frame at the same size. The stop holds the picture still, so the comparison
// needs no hold on the clock.
#include <windows.h>

#include <gtest/gtest.h>

#define STBI_ONLY_PNG
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "authoring/FontEmbedder.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "player/MovieTrailer.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using authoring::Bytes;

constexpr int kStageWidth = 400, kStageHeight = 300;
constexpr int kStopFrame = 6;  // 1-based, as reelrender counts
constexpr uint8_t kMovieBackground[3] = {0x20, 0x30, 0x80};

// A gradient backdrop and a square that moves and turns by fractions of a pixel each frame until
// the movie stops itself on frame kStopFrame, of 9.
Bytes StoppingMovie() {
  Bytes tags;
  authoring::SetBackgroundColor(tags,
                                {kMovieBackground[0], kMovieBackground[1], kMovieBackground[2]});
  authoring::ShapeWriter backdrop(3);
  backdrop.Select(0, backdrop.AddLinearGradient(
                         authoring::MatrixSpec{.a = 0.2, .d = 0.2, .tx = 2200, .ty = 1600},
                         {{0, {250, 200, 40}}, {255, {30, 160, 90}}}));
  backdrop.Rectangle(200, 200, 4200, 3000);
  const Bytes backdrop_tag = backdrop.Tag(1, 200, 4200, 200, 3000);
  tags.insert(tags.end(), backdrop_tag.begin(), backdrop_tag.end());
  authoring::ShapeWriter square(3);
  square.Select(0, square.AddSolidFill({220, 30, 60, 200}));
  square.Rectangle(-600, -600, 600, 600);
  const Bytes square_tag = square.Tag(2, -600, 600, -600, 600);
  tags.insert(tags.end(), square_tag.begin(), square_tag.end());
  authoring::PlaceSpec place_backdrop;
  place_backdrop.depth = 1;
  place_backdrop.character = 1;
  authoring::PlaceObject2(tags, place_backdrop);
  for (int frame = 1; frame <= 9; ++frame) {
    authoring::PlaceSpec place;
    place.depth = 2;
    place.move = frame > 1;
    if (frame == 1) place.character = 2;
    const double turn = 0.13 * frame;
    place.matrix = authoring::MatrixSpec{std::cos(turn), std::sin(turn),    -std::sin(turn),
                                         std::cos(turn), 700 + 437 * frame, 900 + 173 * frame};
    authoring::PlaceObject2(tags, place);
    if (frame == kStopFrame) authoring::DoAction(tags, Bytes{0x07, 0x00});  // stop
    authoring::ShowFrame(tags);
  }
  authoring::End(tags);
  authoring::MovieSpec spec;
  spec.frame_count = 9;
  spec.frame_rate = 20 << 8;
  spec.x_max = kStageWidth * 20;
  spec.y_max = kStageHeight * 20;
  return authoring::BuildMovie(spec, tags);
}

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
  spec.x_max = kStageWidth * 20;
  spec.y_max = kStageHeight * 20;
  return authoring::BuildMovie(spec, tags);
}

// reelrender's picture of `frame` (1-based) at a size, as 8-bit RGB rows.
std::vector<uint8_t> Reference(const std::filesystem::path& movie, int frame, int width, int height,
                               const std::filesystem::path& folder) {
  const auto program = TestProgramFolder().parent_path() / "tools" / "reelrender.exe";
  const auto png = folder / ("reference-" + std::to_string(width) + ".png");
  std::wstring command = L"\"" + program.wstring() + L"\" \"" + movie.wstring() + L"\" --frame " +
                         std::to_wstring(frame) + L" --size " + std::to_wstring(width) + L"x" +
                         std::to_wstring(height) + L" -o \"" + png.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return {};
  }
  WaitForSingleObject(process.hProcess, 30000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  int w = 0, h = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load(png.string().c_str(), &w, &h, &channels, 3), stbi_image_free);
  if (!pixels || w != width || h != height) return {};
  return {pixels.get(), pixels.get() + static_cast<size_t>(w) * h * 3};
}

// Pictures match when no channel differs by more than a few steps, but for a sliver of pixels
// (edges the screen's colour conversion may round differently). With `black_background`, the
// movie's background colour in the reference stands for black on screen.
bool Matches(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
             std::string& why, bool black_background = false) {
  if (shown.size() != reference.size() || shown.empty()) {
    why = "sizes differ";
    return false;
  }
  size_t off = 0;
  for (size_t i = 0; i + 2 < shown.size(); i += 3) {
    const bool background = black_background && std::equal(&reference[i], &reference[i] + 3,
                                                           std::begin(kMovieBackground));
    for (size_t c = 0; c < 3; ++c) {
      const int expected = background ? 0 : reference[i + c];
      if (std::abs(shown[i + c] - expected) > 4) ++off;
    }
  }
  why = std::to_string(off) + " of " + std::to_string(shown.size()) + " channels differ";
  return off * 1000 <= shown.size();
}

void SavePicture(const std::vector<uint8_t>& rgb, int width, int height, const std::string& name) {
  const auto file = TestProgramFolder() / (name + ".png");
  stbi_write_png(file.string().c_str(), width, height, 3, rgb.data(), width * 3);
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

BOOL CALLBACK FindControl(HWND child, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  if (std::wstring(name) != L"LumenFlashControl") return TRUE;
  *reinterpret_cast<HWND*>(out) = child;
  return FALSE;
}

class PlayerPictureTest : public ::testing::Test {
 protected:
  // Plays `movie`, which holds still from `frame` on, in reelplayer, and compares the movie area
  // with reelrender's picture of that frame, windowed and full screen.
  void ExpectPlayerShows(const std::filesystem::path& movie, int frame, int stage_width,
                         int stage_height);

  TempDir dir_;
};

void PlayerPictureTest::ExpectPlayerShows(const std::filesystem::path& movie, int frame,
                                          int stage_width, int stage_height) {
  const auto exe = dir_.path() / L"Pictures.exe";
  player::AppendMovie(TestProgramFolder().parent_path() / "player" / "reelplayer.exe", movie, exe);
  PlayerProcess player(exe, dir_.path());
  ASSERT_NE(player.WaitForMainWindow(), nullptr);

  for (const bool full_screen : {false, true}) {
    SCOPED_TRACE(full_screen ? "full screen" : "windowed");
    if (full_screen) {
      player.PressKeys({VK_CONTROL, 'F'});
      ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
    }
    RECT area;
    ASSERT_TRUE(WaitUntil([&] {
      GetClientRect(player.MovieWindow(), &area);
      return full_screen ? area.right == GetSystemMetrics(SM_CXSCREEN) : area.right > 0;
    }));
    if (!full_screen) {
      EXPECT_EQ(area.right, stage_width);
      EXPECT_EQ(area.bottom, stage_height);
    }
    const auto reference = Reference(movie, frame, area.right, area.bottom, dir_.path());
    ASSERT_FALSE(reference.empty()) << "reelrender drew no picture";
    std::string why;
    std::vector<uint8_t> shown;
    const bool matched = WaitUntil([&] {
      int width = 0, height = 0;
      shown = CaptureWindow(player.MovieWindow(), width, height);
      return Matches(shown, reference, why);
    });
    EXPECT_TRUE(matched) << why;
    if (!matched && shown.size() == reference.size()) {  // both pictures, to look at
      const std::string name = "playback-" + std::to_string(area.right);
      const auto folder = TestProgramFolder();
      stbi_write_png((folder / (name + "-shown.png")).string().c_str(), area.right, area.bottom, 3,
                     shown.data(), area.right * 3);
      stbi_write_png((folder / (name + "-reference.png")).string().c_str(), area.right, area.bottom,
                     3, reference.data(), area.right * 3);
    }
  }
  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
}

TEST_F(PlayerPictureTest, AMovieThatStopsItselfWindowedAndFullScreen) {
  ExpectPlayerShows(dir_.Write("stops.swf", StoppingMovie()), kStopFrame, kStageWidth,
                    kStageHeight);
}

// Text is drawn by our rasterizer from the font's outlines, embedded or the system's, so the
// player's picture and reelrender's are the same, at the movie's size and full screen.
TEST_F(PlayerPictureTest, CaptionsInEmbeddedAndDeviceFontsWindowedAndFullScreen) {
  const Bytes movie = CaptionMovie();
  if (movie.empty()) GTEST_SKIP() << "the caption font is not installed";
  ExpectPlayerShows(dir_.Write("captions.swf", movie), 2, kStageWidth, kStageHeight);
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
  const auto movie_file = dir_.Write("stops.swf", movie);
  const auto saver = dir_.path() / L"Pictures.scr";
  ASSERT_TRUE(SaverWithMovie(TestProgramFolder().parent_path() / "screensaver" / "saver.scr", movie,
                             saver));
  std::wstring command = L"\"" + saver.wstring() + L"\" /s";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(saver.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &process));
  HWND top = nullptr, control = nullptr;
  EXPECT_TRUE(WaitUntil([&] {
    for (top = FindWindowExW(nullptr, nullptr, nullptr, nullptr); top;
         top = FindWindowExW(nullptr, top, nullptr, nullptr)) {
      DWORD pid = 0;
      GetWindowThreadProcessId(top, &pid);
      if (pid == process.dwProcessId && IsWindowVisible(top)) break;
    }
    control = nullptr;
    if (top) EnumChildWindows(top, &FindControl, reinterpret_cast<LPARAM>(&control));
    return control != nullptr;
  }));
  if (control) {
    RECT area;
    GetClientRect(control, &area);
    EXPECT_EQ(area.right, GetSystemMetrics(SM_CXSCREEN));
    const auto reference = Reference(movie_file, kStopFrame, area.right, area.bottom, dir_.path());
    ASSERT_FALSE(reference.empty()) << "reelrender drew no picture";
    std::string why;
    std::vector<uint8_t> shown;
    const bool matched = WaitUntil([&] {
      int width = 0, height = 0;
      shown = CaptureWindow(control, width, height);
      return Matches(shown, reference, why, /*black_background=*/true);
    });
    EXPECT_TRUE(matched) << why;
    if (!matched && shown.size() == reference.size()) {
      SavePicture(shown, area.right, area.bottom, "saver-shown");
      SavePicture(reference, area.right, area.bottom, "saver-reference");
    }
  }
  // Closing the window ends the saver as a user's key would, deleting its movie file.
  if (top) PostMessageW(top, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace lumen::testing
