#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallStringClass(Vm& vm) { vm.builtins().string_proto = vm.NewObject(); }

}  // namespace lumen::avm1
