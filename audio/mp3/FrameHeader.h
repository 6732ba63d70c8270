#pragma once

// The four-byte header that starts every MPEG audio frame, for layer III only.

#include <cstdint>
#include <optional>
#include <span>

namespace lumen::audio::mp3 {

enum class Version : uint8_t { Mpeg1, Mpeg2, Mpeg25 };
enum class ChannelMode : uint8_t { Stereo = 0, JointStereo = 1, DualChannel = 2, Mono = 3 };

struct FrameHeader {
  Version version = Version::Mpeg1;
  bool crc = false;
  int bitrate_kbps = 0;
  int rate_index = 0;  // 0..8 across the three versions: 44.1, 48, 32, 22.05, 24, 16, 11.025, 12, 8
  uint32_t rate = 0;
  bool padding = false;
  ChannelMode mode = ChannelMode::Stereo;
  int mode_extension = 0;

  int Channels() const { return mode == ChannelMode::Mono ? 1 : 2; }
  int Granules() const { return version == Version::Mpeg1 ? 2 : 1; }
  int SampleFrames() const { return 576 * Granules(); }
  int FrameBytes() const;
  int SideInfoBytes() const;
  bool MidSide() const { return mode == ChannelMode::JointStereo && (mode_extension & 2); }
  bool Intensity() const { return mode == ChannelMode::JointStereo && (mode_extension & 1); }
  // Another frame of the same stream has the same version, rate and channel count.
  bool SameStream(const FrameHeader& other) const {
    return version == other.version && rate == other.rate && Channels() == other.Channels();
  }

  // A header at the start of `bytes`; none when the bytes are not a layer III header with a
  // valid bitrate (free format is not decoded) and rate.
  static std::optional<FrameHeader> Parse(std::span<const uint8_t> bytes);
};

}  // namespace lumen::audio::mp3
