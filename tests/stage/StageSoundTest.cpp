// Sound commands on the stage: event sounds start on the frames that carry them, and a
// timeline's stream follows its playhead.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
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

TEST(StageSoundTest, ScriptsStartAttachedSoundsAtTheirVolumeAndHearOfTheirEnd) {
  namespace aw = authoring;
  Bytes body;
  aw::DefineSound(body, 1, kPcm, 441, Constant(1000, 441));
  aw::ExportAsset(body, 1, "beep");
  aw::ActionWriter script;
  aw::ActionWriter done;
  done.Push({std::string("done")}).Op(aw::kTrace);
  script.SetVariable("s", [](aw::ActionWriter& a) {
    a.Push({0.0, std::string("Sound")}).Op(aw::kNewObject);
  });
  script.Push({std::string("beep")}).CallMethod("s", "attachSound", 1).Op(aw::kPop);
  script.Push({50.0}).CallMethod("s", "setVolume", 1).Op(aw::kPop);
  script.SetMember("s", "onSoundComplete",
                   [&](aw::ActionWriter& a) { a.DefineFunction("", 0, done); });
  script.CallMethod("s", "start", 0).Op(aw::kPop);
  script.Push({std::string("s")}).Op(aw::kGetVariable).Push({std::string("duration")});
  script.Op(aw::kGetMember).Op(aw::kTrace);
  aw::DoAction(body, script.Finish());
  aw::ShowFrame(body);
  aw::ShowFrame(body);
  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&](std::string_view line) { lines.emplace_back(line); };
  Stage stage(movie::testing::Load(body), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  EXPECT_EQ(lines, std::vector<std::string>{"10"});  // milliseconds
  EXPECT_EQ(Heard(stage, 450), 500);
  stage.Advance();
  EXPECT_EQ(lines, (std::vector<std::string>{"10", "done"}));
}

}  // namespace
}  // namespace lumen::stage
