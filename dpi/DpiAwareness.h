#pragma once

// The programs draw at their monitor's own resolution: they declare themselves DPI aware and
// scale their sizes, which are given at 96 DPI (100 %), with the DPI of the monitor a window is
// on. The functions for per-monitor awareness came with Windows 8.1 and 10; they are looked up
// at run time, so the programs still start where only system-wide awareness exists.

#include <windows.h>

namespace lumen::dpi {

inline constexpr UINT kBaseDpi = USER_DEFAULT_SCREEN_DPI;

// Per-monitor aware (version 2 where the system has it), else system aware. Runs before the
// process makes its first window; a declaration in the program's manifest comes first and stays.
void DeclarePerMonitorAwareness();

// Lets the frame and caption of a top-level window follow its DPI where the awareness does not
// do so by itself (per-monitor version 1 on Windows 10). Called on the window's WM_NCCREATE.
void ScaleNonClientArea(HWND window);

// The DPI of the monitor `window` is on; the system's DPI where windows have none of their own.
UINT WindowDpi(HWND window);

// A length given at kBaseDpi, at `dpi`, rounded to the nearest pixel.
inline int Scale(int pixels, UINT dpi) {
  return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

// The outer size of a window with these styles around a client area, its frame drawn at `dpi`.
SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi);

}  // namespace lumen::dpi
