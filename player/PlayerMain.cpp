// reelplayer: plays the slideshow movie appended to its own executable.
#include <windows.h>

#include <memory>

#include "dpi/DpiAwareness.h"
#include "player/Application.h"
#include "player/Main.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Before OLE makes its hidden window: the awareness holds from the process's first window on.
  lumen::dpi::DeclarePerMonitorAwareness();
  if (FAILED(OleInitialize(nullptr))) return 1;
  int status = 0;
  {
    lumen::player::TApplication application;
    std::unique_ptr<lumen::player::TMainForm> form;
    try {
      form = std::make_unique<lumen::player::TMainForm>(application, instance);
    } catch (const std::exception& error) {
      lumen::player::TApplication::ShowException(error);
      status = 1;
    }
    if (form) {
      if (!application.Terminated()) form->Show();
      application.Run();
    }
  }
  OleUninitialize();
  return status;
}
