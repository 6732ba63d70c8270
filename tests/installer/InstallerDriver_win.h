#pragma once

// Runs saverinstall.exe as the user would and answers its message boxes from outside: the
// process runs in a job object, so the test also sees whether it started anything.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>

namespace lumen::testing {

// The system icons a message box can show.
enum class BoxIcon { kNone, kQuestion, kWarning, kError, kInformation };

// What a message box shows, read from its window.
struct MessageBoxView {
  HWND window = nullptr;
  std::wstring text;
  BoxIcon icon = BoxIcon::kNone;
  bool owned = false;
  bool yes = false, no = false, ok = false, cancel = false;
};

class InstallerRun {
 public:
  explicit InstallerRun(const std::wstring& exe);
  ~InstallerRun();
  InstallerRun(const InstallerRun&) = delete;
  InstallerRun& operator=(const InstallerRun&) = delete;

  // The process's message box with this title, once it shows; empty after the timeout.
  std::optional<MessageBoxView> WaitForBox(const std::wstring& title) const;
  static void Press(const MessageBoxView& box, int button);

  // The exit code, or STILL_ACTIVE when the program did not end in time.
  DWORD WaitForExit() const;
  // How many processes the program started, once all of them have ended.
  int ChildrenAfterAllEnded() const;

 private:
  HANDLE job_ = nullptr;
  PROCESS_INFORMATION process_{};
};

// Puts a recording rundll32.exe in place of the system's and puts the original back afterwards;
// an original left aside by an aborted run is restored first. Wine runs its own rundll32
// whatever the file holds unless its load order says to run the file's code. The stand-in writes
// its command line to `record`.
class ScopedRundll32StandIn {
 public:
  ScopedRundll32StandIn(const std::filesystem::path& recording_program,
                        const std::filesystem::path& record);
  ~ScopedRundll32StandIn();
  ScopedRundll32StandIn(const ScopedRundll32StandIn&) = delete;
  ScopedRundll32StandIn& operator=(const ScopedRundll32StandIn&) = delete;

 private:
  void Restore() const;

  std::filesystem::path program_;
  std::filesystem::path original_;
};

}  // namespace lumen::testing
