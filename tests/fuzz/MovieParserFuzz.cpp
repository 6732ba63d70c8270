// The tag parser on whole movies, then a few frames of play with the pointer and a key, draw
// lists and mixed sound, and every bitmap decoded through a player's cache whose budget is too
// small for many: any input must load or be refused, and play without fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/Stage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto result = lumen::movie::LoadMovie({data, size});
  if (!result.movie) return 0;
  // A script that never ends is stopped by its time budget: short here, so that a run stays
  // far inside the fuzzer's timeout.
  lumen::stage::ScriptSetup scripts;
  scripts.limits.run_ms = 50;
  scripts.limits.heap_bytes = size_t{64} << 20;
  lumen::stage::Stage stage(result.movie, true, size_t{16} << 20, std::move(scripts));
  lumen::render::RenderList list;
  std::vector<int16_t> sound(1837 * 2);  // a frame's worth at 24 frames a second
  // The pointer crosses the stage's middle, pressing on the way, and a key goes down: buttons
  // and clips with button handlers hear it all.
  for (int i = 0; i < 6; ++i) {
    stage.BuildRenderList(list);
    stage.Sound().Mix(sound);
    stage.MouseMove(100 + 40 * i, 100 + 30 * (i % 3));
    if (i == 1 || i == 3) stage.MouseDown();
    if (i == 2 || i == 5) stage.MouseUp();
    if (i == 4) stage.KeyDown('K', 'k');
    stage.Advance();
  }
  stage.GotoFrame(1);
  stage.BuildRenderList(list);
  for (const auto& [id, character] : result.movie->Characters()) {
    if (character.bitmap) stage.Bitmaps().Pixels(*character.bitmap);
  }
  return 0;
}
