// Drives the real reelplayer.exe under Wine: slideshow executables are made here from movies built
// in code. The movie control paints the stage in the movie's background colour and the empty
// control in white, which shows from outside whether a movie is loaded.
#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "authoring/SwfWriter.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using authoring::Bytes;

constexpr uint32_t kStageColour = 0x336699;
constexpr uint32_t kEmptyControlColour = 0xFFFFFF;

Bytes MakeMovie(int width, int height, bool compressed) {
  authoring::MovieSpec spec;
  spec.compressed = compressed;
  spec.x_max = width * 20;
  spec.y_max = height * 20;
  Bytes body;
  const uint8_t background[] = {kStageColour >> 16, (kStageColour >> 8) & 0xFF,
                                kStageColour & 0xFF};
  authoring::WriteTag(body, 9, background);  // SetBackgroundColor
  authoring::WriteTag(body, 1, {});          // ShowFrame
  authoring::WriteTag(body, 0, {});          // End
  return authoring::BuildMovie(spec, body);
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path TempFolder() {
  wchar_t path[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, path);
  return path;
}

std::string Utf8(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

bool SameRect(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != FALSE;
}

std::string Describe(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

class PlayerWindowTest : public ::testing::Test {
 protected:
  // A slideshow executable: reelplayer.exe, then `movie` with its trailer, then `after`.
  std::filesystem::path Slideshow(const std::wstring& name, const Bytes& movie,
                                  const Bytes& after = {}) {
    const auto movie_file = dir_.Write("movie.swf", movie);
    const auto exe = dir_.path() / name;
    EXPECT_EQ(RunAppendMovie(movie_file, exe), 0u);
    if (!after.empty()) {
      std::ofstream out(exe, std::ios::binary | std::ios::app);
      out.write(reinterpret_cast<const char*>(after.data()),
                static_cast<std::streamsize>(after.size()));
    }
    std::filesystem::remove(TempFolder() / (exe.stem().wstring() + L".swf"));
    return exe;
  }

  // The slideshow is made by the appendmovie tool, as an author makes it.
  DWORD RunAppendMovie(const std::filesystem::path& movie, const std::filesystem::path& output) {
    const auto tool = TestProgramFolder().parent_path() / "tools" / "appendmovie.exe";
    std::wstring command = L"\"" + tool.wstring() + L"\" \"" + player_.wstring() + L"\" \"" +
                           movie.wstring() + L"\" \"" + output.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(tool.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process)) {
      return GetLastError();
    }
    WaitForSingleObject(process.hProcess, 30000);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }

  TempDir dir_;
  std::filesystem::path player_ = TestProgramFolder().parent_path() / "player" / "reelplayer.exe";
};

void SaveScreenshot(HWND window, const std::filesystem::path& file) {
  int width = 0, height = 0;
  const std::vector<uint8_t> rgb = CaptureWindow(window, width, height);
  stbi_write_png(file.string().c_str(), width, height, 3, rgb.data(), width * 3);
}

TEST_F(PlayerWindowTest, HolidayShowsItsMovieAndRemovesTheFileOnClose) {
  const Bytes movie = MakeMovie(550, 400, true);
  const auto exe = Slideshow(L"Holiday.exe", movie);
  const auto temp_movie = TempFolder() / L"Holiday.swf";
  PlayerProcess player(exe);
  ASSERT_NE(player.WaitForMainWindow(), nullptr);

  EXPECT_EQ(player.Caption(), L"Lumenreel - Holiday");
  const SIZE client = player.ClientSize();
  EXPECT_EQ(client.cx, 550);
  EXPECT_EQ(client.cy, 435);
  const RECT bounds = player.Bounds();
  EXPECT_EQ(bounds.left, (GetSystemMetrics(SM_CXSCREEN) - (bounds.right - bounds.left)) / 2);
  EXPECT_EQ(bounds.top, (GetSystemMetrics(SM_CYSCREEN) - (bounds.bottom - bounds.top)) / 2);
  EXPECT_EQ(ReadFileBytes(temp_movie), movie);
  EXPECT_TRUE(WaitUntil([&] {
    return player.ColourAt({275, 200}) == kStageColour;
  })) << "the control does not show the temporary movie";
  RECT movie_area;
  GetWindowRect(player.MovieWindow(), &movie_area);
  MapWindowPoints(nullptr, player.main(), reinterpret_cast<POINT*>(&movie_area), 2);
  const RECT expected_area{0, 0, 550, 400};
  EXPECT_TRUE(SameRect(movie_area, expected_area)) << Describe(movie_area);

  // Give the tool bar a hot button, so the picture shows both button looks.
  SetCursorPos(0, 0);
  POINT over_stop = player.ButtonCentre(1);
  ClientToScreen(player.main(), &over_stop);
  SetCursorPos(over_stop.x, over_stop.y);
  RedrawWindow(player.main(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  SendMessageTimeoutW(player.main(), WM_NULL, 0, 0, SMTO_BLOCK, 5000, nullptr);
  SaveScreenshot(player.main(), TestProgramFolder() / "reelplayer-window.png");

  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
  EXPECT_FALSE(std::filesystem::exists(temp_movie));
}

TEST_F(PlayerWindowTest, TheTemporaryMovieIsNamedAfterTheExecutable) {
  struct Case {
    const wchar_t* exe;
    const wchar_t* movie;
    const wchar_t* caption;
  };
  const Case cases[] = {
      {L"My.Trip.exe", L"My.Trip.swf", L"Lumenreel - My.Trip"},
      {L"Ferien \u00dcber.exe", L"Ferien \u00dcber.swf", L"Lumenreel - Ferien \u00dcber"},
  };
  for (const Case& c : cases) {
    const Bytes movie = MakeMovie(320, 240, false);
    PlayerProcess player(Slideshow(c.exe, movie));
    ASSERT_NE(player.WaitForMainWindow(), nullptr);
    EXPECT_EQ(player.Caption(), c.caption);
    EXPECT_EQ(player.ClientSize().cy, 275);
    EXPECT_EQ(ReadFileBytes(TempFolder() / c.movie), movie);
    player.Close();
    EXPECT_EQ(player.WaitForExit(), 0u);
    EXPECT_FALSE(std::filesystem::exists(TempFolder() / c.movie));
  }
}

BOOL CALLBACK AppendChildText(HWND child, LPARAM data) {
  wchar_t text[512] = {};
  // GetWindowText does not ask another process's controls for their text.
  SendMessageTimeoutW(child, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                      nullptr);
  *reinterpret_cast<std::wstring*>(data) += text;
  return TRUE;
}

TEST_F(PlayerWindowTest, LongTemporaryPathsAreNeverCut) {
  // A temporary folder given without its trailing backslash, as deep as Windows still reports
  // one, and a movie path beyond MAX_PATH.
  std::filesystem::path temp = dir_.path();
  while (temp.wstring().size() < MAX_PATH - 20) temp /= std::wstring(40, L'd');
  std::filesystem::create_directories(temp);
  const std::wstring base(40, L'e');
  const std::filesystem::path temp_movie = temp / (base + L".swf");
  ASSERT_GT(temp_movie.wstring().size(), static_cast<size_t>(MAX_PATH));
  const Bytes movie = MakeMovie(320, 240, false);
  PlayerProcess player(Slideshow(base + L".exe", movie), temp);
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  EXPECT_EQ(player.Caption(), L"Lumenreel - " + base);
  EXPECT_EQ(ReadFileBytes(temp_movie), movie);
  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
  EXPECT_FALSE(std::filesystem::exists(temp_movie));
}

TEST_F(PlayerWindowTest, WithoutATrailerThePlayerEndsSilently) {
  const Bytes movie = MakeMovie(320, 240, false);
  struct Case {
    const char* what;
    std::filesystem::path exe;
  };
  const Case cases[] = {
      {"the bare player", Slideshow(L"Bare.exe", {})},
      {"bytes after the trailer", Slideshow(L"Extra.exe", movie, {'x'})},
  };
  // The bare player still carries an empty movie; cut its trailer off again.
  std::filesystem::resize_file(cases[0].exe, std::filesystem::file_size(cases[0].exe) - 8);
  for (const Case& c : cases) {
    // A running copy with the same base name owns this file; the ending player leaves it alone.
    const auto other_copy = TempFolder() / (c.exe.stem().wstring() + L".swf");
    WriteBytes(other_copy, movie);
    PlayerProcess player(c.exe);
    bool window_seen = false;
    WaitUntil([&] {
      window_seen = window_seen || !player.Windows(nullptr).empty();
      return player.WaitForExit(std::chrono::milliseconds(0)) != STILL_ACTIVE;
    });
    EXPECT_EQ(player.WaitForExit(), 0u) << c.what;
    EXPECT_FALSE(window_seen) << c.what;
    EXPECT_EQ(ReadFileBytes(other_copy), movie) << c.what;
    std::filesystem::remove(other_copy);
  }
}

TEST_F(PlayerWindowTest, ADamagedTrailerIsReportedAndNothingIsWritten) {
  Bytes movie = MakeMovie(320, 240, false);
  const auto exe = Slideshow(L"Damaged.exe", movie);
  {
    // Overwrite L with 3, a length that cannot describe a movie.
    std::fstream file(exe, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(-8, std::ios::end);
    const char length[4] = {3, 0, 0, 0};
    file.write(length, 4);
  }
  PlayerProcess player(exe);
  HWND box = nullptr;
  std::wstring text;
  // The box may be found before its text is filled in.
  EXPECT_TRUE(WaitUntil([&] {
    const auto boxes = player.Windows(L"#32770");
    box = boxes.empty() ? nullptr : boxes[0];
    text.clear();
    if (box) EnumChildWindows(box, AppendChildText, reinterpret_cast<LPARAM>(&text));
    return text.find(L"is damaged") != std::wstring::npos;
  })) << Utf8(text);
  ASSERT_NE(box, nullptr);
  EXPECT_FALSE(std::filesystem::exists(TempFolder() / L"Damaged.swf"));
  PostMessageW(box, WM_COMMAND, IDOK, 0);

  // The window opens as far as start-up prepared it: design caption and size, no movie.
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  EXPECT_EQ(player.Caption(), L"Lumenreel");
  EXPECT_EQ(player.ClientSize().cx, 640);
  EXPECT_EQ(player.ClientSize().cy, 515);
  player.Close();
  EXPECT_EQ(player.WaitForExit(), 0u);
}

// The middle pixels of the stop glyph (Up image) and of the play glyph (Disabled image) as drawn by
// the player's artwork; they show where the button group is and which images are up.
constexpr uint32_t kStopUpGlyph = 0x2E3756;
constexpr uint32_t kPlayDisabledGlyph = 0xB0B6C6;

::testing::AssertionResult ButtonsCentred(const PlayerProcess& player) {
  SetCursorPos(0, 0);
  if (WaitUntil([&] {
        return player.ColourAt(player.ButtonCentre(1)) == kStopUpGlyph &&
               player.ColourAt(player.ButtonCentre(0)) == kPlayDisabledGlyph;
      })) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << std::hex << "stop " << player.ColourAt(player.ButtonCentre(1)) << ", play "
         << player.ColourAt(player.ButtonCentre(0)) << " at client width " << std::dec
         << player.ClientSize().cx;
}

TEST_F(PlayerWindowTest, TheWindowKeepsItsMinimumSizesAndTheButtonsStayCentred) {
  PlayerProcess player(Slideshow(L"Small.exe", MakeMovie(200, 100, true)));
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  EXPECT_EQ(player.ClientSize().cx, 300);
  EXPECT_EQ(player.Bounds().bottom - player.Bounds().top, 240);
  EXPECT_TRUE(ButtonsCentred(player));
  const RECT smallest = player.Bounds();
  const SIZE minimum{smallest.right - smallest.left, smallest.bottom - smallest.top};

  SetWindowPos(player.main(), nullptr, 100, 100, 701, 500, SWP_NOZORDER);
  ASSERT_TRUE(WaitUntil([&] { return player.ClientSize().cx > 600; }));
  EXPECT_TRUE(ButtonsCentred(player));
  const RECT big = player.Bounds();
  // Dragging the lower right corner towards the upper left one: the corner follows the pointer
  // until the window reaches its minimum sizes, and stays there.
  const auto corner_follows = [&](SIZE offset) {
    const RECT now = player.Bounds();
    return now.left == big.left && now.top == big.top &&
           now.right == std::max(big.left + minimum.cx, big.right + offset.cx) &&
           now.bottom == std::max(big.top + minimum.cy, big.bottom + offset.cy);
  };
  EXPECT_TRUE(
      player.Drag({big.right - 2, big.bottom - 2}, {big.left + 40, big.top + 40}, corner_follows))
      << "the drag stopped at " << Describe(player.Bounds());
  EXPECT_EQ(player.ClientSize().cx, 300);
  EXPECT_EQ(player.Bounds().bottom - player.Bounds().top, 240);
  EXPECT_TRUE(ButtonsCentred(player));
}

TEST_F(PlayerWindowTest, AFileThatIsNoMovieGetsTheMinimumWindowAndIsStillExtracted) {
  const Bytes not_a_movie = {'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0};
  PlayerProcess player(Slideshow(L"Picture.exe", not_a_movie));
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  EXPECT_EQ(player.Caption(), L"Lumenreel - Picture");
  EXPECT_EQ(player.ClientSize().cx, 300);
  EXPECT_EQ(player.Bounds().bottom - player.Bounds().top, 240);
  EXPECT_EQ(ReadFileBytes(TempFolder() / L"Picture.swf"), not_a_movie);
}

// Leaving full screen ends with the bounds; the frame and the tool panel come back before them.
::testing::AssertionResult RestoredTo(const PlayerProcess& player, const RECT& bounds) {
  if (WaitUntil([&] { return player.Windowed() && SameRect(player.Bounds(), bounds); })) {
    return ::testing::AssertionSuccess();
  }
  const LONG style = GetWindowLongW(player.main(), GWL_STYLE);
  return ::testing::AssertionFailure()
         << "windowed " << player.Windowed() << " (frame " << ((style & WS_THICKFRAME) != 0)
         << ", zoomed " << (IsZoomed(player.main()) != FALSE) << ", tool panel "
         << (IsWindowVisible(player.ToolPanel()) != FALSE) << "), bounds "
         << Describe(player.Bounds()) << " instead of " << Describe(bounds);
}

TEST_F(PlayerWindowTest, FullScreenByKeysAndDoubleClickRestoresTheExactBounds) {
  PlayerProcess player(Slideshow(L"Keys.exe", MakeMovie(550, 400, true)));
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  ASSERT_TRUE(player.Windowed());
  const RECT windowed = player.Bounds();

  // A modified Ctrl+F must not toggle: if it did, the plain Ctrl+F after it would toggle back.
  for (std::initializer_list<WORD> chord :
       {std::initializer_list<WORD>{VK_CONTROL, VK_SHIFT, 'F'},
        std::initializer_list<WORD>{VK_CONTROL, VK_MENU, 'F'}}) {
    player.PressKeys(chord);
    player.PressKeys({VK_CONTROL, 'F'});
    ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
    RECT client, movie;
    GetClientRect(player.main(), &client);
    EXPECT_TRUE(WaitUntil([&] {
      GetWindowRect(player.MovieWindow(), &movie);
      MapWindowPoints(nullptr, player.main(), reinterpret_cast<POINT*>(&movie), 2);
      return SameRect(movie, client);
    })) << "the movie does not fill the screen: "
        << Describe(movie);
    player.PressKeys({VK_ESCAPE});
    EXPECT_TRUE(RestoredTo(player, windowed));
  }

  player.PressKeys({VK_CONTROL, 'F'});
  ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
  player.PressKeys({VK_CONTROL, 'F'});
  EXPECT_TRUE(RestoredTo(player, windowed));

  player.DoubleClick({275, 200});
  ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
  player.DoubleClick({275, 200});
  EXPECT_TRUE(RestoredTo(player, windowed));

  // A window maximised by the user comes back as a normal window with the maximised bounds.
  ShowWindow(player.main(), SW_MAXIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return IsZoomed(player.main()) != FALSE; }));
  const RECT maximised = player.Bounds();
  player.PressKeys({VK_CONTROL, 'F'});
  ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
  player.PressKeys({VK_ESCAPE});
  EXPECT_TRUE(RestoredTo(player, maximised));
}

TEST_F(PlayerWindowTest, StopEmptiesTheMovieAndPlayReloadsIt) {
  const auto exe = Slideshow(L"Buttons.exe", MakeMovie(550, 400, false));
  PlayerProcess player(exe);
  ASSERT_NE(player.WaitForMainWindow(), nullptr);
  const POINT stage{275, 200};
  ASSERT_TRUE(WaitUntil([&] { return player.ColourAt(stage) == kStageColour; }));

  player.Click(player.ButtonCentre(1));  // stop
  ASSERT_TRUE(WaitUntil([&] { return player.ColourAt(stage) == kEmptyControlColour; }));
  // Stopped: neither Ctrl+F nor the disabled full-screen button does anything.
  player.PressKeys({VK_CONTROL, 'F'});
  player.Click(player.ButtonCentre(2));
  player.Click(player.ButtonCentre(0));  // play
  ASSERT_TRUE(WaitUntil([&] { return player.ColourAt(stage) == kStageColour; }));
  EXPECT_TRUE(player.Windowed());

  player.Click(player.ButtonCentre(2));  // full screen, now enabled
  ASSERT_TRUE(WaitUntil([&] { return player.FullScreen(); }));
  player.PressKeys({VK_ESCAPE});
  ASSERT_TRUE(WaitUntil([&] { return player.Windowed(); }));
}

}  // namespace
}  // namespace lumen::testing
