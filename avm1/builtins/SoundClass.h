#pragma once

// What the stage reaches of the Sound class: the ends of the sounds scripts started.

#include <cstdint>
#include <span>

namespace lumen::avm1 {

class Vm;

// Calls onSoundComplete of the Sound objects whose instances ended; one budgeted run each, so
// call it between runs of scripts.
void SoundsCompleted(Vm& vm, std::span<const uint64_t> handles);

}  // namespace lumen::avm1
