#pragma once

// Plays an engine's sound on a device, counting what was mixed and what was heard, and keeps the
// picture to a main-timeline stream sound: while one plays, the frame shown is the one the
// sound heard has reached, and frames are stepped over (not drawn) when the picture is behind.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/AudioDevice.h"
#include "flash/MovieEngine.h"

namespace lumen::flash {

class SoundOutput final : public audio::SampleSource {
 public:
  // Frames stepped at most in one go to catch the picture up with the sound.
  static constexpr uint32_t kMaxCatchUp = 30;

  SoundOutput() = default;
  SoundOutput(const SoundOutput&) = delete;
  SoundOutput& operator=(const SoundOutput&) = delete;
  ~SoundOutput() override { Stop(); }

  // Plays `engine`'s mix on `device`. Without one (none given, or it would not open) the mix is
  // still drawn at the pace of Pump's clock and thrown away, so that sounds end and streams move
  // on as if heard. `now_seconds` is on the caller's clock.
  void Start(MovieEngine& engine, std::unique_ptr<audio::AudioDevice> device, double now_seconds);
  // Silent at once; no mix is asked for after it returns.
  void Stop();
  bool Running() const { return engine_ != nullptr; }
  bool Audible() const { return device_ != nullptr; }
  // Without a device: mixes what fell due up to `now_seconds`.
  void Pump(double now_seconds);
  // Frames of the picture to step now, the picture being at `current` (from 0): `clock_due`
  // as the frame clock says, unless a main-timeline stream plays.
  uint32_t FramesDue(uint32_t clock_due, uint32_t current, double frame_rate) const;

  void Fill(std::span<int16_t> out) override;

 private:
  uint64_t Heard() const;

  MovieEngine* engine_ = nullptr;
  std::unique_ptr<audio::AudioDevice> device_;
  std::atomic<uint64_t> mixed_{0};  // sample frames handed out since Start
  double start_seconds_ = 0;
  std::vector<int16_t> discarded_;  // Pump's mix, heard by nobody
};

}  // namespace lumen::flash
