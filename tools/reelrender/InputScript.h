#pragma once

// Scripted input for a movie run: mouse moves and clicks at stage pixels, keys by name, and
// waits that separate the events of one tick from the next.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lumen::tools {

struct InputEvent {
  enum class Kind : uint8_t {
    Wait,
    MouseMove,
    MouseDown,
    MouseUp,
    KeyDown,
    KeyUp,
    Text,
    TextControl,  // an editing command for the focused field
    Clipboard,    // the clipboard now holds `text`
  };
  enum class Command : uint8_t { MoveLeft, MoveRight, SelectLeft, SelectRight, SelectAll, Paste };
  Kind kind = Kind::Wait;
  double x = 0, y = 0;  // mouse events
  uint8_t button = 1;   // presses and releases: 1 left, 2 right, 4 middle (the Key.isDown codes)
  uint16_t code = 0;    // keys: the key code scripts see (Key.getCode)
  uint16_t ascii = 0;   // keys and text: the character (Key.getAscii)
  Command command = Command::MoveLeft;
  std::string text;  // UTF-8
};

// Reads a JSON list of events ({"type": "MouseDown", "pos": [x, y], "btn": "Middle"}, {"type":
// "KeyDown", "key": "Space"} or {"key": {"Char": "a"}}, {"type": "TextControl", "code": "Paste"},
// {"type": "SetClipboardText", "text": "..."}, {"type": "Wait"}, ...). Events of kinds
// this player does not take are left out. False on a syntax error.
bool ParseInputScript(std::string_view json, std::vector<InputEvent>& out);

}  // namespace lumen::tools
