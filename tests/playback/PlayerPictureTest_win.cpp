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

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "player/MovieTrailer.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using authoring::Bytes;

constexpr int kStageWidth = 400, kStageHeight = 300;
constexpr int kStopFrame = 6;  // 1-based, as reelrender counts

// A gradient backdrop and a square that moves and turns by fractions of a pixel each frame until
// the movie stops itself on frame kStopFrame, of 9.
Bytes StoppingMovie() {
  Bytes tags;
  authoring::SetBackgroundColor(tags, {0x20, 0x30, 0x80});
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

// reelrender's picture of kStopFrame at a size, as 8-bit RGB rows.
std::vector<uint8_t> Reference(const std::filesystem::path& movie, int width, int height,
                               const std::filesystem::path& folder) {
  const auto program = TestProgramFolder().parent_path() / "tools" / "reelrender.exe";
  const auto png = folder / ("reference-" + std::to_string(width) + ".png");
  std::wstring command = L"\"" + program.wstring() + L"\" \"" + movie.wstring() + L"\" --frame " +
                         std::to_wstring(kStopFrame) + L" --size " + std::to_wstring(width) + L"x" +
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
// (edges the screen's colour conversion may round differently).
bool Matches(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
             std::string& why) {
  if (shown.size() != reference.size() || shown.empty()) {
    why = "sizes differ";
    return false;
  }
  size_t off = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (std::abs(shown[i] - reference[i]) > 4) ++off;
  }
  why = std::to_string(off) + " of " + std::to_string(shown.size()) + " channels differ";
  return off * 1000 <= shown.size();
}

class PlayerPictureTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(PlayerPictureTest, TheMovieAreaShowsTheEngineFrameWindowedAndFullScreen) {
  const auto movie = dir_.Write("stops.swf", StoppingMovie());
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
      EXPECT_EQ(area.right, kStageWidth);
      EXPECT_EQ(area.bottom, kStageHeight);
    }
    const auto reference = Reference(movie, area.right, area.bottom, dir_.path());
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

}  // namespace
}  // namespace lumen::testing
