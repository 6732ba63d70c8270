// reelupgradew: the window of reelupgrade. Files dropped on the program's icon arrive on its
// command line; more can be dropped on the window. Our programs are taken from beside it.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include "tools/reelupgrade/SelfPath.h"
#include "tools/reelupgrade/UpgradeWindow_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  lumen::upgrade::UpgradeSettings settings;
  settings.programs = lumen::upgrade::OurPrograms::In(lumen::tools::SelfPath().parent_path());
  lumen::tools::UpgradeWindow window(settings);
  int count = 0;
  if (LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) window.Add(std::filesystem::path(arguments[i]));
    LocalFree(arguments);
  }
  if (!window.Create(instance, show)) return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
