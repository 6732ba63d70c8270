#include "tests/installer/InstallerDriver_win.h"

#include <chrono>
#include <thread>

namespace lumen::testing {
namespace {

constexpr auto kTimeout = std::chrono::seconds(20);
constexpr auto kPollInterval = std::chrono::milliseconds(10);

// Calls probe until it answers true or the timeout passes; answers the last result.
template <typename Probe>
bool PollUntil(Probe probe) {
  const auto deadline = std::chrono::steady_clock::now() + kTimeout;
  while (!probe()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

std::wstring WindowText(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct BoxSearch {
  DWORD process_id;
  const std::wstring* title;
  HWND found = nullptr;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD owner_process = 0;
  GetWindowThreadProcessId(window, &owner_process);
  if (owner_process != search->process_id || !IsWindowVisible(window) ||
      ClassName(window) != L"#32770" || WindowText(window) != *search->title) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// The box's text sits in its static control 0xFFFF on Windows and under Wine.
MessageBoxView Read(HWND box) {
  MessageBoxView view;
  view.window = box;
  view.text = WindowText(GetDlgItem(box, 0xFFFF));
  view.owned = GetWindow(box, GW_OWNER) != nullptr;
  view.yes = GetDlgItem(box, IDYES) != nullptr;
  view.no = GetDlgItem(box, IDNO) != nullptr;
  view.ok = GetDlgItem(box, IDOK) != nullptr;
  view.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
  return view;
}

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
  QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr);
  return info;
}

}  // namespace

InstallerRun::InstallerRun(const std::wstring& exe) : job_(CreateJobObjectW(nullptr, nullptr)) {
  // Under Wine the first program to need the desktop window starts the desktop's process; make
  // sure that is this one, so that process is not counted as the installer's child.
  GetDesktopWindow();
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring command = L"\"" + exe + L"\"";
  // Started from its own folder, as a double-click in the file browser does.
  const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
  if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, folder.c_str(), &startup, &process_)) {
    process_ = {};
    return;
  }
  AssignProcessToJobObject(job_, process_.hProcess);
  ResumeThread(process_.hThread);
}

InstallerRun::~InstallerRun() {
  if (process_.hProcess) {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateJobObject(job_, 99);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  CloseHandle(job_);
}

std::optional<MessageBoxView> InstallerRun::WaitForBox(const std::wstring& title) const {
  BoxSearch search{process_.dwProcessId, &title};
  const bool shown = PollUntil([&] {
    if (process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) {
      return true;  // ended without the box
    }
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (!shown || !search.found) return std::nullopt;
  return Read(search.found);
}

void InstallerRun::Press(const MessageBoxView& box, int button) {
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box.window, button)));
}

DWORD InstallerRun::WaitForExit() const {
  DWORD code = STILL_ACTIVE;
  if (!process_.hProcess) return code;
  const auto timeout = std::chrono::duration_cast<std::chrono::milliseconds>(kTimeout);
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) ==
      WAIT_OBJECT_0) {
    GetExitCodeProcess(process_.hProcess, &code);
  }
  return code;
}

int InstallerRun::ChildrenAfterAllEnded() const {
  PollUntil([&] { return Accounting(job_).ActiveProcesses == 0; });
  return static_cast<int>(Accounting(job_).TotalProcesses) - 1;
}

}  // namespace lumen::testing
