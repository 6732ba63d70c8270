// The tag parser on whole movies, then a few frames of play and draw lists: any input must load
// or be refused, and play without fault.
#include <cstddef>
#include <cstdint>

#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/Stage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumen::movie::LoadLimits limits;
  limits.bitmap_bytes = 256 << 20;
  const auto result = lumen::movie::LoadMovie({data, size}, limits);
  if (!result.movie) return 0;
  lumen::stage::Stage stage(result.movie);
  lumen::render::RenderList list;
  for (int i = 0; i < 6; ++i) {
    stage.BuildRenderList(list);
    stage.Advance();
  }
  stage.GotoFrame(1);
  stage.BuildRenderList(list);
  return 0;
}
