// Drives the built saver as Windows runs it: by command line, with real keyboard and mouse input,
// each run with a temporary folder of its own. The probe saver carries no movie and a tracing
// control (ProbeClasses_win.cpp).
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Process_win.h"
#include "tests/support/SoundRecording_win.h"
#include "tests/support/TempDir.h"

namespace lumen::saver {
namespace {

constexpr wchar_t kSaverClass[] = L"WindowsScreenSaverClass";
constexpr DWORD kTimeoutMs = 10000;
constexpr DWORD kExitFailure = static_cast<DWORD>(-1);

std::wstring WindowsPath(const char* unix_path) {
  std::wstring path = L"Z:";
  for (const char* c = unix_path; *c; ++c) path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
  return path;
}

const std::wstring& SaverExe() {
  static const std::wstring path = WindowsPath(LUMEN_SAVER_EXE);
  return path;
}

const std::wstring& ProbeExe() {
  static const std::wstring path = WindowsPath(LUMEN_PROBE_EXE);
  return path;
}

// Polls `done`, running this thread's messages meanwhile (a preview's parent lives here).
bool PollUntil(const std::function<bool()>& done, DWORD timeout_ms = kTimeoutMs) {
  const DWORD start = timeGetTime();
  while (!done()) {
    const DWORD elapsed = timeGetTime() - start;
    if (elapsed >= timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeout_ms - elapsed),
                              QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

// One run of a saver program with its own environment additions.
class SaverProcess {
 public:
  SaverProcess(const std::wstring& exe, const std::wstring& arguments,
               const std::vector<std::wstring>& environment) {
    std::wstring command = L"\"" + exe + L"\" " + arguments;
    std::vector<wchar_t> block = EnvironmentBlock(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info_);
  }
  SaverProcess(const SaverProcess&) = delete;
  SaverProcess& operator=(const SaverProcess&) = delete;
  ~SaverProcess() {
    if (!started_) return;
    if (Running()) TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }

  bool Started() const { return started_; }
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  // Waits for the end; answers the exit code, or 0xDEAD when it did not end in time.
  DWORD Exit() const {
    if (!PollUntil([&] { return !Running(); })) return 0xDEAD;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  // The process's window of the saver class with the given title, waited for until it shows
  // (it is visible only once its creation, movie start included, is over).
  HWND FindWindowTitled(const wchar_t* title, HWND parent = nullptr) const {
    HWND found = nullptr;
    PollUntil([&] {
      HWND candidate = nullptr;
      while ((candidate = FindWindowExW(parent, candidate, kSaverClass, title))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(candidate, &pid);
        if (pid == info_.dwProcessId && IsWindowVisible(candidate)) {
          found = candidate;
          return true;
        }
      }
      return !Running();
    });
    return found;
  }

 private:
  static std::vector<wchar_t> EnvironmentBlock(const std::vector<std::wstring>& additions) {
    std::vector<std::wstring> entries;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* at = strings; *at; at += wcslen(at) + 1) entries.emplace_back(at);
    FreeEnvironmentStringsW(strings);
    for (const std::wstring& addition : additions) {
      const std::wstring name = addition.substr(0, addition.find(L'=') + 1);
      std::erase_if(entries, [&](const std::wstring& e) {
        return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0;
      });
      entries.push_back(addition);
    }
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries)
      block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(L'\0');
    return block;
  }

  bool started_ = false;
  PROCESS_INFORMATION info_{};
};

// A temporary folder of the test's own, handed to the saver as TMP and TEMP.
class SaverFolder {
 public:
  SaverFolder() {
    folder_ = dir_.path().wstring();
    std::replace(folder_.begin(), folder_.end(), L'/', L'\\');
  }
  std::vector<std::wstring> Environment() const {
    return {L"TMP=" + folder_, L"TEMP=" + folder_, L"LUMEN_PROBE_LOG=" + LogPath()};
  }
  std::wstring MovieFile() const { return folder_ + L"\\QvTemp.swf"; }
  // The movie path exactly as the saver builds it: "\" as "/", then "/QvTemp.swf".
  std::string MoviePathText() const {
    std::string text;
    for (const wchar_t c : folder_ + L"\\") text += c == L'\\' ? '/' : static_cast<char>(c);
    return text + "/QvTemp.swf";
  }
  std::wstring LogPath() const {
    return dir_.path().parent_path().wstring() + L"\\" + dir_.path().filename().wstring() + L".log";
  }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::ifstream in{std::filesystem::path(LogPath())};
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  bool MovieExists() const {
    return GetFileAttributesW(MovieFile().c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::vector<uint8_t> MovieBytes() const { return testing::ReadFileBytes(MovieFile()); }
  ~SaverFolder() { DeleteFileW(LogPath().c_str()); }

 private:
  testing::TempDir dir_;
  std::wstring folder_;
};

std::vector<uint8_t> MovieResource(const std::wstring& exe) {
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return {};
  std::vector<uint8_t> bytes;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(103), L"SWF")) {
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    bytes.assign(data, data + SizeofResource(module, found));
  }
  FreeLibrary(module);
  return bytes;
}

void PressKey(WORD key) {
  INPUT input[2] = {};
  input[0].type = input[1].type = INPUT_KEYBOARD;
  input[0].ki.wVk = input[1].ki.wVk = key;
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, input, sizeof(INPUT));
}

void MouseEvent(DWORD flags, DWORD data = 0) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  input.mi.mouseData = data;
  SendInput(1, &input, sizeof input);
}

bool Foreground(HWND window) {
  return PollUntil([&] {
    if (GetForegroundWindow() == window) return true;
    SetForegroundWindow(window);
    return false;
  });
}

// Lets the window's thread handle everything queued for it so far: after three answered sent
// messages any input posted before has been dispatched, and a close it caused has been carried out.
bool Settled(HWND window) {
  for (int i = 0; i < 3; ++i) {
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kTimeoutMs, &ignored)) {
      return false;
    }
  }
  return IsWindow(window);
}

int CountFullScreenWindows() {
  int count = 0;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, kSaverClass, L"Screen Saver"));) ++count;
  return count;
}

TEST(SaverResources, AThirtyTwoBitWindowsProgram) {
  const std::vector<uint8_t> image = testing::ReadFileBytes(SaverExe());
  ASSERT_GT(image.size(), 0x40u);
  const uint32_t pe = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | image[0x3F] << 24;
  ASSERT_LT(pe + 0x60u, image.size());
  EXPECT_EQ(std::string(image.begin() + pe, image.begin() + pe + 4), std::string("PE\0\0", 4));
  EXPECT_EQ(image[pe + 4] | image[pe + 5] << 8, IMAGE_FILE_MACHINE_I386);
  const size_t optional = pe + 24;
  EXPECT_EQ(image[optional] | image[optional + 1] << 8, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(image[optional + 68] | image[optional + 69] << 8, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST(SaverResources, MovieIconGroupAndManifest) {
  HMODULE module = LoadLibraryExW(SaverExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(103), L"SWF"), nullptr);

#pragma pack(push, 1)
  struct GroupEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
  };
#pragma pack(pop)
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(100), RT_GROUP_ICON);
  ASSERT_NE(group, nullptr);
  const auto* head = static_cast<const WORD*>(LockResource(LoadResource(module, group)));
  ASSERT_GE(SizeofResource(module, group), 6 + 4 * sizeof(GroupEntry));
  ASSERT_EQ(head[2], 4);
  const auto* entries = reinterpret_cast<const GroupEntry*>(head + 3);
  const BYTE sizes[] = {48, 32, 24, 16};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(entries[i].width, sizes[i]);
    EXPECT_EQ(entries[i].height, sizes[i]);
    EXPECT_EQ(entries[i].bits, 32);
  }

  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(manifest, nullptr);
  const auto* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  const std::string xml(text, SizeofResource(module, manifest));
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
  FreeLibrary(module);
}

TEST(SaverCommandLine, FormsThatEndAtOnceGiveTheirExitCodes) {
  HWND own = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                             nullptr, nullptr);
  const std::wstring handle = std::to_wstring(reinterpret_cast<uintptr_t>(own));
  const struct {
    std::wstring arguments;
    DWORD exit_code;
  } cases[] = {
      {L"/p", kExitFailure},
      {L"/p 0", kExitFailure},
      {L"/p:" + handle, kExitFailure},
      {L"/l 1234", kExitFailure},
      {L"/x", kExitFailure},
      {L"/a", kExitFailure},
      {L"", 0},
      {L"/c", 0},
      {L"/c:" + handle, 0},
      {L"/c " + handle, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    SaverFolder folder;
    SaverProcess saver(SaverExe(), c.arguments, folder.Environment());
    ASSERT_TRUE(saver.Started());
    EXPECT_EQ(saver.Exit(), c.exit_code);
    EXPECT_FALSE(folder.MovieExists());
  }
  DestroyWindow(own);
}

TEST(SaverFullScreen, OneWindowOverEverythingThatWritesTheMovieAndEndsOnAKey) {
  SaverFolder folder;
  SaverProcess saver(SaverExe(), L"/s", folder.Environment());
  ASSERT_TRUE(saver.Started());
  HWND window = saver.FindWindowTitled(L"Screen Saver");
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)) & 0xFFFF0000u, 0x96000000u);
  EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT rect;
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
  EXPECT_EQ(rect.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
  EXPECT_EQ(rect.right - rect.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
  EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));

  const std::vector<uint8_t> resource = MovieResource(SaverExe());
  ASSERT_GT(resource.size(), 8u);
  EXPECT_TRUE(PollUntil([&] { return folder.MovieBytes() == resource; }));

  SaverProcess second(SaverExe(), L"/S", folder.Environment());
  EXPECT_EQ(second.Exit(), 0u);
  EXPECT_EQ(CountFullScreenWindows(), 1);
  EXPECT_TRUE(saver.Running());

  ASSERT_TRUE(Foreground(window));
  PressKey('A');
  EXPECT_EQ(saver.Exit(), 0u);
  EXPECT_FALSE(folder.MovieExists());
}

TEST(SaverFullScreen, FourPixelsOfMovementOrTheWheelAreToleratedFiveEndIt) {
  SetCursorPos(300, 300);
  SaverFolder folder;
  SaverProcess saver(SaverExe(), L"s", folder.Environment());
  HWND window = saver.FindWindowTitled(L"Screen Saver");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Foreground(window));

  MouseEvent(MOUSEEVENTF_WHEEL, WHEEL_DELTA);
  ASSERT_TRUE(Settled(window));
  SetCursorPos(302, 298);  // 2 + 2
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(302, 298));
  ASSERT_TRUE(Settled(window));
  EXPECT_TRUE(saver.Running());

  SetCursorPos(303, 298);  // 3 + 2
  PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(303, 298));
  EXPECT_EQ(saver.Exit(), 0u);
  EXPECT_FALSE(folder.MovieExists());
}

TEST(SaverFullScreen, AClickOverTheMovieEndsIt) {
  SetCursorPos(400, 300);
  SaverFolder folder;
  SaverProcess saver(SaverExe(), L"-s", folder.Environment());
  HWND window = saver.FindWindowTitled(L"Screen Saver");
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(Foreground(window));
  ASSERT_TRUE(Settled(window));
  MouseEvent(MOUSEEVENTF_LEFTDOWN);
  MouseEvent(MOUSEEVENTF_LEFTUP);
  EXPECT_EQ(saver.Exit(), 0u);
  EXPECT_FALSE(folder.MovieExists());
}

TEST(SaverFullScreen, SystemNoticesThatEndItAndThoseThatDoNot) {
  constexpr WPARAM kResumeSuspend = 0x7, kStatusChange = 0xA, kSuspend = 0x4;
  const struct {
    const char* name;
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    bool ends;
  } cases[] = {
      {"monitor off", WM_SYSCOMMAND, SC_MONITORPOWER, 2, true},
      {"activation lost", WM_ACTIVATEAPP, FALSE, 0, true},
      {"suspend", WM_POWERBROADCAST, kSuspend, 0, true},
      {"resume", WM_POWERBROADCAST, kResumeSuspend, 0, true},
      {"resume after a failed suspend", WM_POWERBROADCAST, kResumeSuspend, 1, false},
      {"power status, mains unchanged", WM_POWERBROADCAST, kStatusChange, 0, false},
      {"key released", WM_KEYUP, 'A', 0, false},
      {"wheel", WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SaverFolder folder;
    SaverProcess saver(SaverExe(), L"/s", folder.Environment());
    HWND window = saver.FindWindowTitled(L"Screen Saver");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Settled(window));
    PostMessageW(window, c.message, c.wparam, c.lparam);
    if (c.ends) {
      EXPECT_EQ(saver.Exit(), 0u);
      continue;
    }
    ASSERT_TRUE(Settled(window));
    EXPECT_TRUE(saver.Running());
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(saver.Exit(), 0u);
  }
}

TEST(SaverPreview, RunsInsideTheGivenWindowAndIgnoresInput) {
  HWND parent = CreateWindowExW(0, L"STATIC", L"preview parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                100, 100, 260, 200, nullptr, nullptr, nullptr, nullptr);
  RECT client;
  GetClientRect(parent, &client);
  SaverFolder folder;
  SaverProcess saver(SaverExe(), L"/p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent)),
                     folder.Environment());
  HWND preview = saver.FindWindowTitled(L"Preview", parent);
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(preview, GWL_STYLE)) & 0xFFFF0000u, 0x52000000u);
  RECT rect;
  GetClientRect(preview, &rect);
  EXPECT_EQ(rect.right, client.right);
  EXPECT_EQ(rect.bottom, client.bottom);
  EXPECT_TRUE(PollUntil([&] { return folder.MovieExists(); }));

  ASSERT_TRUE(Foreground(parent));
  POINT inside{20, 20};
  ClientToScreen(preview, &inside);
  SetCursorPos(inside.x, inside.y);
  PressKey('A');
  SetCursorPos(inside.x + 30, inside.y + 30);
  PostMessageW(preview, WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
  PostMessageW(preview, WM_KEYDOWN, 'B', 0);
  PostMessageW(preview, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 50));
  ASSERT_TRUE(PollUntil([&] { return Settled(preview); }));
  EXPECT_TRUE(saver.Running());

  PostMessageW(preview, WM_CLOSE, 0, 0);
  EXPECT_EQ(saver.Exit(), 0u);
  EXPECT_FALSE(folder.MovieExists());
  DestroyWindow(parent);
}

// The carried movie's music, heard on the recorded sound server: full screen the saver plays it
// as reelrender mixes it; the preview in the display settings keeps silent.
TEST(SaverSound, FullScreenPlaysTheMusicAndThePreviewKeepsSilent) {
  std::optional<testing::SoundRecording> recording = testing::SoundRecording::Open();
  if (!recording) GTEST_SKIP() << "no recording (LUMEN_CAPTURE_FILE): no sound server";
  constexpr uint64_t kSecond = testing::kRecordingRate;
  testing::TempDir dir;
  const auto movie = dir.Write("carried.swf", MovieResource(SaverExe()));
  const auto mix = dir.path() / "mix.wav";
  ASSERT_TRUE(testing::RunToTheEnd(L"\"" + WindowsPath(LUMEN_REELRENDER_EXE) + L"\" \"" +
                                   movie.wstring() + L"\" --ticks 200 --audio \"" + mix.wstring() +
                                   L"\""));
  const std::vector<int16_t> expected = testing::ReadWave(mix);
  const auto expected_onset = testing::FirstSound(expected, 0, 200);
  ASSERT_TRUE(expected_onset) << "the carried movie has no music";

  SaverFolder folder;
  uint64_t begun = recording->Frames();
  {
    SaverProcess saver(SaverExe(), L"/s", folder.Environment());
    HWND window = saver.FindWindowTitled(L"Screen Saver");
    ASSERT_NE(window, nullptr);
    PollUntil([] { return false; }, 5000);
    ASSERT_TRUE(Foreground(window));
    PressKey('A');
    EXPECT_EQ(saver.Exit(), 0u);
  }
  std::vector<int16_t> heard = recording->Read(begun, recording->Frames() - begun);
  const auto onset = testing::FirstSound(heard, 0, 200);
  ASSERT_TRUE(onset) << "the full-screen saver played no sound";
  const int64_t shift = static_cast<int64_t>(*onset) - static_cast<int64_t>(*expected_onset);
  // The best of three stretches: a busy machine's underrun may cut one.
  double best = 0;
  for (uint64_t second = 1; second <= 3; ++second) {
    best = std::max(
        best, testing::Align(expected, static_cast<int64_t>(*expected_onset + second * kSecond),
                             8192, heard, shift - 4000, shift + 22050)
                  .match);
  }
  EXPECT_GT(best, 0.9) << "the saver's sound is not the movie's music";

  HWND parent = CreateWindowExW(0, L"STATIC", L"preview parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                100, 100, 260, 200, nullptr, nullptr, nullptr, nullptr);
  begun = recording->Frames();
  {
    SaverProcess saver(SaverExe(), L"/p " + std::to_wstring(reinterpret_cast<uintptr_t>(parent)),
                       folder.Environment());
    HWND preview = saver.FindWindowTitled(L"Preview", parent);
    ASSERT_NE(preview, nullptr);
    PollUntil([] { return false; }, 3000);
    PostMessageW(preview, WM_CLOSE, 0, 0);
    EXPECT_EQ(saver.Exit(), 0u);
  }
  DestroyWindow(parent);
  heard = recording->Read(begun, recording->Frames() - begun);
  EXPECT_GT(heard.size(), 2 * 3 * kSecond);
  EXPECT_FALSE(testing::FirstSound(heard, 0, 1)) << "the preview was heard";
}

std::vector<std::string> After(const std::vector<std::string>& lines, const std::string& first) {
  auto at = std::find(lines.begin(), lines.end(), first);
  return at == lines.end() ? std::vector<std::string>{}
                           : std::vector<std::string>(at + 1, lines.end());
}

TEST(SaverPlayback, ReleasesAndDestroysTheControlBeforeDeletingTheMovie) {
  SaverFolder folder;
  SaverProcess saver(ProbeExe(), L"/s", folder.Environment());
  HWND window = saver.FindWindowTitled(L"Screen Saver");
  ASSERT_NE(window, nullptr);
  // Without a movie resource the file is made empty and still handed over.
  const std::string movie = "Movie " + folder.MoviePathText() + " size=0 file=1";
  ASSERT_TRUE(PollUntil([&] {
    const auto lines = folder.LogLines();
    return std::find(lines.begin(), lines.end(), "Play file=1") != lines.end();
  }));
  const auto started = folder.LogLines();
  EXPECT_NE(std::find(started.begin(), started.end(), "BackgroundColor 0"), started.end());
  const auto movie_line = std::find(started.begin(), started.end(), movie);
  ASSERT_NE(movie_line, started.end()) << ::testing::PrintToString(started);
  EXPECT_EQ(*(movie_line + 1), "Play file=1");

  ASSERT_TRUE(Foreground(window));
  PressKey(VK_SPACE);
  EXPECT_EQ(saver.Exit(), 0u);
  EXPECT_FALSE(folder.MovieExists());

  // The saver's own release leaves the host's reference; the window goes, then the last
  // reference; the file is still there at each step.
  const std::vector<std::string> stop = After(folder.LogLines(), "Play file=1");
  const std::vector<std::string> expected = {"Release 1 file=1", "WindowDestroyed file=1",
                                             "Release 1 file=1", "Release 0 file=1"};
  EXPECT_EQ(stop, expected);
}

TEST(SaverPlayback, RunsAndEndsWithoutAControlAPlayOrAPathThatFits) {
  const std::wstring long_folder = L"C:\\" + std::wstring(250, L'x');  // 253 with its "\"
  const struct {
    const char* name;
    std::vector<std::wstring> environment;
    bool file_made;
    bool handed_over;
  } cases[] = {
      {"no control", {L"LUMEN_PROBE=nocontrol"}, true, false},
      {"play fails", {L"LUMEN_PROBE=failplay"}, true, true},
      {"folder too long", {L"TMP=" + long_folder, L"TEMP=" + long_folder}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SaverFolder folder;
    std::vector<std::wstring> environment = folder.Environment();
    environment.insert(environment.end(), c.environment.begin(), c.environment.end());
    SaverProcess saver(ProbeExe(), L"/s", environment);
    HWND window = saver.FindWindowTitled(L"Screen Saver");
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Settled(window));
    EXPECT_EQ(folder.MovieExists(), c.file_made);
    ASSERT_TRUE(Foreground(window));
    PressKey('Q');
    EXPECT_EQ(saver.Exit(), 0u);
    EXPECT_FALSE(folder.MovieExists());
    const auto lines = folder.LogLines();
    const bool handed_over = std::any_of(
        lines.begin(), lines.end(), [](const std::string& l) { return l.starts_with("Movie "); });
    EXPECT_EQ(handed_over, c.handed_over) << ::testing::PrintToString(lines);
  }
}

}  // namespace
}  // namespace lumen::saver
