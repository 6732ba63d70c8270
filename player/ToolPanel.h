#pragma once

#include <windows.h>

#include <array>
#include <memory>

#include "player/PictureButton.h"

namespace lumen::player {

// The tool bar under the movie (pnlTool): a raised 1-pixel bevel, the stretched background picture
// inside it (imgTool) and the button group (pnlControl: play, stop, full screen), which stays
// centred at every size. Paints through an off-screen buffer when double buffering is on. Its
// sizes are those at 96 DPI, scaled with the DPI of its monitor.
class TToolPanel {
 public:
  static constexpr int kHeight = 35;
  static constexpr int kMinWidth = 300;
  static constexpr SIZE kControlSize = {169, 25};  // pnlControl
  static constexpr int kButtonStep = 72;

  TToolPanel(HWND parent, HINSTANCE instance, UINT dpi);
  ~TToolPanel();
  TToolPanel(const TToolPanel&) = delete;
  TToolPanel& operator=(const TToolPanel&) = delete;

  HWND Handle() const { return handle_; }
  void SetBounds(const RECT& bounds);
  void SetVisible(bool visible);
  bool Visible() const;
  void SetDoubleBuffered(bool on) { double_buffered_ = on; }
  // Scales the panel and its buttons for a monitor of `dpi`.
  void SetDpi(UINT dpi);
  // kHeight and kMinWidth at the panel's DPI.
  int Height() const;
  int MinWidth() const;

  TPictureButton& btnPlay() { return *buttons_[0]; }
  TPictureButton& btnStop() { return *buttons_[1]; }
  TPictureButton& btnFullSize() { return *buttons_[2]; }
  // Repaints after a change of the buttons' states.
  void Invalidate();

 private:
  template <typename T>
  friend LRESULT CALLBACK OwnerWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Layout();
  void Paint(HDC dc, const RECT& client);
  void MouseMove(POINT point);
  void MouseLeave();
  void MouseDown(POINT point);
  void MouseUp(POINT point);

  HWND handle_ = nullptr;
  HBITMAP background_ = nullptr;  // imgTool's picture
  std::array<std::unique_ptr<TPictureButton>, 3> buttons_;
  UINT dpi_;
  bool double_buffered_ = false;
  bool tracking_ = false;
};

}  // namespace lumen::player
