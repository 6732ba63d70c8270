#include "tests/support/MessagePump_win.h"

#include <mmsystem.h>

namespace lumen::testing {

bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms) {
  const DWORD start = timeGetTime();
  while (!done()) {
    const DWORD elapsed = timeGetTime() - start;
    if (elapsed >= timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  return true;
}

}  // namespace lumen::testing
