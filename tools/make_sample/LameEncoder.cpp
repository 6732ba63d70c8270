#include "tools/make_sample/LameEncoder.h"

#include <lame/lame.h>

#include <memory>
#include <vector>

namespace lumen::tools {

namespace {

// Every MP3 decoder's synthesis filter bank delays the sound by this much beyond the encoder's
// own delay.
constexpr int kDecoderDelay = 529;

struct LameCloser {
  void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

bool Configure(lame_global_flags* flags) {
  lame_set_num_channels(flags, 2);
  lame_set_in_samplerate(flags, 44100);
  lame_set_out_samplerate(flags, 44100);
  lame_set_mode(flags, JOINT_STEREO);
  lame_set_VBR(flags, vbr_off);
  lame_set_brate(flags, 128);
  lame_set_quality(flags, 2);
  lame_set_bWriteVbrTag(flags, 0);  // a stream sound carries frames of sound only
  lame_set_write_id3tag_automatic(flags, 0);
  return lame_init_params(flags) >= 0;
}

std::optional<EncodedMp3> EncodeMp3(std::span<const int16_t> stereo) {
  const std::unique_ptr<lame_global_flags, LameCloser> flags(lame_init());
  if (!flags || !Configure(flags.get())) return std::nullopt;
  const size_t frames = stereo.size() / 2;
  if (frames > (1u << 30)) return std::nullopt;  // lame counts in int
  // lame's own bound for its output buffer: 1.25 times the samples and 7200 bytes.
  std::vector<unsigned char> out(frames + frames / 4 + 7200);
  std::vector<short> input(stereo.begin(), stereo.end());  // lame takes a mutable buffer
  const int written =
      lame_encode_buffer_interleaved(flags.get(), input.data(), static_cast<int>(frames),
                                     out.data(), static_cast<int>(out.size()));
  if (written < 0) return std::nullopt;
  std::vector<unsigned char> tail(7200);
  const int flushed = lame_encode_flush(flags.get(), tail.data(), static_cast<int>(tail.size()));
  if (flushed < 0) return std::nullopt;
  EncodedMp3 mp3;
  mp3.bytes.assign(out.begin(), out.begin() + written);
  mp3.bytes.insert(mp3.bytes.end(), tail.begin(), tail.begin() + flushed);
  mp3.delay = lame_get_encoder_delay(flags.get()) + kDecoderDelay;
  return mp3;
}

}  // namespace

std::optional<EncodedMp3> EncodeMp3Loop(std::span<const int16_t> loop) {
  constexpr size_t kContext = 2 * 1152;  // sample frames each side: two MP3 frames
  const size_t frames = loop.size() / 2;
  if (frames == 0) return std::nullopt;
  std::vector<int16_t> wrapped;
  wrapped.reserve(2 * (frames + 2 * kContext));
  const auto append = [&](size_t frame) {
    wrapped.push_back(loop[2 * (frame % frames)]);
    wrapped.push_back(loop[2 * (frame % frames) + 1]);
  };
  for (size_t i = 0; i < kContext; ++i) append(frames - kContext % frames + i);
  for (size_t i = 0; i < frames + kContext; ++i) append(i);
  auto mp3 = EncodeMp3(wrapped);
  if (mp3) mp3->delay += static_cast<int>(kContext);
  return mp3;
}

}  // namespace lumen::tools
