#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallNumberClasses(Vm& vm) { vm.builtins().number_proto = vm.NewObject(); }

}  // namespace lumen::avm1
