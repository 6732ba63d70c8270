// Every MPEG version, rate and channel mode that libmp3lame writes, decoded by our decoder and by
// libmpg123: the two must agree to at least 90 dB PSNR.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "audio/mp3/Mp3Decoder.h"
#include "tests/audio/mp3/Mp3TestStreams.h"

namespace lumen::audio {
namespace {

using mp3test::Encoding;

std::vector<int16_t> DecodeAll(const std::vector<uint8_t>& mp3, int channels, uint32_t& rate) {
  Mp3Decoder decoder(channels);
  decoder.Feed(mp3);
  std::vector<int16_t> out;
  while (decoder.DecodeNext(out)) {
  }
  rate = decoder.Rate();
  return out;
}

double Psnr(const std::vector<int16_t>& ours, const std::vector<float>& reference) {
  const size_t n = std::min(ours.size(), reference.size());
  double error = 0;
  for (size_t i = 0; i < n; ++i) {
    const double d = static_cast<double>(ours[i]) - std::clamp(reference[i], -32768.0f, 32767.0f);
    error += d * d;
  }
  const double mse = std::max(error / static_cast<double>(std::max<size_t>(n, 1)), 1e-12);
  return 10 * std::log10(32767.0 * 32767.0 / mse);
}

std::vector<Encoding> Streams() {
  std::vector<Encoding> s;
  // CBR at a low and a high rate for every sample rate of each version.
  for (int rate : {32000, 44100, 48000}) {
    s.push_back({"mpeg1 js low", rate, JOINT_STEREO, 64});
    s.push_back({"mpeg1 js high", rate, JOINT_STEREO, 320});
  }
  for (int rate : {16000, 22050, 24000}) {
    s.push_back({"mpeg2 js low", rate, JOINT_STEREO, 24});
    s.push_back({"mpeg2 js high", rate, JOINT_STEREO, 160});
  }
  for (int rate : {8000, 11025, 12000}) {
    s.push_back({"mpeg2.5 js low", rate, JOINT_STEREO, 8});
    s.push_back({"mpeg2.5 js high", rate, JOINT_STEREO, 64});
  }
  for (int rate : {44100, 22050, 11025}) {
    s.push_back({"mono", rate, MONO, rate > 30000 ? 96 : 32});
    s.push_back({"stereo", rate, STEREO, rate > 30000 ? 192 : 64});
    s.push_back({"forced ms", rate, JOINT_STEREO, rate > 30000 ? 128 : 48, -1, true});
    s.push_back({"dual channel", rate, DUAL_CHANNEL, rate > 30000 ? 192 : 64});
    s.push_back({"vbr", rate, JOINT_STEREO, 0, 2});
  }
  s.push_back({"vbr low", 44100, JOINT_STEREO, 0, 9});
  s.push_back({"crc", 44100, JOINT_STEREO, 128, -1, false, true});
  s.push_back({"crc lsf", 22050, MONO, 32, -1, false, true});
  return s;
}

TEST(Mp3Conformance, EveryStreamMatchesTheReferenceDecoder) {
  std::printf("%-16s %6s %4s %6s %9s\n", "stream", "rate", "kbps", "frames", "PSNR dB");
  for (const Encoding& e : Streams()) {
    const std::vector<uint8_t> mp3 = mp3test::Encode(e);
    ASSERT_FALSE(mp3.empty()) << e.name << " " << e.rate;
    int channels = 0;
    const std::vector<float> reference = mp3test::ReferenceDecode(mp3, channels);
    ASSERT_EQ(channels, e.Channels()) << e.name << " " << e.rate;
    uint32_t rate = 0;
    const std::vector<int16_t> ours = DecodeAll(mp3, channels, rate);
    const double psnr = Psnr(ours, reference);
    std::printf("%-16s %6d %4d %6zu %9.2f\n", e.name.c_str(), e.rate, e.kbps,
                ours.size() / static_cast<size_t>(channels) / (e.rate >= 32000 ? 1152 : 576), psnr);
    EXPECT_EQ(rate, static_cast<uint32_t>(e.rate)) << e.name;
    EXPECT_EQ(ours.size(), reference.size()) << e.name << " " << e.rate;
    EXPECT_GE(psnr, 90.0) << e.name << " " << e.rate;
  }
}

}  // namespace
}  // namespace lumen::audio
