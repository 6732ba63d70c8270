// The script cases of the corpus and the ActionScript suite: each movie runs for its ticks with
// its scripted input, and its trace() output is compared with what the reference player logged,
// line for line. Prints every case that does not match with its first differing line, and the
// share that match per category. With --floor P it fails when fewer than P percent match, so a
// change that breaks cases shows in the tests.
//
// The suite's imported cases load their harness clip ("dejagnu" from Dejagnu.swf) from beside
// them, as the reference run had it; the suite does not ship it. A folder without one plays from
// a copy in the temporary directory: links to its files, and our own harness clip.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/movie/corpus/ReferenceFonts.h"
#include "tools/json/Json.h"
#include "tools/reelrender/InputScript.h"
#include "tools/reelrender/MovieRunner.h"

namespace {

namespace fs = std::filesystem;
using lumen::json::Json;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    // Some reference logs were saved with Windows line ends.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

struct Tolerance {
  double epsilon = 0;
  double relative = 0;
  bool any = false;
};

// Lines with numbers that agree within the case's tolerance count as equal.
bool SameLine(const std::string& a, const std::string& b, const Tolerance& t) {
  if (a == b) return true;
  if (!t.any) return false;
  char* end_a = nullptr;
  char* end_b = nullptr;
  const double x = std::strtod(a.c_str(), &end_a);
  const double y = std::strtod(b.c_str(), &end_b);
  if (*end_a != '\0' || *end_b != '\0' || end_a == a.c_str() || end_b == b.c_str()) return false;
  const double diff = std::fabs(x - y);
  return diff <= t.epsilon || diff <= t.relative * std::max(std::fabs(x), std::fabs(y));
}

struct Tally {
  int matched = 0, total = 0;
  int missing_files = 0;  // differing cases that asked for files not beside them
};

struct CaseFolder {
  fs::path path;
  const char* label;
};

// Where a folder's cases load their files from: the folder itself, or a staged copy of it with
// the harness clip, removed when done.
class MovieFolder {
 public:
  explicit MovieFolder(const fs::path& folder) : path_(folder) {
    constexpr const char* kHarness = "Dejagnu.swf";
    if (fs::exists(folder / kHarness)) return;
    staged_ = fs::temp_directory_path() / ("lumen-trace-" + std::to_string(getpid()));
    fs::remove_all(staged_);
    fs::create_directories(staged_);
    for (const auto& entry : fs::directory_iterator(folder)) {
      fs::create_symlink(entry.path(), staged_ / entry.path().filename());
    }
    fs::copy_file(LUMEN_HARNESS_MOVIE, staged_ / kHarness);
    path_ = staged_;
  }
  ~MovieFolder() {
    std::error_code ignored;
    if (!staged_.empty()) fs::remove_all(staged_, ignored);
  }
  MovieFolder(const MovieFolder&) = delete;
  MovieFolder& operator=(const MovieFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
  fs::path staged_;
};

}  // namespace

int main(int argc, char** argv) {
  double floor = 0;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--floor") floor = std::atof(argv[i + 1]);
  }
  const fs::path shared = fs::path(LUMEN_SOURCE_DIR) / ".." / "shared";
  const CaseFolder folders[] = {{shared / "corpus", "corpus"},
                                {shared / "suites" / "avm1", "suite"}};
  std::map<std::string, Tally> tallies;
  Tally total;
  const char* only = std::getenv("LUMEN_TRACE_CASE");
  for (const CaseFolder& folder : folders) {
    if (!fs::is_directory(folder.path)) continue;
    const MovieFolder files(folder.path);
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(folder.path)) {
      const fs::path& p = entry.path();
      if (p.extension() == ".json" && p.stem().extension() != ".input") cases.push_back(p);
    }
    std::sort(cases.begin(), cases.end());
    for (const fs::path& path : cases) {
      const std::string name = path.stem().string();
      if (only && *only && name.find(only) == std::string::npos) continue;
      Json json;
      if (!ParseJson(ReadText(path), json)) continue;
      const Json& expected_name = json["expected_trace"];
      if (expected_name.type != Json::Type::String) continue;
      std::string expected_text;
      if (!expected_name.text.empty()) expected_text = ReadText(folder.path / expected_name.text);
      const std::string category = std::string(folder.label) + "/" + json["category"].String("?");
      Tally& tally = tallies[category];
      ++tally.total;
      ++total.total;

      std::vector<lumen::tools::InputEvent> events;
      const fs::path input = folder.path / (name + ".input.json");
      if (fs::exists(input)) lumen::tools::ParseInputScript(ReadText(input), events);
      const auto loaded = lumen::tools::LoadMovieFile(folder.path / (name + ".swf"));
      std::vector<std::string> got;
      std::set<std::string> missing;  // files the case asked for that are not beside it
      if (loaded.movie) {
        lumen::tools::RunOptions options;
        options.width = options.height = 1;  // nothing is drawn
        options.tick_ms = json["tick_rate_ms"].Number(0);
        options.device_fonts = lumen::tests::ReferenceFonts();
        // No case needs long: a runaway script gives up its run after a second here.
        options.script_limits.run_ms = 1000;
        options.movie_folder = files.Path();  // the files a case loads lie beside it
        options.missing_file = [&missing](std::string_view file) { missing.emplace(file); };
        options.viewport_width = json["viewport"]["width"].Number(0);
        options.viewport_height = json["viewport"]["height"].Number(0);
        options.trace = [&got](std::string_view line) {
          std::string text(line);
          for (const std::string& l : Lines(text + "\n")) got.push_back(l);
        };
        lumen::tools::MovieRunner runner(loaded.movie, options);
        const auto ticks = static_cast<size_t>(std::max(1.0, json["frames"].Number(1)));
        runner.RunTicks(ticks, events);
      }
      Tolerance tolerance;
      const Json& approx = json["approximations"];
      if (approx.type == Json::Type::Object) {
        tolerance.any = true;
        tolerance.epsilon = approx["epsilon"].Number(0);
        tolerance.relative = approx["max_relative"].Number(0);
      }
      const std::vector<std::string> want = Lines(expected_text);
      size_t line = 0;
      while (line < want.size() && line < got.size() &&
             SameLine(got[line], want[line], tolerance)) {
        ++line;
      }
      if (line == want.size() && line == got.size()) {
        ++tally.matched;
        ++total.matched;
        continue;
      }
      std::printf("DIFF %s line %zu: got \"%s\", want \"%s\"\n", name.c_str(), line + 1,
                  line < got.size() ? got[line].c_str() : "<end>",
                  line < want.size() ? want[line].c_str() : "<end>");
      if (!missing.empty()) {
        ++total.missing_files;
        std::string names;
        for (const std::string& file : missing) names += (names.empty() ? "" : ", ") + file;
        std::printf("     it loads %s, not beside the case\n", names.c_str());
      }
    }
  }
  for (const auto& [category, t] : tallies) {
    std::printf("category %-16s matched %d of %d (%.1f%%)\n", category.c_str(), t.matched, t.total,
                t.total ? 100.0 * t.matched / t.total : 0.0);
  }
  const double share = total.total ? 100.0 * total.matched / total.total : 100.0;
  std::printf(
      "traces: matched %d of %d (%.1f%%); %d of the differing cases load files that are "
      "not beside them\n",
      total.matched, total.total, share, total.missing_files);
  return share + 1e-9 >= floor ? 0 : 1;
}
