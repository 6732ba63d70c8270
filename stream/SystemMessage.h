#pragma once

#include <cstdint>
#include <string>

namespace lumen {

// The system's text for a Windows error code, in UTF-8, without the trailing full stop and line
// break, ready to follow other text.
std::string SystemMessage(uint32_t error);

// UTF-16 <-> UTF-8 for texts that cross between the system and the portable code.
std::string Utf8FromWide(const std::wstring& text);
std::wstring WideFromUtf8(const std::string& text);

}  // namespace lumen
