#pragma once

// flash.filters, and the filter objects a clip's `filters` property hands out and takes.

#include <optional>

#include "avm1/FilterSettings.h"
#include "avm1/Object.h"
#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;

void InstallFilterClasses(Vm& vm);
// Entry `index` of a filter class's native table (ASnative): 1 + 2i reads property i of the
// class, the entry after it writes it. Null for other tables and indices.
NativeFunction FilterNative(double table, double index);
// The settings of a filter object; nothing for other values.
std::optional<FilterSettings> FilterSettingsOf(const Value& v);
// A new filter object of the settings's kind, of the class the movie's globals name now.
Value NewFilter(Vm& vm, const FilterSettings& settings);

}  // namespace lumen::avm1
