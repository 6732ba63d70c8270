#include "stage/MovieFolder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/TempDir.h"

namespace lumen::stage {
namespace {

class MovieFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "show" / "data");
    Write(dir.path() / "show" / "photos.xml", "<show/>");
    Write(dir.path() / "show" / "data" / "vars.txt", "a=1");
    Write(dir.path() / "secret.txt", "outside");
  }
  static void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  lumen::testing::TempDir dir;
};

TEST_F(MovieFolderTest, ReadsFilesNamedRelativeToTheMovie) {
  const MovieFolder folder(dir.path() / "show");
  EXPECT_EQ(folder.Read("photos.xml"), "<show/>");
  EXPECT_EQ(folder.Read("./data/vars.txt?nocache=1"), "a=1");
  EXPECT_EQ(folder.Read("data\\vars.txt"), "a=1");
  EXPECT_EQ(folder.Read("missing.xml"), std::nullopt);
  EXPECT_EQ(folder.Read("data"), std::nullopt);  // a folder is not a file
}

TEST_F(MovieFolderTest, RefusesNamesThatLeaveTheFolder) {
  const MovieFolder folder(dir.path() / "show");
  const std::string absolute = (dir.path() / "secret.txt").string();
  for (const std::string& name :
       {std::string("../secret.txt"), std::string("data/../../secret.txt"), absolute,
        std::string("file:///etc/passwd"), std::string("http://example.com/a.xml"),
        std::string("C:secret.txt"), std::string("\\\\server\\share\\a.xml"), std::string("")}) {
    EXPECT_EQ(folder.Read(name), std::nullopt) << name;
  }
  EXPECT_EQ(MovieFolder().Read("photos.xml"), std::nullopt);  // a movie from memory has none
}

}  // namespace
}  // namespace lumen::stage
