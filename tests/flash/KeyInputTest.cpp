#include "flash/KeyInput.h"

#include <gtest/gtest.h>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "flash/MovieEngine.h"

namespace lumen::flash {
namespace {

using authoring::Bytes;

TEST(KeyInput, ReleasesCarryThePressedCharacterAndOnlyHeldKeysAreReleased) {
  KeyInput keys;
  EXPECT_EQ(keys.Press('A', 'a'), (KeyEvent{65, 97}));
  EXPECT_EQ(keys.Press(16, 0), (KeyEvent{16, 0}));      // Shift types nothing
  EXPECT_EQ(keys.Press(46, 0), (KeyEvent{46, 127}));    // nor does Delete, which movies read as 127
  EXPECT_EQ(keys.Press('A', 'a'), (KeyEvent{65, 97}));  // a held key's repeat
  EXPECT_EQ(keys.Release('A'), (KeyEvent{65, 97}));
  EXPECT_FALSE(keys.Release('A'));
  EXPECT_FALSE(keys.Release('F'));  // pressed while another window had the focus
  for (const uint32_t none : {0u, 229u, 231u, 255u, 0x1000u}) EXPECT_FALSE(keys.Press(none, 'x'));
  EXPECT_EQ(keys.ReleaseAll(), (std::vector<KeyEvent>{{16, 0}, {46, 127}}));
  EXPECT_TRUE(keys.ReleaseAll().empty());
}

// Frame 1 stops under a button whose release goes on to frame 2, which hides the pointer.
Bytes ButtonMovie() {
  authoring::ShapeWriter box(3);
  box.Select(0, box.AddSolidFill({200, 40, 40, 255}));
  box.Rectangle(1000, 1000, 3000, 2000);
  Bytes tags = box.Tag(1, 1000, 3000, 1000, 2000);
  const authoring::ButtonRecordSpec records[] = {{0x0F, 1, 1, {}}};
  const authoring::ButtonConditionSpec release[] = {
      {0x0008, authoring::ActionWriter().Op(authoring::kNextFrame).Finish()}};
  authoring::DefineButton2(tags, 2, records, release);
  authoring::PlaceSpec place;
  place.character = 2;
  authoring::PlaceObject2(tags, place);
  authoring::DoAction(tags, authoring::ActionWriter().Op(authoring::kStop).Finish());
  authoring::ShowFrame(tags);
  authoring::DoAction(
      tags, authoring::ActionWriter().CallMethod("Mouse", "hide", 0).Op(authoring::kPop).Finish());
  authoring::ShowFrame(tags);
  authoring::End(tags);
  authoring::MovieSpec spec;
  spec.frame_count = 2;
  return authoring::BuildMovie(spec, tags);
}

TEST(MovieEngine, TabAndSpaceClickTheButtonAndAScriptHidesThePointer) {
  auto engine = CreateMovieEngine();
  ASSERT_TRUE(engine->Load(ButtonMovie(), {}));
  engine->Tick(0, false);
  ASSERT_EQ(engine->CurrentFrame(), 0u);
  EXPECT_FALSE(engine->PointerHidden());
  for (const uint16_t key : {9, 32}) {
    engine->KeyDown(key, key);
    engine->KeyUp(key, key);
  }
  EXPECT_EQ(engine->CurrentFrame(), 1u);
  EXPECT_TRUE(engine->PointerHidden());
}

}  // namespace
}  // namespace lumen::flash
