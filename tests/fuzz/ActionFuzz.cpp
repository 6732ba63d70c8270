// The script engine on any action list: the input is the DoAction of frames 1 and 2 of a valid
// movie with a named sprite to act on, played for a few ticks with input and timers. Budgets
// are tight so that runaway scripts cost the fuzzer little; every run must end without fault.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "authoring/SwfWriter.h"
#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/Stage.h"

namespace aw = lumen::authoring;

namespace {

// Shape 1 in sprite 2 (two frames, so that clip gotos have somewhere to go), placed as "clip".
aw::Bytes MovieAround(const uint8_t* data, size_t size, uint8_t version) {
  aw::Bytes tags;
  aw::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 128, 255, 255}));
  shape.Rectangle(0, 0, 400, 400);
  const aw::Bytes tag = shape.Tag(1, 0, 400, 0, 400);
  tags.insert(tags.end(), tag.begin(), tag.end());
  aw::Bytes sprite;
  aw::PlaceObject(sprite, 1, 1);
  aw::ShowFrame(sprite);
  aw::ShowFrame(sprite);
  aw::End(sprite);
  aw::DefineSprite(tags, 2, 2, sprite);
  aw::PlaceSpec place;
  place.depth = 1;
  place.character = 2;
  place.name = "clip";
  aw::PlaceObject2(tags, place);
  aw::Bytes actions(data, data + size);
  actions.push_back(0);
  for (int frame = 0; frame < 2; ++frame) {
    aw::DoAction(tags, actions);
    aw::ShowFrame(tags);
  }
  aw::End(tags);
  aw::MovieSpec spec;
  spec.version = version;
  spec.frame_count = 2;
  return aw::BuildMovie(spec, tags);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Odd lengths play as a version 6 movie: case-insensitive names and the older conversions.
  const uint8_t version = size % 2 ? 6 : 10;
  const auto result = lumen::movie::LoadMovie(MovieAround(data, size, version));
  if (!result.movie) __builtin_trap();  // the wrapper is valid whatever the actions are
  lumen::stage::ScriptSetup setup;
  setup.limits.run_ms = 50;
  setup.limits.heap_bytes = size_t{32} << 20;
  size_t traced = 0;
  setup.trace = [&traced](std::string_view line) { traced += line.size(); };
  lumen::stage::Stage stage(result.movie, true, size_t{4} << 20, std::move(setup));
  lumen::render::RenderList list;
  for (int tick = 1; tick <= 4; ++tick) {
    stage.SetClock(tick * 100.0);
    stage.Advance();
    stage.MouseMove(tick * 10.0, 20);
    if (tick == 2) {
      stage.MouseDown();
      stage.MouseUp();
      stage.KeyDown(65, 'a');
    }
    stage.BuildRenderList(list);
  }
  return 0;
}
