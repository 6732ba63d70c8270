// Stands in for rundll32.exe in the installer's tests: writes the command line it was started
// with, as UTF-16, to the file named by LUMEN_RUNDLL32_RECORD, and ends.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t record[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"LUMEN_RUNDLL32_RECORD", record, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;

  const HANDLE file =
      CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const std::wstring line = GetCommandLineW();
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)),
                            &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 1;
}
