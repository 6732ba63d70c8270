#pragma once

// What the stage reaches of MovieClipLoader: the steps of the loads it carries out for loaders.

#include <cstdint>
#include <span>
#include <string_view>

#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;
class ClipObject;

// Broadcasts `event` (onLoadStart, onLoadProgress, onLoadComplete, onLoadInit, onLoadError) with
// the target clip and `extra` to the listeners of the loader holding `ticket`, as one budgeted
// run; `last` ends the load. Call it between runs of scripts.
void ClipLoadEvent(Vm& vm, uint32_t ticket, std::string_view event, ClipObject* target,
                   std::span<const Value> extra, bool last);

}  // namespace lumen::avm1
