#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

void InstallXmlClasses(Vm& vm) { vm.builtins().xml_proto = vm.NewObject(); }

}  // namespace lumen::avm1
