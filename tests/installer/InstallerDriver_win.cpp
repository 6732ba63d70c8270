#include "tests/installer/InstallerDriver_win.h"

#include <chrono>
#include <thread>
#include <utility>

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

BOOL CALLBACK MatchIconControl(HWND child, LPARAM param) {
  if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) return TRUE;
  *reinterpret_cast<HWND*>(param) = child;
  return FALSE;
}

// A 32-bit top-down picture of the icon size.
class Picture {
 public:
  Picture() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kSide;
    info.bmiHeader.biHeight = -kSide;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    pixels_ = static_cast<const DWORD*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Picture() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  static constexpr int kSide = 32;
  HDC dc() const { return dc_; }
  DWORD at(int i) const {
    GdiFlush();
    return pixels_[i] & 0xFFFFFF;
  }
  void Fill(COLORREF colour) const {
    const RECT all{0, 0, kSide, kSide};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }

 private:
  HBITMAP bitmap_;
  const DWORD* pixels_ = nullptr;
  HDC dc_;
  HGDIOBJ old_;
};

// True when every pixel the icon covers fully shows on the screen as this process draws it; the
// background around the icon does not count.
bool ShowsIcon(const Picture& screen, LPCWSTR icon_name) {
  const HICON icon = LoadIconW(nullptr, icon_name);
  Picture on_black, on_white;
  on_black.Fill(RGB(0, 0, 0));
  on_white.Fill(RGB(255, 255, 255));
  DrawIconEx(on_black.dc(), 0, 0, icon, Picture::kSide, Picture::kSide, 0, nullptr, DI_NORMAL);
  DrawIconEx(on_white.dc(), 0, 0, icon, Picture::kSide, Picture::kSide, 0, nullptr, DI_NORMAL);
  int opaque = 0;
  for (int i = 0; i < Picture::kSide * Picture::kSide; ++i) {
    if (on_black.at(i) != on_white.at(i)) continue;
    ++opaque;
    if (screen.at(i) != on_black.at(i)) return false;
  }
  return opaque > 0;
}

// Which system icon the box's icon control shows, from its pixels on the screen.
BoxIcon IconOf(HWND box) {
  HWND control = nullptr;
  EnumChildWindows(box, MatchIconControl, reinterpret_cast<LPARAM>(&control));
  if (!control) return BoxIcon::kNone;
  RECT place;
  GetWindowRect(control, &place);
  Picture screen;
  const HDC desktop = GetDC(nullptr);
  BitBlt(screen.dc(), 0, 0, Picture::kSide, Picture::kSide, desktop, place.left, place.top,
         SRCCOPY);
  ReleaseDC(nullptr, desktop);
  const std::pair<LPCWSTR, BoxIcon> candidates[] = {{IDI_QUESTION, BoxIcon::kQuestion},
                                                    {IDI_WARNING, BoxIcon::kWarning},
                                                    {IDI_ERROR, BoxIcon::kError},
                                                    {IDI_INFORMATION, BoxIcon::kInformation}};
  for (const auto& [name, icon] : candidates) {
    if (ShowsIcon(screen, name)) return icon;
  }
  return BoxIcon::kNone;
}

// The box's text sits in its static control 0xFFFF on Windows and under Wine.
MessageBoxView Read(HWND box) {
  MessageBoxView view;
  view.window = box;
  view.text = WindowText(GetDlgItem(box, 0xFFFF));
  // The box may not have painted yet.
  PollUntil([&] { return (view.icon = IconOf(box)) != BoxIcon::kNone; });
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

namespace {

constexpr wchar_t kOverrides[] = L"Software\\Wine\\DllOverrides";
constexpr wchar_t kOverride[] = L"rundll32.exe";

}  // namespace

ScopedRundll32StandIn::ScopedRundll32StandIn(const std::filesystem::path& recording_program,
                                             const std::filesystem::path& record) {
  wchar_t system[MAX_PATH];
  program_ = std::filesystem::path(std::wstring(system, GetSystemDirectoryW(system, MAX_PATH))) /
             "rundll32.exe";
  original_ = program_.wstring() + L".lumen-original";
  Restore();
  std::filesystem::rename(program_, original_);
  std::filesystem::copy_file(recording_program, program_);
  RegSetKeyValueW(HKEY_CURRENT_USER, kOverrides, kOverride, REG_SZ, L"native", sizeof L"native");
  SetEnvironmentVariableW(L"LUMEN_RUNDLL32_RECORD", record.c_str());
}

ScopedRundll32StandIn::~ScopedRundll32StandIn() {
  SetEnvironmentVariableW(L"LUMEN_RUNDLL32_RECORD", nullptr);
  Restore();
}

void ScopedRundll32StandIn::Restore() const {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kOverrides, kOverride);
  if (!std::filesystem::exists(original_)) return;
  std::filesystem::remove(program_);
  std::filesystem::rename(original_, program_);
}

}  // namespace lumen::testing
