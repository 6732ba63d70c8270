// The control's movie engine over a whole file's bytes: loading never fails other than by answering
// false, and drawing a loaded movie stays inside the target.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "flash/MovieEngine.h"
#include "flash/StageLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto engine = lumen::flash::CreateMovieEngine(size_t{16} << 20);
  if (!engine->Load({data, size}, {})) return 0;
  const lumen::flash::StageInfo& stage = engine->Stage();
  constexpr int kWidth = 31, kHeight = 17;
  std::vector<uint32_t> pixels(kWidth * kHeight);
  const lumen::flash::PixelTarget target{pixels.data(), kWidth, kHeight, kWidth};
  for (int mode = 0; mode <= 3; ++mode) {
    const auto view = lumen::flash::LayoutStage(stage.width, stage.height, kWidth, kHeight,
                                                static_cast<lumen::flash::ScaleMode>(mode), 0);
    engine->Render(target, view, 0xFF000000u | stage.background, false);
    engine->AdvanceFrame();
  }
  return 0;
}
