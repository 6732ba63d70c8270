// corpus_runner: draws every case of the movie corpus that this engine can play at its capture
// frames, compares with the reference pictures under each case's tolerance, and prints one line
// per case and a summary per category. A failing case known to differ is listed with the reason
// kept in known-differences.tsv beside this file. Mismatches are reported, not fatal: the exit
// status only says whether the runner itself could work. Pictures of failures go to the build
// folder. Device text is drawn in the reference machine's fonts. Environment: LUMEN_CORPUS (the
// corpus folder), LUMEN_CORPUS_CASE (only cases whose name holds this text),
// LUMEN_CORPUS_COVERAGE=compare (sampled grid against exact area per case).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "render/Png.h"
#include "tests/movie/corpus/ReferenceFonts.h"
#include "tools/json/Json.h"
#include "tools/reelrender/MovieRunner.h"

namespace {

namespace fs = std::filesystem;
using lumen::json::Json;

struct Tally {
  int passed = 0, failed = 0, no_picture = 0;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What is known of why a case still differs: "name<TAB>reason" lines, # for comments.
std::map<std::string, std::string> KnownDifferences() {
  std::map<std::string, std::string> known;
  std::istringstream lines(ReadText(fs::path(LUMEN_SOURCE_DIR) / "tests" / "movie" / "corpus" /
                                    "known-differences.tsv"));
  for (std::string line; std::getline(lines, line);) {
    const size_t tab = line.find('\t');
    if (line.empty() || line[0] == '#' || tab == std::string::npos) continue;
    known[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return known;
}

void ExplainFailure(const std::string& name, bool pass,
                    const std::map<std::string, std::string>& known) {
  if (const auto why = known.find(name); !pass && why != known.end()) {
    std::printf("     %s: %s\n", name.c_str(), why->second.c_str());
  }
}

lumen::render::Quality QualityOf(const std::string& name) {
  using lumen::render::Quality;
  if (name == "low") return Quality::Low;
  if (name == "medium") return Quality::Medium;
  if (name == "best") return Quality::Best;
  return Quality::High;
}

// Channels (A, R, G, B of each pixel) differing by more than `tolerance`; `diff` shows them red
// over a faded copy of the reference.
int CountOutliers(const lumen::raster::Pixmap& actual, const lumen::raster::Pixmap& expected,
                  int tolerance, lumen::raster::Pixmap& diff) {
  int outliers = 0;
  diff = lumen::raster::Pixmap(expected.Width(), expected.Height());
  for (int y = 0; y < expected.Height(); ++y) {
    for (int x = 0; x < expected.Width(); ++x) {
      const uint32_t a = actual.At(x, y), e = expected.At(x, y);
      int bad = 0;
      for (int shift = 0; shift < 32; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((e >> shift) & 0xFF);
        bad += std::abs(d) > tolerance;
      }
      outliers += bad;
      diff.Row(y)[x] = bad ? 0xFFFF0000u : 0x40000000u | ((e >> 2) & 0x003F3F3Fu);
    }
  }
  return outliers;
}

struct Capture {
  size_t frame;
  std::string label;
  fs::path reference;
  int tolerance;
  int max_outliers;
};

std::vector<Capture> CapturesOf(const Json& json, const fs::path& folder, size_t last_frame) {
  std::vector<Capture> captures;
  for (const Json& c : json["captures"].items) {
    Capture capture;
    const Json& trigger = c["trigger"];
    capture.frame =
        trigger.type == Json::Type::Number ? static_cast<size_t>(trigger.number) : last_frame;
    capture.label = c["capture"].String("output");
    capture.reference = folder / c["file"].String();
    capture.tolerance = static_cast<int>(c["tolerance"].Number());
    capture.max_outliers = static_cast<int>(c["max_outliers"].Number());
    captures.push_back(capture);
  }
  std::sort(captures.begin(), captures.end(),
            [](const Capture& a, const Capture& b) { return a.frame < b.frame; });
  return captures;
}

struct CaseResult {
  bool pass = true;
  int outliers = 0;  // over all captures
};

// Runs one case with the given coverage method. `out` receives pictures of failed captures and
// `verbose` prints a line per capture.
CaseResult RunCase(const std::string& name, const Json& json, const fs::path& folder,
                   const std::shared_ptr<const lumen::movie::Movie>& movie, const fs::path* out,
                   lumen::raster::CoverageMethod coverage, bool verbose) {
  const size_t last = static_cast<size_t>(
      json["frames"].Number(static_cast<double>(std::max<size_t>(1, movie->root.frames.size()))));
  CaseResult result;
  std::unique_ptr<lumen::tools::MovieRunner> runner;
  // The case's scripted input: after each tick, the events up to the next wait.
  std::vector<lumen::tools::InputEvent> events;
  const fs::path input = folder / (name + ".input.json");
  if (fs::exists(input)) lumen::tools::ParseInputScript(ReadText(input), events);
  size_t next = 0;
  auto deliver = [&] {
    while (next < events.size() && events[next].kind != lumen::tools::InputEvent::Kind::Wait) {
      runner->Deliver(events[next++]);
    }
    if (next < events.size()) ++next;
  };
  for (const Capture& capture : CapturesOf(json, folder, std::max<size_t>(1, last))) {
    const lumen::raster::Pixmap expected = lumen::render::ReadPng(capture.reference.string());
    if (expected.Empty()) {
      std::printf("FAIL %s %s: reference picture unreadable\n", name.c_str(),
                  capture.label.c_str());
      result.pass = false;
      continue;
    }
    if (!runner) {
      lumen::tools::RunOptions options;
      options.width = expected.Width();
      options.height = expected.Height();
      options.quality = QualityOf(json["quality"].String("high"));
      options.device_fonts = lumen::tests::ReferenceFonts();
      options.coverage = coverage;
      runner = std::make_unique<lumen::tools::MovieRunner>(movie, options);
      deliver();
    }
    while (runner->Frame() < capture.frame) {
      runner->Advance();
      deliver();
    }
    const lumen::raster::Pixmap& actual = runner->Draw();
    lumen::raster::Pixmap diff;
    const int outliers = CountOutliers(actual, expected, capture.tolerance, diff);
    const bool pass = outliers <= capture.max_outliers;
    if (verbose) {
      std::printf("%s %s %s frame %zu: %d outlier channels (at most %d, tolerance %d)\n",
                  pass ? "PASS" : "FAIL", name.c_str(), capture.label.c_str(), capture.frame,
                  outliers, capture.max_outliers, capture.tolerance);
    }
    if (!pass && out) {
      const std::string base = (*out / (name + "." + capture.label)).string();
      lumen::render::WritePng(base + ".actual.png", actual);
      lumen::render::WritePng(base + ".diff.png", diff);
    }
    result.pass &= pass;
    result.outliers += outliers;
  }
  return result;
}

// Plays a case with sound and checks the loudest sample of each span of ticks its assertions name
// against their bounds (1.0 is full scale).
bool CheckAudio(const std::string& name, const Json& json,
                const std::shared_ptr<const lumen::movie::Movie>& movie) {
  lumen::tools::RunOptions options;
  options.record_audio = true;
  lumen::tools::MovieRunner runner(movie, options);
  const auto ticks = static_cast<size_t>(std::max(1.0, json["frames"].Number(1)));
  runner.RunTicks(ticks, {});
  const Json& assertions = json["audio_assertions"];
  bool all = true;
  for (size_t i = 0; i < assertions.items.size(); ++i) {
    const Json& a = assertions.items[i];
    const auto from = static_cast<size_t>(a["frames"]["from"].Number(1));
    const auto to = static_cast<size_t>(a["frames"]["to"].Number(1));
    int peak = 0;
    for (size_t tick = from; tick <= to; ++tick) {
      for (const int16_t sample : runner.TickAudio(tick))
        peak = std::max(peak, std::abs(int{sample}));
    }
    const double level = peak / 32768.0;
    const double at_least = a["min_max_amplitude"].Number(0);
    const double at_most = a["max_amplitude"].Number(1);
    const bool pass = level >= at_least && level <= at_most;
    std::printf("%s %s audio %s ticks %zu-%zu: peak %.3f (wanted %.3f to %.3f)\n",
                pass ? "PASS" : "FAIL", name.c_str(), assertions.keys[i].c_str(), from, to, level,
                at_least, at_most);
    all &= pass;
  }
  return all;
}

// The sampled grid against the exact area on one case: outlier channels and verdict of each.
struct CoverageTally {
  int grid_passed = 0, area_passed = 0;
  long grid_outliers = 0, area_outliers = 0;
  int grid_closer = 0, area_closer = 0;
};

void CompareCoverage(const std::string& name, const Json& json, const fs::path& folder,
                     const std::shared_ptr<const lumen::movie::Movie>& movie,
                     CoverageTally& tally) {
  using lumen::raster::CoverageMethod;
  const CaseResult grid =
      RunCase(name, json, folder, movie, nullptr, CoverageMethod::SampledGrid, false);
  const CaseResult area =
      RunCase(name, json, folder, movie, nullptr, CoverageMethod::ExactArea, false);
  std::printf("COVERAGE %-28s grid %7d %s   area %7d %s\n", name.c_str(), grid.outliers,
              grid.pass ? "pass" : "FAIL", area.outliers, area.pass ? "pass" : "FAIL");
  tally.grid_passed += grid.pass;
  tally.area_passed += area.pass;
  tally.grid_outliers += grid.outliers;
  tally.area_outliers += area.outliers;
  tally.grid_closer += grid.outliers < area.outliers;
  tally.area_closer += area.outliers < grid.outliers;
}

fs::path CorpusFolder() {
  if (const char* env = std::getenv("LUMEN_CORPUS"); env && *env) return env;
  return fs::path(LUMEN_SOURCE_DIR) / ".." / "shared" / "corpus";
}

}  // namespace

int main() {
  const fs::path folder = CorpusFolder();
  if (!fs::is_directory(folder)) {
    std::printf("corpus: skipped, no corpus at %s (set LUMEN_CORPUS)\n", folder.string().c_str());
    return 0;
  }
  const fs::path out = fs::path(LUMEN_OUTPUT_DIR) / "corpus-differences";
  fs::create_directories(out);
  std::vector<fs::path> cases;
  for (const auto& entry : fs::directory_iterator(folder)) {
    // NAME.input.json holds a case's scripted mouse events, not a case.
    const fs::path& p = entry.path();
    if (p.extension() == ".json" && p.stem().extension() != ".input") cases.push_back(p);
  }
  std::sort(cases.begin(), cases.end());
  std::map<std::string, Tally> tallies;
  const std::map<std::string, std::string> known = KnownDifferences();
  // LUMEN_CORPUS_COVERAGE=compare draws each case with both coverage methods and prints how
  // far each is from the references instead of the usual report.
  const char* mode = std::getenv("LUMEN_CORPUS_COVERAGE");
  const bool compare = mode && std::string(mode) == "compare";
  CoverageTally coverage;
  for (const fs::path& path : cases) {
    const std::string name = path.stem().string();
    if (const char* only = std::getenv("LUMEN_CORPUS_CASE");
        only && *only && name.find(only) == std::string::npos) {
      continue;
    }
    Json json;
    if (!ParseJson(ReadText(path), json)) {
      std::printf("SKIP %s: unreadable case file\n", name.c_str());
      continue;
    }
    const std::string category = json["category"].String("unknown");
    Tally& tally = tallies[category];
    const auto loaded = lumen::tools::LoadMovieFile(folder / (name + ".swf"));
    if (loaded.movie && !json["audio_assertions"].items.empty()) {
      const bool pass = CheckAudio(name, json, loaded.movie);
      ++(pass ? tally.passed : tally.failed);
      ExplainFailure(name, pass, known);
      continue;
    }
    if (json["captures"].items.empty()) {
      ++tally.no_picture;
      continue;
    }
    if (!loaded.movie) {
      std::printf("FAIL %s: %s\n", name.c_str(), loaded.error.c_str());
      ++tally.failed;
      continue;
    }
    if (compare) {
      CompareCoverage(name, json, folder, loaded.movie, coverage);
      continue;
    }
    const CaseResult result = RunCase(name, json, folder, loaded.movie, &out,
                                      lumen::raster::CoverageMethod::SampledGrid, true);
    ++(result.pass ? tally.passed : tally.failed);
    ExplainFailure(name, result.pass, known);
  }
  if (compare) {
    std::printf(
        "coverage: sampled grid passes %d (%ld outlier channels, closer on %d cases), exact area "
        "passes %d (%ld outlier channels, closer on %d cases)\n",
        coverage.grid_passed, coverage.grid_outliers, coverage.grid_closer, coverage.area_passed,
        coverage.area_outliers, coverage.area_closer);
    return 0;
  }
  Tally total;
  for (const auto& [category, t] : tallies) {
    std::printf("category %-10s passed %d, failed %d, without picture %d\n", category.c_str(),
                t.passed, t.failed, t.no_picture);
    total.passed += t.passed;
    total.failed += t.failed;
    total.no_picture += t.no_picture;
  }
  std::printf("corpus: passed %d, failed %d, without picture %d; differences in %s\n", total.passed,
              total.failed, total.no_picture, out.string().c_str());
  return 0;
}
