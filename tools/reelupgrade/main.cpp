// reelupgrade FILE... [--out DIR] [--programs DIR] [--overwrite]: brings slideshows made for the
// old control to our programs, one line per file; exits 1 when any file was not upgraded.
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/reelupgrade/SelfPath.h"
#include "upgrade/Upgrader.h"

namespace {

namespace fs = std::filesystem;
using lumen::upgrade::UpgradeStatus;

constexpr char kUsage[] = "usage: reelupgrade FILE... [--out DIR] [--programs DIR] [--overwrite]\n";

struct Options {
  std::vector<fs::path> files;
  lumen::upgrade::UpgradeSettings settings;
};

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

template <typename Char>
bool Parse(int argc, Char** argv, Options& options) {
  fs::path programs = lumen::tools::SelfPath().parent_path();
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    const bool has_value = i + 1 < argc;
    if (arg == "--overwrite") {
      options.settings.overwrite = true;
    } else if (arg == "--out" && has_value) {
      options.settings.out_folder = fs::path(argv[++i]);
    } else if (arg == "--programs" && has_value) {
      programs = fs::path(argv[++i]);
    } else if (Utf8(arg).starts_with("--")) {
      return false;
    } else {
      options.files.push_back(arg);
    }
  }
  options.settings.programs = lumen::upgrade::OurPrograms::In(programs);
  return !options.files.empty();
}

template <typename Char>
int Run(int argc, Char** argv) {
  Options options;
  if (!Parse(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  int status = 0;
  for (const fs::path& file : options.files) {
    const auto result = lumen::upgrade::UpgradeSlideshow(file, options.settings);
    std::string line = Utf8(file.filename()) + ": " + result.text;
    if (result.status == UpgradeStatus::AlreadyExists) line += " (--overwrite replaces it)";
    std::printf("%s\n", line.c_str());
    if (result.status != UpgradeStatus::Upgraded) status = 1;
  }
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);  // the lines name files in UTF-8
  return Run(argc, argv);
}
#else
int main(int argc, char** argv) {
  return Run(argc, argv);
}
#endif
