#pragma once

#include <windows.h>

#include <functional>

namespace lumen::testing {

// Runs this thread's messages until `done` holds or the time runs out; answers `done`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 10000);

}  // namespace lumen::testing
