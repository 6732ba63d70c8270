#include "player/ToolPanel.h"

#include <windowsx.h>

#include <stdexcept>

#include "dpi/DpiAwareness.h"
#include "player/Application.h"
#include "player/Painting.h"
#include "player/Resources.h"
#include "stream/SystemMessage.h"

namespace lumen::player {

namespace {

constexpr wchar_t kClassName[] = L"LumenToolPanel";

void RegisterPanelClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  if (GetClassInfoExW(instance, kClassName, &window_class)) return;
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (!RegisterClassExW(&window_class)) throw std::runtime_error(SystemMessage(GetLastError()));
}

}  // namespace

TToolPanel::TToolPanel(HWND parent, HINSTANCE instance, UINT dpi) : dpi_(dpi) {
  RegisterPanelClass(instance, OwnerWindowProc<TToolPanel>);
  background_ = static_cast<HBITMAP>(LoadImageW(instance, kToolBackImage, IMAGE_BITMAP, 0, 0, 0));
  if (!background_) throw std::runtime_error(SystemMessage(GetLastError()));
  buttons_[0] = std::make_unique<TPictureButton>(instance, kPlayImages, dpi);
  buttons_[1] = std::make_unique<TPictureButton>(instance, kStopImages, dpi);
  buttons_[2] = std::make_unique<TPictureButton>(instance, kFullSizeImages, dpi);
  handle_ = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                            dpi::Scale(640, dpi), Height(), parent, nullptr, instance, this);
  if (!handle_) throw std::runtime_error(SystemMessage(GetLastError()));
}

TToolPanel::~TToolPanel() {
  DestroyWindow(handle_);
  DeleteObject(background_);
}

void TToolPanel::SetBounds(const RECT& bounds) {
  MoveWindow(handle_, bounds.left, bounds.top, bounds.right - bounds.left,
             bounds.bottom - bounds.top, TRUE);
}

void TToolPanel::SetDpi(UINT dpi) {
  dpi_ = dpi;
  for (auto& button : buttons_) button->SetDpi(dpi);
  Layout();
}

int TToolPanel::Height() const {
  return dpi::Scale(kHeight, dpi_);
}

int TToolPanel::MinWidth() const {
  return dpi::Scale(kMinWidth, dpi_);
}

void TToolPanel::SetVisible(bool visible) {
  ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE);
}

// The panel's own visibility; IsWindowVisible would also answer false while the form is hidden.
bool TToolPanel::Visible() const {
  return (GetWindowLongW(handle_, GWL_STYLE) & WS_VISIBLE) != 0;
}

void TToolPanel::Invalidate() {
  InvalidateRect(handle_, nullptr, FALSE);
}

LRESULT TToolPanel::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  const POINT point{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  switch (message) {
    case WM_SIZE:
      Layout();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      PaintWindow(handle_, double_buffered_,
                  [this](HDC dc, const RECT& client) { Paint(dc, client); });
      return 0;
    case WM_MOUSEMOVE:
      MouseMove(point);
      return 0;
    case WM_MOUSELEAVE:
      MouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
      MouseDown(point);
      return 0;
    case WM_LBUTTONUP:
      MouseUp(point);
      return 0;
    case WM_CAPTURECHANGED:
      for (auto& button : buttons_) {
        if (button->SetPressed(false)) Invalidate();
      }
      return 0;
    default:
      return DefWindowProcW(handle_, message, wparam, lparam);
  }
}

// pnlControl has no anchors, so it keeps its place in the middle of the panel.
void TToolPanel::Layout() {
  RECT client;
  GetClientRect(handle_, &client);
  const LONG left = (client.right - dpi::Scale(kControlSize.cx, dpi_)) / 2;
  const LONG top = (client.bottom - dpi::Scale(kControlSize.cy, dpi_)) / 2;
  const int step = dpi::Scale(kButtonStep, dpi_);
  for (size_t i = 0; i < buttons_.size(); ++i) {
    buttons_[i]->SetPosition({left + static_cast<LONG>(i) * step, top});
  }
  Invalidate();
}

void TToolPanel::Paint(HDC dc, const RECT& client) {
  RECT bevel = client;
  DrawEdge(dc, &bevel, BDR_RAISEDINNER, BF_RECT);
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, background_);
  BITMAP info;
  GetObjectW(background_, sizeof info, &info);
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchBlt(dc, 1, 1, client.right - 2, client.bottom - 2, source, 0, 0, info.bmWidth,
             info.bmHeight, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  for (const auto& button : buttons_) button->Paint(dc);
}

void TToolPanel::MouseMove(POINT point) {
  if (!tracking_) {
    TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, handle_, 0};
    tracking_ = TrackMouseEvent(&track) != FALSE;
  }
  for (auto& button : buttons_) {
    if (button->SetHot(button->Contains(point))) Invalidate();
  }
}

void TToolPanel::MouseLeave() {
  tracking_ = false;
  for (auto& button : buttons_) {
    if (button->SetHot(false)) Invalidate();
  }
}

void TToolPanel::MouseDown(POINT point) {
  for (auto& button : buttons_) {
    if (!button->Contains(point) || !button->Enabled()) continue;
    button->SetHot(true);
    button->SetPressed(true);
    SetCapture(handle_);
    Invalidate();
  }
}

void TToolPanel::MouseUp(POINT point) {
  TPictureButton* clicked = nullptr;
  for (auto& button : buttons_) {
    if (button->Pressed() && button->Contains(point)) clicked = button.get();
  }
  ReleaseCapture();  // clears every pressed state (WM_CAPTURECHANGED)
  if (clicked) clicked->Click();
}

}  // namespace lumen::player
