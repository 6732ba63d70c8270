#include "installer/SystemSteps_win.h"

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace lumen::installer {
namespace {

constexpr wchar_t kPersistedKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    L"Assistant\\Persisted";
constexpr WORD kSaverResource = 101;
constexpr wchar_t kSaverResourceType[] = L"SCR";

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using FileHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

UINT IconFlag(Icon icon) {
  switch (icon) {
    case Icon::kQuestion:
      return MB_ICONQUESTION;
    case Icon::kWarning:
      return MB_ICONWARNING;
    case Icon::kError:
      return MB_ICONERROR;
  }
  return 0;
}

// The longest path the system handles at all; a longer answer is kept cut there, which the
// caller refuses as too long anyway.
constexpr DWORD kLongestPath = 32768;

// Calls fill(buffer, size) with growing buffers until the answer fits.
template <typename Fill>
std::wstring GrowingText(Fill fill) {
  std::wstring text(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(text.size());
    const DWORD length = fill(text.data(), size);
    if (length < size || size >= kLongestPath) {
      text.resize(std::min(length, size));
      return text;
    }
    text.resize(std::min<std::size_t>(std::max<std::size_t>(size * 2, length + 1), kLongestPath));
  }
}

bool WriteAll(const std::wstring& path, std::span<const std::byte> bytes) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  DWORD written = 0;
  const bool complete =
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
      written == bytes.size() && FlushFileBuffers(file.get());
  return CloseHandle(file.release()) && complete;
}

}  // namespace

bool AskYesNo(const std::wstring& text, const std::wstring& title, Icon icon) {
  return MessageBoxW(nullptr, text.c_str(), title.c_str(), MB_YESNO | IconFlag(icon)) != IDNO;
}

void ShowFailure(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), L"Error", MB_OK | IconFlag(Icon::kError));
}

std::wstring WindowsFolder() {
  return GrowingText([](wchar_t* buffer, DWORD size) {
    // Too small a buffer answers the size needed, terminator included.
    return static_cast<DWORD>(GetWindowsDirectoryW(buffer, size));
  });
}

std::wstring ModulePath() {
  return GrowingText([](wchar_t* buffer, DWORD size) {
    // Too small a buffer answers its own size, with the text cut.
    return GetModuleFileNameW(nullptr, buffer, size);
  });
}

void RecordCompatibility(const std::wstring& module_path) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kPersistedKey, 0, KEY_ALL_ACCESS, &opened) !=
      ERROR_SUCCESS) {
    return;
  }
  const RegistryKey key(opened);
  const DWORD one = 1;
  RegSetValueExW(key.get(), module_path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                 sizeof one);
}

std::span<const std::byte> CarriedSaver() {
  const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kSaverResource), kSaverResourceType);
  if (!found) return {};
  const HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::byte*>(bytes), SizeofResource(nullptr, found)};
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool ReplaceFile(const std::wstring& target, std::span<const std::byte> bytes) {
  const std::wstring beside = target + L".new";
  if (WriteAll(beside, bytes) && MoveFileExW(beside.c_str(), target.c_str(),
                                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(beside.c_str());
  return false;
}

void StartInstall(const std::wstring& parameters) {
  ShellExecuteW(nullptr, L"open", L"rundll32.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace lumen::installer
