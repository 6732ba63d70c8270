#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallDateClass(Vm& vm) { vm.builtins().date_proto = vm.NewObject(); }

}  // namespace lumen::avm1
