#include "player/PictureButton.h"

#include <stdexcept>

#include "stream/SystemMessage.h"

namespace lumen::player {

namespace {

constexpr COLORREF kTransparent = RGB(128, 128, 0);

}  // namespace

TPictureButton::TPictureButton(HINSTANCE instance,
                               const std::array<const wchar_t*, ImageCount>& images) {
  for (size_t i = 0; i < images.size(); ++i) {
    bitmaps_[i] = static_cast<HBITMAP>(LoadImageW(instance, images[i], IMAGE_BITMAP, 0, 0, 0));
    if (!bitmaps_[i]) throw std::runtime_error(SystemMessage(GetLastError()));
  }
}

TPictureButton::~TPictureButton() {
  for (HBITMAP bitmap : bitmaps_) DeleteObject(bitmap);
}

void TPictureButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) pressed_ = false;
}

RECT TPictureButton::Bounds() const {
  return {position_.x, position_.y, position_.x + kSize, position_.y + kSize};
}

bool TPictureButton::Contains(POINT point) const {
  const RECT bounds = Bounds();
  return PtInRect(&bounds, point) != FALSE;
}

bool TPictureButton::SetHot(bool hot) {
  const Image before = CurrentImage();
  hot_ = hot;
  return CurrentImage() != before;
}

bool TPictureButton::SetPressed(bool pressed) {
  const Image before = CurrentImage();
  pressed_ = pressed && enabled_;
  return CurrentImage() != before;
}

void TPictureButton::Click() {
  if (enabled_ && OnClick) OnClick();
}

TPictureButton::Image TPictureButton::CurrentImage() const {
  if (!enabled_) return Disabled;
  if (pressed_ && hot_) return Down;
  return hot_ || pressed_ ? Hot : Up;
}

void TPictureButton::Paint(HDC dc) const {
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmaps_[CurrentImage()]);
  TransparentBlt(dc, position_.x, position_.y, kSize, kSize, source, 0, 0, kSize, kSize,
                 kTransparent);
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace lumen::player
