#include "screensaver/MoviePath.h"

#include <algorithm>

namespace lumen::saver {

bool BuildMoviePath(std::string_view temp_folder, std::span<char, kMoviePathSize> path) {
  constexpr std::string_view name(kMovieFileName);
  path[0] = '\0';
  if (temp_folder.size() + 1 + name.size() + 1 > path.size()) return false;
  auto out = std::replace_copy(temp_folder.begin(), temp_folder.end(), path.begin(), '\\', '/');
  *out++ = '/';
  out = std::copy(name.begin(), name.end(), out);
  *out = '\0';
  return true;
}

}  // namespace lumen::saver
