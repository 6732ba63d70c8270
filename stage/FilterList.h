#pragma once

// PlaceObject3's filter list, read into the settings scripts see and the stage keeps.

#include <cstdint>
#include <span>
#include <vector>

#include "avm1/FilterSettings.h"

namespace lumen::stage {

// The filters `bytes` hold; a list cut short keeps the filters read before the cut.
std::vector<avm1::FilterSettings> ReadFilterList(std::span<const uint8_t> bytes);

}  // namespace lumen::stage
