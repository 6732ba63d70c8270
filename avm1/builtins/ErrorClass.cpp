// Error: `name` and `message` live on the prototype ("Error" both); an instance gets its own
// message only when given one that is not undefined, and toString returns the message as it is.
// Called as a function, Error returns nothing; it fills in only a script subclass's instance.

#include "avm1/Builtins.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

namespace {

constexpr int kMaxChain = 256;

bool InheritsFrom(const Value& self, Object* proto) {
  Object* o = self.AsObject();
  if (o == nullptr) return false;
  int steps = 0;
  for (Object* p = o->Proto(); p != nullptr && steps < kMaxChain; p = p->Proto(), ++steps) {
    if (p == proto) return true;
  }
  return false;
}

void SetMessage(Vm& vm, Object* error, const Arguments& args) {
  if (args.size() > 0 && !args[0].IsUndefined()) vm.SetOwn(error, "message", args[0]);
}

Value ErrorCall(Vm& vm, const Arguments& args) {
  if (InheritsFrom(args.self, vm.builtins().error_proto))
    SetMessage(vm, args.self.AsObject(), args);
  return Value();
}

Value ErrorConstruct(Vm& vm, const Arguments& args) {
  Object* proto = args.self.AsObject();
  Object* error = vm.NewObject(proto != nullptr ? proto : vm.builtins().error_proto);
  SetMessage(vm, error, args);
  return error;
}

Value ErrorToString(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  return self != nullptr ? vm.Get(self, "message") : Value();
}

}  // namespace

void InstallErrorClass(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().error_proto = proto;
  FunctionObject* error = vm.NewClass(proto, ErrorCall, ErrorConstruct);
  // Unlike other built-ins, these two show in for..in.
  vm.DefineValue(proto, "message", vm.Str("Error"), 0);
  vm.DefineValue(proto, "name", vm.Str("Error"), 0);
  vm.DefineMethod(proto, "toString", ErrorToString);
  vm.DefineValue(vm.Global(), "Error", static_cast<Object*>(error));
}

}  // namespace lumen::avm1
