#pragma once

// The keyboard as a movie hears it. Windows names a key by its virtual-key code, which is the
// code Key.getCode answers, and sends the character it types in a message of its own; the stage
// wants both with the press. This keeps which keys are down, so that a release carries the
// character its press typed, a release whose press went elsewhere (to another window, or taken
// by a host's shortcut) is dropped, and losing the focus releases whatever is still held.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace lumen::flash {

struct KeyEvent {
  uint16_t code = 0;   // Key.getCode
  uint16_t ascii = 0;  // Key.getAscii: the character typed, 0 for none
  bool operator==(const KeyEvent&) const = default;
};

class KeyInput {
 public:
  // `virtual_key`: the Windows code of the key; `character`: the UTF-16 unit it typed, 0 for
  // none. Nothing for codes that name no key (an input method's stand-in). A held key's
  // repeats are presses too.
  std::optional<KeyEvent> Press(uint32_t virtual_key, uint32_t character);
  std::optional<KeyEvent> Release(uint32_t virtual_key);
  // Every key still held, released, lowest code first.
  std::vector<KeyEvent> ReleaseAll();

 private:
  static constexpr size_t kCodes = 255;  // 0xFF names no key
  std::array<bool, kCodes> held_{};
  std::array<uint16_t, kCodes> ascii_{};
};

}  // namespace lumen::flash
