#pragma once

// PlaceObject3's filter list, read into the settings scripts see and the stage keeps.

#include <cstdint>
#include <span>
#include <vector>

#include "avm1/FilterSettings.h"
#include "render/RenderList.h"

namespace lumen::stage {

// The filters `bytes` hold; a list cut short keeps the filters read before the cut.
std::vector<avm1::FilterSettings> ReadFilterList(std::span<const uint8_t> bytes);

// Adds to `out` the filters of `filters` that the renderer draws (all but displacement maps, which
// are left out); answers how many it added.
size_t AddRenderFilters(const std::vector<avm1::FilterSettings>& filters,
                        std::vector<render::Filter>& out);

}  // namespace lumen::stage
