#include "player/PlayerNames.h"

namespace lumen::player {

namespace {

std::string KeyName(uint16_t key) {
  if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::string(1, char(key));
  constexpr uint16_t kF1 = 0x70, kF12 = 0x7B;
  if (key >= kF1 && key <= kF12) {
    std::string name = "F";
    name.append(std::to_string(key - kF1 + 1));
    return name;
  }
  switch (key) {
    case 0x08:
      return "BkSp";
    case 0x09:
      return "Tab";
    case 0x0D:
      return "Enter";
    case 0x1B:
      return "Esc";
    case 0x20:
      return "Space";
    case 0x2E:
      return "Del";
    default:
      return {};
  }
}

}  // namespace

std::wstring BaseNameOf(std::wstring_view path) {
  const size_t folder_end = path.find_last_of(L"\\/:");
  const std::wstring_view name =
      folder_end == std::wstring_view::npos ? path : path.substr(folder_end + 1);
  const size_t dot = name.rfind(L'.');
  return std::wstring(dot == std::wstring_view::npos ? name : name.substr(0, dot));
}

std::wstring WithTrailingBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  return folder;
}

std::wstring MovieFileFor(std::wstring_view temp_folder, std::wstring_view executable) {
  return WithTrailingBackslash(std::wstring(temp_folder)) + BaseNameOf(executable) + L".swf";
}

std::wstring CaptionFor(std::wstring_view executable) {
  return L"Lumenreel - " + BaseNameOf(executable);
}

std::string ShortCutText(const KeyChord& chord) {
  const std::string key = KeyName(chord.virtual_key);
  if (key.empty()) return {};
  std::string text;
  text.reserve(16 + key.size());
  if (chord.shift) text.append("Shift+");
  if (chord.ctrl) text.append("Ctrl+");
  if (chord.alt) text.append("Alt+");
  text.append(key);
  return text;
}

}  // namespace lumen::player
