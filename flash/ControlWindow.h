#pragma once

#include <windows.h>

#include "flash/MovieEngine.h"

namespace lumen::flash {

class FlashControl;

// The control's child window: it paints through a DIB section the size of its client area and
// carries the frame timer. Its class has double clicks on, and its procedure keeps the control in
// the window's user data, so a host may subclass the window and still let ours run.
class ControlWindow {
 public:
  static constexpr wchar_t kClassName[] = L"LumenFlashControl";

  ControlWindow(FlashControl& owner, HWND parent, const RECT& rect);
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;
  ~ControlWindow();

  HWND Handle() const { return window_; }
  void Move(const RECT& rect);
  void ScheduleTimer(UINT milliseconds);
  void CancelTimer();
  void Invalidate();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();
  PixelTarget Canvas(int width, int height);
  void FreeCanvas();

  FlashControl& owner_;
  HWND window_ = nullptr;
  HBITMAP canvas_ = nullptr;
  uint32_t* canvas_pixels_ = nullptr;
  int canvas_width_ = 0;
  int canvas_height_ = 0;
};

}  // namespace lumen::flash
