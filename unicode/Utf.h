#pragma once

// Strings are kept as UTF-8; scripts and text fields count and cut in UTF-16 units, as movies see
// them. Invalid bytes read as single units of their own value, so nothing is lost.

#include <string>
#include <string_view>

namespace lumen::unicode {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);
void AppendUtf8(std::string& out, char32_t code);
// Movies before version 6 store text in the system code page; these bytes become UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);
bool IsAscii(std::string_view s);
// A loaded text file as a script string: a byte-order mark is dropped, UTF-16 becomes UTF-8.
std::string TextFromFile(std::string_view bytes);
// The length scripts see: UTF-16 units.
size_t ToUtf16Length(std::string_view utf8);

}  // namespace lumen::unicode
