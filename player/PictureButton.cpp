#include "player/PictureButton.h"

#include <stdexcept>

#include "dpi/DpiAwareness.h"
#include "stream/SystemMessage.h"

namespace lumen::player {

namespace {

constexpr COLORREF kTransparent = RGB(128, 128, 0);

// The largest art scale whose pictures fit a cell of `cell` pixels; the smallest when none does.
size_t ArtScaleFor(int cell) {
  size_t chosen = 0;
  for (size_t i = 1; i < kArtScales.size(); ++i) {
    if (MulDiv(TPictureButton::kSize, kArtScales[i], 100) <= cell) chosen = i;
  }
  return chosen;
}

}  // namespace

TPictureButton::TPictureButton(HINSTANCE instance, const ButtonImages& images, UINT dpi)
    : instance_(instance), images_(images) {
  SetDpi(dpi);
}

TPictureButton::~TPictureButton() {
  FreeBitmaps();
}

void TPictureButton::FreeBitmaps() {
  for (HBITMAP& bitmap : bitmaps_) {
    if (bitmap) DeleteObject(bitmap);
    bitmap = nullptr;
  }
}

void TPictureButton::SetDpi(UINT dpi) {
  size_ = dpi::Scale(kSize, dpi);
  const auto& names = images_[ArtScaleFor(size_)];
  FreeBitmaps();
  for (size_t i = 0; i < names.size(); ++i) {
    bitmaps_[i] = static_cast<HBITMAP>(LoadImageW(instance_, names[i], IMAGE_BITMAP, 0, 0, 0));
    if (!bitmaps_[i]) throw std::runtime_error(SystemMessage(GetLastError()));
  }
  BITMAP info{};
  GetObjectW(bitmaps_[Up], sizeof info, &info);
  art_size_ = info.bmWidth;
}

void TPictureButton::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) pressed_ = false;
}

RECT TPictureButton::Bounds() const {
  return {position_.x, position_.y, position_.x + size_, position_.y + size_};
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
  const int inset = (size_ - art_size_) / 2;
  TransparentBlt(dc, position_.x + inset, position_.y + inset, art_size_, art_size_, source, 0, 0,
                 art_size_, art_size_, kTransparent);
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace lumen::player
