#include "flash/ControlWindow.h"

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
  window_class.style = CS_DBLCLKS;
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
  if (window_) SetTimer(window_, kFrameTimer, milliseconds, nullptr);
}

void ControlWindow::CancelTimer() {
  if (window_) KillTimer(window_, kFrameTimer);
}

void ControlWindow::Invalidate() {
  if (window_) InvalidateRect(window_, nullptr, FALSE);
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
      if (wparam == kFrameTimer) {
        KillTimer(window_, kFrameTimer);
        owner_.OnFrameTimer();
        return 0;
      }
      break;
    case WM_NCDESTROY: {
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

void ControlWindow::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client;
  GetClientRect(window_, &client);
  const PixelTarget target = Canvas(client.right, client.bottom);
  if (target.pixels) {
    owner_.Draw(target);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, canvas_);
    BitBlt(dc, 0, 0, target.width, target.height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
  }
  EndPaint(window_, &paint);
}

PixelTarget ControlWindow::Canvas(int width, int height) {
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
}

}  // namespace lumen::flash
