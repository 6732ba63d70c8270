// Prints what sound costs and how well the picture keeps to it:
// - the mixer with 8 sounds at once (22 kHz stereo PCM, looping, with volume and pan), as a
//   share of one core (goal: at most 1 %);
// - an hour of a stream-sound movie played through the control's sound output on a simulated
//   device whose clock runs 0.1 % fast against the host's, as the largest distance between the
//   frame shown and the frame of the sound heard (goal: at most one frame).
//   bench_sound

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/Mixer.h"
#include "authoring/SoundWriter.h"
#include "authoring/SwfWriter.h"
#include "bench/CpuClock.h"
#include "flash/MovieEngine.h"
#include "flash/SoundOutput.h"

namespace {

using lumen::bench::CpuMs;

constexpr double kMixGoalShare = 0.01;
constexpr double kDriftGoalFrames = 1;

double MixerShare() {
  std::vector<uint8_t> data(22050 * 4 * 2);  // two seconds of 16-bit stereo
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7919) >> 3);
  lumen::audio::Mixer mixer;
  for (uint16_t id = 1; id <= 8; ++id) {
    lumen::audio::SoundDefinition sound;
    sound.id = id;
    sound.format =
        lumen::audio::SoundFormat::FromByte(lumen::authoring::SoundFormatByte(3, 2, true, true));
    sound.data = data;
    lumen::audio::SoundInfo info;
    info.loops = 1000;
    mixer.StartEvent(sound, info, id);
    lumen::audio::SoundTransform t;
    t.volume = 80;
    t.left_to_left = 50 + id;
    mixer.SetTransform(id, t);
  }
  constexpr int kSeconds = 60;
  std::vector<int16_t> out(441 * 2);  // the 10 ms a device buffer holds
  const double start = CpuMs();
  for (int i = 0; i < kSeconds * 100; ++i) mixer.Mix(out);
  return (CpuMs() - start) / (kSeconds * 1000.0);
}

class SimulatedDevice final : public lumen::audio::AudioDevice {
 public:
  bool Start(lumen::audio::SampleSource& source) override {
    source_ = &source;
    return true;
  }
  void Stop() override {}
  uint64_t PlayedFrames() const override { return played_; }
  // The device's clock reached `played`; it keeps 60 ms queued beyond it.
  void RunTo(uint64_t played) {
    played_ = played;
    while (given_ < played_ + 2646) {
      std::vector<int16_t> buffer(441 * 2);
      source_->Fill(buffer);
      given_ += 441;
    }
  }

 private:
  lumen::audio::SampleSource* source_ = nullptr;
  uint64_t played_ = 0;
  uint64_t given_ = 0;
};

// An hour at 12 frames a second with an 8-bit 5.5 kHz stream, one block per frame.
std::vector<uint8_t> HourMovie(int frames) {
  namespace aw = lumen::authoring;
  aw::Bytes body;
  const uint8_t format = aw::SoundFormatByte(3, 0, false, false);
  aw::SoundStreamHead(body, format, 459);
  for (int f = 0; f < frames; ++f) {
    // 5512.5 / 12 samples a frame: 459 and 460 by turns.
    aw::SoundStreamBlock(body, aw::Bytes(f % 2 ? 460 : 459, static_cast<uint8_t>(128 + f % 50)));
    aw::ShowFrame(body);
  }
  aw::End(body);
  aw::MovieSpec spec;
  spec.frame_rate = 12 << 8;
  spec.frame_count = 65535;
  return aw::BuildMovie(spec, body);
}

double DriftFrames() {
  constexpr double kFps = 12, kSeconds = 3600, kFast = 1.001;
  const int frames = static_cast<int>(kFps * kSeconds);
  auto engine = lumen::flash::CreateMovieEngine();
  if (!engine->Load(HourMovie(frames), {})) return 1e9;
  auto device = std::make_unique<SimulatedDevice>();
  SimulatedDevice* simulated = device.get();
  lumen::flash::SoundOutput output;
  output.Start(*engine, std::move(device), 0);
  double worst = 0;
  // Until the picture reaches the last frame, where it stops while a fast clock goes on.
  for (int tick = 1; engine->CurrentFrame() + 1 < static_cast<uint32_t>(frames); ++tick) {
    const double host_seconds = tick / kFps;
    simulated->RunTo(static_cast<uint64_t>(host_seconds * kFast * 44100));
    const uint32_t due = output.FramesDue(1, engine->CurrentFrame(), kFps);
    for (uint32_t i = 0; i < due; ++i) engine->AdvanceFrame();
    const double heard_frame = static_cast<double>(simulated->PlayedFrames()) * kFps / 44100;
    worst = std::max(worst, std::abs(heard_frame - engine->CurrentFrame()));
  }
  return worst;
}

}  // namespace

int main() {
  const double share = MixerShare();
  std::printf("mixer, 8 sounds at once: %.3f %% of one core (goal: at most %.0f %%)\n", share * 100,
              kMixGoalShare * 100);
  const double drift = DriftFrames();
  std::printf(
      "picture against sound over one hour, device clock 0.1 %% fast: at most %.2f frames apart "
      "(goal: at most %.0f)\n",
      drift, kDriftGoalFrames);
  return share <= kMixGoalShare && drift <= kDriftGoalFrames ? 0 : 1;
}
