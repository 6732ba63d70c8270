// Counts heap allocations to show that playing a looping movie allocates nothing per frame once
// every frame has been seen.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "authoring/SwfWriter.h"
#include "stage/Stage.h"
#include "tests/movie/MovieTestUtil.h"

namespace {
std::atomic<size_t> g_allocations{0};
}  // namespace

void* operator new(size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}

namespace lumen::stage {
namespace {

using authoring::Bytes;

TEST(SteadyState, LoopingSpritesAndMasksAllocateNothingPerFrame) {
  Bytes t;
  authoring::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({255, 0, 0, 255}));
  shape.Rectangle(0, 0, 100, 100);
  const Bytes s1 = shape.Tag(1, 0, 100, 0, 100);
  t.insert(t.end(), s1.begin(), s1.end());
  // A sprite that moves its square over three frames and loops.
  Bytes sprite;
  authoring::PlaceSpec place;
  place.depth = 1;
  place.character = 1;
  place.name = "a rather long instance name that does not fit a small string";
  authoring::PlaceObject2(sprite, place);
  authoring::ShowFrame(sprite);
  for (int32_t x : {10, 20}) {
    authoring::PlaceSpec move;
    move.depth = 1;
    move.move = true;
    move.matrix = authoring::MatrixSpec{1, 0, 0, 1, x, 0};
    authoring::PlaceObject2(sprite, move);
    authoring::ShowFrame(sprite);
  }
  authoring::End(sprite);
  authoring::DefineSprite(t, 2, 3, sprite);
  authoring::PlaceSpec mask;
  mask.depth = 1;
  mask.character = 1;
  mask.clip_depth = 3;
  authoring::PlaceObject2(t, mask);
  for (uint16_t depth : {2, 3, 4}) {
    authoring::PlaceSpec p;
    p.depth = depth;
    p.character = 2;
    authoring::PlaceObject2(t, p);
  }
  authoring::ShowFrame(t);
  Stage stage(movie::testing::Load(t));
  render::RenderList list;
  for (int i = 0; i < 6; ++i) {
    stage.Advance();
    stage.BuildRenderList(list);
  }
  const size_t before = g_allocations.load();
  for (int i = 0; i < 30; ++i) {
    stage.Advance();
    stage.BuildRenderList(list);
  }
  EXPECT_EQ(g_allocations.load() - before, 0u);
  EXPECT_EQ(list.commands.size(), 7u);  // mask (3), two masked squares, pop, one square
}

}  // namespace
}  // namespace lumen::stage
