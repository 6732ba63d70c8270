// MovieClipLoader: loadMovie with events. A loader is the first of its own listeners; the stage
// carries out each load in the next tick and reports its steps under the loader's ticket, and
// they reach the listeners through the loader's broadcastMessage, which movies may replace.

#include "avm1/builtins/MovieClipLoaderClass.h"

#include <vector>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"

namespace lumen::avm1 {
namespace {

// Where a load goes: a level by number or by "_levelN", or a clip.
struct Target {
  ClipLink* clip = nullptr;
  int level = -1;
};

Target TargetOf(Vm& vm, const Value& v) {
  if (v.IsNumber()) {
    const double n = v.AsNumber();
    if (n >= 0 && n < 1e9) return {nullptr, static_cast<int>(n)};
    return {};
  }
  if (v.IsString()) {
    if (const auto level = LevelNumber(vm.ToString(v))) return {nullptr, *level};
  }
  ClipObject* clip = ResolveTarget(vm, v);
  return {clip ? clip->Link() : nullptr, -1};
}

bool Valid(const Target& t) {
  return t.clip != nullptr || t.level >= 0;
}

// Called with the prototype as `self`.
Value Construct(Vm& vm, const Arguments& args) {
  Object* self = vm.NewObject(args.self.AsObject());
  ArrayObject* listeners = vm.NewArray();
  listeners->elements.push_back(self);
  vm.SetOwn(self, "_listeners", static_cast<Object*>(listeners), kDontEnum);
  return self;
}

Value LoadClip(Vm& vm, const Arguments& args) {
  // Only a string names a file.
  Object* self = args.self.AsObject();
  if (self == nullptr || !args[0].IsString()) return false;
  const std::string url = vm.ToString(args[0]);
  const Target target = TargetOf(vm, args[1]);
  if (url.empty() || !Valid(target)) return false;
  const uint32_t ticket = vm.KeepLoader(self);
  if (ticket == 0) return false;
  vm.bridge().LoadMovie(url, target.clip, std::max(target.level, 0), ticket);
  return true;
}

Value UnloadClip(Vm& vm, const Arguments& args) {
  if (args.values.empty()) return Value();
  const Target target = TargetOf(vm, args[0]);
  if (!Valid(target)) return false;
  vm.bridge().LoadMovie("", target.clip, std::max(target.level, 0), 0);
  return true;
}

Value GetProgress(Vm& vm, const Arguments& args) {
  const Target target = TargetOf(vm, args[0]);
  ClipLink* clip = target.clip ? target.clip : vm.bridge().LevelRoot(std::max(target.level, 0));
  if (clip == nullptr) return Value();
  Object* progress = vm.heap().Make<Object>(nullptr);  // a bare object, without a prototype
  vm.SetOwn(progress, "bytesLoaded", static_cast<double>(vm.bridge().BytesLoaded(clip)));
  vm.SetOwn(progress, "bytesTotal", static_cast<double>(vm.bridge().BytesTotal(clip)));
  return progress;
}

Value ReturnNothing(Vm&, const Arguments&) {
  return Value();
}

Value Broadcast(Vm& vm, const Arguments& args) {
  return vm.CallMethod(args.self, "broadcastMessage", args.values);
}

}  // namespace

void ClipLoadEvent(Vm& vm, uint32_t ticket, std::string_view event, ClipObject* target,
                   std::span<const Value> extra, bool last) {
  Object* loader = vm.Loader(ticket);
  if (loader == nullptr) return;
  try {
    std::vector<Value> args{vm.Str(event), target ? Value(static_cast<Object*>(target)) : Value()};
    args.insert(args.end(), extra.begin(), extra.end());
    vm.RunCall(static_cast<Object*>(vm.NewNative(Broadcast)), loader, args);
  } catch (const ScriptAbort&) {
    // No memory left for the event: it is dropped like a stopped run.
  }
  if (last) vm.DropLoader(ticket);
}

void InstallMovieClipLoaderClass(Vm& vm) {
  Object* proto = vm.NewObject();
  if (Object* asb = vm.Get(vm.Global(), "AsBroadcaster").AsObject()) {
    for (const char* name : {"addListener", "removeListener", "broadcastMessage"}) {
      vm.DefineValue(proto, name, vm.Get(asb, name));
    }
  }
  vm.DefineMethod(proto, "loadClip", LoadClip);
  vm.DefineMethod(proto, "unloadClip", UnloadClip);
  vm.DefineMethod(proto, "getProgress", GetProgress);
  FunctionObject* loader = vm.NewClass(proto, ReturnNothing, Construct);
  vm.DefineValue(vm.Global(), "MovieClipLoader", static_cast<Object*>(loader));
}

}  // namespace lumen::avm1
