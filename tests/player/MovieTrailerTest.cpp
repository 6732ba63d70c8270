#include "player/MovieTrailer.h"

#include <gtest/gtest.h>

#include <limits>
#include <numeric>

#include "stream/Stream.h"
#include "tests/support/TempDir.h"

namespace lumen::player {
namespace {

using Bytes = std::vector<uint8_t>;

std::array<uint8_t, kTrailerSize> Tail(int32_t length, const char (&magic)[5]) {
  std::array<uint8_t, kTrailerSize> tail{};
  for (int i = 0; i < 4; ++i)
    tail[i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> 8 * i);
  for (int i = 0; i < 4; ++i) tail[4 + i] = static_cast<uint8_t>(magic[i]);
  return tail;
}

TEST(ParseTrailer, ClassifiesLengthFieldsAgainstTheFileSize) {
  struct Case {
    const char* what;
    int32_t length;
    const char magic[5];
    int64_t file_size;
    TrailerStatus status;
    int64_t offset, size;
  };
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const Case cases[] = {
      {"1000-byte movie behind a 5000-byte player", 1004, "FSBF", 6008, TrailerStatus::Found, 5000,
       1000},
      {"movie at the very start of the file", 1004, "FSBF", 1008, TrailerStatus::Found, 0, 1000},
      {"empty movie", 4, "FSBF", 100, TrailerStatus::Found, 92, 0},
      {"lower-case magic", 1004, "fsbf", 6008, TrailerStatus::Missing, 0, 0},
      {"magic cut by a zero byte", 1004, "FSB\0", 6008, TrailerStatus::Missing, 0, 0},
      {"bytes after the magic", 1004, "BF\0\0", 6008, TrailerStatus::Missing, 0, 0},
      {"length below 4", 3, "FSBF", 6008, TrailerStatus::Damaged, 0, 0},
      {"zero length", 0, "FSBF", 6008, TrailerStatus::Damaged, 0, 0},
      {"negative length", -5, "FSBF", 6008, TrailerStatus::Damaged, 0, 0},
      {"most negative length", kMin, "FSBF", 6008, TrailerStatus::Damaged, 0, 0},
      {"movie would start one byte before the file", 1005, "FSBF", 1008, TrailerStatus::Damaged, 0,
       0},
      {"largest length in a small file", kMax, "FSBF", 6008, TrailerStatus::Damaged, 0, 0},
      {"largest length in a file that holds it", kMax, "FSBF", int64_t{kMax} + 4,
       TrailerStatus::Found, 0, int64_t{kMax} - 4},
  };
  for (const Case& c : cases) {
    const TrailerCheck check = ParseTrailer(Tail(c.length, c.magic), c.file_size);
    EXPECT_EQ(check.status, c.status) << c.what;
    if (c.status == TrailerStatus::Found) {
      EXPECT_EQ(check.movie_offset, c.offset) << c.what;
      EXPECT_EQ(check.movie_size, c.size) << c.what;
    }
  }
}

TEST(MakeTrailer, RoundTripsThroughParseAndRefusesOversizedMovies) {
  const auto trailer = MakeTrailer(1000);
  EXPECT_EQ(trailer, Tail(1004, "FSBF"));
  const TrailerCheck check = ParseTrailer(trailer, 1500);
  EXPECT_EQ(check.status, TrailerStatus::Found);
  EXPECT_EQ(check.movie_offset, 492);
  EXPECT_THROW(MakeTrailer(int64_t{std::numeric_limits<int32_t>::max()} - 3), StreamError);
  EXPECT_THROW(MakeTrailer(-1), StreamError);
}

class ExtractMovieTest : public ::testing::Test {
 protected:
  Bytes Movie(size_t size) {
    Bytes movie(size);
    std::iota(movie.begin(), movie.end(), uint8_t{7});
    return movie;
  }
  std::filesystem::path Player(const Bytes& movie, std::span<const uint8_t> trailer,
                               const Bytes& after = {}) {
    Bytes file(300, 0xCC);
    file.insert(file.end(), movie.begin(), movie.end());
    file.insert(file.end(), trailer.begin(), trailer.end());
    file.insert(file.end(), after.begin(), after.end());
    return dir_.Write("Holiday.exe", file);
  }
  testing::TempDir dir_;
  std::filesystem::path out_ = dir_.path() / "Holiday.swf";
};

TEST_F(ExtractMovieTest, CopiesExactlyTheMovieBytes) {
  const Bytes movie = Movie(1000);
  ASSERT_TRUE(ExtractMovie(Player(movie, MakeTrailer(1000)), out_));
  EXPECT_EQ(testing::ReadFileBytes(out_), movie);
}

TEST_F(ExtractMovieTest, ReplacesAFileLeftByAnEarlierRun) {
  dir_.Write("Holiday.swf", Movie(5000));
  const Bytes movie = Movie(10);
  ASSERT_TRUE(ExtractMovie(Player(movie, MakeTrailer(10)), out_));
  EXPECT_EQ(testing::ReadFileBytes(out_), movie);
}

TEST_F(ExtractMovieTest, NoTrailerWritesNothing) {
  const Bytes movie = Movie(100);
  const Bytes tiny = {'F', 'S', 'B'};
  const std::filesystem::path players[] = {
      Player(movie, MakeTrailer(100), {'x'}),
      Player(movie, {}),
      dir_.Write("tiny.exe", tiny),
  };
  for (const auto& player : players) {
    EXPECT_FALSE(ExtractMovie(player, out_)) << player;
    EXPECT_FALSE(std::filesystem::exists(out_));
  }
}

TEST_F(ExtractMovieTest, DamagedTrailerIsReportedAndWritesNothing) {
  for (int32_t length : {-1, 0, 3, 1000 + 300 + 5, std::numeric_limits<int32_t>::max()}) {
    const auto player = Player(Movie(1000), Tail(length, "FSBF"));
    try {
      ExtractMovie(player, out_);
      ADD_FAILURE() << "no error for L = " << length;
    } catch (const StreamError& error) {
      EXPECT_NE(std::string(error.what()).find("is damaged"), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find(std::to_string(length)), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(out_));
  }
}

TEST_F(ExtractMovieTest, FileErrorsRaiseTheStreamLayersTexts) {
  try {
    ExtractMovie(dir_.path() / "gone.exe", out_);
    ADD_FAILURE() << "no error for a missing executable";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"", 0), 0u) << error.what();
  }
  const auto player = Player(Movie(10), MakeTrailer(10));
  EXPECT_THROW(ExtractMovie(player, dir_.path() / "no such folder" / "Holiday.swf"), StreamError);
}

TEST_F(ExtractMovieTest, AppendMovieBuildsWhatExtractMovieReads) {
  const Bytes player_bytes(4096, 0x90);
  const Bytes movie = Movie(777);
  const auto player = dir_.Write("reelplayer.exe", player_bytes);
  const auto movie_file = dir_.Write("show.swf", movie);
  const auto output = dir_.path() / "Show.exe";
  AppendMovie(player, movie_file, output);

  const Bytes written = testing::ReadFileBytes(output);
  ASSERT_EQ(written.size(), player_bytes.size() + movie.size() + kTrailerSize);
  EXPECT_TRUE(std::equal(player_bytes.begin(), player_bytes.end(), written.begin()));
  ASSERT_TRUE(ExtractMovie(output, out_));
  EXPECT_EQ(testing::ReadFileBytes(out_), movie);
}

}  // namespace
}  // namespace lumen::player
