#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "player/Application.h"
#include "player/FlashControl.h"
#include "player/ToolPanel.h"

namespace lumen::player {

class TObject {
 public:
  virtual ~TObject() = default;
};

// A notification: the handler receives the sender.
using TNotifyEvent = std::function<void(TObject& sender)>;

// The player's movie control: reports left double-clicks on the control's window and lets the main
// window run the in-place activation again.
class TShockwaveFlash : public TObject, public TFlashControl {
 public:
  using TFlashControl::TFlashControl;
  ~TShockwaveFlash() override;

  TNotifyEvent OnDblClick;
  using TFlashControl::CreateWnd;

 protected:
  void WindowChanged(HWND window) override;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);
  HWND hooked_ = nullptr;
};

// The player's main window: the movie above a 35-pixel tool bar with play, stop and full screen.
// Its sizes are those at 96 DPI, scaled with the DPI of the monitor it is on; the movie fills its
// area at the monitor's own resolution.
class TMainForm : public TObject {
 public:
  static constexpr SIZE kDesignClientSize = {640, 515};
  static constexpr int kMinOuterHeight = 240;

  // Creates the window and its controls (hidden), then runs FormCreate.
  TMainForm(TApplication& application, HINSTANCE instance);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  HWND Handle() const { return handle_; }
  // Shows the window, centred on the screen the first time.
  void Show();

 private:
  template <typename T>
  friend LRESULT CALLBACK OwnerWindowProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  void FormCreate();
  void FormDestroy();
  void FormResize();
  bool FormShortCut(const MSG& message);
  void btnPlayClick();
  void btnStopClick();
  void btnFullSizeClick();
  void EnterFullScreen();
  void LeaveFullScreen();
  void ToggleFullScreen(TObject& sender);

  void SetRunning(bool running);
  bool IsFullScreen() const;
  void SetBorderSizeable(bool sizeable);
  void SetClientSize(int width, int height);
  SIZE MinOuterSize() const;
  SIZE OuterSize(int client_width, int client_height) const;
  // A length at 96 DPI, at the window's DPI.
  int Scaled(int pixels) const;
  void DpiChanged(UINT dpi, const RECT& suggested);
  void CreateFormFont();
  void Realign();
  void Paint();
  void Destroyed();

  TApplication& application_;
  HWND handle_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  bool double_buffered_ = false;
  bool shown_ = false;
  bool movie_written_ = false;  // the temporary movie file is ours to delete

  std::wstring FMovieFile;
  int32_t FSavedLeft = 0;
  int32_t FSavedTop = 0;
  int32_t FSavedWidth = 0;
  int32_t FSavedHeight = 0;

  std::unique_ptr<TToolPanel> pnlTool;
  std::unique_ptr<TShockwaveFlash> sfMovie;
};

}  // namespace lumen::player
