#include <windows.h>

#include "dpi/DpiAwareness.h"
#include "screensaver/framework/CloseRules.h"
#include "screensaver/framework/CommandLine.h"
#include "screensaver/framework/ScreenSaver.h"

namespace lumen::scrnsave {
namespace {

constexpr int kExitFailure = -1;

// The one screen-saver window of the process and what the closing rules need to remember.
struct SaverState {
  HINSTANCE instance = nullptr;
  bool full_screen = false;
  POINT cursor{};
  BYTE mains = 255;  // ACLineStatus at creation
};

SaverState g_state;

BYTE MainsStatus() {
  SYSTEM_POWER_STATUS status{};
  return GetSystemPowerStatus(&status) ? status.ACLineStatus : 255;
}

void RequestClose(HWND window) {
  PostMessageW(window, WM_CLOSE, 0, 0);
}

void CheckCursor(HWND window) {
  POINT now;
  if (!GetCursorPos(&now)) return;
  if (MovedTooFar(g_state.cursor.x, g_state.cursor.y, now.x, now.y)) {
    g_state.cursor = now;
    RequestClose(window);
  }
}

// The framework's own handling of full-screen input; answers whether the message ends here.
bool HandleFullScreenInput(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      RequestClose(window);
      break;
    case WM_MOUSEMOVE:
      CheckCursor(window);
      break;
    case WM_ACTIVATEAPP:
      if (!wparam) RequestClose(window);
      break;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_MONITORPOWER) RequestClose(window);
      break;
    case WM_POWERBROADCAST: {
      const BYTE mains = MainsStatus();
      if (PowerNoticeEnds(static_cast<uint32_t>(wparam), static_cast<uintptr_t>(lparam),
                          mains != g_state.mains)) {
        RequestClose(window);
      }
      g_state.mains = mains;
      break;
    }
    default:
      break;
  }
  return false;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      GetCursorPos(&g_state.cursor);
      g_state.mains = MainsStatus();
      if (g_state.full_screen) ShowCursor(FALSE);
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (!g_state.full_screen) {
        return SendMessageW(GetParent(window), message, wparam, lparam);
      }
      break;
    default:
      if (g_state.full_screen) HandleFullScreenInput(window, message, wparam, lparam);
      break;
  }
  return ScreenSaverProc(window, message, wparam, lparam);
}

bool RegisterSaverClass() {
  WNDCLASSW saver{};
  saver.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_OWNDC;
  saver.lpfnWndProc = &SaverWindowProc;
  saver.hInstance = g_state.instance;
  saver.hIcon = LoadIconW(g_state.instance, MAKEINTRESOURCEW(kIconId));
  saver.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  saver.lpszClassName = kWindowClass;
  return RegisterClassW(&saver) != 0;
}

int RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

RECT FullScreenRect() {
  RECT rect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width == 0 || height == 0) {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  rect.right = rect.left + width;
  rect.bottom = rect.top + height;
  return rect;
}

int RunFullScreen() {
  if (HWND running = FindWindowW(kWindowClass, kFullScreenTitle)) {
    SetForegroundWindow(running);
    return 0;
  }
  g_state.full_screen = true;
  if (!RegisterSaverClass()) return kExitFailure;
  const RECT rect = FullScreenRect();
  HWND window = CreateWindowExW(WS_EX_TOPMOST, kWindowClass, kFullScreenTitle,
                                WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                nullptr, nullptr, g_state.instance, nullptr);
  if (!window) return kExitFailure;
  SetForegroundWindow(window);
  return RunMessageLoop();
}

int RunPreview(uint32_t handle) {
  HWND parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(handle));
  if (!parent || !IsWindow(parent)) return kExitFailure;
  if (!RegisterSaverClass()) return kExitFailure;
  RECT client{};
  GetClientRect(parent, &client);
  HWND window =
      CreateWindowExW(0, kWindowClass, kPreviewTitle, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                      client.right, client.bottom, parent, nullptr, g_state.instance, nullptr);
  if (!window) return kExitFailure;
  return RunMessageLoop();
}

HWND OwnerWindow(const SaverCommand& command) {
  switch (command.owner) {
    case Owner::None:
      return nullptr;
    case Owner::Given: {
      HWND given = reinterpret_cast<HWND>(static_cast<uintptr_t>(command.window));
      if (given && IsWindow(given)) return given;
      return GetForegroundWindow();
    }
    case Owner::Foreground:
      break;
  }
  return GetForegroundWindow();
}

INT_PTR CALLBACK ConfigureDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  return ScreenSaverConfigureDialog(dialog, message, wparam, lparam);
}

int RunConfigure(const SaverCommand& command) {
  const HWND owner = OwnerWindow(command);
  if (!RegisterDialogClasses(g_state.instance)) return kExitFailure;
  // The program may carry no dialog template; then nothing is shown and the program just ends.
  DialogBoxParamW(g_state.instance, MAKEINTRESOURCEW(kConfigureDialogId), owner,
                  &ConfigureDialogProc, 0);
  return 0;
}

// The password belongs to the screen-saver settings of the Windows 95/98/Me platform only.
int RunChangePassword(const SaverCommand& command) {
  if (!(GetVersion() & 0x80000000u)) return kExitFailure;
  HMODULE library = LoadLibraryW(L"MPR.DLL");
  if (!library) return kExitFailure;
  using ChangePassword = DWORD(WINAPI*)(LPCSTR, HWND, DWORD, LPVOID);
  auto change = reinterpret_cast<ChangePassword>(
      reinterpret_cast<void*>(GetProcAddress(library, "PwdChangePasswordA")));
  if (change) change("SCRSAVE", OwnerWindow(command), 0, nullptr);
  FreeLibrary(library);
  return 0;
}

}  // namespace

int Run(HINSTANCE instance, const wchar_t* command_line) {
  // The full-screen window covers every monitor in its real pixels; the manifest says so too,
  // where the system reads it.
  dpi::DeclarePerMonitorAwareness();
  g_state.instance = instance;
  const SaverCommand command = ParseCommandLine(command_line ? command_line : L"");
  switch (command.mode) {
    case SaverMode::FullScreen:
      return RunFullScreen();
    case SaverMode::Preview:
      return RunPreview(command.window);
    case SaverMode::Configure:
      return RunConfigure(command);
    case SaverMode::ChangePassword:
      return RunChangePassword(command);
    case SaverMode::Invalid:
      break;
  }
  return kExitFailure;
}

}  // namespace lumen::scrnsave

LRESULT WINAPI DefScreenSaverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  using lumen::scrnsave::g_state;
  if (g_state.full_screen) {
    switch (message) {
      case WM_SETCURSOR:
        SetCursor(nullptr);
        return TRUE;
      case WM_SYSCOMMAND:
        // Another screen-saver start or a window switch would bring something over the saver.
        switch (wparam & 0xFFF0) {
          case SC_SCREENSAVE:
          case SC_NEXTWINDOW:
          case SC_PREVWINDOW:
          case SC_TASKLIST:
            return 0;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int) {
  return lumen::scrnsave::Run(instance, command_line);
}
