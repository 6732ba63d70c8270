#include "dpi/DpiAwareness.h"

#include <shellscalingapi.h>

#include <initializer_list>

namespace lumen::dpi {
namespace {

template <typename Function>
Function Export(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

template <typename Function>
Function UserExport(const char* name) {
  return Export<Function>(GetModuleHandleW(L"user32.dll"), name);
}

// Windows 10 from its 1703 update; version 1 where version 2 is unknown (Wine 8). Answers whether
// the process's awareness is settled: set now, or declared before (by the manifest) and so fixed.
bool SetAwarenessContext() {
  using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const auto set = UserExport<SetContext>("SetProcessDpiAwarenessContext");
  if (!set) return false;
  for (DPI_AWARENESS_CONTEXT context :
       {DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE}) {
    if (set(context) || GetLastError() == ERROR_ACCESS_DENIED) return true;
  }
  return false;
}

// Windows 8.1.
bool SetShellAwareness() {
  HMODULE shcore = LoadLibraryW(L"shcore.dll");
  using SetAwareness = HRESULT(WINAPI*)(PROCESS_DPI_AWARENESS);
  const auto set = Export<SetAwareness>(shcore, "SetProcessDpiAwareness");
  const HRESULT result = set ? set(PROCESS_PER_MONITOR_DPI_AWARE) : E_NOTIMPL;
  if (shcore) FreeLibrary(shcore);
  return SUCCEEDED(result) || result == E_ACCESSDENIED;
}

}  // namespace

void DeclarePerMonitorAwareness() {
  if (SetAwarenessContext() || SetShellAwareness()) return;
  SetProcessDPIAware();
}

void ScaleNonClientArea(HWND window) {
  using EnableScaling = BOOL(WINAPI*)(HWND);
  static const auto enable_scaling = UserExport<EnableScaling>("EnableNonClientDpiScaling");
  if (enable_scaling) enable_scaling(window);
}

UINT WindowDpi(HWND window) {
  using GetDpi = UINT(WINAPI*)(HWND);
  static const auto get_dpi = UserExport<GetDpi>("GetDpiForWindow");
  if (get_dpi) {
    if (const UINT dpi = get_dpi(window)) return dpi;
  }
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust_for_dpi = UserExport<AdjustForDpi>("AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (!adjust_for_dpi || !adjust_for_dpi(&rect, style, FALSE, ex_style, dpi)) {
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  }
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace lumen::dpi
