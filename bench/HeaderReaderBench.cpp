// Times the header reader on a large compressed movie against a bare zlib inflate of the same
// bytes, and measures the reader's peak memory against the movie's uncompressed size.
//   bench_header_reader [MEGABYTES]        prints the figures
//   bench_header_reader --peak FILE        (internal) loads FILE in a fresh process, prints bytes
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "swf/SWFStreamReader.h"

namespace {

using lumen::authoring::Bytes;
using Clock = std::chrono::steady_clock;

// A movie body like a slideshow's: photo data that barely compresses between shape and text
// tags that compress well.
Bytes SlideshowLikeBody(size_t size) {
  Bytes body;
  body.reserve(size + 4096);
  uint32_t seed = 12345;
  while (body.size() < size) {
    Bytes tag(std::min<size_t>(size - body.size(), 60000));
    const bool photo = (body.size() / 60000) % 4 != 3;
    for (size_t i = 0; i < tag.size(); ++i) {
      seed = seed * 1664525u + 1013904223u;
      tag[i] = photo ? static_cast<uint8_t>(seed >> 24) : static_cast<uint8_t>(i % 97);
    }
    lumen::authoring::WriteTag(body, photo ? 21 : 2, tag, true);
  }
  return body;
}

long ReadStatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::strlen(field)));
  }
  return -1;
}

int PeakMode(const char* file) {
  const long before = ReadStatusKb("VmRSS:");
  { lumen::TSWFStreamReader reader{std::filesystem::path(file)}; }
  const long peak = ReadStatusKb("VmHWM:");
  std::printf("%ld\n", (peak - before) * 1024);
  return 0;
}

template <typename F>
double MedianMs(int runs, F&& work) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

long PeakInFreshProcess(const char* self, const std::string& file) {
  const std::string command = std::string(self) + " --peak " + file;
  FILE* pipe = popen(command.c_str(), "r");
  long bytes = -1;
  if (pipe != nullptr) {
    if (std::fscanf(pipe, "%ld", &bytes) != 1) bytes = -1;
    pclose(pipe);
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return PeakMode(argv[2]);
  const size_t megabytes = argc > 1 ? std::stoul(argv[1]) : 50;
  const size_t size = megabytes << 20;

  lumen::authoring::MovieSpec spec;
  spec.compressed = true;
  const Bytes movie = lumen::authoring::BuildMovie(spec, SlideshowLikeBody(size - 21));
  const auto file =
      std::filesystem::temp_directory_path() / ("lumen-bench-" + std::to_string(getpid()) + ".swf");
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(movie.data()),
             static_cast<std::streamsize>(movie.size()));
  uint32_t length = 0;
  std::memcpy(&length, movie.data() + 4, 4);
  const size_t inflated_size = length - 8;

  const double bare_ms = MedianMs(5, [&] {
    // The floor: the compressed bytes, already in memory, inflated in one call into a new buffer
    // of the right size. The reader also reads the file and finds the size as it goes.
    std::unique_ptr<uint8_t[]> target(new uint8_t[inflated_size]);
    uLongf out_size = inflated_size;
    uncompress(target.get(), &out_size, movie.data() + 8, static_cast<uLong>(movie.size() - 8));
  });
  const double reader_ms = MedianMs(5, [&] { lumen::TSWFStreamReader reader(file); });
  const long peak = PeakInFreshProcess(argv[0], file.string());
  std::filesystem::remove(file);

  std::printf("movie: CWS, %zu bytes uncompressed, %zu compressed\n", size_t{length}, movie.size());
  std::printf("bare inflate:  %.1f ms (median of 5)\n", bare_ms);
  std::printf("header reader: %.1f ms (median of 5)\n", reader_ms);
  std::printf("time ratio reader/inflate: %.2f (goal <= 1.30)\n", reader_ms / bare_ms);
  std::printf("peak memory: %.1f MB, ratio to uncompressed size: %.2f (goal <= 2.20)\n",
              static_cast<double>(peak) / 1e6, static_cast<double>(peak) / length);
  return 0;
}
