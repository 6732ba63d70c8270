#include "tools/reelrender/InputScript.h"

#include <string>
#include <utility>

#include "tools/json/Json.h"

namespace lumen::tools {

namespace {

struct NamedKey {
  const char* name;
  uint16_t code;
  uint16_t ascii;
};

constexpr NamedKey kKeys[] = {
    {"Backspace", 8, 8}, {"Tab", 9, 9},     {"Enter", 13, 13},   {"Shift", 16, 0},
    {"Control", 17, 0},  {"Alt", 18, 0},    {"CapsLock", 20, 0}, {"Escape", 27, 27},
    {"Space", 32, 32},   {"PageUp", 33, 0}, {"PageDown", 34, 0}, {"End", 35, 0},
    {"Home", 36, 0},     {"Left", 37, 0},   {"Up", 38, 0},       {"Right", 39, 0},
    {"Down", 40, 0},     {"Insert", 45, 0}, {"Delete", 46, 127},
};

bool ReadKey(const json::Json& key, InputEvent& event) {
  if (key.type == json::Json::Type::String) {
    for (const NamedKey& k : kKeys) {
      if (key.text == k.name) {
        event.code = k.code;
        event.ascii = k.ascii;
        return true;
      }
    }
    return false;
  }
  const std::string c = key["Char"].String();
  if (c.size() != 1) return false;
  const char ch = c[0];
  event.ascii = static_cast<uint8_t>(ch);
  // Letter keys report their capital as the code, digits their own.
  event.code = static_cast<uint16_t>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch);
  return true;
}

bool ReadCommand(const std::string& name, InputEvent& event) {
  using Command = InputEvent::Command;
  constexpr std::pair<const char*, Command> kCommands[] = {
      {"MoveLeft", Command::MoveLeft},     {"MoveRight", Command::MoveRight},
      {"SelectLeft", Command::SelectLeft}, {"SelectRight", Command::SelectRight},
      {"SelectAll", Command::SelectAll},   {"Paste", Command::Paste},
  };
  for (const auto& [known, command] : kCommands) {
    if (name == known) {
      event.command = command;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseInputScript(std::string_view text, std::vector<InputEvent>& out) {
  json::Json list;
  if (!ParseJson(text, list) || list.type != json::Json::Type::Array) return false;
  for (const json::Json& item : list.items) {
    const std::string type = item["type"].String();
    InputEvent event;
    const json::Json& pos = item["pos"];
    if (pos.items.size() == 2) {
      event.x = pos.items[0].Number();
      event.y = pos.items[1].Number();
    }
    if (type == "Wait") {
      event.kind = InputEvent::Kind::Wait;
    } else if (type == "MouseMove") {
      event.kind = InputEvent::Kind::MouseMove;
    } else if (type == "MouseDown" || type == "MouseUp") {
      event.kind = type == "MouseDown" ? InputEvent::Kind::MouseDown : InputEvent::Kind::MouseUp;
      const std::string button = item["btn"].String();
      event.button = button == "Right" ? 2 : button == "Middle" ? 4 : 1;
    } else if (type == "KeyDown" || type == "KeyUp") {
      event.kind = type == "KeyDown" ? InputEvent::Kind::KeyDown : InputEvent::Kind::KeyUp;
      if (!ReadKey(item["key"], event)) continue;
    } else if (type == "TextInput") {
      const std::string c = item["codepoint"].String();
      if (c.size() != 1) continue;
      event.kind = InputEvent::Kind::Text;
      event.ascii = static_cast<uint8_t>(c[0]);
    } else if (type == "TextControl") {
      event.kind = InputEvent::Kind::TextControl;
      if (!ReadCommand(item["code"].String(), event)) continue;
    } else if (type == "SetClipboardText") {
      event.kind = InputEvent::Kind::Clipboard;
      event.text = item["text"].String();
    } else {
      continue;
    }
    out.push_back(event);
  }
  return true;
}

}  // namespace lumen::tools
