// At 144 DPI the player scales with its monitor: its movie area and tool bar are 1.5 times their
// sizes at 96 DPI, the buttons show the artwork drawn for 150 %, and the movie fills the larger
// area at the screen's own resolution, as reelrender draws it at that size; a change of DPI
// scales it anew. Wine takes a program's DPI from the user's LogPixels when the program starts,
// so the test sets it around the player's start and puts the old setting back.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "dpi/DpiAwareness.h"
#include "player/MovieTrailer.h"
#include "tests/playback/EnginePicture_win.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

constexpr UINT kDpi = 144;

// The DPI that programs started from now on get, until Restore or the end of the scope.
class LogPixelsSetting {
 public:
  explicit LogPixelsSetting(DWORD dpi) {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr)) {
      key_ = nullptr;
      return;
    }
    DWORD type = 0, size = sizeof saved_;
    had_value_ =
        !RegQueryValueExW(key_, kValue, nullptr, &type, reinterpret_cast<BYTE*>(&saved_), &size) &&
        type == REG_DWORD;
    applied_ = !RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                               sizeof dpi);
  }
  ~LogPixelsSetting() {
    Restore();
    if (key_) RegCloseKey(key_);
  }
  LogPixelsSetting(const LogPixelsSetting&) = delete;
  LogPixelsSetting& operator=(const LogPixelsSetting&) = delete;

  bool Applied() const { return applied_; }
  void Restore() {
    if (!applied_) return;
    if (had_value_) {
      RegSetValueExW(key_, kValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved_),
                     sizeof saved_);
    } else {
      RegDeleteValueW(key_, kValue);
    }
    applied_ = false;
  }

 private:
  static constexpr const wchar_t* kValue = L"LogPixels";
  HKEY key_ = nullptr;
  DWORD saved_ = 0;
  bool had_value_ = false;
  bool applied_ = false;
};

// A 24-bit bitmap resource of `module` as 8-bit RGB rows.
std::vector<uint8_t> BitmapResource(HMODULE module, const wchar_t* name, int& width, int& height) {
  auto bitmap = static_cast<HBITMAP>(LoadImageW(module, name, IMAGE_BITMAP, 0, 0, 0));
  if (!bitmap) return {};
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  width = info.bmWidth;
  height = info.bmHeight;
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
  HDC screen = GetDC(nullptr);
  GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), bgra.data(), &format, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    rgb[i * 3] = bgra[i * 4 + 2];
    rgb[i * 3 + 1] = bgra[i * 4 + 1];
    rgb[i * 3 + 2] = bgra[i * 4];
  }
  return rgb;
}

// Pixels of `art` that differ from what the panel shows with the art's corner at `at`; olive,
// the transparent colour, is skipped.
int ArtMismatches(const std::vector<uint8_t>& panel, int panel_width, POINT at,
                  const std::vector<uint8_t>& art, int art_size) {
  int mismatches = 0;
  for (int y = 0; y < art_size; ++y) {
    for (int x = 0; x < art_size; ++x) {
      const uint8_t* want = &art[(static_cast<size_t>(y) * art_size + x) * 3];
      if (want[0] == 128 && want[1] == 128 && want[2] == 0) continue;
      const uint8_t* got = &panel[(static_cast<size_t>(at.y + y) * panel_width + at.x + x) * 3];
      if (got[0] != want[0] || got[1] != want[1] || got[2] != want[2]) ++mismatches;
    }
  }
  return mismatches;
}

// A size at 96 DPI at `dpi`, halves rounded up.
int Scaled(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), 96);
}

// The tool bar spans the client area at its height for `dpi`, and the stop button (Up) and the
// play button (Disabled) in its middle show the artwork drawn for `scale`, pixel for pixel.
void ExpectToolBarAt(const PlayerProcess& player, HMODULE art, UINT dpi, const wchar_t* scale) {
  RECT panel{};
  GetClientRect(player.ToolPanel(), &panel);
  EXPECT_EQ(panel.right, player.ClientSize().cx);
  EXPECT_EQ(panel.bottom, Scaled(35, dpi));
  SetCursorPos(0, 0);
  for (const auto& [index, image] : {std::pair{1, L"STOPUP"}, std::pair{0, L"PLAYDISABLED"}}) {
    SCOPED_TRACE(::testing::Message() << "button " << index << " at " << dpi << " DPI");
    int size = 0, height = 0;
    const auto picture = BitmapResource(art, (std::wstring(image) + scale).c_str(), size, height);
    ASSERT_EQ(size, Scaled(25, dpi));
    const POINT at{(panel.right - Scaled(169, dpi)) / 2 + index * Scaled(72, dpi),
                   (panel.bottom - Scaled(25, dpi)) / 2};
    int mismatches = -1;
    EXPECT_TRUE(WaitUntil([&] {
      int width = 0, rows = 0;
      const auto shown = CaptureWindow(player.ToolPanel(), width, rows);
      mismatches = ArtMismatches(shown, width, at, picture, size);
      return mismatches == 0;
    })) << mismatches
        << " pixels differ";
  }
}

// Tells the player, as the system does, that its monitor's DPI is now `dpi` and that `suggested`
// keeps its look there; the rectangle is passed in the player's own memory.
void SendDpiChanged(HWND window, UINT dpi, const RECT& suggested) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id);
  ASSERT_NE(process, nullptr);
  void* remote = VirtualAllocEx(process, nullptr, sizeof suggested, MEM_COMMIT, PAGE_READWRITE);
  ASSERT_NE(remote, nullptr);
  EXPECT_TRUE(WriteProcessMemory(process, remote, &suggested, sizeof suggested, nullptr));
  SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(remote));
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
}

TEST(HighDpiTest, At144DpiTheWindowTheToolBarAndTheMovieScaleInRealPixels) {
  // This process reads the player's window in real pixels wherever the system would scale them.
  dpi::DeclarePerMonitorAwareness();
  TempDir dir;
  const auto reelplayer = TestProgramFolder().parent_path() / "player" / "reelplayer.exe";
  const auto movie = dir.Write("stops.swf", StoppingMovie());
  const auto exe = dir.path() / L"Sharp.exe";
  player::AppendMovie(reelplayer, movie, exe);
  std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)> art(
      LoadLibraryExW(reelplayer.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), &FreeLibrary);
  ASSERT_TRUE(art);

  LogPixelsSetting setting(kDpi);
  ASSERT_TRUE(setting.Applied());
  PlayerProcess player(exe, dir.path());
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  setting.Restore();  // the player has read it; later programs get the prefix's own DPI

  const SIZE area{Scaled(kStoppingMovieWidth, kDpi), Scaled(kStoppingMovieHeight, kDpi)};
  EXPECT_EQ(player.ClientSize().cx, area.cx);
  EXPECT_EQ(player.ClientSize().cy, area.cy + Scaled(35, kDpi));
  ExpectToolBarAt(player, art.get(), kDpi, L"150");
  ExpectPlayerShows(
      player, movie, kStoppingMovieFrame, area.cx, area.cy,
      EnginePictures(TestProgramFolder().parent_path() / "tools" / "reelrender.exe", dir.path()),
      "dpi144");

  // Moved to a monitor of 192 DPI, the window takes the bounds the system suggests and the
  // tool bar and its buttons grow to 200 %; the movie fills the rest.
  player.PressKeys({VK_ESCAPE});
  ASSERT_TRUE(WaitUntil([&] { return player.Windowed(); }));
  const RECT before = player.Bounds();
  const RECT suggested{before.left + 10, before.top + 10,
                       before.left + 10 + (before.right - before.left) * 4 / 3,
                       before.top + 10 + (before.bottom - before.top) * 4 / 3};
  SendDpiChanged(player.main(), 192, suggested);
  const RECT after = player.Bounds();
  EXPECT_TRUE(EqualRect(&after, &suggested));
  ExpectToolBarAt(player, art.get(), 192, L"200");
  RECT movie_area{};
  GetClientRect(player.MovieWindow(), &movie_area);
  EXPECT_EQ(movie_area.right, player.ClientSize().cx);
  EXPECT_EQ(movie_area.bottom, player.ClientSize().cy - Scaled(35, 192));

  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
}

}  // namespace
}  // namespace lumen::testing
