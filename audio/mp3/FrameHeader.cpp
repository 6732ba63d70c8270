#include "audio/mp3/FrameHeader.h"

namespace lumen::audio::mp3 {
namespace {

constexpr int kBitratesMpeg1[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                    112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesLsf[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr uint32_t kRatesMpeg1[3] = {44100, 48000, 32000};

}  // namespace

std::optional<FrameHeader> FrameHeader::Parse(std::span<const uint8_t> bytes) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return std::nullopt;
  const int version_bits = (bytes[1] >> 3) & 3;
  const int layer_bits = (bytes[1] >> 1) & 3;
  const int bitrate_index = bytes[2] >> 4;
  const int rate_bits = (bytes[2] >> 2) & 3;
  if (version_bits == 1 || layer_bits != 1 || bitrate_index == 0 || bitrate_index == 15 ||
      rate_bits == 3) {
    return std::nullopt;
  }
  FrameHeader header;
  header.version = version_bits == 3   ? Version::Mpeg1
                   : version_bits == 2 ? Version::Mpeg2
                                       : Version::Mpeg25;
  header.crc = (bytes[1] & 1) == 0;
  const int version_index = static_cast<int>(header.version);
  header.bitrate_kbps =
      version_index == 0 ? kBitratesMpeg1[bitrate_index] : kBitratesLsf[bitrate_index];
  header.rate_index = version_index * 3 + rate_bits;
  header.rate = kRatesMpeg1[rate_bits] >> version_index;
  header.padding = (bytes[2] >> 1) & 1;
  header.mode = static_cast<ChannelMode>(bytes[3] >> 6);
  header.mode_extension = (bytes[3] >> 4) & 3;
  return header;
}

int FrameHeader::FrameBytes() const {
  const int per_kbps = version == Version::Mpeg1 ? 144000 : 72000;
  return static_cast<int>(static_cast<uint32_t>(per_kbps * bitrate_kbps) / rate) +
         (padding ? 1 : 0);
}

int FrameHeader::SideInfoBytes() const {
  if (version == Version::Mpeg1) return Channels() == 1 ? 17 : 32;
  return Channels() == 1 ? 9 : 17;
}

}  // namespace lumen::audio::mp3
