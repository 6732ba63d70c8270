// Sound commands on the stage: event sounds start on the frames that carry them, and a
// timeline's stream follows its playhead.

#include <gtest/gtest.h>

#include <vector>

#include "authoring/SoundWriter.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::Bytes;

// 16-bit mono 44.1 kHz PCM holding `count` samples of `value`.
Bytes Constant(int16_t value, size_t count) {
  Bytes bytes;
  for (size_t i = 0; i < count; ++i) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(value) >> 8));
  }
  return bytes;
}

const uint8_t kPcm = authoring::SoundFormatByte(3, 3, true, false);

int16_t Heard(Stage& stage, size_t frames = 64) {
  std::vector<int16_t> out(frames * 2);
  stage.Sound().Mix(out);
  return out[0];
}

TEST(StageSoundTest, EventSoundsStartOnTheirFrameAndNotWhenPassedOver) {
  Bytes body;
  authoring::DefineSound(body, 1, kPcm, 4410, Constant(1000, 4410));
  authoring::ShowFrame(body);
  authoring::StartSound(body, 1);
  authoring::ShowFrame(body);
  authoring::ShowFrame(body);
  Stage stage(movie::testing::Load(body));
  EXPECT_EQ(Heard(stage), 0);
  stage.Advance();
  EXPECT_EQ(Heard(stage), 1000);
  stage.Sound().StopAll();
  stage.GotoFrame(1);
  stage.GotoFrame(3);  // over frame 2
  EXPECT_EQ(Heard(stage), 0);
}

TEST(StageSoundTest, StreamFollowsThePlayheadAndStopsWithTheTimeline) {
  Bytes body;
  authoring::SoundStreamHead(body, kPcm, 100);
  for (int16_t frame = 1; frame <= 3; ++frame) {
    authoring::SoundStreamBlock(body, Constant(static_cast<int16_t>(frame * 100), 100));
    authoring::ShowFrame(body);
  }
  authoring::ShowFrame(body);
  Stage stage(movie::testing::Load(body));
  ASSERT_TRUE(stage.StreamPlaying());
  EXPECT_EQ(Heard(stage, 150), 100);
  EXPECT_EQ(Heard(stage, 1), 200);  // read ahead of the playhead
  stage.Advance();
  EXPECT_EQ(Heard(stage, 1), 200);  // played on in order: not restarted
  stage.GotoFrame(1);
  EXPECT_EQ(Heard(stage, 1), 100);  // a jump starts the stream again where it lands
  stage.Root().GotoFrame(0, false);
  stage.Advance();
  EXPECT_FALSE(stage.StreamPlaying());
}

}  // namespace
}  // namespace lumen::stage
