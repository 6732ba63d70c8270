// flash.net.FileReference and FileReferenceList.
//
// Design: the player shows no file dialogs and sends no files. A browse or download whose
// arguments the reference would accept answers true, as the dialog would open, and the dialog
// then counts as cancelled: the object's listeners hear onCancel once the running scripts are
// done (Vm::Defer). Arguments the reference refuses answer false and nothing follows.

#include <string>

#include "avm1/Builtins.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

constexpr size_t kMaxTypes = 1024;

// Listeners hear onCancel after the running scripts, as from a dialog the user closed.
Value OpenDialog(Vm& vm, const Value& self) {
  vm.Defer(self, "broadcastMessage", {vm.Str("onCancel"), self});
  return true;
}

// A type list is a non-empty array of entries that each name a description and extensions.
bool ValidTypes(Vm& vm, const Value& types) {
  if (types.IsUndefined()) return true;
  const double length = vm.ToNumber(vm.GetMember(types, "length"));
  if (!(length >= 1) || length > kMaxTypes) return false;
  for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
    const Value entry = vm.GetMember(types, std::to_string(i));
    if (vm.GetMember(entry, "description").IsUndefined() ||
        vm.GetMember(entry, "extension").IsUndefined()) {
      return false;
    }
  }
  return true;
}

Value Browse(Vm& vm, const Arguments& args) {
  if (!ValidTypes(vm, args[0])) return false;
  return OpenDialog(vm, args.self);
}

// Files come only from web servers.
Value Download(Vm& vm, const Arguments& args) {
  if (args.values.empty()) return false;
  const std::string url = vm.ToString(args[0]);
  auto starts = [&](std::string_view scheme) {
    return url.size() >= scheme.size() && SameName(url.substr(0, scheme.size()), scheme, false);
  };
  if (!starts("http://") && !starts("https://")) return false;
  return OpenDialog(vm, args.self);
}

// Nothing was selected, so there is nothing to send.
Value Upload(Vm&, const Arguments&) {
  return false;
}

Value Construct(Vm& vm, const Arguments& args) {
  Object* made = vm.NewObject(args.self.AsObject());
  // Each object keeps its own listeners, itself first, so handlers set on it hear events too.
  ArrayObject* listeners = vm.NewArray();
  listeners->elements.push_back(static_cast<Object*>(made));
  vm.SetOwn(made, "_listeners", static_cast<Object*>(listeners), kDontEnum);
  return made;
}

Object* NewPrototype(Vm& vm) {
  Object* proto = vm.NewObject();
  if (Object* asb = vm.Get(vm.Global(), "AsBroadcaster").AsObject()) {
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
      vm.DefineValue(proto, name, vm.Get(asb, name));
    }
  }
  vm.DefineMethod(proto, "browse", Browse);
  return proto;
}

}  // namespace

void InstallFileReferenceClasses(Vm& vm) {
  Object* net = vm.NewObject();
  Object* file_proto = NewPrototype(vm);
  vm.DefineMethod(file_proto, "download", Download);
  vm.DefineMethod(file_proto, "upload", Upload);
  vm.DefineMethod(file_proto, "cancel", Nothing);
  vm.SetOwn(net, "FileReference",
            static_cast<Object*>(vm.NewClass(file_proto, Nothing, Construct)));
  Object* list_proto = NewPrototype(vm);
  vm.SetOwn(net, "FileReferenceList",
            static_cast<Object*>(vm.NewClass(list_proto, Nothing, Construct)));
  vm.SetOwn(FlashPackage(vm), "net", net);
}

}  // namespace lumen::avm1
