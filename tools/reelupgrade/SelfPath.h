#pragma once

#include <filesystem>

namespace lumen::tools {

// The running program's own file; empty when the system does not say.
std::filesystem::path SelfPath();

}  // namespace lumen::tools
