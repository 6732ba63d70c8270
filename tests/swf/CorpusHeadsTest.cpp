// Reads every movie of the shared corpus (movies none of us wrote) and checks the head figures
// against the corpus manifest. Skipped where the corpus is not present.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "swf/SWFStreamReader.h"

namespace lumen {
namespace {

std::filesystem::path CorpusFolder() {
  if (const char* env = std::getenv("LUMEN_CORPUS")) return env;
  return LUMEN_DEFAULT_CORPUS;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

TEST(CorpusHeads, EveryMovieReadsAsTheManifestSays) {
  const auto folder = CorpusFolder();
  std::ifstream manifest(folder / "MANIFEST.tsv");
  if (!manifest) GTEST_SKIP() << "no corpus at " << folder.string();
  std::string line;
  std::getline(manifest, line);
  std::map<std::string, size_t> column;
  const auto names = SplitTabs(line);
  for (size_t i = 0; i < names.size(); ++i) column[names[i]] = i;

  int movies = 0;
  while (std::getline(manifest, line)) {
    const auto row = SplitTabs(line);
    auto field = [&](const char* name) { return row.at(column.at(name)); };
    SCOPED_TRACE(field("file"));
    TSWFStreamReader reader(folder / field("file"));
    const std::string signature = field("signature");
    if (signature != "FWS" && signature != "CWS") {
      EXPECT_FALSE(reader.HeadValid());
      EXPECT_EQ(reader.MovieWidth(), 0);
      continue;
    }
    ++movies;
    EXPECT_EQ(reader.SignatureText(), signature);
    EXPECT_EQ(std::to_string(reader.Head().Version), field("version"));
    // The manifest gives pixels as decimals; the reader truncates toward zero.
    auto whole = [&](const char* name) {
      return static_cast<int>(std::trunc(std::stod(field(name))));
    };
    EXPECT_EQ(reader.MovieWidth(), whole("width"));
    EXPECT_EQ(reader.MovieHeight(), whole("height"));
    EXPECT_EQ(reader.Head().FrameRate, whole("fps"));
    EXPECT_EQ(std::to_string(reader.Head().FrameCount), field("frames"));
    ASSERT_NE(reader.Body(), nullptr);
  }
  EXPECT_GT(movies, 50);
}

}  // namespace
}  // namespace lumen
