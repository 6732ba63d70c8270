#include "upgrade/Upgrader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TempDir.h"
#include "tests/upgrade/Fixtures.h"
#include "upgrade/PeImage.h"
#include "upgrade/Slideshow.h"

namespace lumen::upgrade::test {
namespace {

namespace fs = std::filesystem;
using lumen::testing::ReadFileBytes;

class UpgraderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path programs = dir_.path() / "programs";
    fs::create_directories(programs);
    fs::create_directories(dir_.path() / "old");
    Write(programs / "reelplayer.exe", testing::MakeTinyPe({{"", 3, 1, Bytes(8, 9)}}).bytes);
    const Bytes sample_saver = Saver(Movie(false, 0x50)).bytes;
    Write(programs / "saver.scr", sample_saver);
    Write(programs / "saverinstall.exe", Installer(sample_saver).bytes);
    settings_.programs = OurPrograms::In(programs);
  }

  fs::path Old(const std::string& name, const Bytes& bytes) {
    return Write(dir_.path() / "old" / name, bytes);
  }
  static fs::path Write(const fs::path& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file;
  }
  fs::path Output(const std::string& name) const {
    return dir_.path() / "old" / "Lumenreel" / name;
  }

  testing::TempDir dir_;
  UpgradeSettings settings_;
};

TEST_F(UpgraderTest, EachKindBecomesOurProgramCarryingTheSameMovie) {
  const Bytes movie = Movie(true, 0x61, 3000);
  const Bytes old_saver = Saver(movie).bytes;
  struct Case {
    std::string input;
    Bytes bytes;
    std::string output;
    SlideshowKind kind;
  };
  const Case cases[] = {
      {"Holiday.exe", PlayerCopy(movie), "Holiday.exe", SlideshowKind::PlayerCopy},
      {"Trip.swf", movie, "Trip.exe", SlideshowKind::PlayerCopy},
      {"Holiday.scr", old_saver, "Holiday.scr", SlideshowKind::ScreenSaver},
      {"Setup.exe", Installer(old_saver).bytes, "Setup.exe", SlideshowKind::Installer},
  };
  for (const Case& c : cases) {
    const UpgradeResult result = UpgradeSlideshow(Old(c.input, c.bytes), settings_);
    ASSERT_EQ(result.status, UpgradeStatus::Upgraded) << c.input << ": " << result.text;
    EXPECT_EQ(result.output, Output(c.output));
    EXPECT_EQ(result.text,
              "upgraded to " + (fs::path("Lumenreel") / c.output).make_preferred().string());
    const Bytes written = ReadFileBytes(result.output);
    const Slideshow found = RecognizeSlideshow(written);
    EXPECT_EQ(found.kind, c.kind) << c.input;
    EXPECT_TRUE(std::equal(found.movie.begin(), found.movie.end(), movie.begin(), movie.end()));
    // Our program, not the old one: our player's icon or our programs' other resources.
    EXPECT_TRUE(PeImage::Read(written)->file().size() > 0);
    EXPECT_FALSE(std::equal(written.begin(), written.end(), c.bytes.begin(), c.bytes.end()));
  }
  const Bytes player = ReadFileBytes(settings_.programs.player);
  const Bytes upgraded = ReadFileBytes(Output("Holiday.exe"));
  EXPECT_TRUE(std::equal(player.begin(), player.end(), upgraded.begin())) << "starts as our player";
}

TEST_F(UpgraderTest, NeverWritesOverTheInputOrAnExistingFileUnlessAsked) {
  const fs::path input = Old("Holiday.exe", PlayerCopy(Movie(false)));
  fs::create_directories(Output(""));
  const Bytes existing = {1, 2, 3};
  Write(Output("Holiday.exe"), existing);
  UpgradeResult result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::AlreadyExists);
  EXPECT_EQ(ReadFileBytes(Output("Holiday.exe")), existing);

  settings_.overwrite = true;
  result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::Upgraded) << result.text;
  EXPECT_EQ(RecognizeSlideshow(ReadFileBytes(Output("Holiday.exe"))).kind,
            SlideshowKind::PlayerCopy);

  settings_.out_folder = input.parent_path();
  const Bytes before = ReadFileBytes(input);
  result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::Failed);
  EXPECT_EQ(ReadFileBytes(input), before);
}

TEST_F(UpgraderTest, WritesNothingForFilesItCannotUpgrade) {
  UpgradeResult result =
      UpgradeSlideshow(Old("Notes.exe", testing::MakeTinyPe({}).bytes), settings_);
  EXPECT_EQ(result.status, UpgradeStatus::NoSlideshow);
  EXPECT_EQ(result.text, "a Windows program without a slideshow");
  // Every cut of a player copy and of a screen saver is recognised as no slideshow, with a
  // reason; a spread of them goes through the whole upgrade, which must write nothing.
  const Bytes copy = PlayerCopy(Movie(true, 0x70, 40));
  const Bytes saver = Saver(Movie(false, 0x71, 40)).bytes;
  for (const Bytes* whole : {&copy, &saver}) {
    for (size_t size = 0; size < whole->size(); ++size) {
      const Bytes cut(whole->begin(), whole->begin() + static_cast<ptrdiff_t>(size));
      const Slideshow found = RecognizeSlideshow(cut);
      ASSERT_EQ(found.kind, SlideshowKind::None) << size << " bytes";
      ASSERT_FALSE(found.found.empty()) << size << " bytes";
      if (size % 61 != 0 && size + 1 != whole->size()) continue;
      result = UpgradeSlideshow(Old("Cut.exe", cut), settings_);
      EXPECT_EQ(result.status, UpgradeStatus::NoSlideshow) << size << " bytes";
      ASSERT_FALSE(fs::exists(Output(""))) << size << " bytes";
    }
  }
}

TEST_F(UpgraderTest, MissingOrForeignProgramsOfOursAreReported) {
  const fs::path input = Old("Holiday.scr", Saver(Movie(false)).bytes);
  fs::remove(settings_.programs.saver);
  UpgradeResult result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::Failed);
  EXPECT_NE(result.text.find("saver.scr"), std::string::npos) << result.text;
  Write(settings_.programs.saver, Movie(false));
  result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::Failed);
  EXPECT_NE(result.text.find("our saver.scr cannot take the movie"), std::string::npos)
      << result.text;
  EXPECT_FALSE(fs::exists(Output("")));
  // An installer posing as our saver takes the movie, but the copy reads back as an installer:
  // it must not stay.
  Write(settings_.programs.saver, Installer(Saver(Movie(false)).bytes).bytes);
  result = UpgradeSlideshow(input, settings_);
  EXPECT_EQ(result.status, UpgradeStatus::Failed);
  EXPECT_NE(result.text.find("did not read back"), std::string::npos) << result.text;
  EXPECT_FALSE(fs::exists(Output("Holiday.scr")));
}

}  // namespace
}  // namespace lumen::upgrade::test
