#pragma once

#include <windows.h>

#include <exception>
#include <functional>

#include "dpi/DpiAwareness.h"

namespace lumen::player {

// The program's message loop and its default error handler.
class TApplication {
 public:
  // Sees every key-down message before it is dispatched to the focused window; answering true
  // consumes the key.
  using ShortCutHandler = std::function<bool(const MSG& message)>;

  void SetShortCutHandler(ShortCutHandler handler) { short_cut_ = std::move(handler); }

  // Runs until a quit request arrives.
  void Run();
  // Handles every message already waiting, then returns.
  void ProcessMessages();
  // Asks the message loop to end.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // The default error handler: shows the error's text in an error message box.
  static void ShowException(const std::exception& error);

  // Runs a handler; an error that escapes it is shown and the program goes on.
  template <typename Handler>
  static void Guard(Handler&& handler) {
    try {
      handler();
    } catch (const std::exception& error) {
      ShowException(error);
    }
  }

 private:
  // Handles one message; false when it was the quit request.
  bool HandleMessage(const MSG& message);

  ShortCutHandler short_cut_;
  bool terminated_ = false;
};

// The window procedure of a window owned by an object of class T: the object arrives as the
// creation parameter and is kept in the window's user data; T::HandleMessage answers the messages
// and an error escaping it goes to the application's handler.
template <typename T>
LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    if (!(create->style & WS_CHILD)) dpi::ScaleNonClientArea(window);
  }
  auto* owner = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!owner || !owner->Handle()) return DefWindowProcW(window, message, wparam, lparam);
  LRESULT result = 0;
  TApplication::Guard([&] { result = owner->HandleMessage(message, wparam, lparam); });
  return result;
}

}  // namespace lumen::player
