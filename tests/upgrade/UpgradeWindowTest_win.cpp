// reelupgradew run with files on its command line, as when they are dropped on its icon: it
// upgrades them, counts them in its title, and closes when asked.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/TempDir.h"
#include "tests/upgrade/Fixtures.h"
#include "upgrade/Slideshow.h"

namespace lumen::upgrade::test {
namespace {

namespace fs = std::filesystem;

fs::path BuildOutput(const char* host_path) {
  return fs::path("Z:" + std::string(host_path));
}

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (process != search->process || std::wstring(name) != L"LumenreelUpgrade") return TRUE;
  search->found = window;
  return FALSE;
}

std::wstring Title(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

TEST(UpgradeWindow, UpgradesTheFilesOnItsCommandLineAndCountsThem) {
  const testing::TempDir dir;
  const fs::path programs = dir.path() / "programs";
  const fs::path old = dir.path() / "old";
  fs::create_directories(programs);
  fs::create_directories(old);
  for (const auto& [from, to] :
       {std::pair{LUMEN_REELUPGRADEW, "reelupgradew.exe"},
        std::pair{LUMEN_REELPLAYER, "reelplayer.exe"}, std::pair{LUMEN_SAVER, "saver.scr"},
        std::pair{LUMEN_SAVERINSTALL, "saverinstall.exe"}}) {
    fs::copy_file(BuildOutput(from), programs / to);
  }
  const Bytes movie = Movie(true, 0x66, 500);
  const Bytes copy = PlayerCopy(movie);
  std::ofstream(old / "Holiday.exe", std::ios::binary)
      .write(reinterpret_cast<const char*>(copy.data()), static_cast<std::streamsize>(copy.size()));
  std::ofstream(old / "Notes.txt") << "not a slideshow\n";

  const fs::path program = programs / "reelupgradew.exe";
  std::wstring command = L"\"" + program.wstring() + L"\" \"" + (old / "Holiday.exe").wstring() +
                         L"\" \"" + (old / "Notes.txt").wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             programs.c_str(), &startup, &process));
  Search search{process.dwProcessId, nullptr};
  std::wstring title;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    search.found = nullptr;
    EnumWindows(FindOwnWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) title = Title(search.found);
    if (title.find(L"2 of 2 done") != std::wstring::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_NE(title.find(L"2 of 2 done, 1 upgraded"), std::wstring::npos);
  std::ifstream in(old / "Lumenreel" / "Holiday.exe", std::ios::binary);
  const Bytes written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const Slideshow found = RecognizeSlideshow(written);
  EXPECT_EQ(found.kind, SlideshowKind::PlayerCopy);
  EXPECT_TRUE(std::equal(found.movie.begin(), found.movie.end(), movie.begin(), movie.end()));
  EXPECT_FALSE(fs::exists(old / "Lumenreel" / "Notes.txt"));

  if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process.hProcess, &code);
  if (code == STILL_ACTIVE) TerminateProcess(process.hProcess, 99);
  EXPECT_EQ(code, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace lumen::upgrade::test
