#pragma once

// flash.filters, and the filter objects a clip's `filters` property hands out and takes.

#include <optional>

#include "avm1/FilterSpec.h"
#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;

void InstallFilterClasses(Vm& vm);
// The settings of a filter object; nothing for other values.
std::optional<FilterSpec> FilterSpecOf(const Value& v);
// A new filter object of the spec's kind, of the class the movie's globals name now.
Value NewFilter(Vm& vm, const FilterSpec& spec);

}  // namespace lumen::avm1
