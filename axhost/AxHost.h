#pragma once

// A control host window in the manner of ATL's: a window of class "AtlAxWin90" creates, when it is
// created, the control named by its window text (a program identifier or "{CLSID}") from the
// program's class table, activates it in place over its client area and answers the registered
// message "WM_ATLGETCONTROL" with the control's IUnknown (one reference for the caller).
#include <windows.h>

namespace lumen::axhost {

inline constexpr wchar_t kHostClassName[] = L"AtlAxWin90";
inline constexpr wchar_t kGetControlMessage[] = L"WM_ATLGETCONTROL";

// Registers the host window class; registering again does nothing. Answers success.
BOOL AtlAxWinInit();

}  // namespace lumen::axhost
