#pragma once

#include <windows.h>

#include "flash/MovieEngine.h"

namespace lumen::flash {

class FlashControl;

// The control's child window: it keeps the last drawn picture in a DIB section the size of its
// client area, puts it on screen, and carries the frame timer, the mouse (to the movie's
// buttons, with the hand cursor over them, or to drag a zoomed picture) and, once a click gave
// it the focus, the keyboard. Its class has double clicks on, and its procedure keeps the
// control in the window's user data, so a host may subclass the window and still let ours run.
class ControlWindow {
 public:
  static constexpr wchar_t kClassName[] = L"LumenFlashControl";

  ControlWindow(FlashControl& owner, HWND parent, const RECT& rect);
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;
  ~ControlWindow();

  HWND Handle() const { return window_; }
  void Move(const RECT& rect);
  // The frame timer: after `milliseconds` (at about 1 ms resolution) the control's OnFrameTimer
  // runs. Scheduling again replaces a pending tick.
  void ScheduleTimer(UINT milliseconds);
  void CancelTimer();
  // The picture must be drawn anew (a setting changed); it is, at the next paint.
  void Invalidate();
  // Draws the current frame into the picture and puts what changed on screen at once. Answers
  // whether anything changed.
  bool Present();
  // Shows the pointer the movie wants now, when it is over the window: a script or a tick may
  // change it under a pointer that does not move.
  void RefreshCursor();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Paint();
  void Blit(HDC dc, const PixelRect& part);
  void Drag(LPARAM lparam);
  // Asks for WM_MOUSELEAVE once the pointer is over the window.
  void TrackLeave();
  POINT LastPointer() const;
  HCURSOR PointerShape() const;
  uint32_t TypedCharacter() const;
  PixelTarget Canvas();
  void FreeCanvas();

  FlashControl& owner_;
  HWND window_ = nullptr;
  bool fine_period_ = false;  // holds a 1 ms system timer period
  HBITMAP canvas_ = nullptr;
  uint32_t* canvas_pixels_ = nullptr;
  int canvas_width_ = 0;
  int canvas_height_ = 0;
  bool canvas_current_ = false;  // the canvas holds the picture last drawn for these settings
  bool dragging_ = false;
  bool pressing_ = false;        // the left button went down on the movie
  bool tracking_leave_ = false;  // WM_MOUSELEAVE is asked for
  POINT drag_from_{};
};

}  // namespace lumen::flash
