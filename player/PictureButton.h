#pragma once

#include <windows.h>

#include <array>
#include <functional>

namespace lumen::player {

// A windowless picture button drawn by its panel: Up, Hot, Down and Disabled images, with olive
// (128, 128, 0) left undrawn so the panel's background shows through.
class TPictureButton {
 public:
  enum Image { Up, Hot, Down, Disabled, ImageCount };
  static constexpr int kSize = 25;

  // `images`: resource names of the four bitmaps in the order of Image.
  TPictureButton(HINSTANCE instance, const std::array<const wchar_t*, ImageCount>& images);
  ~TPictureButton();
  TPictureButton(const TPictureButton&) = delete;
  TPictureButton& operator=(const TPictureButton&) = delete;

  std::function<void()> OnClick;

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

  std::array<HBITMAP, ImageCount> bitmaps_{};
  POINT position_{};
  bool enabled_ = true;
  bool hot_ = false;
  bool pressed_ = false;
};

}  // namespace lumen::player
