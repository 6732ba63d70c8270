#include <system_error>

#include "tools/reelupgrade/SelfPath.h"

namespace lumen::tools {

std::filesystem::path SelfPath() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

}  // namespace lumen::tools
