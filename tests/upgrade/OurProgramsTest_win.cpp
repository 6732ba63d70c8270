// Our built programs take a movie through reelupgrade's rewrite, and the Windows loader then finds
// it where the programs look for it, with their other resources still in place.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "tests/support/TempDir.h"
#include "tests/upgrade/Fixtures.h"
#include "upgrade/Upgrader.h"

namespace lumen::upgrade::test {
namespace {

namespace fs = std::filesystem;

fs::path BuildOutput(const char* host_path) {
  return fs::path("Z:" + std::string(host_path));
}

void WriteBytes(const fs::path& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

// A program's resources as the loader sees them, without running it.
class LoadedResources {
 public:
  explicit LoadedResources(const fs::path& file)
      : module_(LoadLibraryExW(file.c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~LoadedResources() {
    if (module_) FreeLibrary(module_);
  }
  LoadedResources(const LoadedResources&) = delete;
  LoadedResources& operator=(const LoadedResources&) = delete;

  std::optional<Bytes> Find(const wchar_t* type, WORD id) const {
    const HRSRC found = module_ ? FindResourceW(module_, MAKEINTRESOURCEW(id), type) : nullptr;
    if (!found) return std::nullopt;
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
    return Bytes(data, data + SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

TEST(OurPrograms, TheLoaderFindsTheUpgradedMovie) {
  const testing::TempDir dir;
  const fs::path programs = dir.path() / "programs";
  fs::create_directories(programs);
  fs::copy_file(BuildOutput(LUMEN_REELPLAYER), programs / "reelplayer.exe");
  fs::copy_file(BuildOutput(LUMEN_SAVER), programs / "saver.scr");
  fs::copy_file(BuildOutput(LUMEN_SAVERINSTALL), programs / "saverinstall.exe");
  UpgradeSettings settings;
  settings.programs = OurPrograms::In(programs);

  // Larger than the sample the programs carry, so their resource sections grow and the
  // relocations behind them move.
  const Bytes movie = Movie(false, 0x5a, 3'000'000);
  const fs::path saver_input = dir.path() / "Holiday.scr";
  const fs::path installer_input = dir.path() / "Setup.exe";
  const Bytes old_saver = Saver(movie).bytes;
  WriteBytes(saver_input, old_saver);
  WriteBytes(installer_input, Installer(old_saver).bytes);

  const UpgradeResult saver = UpgradeSlideshow(saver_input, settings);
  ASSERT_EQ(saver.status, UpgradeStatus::Upgraded) << saver.text;
  const LoadedResources saver_resources(saver.output);
  EXPECT_EQ(saver_resources.Find(L"SWF", 103), movie);
  EXPECT_TRUE(saver_resources.Find(RT_GROUP_ICON, 100));

  const UpgradeResult installer = UpgradeSlideshow(installer_input, settings);
  ASSERT_EQ(installer.status, UpgradeStatus::Upgraded) << installer.text;
  const std::optional<Bytes> carried = LoadedResources(installer.output).Find(L"SCR", 101);
  ASSERT_TRUE(carried);
  const fs::path inner = dir.path() / "inner.scr";
  WriteBytes(inner, *carried);
  EXPECT_EQ(LoadedResources(inner).Find(L"SWF", 103), movie);
  EXPECT_TRUE(LoadedResources(installer.output).Find(RT_GROUP_ICON, 103));
}

}  // namespace
}  // namespace lumen::upgrade::test
