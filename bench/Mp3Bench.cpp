// Times the decode of a 60 s, 44.1 kHz stereo, 128 kbps MP3 by our decoder and by libmpg123.
//   bench_mp3 [RUNS]
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/mp3/Mp3Decoder.h"
#include "bench/CpuClock.h"
#include "tests/audio/mp3/Mp3TestStreams.h"

namespace {

double OursMs(const std::vector<uint8_t>& mp3, size_t& samples) {
  const double start = lumen::bench::CpuMs();
  lumen::audio::Mp3Decoder decoder(2);
  decoder.Feed(mp3);
  std::vector<int16_t> out;
  out.reserve(60 * 44100 * 2 + 4096);
  while (decoder.DecodeNext(out)) {
  }
  samples = out.size();
  return lumen::bench::CpuMs() - start;
}

double Mpg123Ms(const std::vector<uint8_t>& mp3, size_t& samples) {
  const double start = lumen::bench::CpuMs();
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_format_none(mh);
  mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
  mpg123_open_feed(mh);
  mpg123_feed(mh, mp3.data(), mp3.size());
  samples = 0;
  for (;;) {
    off_t frame = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int rc = mpg123_decode_frame(mh, &frame, &audio, &bytes);
    if (rc != MPG123_OK && rc != MPG123_NEW_FORMAT) break;
    samples += bytes / 2;
  }
  mpg123_delete(mh);
  return lumen::bench::CpuMs() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  lumen::audio::mp3test::Encoding encoding{"bench", 44100, JOINT_STEREO, 128};
  encoding.seconds = 60;
  const std::vector<uint8_t> mp3 = lumen::audio::mp3test::Encode(encoding);
  std::vector<double> ours, theirs;
  size_t our_samples = 0, their_samples = 0;
  for (int i = 0; i < runs; ++i) {
    ours.push_back(OursMs(mp3, our_samples));
    theirs.push_back(Mpg123Ms(mp3, their_samples));
  }
  const double our_ms = lumen::bench::MedianOf(ours);
  const double their_ms = lumen::bench::MedianOf(theirs);
  std::printf("60 s 44.1 kHz stereo 128 kbps, %zu bytes, median of %d runs (thread CPU time)\n",
              mp3.size(), runs);
  std::printf("ours:    %8.1f ms  (%zu samples)\n", our_ms, our_samples);
  std::printf("mpg123:  %8.1f ms  (%zu samples)\n", their_ms, their_samples);
  std::printf("ratio:   %8.2fx  goal: <= 1.5x\n", our_ms / their_ms);
  return 0;
}
