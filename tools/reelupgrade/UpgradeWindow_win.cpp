#include "tools/reelupgrade/UpgradeWindow_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace lumen::tools {

namespace {

constexpr wchar_t kClassName[] = L"LumenreelUpgrade";
constexpr wchar_t kTitle[] = L"Lumenreel Upgrade";
constexpr wchar_t kHint[] =
    L"Drop old slideshows here, or choose them: player copies, screen savers, screen-saver "
    L"installers or movies. "
    L"Each upgraded copy goes to a folder \"Lumenreel\" beside it; the old file stays as it is.";
constexpr UINT kUpgradeDone = WM_APP + 1;
constexpr int kMargin = 8;
constexpr int kHintHeight = 40;
constexpr int kChooseWidth = 110;
constexpr int kChooseId = 101;
// Room for the names the open dialog hands back when several files are picked at once.
constexpr size_t kChosenChars = 64 * 1024;
constexpr int kProgressHeight = 18;

// What the worker hands back to the window through its message queue.
struct Outcome {
  std::filesystem::path file;
  upgrade::UpgradeResult result;
};

std::wstring Line(const Outcome& outcome) {
  const std::u8string text(outcome.result.text.begin(), outcome.result.text.end());
  return outcome.file.filename().wstring() + L": " + std::filesystem::path(text).wstring();
}

}  // namespace

UpgradeWindow::~UpgradeWindow() {
  if (worker_.joinable()) worker_.join();
  if (font_) DeleteObject(font_);
}

bool UpgradeWindow::Create(HINSTANCE instance, int show) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = Proc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExW(&window_class)) return false;
  window_ =
      CreateWindowExW(WS_EX_ACCEPTFILES, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 640, 400, nullptr, nullptr, instance, this);
  if (!window_) return false;
  ShowWindow(window_, show);
  StartNext();
  return true;
}

void UpgradeWindow::Add(const std::filesystem::path& file) {
  pending_.push_back(file);
  ++total_;
  if (window_) {
    ShowProgress();
    StartNext();
  }
}

LRESULT CALLBACK UpgradeWindow::Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self =
        static_cast<UpgradeWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<UpgradeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT UpgradeWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateChildren();
      return 0;
    case WM_SIZE:
      Layout(LOWORD(lparam), HIWORD(lparam));
      return 0;
    case WM_DROPFILES:
      Drop(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kChooseId && HIWORD(wparam) == BN_CLICKED) Choose();
      return 0;
    case kUpgradeDone:
      Finish(lparam);
      return 0;
    case WM_DESTROY:
      // The file being upgraded is finished first: a half-written copy would be left behind.
      DropWorker();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window_, message, wparam, lparam);
  }
}

void UpgradeWindow::CreateChildren() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  }
  const auto child = [&](const wchar_t* window_class, const wchar_t* text, DWORD style,
                         DWORD ex_style = 0) {
    HWND made = CreateWindowExW(ex_style, window_class, text, WS_CHILD | WS_VISIBLE | style, 0, 0,
                                0, 0, window_, nullptr, nullptr, nullptr);
    if (made && font_) SendMessageW(made, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return made;
  };
  hint_ = child(L"STATIC", kHint, SS_LEFT);
  choose_ = child(L"BUTTON", L"Choose files...", BS_PUSHBUTTON);
  SetWindowLongPtrW(choose_, GWLP_ID, kChooseId);
  progress_ = child(PROGRESS_CLASSW, L"", 0);
  list_ = child(L"LISTBOX", L"", WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, WS_EX_CLIENTEDGE);
  ShowProgress();
}

void UpgradeWindow::Layout(int width, int height) {
  const int inner = width - 2 * kMargin;
  const int hint_width = std::max(0, inner - kChooseWidth - kMargin);
  MoveWindow(hint_, kMargin, kMargin, hint_width, kHintHeight, TRUE);
  MoveWindow(choose_, width - kMargin - kChooseWidth, kMargin, kChooseWidth, kHintHeight / 2 + 6,
             TRUE);
  const int progress_top = 2 * kMargin + kHintHeight;
  MoveWindow(progress_, kMargin, progress_top, inner, kProgressHeight, TRUE);
  const int list_top = progress_top + kProgressHeight + kMargin;
  MoveWindow(list_, kMargin, list_top, inner, std::max(0, height - list_top - kMargin), TRUE);
}

void UpgradeWindow::Drop(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xffffffff, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    std::wstring name(length + 1, L'\0');
    DragQueryFileW(drop, i, name.data(), length + 1);
    name.resize(length);
    Add(std::filesystem::path(name));
  }
  DragFinish(drop);
}

// The standard open dialog, several files at once: with one file it answers its path; with more,
// the folder and then each name, every string ended by a null and the list by a second one.
void UpgradeWindow::Choose() {
  std::wstring chosen(kChosenChars, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = L"Slideshows (*.exe;*.scr;*.swf)\0*.exe;*.scr;*.swf\0All files\0*.*\0";
  dialog.lpstrFile = chosen.data();
  dialog.nMaxFile = static_cast<DWORD>(chosen.size() - 1);
  dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return;
  std::vector<std::wstring> parts;
  for (size_t at = 0; at < chosen.size() && chosen[at] != L'\0';) {
    const size_t end = chosen.find(L'\0', at);
    parts.push_back(chosen.substr(at, end - at));
    at = end + 1;
  }
  if (parts.size() == 1) {
    Add(std::filesystem::path(parts.front()));
    return;
  }
  for (size_t i = 1; i < parts.size(); ++i) Add(std::filesystem::path(parts.front()) / parts[i]);
}

void UpgradeWindow::StartNext() {
  if (busy_ || pending_.empty()) return;
  if (worker_.joinable()) worker_.join();  // it has posted its outcome and ended
  busy_ = true;
  const std::filesystem::path file = pending_.front();
  pending_.pop_front();
  worker_ = std::thread([this, file, window = window_] {
    auto outcome =
        std::make_unique<Outcome>(Outcome{file, upgrade::UpgradeSlideshow(file, settings_)});
    if (PostMessageW(window, kUpgradeDone, 0, reinterpret_cast<LPARAM>(outcome.get()))) {
      outcome.release();  // the window owns it now
    }
  });
}

void UpgradeWindow::Finish(LPARAM lparam) {
  const std::unique_ptr<Outcome> outcome(reinterpret_cast<Outcome*>(lparam));
  busy_ = false;
  ++done_;
  if (outcome->result.status == upgrade::UpgradeStatus::Upgraded) ++upgraded_;
  const LRESULT index =
      SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Line(*outcome).c_str()));
  SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  ShowProgress();
  StartNext();
}

void UpgradeWindow::ShowProgress() {
  SendMessageW(progress_, PBM_SETRANGE32, 0, std::max(total_, 1));
  SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(done_), 0);
  std::wstring title = kTitle;
  if (total_ > 0) {
    title += L" - " + std::to_wstring(done_) + L" of " + std::to_wstring(total_) + L" done, " +
             std::to_wstring(upgraded_) + L" upgraded";
  }
  SetWindowTextW(window_, title.c_str());
}

void UpgradeWindow::DropWorker() {
  if (worker_.joinable()) worker_.join();
  MSG message;
  while (PeekMessageW(&message, window_, kUpgradeDone, kUpgradeDone, PM_REMOVE)) {
    delete reinterpret_cast<Outcome*>(message.lParam);
  }
}

}  // namespace lumen::tools
