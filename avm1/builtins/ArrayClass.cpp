#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallArrayClass(Vm& vm) { vm.builtins().array_proto = vm.NewObject(); }

}  // namespace lumen::avm1
