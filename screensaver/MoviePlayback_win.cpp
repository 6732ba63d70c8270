// Movie playback in the saver window. The saver is an ANSI program: the movie path is an 8-bit
// string in the system code page, widened only for the control.
#include "screensaver/MoviePlayback.h"

#include <oleauto.h>

#include <string>

#include "axhost/AxHost.h"
#include "flash/ShockwaveFlash.h"
#include "screensaver/MoviePath.h"

namespace lumen::saver {
namespace {

constexpr WORD kMovieResourceId = 103;
constexpr char kMovieResourceType[] = "SWF";
constexpr char kControlName[] = "ShockwaveFlash.ShockwaveFlash";

// Playback state of the process, from start to stop.
HWND g_host = nullptr;
flash::IShockwaveFlash* g_control = nullptr;
char g_movie_path[kMoviePathSize] = {};
bool g_have_path = false;

flash::IShockwaveFlash* QueryControl(HWND host) {
  if (!host) return nullptr;
  const UINT get_control = RegisterWindowMessageW(axhost::kGetControlMessage);
  auto* unknown = reinterpret_cast<IUnknown*>(SendMessageW(host, get_control, 0, 0));
  if (!unknown) return nullptr;
  void* control = nullptr;
  if (FAILED(unknown->QueryInterface(flash::kIidShockwaveFlash, &control))) control = nullptr;
  unknown->Release();
  return static_cast<flash::IShockwaveFlash*>(control);
}

// A temporary folder too long for the path buffer leaves the saver without a movie.
bool MakeMoviePath() {
  char folder[kMoviePathSize] = {};
  const DWORD length = GetTempPathA(kMoviePathSize, folder);
  if (length == 0 || length >= kMoviePathSize) return false;
  return BuildMoviePath({folder, length}, g_movie_path);
}

// One write straight from the locked resource; a missing resource leaves the file empty.
void WriteMovieFile() {
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(kMovieResourceId), kMovieResourceType);
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = found ? SizeofResource(nullptr, found) : 0;
  HANDLE file = CreateFileA(g_movie_path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    if (bytes && size > 0) WriteFile(file, bytes, size, &written, nullptr);
    CloseHandle(file);
  }
  if (loaded) FreeResource(loaded);
}

void HandMovieToControl() {
  const int length = MultiByteToWideChar(CP_ACP, 0, g_movie_path, -1, nullptr, 0);
  if (length <= 0) return;
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, g_movie_path, -1, wide.data(), length);
  BSTR path = SysAllocString(wide.c_str());
  if (!path) return;
  g_control->put_Movie(path);
  SysFreeString(path);
}

}  // namespace

void StartMoviePlayback(HWND window) {
  axhost::AtlAxWinInit();
  RECT client{};
  GetClientRect(window, &client);
  g_host = CreateWindowExA(0, "AtlAxWin90", kControlName, WS_CHILD | WS_VISIBLE | WS_DISABLED,
                           client.left, client.top, client.right - client.left,
                           client.bottom - client.top, window, nullptr, nullptr, nullptr);
  // Without a control the saver still runs, writes and deletes its file, and ends on input.
  g_control = QueryControl(g_host);
  if (g_control) g_control->put_BackgroundColor(0);
  g_have_path = MakeMoviePath();
  if (!g_have_path) return;
  WriteMovieFile();
  if (!g_control) return;
  HandMovieToControl();
  g_control->Play();
}

void StopMoviePlayback() {
  if (g_control) {
    g_control->Release();
    g_control = nullptr;
  }
  if (g_host && DestroyWindow(g_host)) g_host = nullptr;
  if (g_have_path) DeleteFileA(g_movie_path);
  g_have_path = false;
}

}  // namespace lumen::saver
