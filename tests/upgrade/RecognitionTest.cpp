#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "tests/upgrade/Fixtures.h"
#include "upgrade/ByteView.h"
#include "upgrade/Slideshow.h"

namespace lumen::upgrade::test {
namespace {

using testing::TinyPe;

bool SameBytes(std::span<const uint8_t> a, const Bytes& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

TEST(RecognizeSlideshow, FindsTheMovieWhereverItIsKept) {
  const Bytes plain = Movie(false), packed = Movie(true, 0x41);
  const Bytes saver = Saver(packed).bytes;
  struct Case {
    const char* what;
    Bytes file;
    SlideshowKind kind;
    const Bytes& movie;
  };
  const Case cases[] = {
      {"bare movie", plain, SlideshowKind::Movie, plain},
      {"bare compressed movie", packed, SlideshowKind::Movie, packed},
      {"player copy", PlayerCopy(plain), SlideshowKind::PlayerCopy, plain},
      {"screen saver", saver, SlideshowKind::ScreenSaver, packed},
      {"installer", Installer(saver).bytes, SlideshowKind::Installer, packed},
      // The loader compares resource names in upper case.
      {"lower-case type name", testing::MakeTinyPe({{"swf", 0, 103, plain}}).bytes,
       SlideshowKind::ScreenSaver, plain},
  };
  for (const Case& c : cases) {
    const Slideshow found = RecognizeSlideshow(c.file);
    EXPECT_EQ(found.kind, c.kind) << c.what << ": " << found.found;
    EXPECT_TRUE(SameBytes(found.movie, c.movie)) << c.what;
  }
}

TEST(RecognizeSlideshow, SaysWhatAFileWithoutAMovieIs) {
  const Bytes text = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '\n'};
  Bytes bad_movie = Movie(true);
  bad_movie.resize(bad_movie.size() / 2);
  const Bytes not_a_movie(200, 0x55);
  struct Case {
    const char* what;
    Bytes file;
    const char* found;
  };
  auto with_trailer = [](uint32_t length) {
    Bytes file = testing::MakeTinyPe({}).bytes;
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(length >> (8 * i)));
    file.insert(file.end(), {'F', 'S', 'B', 'F'});
    return file;
  };
  const Case cases[] = {
      {"text", text, "neither a slideshow nor a Windows program"},
      {"trailer of 4 GB", with_trailer(0xffffffffu),
       "a player copy whose movie trailer is damaged (it gives the length -1)"},
      {"trailer of 2 GB", with_trailer(0x7fffffffu),
       "a player copy whose movie trailer is damaged"},
      {"program", testing::MakeTinyPe({{"", 3, 1, Bytes(8, 1)}}).bytes,
       "a Windows program without a slideshow"},
      {"other resource 103", testing::MakeTinyPe({{"SWX", 0, 103, Movie(false)}}).bytes,
       "a Windows program without a slideshow"},
      {"cut movie", bad_movie, "a movie that does not read"},
      {"saver with a non-movie", Saver(not_a_movie).bytes, "a screen saver whose movie is damaged"},
      {"installer of a program", Installer(testing::MakeTinyPe({}).bytes).bytes,
       "a screen-saver installer carrying a screen saver without a slideshow"},
      {"installer of text", Installer(text).bytes,
       "a screen-saver installer whose screen saver is not a program"},
      {"player copy of a non-movie", PlayerCopy(not_a_movie),
       "a player copy whose movie is damaged"},
  };
  for (const Case& c : cases) {
    const Slideshow found = RecognizeSlideshow(c.file);
    EXPECT_EQ(found.kind, SlideshowKind::None) << c.what;
    EXPECT_TRUE(found.found.starts_with(c.found)) << c.what << ": " << found.found;
  }
}

// Each damage is written into a good screen saver; the damaged file must be turned down with a
// reason, whatever the damage claims.
TEST(RecognizeSlideshow, TurnsDownDamagedProgramsWithAReason) {
  const TinyPe good = Saver(Movie(false));
  const uint32_t root = TinyPe::kResourceOffset;
  const uint32_t movie_entry = good.data_entries[1];
  const uint32_t rsrc_header = TinyPe::kSectionTable + 40;
  constexpr uint32_t k4G = std::numeric_limits<uint32_t>::max();
  struct Damage {
    const char* what;
    uint32_t offset;
    uint32_t value;
    const char* found;
  };
  const Damage damages[] = {
      {"root entry leads to the root", root + 16 + 8 + 4, 0x80000000u, "loops"},
      {"language directory leads to the root", movie_entry - 8 + 4, 0x80000000u, "nested"},
      {"entry counts beyond the tree", root + 12, k4G, "more entries"},
      {"movie of 4 GB", movie_entry + 4, k4G, "past the end"},
      {"movie at the top of memory", movie_entry, k4G - 3, "outside its sections"},
      {"directory far outside", root + 16 + 8 + 4, 0xfffffff0u, "outside"},
      {"type text outside", root + 16 + 8, 0xfffffff0u, "outside"},
      {"section of 4 GB", rsrc_header + 16, k4G, "cut short"},
      {"section at 4 GB", rsrc_header + 20, k4G - 0x100, "cut short"},
      {"resource directory outside", TinyPe::kResourceDirectory, 0x7fff0000, "outside"},
      {"section table beyond the file", TinyPe::kNewHeader + 4, 0xffff014c, "too many sections"},
      {"optional header of 64 KB", TinyPe::kNewHeader + 20, 0x0102ffff, "headers"},
  };
  for (const Damage& d : damages) {
    Bytes file = good.bytes;
    PutU32(file, d.offset, d.value);
    const Slideshow found = RecognizeSlideshow(file);
    EXPECT_EQ(found.kind, SlideshowKind::None) << d.what;
    EXPECT_NE(found.found.find(d.found), std::string::npos) << d.what << ": " << found.found;
  }
}

}  // namespace
}  // namespace lumen::upgrade::test
