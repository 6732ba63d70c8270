#pragma once

// The installer's calls into Windows, one small function per step, so the program's main routine
// reads as the straight pass it is.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace lumen::installer {

enum class Icon { kQuestion, kWarning, kError };

// A Yes/No message box without owner; true unless the answer is No.
bool AskYesNo(const std::wstring& text, const std::wstring& title, Icon icon);
void ShowFailure(const std::wstring& text);

// Full texts, however long: the caller decides what fits.
std::wstring WindowsFolder();
std::wstring ModulePath();

// Sets the DWORD 1 named by the installer's path in the compatibility assistant's Persisted key,
// which is opened only, never created.
void RecordCompatibility(const std::wstring& module_path);

// The screen saver the installer carries ("SCR" 101); empty when it is missing.
std::span<const std::byte> CarriedSaver();

bool FileExists(const std::wstring& path);

// Writes the bytes to a file beside the target and then moves it over the target, so an
// existing file is replaced only by a complete new one. False when that did not happen; the
// target is then as it was.
bool ReplaceFile(const std::wstring& target, std::span<const std::byte> bytes);

// Starts the control panel's screen-saver installation through the shell and does not wait.
void StartInstall(const std::wstring& parameters);

}  // namespace lumen::installer
