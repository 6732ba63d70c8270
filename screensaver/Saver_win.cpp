// The saver's part of the screen-saver window: it plays the embedded movie for as long as the
// window exists, and has no settings.
#include "axhost/AxHost.h"
#include "screensaver/MoviePlayback.h"
#include "screensaver/framework/ScreenSaver.h"

namespace {

// The host window class is ready before the command line is read, as every start needs it.
const BOOL g_host_registered = lumen::axhost::AtlAxWinInit();

}  // namespace

LRESULT WINAPI ScreenSaverProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      lumen::saver::StartMoviePlayback(window);
      break;
    case WM_DESTROY:
      lumen::saver::StopMoviePlayback();
      break;
    default:
      break;
  }
  return DefScreenSaverProc(window, message, wparam, lparam);
}

BOOL WINAPI ScreenSaverConfigureDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      EndDialog(dialog, LOWORD(wparam) == IDOK ? 1 : LOWORD(wparam));
      return TRUE;
    default:
      return FALSE;
  }
}

BOOL WINAPI RegisterDialogClasses(HANDLE) {
  return TRUE;
}
