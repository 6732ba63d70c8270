#pragma once

// Test streams for the MP3 tests and benchmark: a synthetic signal (a chirp with noise, the
// channels differing) encoded in-process with libmp3lame, and the reference decode by libmpg123.

#include <lame/lame.h>
#include <mpg123.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace lumen::audio::mp3test {

struct Encoding {
  std::string name;
  int rate = 44100;
  MPEG_mode mode = JOINT_STEREO;
  int kbps = 128;  // CBR; ignored with vbr_quality >= 0
  int vbr_quality = -1;
  bool force_ms = false;
  bool crc = false;
  double seconds = 2.0;

  int Channels() const { return mode == MONO ? 1 : 2; }
};

inline std::vector<int16_t> TestSignal(int rate, int channels, double seconds) {
  const int frames = static_cast<int>(rate * seconds);
  std::vector<int16_t> pcm(static_cast<size_t>(frames) * channels);
  uint32_t seed = 1;
  const double top = rate * 0.45;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    // A chirp from 50 Hz to near the band edge, plus noise; the right channel lags and gets a
    // second tone, so mid/side and stereo coding both have work.
    const double phase = 2 * M_PI * (50 * t + (top - 50) * t * t / (2 * seconds));
    for (int ch = 0; ch < channels; ++ch) {
      seed = seed * 1664525u + 1013904223u;
      const double noise = (static_cast<double>(seed >> 8) / 16777216.0 - 0.5) * 0.1;
      double v = 0.5 * std::sin(phase - ch * 0.7) + noise;
      if (ch == 1) v += 0.2 * std::sin(2 * M_PI * 440 * t);
      pcm[static_cast<size_t>(i) * channels + ch] = static_cast<int16_t>(std::lround(v * 30000));
    }
  }
  return pcm;
}

inline std::vector<uint8_t> Encode(const Encoding& e) {
  lame_global_flags* lame = lame_init();
  lame_set_in_samplerate(lame, e.rate);
  lame_set_out_samplerate(lame, e.rate);
  lame_set_num_channels(lame, e.Channels());
  lame_set_mode(lame, e.mode);
  lame_set_force_ms(lame, e.force_ms ? 1 : 0);
  lame_set_error_protection(lame, e.crc ? 1 : 0);
  lame_set_bWriteVbrTag(lame, 0);
  lame_set_quality(lame, 5);
  if (e.vbr_quality >= 0) {
    lame_set_VBR(lame, vbr_default);
    lame_set_VBR_q(lame, e.vbr_quality);
  } else {
    lame_set_brate(lame, e.kbps);
  }
  std::vector<uint8_t> mp3;
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return mp3;
  }
  const std::vector<int16_t> pcm = TestSignal(e.rate, e.Channels(), e.seconds);
  const int frames = static_cast<int>(pcm.size()) / e.Channels();
  mp3.resize(static_cast<size_t>(frames) * 5 / 4 + 7200 * 4);
  int size = 0;
  if (e.Channels() == 2) {
    size = lame_encode_buffer_interleaved(lame, const_cast<short*>(pcm.data()), frames, mp3.data(),
                                          static_cast<int>(mp3.size()));
  } else {
    size = lame_encode_buffer(lame, pcm.data(), pcm.data(), frames, mp3.data(),
                              static_cast<int>(mp3.size()));
  }
  size += lame_encode_flush(lame, mp3.data() + size, static_cast<int>(mp3.size()) - size);
  lame_close(lame);
  mp3.resize(static_cast<size_t>(size > 0 ? size : 0));
  return mp3;
}

// Interleaved samples in 16-bit scale (not rounded), from the first frame on (no gapless trim).
inline std::vector<float> ReferenceDecode(const std::vector<uint8_t>& mp3, int& channels) {
  std::vector<float> out;
  mpg123_handle* mh = mpg123_new(nullptr, nullptr);
  mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
  mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  mpg123_format_none(mh);
  for (long rate : {8000L, 11025L, 12000L, 16000L, 22050L, 24000L, 32000L, 44100L, 48000L}) {
    mpg123_format(mh, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
  }
  mpg123_open_feed(mh);
  mpg123_feed(mh, mp3.data(), mp3.size());
  for (;;) {
    off_t frame_number = 0;
    unsigned char* audio = nullptr;
    size_t bytes = 0;
    const int rc = mpg123_decode_frame(mh, &frame_number, &audio, &bytes);
    if (rc == MPG123_NEW_FORMAT) {
      long rate = 0;
      int encoding = 0;
      mpg123_getformat(mh, &rate, &channels, &encoding);
    } else if (rc != MPG123_OK) {
      break;
    }
    const auto* samples = reinterpret_cast<const float*>(audio);
    for (size_t i = 0; i < bytes / sizeof(float); ++i) out.push_back(samples[i] * 32768.0f);
  }
  mpg123_delete(mh);
  return out;
}

}  // namespace lumen::audio::mp3test
