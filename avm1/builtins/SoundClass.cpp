// Sound: attached library sounds started, stopped and shaped from script. A Sound object stands
// for a clip (or, made without one, for the whole movie); volume and pan belong to that clip, so
// every Sound of the same clip sees the same ones. Numbers are kept as the reference keeps them:
// setVolume and setPan truncate to 32 bits the way the processor does (out of range and NaN give
// the lowest integer), setTransform wraps as ToInt32 does.

#include "avm1/builtins/SoundClass.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"

namespace lumen::avm1 {
namespace {

// Kept in the instance's `primitive`, so that a script subclass's instance can hold one too.
class SoundState final : public Object {
 public:
  SoundState() : Object(nullptr) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(target);
  }
  Value target;           // what the constructor was given
  uint32_t sound_id = 0;  // the sound attached or loaded
  uint64_t handle = 0;    // the instance it started last
};

SoundState* SoundOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<SoundState*>(o->primitive.AsObject()) : nullptr;
}

// The clip a Sound stands for; null for the whole movie, nothing when its clip is not there:
// then the Sound does nothing.
std::optional<ClipLink*> Owner(Vm& vm, SoundState& sound) {
  if (sound.target.IsNullish()) return nullptr;
  ClipObject* clip = ResolveTarget(vm, sound.target);
  if (clip == nullptr || clip->Link() == nullptr) return std::nullopt;
  return clip->Link();
}

int32_t Truncated(double v) {
  if (!std::isfinite(v) || v >= 2147483648.0 || v < -2147483648.0) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(v);
}

int32_t Wrapped(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(v));
}

int32_t PanOf(const SoundTransformValues& t) {
  if (t.left_to_left != 100) return Wrapped(100 - std::llabs(int64_t{t.left_to_left}));
  return Wrapped(std::llabs(int64_t{t.right_to_right}) - 100);
}

void InitSound(Vm& vm, Object* o, const Arguments& args) {
  auto* sound = vm.heap().Make<SoundState>();
  o->primitive = static_cast<Object*>(sound);
  o->native_class = "Sound";
  // The owner is kept as a path, read once: a clip renamed later is no longer its owner.
  sound->target = args[0];
  if (Object* target = args[0].AsObject()) {
    ClipObject* clip = target->AsClip();
    sound->target = vm.Str(clip ? vm.TargetPath(clip) : vm.ToString(args[0]));
  }
}

Value SoundConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.NewObject(args.self.AsObject());
  InitSound(vm, o, args);
  return o;
}

// super() makes the subclass's instance a Sound; a plain call makes a new one.
Value SoundCall(Vm& vm, const Arguments& args) {
  Object* o = SuperTarget(vm, args.self);
  if (o == nullptr) return SoundConstruct(vm, args);
  InitSound(vm, o, args);
  return o;
}

Value AttachSound(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const uint32_t id = vm.bridge().ExportedSound(vm.ToString(args[0]));
  if (id != 0) sound->sound_id = id;
  return Value();
}

Value Start(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr || sound->sound_id == 0) return Value();
  const double offset = args.values.empty() ? 0 : vm.ToNumber(args[0]);
  const double loops = args.values.size() < 2 ? 1 : vm.ToNumber(args[1]);
  const int count = std::isfinite(loops) ? static_cast<int>(std::clamp(loops, 1.0, 65535.0)) : 1;
  const auto owner = Owner(vm, *sound);
  if (!owner) return Value();
  sound->handle = vm.bridge().StartSound(sound->sound_id, *owner, offset, count);
  if (sound->handle != 0) vm.KeepPlayingSound(sound->handle, args.self.AsObject());
  return Value();
}

// A file beside the movie, read at once: a streamed one starts playing, and either way onLoad
// hears whether it could be played.
Value LoadSound(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const uint32_t id = vm.bridge().LoadSound(vm.ToString(args[0]));
  if (id != 0) {
    sound->sound_id = id;
    if (vm.ToBoolean(args[1])) Start(vm, {args.self, {}});
  }
  const Value success = id != 0;
  vm.CallMethod(args.self, "onLoad", {&success, 1});
  return Value();
}

Value Stop(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  uint32_t id = 0;
  if (!args.values.empty()) {
    id = vm.bridge().ExportedSound(vm.ToString(args[0]));
    if (id == 0) return Value();
  }
  if (const auto owner = Owner(vm, *sound)) vm.bridge().StopSound(*owner, id);
  return Value();
}

Value GetVolume(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const auto owner = Owner(vm, *sound);
  if (!owner) return Value();
  return static_cast<double>(vm.bridge().SoundTransform(*owner).volume);
}

Value SetVolume(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const auto found = Owner(vm, *sound);
  if (!found) return Value();
  ClipLink* owner = *found;
  SoundTransformValues t = vm.bridge().SoundTransform(owner);
  t.volume = args.values.empty() ? 0 : Truncated(vm.ToNumber(args[0]));
  vm.bridge().SetSoundTransform(owner, t);
  return Value();
}

Value GetPan(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const auto owner = Owner(vm, *sound);
  if (!owner) return Value();
  return static_cast<double>(PanOf(vm.bridge().SoundTransform(*owner)));
}

Value SetPan(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const auto found = Owner(vm, *sound);
  if (!found) return Value();
  ClipLink* owner = *found;
  SoundTransformValues t = vm.bridge().SoundTransform(owner);
  const int32_t pan = args.values.empty() ? 0 : Truncated(vm.ToNumber(args[0]));
  t.left_to_right = t.right_to_left = 0;
  t.left_to_left = pan >= 0 ? Wrapped(int64_t{100} - pan) : 100;
  t.right_to_right = pan >= 0 ? 100 : Wrapped(int64_t{100} + pan);
  vm.bridge().SetSoundTransform(owner, t);
  return Value();
}

constexpr const char* kChannelNames[] = {"ll", "lr", "rl", "rr"};

int32_t* Channel(SoundTransformValues& t, int i) {
  int32_t* channels[] = {&t.left_to_left, &t.left_to_right, &t.right_to_left, &t.right_to_right};
  return channels[i];
}

Value GetTransform(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr) return Value();
  const auto owner = Owner(vm, *sound);
  if (!owner) return Value();
  SoundTransformValues t = vm.bridge().SoundTransform(*owner);
  Object* out = vm.NewObject();
  // Made in the order that enumerates as the reference lists them.
  for (const int i : {0, 1, 3, 2}) {
    vm.SetOwn(out, kChannelNames[i], static_cast<double>(*Channel(t, i)));
  }
  return out;
}

Value SetTransform(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  Object* in = args[0].AsObject();
  if (sound == nullptr || in == nullptr) return Value();
  const auto found = Owner(vm, *sound);
  if (!found) return Value();
  ClipLink* owner = *found;
  SoundTransformValues t = vm.bridge().SoundTransform(owner);
  for (int i = 0; i < 4; ++i) {
    // Only the object's own numbers count, not what it inherits.
    if (vm.HasOwn(in, kChannelNames[i])) *Channel(t, i) = vm.ToInt32(vm.Get(in, kChannelNames[i]));
  }
  vm.bridge().SetSoundTransform(owner, t);
  return Value();
}

Value GetDuration(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr || sound->sound_id == 0) return Value();
  const auto ms = vm.bridge().SoundDuration(sound->sound_id);
  return ms ? Value(*ms) : Value();
}

Value GetPosition(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr || sound->sound_id == 0) return Value();
  const auto ms = sound->handle ? vm.bridge().SoundPosition(sound->handle) : std::nullopt;
  return ms ? Value(*ms) : Value(0.0);
}

// A loaded sound is read whole at once: all of its bytes are in. Others have none to count.
Value GetBytes(Vm& vm, const Arguments& args) {
  SoundState* sound = SoundOf(args.self);
  if (sound == nullptr || sound->sound_id == 0) return Value();
  const auto bytes = vm.bridge().SoundFileBytes(sound->sound_id);
  return bytes ? Value(static_cast<double>(*bytes)) : Value();
}

void DefineGetter(Vm& vm, Object* on, std::string_view name, NativeFunction get) {
  vm.SetOwn(on, name, Value(), kDontEnum | kDontDelete);
  Property* p = on->Properties().Find(name, vm.CaseSensitive());
  p->getter = vm.NewNative(get);
}

}  // namespace

void InstallSoundClass(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "attachSound", AttachSound);
  vm.DefineMethod(proto, "start", Start);
  vm.DefineMethod(proto, "loadSound", LoadSound);
  vm.DefineMethod(proto, "stop", Stop);
  vm.DefineMethod(proto, "getVolume", GetVolume);
  vm.DefineMethod(proto, "setVolume", SetVolume);
  vm.DefineMethod(proto, "getPan", GetPan);
  vm.DefineMethod(proto, "setPan", SetPan);
  vm.DefineMethod(proto, "getTransform", GetTransform);
  vm.DefineMethod(proto, "setTransform", SetTransform);
  vm.DefineMethod(proto, "getDuration", GetDuration);
  vm.DefineMethod(proto, "getPosition", GetPosition);
  // Duration and position are the sound's own: setting them changes nothing.
  vm.DefineMethod(proto, "setDuration", Nothing);
  vm.DefineMethod(proto, "setPosition", Nothing);
  vm.DefineMethod(proto, "getBytesLoaded", GetBytes);
  vm.DefineMethod(proto, "getBytesTotal", GetBytes);
  // Read-only properties that movies of version 7 on have.
  if (vm.Version() >= 7) {
    DefineGetter(vm, proto, "duration", GetDuration);
    DefineGetter(vm, proto, "position", GetPosition);
  }
  FunctionObject* sound = vm.NewClass(proto, SoundCall, SoundConstruct);
  vm.DefineValue(vm.Global(), "Sound", static_cast<Object*>(sound));
}

void SoundsCompleted(Vm& vm, std::span<const uint64_t> handles) {
  for (const uint64_t handle : handles) {
    Object* sound = vm.TakePlayingSound(handle);
    if (sound != nullptr) vm.RunHandler(sound, "onSoundComplete");
  }
}

}  // namespace lumen::avm1
