#pragma once

#include <string>

namespace lumen::testing {

// Runs a command line to its end (at most two minutes); true when it ended with exit code 0.
bool RunToTheEnd(std::wstring command);

}  // namespace lumen::testing
