#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallPlayerObjects(Vm&) {}

}  // namespace lumen::avm1
