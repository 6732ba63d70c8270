#include "screensaver/MoviePath.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace lumen::saver {
namespace {

TEST(MoviePath, SlashesTheFolderAndAddsTheFileName) {
  std::array<char, kMoviePathSize> path;
  ASSERT_TRUE(BuildMoviePath("C:\\TEMP\\", path));
  EXPECT_STREQ(path.data(), "C:/TEMP//QvTemp.swf");
  ASSERT_TRUE(BuildMoviePath("C:\\Users\\Ann\\AppData\\Local\\Temp\\", path));
  EXPECT_STREQ(path.data(), "C:/Users/Ann/AppData/Local/Temp//QvTemp.swf");
}

TEST(MoviePath, AFolderTooLongForTheBufferGivesNoPath) {
  std::array<char, kMoviePathSize> path;
  path.fill('#');
  // Folder + "/" + "QvTemp.swf" + terminator: 248 characters of folder fill all 260 bytes.
  const std::string fits = "C:\\" + std::string(244, 'a') + "\\";
  ASSERT_EQ(fits.size(), 248u);
  ASSERT_TRUE(BuildMoviePath(fits, path));
  EXPECT_EQ(std::string(path.data()).size(), 259u);
  EXPECT_EQ(path[259], '\0');

  path.fill('#');
  EXPECT_FALSE(BuildMoviePath(fits + "b", path));
  EXPECT_EQ(path[0], '\0');
  EXPECT_FALSE(BuildMoviePath(std::string(5000, 'x'), path));
  EXPECT_EQ(path[1], '#');  // nothing written past the empty string
}

}  // namespace
}  // namespace lumen::saver
