#pragma once

#include <windows.h>

namespace lumen::player {

// Answers WM_PAINT for `window`: `paint(dc, client)` draws the whole client area, straight onto
// the window or, when `double_buffered`, into an off-screen bitmap copied over in one go.
template <typename PaintFunction>
void PaintWindow(HWND window, bool double_buffered, PaintFunction&& paint) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  if (double_buffered) {
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ old = SelectObject(buffer, bitmap);
    paint(buffer, client);
    BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, old);
    DeleteObject(bitmap);
    DeleteDC(buffer);
  } else {
    paint(dc, client);
  }
  EndPaint(window, &ps);
}

}  // namespace lumen::player
