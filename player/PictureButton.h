#pragma once

#include <windows.h>

#include <array>
#include <functional>

#include "player/Resources.h"

namespace lumen::player {

// A windowless picture button drawn by its panel: Up, Hot, Down and Disabled images, with olive
// (128, 128, 0) left undrawn so the panel's background shows through. Its cell is 25 pixels square
// at 96 DPI and grows with the DPI; it shows the largest artwork that fits the cell, centred and
// pixel for pixel, so the pictures stay sharp at every scale.
class TPictureButton {
 public:
  enum Image { Up, Hot, Down, Disabled, ImageCount };
  static constexpr int kSize = 25;

  // `images`: resource names of the four bitmaps, in the order of Image, at each art scale.
  TPictureButton(HINSTANCE instance, const ButtonImages& images, UINT dpi);
  ~TPictureButton();
  TPictureButton(const TPictureButton&) = delete;
  TPictureButton& operator=(const TPictureButton&) = delete;

  std::function<void()> OnClick;

  // Takes the cell size and the artwork for a monitor of `dpi`.
  void SetDpi(UINT dpi);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Position inside the panel.
  void SetPosition(POINT position) { position_ = position; }
  RECT Bounds() const;
  bool Contains(POINT point) const;

  // Pointer and button changes from the panel; answer whether the picture changed.
  bool SetHot(bool hot);
  bool SetPressed(bool pressed);
  bool Pressed() const { return pressed_; }
  void Click();

  void Paint(HDC dc) const;

 private:
  Image CurrentImage() const;
  void FreeBitmaps();

  HINSTANCE instance_;
  const ButtonImages& images_;
  std::array<HBITMAP, ImageCount> bitmaps_{};
  int size_ = kSize;      // the cell
  int art_size_ = kSize;  // the bitmaps
  POINT position_{};
  bool enabled_ = true;
  bool hot_ = false;
  bool pressed_ = false;
};

}  // namespace lumen::player
