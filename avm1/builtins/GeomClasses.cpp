#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallGeomClasses(Vm&) {}

}  // namespace lumen::avm1
