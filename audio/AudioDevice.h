#pragma once

// Where the mixed sound is heard: 44.1 kHz stereo 16-bit frames pulled by the device at its own
// pace. The device's played position is the clock that stream sounds keep the picture to.

#include <cstdint>
#include <memory>
#include <span>

namespace lumen::audio {

constexpr uint32_t kOutputRate = 44100;

class SampleSource {
 public:
  virtual ~SampleSource() = default;
  // Fills `out` (interleaved left, right) with the next frames. Called on the device's own
  // thread; the source does its own locking.
  virtual void Fill(std::span<int16_t> out) = 0;
};

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Starts pulling from `source`, which must outlive Stop. False when there is no device to play
  // on: the movie then plays silently.
  virtual bool Start(SampleSource& source) = 0;
  // Silent at once; no call into the source follows its return.
  virtual void Stop() = 0;
  // Sample frames heard since Start.
  virtual uint64_t PlayedFrames() const = 0;
};

}  // namespace lumen::audio
