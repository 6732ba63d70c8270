// PrintJob: the slideshow player has no printer to offer, so a job never starts and its page
// sizes stay 0. The sizes are read-only accessors of the prototype; the methods came with
// version 7 and are hidden from older movies, whose PrintJob prototype stands outside the
// Object class.

#include <utility>

#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

Value Zero(Vm&, const Arguments&) {
  return 0;
}

Value Refused(Vm&, const Arguments&) {
  return false;
}

}  // namespace

void InstallPrintJobClass(Vm& vm) {
  constexpr uint8_t kMethodsVersion = 7;
  Object* proto =
      vm.Version() >= kMethodsVersion ? vm.NewObject() : vm.heap().Make<Object>(nullptr);
  // Made in reverse, as enumeration lists the newest first.
  for (const char* name : {"paperHeight", "paperWidth", "pageHeight", "pageWidth", "orientation"}) {
    vm.SetOwn(proto, name, Value(), kDontDelete | kReadOnly);
    proto->Properties().Find(name, vm.CaseSensitive())->getter = vm.NewNative(Zero);
  }
  const std::pair<const char*, NativeFunction> methods[] = {
      {"send", Nothing}, {"addPage", Refused}, {"start", Refused}};
  for (const auto& [name, fn] : methods) {
    vm.DefineMethod(proto, name, fn, kDontEnum);
    proto->Properties().Find(name, vm.CaseSensitive())->min_version = kMethodsVersion;
  }
  vm.DefineValue(vm.Global(), "PrintJob", static_cast<Object*>(vm.NewClass(proto, Nothing)));
}

}  // namespace lumen::avm1
