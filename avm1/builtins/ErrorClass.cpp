#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallErrorClass(Vm& vm) { vm.builtins().error_proto = vm.NewObject(); }

}  // namespace lumen::avm1
