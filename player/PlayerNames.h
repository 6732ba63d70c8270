#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumen::player {

// The file name part of a Windows path ("\", "/" or a drive colon end the folder part) without its
// last extension: C:\Shows\My.Trip.exe gives My.Trip; a name without a dot is used whole.
std::wstring BaseNameOf(std::wstring_view path);

// The folder with exactly one "\" appended when it does not already end with one.
std::wstring WithTrailingBackslash(std::wstring folder);

// The temporary movie file of a player: temporary folder + base name + ".swf".
std::wstring MovieFileFor(std::wstring_view temp_folder, std::wstring_view executable);

// The window caption of a player: "Lumenreel - " + base name.
std::wstring CaptionFor(std::wstring_view executable);

struct KeyChord {
  uint16_t virtual_key = 0;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

// A key chord as shortcut text, modifiers in the order "Shift+", "Ctrl+", "Alt+" ("Ctrl+F",
// "Shift+Ctrl+F"); empty for keys that have no name here.
std::string ShortCutText(const KeyChord& chord);

inline constexpr std::string_view kFullScreenShortCut = "Ctrl+F";

}  // namespace lumen::player
