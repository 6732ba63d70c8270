#include "tools/reelinfo/MovieInfo.h"

#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "stream/FileStream.h"
#include "tests/support/TempDir.h"

namespace lumen {
namespace {

TEST(MovieInfo, DescribesMoviesNonMoviesAndErrors) {
  testing::TempDir dir;
  authoring::MovieSpec spec;
  spec.compressed = true;
  spec.version = 9;
  spec.frame_rate = 0x0C80;
  spec.frame_count = 42;
  const auto movie = dir.Write("m.swf", authoring::BuildMovie(spec, {}));
  const auto movie_name = movie.u8string();
  const std::string name(movie_name.begin(), movie_name.end());
  EXPECT_EQ(DescribeMovie(movie).text, name + "\tCWS\t9\t21\t550\t400\t12\t42");

  const auto text = dir.Write("t.txt", std::vector<uint8_t>{'G', 'I', 'F', 0x01, '!'});
  const auto text_name = text.u8string();
  EXPECT_EQ(DescribeMovie(text).text,
            std::string(text_name.begin(), text_name.end()) + "\tGIF\t8\t0\t0\t0\t0\t0");

  const auto missing = dir.path() / "gone.swf";
  const MovieInfoLine line = DescribeMovie(missing);
  EXPECT_FALSE(line.ok);
  EXPECT_NE(line.text.find("\terror\tCannot open file \""), std::string::npos);
}

TEST(MovieInfo, UnprintableSignatureBytesStayOnOneLine) {
  testing::TempDir dir;
  const auto file = dir.Write("b", std::vector<uint8_t>{'\n', 0, 0xFF, 1});
  const std::string text = DescribeMovie(file).text;
  EXPECT_NE(text.find("\t\\x0A\\x00\\xFF\t8\t"), std::string::npos) << text;
}

}  // namespace
}  // namespace lumen
