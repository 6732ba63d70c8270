// saverinstall: writes the screen saver it carries into the Windows folder, named after itself,
// and hands it to the display control panel's screen-saver installation.
#include <windows.h>

#include "installer/SaverPlan.h"
#include "installer/SystemSteps_win.h"

namespace {

using namespace lumen::installer;

// Every declined question and every started installation ends with 0; a refusal does not.
enum ExitCode : int {
  kDone = 0,
  kPathTooLong = 2,
  kNoSaver = 3,
  kNotWritten = 4,
};

int Install() {
  if (!AskYesNo(L"Do you want to proceed with installation of screen saver?", L"Notice",
                Icon::kQuestion)) {
    return kDone;
  }
  const std::wstring module_path = ModulePath();
  const auto paths = PlanInstall(WindowsFolder(), module_path);
  if (!paths) {
    ShowFailure(L"The path of the screen saver would be too long; it was not installed.");
    return kPathTooLong;
  }
  if (RecordsCompatibility(GetVersion())) RecordCompatibility(module_path);

  const auto saver = CarriedSaver();
  if (saver.empty()) {
    ShowFailure(L"This installer carries no screen saver; nothing was installed.");
    return kNoSaver;
  }
  if (FileExists(paths->target) &&
      !AskYesNo(L"File already exit, overwrite it?", L"WARNING", Icon::kWarning)) {
    return kDone;
  }
  if (!ReplaceFile(paths->target, saver)) {
    ShowFailure(L"Cannot write the screen saver to " + paths->shell_path +
                L"; nothing was installed.");
    return kNotWritten;
  }
  StartInstall(paths->parameters);
  return kDone;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  return Install();
}
