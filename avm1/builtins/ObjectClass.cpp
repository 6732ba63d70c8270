// Object and Function: the roots of every prototype chain, and the property tools movies use
// to make classes (addProperty, registerClass, ASSetPropFlags).

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

namespace {

Value ObjectConstruct(Vm& vm, const Arguments& args) {
  if (args.size() > 0 && !args[0].IsNullish()) return vm.ToObject(args[0]);
  return vm.NewObject(args.self.AsObject());
}

Value ObjectCall(Vm& vm, const Arguments& args) {
  if (args.size() > 0 && !args[0].IsNullish()) return vm.ToObject(args[0]);
  return vm.NewObject();
}

Value ObjectToString(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o != nullptr && o->TypeOf() == "function") return vm.Str("[type Function]");
  return vm.Str("[object Object]");
}

Value ObjectValueOf(Vm&, const Arguments& args) {
  return args.self;
}

Value HasOwnProperty(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr || args.size() == 0) return false;
  // Hidden from this version or not, the property is the object's own; so is the link to the
  // prototype, which is kept outside the table.
  const std::string name = vm.ToString(args[0]);
  // Every object with a prototype holds the link to it as a property of its own.
  if (SameName(name, "__proto__", vm.CaseSensitive()) && o->Proto() != nullptr) return true;
  return vm.HasOwn(o, name) || o->Properties().Find(name, vm.CaseSensitive()) != nullptr;
}

// watch(name, callback[, data]): false unless the callback is a function.
Value Watch(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  Object* callback = args[1].AsObject();
  if (o == nullptr || callback == nullptr || callback->TypeOf() != "function") return false;
  const std::string name = vm.ToString(args[0]);
  if (!o->watches) o->watches = std::make_unique<std::vector<Object::Watch>>();
  auto& list = *o->watches;
  auto same = [&](const Object::Watch& w) { return SameName(w.name, name, vm.CaseSensitive()); };
  auto it = std::find_if(list.begin(), list.end(), same);
  if (it == list.end()) {
    constexpr size_t kMaxWatches = 1024;
    if (list.size() >= kMaxWatches) return false;
    it = list.insert(list.end(), Object::Watch{name, Value(), Value()});
  }
  it->callback = callback;
  it->data = args[2];
  return true;
}

Value Unwatch(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr || !o->watches) return false;
  const std::string name = vm.ToString(args[0]);
  return std::erase_if(*o->watches, [&](const Object::Watch& w) {
           return SameName(w.name, name, vm.CaseSensitive());
         }) > 0;
}

Value IsPropertyEnumerable(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr || args.size() == 0) return false;
  const Property* p = o->Properties().Find(vm.ToString(args[0]), vm.CaseSensitive());
  return p != nullptr && !(p->flags & kDontEnum);
}

Value IsPrototypeOf(Vm&, const Arguments& args) {
  Object* proto = args.self.AsObject();
  Object* o = args[0].AsObject();
  for (int i = 0; o != nullptr && i < 256; ++i) {
    o = o->Proto();
    if (o == proto && o != nullptr) return true;
  }
  return false;
}

Value AddProperty(Vm& vm, const Arguments& args) {
  Object* o = args.self.AsObject();
  if (o == nullptr || args.size() < 3) return false;
  const std::string name = vm.ToString(args[0]);
  Object* getter = args[1].AsObject();
  Object* setter = args[2].AsObject();
  if (name.empty() || getter == nullptr || getter->TypeOf() != "function") return false;
  if (setter != nullptr && setter->TypeOf() != "function") return false;
  Property* p = o->Properties().Find(name, vm.CaseSensitive());
  if (p == nullptr) {
    p = &o->Properties().Add(name);
    vm.heap().Charge(sizeof(Property) + name.size());
  } else {
    p->value = Value();
  }
  p->getter = getter;
  p->setter = setter;
  return true;
}

Value RegisterClass(Vm& vm, const Arguments& args) {
  if (args.size() < 2) return false;
  // A class is a function; null or undefined takes the registration back.
  Object* ctor = args[1].AsObject();
  if (ctor != nullptr ? ctor->TypeOf() != "function" : !args[1].IsNullish()) return false;
  vm.RegisterClass(vm.ToString(args[0]), ctor);
  return true;
}

// The `this` of call and apply: a primitive's box, or the globals for nothing and for a
// primitive that cannot be boxed.
Value ThisOf(Vm& vm, const Value& given) {
  if (given.IsObject()) return given;
  Object* box = given.IsNullish() ? nullptr : vm.ToObject(given);
  return box ? Value(box) : Value(vm.Global());
}

Value FunctionCallMethod(Vm& vm, const Arguments& args) {
  const Value self = ThisOf(vm, args[0]);
  const std::span<const Value> rest =
      args.size() > 1 ? args.values.subspan(1) : std::span<const Value>();
  return vm.Call(args.self, self, rest);
}

Value FunctionApply(Vm& vm, const Arguments& args) {
  const Value self = ThisOf(vm, args[0]);
  std::vector<Value> list;
  if (Object* a = args[1].AsObject()) {
    const double n = vm.ToNumber(vm.Get(a, "length"));
    const size_t count = n > 0 ? static_cast<size_t>(std::min(n, 65536.0)) : 0;
    for (size_t i = 0; i < count; ++i) list.push_back(vm.Get(a, std::to_string(i)));
  }
  return vm.Call(args.self, self, list);
}

Value FunctionConstruct(Vm& vm, const Arguments&) {
  return vm.NewNative(nullptr);
}

// Called, Function hands back what it was given, as a cast would.
Value FunctionCall(Vm& vm, const Arguments& args) {
  return args.size() > 0 ? args[0] : FunctionConstruct(vm, args);
}

// ASSetPropFlags(object, names, set, clear): names is null for all, a comma list or an array.
Value SetPropFlags(Vm& vm, const Arguments& args) {
  Object* o = args[0].AsObject();
  if (o == nullptr) return Value();
  std::vector<std::string> names;
  bool all = args[1].IsNull();
  if (Object* list = args[1].AsObject(); list != nullptr && list->native_class == "Array") {
    const double n = vm.ToNumber(vm.Get(list, "length"));
    for (size_t i = 0; n > 0 && i < static_cast<size_t>(std::min(n, 65536.0)); ++i) {
      names.push_back(vm.ToString(vm.Get(list, std::to_string(i))));
    }
  } else if (args[1].IsString()) {
    std::string_view text = args[1].AsString();
    size_t start = 0;
    while (start <= text.size()) {
      size_t comma = text.find(',', start);
      if (comma == std::string_view::npos) comma = text.size();
      names.emplace_back(text.substr(start, comma - start));
      start = comma + 1;
    }
  } else if (!args[1].IsNull()) {
    return Value();
  }
  const uint32_t set = static_cast<uint32_t>(vm.ToInt32(args[2]));
  const uint32_t clear = args.size() > 3 ? static_cast<uint32_t>(vm.ToInt32(args[3])) : 0;
  // Bits above the three flags hide the property from movies before a version: 6, 7, 8, 9
  // and 10 for bits 7, 10, 12, 13 and 14; bit 8 hides it from version 6 alone.
  static constexpr std::pair<uint32_t, uint8_t> kVersionBits[] = {
      {1u << 14, 10}, {1u << 13, 9}, {1u << 12, 8}, {1u << 10, 7}, {1u << 7, 6}};
  static constexpr uint32_t kHiddenIn6 = 1u << 8;
  auto apply = [&](Property& p) {
    uint32_t flags = p.flags | (p.hidden_in_6 ? kHiddenIn6 : 0);
    for (const auto& [bit, version] : kVersionBits) {
      if (p.min_version == version) flags |= bit;
    }
    const uint32_t result = (flags & ~clear) | set;
    p.flags = static_cast<uint8_t>(result & 7);
    p.hidden_in_6 = (result & kHiddenIn6) != 0;
    p.min_version = 0;
    for (const auto& [bit, version] : kVersionBits) {
      if (result & bit) {
        p.min_version = version;
        break;
      }
    }
  };
  for (Property& p : o->Properties().Entries()) {
    if (all) {
      apply(p);
      continue;
    }
    for (const std::string& n : names) {
      Property* q = o->Properties().Find(n, vm.CaseSensitive());
      if (q == &p) apply(p);
    }
  }
  const auto names_proto = [&] {
    for (const std::string& n : names) {
      if (SameName(n, "__proto__", vm.CaseSensitive())) return true;
    }
    return false;
  };
  if (o->Proto() != nullptr && (all || names_proto())) {
    Property link;
    link.flags = o->proto_flags;
    apply(link);
    o->proto_flags = link.flags;
  }
  return Value();
}

struct ObjectMethod {
  const char* name;
  NativeFunction fn;
};
// In the order of the player's native table 101, which ASnative reaches by index.
constexpr ObjectMethod kObjectMethods[] = {
    {"watch", Watch},
    {"unwatch", Unwatch},
    {"addProperty", AddProperty},
    {"valueOf", ObjectValueOf},
    {"toString", ObjectToString},
    {"hasOwnProperty", HasOwnProperty},
    {"isPrototypeOf", IsPrototypeOf},
    {"isPropertyEnumerable", IsPropertyEnumerable},
};

}  // namespace

NativeFunction ObjectNative(double index) {
  constexpr size_t kCount = std::size(kObjectMethods);
  if (index >= 0 && index < kCount) return kObjectMethods[static_cast<size_t>(index)].fn;
  return nullptr;
}

void InstallObjectClass(Vm& vm) {
  Builtins& b = vm.builtins();
  b.object_proto = vm.heap().Make<Object>(nullptr);
  b.function_proto = vm.heap().Make<Object>(b.object_proto);
  // The global object has no prototype: it prints as "[type Object]".
  vm.SetGlobal(vm.heap().Make<Object>(nullptr));
  Object* global = vm.Global();

  FunctionObject* object = vm.NewClass(b.object_proto, ObjectCall, ObjectConstruct);
  b.object_ctor = object;
  // Every object's prototype at the root of the chain is there to stay.
  vm.DefineValue(object, "prototype", b.object_proto, kDontEnum | kDontDelete | kReadOnly);
  vm.DefineMethod(object, "registerClass", RegisterClass);
  vm.DefineValue(global, "Object", static_cast<Object*>(object));
  // The methods every object shares survive a delete until a movie clears their flags.
  Object* op = b.object_proto;
  constexpr uint8_t kBuiltIn = kDontEnum | kDontDelete;
  vm.DefineMethod(op, "toString", ObjectToString, kBuiltIn);
  vm.DefineMethod(op, "toLocaleString", ObjectToString, kBuiltIn);
  vm.DefineMethod(op, "valueOf", ObjectValueOf, kBuiltIn);
  vm.DefineMethod(op, "hasOwnProperty", HasOwnProperty, kBuiltIn);
  vm.DefineMethod(op, "isPropertyEnumerable", IsPropertyEnumerable, kBuiltIn);
  vm.DefineMethod(op, "watch", Watch, kBuiltIn);
  vm.DefineMethod(op, "unwatch", Unwatch, kBuiltIn);
  vm.DefineMethod(op, "isPrototypeOf", IsPrototypeOf, kBuiltIn);
  vm.DefineMethod(op, "addProperty", AddProperty, kBuiltIn);

  FunctionObject* function = vm.NewClass(b.function_proto, FunctionCall, FunctionConstruct);
  vm.DefineValue(global, "Function", static_cast<Object*>(function));
  // Made before Function, which made them both.
  vm.DefineValue(object, "constructor", static_cast<Object*>(function));
  vm.DefineValue(function, "constructor", static_cast<Object*>(function));
  vm.DefineMethod(b.function_proto, "call", FunctionCallMethod);
  vm.DefineMethod(b.function_proto, "apply", FunctionApply);
  vm.DefineMethod(global, "ASSetPropFlags", SetPropFlags);
}

}  // namespace lumen::avm1
