#include "stage/Stage.h"

#include <gtest/gtest.h>

#include "authoring/SwfWriter.h"
#include "tests/movie/MovieTestUtil.h"

namespace lumen::stage {
namespace {

using authoring::Bytes;
using authoring::MatrixSpec;
using authoring::PlaceSpec;
using Kind = render::RenderCommand::Kind;

Bytes Square(uint16_t id) {
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({255, 0, 0, 255}));
  shape.Rectangle(0, 0, 100, 100);
  return shape.Tag(id, 0, 100, 0, 100);
}

// Shapes 1 to 4, ready to be placed.
Bytes Shapes() {
  Bytes tags;
  for (uint16_t id = 1; id <= 4; ++id) {
    const Bytes s = Square(id);
    tags.insert(tags.end(), s.begin(), s.end());
  }
  return tags;
}

PlaceSpec New(uint16_t depth, uint16_t character, int32_t x = 0) {
  PlaceSpec p;
  p.depth = depth;
  p.character = character;
  p.matrix = MatrixSpec{1, 0, 0, 1, x, 0};
  return p;
}

PlaceSpec Move(uint16_t depth, int32_t x) {
  PlaceSpec p;
  p.depth = depth;
  p.move = true;
  p.matrix = MatrixSpec{1, 0, 0, 1, x, 0};
  return p;
}

Stage Play(Bytes tags, bool loop = true) {
  return Stage(movie::testing::Load(std::move(tags)), loop);
}

float XAt(const Clip& clip, uint16_t depth) {
  const DisplayObject* o = clip.At(depth);
  return o ? o->place.matrix.tx : -1;
}

// Frame 1: A at depth 1 (x 0), B at depth 2. Frame 2: A moves to 100. Frame 3: B is replaced by
// C, keeping its matrix. Frame 4: A is removed.
Bytes FourFrames() {
  Bytes t = Shapes();
  authoring::PlaceObject2(t, New(1, 1));
  authoring::PlaceObject2(t, New(2, 2, 40));
  authoring::ShowFrame(t);
  authoring::PlaceObject2(t, Move(1, 100));
  authoring::ShowFrame(t);
  PlaceSpec replace;
  replace.depth = 2;
  replace.move = true;
  replace.character = 3;
  authoring::PlaceObject2(t, replace);
  authoring::ShowFrame(t);
  authoring::RemoveObject2(t, 1);
  authoring::ShowFrame(t);
  return t;
}

TEST(Timeline, PlaysMovesReplacesAndRemovesFrameByFrame) {
  Stage stage = Play(FourFrames());
  Clip& root = stage.Root();
  struct Expect {
    size_t frame;
    float x1;        // -1: no object at depth 1
    uint16_t char2;  // character at depth 2
  };
  const Expect frames[] = {{1, 0, 2}, {2, 100, 2}, {3, 100, 3}, {4, -1, 3}, {1, 0, 2}};
  for (size_t i = 0; i < std::size(frames); ++i) {
    if (i > 0) stage.Advance();
    const Expect& e = frames[i];
    EXPECT_EQ(stage.CurrentFrame(), e.frame);
    EXPECT_FLOAT_EQ(XAt(root, 1), e.x1) << "frame " << e.frame;
    ASSERT_NE(root.At(2), nullptr);
    EXPECT_EQ(root.At(2)->place.character, e.char2) << "frame " << e.frame;
    EXPECT_FLOAT_EQ(XAt(root, 2), 40) << "replacing keeps the matrix, frame " << e.frame;
  }
}

TEST(Timeline, GotoInEitherDirectionShowsWhatPlayingWouldShow) {
  Stage played = Play(FourFrames());
  std::vector<std::pair<float, uint16_t>> expected;
  for (size_t f = 1; f <= 4; ++f) {
    expected.emplace_back(XAt(played.Root(), 1), played.Root().At(2)->place.character);
    played.Advance();
  }
  Stage stage = Play(FourFrames());
  for (size_t target : {4, 2, 3, 1, 4, 1, 3, 2, 2}) {
    stage.GotoFrame(target);
    EXPECT_EQ(stage.CurrentFrame(), target);
    EXPECT_FLOAT_EQ(XAt(stage.Root(), 1), expected[target - 1].first) << target;
    EXPECT_EQ(stage.Root().At(2)->place.character, expected[target - 1].second) << target;
    EXPECT_EQ(stage.Root().DisplayList().size(), target == 4 ? 1u : 2u);
  }
  stage.GotoFrame(99);
  EXPECT_EQ(stage.CurrentFrame(), 4u);
}

TEST(Timeline, GotoLabelFindsTheLabelledFrame) {
  Bytes t = Shapes();
  authoring::ShowFrame(t);
  authoring::FrameLabel(t, "middle");
  authoring::PlaceObject2(t, New(1, 1, 30));
  authoring::ShowFrame(t);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  stage.Advance();
  stage.Advance();
  EXPECT_TRUE(stage.GotoLabel("middle"));
  EXPECT_EQ(stage.CurrentFrame(), 2u);
  EXPECT_FLOAT_EQ(XAt(stage.Root(), 1), 30);
  EXPECT_FALSE(stage.GotoLabel("nowhere"));
  EXPECT_EQ(stage.CurrentFrame(), 2u);
}

TEST(Timeline, WithoutLoopTheRootStopsOnItsLastFrame) {
  Stage stage = Play(FourFrames(), false);
  for (int i = 0; i < 6; ++i) stage.Advance();
  EXPECT_EQ(stage.CurrentFrame(), 4u);
  EXPECT_FALSE(stage.Playing());
}

// Sprite 10: three frames moving its square to x = 0, 10, 20.
Bytes WithSprite(Bytes t, bool stop_on_second = false) {
  Bytes s;
  authoring::PlaceObject2(s, New(1, 1));
  authoring::ShowFrame(s);
  authoring::PlaceObject2(s, Move(1, 10));
  if (stop_on_second) {
    const uint8_t stop[] = {0x07, 0x00};
    authoring::DoAction(s, stop);
  }
  authoring::ShowFrame(s);
  authoring::PlaceObject2(s, Move(1, 20));
  authoring::ShowFrame(s);
  authoring::End(s);
  authoring::DefineSprite(t, 10, 3, s);
  return t;
}

TEST(Sprites, PlayTheirOwnTimelineAndLoop) {
  Bytes t = WithSprite(Shapes());
  authoring::PlaceObject2(t, New(5, 10));
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  const Clip* sprite = stage.Root().At(5)->clip.get();
  ASSERT_NE(sprite, nullptr);
  const float expected[] = {0, 10, 20, 0, 10};
  for (float x : expected) {
    EXPECT_FLOAT_EQ(XAt(*sprite, 1), x);
    stage.Advance();
    EXPECT_EQ(stage.Root().At(5)->clip.get(), sprite);  // one frame root: nothing re-placed
  }
}

TEST(Sprites, AStopActionHaltsOnlyItsOwnTimeline) {
  Bytes t = WithSprite(Shapes(), true);
  authoring::PlaceObject2(t, New(5, 10));
  authoring::ShowFrame(t);
  authoring::ShowFrame(t);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  for (int i = 0; i < 5; ++i) stage.Advance();
  const Clip* sprite = stage.Root().At(5)->clip.get();
  EXPECT_EQ(sprite->CurrentFrameIndex(), 1u);
  EXPECT_FALSE(sprite->IsPlaying());
  EXPECT_FLOAT_EQ(XAt(*sprite, 1), 10);
  EXPECT_TRUE(stage.Playing());
  EXPECT_EQ(stage.CurrentFrame(), 3u);
}

TEST(Sprites, SurviveARewindWhenTheirPlacementIsUnchanged) {
  Bytes t = WithSprite(Shapes());
  authoring::PlaceObject2(t, New(5, 10));
  authoring::ShowFrame(t);
  authoring::PlaceObject2(t, New(6, 10));
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  stage.Advance();
  const Clip* first = stage.Root().At(5)->clip.get();
  const size_t sprite_frame = first->CurrentFrameIndex();
  stage.GotoFrame(1);
  EXPECT_EQ(stage.Root().At(5)->clip.get(), first);
  EXPECT_EQ(first->CurrentFrameIndex(), sprite_frame);
  EXPECT_EQ(stage.Root().At(6), nullptr);
}

TEST(Sprites, OfAnActionScript3MovieAreMadeAfreshWhenTheRootLoops) {
  Bytes t;
  const uint8_t as3[] = {0x08, 0, 0, 0};
  authoring::WriteTag(t, 69, as3);  // FileAttributes
  const Bytes shapes = Shapes();
  t.insert(t.end(), shapes.begin(), shapes.end());
  t = WithSprite(t);
  authoring::PlaceObject2(t, New(5, 10));
  authoring::ShowFrame(t);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  const Clip* first = stage.Root().At(5)->clip.get();
  stage.Advance();
  EXPECT_EQ(first->CurrentFrameIndex(), 1u);
  stage.Advance();  // the root loops: kept, the sprite would go on to its third frame
  const Clip* again = stage.Root().At(5)->clip.get();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->CurrentFrameIndex(), 0u);
}

TEST(Sprites, DeepNestingStopsAtTheDepthLimit) {
  // Each sprite shows a square and places the one defined before it, far deeper than the limit.
  constexpr uint16_t kChain = StageContext::kMaxNesting + 8;
  Bytes t = Shapes();
  for (uint16_t k = 0; k < kChain; ++k) {
    Bytes s;
    if (k > 0) authoring::PlaceObject2(s, New(1, static_cast<uint16_t>(99 + k)));
    authoring::PlaceObject2(s, New(2, 1));
    authoring::ShowFrame(s);
    authoring::End(s);
    authoring::DefineSprite(t, static_cast<uint16_t>(100 + k), 1, s);
  }
  authoring::PlaceObject2(t, New(1, static_cast<uint16_t>(99 + kChain)));
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  int levels = 0;
  for (const Clip* c = stage.Root().At(1)->clip.get(); c; ++levels) {
    const DisplayObject* child = c->At(1);
    c = child ? child->clip.get() : nullptr;
  }
  EXPECT_EQ(levels, StageContext::kMaxNesting);
  render::RenderList list;
  stage.BuildRenderList(list);
  EXPECT_EQ(list.commands.size(), static_cast<size_t>(StageContext::kMaxNesting));
}

TEST(Sprites, FanOutStopsAtTheObjectBudget) {
  // Sprite 10 + k places ten instances of sprite 11 + k: a million objects six levels down.
  Bytes t = Shapes();
  for (uint16_t level = 6; level >= 1; --level) {
    Bytes s;
    for (uint16_t depth = 1; depth <= 10; ++depth) {
      authoring::PlaceObject2(s, New(depth, level == 6 ? 1 : static_cast<uint16_t>(11 + level)));
    }
    authoring::ShowFrame(s);
    authoring::End(s);
    authoring::DefineSprite(t, static_cast<uint16_t>(10 + level), 1, s);
  }
  authoring::PlaceObject2(t, New(1, 11));
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  render::RenderList list;
  stage.BuildRenderList(list);
  EXPECT_LE(list.commands.size(), StageContext::kMaxObjects);
  EXPECT_GT(list.commands.size(), StageContext::kMaxObjects / 2);
  stage.Advance();
  stage.BuildRenderList(list);
  EXPECT_LE(list.commands.size(), StageContext::kMaxObjects);
}

std::vector<Kind> KindsOf(const render::RenderList& list) {
  std::vector<Kind> kinds;
  for (const auto& c : list.commands) kinds.push_back(c.kind);
  return kinds;
}

TEST(DrawList, ClipDepthsBecomeNestedMasks) {
  Bytes t = Shapes();
  PlaceSpec mask = New(1, 1);
  mask.clip_depth = 4;
  authoring::PlaceObject2(t, mask);
  authoring::PlaceObject2(t, New(2, 2));
  PlaceSpec inner = New(3, 3);
  inner.clip_depth = 3;  // its range ends before the next depth: it clips nothing
  authoring::PlaceObject2(t, inner);
  authoring::PlaceObject2(t, New(4, 4));
  authoring::PlaceObject2(t, New(5, 1));
  authoring::SetBackgroundColor(t, {9, 8, 7, 255});
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  render::RenderList list;
  stage.BuildRenderList(list);
  const std::vector<Kind> expected = {Kind::BeginMask, Kind::DrawShape, Kind::EndMask,
                                      Kind::DrawShape, Kind::BeginMask, Kind::DrawShape,
                                      Kind::EndMask,   Kind::PopMask,   Kind::DrawShape,
                                      Kind::PopMask,   Kind::DrawShape};
  EXPECT_EQ(KindsOf(list), expected);
  EXPECT_EQ(list.background, (render::Rgba{9, 8, 7, 255}));
}

TEST(DrawList, OnlyTheFirstBackgroundColourCounts) {
  Bytes t;
  authoring::SetBackgroundColor(t, {200, 0, 0, 255});
  authoring::ShowFrame(t);
  authoring::SetBackgroundColor(t, {0, 200, 0, 255});
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  render::RenderList list;
  for (int i = 0; i < 3; ++i) {
    stage.BuildRenderList(list);
    EXPECT_EQ(list.background, (render::Rgba{200, 0, 0, 255}));
    stage.Advance();
  }
}

TEST(DrawList, TransformsConcatenateDownTheSpriteTree) {
  Bytes t = WithSprite(Shapes());
  PlaceSpec p = New(1, 10);
  p.matrix = MatrixSpec{2, 0, 0, 2, 100, 50};
  p.cxform = authoring::CxformSpec{256, 256, 256, 128, 0, 0, 0, 0};
  authoring::PlaceObject2(t, p);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  stage.Advance();  // the sprite's square now sits at x = 10
  render::RenderList list;
  stage.BuildRenderList(list);
  ASSERT_EQ(list.commands.size(), 1u);
  const auto& draw = list.commands[0];
  EXPECT_FLOAT_EQ(draw.matrix.a, 2);
  EXPECT_FLOAT_EQ(draw.matrix.tx, 120);
  EXPECT_FLOAT_EQ(draw.matrix.ty, 50);
  EXPECT_FLOAT_EQ(draw.cxform.mul_a, 0.5f);
  EXPECT_EQ(draw.shape, stage.Movie().Find(1)->shape.get());
}

TEST(DrawList, BlendModesDrawIntoLayers) {
  Bytes t = Shapes();
  PlaceSpec p = New(1, 1);
  p.blend = 3;  // multiply
  p.cxform = authoring::CxformSpec{256, 256, 256, 128, 0, 0, 0, 0};
  authoring::PlaceObject3(t, p);
  PlaceSpec normal = New(2, 2);
  normal.blend = 1;
  authoring::PlaceObject3(t, normal);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  render::RenderList list;
  stage.BuildRenderList(list);
  ASSERT_EQ(KindsOf(list), (std::vector<Kind>{Kind::BeginLayer, Kind::DrawShape, Kind::EndLayer,
                                              Kind::DrawShape}));
  EXPECT_EQ(list.commands[0].blend, render::BlendMode::Multiply);
  EXPECT_TRUE(list.commands[1].cxform.IsIdentity());
  EXPECT_FLOAT_EQ(list.commands[2].cxform.mul_a, 0.5f);
}

TEST(DrawList, MorphShapesAreBuiltOncePerRatio) {
  // A morph from the edge model test, placed at two ratios over two frames.
  authoring::ShapeWriter start(3), end(3);
  start.Select(-1, 1);
  start.Rectangle(0, 0, 100, 100);
  end.Rectangle(0, 0, 300, 300);
  authoring::BitWriter body;
  body.WriteU16(20);
  authoring::WriteRect(body, 0, 100, 0, 100);
  authoring::WriteRect(body, 0, 300, 0, 300);
  const Bytes edges = start.Records(1, 0);
  const Bytes styles = {1, 0x00, 255, 0, 0, 255, 0, 0, 255, 255, 0};
  body.WriteU32(static_cast<uint32_t>(styles.size() + edges.size()));
  body.WriteBytes(styles);
  body.WriteBytes(edges);
  body.WriteBytes(end.Records(0, 0));
  Bytes t;
  authoring::WriteTag(t, authoring::kTagDefineMorphShape, body.bytes());
  PlaceSpec p = New(1, 20);
  p.ratio = 0;
  authoring::PlaceObject2(t, p);
  authoring::ShowFrame(t);
  PlaceSpec half;
  half.depth = 1;
  half.move = true;
  half.ratio = 32768;
  authoring::PlaceObject2(t, half);
  authoring::ShowFrame(t);
  Stage stage = Play(t);
  render::RenderList list;
  std::vector<const render::ShapeGeometry*> seen;
  for (int i = 0; i < 4; ++i) {
    stage.BuildRenderList(list);
    ASSERT_EQ(list.commands.size(), 1u);
    seen.push_back(list.commands[0].shape);
    stage.Advance();
  }
  EXPECT_EQ(seen[0], seen[2]);
  EXPECT_EQ(seen[1], seen[3]);
  ASSERT_NE(seen[0], seen[1]);
  EXPECT_NEAR(seen[1]->bounds.x_max, 200, 0.01);
}

}  // namespace
}  // namespace lumen::stage
