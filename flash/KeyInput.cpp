#include "flash/KeyInput.h"

namespace lumen::flash {
namespace {

constexpr uint32_t kDeleteKey = 46;
constexpr uint16_t kDeleteAscii = 127;  // Delete types no character, yet movies read 127
// An input method's key still being composed, and characters injected with no key behind them.
constexpr uint32_t kProcessKey = 229, kPacketKey = 231;

bool NamesKey(uint32_t code, size_t codes) {
  return code != 0 && code < codes && code != kProcessKey && code != kPacketKey;
}

}  // namespace

std::optional<KeyEvent> KeyInput::Press(uint32_t virtual_key, uint32_t character) {
  if (!NamesKey(virtual_key, kCodes)) return std::nullopt;
  uint16_t ascii = character <= 0xFFFF ? static_cast<uint16_t>(character) : 0;
  if (ascii == 0 && virtual_key == kDeleteKey) ascii = kDeleteAscii;
  held_[virtual_key] = true;
  ascii_[virtual_key] = ascii;
  return KeyEvent{static_cast<uint16_t>(virtual_key), ascii};
}

std::optional<KeyEvent> KeyInput::Release(uint32_t virtual_key) {
  if (!NamesKey(virtual_key, kCodes) || !held_[virtual_key]) return std::nullopt;
  held_[virtual_key] = false;
  return KeyEvent{static_cast<uint16_t>(virtual_key), ascii_[virtual_key]};
}

std::vector<KeyEvent> KeyInput::ReleaseAll() {
  std::vector<KeyEvent> released;
  for (uint32_t code = 0; code < kCodes; ++code) {
    if (auto event = Release(code)) released.push_back(*event);
  }
  return released;
}

}  // namespace lumen::flash
