#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "stage/ShapeHit.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::ActionWriter;
using authoring::Bytes;
using movie::ButtonData;

constexpr int32_t kSide = 2000;  // twips: 100 pixels

Bytes Square(uint16_t id) {
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({static_cast<uint8_t>(id * 40), 0, 0, 255}));
  shape.Rectangle(0, 0, kSide, kSide);
  return shape.Tag(id, 0, kSide, 0, kSide);
}

Bytes Trace(const std::string& text) {
  ActionWriter a;
  a.Push({text}).Op(authoring::kTrace);
  return a.Finish();
}

// A stage whose trace lines, from its first frame on, land in `lines`.
struct Played {
  std::vector<std::string> lines;
  std::unique_ptr<Stage> stage;
};

std::unique_ptr<Played> Play(Bytes tags) {
  auto played = std::make_unique<Played>();
  ScriptSetup setup;
  setup.trace = [p = played.get()](std::string_view line) { p->lines.emplace_back(line); };
  played->stage = std::make_unique<Stage>(movie::testing::Load(std::move(tags)), true,
                                          codec::DecodeBudget::kDefaultTotal, std::move(setup));
  return played;
}

// The shape the frame draws, by its character.
const render::ShapeGeometry* Shown(Stage& stage) {
  render::RenderList list;
  stage.BuildRenderList(list);
  for (const render::RenderCommand& c : list.commands) {
    if (c.kind == render::RenderCommand::Kind::DrawShape) return c.shape;
  }
  return nullptr;
}

// Button 10: squares 1, 2 and 3 drawn for up, over and down; its hit area is square 4 moved
// right by half its side. Every condition traces its name.
Bytes ButtonDefinition() {
  Bytes tags;
  for (uint16_t id = 1; id <= 4; ++id) {
    const Bytes s = Square(id);
    tags.insert(tags.end(), s.begin(), s.end());
  }
  const authoring::ButtonRecordSpec records[] = {
      {ButtonData::kUpBit, 1, 1, {}},
      {ButtonData::kOverBit, 2, 2, {}},
      {ButtonData::kDownBit, 3, 3, {}},
      {ButtonData::kHitBit, 4, 4, {1, 0, 0, 1, kSide / 2, 0}}};
  const std::pair<uint16_t, const char*> names[] = {
      {ButtonData::kIdleToOverUp, "over"},         {ButtonData::kOverUpToIdle, "out"},
      {ButtonData::kOverUpToOverDown, "press"},    {ButtonData::kOverDownToOverUp, "release"},
      {ButtonData::kOverDownToOutDown, "dragout"}, {ButtonData::kOutDownToOverDown, "dragover"},
      {ButtonData::kOutDownToIdle, "outside"},     {uint16_t{'a' << 9}, "key a"}};
  std::vector<authoring::ButtonConditionSpec> conditions;
  for (const auto& [bits, name] : names) conditions.push_back({bits, Trace(name)});
  authoring::DefineButton2(tags, 10, records, conditions);
  return tags;
}

// The button at x 50 px: drawn at 50..150 px, hit at 100..200 px.
void PlaceButton(Bytes& tags) {
  authoring::PlaceSpec place;
  place.depth = 1;
  place.character = 10;
  place.matrix = authoring::MatrixSpec{1, 0, 0, 1, kSide / 2, 0};
  place.name = "b";
  authoring::PlaceObject2(tags, place);
}

// The button, whose object also gets onRelease from a frame script.
Bytes ButtonMovie() {
  Bytes tags = ButtonDefinition();
  PlaceButton(tags);
  ActionWriter handler;
  handler.Push({std::string("onRelease")}).Op(authoring::kTrace);
  ActionWriter script;
  script.SetMember("b", "onRelease", [&](ActionWriter& a) { a.DefineFunction("", 0, handler); });
  authoring::DoAction(tags, script.Finish());
  authoring::ShowFrame(tags);
  return tags;
}

TEST(Button, PointerTransitionsRunTheirConditionsAndShowTheirStates) {
  auto p = Play(ButtonMovie());
  Stage& stage = *p->stage;
  const auto& shape = [&](uint16_t id) { return stage.Movie().Find(id)->shape.get(); };
  EXPECT_EQ(Shown(stage), shape(1));
  stage.MouseMove(60, 50);  // drawn, but outside the hit area
  EXPECT_EQ(stage.PointerCursor(), Cursor::Arrow);
  stage.MouseMove(160, 50);
  EXPECT_EQ(Shown(stage), shape(2));
  EXPECT_EQ(stage.PointerCursor(), Cursor::Hand);
  stage.MouseDown();
  EXPECT_EQ(Shown(stage), shape(3));
  stage.MouseMove(250, 50);
  EXPECT_EQ(Shown(stage), shape(2));  // pressed and dragged out shows the over state
  stage.MouseMove(160, 50);
  stage.MouseUp();
  stage.MouseDown();
  stage.MouseMove(250, 50);
  stage.MouseUp();
  EXPECT_EQ(Shown(stage), shape(1));
  stage.MouseMove(160, 50);
  stage.MouseLeave();
  stage.KeyDown('A', 'a');
  stage.KeyDown('B', 'b');
  // The button's actions run before its handler method.
  const std::vector<std::string> want = {"over",    "press",     "dragout", "dragover",
                                         "release", "onRelease", "press",   "dragout",
                                         "outside", "over",      "out",     "key a"};
  EXPECT_EQ(p->lines, want);
}

// Sprite 20, in the up and the over state at depths of their own, hears its unload and traces
// whether the first one made (`instance1`) is still there when a state shows it.
TEST(Button, AStatesClipsRunBeforeItsActionsAndWhatItRemovedGoesByTheNextChange) {
  Bytes tags = Square(4);
  ActionWriter unload;
  unload.Push({std::string("unload ")}).GetMember("this", "_name").Op(authoring::kAdd2);
  unload.Op(authoring::kTrace);
  ActionWriter frame;
  frame.SetMember("this", "onUnload", [&](ActionWriter& a) { a.DefineFunction("", 0, unload); });
  frame.GetMember("this", "_name").Push({std::string(" sees ")}).Op(authoring::kAdd2);
  frame.GetMember("_parent", "instance1").Op(authoring::kTypeOf).Op(authoring::kAdd2);
  frame.Op(authoring::kTrace);
  Bytes inner;
  authoring::DoAction(inner, frame.Finish());
  authoring::ShowFrame(inner);
  authoring::End(inner);
  authoring::DefineSprite(tags, 20, 1, inner);
  const authoring::ButtonRecordSpec records[] = {{ButtonData::kHitBit, 4, 1, {}},
                                                 {ButtonData::kUpBit, 20, 2, {}},
                                                 {ButtonData::kOverBit, 20, 3, {}}};
  const authoring::ButtonConditionSpec conditions[] = {{ButtonData::kIdleToOverUp, Trace("over")},
                                                       {ButtonData::kOverUpToIdle, Trace("out")}};
  authoring::DefineButton2(tags, 10, records, conditions);
  PlaceButton(tags);
  authoring::ShowFrame(tags);
  auto p = Play(std::move(tags));
  p->stage->MouseMove(120, 50);
  p->stage->MouseMove(300, 50);
  const std::vector<std::string> want = {"instance1 sees movieclip",
                                         "unload instance1",
                                         "instance2 sees movieclip",
                                         "over",
                                         "unload instance2",
                                         "instance3 sees undefined",
                                         "out"};
  EXPECT_EQ(p->lines, want);
}

TEST(Button, MenusFollowAHeldPointerFromOneToTheNext) {
  // Menu buttons 11 and 12 side by side, square 1 for every state.
  Bytes tags = Square(1);
  const authoring::ButtonRecordSpec records[] = {{0x0F, 1, 1, {}}};
  for (uint16_t id : {11, 12}) {
    const std::string name = id == 11 ? "a " : "b ";
    const std::vector<authoring::ButtonConditionSpec> conditions = {
        {ButtonData::kOverUpToOverDown, Trace(name + "press")},
        {ButtonData::kOverDownToIdle, Trace(name + "left")},
        {ButtonData::kIdleToOverDown, Trace(name + "entered")},
        {ButtonData::kOverDownToOverUp, Trace(name + "release")}};
    authoring::DefineButton2(tags, id, records, conditions, true);
    authoring::PlaceSpec place;
    place.depth = id;
    place.character = id;
    place.matrix = authoring::MatrixSpec{1, 0, 0, 1, (id - 11) * kSide, 0};
    authoring::PlaceObject2(tags, place);
  }
  authoring::ShowFrame(tags);
  auto p = Play(std::move(tags));
  Stage& stage = *p->stage;
  stage.MouseMove(50, 50);
  stage.MouseDown();
  stage.MouseMove(150, 50);
  stage.MouseUp();
  const std::vector<std::string> want = {"a press", "a left", "b entered", "b release"};
  EXPECT_EQ(p->lines, want);
}

TEST(Button, AHitAreaThatHoldsItselfIsSearchedWithinABudget) {
  // Button 13's hit area is button 13, twice over: a search without end would double at each
  // level. Its square still answers.
  Bytes tags = Square(1);
  const authoring::ButtonRecordSpec records[] = {
      {0x0F, 1, 1, {}}, {0x08, 13, 2, {}}, {0x08, 13, 3, {}}};
  const authoring::ButtonConditionSpec over[] = {{ButtonData::kIdleToOverUp, Trace("over")}};
  authoring::DefineButton2(tags, 13, records, over);
  authoring::PlaceSpec place;
  place.depth = 1;
  place.character = 13;
  authoring::PlaceObject2(tags, place);
  authoring::ShowFrame(tags);
  auto p = Play(std::move(tags));
  p->stage->MouseMove(250, 250);  // outside: every record is searched
  p->stage->MouseMove(50, 50);
  EXPECT_EQ(p->lines, std::vector<std::string>{"over"});
}

TEST(Button, ClipsWithButtonHandlersTakeThePointerFromWhatTheyHold) {
  // Sprite 20 holds the button; a frame script tests points on it and gives it onRelease.
  Bytes tags = ButtonDefinition();
  Bytes inner;
  PlaceButton(inner);
  authoring::ShowFrame(inner);
  authoring::End(inner);
  authoring::DefineSprite(tags, 20, 1, inner);
  authoring::PlaceSpec sprite;
  sprite.depth = 2;
  sprite.character = 20;
  sprite.name = "s";
  authoring::PlaceObject2(tags, sprite);
  ActionWriter body;
  body.Push({std::string("clip release")}).Op(authoring::kTrace);
  ActionWriter script;
  script.SetMember("s", "onRelease", [&](ActionWriter& a) { a.DefineFunction("", 0, body); });
  for (const double x : {120.0, 160.0}) {  // on what the sprite draws, then beside it
    script.Push({true, 50.0, x}).CallMethod("s", "hitTest", 3).Op(authoring::kTrace);
  }
  authoring::DoAction(tags, script.Finish());
  authoring::ShowFrame(tags);
  auto p = Play(std::move(tags));
  Stage& stage = *p->stage;
  stage.MouseMove(120, 50);  // over the button, which the clip holds
  stage.MouseDown();
  stage.MouseUp();
  EXPECT_EQ(stage.PointerCursor(), Cursor::Hand);
  const std::vector<std::string> want = {"true", "false", "clip release"};
  EXPECT_EQ(p->lines, want);
}

// Tab rolls the button over, as the pointer would, and frames its hit area, not what it shows.
TEST(Button, TabRollsOverAndFramesTheHitArea) {
  auto p = Play(ButtonMovie());
  Stage& stage = *p->stage;
  stage.KeyDown(Stage::kTabKey, 9);
  EXPECT_EQ(Shown(stage), stage.Movie().Find(2)->shape.get());
  EXPECT_EQ(p->lines, std::vector<std::string>{"over"});
  render::RenderList list;
  stage.BuildRenderList(list);
  const render::ShapeGeometry* frame = list.commands.back().shape;
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->bounds.x_min, 100 * 20);
  EXPECT_EQ(frame->bounds.x_max, 200 * 20);
}

TEST(ShapeHit, FillsFollowTheirRuleAndStrokesTheirWidth) {
  render::ShapeGeometry shape;
  render::ShapePart ring;
  ring.rule = render::FillRule::EvenOdd;
  for (const float inset : {0.0f, 500.0f}) {
    ring.path.MoveTo({inset, inset});
    ring.path.LineTo({2000 - inset, inset});
    ring.path.QuadTo({2000 - inset, 2000 - inset}, {2000 - inset, 2000 - inset});
    ring.path.LineTo({inset, 2000 - inset});
    ring.path.LineTo({inset, inset});
  }
  shape.parts.push_back(ring);
  render::ShapePart line;
  line.kind = render::ShapePart::Kind::Stroke;
  line.line.width = 100;
  line.path.MoveTo({3000, 0});
  line.path.LineTo({3000, 2000});
  line.path.MoveTo({2100, 0});  // slanted
  line.path.LineTo({2900, 800});
  shape.parts.push_back(line);
  shape.bounds = {0, 0, 3050, 2000};
  EXPECT_TRUE(ShapeContains(shape, {250, 1000}));    // in the ring
  EXPECT_FALSE(ShapeContains(shape, {1000, 1000}));  // in its hole
  EXPECT_TRUE(ShapeContains(shape, {3040, 1000}));   // on the line
  EXPECT_FALSE(ShapeContains(shape, {3060, 1000}));  // beside it, inside the bounds
  EXPECT_FALSE(ShapeContains(shape, {-1, 1000}));
  // Across and down count together: 40 beside the slanted line along an axis hits, 40 square
  // to it (28 across and 28 down) does not.
  EXPECT_TRUE(ShapeContains(shape, {2540, 400}));
  EXPECT_FALSE(ShapeContains(shape, {2528, 372}));
  // A fill holds its left and bottom edges, not its top and right ones.
  EXPECT_TRUE(ShapeContains(shape, {0, 250}));
  EXPECT_TRUE(ShapeContains(shape, {250, 2000}));
  EXPECT_FALSE(ShapeContains(shape, {250, 0}));
  EXPECT_FALSE(ShapeContains(shape, {0, 0}));
  shape.parts[0].rule = render::FillRule::NonZero;  // both contours turn the same way
  EXPECT_TRUE(ShapeContains(shape, {1000, 1000}));
}

// Bands answer as the plain walk does, on and between the rows of the lines' ends, for fills by
// either rule (curves, holes, overlaps), strokes, and lines spanning the whole shape.
TEST(ShapeHitBands, AnswersAsThePlainWalk) {
  uint32_t seed = 12345;
  auto next = [&](int range) {
    seed = seed * 1664525 + 1013904223;
    return static_cast<float>((seed >> 8) % static_cast<uint32_t>(range));
  };
  for (int round = 0; round < 6; ++round) {
    render::ShapeGeometry shape;
    for (int p = 0; p < 3; ++p) {
      render::ShapePart part;
      part.kind = p == 2 ? render::ShapePart::Kind::Stroke : render::ShapePart::Kind::Fill;
      part.rule = round % 2 ? render::FillRule::EvenOdd : render::FillRule::NonZero;
      part.line.width = next(200);
      part.path.MoveTo({next(4000), next(4000)});
      for (int i = 0; i < 400; ++i) {
        if (i % 3) {
          part.path.LineTo({next(4000), round > 3 ? next(4000) : next(40) + i * 10});
        } else {
          part.path.QuadTo({next(4000), next(4000)}, {next(4000), next(4000)});
        }
      }
      shape.parts.push_back(part);
    }
    shape.bounds = {-100, -100, 4100, 4100};
    ASSERT_GE(ShapeHitBands::LineCount(shape), ShapeHitBands::kMinLines);
    const ShapeHitBands bands(shape);
    int hits = 0;
    for (int i = 0; i < 3000; ++i) {
      const render::Point p{next(4400) - 200, next(4400) - 200 + (i % 2 ? 0.5f : 0)};
      const bool want = ShapeContains(shape, p);
      ASSERT_EQ(bands.Contains(p), want) << "round " << round << " at " << p.x << ", " << p.y;
      hits += want;
    }
    EXPECT_GT(hits, 100);
    EXPECT_LT(hits, 2900);
  }
}

}  // namespace
}  // namespace lumen::stage
