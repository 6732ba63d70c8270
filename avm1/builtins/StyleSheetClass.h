#pragma once

// What a text field reads of its TextField.StyleSheet: each style, by selector, as a format.

#include "avm1/StageBridge.h"

namespace lumen::avm1 {

class Vm;
class Object;

StyleRules StyleSheetRules(Vm& vm, Object* sheet);

}  // namespace lumen::avm1
