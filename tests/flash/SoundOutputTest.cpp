// The control's sound output: the picture follows a main-timeline stream by what the device has
// played, and without a device the mix still moves on with the clock.

#include "flash/SoundOutput.h"

#include <gtest/gtest.h>

#include "authoring/SoundWriter.h"

namespace lumen::flash {
namespace {

using authoring::Bytes;

class FakeDevice final : public audio::AudioDevice {
 public:
  explicit FakeDevice(uint64_t* played) : played_(played) {}
  bool Start(audio::SampleSource& source) override {
    source_ = &source;
    return true;
  }
  void Stop() override {}
  uint64_t PlayedFrames() const override { return *played_; }
  // The device asks for `frames` more.
  static void Pull(audio::SampleSource& source, size_t frames) {
    std::vector<int16_t> out(frames * 2);
    source.Fill(out);
  }
  audio::SampleSource* source_ = nullptr;

 private:
  uint64_t* played_;
};

// 10 frames at 24 fps with a PCM stream of one frame's samples (1837.5 at 44.1 kHz) each.
std::unique_ptr<MovieEngine> StreamMovie() {
  Bytes body;
  const uint8_t pcm = authoring::SoundFormatByte(3, 3, true, false);
  authoring::SoundStreamHead(body, pcm, 1838);
  for (int f = 0; f < 10; ++f) {
    authoring::SoundStreamBlock(body, Bytes(1838 * 2, 1));
    authoring::ShowFrame(body);
  }
  authoring::End(body);
  authoring::MovieSpec spec;
  spec.frame_count = 10;
  auto engine = CreateMovieEngine();
  EXPECT_TRUE(engine->Load(authoring::BuildMovie(spec, body), {}));
  return engine;
}

TEST(SoundOutputTest, PictureFollowsTheStreamAsTheDeviceHearsIt) {
  auto engine = StreamMovie();
  ASSERT_TRUE(engine->HasSound());
  uint64_t played = 0;
  auto device = std::make_unique<FakeDevice>(&played);
  FakeDevice* fake = device.get();
  SoundOutput output;
  output.Start(*engine, std::move(device), 0);
  ASSERT_TRUE(output.Audible());
  FakeDevice::Pull(*fake->source_, 44100 / 4);  // queued, not heard yet
  EXPECT_EQ(output.FramesDue(1, 0, 24), 0u);    // the clock says go; the sound is not there
  played = 3 * 1838;                            // three frames' worth
  EXPECT_EQ(output.FramesDue(1, 0, 24), 3u);
  EXPECT_EQ(output.FramesDue(1, 3, 24), 0u);
  EXPECT_EQ(output.FramesDue(1, 5, 24), 0u);  // ahead of the sound: wait for it
}

TEST(SoundOutputTest, WithoutADeviceTheMixMovesOnWithTheClockAndAGoneDeviceFallsBackToIt) {
  auto engine = StreamMovie();
  SoundOutput silent;
  silent.Start(*engine, nullptr, 10.0);
  EXPECT_FALSE(silent.Audible());
  silent.Pump(10.25);
  EXPECT_EQ(silent.FramesDue(0, 0, 24), 6u);

  engine = StreamMovie();
  uint64_t played = 0;
  SoundOutput output;
  output.Start(*engine, std::make_unique<FakeDevice>(&played), 0);
  played = 44100;  // a clock running on with nothing asked for: the device is gone
  output.Pump(1.0);
  EXPECT_FALSE(output.Audible());
  output.Pump(1.25);
  EXPECT_EQ(output.FramesDue(0, 0, 24), 6u);
}

}  // namespace
}  // namespace lumen::flash
