#pragma once

#include <filesystem>
#include <string>

namespace lumen {

struct MovieInfoLine {
  std::string text;  // tab-separated, without line break
  bool ok = true;    // false when the reader raised an error
};

// One line about a file as the header reader sees it:
// FILE SIGNATURE VERSION FILELENGTH WIDTH HEIGHT FRAMERATE FRAMECOUNT, or FILE error MESSAGE.
MovieInfoLine DescribeMovie(const std::filesystem::path& file);

}  // namespace lumen
