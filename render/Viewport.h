#pragma once

// Placing the stage in a window: the scale modes and stage alignment of the control, turned into
// the stage-to-device matrix the renderer takes.

#include <cstdint>
#include <string_view>

#include "render/Geometry.h"

namespace lumen::render {

enum class ScaleMode : uint8_t { ShowAll, NoBorder, ExactFit, NoScale };

// Which window edges the stage keeps to; none on an axis centres it on that axis. Left and right
// together (or top and bottom) keep to the left (top) edge.
struct StageAlign {
  bool left = false, right = false, top = false, bottom = false;
  friend bool operator==(const StageAlign&, const StageAlign&) = default;
};

// "L", "R", "T", "B" in any order and case ("TL", "br", ...); other letters are ignored.
StageAlign ParseStageAlign(std::string_view text);

// Stage twips to window pixels. A stage or window that is empty or not finite gives a matrix
// that scales everything to nothing.
Matrix StageToDevice(const Rect& stage_twips, int window_width, int window_height, ScaleMode mode,
                     StageAlign align = {});

}  // namespace lumen::render
