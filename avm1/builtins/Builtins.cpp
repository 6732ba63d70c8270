#include "avm1/Builtins.h"

#include "avm1/Vm.h"
#include "avm1/builtins/BitmapDataClass.h"
#include "avm1/builtins/FilterClasses.h"

namespace lumen::avm1 {

Value Nothing(Vm&, const Arguments&) {
  return Value();
}
Value Null(Vm&, const Arguments&) {
  return Value::Null();
}
Value False(Vm&, const Arguments&) {
  return false;
}

Object* SuperTarget(Vm& vm, const Value& self) {
  Object* o = self.AsObject();
  return o != nullptr && o->AsClip() == nullptr && o != vm.Global() ? o : nullptr;
}

void InstallBuiltins(Vm& vm) {
  InstallObjectClass(vm);
  InstallGlobalFunctions(vm);
  InstallArrayClass(vm);
  InstallStringClass(vm);
  InstallNumberClasses(vm);
  InstallErrorClass(vm);
  InstallDateClass(vm);
  InstallXmlClasses(vm);
  InstallMovieClipClass(vm);
  InstallPlayerObjects(vm);
  InstallGeomClasses(vm);
  InstallTextFieldClasses(vm);
  InstallStyleSheetClass(vm);
  InstallSoundClass(vm);
  InstallMovieClipLoaderClass(vm);
  InstallPrintJobClass(vm);
  InstallMediaClasses(vm);
  InstallTextSnapshotClass(vm);
  InstallExternalInterface(vm);
  InstallUiClasses(vm);
  InstallBitmapDataClass(vm);
  InstallFileReferenceClasses(vm);
  InstallFilterClasses(vm);  // after MovieClip
  InstallClipLookProperties(vm);
}

}  // namespace lumen::avm1
