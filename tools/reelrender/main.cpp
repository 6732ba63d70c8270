// reelrender MOVIE [--frame N]... [--size WxH] [--quality low|medium|high|best]
//            [--scale showall|noborder|exactfit|noscale] [--bench] [-o PATTERN]
//            [--ticks N] [--tick-ms T] [--input EVENTS.json] [--trace FILE] [--audio OUT.wav]
//            [--threads N]
// Plays the movie from its first frame and writes the picture shown after each requested frame
// (default: the last) as a PNG named by PATTERN with %d replaced by the frame number. --bench
// draws every frame up to the largest requested one (or --ticks) and prints timing and memory
// figures.
// --ticks runs that many ticks (drawing only the frames asked for), --input delivers scripted
// mouse and key events between ticks, and --trace writes every trace() line to FILE (- for
// standard output). --audio writes the sound mixed over the run, tick by tick as the frames.
// --threads draws each frame in N bands of rows at once, with the same pixels.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "render/Png.h"
#include "tools/reelrender/MovieRunner.h"
#include "tools/reelrender/PeakMemory.h"
#include "tools/reelrender/WavFile.h"

namespace {

using lumen::tools::RunOptions;

struct Arguments {
  std::string movie;
  std::set<size_t> frames;
  RunOptions options;
  std::string pattern;
  bool bench = false;
  size_t ticks = 0;
  std::string input;
  std::string trace;
  std::string audio;
};

constexpr const char* kUsage =
    "usage: reelrender MOVIE [--frame N]... [--size WxH] [--quality low|medium|high|best]\n"
    "                  [--scale showall|noborder|exactfit|noscale] [--bench] [-o PATTERN]\n"
    "                  [--ticks N] [--tick-ms T] [--input EVENTS.json] [--trace FILE]\n"
    "                  [--audio OUT.wav] [--threads N]\n";

std::optional<size_t> ParseCount(const std::string& text) {
  if (text.empty() || text.size() > 9 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return static_cast<size_t>(std::stoul(text));
}

bool ParseSize(const std::string& text, RunOptions& options) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const auto w = ParseCount(text.substr(0, x));
  const auto h = ParseCount(text.substr(x + 1));
  if (!w || !h || *w == 0 || *h == 0 || *w > 16384 || *h > 16384) return false;
  options.width = static_cast<int>(*w);
  options.height = static_cast<int>(*h);
  return true;
}

bool ParseQuality(const std::string& text, RunOptions& options) {
  using lumen::render::Quality;
  const std::pair<const char*, Quality> names[] = {{"low", Quality::Low},
                                                   {"medium", Quality::Medium},
                                                   {"high", Quality::High},
                                                   {"best", Quality::Best}};
  for (const auto& [name, quality] : names) {
    if (text == name) {
      options.quality = quality;
      return true;
    }
  }
  return false;
}

bool ParseScale(const std::string& text, RunOptions& options) {
  using lumen::render::ScaleMode;
  const std::pair<const char*, ScaleMode> names[] = {{"showall", ScaleMode::ShowAll},
                                                     {"noborder", ScaleMode::NoBorder},
                                                     {"exactfit", ScaleMode::ExactFit},
                                                     {"noscale", ScaleMode::NoScale}};
  for (const auto& [name, mode] : names) {
    if (text == name) {
      options.scale = mode;
      return true;
    }
  }
  return false;
}

bool Parse(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--bench") {
      args.bench = true;
    } else if (arg == "--frame" && has_value) {
      const auto n = ParseCount(argv[++i]);
      if (!n || *n == 0) return false;
      args.frames.insert(*n);
    } else if (arg == "--size" && has_value) {
      if (!ParseSize(argv[++i], args.options)) return false;
    } else if (arg == "--quality" && has_value) {
      if (!ParseQuality(argv[++i], args.options)) return false;
    } else if (arg == "--scale" && has_value) {
      if (!ParseScale(argv[++i], args.options)) return false;
    } else if (arg == "--ticks" && has_value) {
      const auto n = ParseCount(argv[++i]);
      if (!n || *n == 0) return false;
      args.ticks = *n;
    } else if (arg == "--threads" && has_value) {
      const auto n = ParseCount(argv[++i]);
      if (!n || *n == 0 || *n > static_cast<size_t>(lumen::render::Renderer::kMaxThreads)) {
        return false;
      }
      args.options.threads = static_cast<int>(*n);
    } else if (arg == "--tick-ms" && has_value) {
      const auto n = ParseCount(argv[++i]);
      if (!n || *n == 0) return false;
      args.options.tick_ms = static_cast<double>(*n);
    } else if (arg == "--input" && has_value) {
      args.input = argv[++i];
    } else if (arg == "--trace" && has_value) {
      args.trace = argv[++i];
    } else if (arg == "--audio" && has_value) {
      args.audio = argv[++i];
      args.options.record_audio = true;
    } else if (arg == "-o" && has_value) {
      args.pattern = argv[++i];
    } else if (arg.empty() || arg[0] == '-' || !args.movie.empty()) {
      return false;
    } else {
      args.movie = arg;
    }
  }
  if ((args.ticks > 0 || !args.audio.empty()) && args.frames.empty() && args.pattern.empty()) {
    return !args.movie.empty();
  }
  return !args.movie.empty() && (args.bench || !args.pattern.empty());
}

std::string OutputName(const std::string& pattern, size_t frame) {
  std::string name = pattern;
  const std::string number = std::to_string(frame);
  for (size_t at = name.find("%d"); at != std::string::npos;
       at = name.find("%d", at + number.size())) {
    name.replace(at, 2, number);
  }
  return name;
}

int Bench(lumen::tools::MovieRunner& runner, size_t last) {
  std::vector<double> ms;
  ms.reserve(last);
  for (size_t frame = 1; frame <= last; ++frame) {
    const auto start = std::chrono::steady_clock::now();
    if (frame > 1) runner.Advance();
    runner.Draw();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    ms.push_back(took.count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("frames=%zu ms_per_frame=%.3f peak_mb=%.1f\n", last, ms[ms.size() / 2],
              static_cast<double>(lumen::tools::PeakMemoryBytes()) / (1024.0 * 1024.0));
  return 0;
}

// Runs the ticks (at least up to the last frame asked for) and draws the frames asked for.
int Render(lumen::tools::MovieRunner& runner, const Arguments& args,
           const std::vector<lumen::tools::InputEvent>& events) {
  int status = 0;
  const size_t last = std::max(args.ticks, args.frames.empty() ? 0 : *args.frames.rbegin());
  runner.RunTicks(last, events, [&](size_t tick) {
    if (!args.frames.count(tick) || args.pattern.empty()) return;
    const std::string name = OutputName(args.pattern, tick);
    if (!lumen::render::WritePng(name, runner.Draw())) {
      std::fprintf(stderr, "reelrender: cannot write %s\n", name.c_str());
      status = 1;
    }
  });
  if (!args.audio.empty() && !lumen::tools::WriteWav(args.audio, runner.Audio())) {
    std::fprintf(stderr, "reelrender: cannot write %s\n", args.audio.c_str());
    status = 1;
  }
  return status;
}

bool ReadText(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const lumen::movie::LoadResult loaded = lumen::tools::LoadMovieFile(args.movie);
  args.options.movie_folder = std::filesystem::absolute(args.movie).parent_path();
  if (!loaded.movie) {
    std::fprintf(stderr, "reelrender: %s: %s\n", args.movie.c_str(), loaded.error.c_str());
    return 1;
  }
  for (const std::string& warning : loaded.movie->warnings) {
    std::fprintf(stderr, "reelrender: %s: %s\n", args.movie.c_str(), warning.c_str());
  }
  if (args.frames.empty() && args.ticks == 0)
    args.frames.insert(std::max<size_t>(1, loaded.movie->root.frames.size()));
  std::vector<lumen::tools::InputEvent> events;
  if (!args.input.empty()) {
    std::string text;
    if (!ReadText(args.input, text) || !lumen::tools::ParseInputScript(text, events)) {
      std::fprintf(stderr, "reelrender: cannot read the input events in %s\n", args.input.c_str());
      return 1;
    }
  }
  std::ofstream trace_file;
  if (!args.trace.empty() && args.trace != "-") {
    trace_file.open(args.trace, std::ios::binary);
    if (!trace_file) {
      std::fprintf(stderr, "reelrender: cannot write %s\n", args.trace.c_str());
      return 1;
    }
  }
  if (!args.trace.empty()) {
    std::ostream& out = args.trace == "-" ? std::cout : trace_file;
    args.options.trace = [&out](std::string_view line) { out << line << '\n'; };
  }
  lumen::tools::MovieRunner runner(loaded.movie, args.options);
  if (args.bench) {
    return Bench(
        runner, std::max({args.ticks, size_t{1}, args.frames.empty() ? 0 : *args.frames.rbegin()}));
  }
  return Render(runner, args, events);
}
