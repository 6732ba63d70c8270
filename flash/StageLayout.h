#pragma once

#include <cstdint>

#include "flash/MovieEngine.h"

namespace lumen::flash {

enum class ScaleMode : int32_t { ShowAll = 0, NoBorder = 1, ExactFit = 2, NoScale = 3 };

// Alignment bits as the control's AlignMode property combines them.
enum AlignBits : int32_t { kAlignLeft = 1, kAlignRight = 2, kAlignTop = 4, kAlignBottom = 8 };

// Places a stage of `stage_width` x `stage_height` twips in a window of the given pixel size.
// A degenerate stage or window gives the identity scale of 20 twips to the pixel at 0,0.
StageView LayoutStage(int32_t stage_width, int32_t stage_height, int window_width,
                      int window_height, ScaleMode mode, int32_t align);

}  // namespace lumen::flash
