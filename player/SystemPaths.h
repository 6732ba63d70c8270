#pragma once

#include <windows.h>

#include <string>

namespace lumen::player {

// The full path of a module's file, however long it is.
std::wstring ModuleFileName(HMODULE module);

// The user's temporary folder, always ending with "\". Fails when Windows reports none.
std::wstring GetTempFolder();

bool FileExists(const std::wstring& path);

}  // namespace lumen::player
