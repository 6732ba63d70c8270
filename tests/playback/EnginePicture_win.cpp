#include "tests/playback/EnginePicture_win.h"

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
#include <memory>

#include "tests/player/PlayerDriver.h"

namespace lumen::testing {

authoring::Bytes StoppingMovie() {
  authoring::Bytes tags;
  authoring::SetBackgroundColor(tags, {kStoppingMovieBackground[0], kStoppingMovieBackground[1],
                                       kStoppingMovieBackground[2]});
  authoring::ShapeWriter backdrop(3);
  backdrop.Select(0, backdrop.AddLinearGradient(
                         authoring::MatrixSpec{.a = 0.2, .d = 0.2, .tx = 2200, .ty = 1600},
                         {{0, {250, 200, 40}}, {255, {30, 160, 90}}}));
  backdrop.Rectangle(200, 200, 4200, 3000);
  const authoring::Bytes backdrop_tag = backdrop.Tag(1, 200, 4200, 200, 3000);
  tags.insert(tags.end(), backdrop_tag.begin(), backdrop_tag.end());
  authoring::ShapeWriter square(3);
  square.Select(0, square.AddSolidFill({220, 30, 60, 200}));
  square.Rectangle(-600, -600, 600, 600);
  const authoring::Bytes square_tag = square.Tag(2, -600, 600, -600, 600);
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
    if (frame == kStoppingMovieFrame) authoring::DoAction(tags, authoring::Bytes{0x07, 0x00});
    authoring::ShowFrame(tags);
  }
  authoring::End(tags);
  authoring::MovieSpec spec;
  spec.frame_count = 9;
  spec.frame_rate = 20 << 8;
  spec.x_max = kStoppingMovieWidth * 20;
  spec.y_max = kStoppingMovieHeight * 20;
  return authoring::BuildMovie(spec, tags);
}

std::vector<uint8_t> EnginePictures::Of(const std::filesystem::path& movie, int frame, int width,
                                        int height, const std::filesystem::path& input) const {
  const auto png = folder_ / ("reference-" + std::to_string(width) + ".png");
  std::wstring command = L"\"" + reelrender_.wstring() + L"\" \"" + movie.wstring() +
                         L"\" --frame " + std::to_wstring(frame) + L" --size " +
                         std::to_wstring(width) + L"x" + std::to_wstring(height) + L" -o \"" +
                         png.wstring() + L"\"";
  if (!input.empty()) command += L" --input \"" + input.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return {};
  }
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  int w = 0, h = 0, channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load(png.string().c_str(), &w, &h, &channels, 3), stbi_image_free);
  if (!pixels || w != width || h != height) return {};
  return {pixels.get(), pixels.get() + static_cast<size_t>(w) * h * 3};
}

bool PicturesMatch(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
                   std::string& why, const uint8_t* movie_background) {
  if (shown.size() != reference.size() || shown.empty()) {
    why = "sizes differ";
    return false;
  }
  size_t off = 0;
  for (size_t i = 0; i + 2 < shown.size(); i += 3) {
    const bool background =
        movie_background && std::equal(&reference[i], &reference[i] + 3, movie_background);
    for (size_t c = 0; c < 3; ++c) {
      const int expected = background ? 0 : reference[i + c];
      if (std::abs(shown[i + c] - expected) > 4) ++off;
    }
  }
  why = std::to_string(off) + " of " + std::to_string(shown.size()) + " channels differ";
  return off * 1000 <= shown.size();
}

void SavePictures(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& reference,
                  int width, int height, const std::string& name) {
  if (shown.size() != reference.size()) return;
  const auto folder = TestProgramFolder();
  stbi_write_png((folder / (name + "-shown.png")).string().c_str(), width, height, 3, shown.data(),
                 width * 3);
  stbi_write_png((folder / (name + "-reference.png")).string().c_str(), width, height, 3,
                 reference.data(), width * 3);
}

void ExpectPlayerShows(const std::filesystem::path& exe, const std::filesystem::path& movie,
                       int frame, int stage_width, int stage_height,
                       const EnginePictures& pictures) {
  PlayerProcess player(exe, exe.parent_path());
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  ExpectPlayerShows(player, movie, frame, stage_width, stage_height, pictures, exe.stem().string());
  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
}

void ExpectPlayerShows(PlayerProcess& player, const std::filesystem::path& movie, int frame,
                       int area_width, int area_height, const EnginePictures& pictures,
                       const std::string& name) {
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
      EXPECT_EQ(area.right, area_width);
      EXPECT_EQ(area.bottom, area_height);
    }
    const auto reference = pictures.Of(movie, frame, area.right, area.bottom);
    ASSERT_FALSE(reference.empty()) << "reelrender drew no picture";
    std::string why;
    std::vector<uint8_t> shown;
    const bool matched = WaitUntil([&] {
      int width = 0, height = 0;
      shown = CaptureWindow(player.MovieWindow(), width, height);
      return PicturesMatch(shown, reference, why);
    });
    EXPECT_TRUE(matched) << why;
    if (!matched) {
      SavePictures(shown, reference, area.right, area.bottom,
                   name + "-" + std::to_string(area.right));
    }
  }
}

namespace {

BOOL CALLBACK FindControl(HWND child, LPARAM out) {
  wchar_t name[64] = {};
  GetClassNameW(child, name, 64);
  if (std::wstring(name) != L"LumenFlashControl") return TRUE;
  *reinterpret_cast<HWND*>(out) = child;
  return FALSE;
}

}  // namespace

void ExpectSaverShows(const std::filesystem::path& saver, const std::filesystem::path& movie,
                      int frame, const uint8_t (&background)[3], const EnginePictures& pictures) {
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
    const auto reference = pictures.Of(movie, frame, area.right, area.bottom);
    EXPECT_FALSE(reference.empty()) << "reelrender drew no picture";
    std::string why;
    std::vector<uint8_t> shown;
    const bool matched = WaitUntil([&] {
      int width = 0, height = 0;
      shown = CaptureWindow(control, width, height);
      return PicturesMatch(shown, reference, why, background);
    });
    EXPECT_TRUE(matched) << why;
    if (!matched) SavePictures(shown, reference, area.right, area.bottom, saver.stem().string());
  }
  // Closing the window ends the saver as a user's key would, deleting its movie file.
  if (top) PostMessageW(top, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace lumen::testing
