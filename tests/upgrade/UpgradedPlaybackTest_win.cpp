// Old slideshows of each kind are made here around a movie that stops itself, upgraded, and the
// upgraded programs run: the player and the saver show the engine's picture of that movie, and
// the installer installs a saver that carries and plays it.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "tests/installer/InstallerDriver_win.h"
#include "tests/playback/EnginePicture_win.h"
#include "tests/support/TempDir.h"
#include "tests/upgrade/Fixtures.h"
#include "upgrade/Upgrader.h"

namespace lumen::upgrade::test {
namespace {

namespace fs = std::filesystem;
using lumen::testing::EnginePictures;
using lumen::testing::kStoppingMovieBackground;
using lumen::testing::kStoppingMovieFrame;

// Build outputs are named by their host paths; Wine shows the host's root as drive Z.
fs::path BuildOutput(const char* host_path) {
  return fs::path("Z:" + std::string(host_path));
}

fs::path WindowsFolder() {
  wchar_t folder[MAX_PATH];
  return fs::path(std::wstring(folder, GetWindowsDirectoryW(folder, MAX_PATH)));
}

std::optional<Bytes> MovieResource(const fs::path& program) {
  const HMODULE module = LoadLibraryExW(program.c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return std::nullopt;
  std::optional<Bytes> bytes;
  if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(103), L"SWF")) {
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    bytes.emplace(data, data + SizeofResource(module, found));
  }
  FreeLibrary(module);
  return bytes;
}

class UpgradedPlayback : public ::testing::Test {
 protected:
  // Writes the old slideshow under `name` and upgrades it; answers the upgraded program.
  fs::path Upgrade(const std::wstring& name, const Bytes& old) const {
    const fs::path input = dir_.path() / name;
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(old.data()), static_cast<std::streamsize>(old.size()));
    UpgradeSettings settings;
    settings.programs = {BuildOutput(LUMEN_REELPLAYER), BuildOutput(LUMEN_SAVER),
                         BuildOutput(LUMEN_SAVERINSTALL)};
    const UpgradeResult result = UpgradeSlideshow(input, settings);
    EXPECT_EQ(result.status, UpgradeStatus::Upgraded) << result.text;
    return result.output;
  }

  void ExpectSaverShowsTheMovie(const fs::path& saver) const {
    lumen::testing::ExpectSaverShows(saver, movie_file_, kStoppingMovieFrame,
                                     kStoppingMovieBackground, pictures_);
  }

  const Bytes movie_ = lumen::testing::StoppingMovie();
  const testing::TempDir dir_;
  const fs::path movie_file_ = dir_.Write("movie.swf", movie_);
  const EnginePictures pictures_{BuildOutput(LUMEN_REELRENDER), dir_.path()};
};

TEST_F(UpgradedPlayback, AnOldPlayerCopyShowsItsMovie) {
  const fs::path player = Upgrade(L"Holiday.exe", PlayerCopy(movie_));
  ASSERT_TRUE(fs::exists(player));
  lumen::testing::ExpectPlayerShows(player, movie_file_, kStoppingMovieFrame,
                                    lumen::testing::kStoppingMovieWidth,
                                    lumen::testing::kStoppingMovieHeight, pictures_);
}

TEST_F(UpgradedPlayback, AnOldSaverPlaysItsMovie) {
  const fs::path saver = Upgrade(L"Holiday.scr", Saver(movie_).bytes);
  ASSERT_TRUE(fs::exists(saver));
  ExpectSaverShowsTheMovie(saver);
}

TEST_F(UpgradedPlayback, AnOldInstallerInstallsASaverThatPlaysItsMovie) {
  const fs::path installer = Upgrade(L"UpgradedShow.exe", Installer(Saver(movie_).bytes).bytes);
  ASSERT_TRUE(fs::exists(installer));
  const fs::path target = WindowsFolder() / L"UpgradedShow.scr";
  fs::remove(target);
  {
    const lumen::testing::ScopedRundll32StandIn rundll32(BuildOutput(LUMEN_RECORDING_RUNDLL32),
                                                         dir_.path() / "rundll32.txt");
    const lumen::testing::InstallerRun run(installer.wstring());
    const auto box = run.WaitForBox(L"Notice");
    ASSERT_TRUE(box) << "the installer asked nothing";
    lumen::testing::InstallerRun::Press(*box, IDYES);
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.ChildrenAfterAllEnded(), 1) << "the control panel was not started";
  }
  EXPECT_EQ(MovieResource(target), movie_);
  ExpectSaverShowsTheMovie(target);
  fs::remove(target);
}

}  // namespace
}  // namespace lumen::upgrade::test
