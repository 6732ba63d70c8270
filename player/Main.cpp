#include "player/Main.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "dpi/DpiAwareness.h"
#include "player/MovieTrailer.h"
#include "player/Painting.h"
#include "player/PlayerNames.h"
#include "player/Resources.h"
#include "player/SystemPaths.h"
#include "stream/SystemMessage.h"
#include "swf/SWFStreamReader.h"

namespace lumen::player {

namespace {

constexpr wchar_t kClassName[] = L"LumenReelPlayer";
constexpr DWORD kSizeableStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kBorderlessStyle = WS_POPUP;
constexpr UINT_PTR kDoubleClickHook = 1;

void RegisterFormClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  if (GetClassInfoExW(instance, kClassName, &window_class)) return;
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(LUMEN_MAIN_ICON));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(LUMEN_MAIN_ICON),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExW(&window_class)) throw std::runtime_error(SystemMessage(GetLastError()));
}

}  // namespace

// TShockwaveFlash

TShockwaveFlash::~TShockwaveFlash() {
  if (hooked_) RemoveWindowSubclass(hooked_, SubclassProc, kDoubleClickHook);
}

void TShockwaveFlash::WindowChanged(HWND window) {
  if (hooked_) RemoveWindowSubclass(hooked_, SubclassProc, kDoubleClickHook);
  hooked_ = nullptr;
  if (window && SetWindowSubclass(window, SubclassProc, kDoubleClickHook,
                                  reinterpret_cast<DWORD_PTR>(this))) {
    hooked_ = window;
  }
}

LRESULT CALLBACK TShockwaveFlash::SubclassProc(HWND window, UINT message, WPARAM wparam,
                                               LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<TShockwaveFlash*>(data);
  if (message == WM_LBUTTONDBLCLK && self->OnDblClick) {
    TApplication::Guard([&] { self->OnDblClick(*self); });
  } else if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, SubclassProc, kDoubleClickHook);
    self->hooked_ = nullptr;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

// TMainForm: creation and destruction

TMainForm::TMainForm(TApplication& application, HINSTANCE instance) : application_(application) {
  RegisterFormClass(instance, OwnerWindowProc<TMainForm>);
  RECT outer{0, 0, kDesignClientSize.cx, kDesignClientSize.cy};
  AdjustWindowRectEx(&outer, kSizeableStyle, FALSE, WS_EX_APPWINDOW);
  handle_ =
      CreateWindowExW(WS_EX_APPWINDOW, kClassName, L"Lumenreel", kSizeableStyle | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, instance, this);
  if (!handle_) throw std::runtime_error(SystemMessage(GetLastError()));
  // The window's monitor is known only now; the design size was measured at 96 DPI.
  dpi_ = dpi::WindowDpi(handle_);
  SetClientSize(Scaled(kDesignClientSize.cx), Scaled(kDesignClientSize.cy));
  CreateFormFont();

  pnlTool = std::make_unique<TToolPanel>(handle_, instance, dpi_);
  pnlTool->btnPlay().OnClick = [this] { btnPlayClick(); };
  pnlTool->btnStop().OnClick = [this] { btnStopClick(); };
  pnlTool->btnFullSize().OnClick = [this] { btnFullSizeClick(); };
  sfMovie = std::make_unique<TShockwaveFlash>(handle_);
  Realign();
  sfMovie->CreateWnd();
  application_.SetShortCutHandler([this](const MSG& message) { return FormShortCut(message); });

  TApplication::Guard([this] { FormCreate(); });
}

TMainForm::~TMainForm() {
  application_.SetShortCutHandler(nullptr);
  if (handle_) DestroyWindow(handle_);
  DeleteObject(font_);
}

void TMainForm::FormCreate() {
  const std::wstring executable = ModuleFileName(nullptr);
  FMovieFile = MovieFileFor(GetTempFolder(), executable);
  if (!ExtractMovie(executable, FMovieFile)) {
    application_.Terminate();
    return;
  }
  movie_written_ = true;
  double_buffered_ = true;
  pnlTool->SetDoubleBuffered(true);
  SetWindowTextW(handle_, CaptionFor(executable).c_str());
  {
    TSWFStreamReader reader{std::filesystem::path(FMovieFile)};
    SetClientSize(Scaled(reader.MovieWidth()), Scaled(reader.MovieHeight()) + pnlTool->Height());
  }
  sfMovie->OnDblClick = [this](TObject& sender) { ToggleFullScreen(sender); };
  sfMovie->SetMovie(FMovieFile);
  SetRunning(true);
}

// Only a file this process wrote is deleted: without a trailer nothing was written, and a file of
// the same name may belong to another running copy.
void TMainForm::FormDestroy() {
  if (movie_written_) DeleteFileW(FMovieFile.c_str());
}

void TMainForm::Destroyed() {
  // Keys still queued behind the close must not reach a form without its controls.
  application_.SetShortCutHandler(nullptr);
  TApplication::Guard([this] { FormDestroy(); });
  sfMovie.reset();
  pnlTool.reset();
  PostQuitMessage(0);
}

void TMainForm::Show() {
  if (!shown_) {
    RECT outer;
    GetWindowRect(handle_, &outer);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    SetWindowPos(handle_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    shown_ = true;
  }
  ShowWindow(handle_, SW_SHOWNORMAL);
  UpdateWindow(handle_);
}

// TMainForm: messages

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
      Realign();
      if (sfMovie) FormResize();
      return 0;
    case WM_GETMINMAXINFO: {
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      const SIZE minimum = MinOuterSize();
      limits->ptMinTrackSize = {minimum.cx, minimum.cy};
      return 0;
    }
    case WM_WINDOWPOSCHANGING: {
      // Sizes set by code obey the same minimums as dragging.
      auto* position = reinterpret_cast<WINDOWPOS*>(lparam);
      if (!(position->flags & SWP_NOSIZE) && !IsZoomed(handle_) && !IsIconic(handle_)) {
        const SIZE minimum = MinOuterSize();
        position->cx = std::max<int>(position->cx, minimum.cx);
        position->cy = std::max<int>(position->cy, minimum.cy);
      }
      return DefWindowProcW(handle_, message, wparam, lparam);
    }
    case WM_ERASEBKGND:
      return double_buffered_ ? 1 : DefWindowProcW(handle_, message, wparam, lparam);
    case WM_PAINT:
      Paint();
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(font_);
    case WM_DPICHANGED:
      DpiChanged(HIWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
      return 0;
    case WM_SETFOCUS:
      // As a form hands the focus to its first control: the movie hears the keys.
      if (sfMovie && sfMovie->Handle() && IsWindowVisible(sfMovie->Handle())) {
        SetFocus(sfMovie->Handle());
      }
      return 0;
    case WM_DESTROY:
      Destroyed();
      return 0;
    case WM_NCDESTROY: {
      HWND window = handle_;
      handle_ = nullptr;
      return DefWindowProcW(window, message, wparam, lparam);
    }
    default:
      return DefWindowProcW(handle_, message, wparam, lparam);
  }
}

void TMainForm::Paint() {
  PaintWindow(handle_, double_buffered_, [](HDC dc, const RECT& client) {
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  });
}

// Docking: the tool panel along the bottom edge while shown, the movie in the rest.
void TMainForm::Realign() {
  if (!pnlTool || !sfMovie) return;
  RECT client;
  GetClientRect(handle_, &client);
  RECT movie = client;
  if (pnlTool->Visible()) {
    movie.bottom = std::max<LONG>(client.top, client.bottom - pnlTool->Height());
    pnlTool->SetBounds({client.left, movie.bottom, client.right, client.bottom});
  }
  sfMovie->SetBounds(movie);
}

void TMainForm::FormResize() {
  sfMovie->CreateWnd();
}

int TMainForm::Scaled(int pixels) const {
  return dpi::Scale(pixels, dpi_);
}

SIZE TMainForm::OuterSize(int client_width, int client_height) const {
  return dpi::OuterSize({client_width, client_height},
                        static_cast<DWORD>(GetWindowLongW(handle_, GWL_STYLE)),
                        static_cast<DWORD>(GetWindowLongW(handle_, GWL_EXSTYLE)), dpi_);
}

SIZE TMainForm::MinOuterSize() const {
  return {OuterSize(Scaled(TToolPanel::kMinWidth), 0).cx, Scaled(kMinOuterHeight)};
}

void TMainForm::SetClientSize(int width, int height) {
  const SIZE outer = OuterSize(width, height);
  SetWindowPos(handle_, nullptr, 0, 0, outer.cx, outer.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Tahoma 8 pt, whose height is 11 pixels at 96 DPI.
void TMainForm::CreateFormFont() {
  if (font_) DeleteObject(font_);
  font_ = CreateFontW(-Scaled(11), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                      OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, L"Tahoma");
}

// The window moved to a monitor of another DPI (or the monitor's DPI changed): the system
// suggests bounds that keep the window's look, and everything is scaled anew.
void TMainForm::DpiChanged(UINT dpi, const RECT& suggested) {
  dpi_ = dpi;
  CreateFormFont();
  if (pnlTool) pnlTool->SetDpi(dpi);
  SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  Realign();
}

// TMainForm: play, stop and full screen

void TMainForm::SetRunning(bool running) {
  pnlTool->btnPlay().SetEnabled(!running);
  pnlTool->btnStop().SetEnabled(running);
  pnlTool->btnFullSize().SetEnabled(running);
  pnlTool->Invalidate();
}

void TMainForm::btnPlayClick() {
  if (!FileExists(sfMovie->Movie())) sfMovie->SetMovie(FMovieFile);
  SetRunning(true);
}

void TMainForm::btnStopClick() {
  sfMovie->SetMovie(L" ");
  SetRunning(false);
}

void TMainForm::btnFullSizeClick() {
  EnterFullScreen();
}

bool TMainForm::IsFullScreen() const {
  return !(GetWindowLongW(handle_, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
}

void TMainForm::SetBorderSizeable(bool sizeable) {
  auto style = static_cast<DWORD>(GetWindowLongW(handle_, GWL_STYLE));
  style &= ~(kSizeableStyle | kBorderlessStyle);
  style |= sizeable ? kSizeableStyle : kBorderlessStyle;
  SetWindowLongW(handle_, GWL_STYLE, static_cast<LONG>(style));
  SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::EnterFullScreen() {
  if (!pnlTool->btnFullSize().Enabled()) return;
  pnlTool->SetVisible(false);
  Realign();
  RECT outer;
  GetWindowRect(handle_, &outer);
  FSavedLeft = outer.left;
  FSavedTop = outer.top;
  FSavedWidth = outer.right - outer.left;
  FSavedHeight = outer.bottom - outer.top;
  // A window the user maximised is restored first, so that maximising again fits the new frame.
  if (IsZoomed(handle_)) ShowWindow(handle_, SW_RESTORE);
  SetBorderSizeable(false);
  ShowWindow(handle_, SW_MAXIMIZE);
}

void TMainForm::LeaveFullScreen() {
  pnlTool->SetVisible(true);
  Realign();
  application_.ProcessMessages();
  if (!handle_) return;  // a close request handled just now destroyed the window
  ShowWindow(handle_, SW_SHOWNORMAL);
  SetBorderSizeable(true);
  SetWindowPos(handle_, nullptr, FSavedLeft, FSavedTop, FSavedWidth, FSavedHeight,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::ToggleFullScreen(TObject&) {
  if (!IsFullScreen()) {
    EnterFullScreen();
  } else {
    LeaveFullScreen();
  }
}

// Alt comes from the key data and, as well, from the keyboard state: a Ctrl+Alt combination can
// arrive as WM_KEYDOWN, whose key data need not carry the Alt bit, and must not pass for Ctrl+F.
bool TMainForm::FormShortCut(const MSG& message) {
  if (message.wParam == VK_ESCAPE && IsFullScreen()) LeaveFullScreen();
  const KeyChord chord{static_cast<uint16_t>(message.wParam), GetKeyState(VK_SHIFT) < 0,
                       GetKeyState(VK_CONTROL) < 0,
                       (message.lParam & (1 << 29)) != 0 || GetKeyState(VK_MENU) < 0};
  if (ShortCutText(chord) != kFullScreenShortCut) return false;
  ToggleFullScreen(*this);
  return true;
}

}  // namespace lumen::player
