// Our decoders against ffmpeg's on the same bytes: ADPCM, PCM and G.711 sample for sample,
// Nellymoser to within float rounding (its noise signs drawn from ffmpeg's own generator). The
// streams come from ffmpeg's encoders where it has them (4-bit ADPCM, Nellymoser) and otherwise
// are random codes, wrapped in FLV here.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/codecs/AdpcmDecoder.h"
#include "audio/codecs/G711Decoder.h"
#include "audio/codecs/NellymoserDecoder.h"
#include "audio/codecs/PcmDecoder.h"
#include "tests/audio/codecs/DecodeAll.h"
#include "tests/support/TempDir.h"

namespace lumen::audio {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::DecodeAll;

class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

// A falling-to-rising chirp plus a little noise, interleaved for `channels`.
Bytes TestSignal(int frames, int channels, uint32_t rate) {
  Random noise(7);
  Bytes raw;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / rate;
    for (int c = 0; c < channels; ++c) {
      const double tone = std::sin(2 * 3.14159265358979 * (200 + 1500 * t * (c + 1)) * t);
      const int value =
          static_cast<int>(12000 * tone) + static_cast<int>(noise.Next() % 2001) - 1000;
      raw.push_back(static_cast<uint8_t>(value & 0xFF));
      raw.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    }
  }
  return raw;
}

std::vector<int16_t> AsSamples(const Bytes& raw) {
  std::vector<int16_t> samples;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    samples.push_back(static_cast<int16_t>(raw[i] | (raw[i + 1] << 8)));
  }
  return samples;
}

void PutBigEndian(Bytes& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// An audio-only FLV of one tag a span, each led by `format_byte`.
Bytes WrapFlv(uint8_t format_byte, const std::vector<Bytes>& spans) {
  Bytes flv = {'F', 'L', 'V', 1, 0x04, 0, 0, 0, 9, 0, 0, 0, 0};
  uint32_t timestamp = 0;
  for (const Bytes& span : spans) {
    const uint32_t size = static_cast<uint32_t>(span.size() + 1);
    flv.push_back(8);
    PutBigEndian(flv, size, 3);
    PutBigEndian(flv, timestamp++, 3);
    PutBigEndian(flv, 0, 4);  // timestamp high byte, stream id
    flv.push_back(format_byte);
    flv.insert(flv.end(), span.begin(), span.end());
    PutBigEndian(flv, size + 11, 4);
  }
  return flv;
}

struct FlvAudio {
  uint8_t format_byte = 0;  // of the first audio tag
  std::vector<Bytes> payloads;
};

// The audio payloads of an FLV's tags, without their format bytes.
FlvAudio ReadFlvAudio(const Bytes& flv) {
  FlvAudio audio;
  size_t at = 13;
  while (at + 11 <= flv.size()) {
    const size_t size = (flv[at + 1] << 16) | (flv[at + 2] << 8) | flv[at + 3];
    if (at + 11 + size > flv.size()) break;
    if (flv[at] == 8 && size > 1) {
      if (audio.payloads.empty()) audio.format_byte = flv[at + 11];
      audio.payloads.emplace_back(flv.begin() + at + 12, flv.begin() + at + 11 + size);
    }
    at += 11 + size + 4;
  }
  return audio;
}

class CodecOracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "ffmpeg runs natively only";
#else
    if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
#endif
  }

  // Runs ffmpeg with `input_options` on `input`, writing `output_options` to a file; its bytes.
  Bytes Ffmpeg(const std::string& input_options, const Bytes& input,
               const std::string& output_options, const std::string& output_name) {
    const auto in = temp_.Write("in" + std::to_string(runs_) + ".bin", input);
    const auto out = temp_.path() / (std::to_string(runs_++) + output_name);
    const std::string command = "ffmpeg -nostdin -v error -y " + input_options + " -i '" +
                                in.string() + "' " + output_options + " '" + out.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return lumen::testing::ReadFileBytes(out);
  }

  std::vector<int16_t> FfmpegDecodeFlv(const Bytes& flv) {
    return AsSamples(Ffmpeg("-f flv", flv, "-f s16le", "out.raw"));
  }

  lumen::testing::TempDir temp_;
  int runs_ = 0;
};

TEST_F(CodecOracleTest, AdpcmFromFfmpegsEncoderMatchesExactly) {
  for (const int channels : {1, 2}) {
    const uint32_t rate = channels == 1 ? 22050 : 44100;
    const Bytes raw = TestSignal(rate * 3 / 2, channels, rate);
    const Bytes flv =
        Ffmpeg("-f s16le -ar " + std::to_string(rate) + " -ac " + std::to_string(channels), raw,
               "-c:a adpcm_swf -f flv", "out.flv");
    const FlvAudio audio = ReadFlvAudio(flv);
    SCOPED_TRACE(channels);
    ASSERT_EQ(audio.format_byte >> 4, 1);

    AdpcmDecoder ours(SoundFormat::FromByte(audio.format_byte));
    EXPECT_EQ(DecodeAll(ours, audio.payloads), FfmpegDecodeFlv(flv));
  }
}

// Random 2- to 5-bit streams: whole packets, a short last packet, the range's clamps.
TEST_F(CodecOracleTest, AdpcmOfEveryCodeSizeMatchesExactly) {
  Random random(99);
  for (int code_bits = 2; code_bits <= 5; ++code_bits) {
    for (const int channels : {1, 2}) {
      std::vector<Bytes> spans;
      for (const size_t bytes : {1200u, 5000u, 3u + 4u * channels, 700u}) {
        Bytes span(bytes);
        for (uint8_t& byte : span) byte = static_cast<uint8_t>(random.Next());
        span[0] = static_cast<uint8_t>((span[0] & 0x3F) | ((code_bits - 2) << 6));
        spans.push_back(span);
      }
      const uint8_t format_byte = static_cast<uint8_t>(0x1E | (channels - 1));
      AdpcmDecoder ours(SoundFormat::FromByte(format_byte));
      SCOPED_TRACE(code_bits * 10 + channels);
      EXPECT_EQ(DecodeAll(ours, spans), FfmpegDecodeFlv(WrapFlv(format_byte, spans)));
    }
  }
}

TEST_F(CodecOracleTest, PcmAndG711MatchExactly) {
  Bytes codes(512);
  for (size_t i = 0; i < codes.size(); ++i) codes[i] = static_cast<uint8_t>(i * 7);
  struct Case {
    const char* ffmpeg_format;
    uint8_t format_byte;
  };
  for (const Case& c : {Case{"u8", 0x01}, Case{"alaw", 0x71}, Case{"mulaw", 0x81}}) {
    SCOPED_TRACE(c.ffmpeg_format);
    const SoundFormat format = SoundFormat::FromByte(c.format_byte);
    std::unique_ptr<Decoder> ours;
    if (format.codec == Codec::PcmNative) {
      ours = std::make_unique<PcmDecoder>(format);
    } else {
      ours = std::make_unique<G711Decoder>(format);
    }
    const std::vector<int16_t> theirs = AsSamples(Ffmpeg(
        std::string("-f ") + c.ffmpeg_format + " -ar 5512 -ac 2", codes, "-f s16le", "out.raw"));
    EXPECT_EQ(DecodeAll(*ours, {codes}), theirs);
  }
}

// ffmpeg's noise: its lagged Fibonacci generator av_lfg seeded with 0, whose first state words
// are chained MD5 sums of the seed.
class FfmpegNoise {
 public:
  FfmpegNoise() {
    static constexpr uint32_t kSeeded[56] = {
        0x3B376B5E, 0xF56BE763, 0xCBA2A7FC, 0x9751B2C7, 0x5B1FE69A, 0x860B05AF, 0x2B2650CA,
        0x92A97FB0, 0x7315E8EB, 0x8B6287A3, 0x2DDBD8B3, 0x1D098CA2, 0x6A65B478, 0xC9B22DB4,
        0x9637FBCF, 0xD4427934, 0xB390E2B5, 0x92A84D32, 0x2110B086, 0x25A9182F, 0x239295F1,
        0xC6F846F7, 0x5C5B3A51, 0xE6A7BA34, 0xD6597325, 0xA537E3DF, 0xCB80E534, 0xEAECF2DC,
        0x9BBB6BD1, 0x2EA8BD11, 0x8C06CE60, 0x6859AF1D, 0xF159F64E, 0xC213BD06, 0x2A5D7785,
        0xE621DC54, 0xB8CB9A8E, 0xE6A491F8, 0x85D7DF25, 0x917D9AEE, 0xB156C513, 0x5BD929DD,
        0xF6A9DAB1, 0xC3EC5F2A, 0x5215230D, 0xE2B677D7, 0x701E36E7, 0x5405E2C7, 0xDDCB3AE2,
        0x95B866EA, 0x1EB13C9A, 0x346646C2, 0x8BA48526, 0xB325E9BF, 0x29F07D49, 0xC986CF38};
    std::copy(std::begin(kSeeded), std::end(kSeeded), state_.begin() + 8);
  }
  bool operator()() {
    const uint32_t value = state_[(index_ - 24) & 63] + state_[(index_ - 55) & 63];
    state_[index_++ & 63] = value;
    return (value & 1) != 0;
  }

 private:
  std::array<uint32_t, 64> state_{};
  uint32_t index_ = 0;
};

double PsnrDb(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double error = 0;
  for (size_t i = 0; i < a.size(); ++i) error += std::pow(static_cast<double>(a[i]) - b[i], 2);
  if (error == 0) return 200;
  return 10 * std::log10(32767.0 * 32767.0 * a.size() / error);
}

TEST_F(CodecOracleTest, NellymoserWithinFloatRoundingOfFfmpeg) {
  for (const uint32_t rate : {8000u, 16000u, 22050u}) {
    SCOPED_TRACE(rate);
    const Bytes raw = TestSignal(rate * 2, 1, rate);
    const Bytes flv = Ffmpeg("-f s16le -ar " + std::to_string(rate) + " -ac 1", raw,
                             "-c:a nellymoser -f flv", "out.flv");
    const FlvAudio audio = ReadFlvAudio(flv);
    const SoundFormat format = SoundFormat::FromByte(audio.format_byte);
    ASSERT_EQ(format.rate, rate);

    NellymoserDecoder ours(format, FfmpegNoise());
    const std::vector<int16_t> decoded = DecodeAll(ours, audio.payloads);
    const std::vector<int16_t> theirs = FfmpegDecodeFlv(flv);
    ASSERT_EQ(decoded.size(), theirs.size());
    EXPECT_GE(PsnrDb(decoded, theirs), 60.0);
    std::printf("Nellymoser %u Hz: %.1f dB PSNR against ffmpeg\n", rate, PsnrDb(decoded, theirs));
  }
}

}  // namespace
}  // namespace lumen::audio
