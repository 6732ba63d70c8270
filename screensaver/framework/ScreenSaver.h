#pragma once

// The screen-saver framework. It supplies the program's entry, reads the command line, makes the
// "WindowsScreenSaverClass" window (full screen or preview) and ends on user input; the program
// supplies the three entry points below and forwards what it does not handle to
// DefScreenSaverProc.
#include <windows.h>

// Supplied by the program.
LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
BOOL WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
BOOL WINAPI RegisterDialogClasses(HANDLE instance);

// Supplied by the framework: the default processing of the screen-saver window.
LRESULT WINAPI DefScreenSaverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

namespace lumen::scrnsave {

inline constexpr wchar_t kWindowClass[] = L"WindowsScreenSaverClass";
inline constexpr wchar_t kFullScreenTitle[] = L"Screen Saver";
inline constexpr wchar_t kPreviewTitle[] = L"Preview";
inline constexpr int kIconId = 100;
inline constexpr int kConfigureDialogId = 2003;

}  // namespace lumen::scrnsave
