#include "flash/SoundOutput.h"

#include <algorithm>
#include <cmath>

namespace lumen::flash {

namespace {

// A stalled host does not make up more than this much silent mixing at once.
constexpr uint64_t kMaxPumpFrames = audio::kOutputRate;
// A device never plays more than it was given; a quarter of a second more means it is gone.
constexpr uint64_t kDeviceGoneFrames = audio::kOutputRate / 4;

}  // namespace

void SoundOutput::Start(MovieEngine& engine, std::unique_ptr<audio::AudioDevice> device,
                        double now_seconds) {
  Stop();
  engine_ = &engine;
  mixed_ = 0;
  start_seconds_ = now_seconds;
  if (device && device->Start(*this)) device_ = std::move(device);
}

void SoundOutput::Stop() {
  if (device_) device_->Stop();
  device_.reset();
  engine_ = nullptr;
}

void SoundOutput::Fill(std::span<int16_t> out) {
  engine_->MixSound(out);
  mixed_ += out.size() / 2;
}

void SoundOutput::Pump(double now_seconds) {
  if (!engine_) return;
  if (device_) {
    // A device that has gone (unplugged) stops asking but its clock runs on: from then on the
    // mix is drawn here, from where it had got to.
    if (device_->PlayedFrames() <= mixed_ + kDeviceGoneFrames) return;
    device_->Stop();
    device_.reset();
    start_seconds_ = now_seconds - static_cast<double>(mixed_) / audio::kOutputRate;
  }
  const double elapsed = std::max(0.0, now_seconds - start_seconds_);
  const auto due = static_cast<uint64_t>(elapsed * audio::kOutputRate);
  const uint64_t mixed = mixed_;
  if (due <= mixed) return;
  uint64_t frames = due - mixed;
  if (frames > kMaxPumpFrames) {
    mixed_ = due - kMaxPumpFrames;  // the stall's sound is skipped, as a device would
    frames = kMaxPumpFrames;
  }
  discarded_.resize(frames * 2);
  Fill(discarded_);
}

uint64_t SoundOutput::Heard() const {
  const uint64_t mixed = mixed_;
  if (!device_) return mixed;
  return std::min(device_->PlayedFrames(), mixed);
}

uint32_t SoundOutput::FramesDue(uint32_t clock_due, uint32_t current, double frame_rate) const {
  if (!engine_ || frame_rate <= 0) return clock_due;
  const auto stream = engine_->MainStream();
  if (!stream) return clock_due;
  // What of the stream is still queued in the device has not been heard yet.
  const uint64_t queued = mixed_ - Heard();
  const uint64_t heard = stream->mixed > queued ? stream->mixed - queued : 0;
  const double reached = std::floor(static_cast<double>(heard) * frame_rate / audio::kOutputRate);
  const double target = stream->first_frame + reached;
  if (target <= current) return 0;
  return static_cast<uint32_t>(std::min<double>(target - current, kMaxCatchUp));
}

}  // namespace lumen::flash
