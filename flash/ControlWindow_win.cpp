#include "flash/ControlWindow.h"

#include <windowsx.h>

#include <algorithm>

#include <mmsystem.h>

#include "flash/FlashControl.h"

namespace lumen::flash {
namespace {

constexpr UINT_PTR kFrameTimer = 1;

void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, ControlWindow::kClassName, &existing)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  // A new size scales the whole picture, so all of it is painted again, not only the new edges.
  window_class.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = ControlWindow::kClassName;
  RegisterClassExW(&window_class);
}

}  // namespace

ControlWindow::ControlWindow(FlashControl& owner, HWND parent, const RECT& rect) : owner_(owner) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(instance);
  window_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rect.left,
                            rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                            nullptr, instance, nullptr);
  if (!window_) return;
  // The procedure is set only after creation, so no message reaches it before `this` is known.
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
}

ControlWindow::~ControlWindow() {
  CancelTimer();
  // WM_NCDESTROY tells the control and frees the canvas.
  if (window_) DestroyWindow(window_);
  FreeCanvas();
}

void ControlWindow::Move(const RECT& rect) {
  if (window_) {
    MoveWindow(window_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  }
}

void ControlWindow::ScheduleTimer(UINT milliseconds) {
  if (!window_) return;
  // Window timers tick in steps of the system's timer period, 10-16 ms unless a finer one is
  // asked for: too coarse for an even frame rate. The finer period is held only while playing.
  // (A multimedia timer thread would be finer still, but costs more CPU time per tick.)
  if (!fine_period_) fine_period_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  SetTimer(window_, kFrameTimer, std::max<UINT>(milliseconds, USER_TIMER_MINIMUM), nullptr);
}

void ControlWindow::CancelTimer() {
  if (window_) KillTimer(window_, kFrameTimer);
  if (fine_period_) timeEndPeriod(1);
  fine_period_ = false;
}

void ControlWindow::Invalidate() {
  canvas_current_ = false;
  if (window_) InvalidateRect(window_, nullptr, FALSE);
}

bool ControlWindow::Present() {
  if (!window_ || !IsWindowVisible(window_)) return false;
  const PixelTarget target = Canvas();
  if (!target.pixels) return false;
  const PixelRect part = owner_.Draw(target, canvas_current_);
  canvas_current_ = true;
  if (part.Empty()) return false;
  HDC dc = GetDC(window_);
  Blit(dc, part);
  ReleaseDC(window_, dc);
  return true;
}

LRESULT CALLBACK ControlWindow::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->Handle(message, wparam, lparam);
}

LRESULT ControlWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the paint covers every pixel
    case WM_PAINT:
      Paint();
      return 0;
    case WM_TIMER:
      if (wparam != kFrameTimer) break;
      KillTimer(window_, kFrameTimer);  // one tick; the control schedules the next
      owner_.OnFrameTimer();
      return 0;
    case WM_CONTEXTMENU: {
      POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      if (at.x == -1 && at.y == -1) {  // from the keyboard: at the window's corner
        at = {0, 0};
        ClientToScreen(window_, &at);
      }
      owner_.OnContextMenu(window_, at);
      return 0;
    }
    case WM_LBUTTONDOWN:
      // The movie hears the keys from the click on. A zoomed picture is dragged; otherwise the
      // movie's buttons take the press, and the capture brings them the release outside the
      // window too.
      if (GetFocus() != window_) SetFocus(window_);
      if (owner_.Zoomed()) {
        dragging_ = true;
        drag_from_ = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      } else {
        pressing_ = true;
        owner_.OnPointerButton({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}, true);
      }
      SetCapture(window_);
      return 0;
    case WM_LBUTTONDBLCLK:
      // The second press of a double click; the click itself goes on to the window's default.
      if (!owner_.Zoomed()) {
        pressing_ = true;
        owner_.OnPointerButton({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}, true);
        SetCapture(window_);
      }
      break;
    case WM_MOUSEMOVE:
      if (dragging_) {
        Drag(lparam);
      } else {
        TrackLeave();
        owner_.OnPointerMove({GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)});
      }
      return 0;
    case WM_MOUSELEAVE:
      tracking_leave_ = false;
      if (!pressing_) owner_.OnPointerLeave();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lparam) != HTCLIENT) break;
      SetCursor(PointerShape());
      return TRUE;
    case WM_GETDLGCODE:
      return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTCHARS;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      owner_.OnKeyDown(static_cast<uint32_t>(wparam), TypedCharacter());
      // With Alt held the system's own keys (closing the window, its menu) still work.
      if (message == WM_SYSKEYDOWN) break;
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      owner_.OnKeyUp(static_cast<uint32_t>(wparam));
      if (message == WM_SYSKEYUP) break;
      return 0;
    case WM_KILLFOCUS:
      owner_.OnFocusLost();
      break;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      dragging_ = false;
      if (pressing_) {
        pressing_ = false;
        const POINT at = message == WM_LBUTTONUP ? POINT{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)}
                                                 : LastPointer();
        owner_.OnPointerButton(at, false);
      }
      if (message == WM_LBUTTONUP) ReleaseCapture();
      return 0;
    case WM_NCDESTROY: {
      CancelTimer();
      HWND window = window_;
      window_ = nullptr;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      FreeCanvas();
      owner_.OnWindowDestroyed();
      return DefWindowProcW(window, message, wparam, lparam);
    }
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void ControlWindow::TrackLeave() {
  if (tracking_leave_) return;
  TRACKMOUSEEVENT track{};
  track.cbSize = sizeof track;
  track.dwFlags = TME_LEAVE;
  track.hwndTrack = window_;
  tracking_leave_ = TrackMouseEvent(&track) != FALSE;
}

POINT ControlWindow::LastPointer() const {
  POINT at{};
  GetCursorPos(&at);
  ScreenToClient(window_, &at);
  return at;
}

// None while a script hides the pointer, a hand over a button, else the class's arrow.
HCURSOR ControlWindow::PointerShape() const {
  if (owner_.PointerHidden()) return nullptr;
  return LoadCursorW(nullptr, !dragging_ && owner_.HandCursor() ? IDC_HAND : IDC_ARROW);
}

void ControlWindow::RefreshCursor() {
  if (!window_) return;
  POINT at{};
  if (!GetCursorPos(&at) || WindowFromPoint(at) != window_) return;
  const HWND capture = GetCapture();
  if (capture != nullptr && capture != window_) return;
  SetCursor(PointerShape());
}

// The character the key being handled typed: the message loop's TranslateMessage posted it
// before the key's own message was dispatched. It stays queued; our procedure ignores it.
uint32_t ControlWindow::TypedCharacter() const {
  MSG typed;
  if (!PeekMessageW(&typed, window_, WM_CHAR, WM_CHAR, PM_NOREMOVE | PM_NOYIELD)) return 0;
  return static_cast<uint32_t>(typed.wParam);
}

void ControlWindow::Drag(LPARAM lparam) {
  const POINT to{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  RECT client;
  GetClientRect(window_, &client);
  owner_.OnDrag(to.x - drag_from_.x, to.y - drag_from_.y, client.right, client.bottom);
  drag_from_ = to;
}

void ControlWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  const PixelTarget target = Canvas();
  if (target.pixels) {
    owner_.Draw(target, canvas_current_);
    canvas_current_ = true;
    Blit(dc, {0, 0, target.width, target.height});
  }
  EndPaint(window_, &paint);
}

void ControlWindow::Blit(HDC dc, const PixelRect& part) {
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, canvas_);
  BitBlt(dc, part.left, part.top, part.right - part.left, part.bottom - part.top, memory, part.left,
         part.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

PixelTarget ControlWindow::Canvas() {
  RECT client;
  GetClientRect(window_, &client);
  const int width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return {};
  if (!canvas_ || width != canvas_width_ || height != canvas_height_) {
    FreeCanvas();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    canvas_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!canvas_) return {};
    canvas_pixels_ = static_cast<uint32_t*>(bits);
    canvas_width_ = width;
    canvas_height_ = height;
  }
  GdiFlush();  // the DIB's memory may be touched only once GDI has finished with it
  return {canvas_pixels_, canvas_width_, canvas_height_, canvas_width_};
}

void ControlWindow::FreeCanvas() {
  if (canvas_) DeleteObject(canvas_);
  canvas_ = nullptr;
  canvas_pixels_ = nullptr;
  canvas_width_ = canvas_height_ = 0;
  canvas_current_ = false;
}

}  // namespace lumen::flash
