#pragma once

#include <filesystem>
#include <string>

namespace lumen::upgrade {

// Our three programs that take over an old slideshow's movie.
struct OurPrograms {
  std::filesystem::path player;     // reelplayer.exe
  std::filesystem::path saver;      // saver.scr
  std::filesystem::path installer;  // saverinstall.exe

  static OurPrograms In(const std::filesystem::path& folder);
};

struct UpgradeSettings {
  OurPrograms programs;
  std::filesystem::path out_folder;  // empty: a folder "Lumenreel" beside each input
  bool overwrite = false;
};

enum class UpgradeStatus {
  Upgraded,
  NoSlideshow,    // the input carries no movie; `text` says what it is instead
  AlreadyExists,  // the output is there and may not be replaced
  Failed,
};

struct UpgradeResult {
  UpgradeStatus status = UpgradeStatus::Failed;
  std::filesystem::path output;
  std::string text;  // plain words: "upgraded to Lumenreel/Holiday.exe", or why not
};

// Takes the movie out of an old slideshow file and puts it into the matching program of ours,
// written beside the input and read back before it counts: a copy that does not read back as the
// same movie is deleted again. Never writes over the input.
UpgradeResult UpgradeSlideshow(const std::filesystem::path& input, const UpgradeSettings& settings);

}  // namespace lumen::upgrade
