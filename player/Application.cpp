#include "player/Application.h"

#include "stream/SystemMessage.h"

namespace lumen::player {

namespace {

bool IsKeyDown(const MSG& message) {
  return message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
}

}  // namespace

void TApplication::Run() {
  MSG message;
  while (!terminated_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) break;
    if (!HandleMessage(message)) break;
  }
}

void TApplication::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!HandleMessage(message)) {
      // Leave the quit request for the main loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
  }
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

bool TApplication::HandleMessage(const MSG& message) {
  if (message.message == WM_QUIT) {
    terminated_ = true;
    return false;
  }
  bool handled = false;
  if (IsKeyDown(message) && short_cut_) {
    // A copy, since the handler may replace itself (the form clears it when it is destroyed).
    const ShortCutHandler handler = short_cut_;
    Guard([&] { handled = handler(message); });
  }
  if (handled) return true;
  TranslateMessage(&message);
  DispatchMessageW(&message);
  return true;
}

void TApplication::ShowException(const std::exception& error) {
  const std::wstring text = WideFromUtf8(error.what());
  MessageBoxW(GetActiveWindow(), text.c_str(), L"Lumenreel", MB_OK | MB_ICONERROR);
}

}  // namespace lumen::player
