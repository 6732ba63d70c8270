#include "swf/SWFStreamReader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "stream/FileStream.h"
#include "tests/support/TempDir.h"

namespace lumen {
namespace {

using authoring::BuildMovie;
using authoring::Bytes;
using authoring::MovieSpec;

const Bytes kBody = {0x40, 0x00, 0x00, 0x00, 0xDE, 0xAD};  // ShowFrame, End, two stray bytes

// The 550 x 400 movie, byte for byte: FWS, version 10, rectangle, 24 fps, 300 frames.
Bytes ExampleMovie() {
  return {'F',  'W',  'S',  10,   27,   0,    0,    0,    0x78, 0x00, 0x05, 0x5F, 0x00, 0x00,
          0x0F, 0xA0, 0x00, 0x00, 0x18, 0x2C, 0x01, 0x40, 0x00, 0x00, 0x00, 0xDE, 0xAD};
}

Bytes Compress(const Bytes& plain) {
  Bytes movie(plain.begin(), plain.begin() + 8);
  movie[0] = 'C';
  const Bytes packed = authoring::Deflate(std::span(plain).subspan(8));
  movie.insert(movie.end(), packed.begin(), packed.end());
  return movie;
}

Bytes BodyOf(const TSWFStreamReader& reader) {
  if (reader.Body() == nullptr) return {};
  auto bytes = reader.Body()->Bytes();
  return {bytes.begin(), bytes.end()};
}

class ReaderTest : public ::testing::Test {
 protected:
  std::filesystem::path Save(const Bytes& bytes, const std::string& name = "movie.swf") {
    return dir_.Write(name, bytes);
  }
  testing::TempDir dir_;
};

TEST_F(ReaderTest, ReadsTheExampleHeadAndKeepsTheBody) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "CWS" : "FWS");
    const Bytes plain = ExampleMovie();
    TSWFStreamReader reader(Save(compressed ? Compress(plain) : plain));
    EXPECT_TRUE(reader.HeadValid());
    EXPECT_EQ(reader.Compressed(), compressed);
    EXPECT_EQ(reader.MovieWidth(), 550);
    EXPECT_EQ(reader.MovieHeight(), 400);
    EXPECT_EQ(reader.Head().FrameRate, 24);
    EXPECT_EQ(reader.Head().FrameCount, 300);
    EXPECT_EQ(reader.Head().Version, 10);
    EXPECT_EQ(reader.Head().FileLength, static_cast<int32_t>(plain.size()));
    EXPECT_EQ(BodyOf(reader), kBody);
  }
}

struct FrameCase {
  const char* name;
  MovieSpec spec;
  int32_t width;
  int32_t height;
  uint16_t frame_rate;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
  *os << c.name;
}

class FrameSizes : public ReaderTest, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(FrameSizes, WidthAndHeightComeFromTheRectangle) {
  for (bool compressed : {false, true}) {
    MovieSpec spec = GetParam().spec;
    spec.compressed = compressed;
    TSWFStreamReader reader(Save(BuildMovie(spec, kBody)));
    EXPECT_EQ(reader.MovieWidth(), GetParam().width);
    EXPECT_EQ(reader.MovieHeight(), GetParam().height);
    EXPECT_EQ(reader.Head().FrameRate, GetParam().frame_rate);
    EXPECT_EQ(reader.Head().FrameCount, spec.frame_count);
    EXPECT_EQ(BodyOf(reader), kBody);
  }
}

MovieSpec Frame(int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max, uint16_t rate = 24 << 8,
                std::optional<int> bits = std::nullopt) {
  MovieSpec spec;
  spec.x_min = x_min;
  spec.x_max = x_max;
  spec.y_min = y_min;
  spec.y_max = y_max;
  spec.frame_rate = rate;
  spec.rect_bits = bits;
  spec.frame_count = 7;
  return spec;
}

std::string CaseName(const ::testing::TestParamInfo<FrameCase>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FrameSizes,
    ::testing::Values(FrameCase{"FractionalRateIsCut", Frame(0, 6400, 0, 4800, 0x0C80), 320, 240,
                                12},
                      FrameCase{"DifferenceCounts", Frame(-200, 10800, 0, 8000), 550, 400, 24},
                      FrameCase{"Truncates", Frame(0, 10999, 0, 39), 549, 1, 24},
                      FrameCase{"NegativeWidth", Frame(100, 70, 0, -30), -1, -1, 24},
                      FrameCase{"EmptyRectangle", Frame(0, 0, 0, 0, 30 << 8), 0, 0, 30},
                      FrameCase{"WidestFields", Frame(-1000, 1000, 0, 20, 24 << 8, 31), 100, 1, 24},
                      FrameCase{"NegativeOrigin", Frame(-20000, -10000, -400, -200), 500, 10, 24}),
    CaseName);

TEST_F(ReaderTest, EmptyRectangleTakesOneByte) {
  const Bytes movie = BuildMovie(Frame(0, 0, 0, 0, 0x1E00), kBody);
  ASSERT_EQ(movie[8], 0x00);
  EXPECT_EQ(movie[10], 30);  // whole frames per second at offset 10
  TSWFStreamReader reader(Save(movie));
  EXPECT_EQ(reader.Head().FrameRate, 30);
}

TEST_F(ReaderTest, UnrecognisedFilesKeepTheDefaults) {
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{'F', 'W', 'S'}, ""},
      {{'f', 'w', 's', 10, 0, 0, 0, 0}, "fws"},
      {{'Z', 'W', 'S', 13, 100, 0, 0, 0, 0, 0}, "ZWS"},
      {{'G', 'I', 'F', '8', '9', 'a'}, "GIF"},
      {{}, ""},
  };
  for (const auto& [bytes, signature] : cases) {
    SCOPED_TRACE(signature);
    TSWFStreamReader reader(Save(bytes));
    EXPECT_FALSE(reader.HeadValid());
    EXPECT_FALSE(reader.Compressed());
    EXPECT_EQ(reader.SignatureText(), signature);
    EXPECT_EQ(reader.MovieWidth(), 0);
    EXPECT_EQ(reader.MovieHeight(), 0);
    EXPECT_EQ(reader.Head().Version, 8);
    EXPECT_EQ(reader.Body(), nullptr);
  }
}

TEST_F(ReaderTest, FailedSignatureCheckLeavesCompressedAlone) {
  TSWFStreamReader reader(Save(Compress(ExampleMovie())));
  ASSERT_TRUE(reader.Compressed());
  FileStream gif(Save({'G', 'I', 'F', '8', '9'}, "x.gif"), FileMode::ReadExclusive);
  EXPECT_FALSE(reader.CheckSignature(gif));
  EXPECT_FALSE(reader.HeadValid());
  EXPECT_TRUE(reader.Compressed());
  EXPECT_EQ(reader.SignatureText(), "GIF");
}

TEST_F(ReaderTest, FourByteFilePassesTheSignatureCheck) {
  TSWFStreamReader reader(Save({'F', 'W', 'S', 6}));
  EXPECT_TRUE(reader.HeadValid());
  EXPECT_EQ(reader.Head().Version, 6);
  EXPECT_EQ(reader.Head().FileLength, 0);
  EXPECT_EQ(reader.MovieWidth(), 0);
  EXPECT_EQ(reader.Head().FrameCount, 0);
}

TEST_F(ReaderTest, PlainFileEndingInsideItsHeadReadsMissingBytesAsZero) {
  const Bytes whole = ExampleMovie();
  for (size_t cut : {5u, 9u, 12u, 17u, 18u, 20u}) {
    SCOPED_TRACE(cut);
    TSWFStreamReader reader(Save(Bytes(whole.begin(), whole.begin() + static_cast<long>(cut))));
    EXPECT_TRUE(reader.HeadValid());
    if (cut <= 18) {
      EXPECT_EQ(reader.Head().FrameRate, 0);
    }
    EXPECT_EQ(reader.Head().FrameCount, cut == 20 ? 0x2C : 0);
    EXPECT_EQ(BodyOf(reader), Bytes{});
  }
}

TEST_F(ReaderTest, FrameCountAtTheEndGivesAnEmptyBody) {
  TSWFStreamReader reader(Save(BuildMovie(MovieSpec{}, {})));
  ASSERT_NE(reader.Body(), nullptr);
  EXPECT_TRUE(reader.Body()->Bytes().empty());
}

TEST_F(ReaderTest, PlainBodyRunsToTheRealEndWhateverTheDeclaredLength) {
  MovieSpec spec;
  spec.declared_length = 5;
  TSWFStreamReader reader(Save(BuildMovie(spec, kBody)));
  EXPECT_EQ(reader.Head().FileLength, 5);
  EXPECT_EQ(BodyOf(reader), kBody);
}

TEST_F(ReaderTest, BytesBehindTheZlibStreamAreIgnored) {
  Bytes movie = Compress(ExampleMovie());
  movie.insert(movie.end(), {1, 2, 3, 4, 5});
  TSWFStreamReader reader(Save(movie));
  EXPECT_EQ(BodyOf(reader), kBody);
}

TEST_F(ReaderTest, CompressedDataBeyondTheDeclaredLengthIsNotRead) {
  MovieSpec spec;
  spec.compressed = true;
  spec.declared_length = static_cast<int32_t>(8 + 9 + 4 + 2);  // head and two body bytes
  TSWFStreamReader reader(Save(BuildMovie(spec, kBody)));
  EXPECT_EQ(BodyOf(reader), Bytes(kBody.begin(), kBody.begin() + 2));
}

void ExpectLoadError(const std::filesystem::path& file, const std::string& message) {
  try {
    TSWFStreamReader reader(file);
    ADD_FAILURE() << "no error for " << message;
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()), message);
  }
  // The file is closed again, also after a failed load: an exclusive open succeeds.
  EXPECT_NO_THROW(FileStream(file, FileMode::ReadExclusive));
}

TEST_F(ReaderTest, CompressedMovieFailures) {
  const Bytes good = Compress(ExampleMovie());
  Bytes cut = good;
  cut.resize(cut.size() - 6);
  ExpectLoadError(Save(cut, "cut.swf"), "Stream read error");

  Bytes corrupt = good;
  corrupt[8] = 0x79;  // not a zlib header
  ExpectLoadError(Save(corrupt, "corrupt.swf"), "data error");

  Bytes damaged = good;
  for (size_t i = 10; i < damaged.size(); ++i) damaged[i] = 0xFF;  // invalid block type
  ExpectLoadError(Save(damaged, "damaged.swf"), "data error");

  MovieSpec longer;
  longer.compressed = true;
  longer.declared_length = 0x7FFFFFFF;
  ExpectLoadError(Save(BuildMovie(longer, kBody), "long.swf"), "Stream read error");
}

TEST_F(ReaderTest, CompressedLengthThatCannotHoldAHeadIsAnError) {
  for (int32_t length : {8, 0, 3, -1, INT32_MIN}) {
    SCOPED_TRACE(length);
    MovieSpec spec;
    spec.compressed = true;
    spec.declared_length = length;
    ExpectLoadError(Save(BuildMovie(spec, kBody)), "Stream read error");
  }
}

TEST_F(ReaderTest, PresetDictionaryIsRefused) {
  const Bytes plain = ExampleMovie();
  z_stream zs{};
  ASSERT_EQ(deflateInit(&zs, 6), Z_OK);
  const Bytes dictionary = {'d', 'i', 'c', 't'};
  ASSERT_EQ(deflateSetDictionary(&zs, dictionary.data(), dictionary.size()), Z_OK);
  Bytes packed(256);
  zs.next_in = const_cast<uint8_t*>(plain.data() + 8);
  zs.avail_in = static_cast<uInt>(plain.size() - 8);
  zs.next_out = packed.data();
  zs.avail_out = static_cast<uInt>(packed.size());
  ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  packed.resize(zs.total_out);
  deflateEnd(&zs);
  Bytes movie(plain.begin(), plain.begin() + 8);
  movie[0] = 'C';
  movie.insert(movie.end(), packed.begin(), packed.end());
  ExpectLoadError(Save(movie), "need dictionary");
}

TEST_F(ReaderTest, MissingFileNamesItsFullPath) {
  const std::filesystem::path missing = dir_.path() / "absent.swf";
  try {
    TSWFStreamReader reader(missing);
    FAIL() << "no error";
  } catch (const StreamError& error) {
    const std::string text = error.what();
    const std::string expected = "Cannot open file \"" + DisplayPath(missing) + "\". ";
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    EXPECT_GT(text.size(), expected.size());  // the system's message follows
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(ReaderTest, EmptyNameTouchesNoFile) {
  TSWFStreamReader reader{std::filesystem::path()};
  EXPECT_FALSE(reader.HeadValid());
  EXPECT_EQ(reader.Head().Version, 8);
  EXPECT_EQ(reader.MovieWidth(), 0);
  EXPECT_EQ(reader.Body(), nullptr);
}

TEST_F(ReaderTest, ReadHeadModesAndConsumedCount) {
  const Bytes plain = ExampleMovie();
  const std::filesystem::path file = Save(plain);
  TSWFStreamReader reader;
  FileStream stream(file, FileMode::ReadExclusive);
  EXPECT_EQ(reader.ReadHead(stream, 3), 0);
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(reader.ReadHead(stream, TSWFStreamReader::HeadFixed), 8);
  EXPECT_EQ(reader.Head().FrameCount, 0);
  EXPECT_EQ(reader.ReadHead(stream, TSWFStreamReader::HeadFrame), 13);
  EXPECT_EQ(reader.Head().FrameCount, 300);
  stream.SetPosition(0);
  EXPECT_EQ(reader.ReadHead(stream, TSWFStreamReader::HeadWhole), 21);
}

#ifdef _WIN32
TEST_F(ReaderTest, FileOpenedByAnotherIsNotRead) {
  const std::filesystem::path file = Save(ExampleMovie());
  FileStream holder(file, FileMode::ReadShared);
  try {
    TSWFStreamReader reader(file);
    FAIL() << "no error";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"", 0), 0u);
  }
}
#endif

}  // namespace
}  // namespace lumen
