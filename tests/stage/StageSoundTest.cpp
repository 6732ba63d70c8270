// Sound commands on the stage: event sounds start on the frames that carry them, and a
// timeline's stream follows its playhead.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SoundWriter.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"
#include "tests/support/TempDir.h"

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

TEST(StageSoundTest, ButtonsPlayTheSoundOfTheirTransition) {
  Bytes body;
  authoring::DefineSound(body, 1, kPcm, 4410, Constant(1000, 4410));
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 0, 255, 255}));
  shape.Rectangle(0, 0, 2000, 2000);
  const Bytes square = shape.Tag(2, 0, 2000, 0, 2000);
  body.insert(body.end(), square.begin(), square.end());
  const authoring::ButtonRecordSpec records[] = {{0x0F, 2, 1, {}}};
  authoring::DefineButton2(body, 3, records);
  // DefineButtonSound: none on roll out, sound 1 on roll over.
  authoring::WriteTag(body, 17, Bytes{3, 0, 0, 0, 1, 0, 0});
  authoring::PlaceSpec place;
  place.depth = 1;
  place.character = 3;
  authoring::PlaceObject2(body, place);
  authoring::ShowFrame(body);
  Stage stage(movie::testing::Load(body));
  stage.MouseMove(150, 50);
  EXPECT_EQ(Heard(stage), 0);
  stage.MouseMove(50, 50);
  EXPECT_EQ(Heard(stage), 1000);
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

TEST(StageSoundTest, ScriptsLoadMp3FilesBesideTheMovie) {
  namespace aw = authoring;
  // Three silent MPEG-1 frames of 1152 samples at 44.1 kHz behind an ID3 tag of 6 bytes.
  Bytes mp3 = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 6, 1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 3; ++i) {
    Bytes frame(417, 0);
    frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90;
    mp3.insert(mp3.end(), frame.begin(), frame.end());
  }
  const lumen::testing::TempDir folder;
  folder.Write("music.mp3", mp3);
  aw::ActionWriter on_load;
  on_load.Push({std::string("s")}).Op(aw::kGetVariable).Push({std::string("duration")});
  on_load.Op(aw::kGetMember).Op(aw::kTrace);
  on_load.CallMethod("s", "getBytesTotal", 0).Op(aw::kTrace);
  aw::ActionWriter script;
  script.SetVariable("s", [](aw::ActionWriter& a) {
    a.Push({0.0, std::string("Sound")}).Op(aw::kNewObject);
  });
  script.SetMember("s", "onLoad", [&](aw::ActionWriter& a) { a.DefineFunction("", 1, on_load); });
  for (const char* name : {"missing.mp3", "music.mp3"}) {
    script.Push({false, std::string(name)}).CallMethod("s", "loadSound", 2).Op(aw::kPop);
  }
  Bytes body;
  aw::DoAction(body, script.Finish());
  aw::ShowFrame(body);
  std::vector<std::string> lines;
  ScriptSetup setup;
  setup.trace = [&](std::string_view line) { lines.emplace_back(line); };
  setup.folder = MovieFolder(folder.path());
  Stage stage(movie::testing::Load(body), true, codec::DecodeBudget::kDefaultTotal,
              std::move(setup));
  EXPECT_EQ(lines, (std::vector<std::string>{"undefined", "undefined", "78", "1267"}));
}

}  // namespace
}  // namespace lumen::stage
