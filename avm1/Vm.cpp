#include "avm1/Vm.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <new>
#include <unordered_set>

#include "avm1/Activation.h"
#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Names.h"
#include "avm1/NumberText.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

using namespace unicode;

namespace {

// Longer prototype chains than this are treated as broken (a movie can make loops).
constexpr int kMaxChain = 256;
// How many actions run between two looks at the clock.
constexpr uint32_t kBudgetStride = 1024;
// From version 7, how deep one property's getter, setter and watch calls may nest.
constexpr int kPropertyCallNesting = 65;

double SteadyMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

Vm::Vm(uint8_t version, StageBridge& bridge, const VmLimits& limits)
    : version_(version), bridge_(bridge), limits_(limits), heap_(limits.heap_bytes) {
  InstallBuiltins(*this);
}

Vm::~Vm() {
  for (ClipObject* clip : clips_) clip->Unlink();
  for (FieldObject* field : fields_) field->Unlink();
}

double Vm::WorkClock() {
  return limits_.work_clock ? limits_.work_clock() : SteadyMs();
}

// --- Running ---------------------------------------------------------------------------------

void Vm::Run(void (*body)(Vm&, void*), void* data) {
  const bool outer = run_depth_ == 0;
  if (outer) {
    run_started_ = WorkClock();
    budget_counter_ = 0;
    last_abort_ = nullptr;
    depth_ = 0;
  } else if (last_abort_ != nullptr) {
    return;  // the run this one is nested in was stopped
  }
  const int depth = depth_;
  ++run_depth_;
  bool uncaught = false;
  try {
    // A nested run (a frame run by call() from a script) counts as a call, so a frame that
    // calls itself ends on the depth limit instead of the machine stack.
    if (!outer) EnterCall();
    body(*this, data);
  } catch (const ScriptThrow&) {
    uncaught = true;  // it ends this action list only; the log says what it was
  } catch (const ScriptAbort& abort) {
    last_abort_ = abort.reason;
  } catch (const std::bad_alloc&) {
    last_abort_ = "memory";
  }
  if (uncaught) LogUncaught();
  --run_depth_;
  if (outer) {
    depth_ = 0;
    thrown = Value();
    RunDeferred();
  } else {
    depth_ = depth;
  }
}

void Vm::Defer(const Value& self, std::string_view method, std::vector<Value> args) {
  constexpr size_t kMaxDeferred = 1024;
  if (deferred_.size() >= kMaxDeferred) return;
  deferred_.push_back({self, std::string(method), std::move(args)});
  if (run_depth_ == 0) RunDeferred();
}

// Each deferred call is a run of its own. Calls those runs defer join the queue instead of
// nesting; a chain of them (a script reopening a dialog each time one closes) is cut after a
// few rounds and goes on at the end of the next run.
void Vm::RunDeferred() {
  constexpr int kMaxRounds = 16;
  if (running_deferred_) return;
  running_deferred_ = true;
  for (int round = 0; round < kMaxRounds && !deferred_.empty(); ++round) {
    std::vector<Deferred> due;
    due.swap(deferred_);
    for (Deferred& d : due) {
      if (Object* o = d.self.AsObject()) RunHandler(o, d.method, d.args);
    }
  }
  running_deferred_ = false;
}

void Vm::LogUncaught() {
  std::string text;
  try {
    text = ToString(thrown);
  } catch (const ScriptThrow&) {
    text = "[object]";  // its toString threw as well
  } catch (const ScriptAbort& abort) {
    last_abort_ = abort.reason;
    return;
  } catch (const std::bad_alloc&) {
    last_abort_ = "memory";
    return;
  }
  Warn("Uncaught exception, " + text);
}

void Vm::Warn(std::string_view text) {
  constexpr int kLimit = 100;
  if (warnings_ > kLimit) return;
  if (++warnings_ > kLimit) {
    bridge_.Trace("Warning: Reached warning limit of " + std::to_string(kLimit));
  } else {
    bridge_.Trace("Warning: " + std::string(text));
  }
}

ClipObject* Vm::CurrentClip() {
  return activations_.empty() ? nullptr : activations_.back()->target;
}

void Vm::RunActions(std::span<const uint8_t> code, ClipObject* clip, uint8_t version) {
  struct Data {
    std::span<const uint8_t> code;
    ClipObject* clip;
    uint8_t version;
  } data{code, clip, version};
  Run(
      [](Vm& vm, void* p) {
        auto& d = *static_cast<Data*>(p);
        Scope* global = vm.heap().Make<Scope>(Scope::Kind::Global, vm.Global(), nullptr);
        Scope* scope = d.clip ? vm.heap().Make<Scope>(Scope::Kind::Target, d.clip, global) : global;
        Activation act(vm, d.version, scope, d.clip ? Value(static_cast<Object*>(d.clip)) : Value(),
                       d.clip);
        // Action lists share the stack: what one leaves, the next one may take.
        act.stack_base = 0;
        Execute(act, d.code);
      },
      &data);
}

void Vm::RunHandler(Object* object, std::string_view name, std::span<const Value> args) {
  // No handler, no run: LastAbort keeps telling about the last script that did run.
  if (object == nullptr || !Has(object, name)) return;
  struct Data {
    Object* object;
    std::string_view name;
    std::span<const Value> args;
  } data{object, name, args};
  Run(
      [](Vm& vm, void* p) {
        auto& d = *static_cast<Data*>(p);
        Value fn = vm.Get(d.object, d.name);
        if (fn.AsObject() != nullptr && fn.AsObject()->TypeOf() == "function") {
          vm.CallMethod(d.object, d.name, d.args);
        }
      },
      &data);
}

namespace {

// The object holding a bound variable, and the variable's own name.
Object* BoundOwner(Vm& vm, ClipObject* clip, std::string_view name, std::string_view& var) {
  std::string_view path;
  var = name;
  if (!SplitVariablePath(name, path, var)) return clip;
  return vm.ResolvePath(path, nullptr, clip, true);
}

}  // namespace

// Bound fields are read and written while the stage walks its display list, so nothing here
// runs a script: getters and setters are not called, objects are not asked for their toString.
std::optional<std::string> Vm::ReadBound(ClipObject* clip, std::string_view name) {
  std::string_view var;
  Object* target = BoundOwner(*this, clip, name, var);
  const Property* p = target ? FindProperty(target, var) : nullptr;
  if (p == nullptr || p->getter != nullptr || p->setter != nullptr || p->value.IsUndefined()) {
    return std::nullopt;
  }
  Object* o = p->value.AsObject();
  if (o == nullptr || o->AsClip() != nullptr || o->AsField() != nullptr) {
    return ToString(p->value);  // primitives and paths convert without scripts
  }
  return std::string(o->TypeOf() == "function" ? "[type Function]" : "[object Object]");
}

void Vm::WriteBound(ClipObject* clip, std::string_view name, std::string_view text) {
  std::string_view var;
  Object* target = BoundOwner(*this, clip, name, var);
  if (target == nullptr) return;
  if (const Property* p = FindProperty(target, var); p && (p->getter || p->setter)) return;
  SetOwn(target, var, Str(text));
}

void Vm::RunCall(const Value& function, const Value& self, std::span<const Value> args) {
  struct Data {
    const Value& function;
    const Value& self;
    std::span<const Value> args;
  } data{function, self, args};
  Run(
      [](Vm& vm, void* p) {
        auto& d = *static_cast<Data*>(p);
        vm.Call(d.function, d.self, d.args);
      },
      &data);
}

void Vm::CheckBudget() {
  if (last_abort_ != nullptr && run_depth_ > 0) throw ScriptAbort{last_abort_};
  if (++budget_counter_ % kBudgetStride != 0) return;
  if (WorkClock() - run_started_ > limits_.run_ms) throw ScriptAbort{"time"};
  if (heap_.OverLimit()) throw ScriptAbort{"memory"};
}

void Vm::EnterCall() {
  if (++depth_ > limits_.max_depth) {
    --depth_;
    throw ScriptAbort{"depth"};
  }
}

uint32_t Vm::Random(uint32_t below) {
  random_state_ ^= random_state_ >> 12;
  random_state_ ^= random_state_ << 25;
  random_state_ ^= random_state_ >> 27;
  const uint64_t r = random_state_ * 0x2545F4914F6CDD1Dull;
  return below == 0 ? 0 : static_cast<uint32_t>((r >> 32) % below);
}

// --- Garbage ---------------------------------------------------------------------------------

Value Vm::CodeString(std::string_view code, bool utf8) {
  const CodeStringKey key{code.data(), code.size(), utf8};
  CodeStringEntry& entry = code_strings_[key];
  if (entry.cell == nullptr || entry.source != code) {
    entry.cell = nullptr;  // until the new string is made: making it may throw
    entry.cell = (utf8 ? Str(code) : Str(Latin1ToUtf8(code))).AsStringCell();
    entry.source = std::string(code);
  }
  return entry.cell;
}

void Vm::CollectGarbage(bool even_if_not_due) {
  if (run_depth_ != 0 || !(even_if_not_due || heap_.CollectionDue())) return;
  code_strings_.clear();
  std::erase_if(clips_, [](ClipObject* c) { return c->Link() == nullptr; });
  std::erase_if(fields_, [](FieldObject* f) { return f->Link() == nullptr; });
  heap_.Collect([this](Heap& heap) { MarkRoots(heap); });
}

void Vm::KeepPlayingSound(uint64_t handle, Object* sound) {
  // No more than the mixer can play; the oldest are let go first.
  constexpr size_t kMaxKept = 256;
  if (playing_sounds_.size() >= kMaxKept) playing_sounds_.erase(playing_sounds_.begin());
  playing_sounds_.emplace_back(handle, sound);
}

uint32_t Vm::KeepLoader(Object* loader) {
  // Loads in flight at most; more are refused.
  constexpr size_t kMaxLoaders = 256;
  if (loaders_.size() >= kMaxLoaders) return 0;
  if (++next_loader_ == 0) ++next_loader_;
  loaders_.emplace_back(next_loader_, loader);
  return next_loader_;
}

Object* Vm::Loader(uint32_t ticket) const {
  for (const auto& [t, loader] : loaders_) {
    if (t == ticket) return loader;
  }
  return nullptr;
}

void Vm::DropLoader(uint32_t ticket) {
  std::erase_if(loaders_, [ticket](const auto& entry) { return entry.first == ticket; });
}

Object* Vm::TakePlayingSound(uint64_t handle) {
  for (auto it = playing_sounds_.begin(); it != playing_sounds_.end(); ++it) {
    if (it->first != handle) continue;
    Object* sound = it->second;
    playing_sounds_.erase(it);
    return sound;
  }
  return nullptr;
}

void Vm::MarkRoots(Heap& heap) {
  heap.Mark(global_);
  for (Object* o : {builtins_.object_proto, builtins_.function_proto, builtins_.array_proto,
                    builtins_.string_proto, builtins_.number_proto, builtins_.boolean_proto,
                    builtins_.error_proto, builtins_.date_proto, builtins_.clip_proto,
                    builtins_.button_proto, builtins_.xmlnode_proto, builtins_.xml_proto,
                    builtins_.field_proto, builtins_.textformat_proto, builtins_.video_proto}) {
    heap.Mark(o);
  }
  heap.Mark(builtins_.object_ctor);
  heap.Mark(builtins_.array_ctor);
  heap.Mark(builtins_.string_ctor);
  heap.Mark(builtins_.number_ctor);
  heap.Mark(builtins_.boolean_ctor);
  for (ClipObject* clip : clips_) heap.Mark(clip);
  for (FieldObject* field : fields_) heap.Mark(field);
  for (const Timer& t : timers_) {
    heap.Mark(t.function);
    heap.Mark(t.self);
    for (const Value& v : t.args) heap.Mark(v);
  }
  for (const Deferred& d : deferred_) {
    heap.Mark(d.self);
    for (const Value& v : d.args) heap.Mark(v);
  }
  for (const Registration& r : registrations_) heap.Mark(r.ctor);
  for (const PendingLoad& l : loads_) {
    heap.Mark(l.target);
    heap.Mark(l.data);
  }
  for (const auto& [handle, sound] : playing_sounds_) heap.Mark(sound);
  for (const auto& [ticket, loader] : loaders_) heap.Mark(loader);
  for (const Value& v : stack_) heap.Mark(v);
  for (const Value& v : global_registers_) heap.Mark(v);
  heap.Mark(thrown);
  for (Activation* a : activations_) {
    heap.Mark(a->scope);
    heap.Mark(a->self);
    heap.Mark(a->target);
    heap.Mark(a->base_target);
    heap.Mark(a->locals);
    heap.Mark(a->pool);
    heap.Mark(a->callee);
    heap.Mark(a->arguments);
    heap.Mark(a->base_proto);
    for (const Value& v : a->registers) heap.Mark(v);
  }
}

ClipObject* Vm::MakeClipObject(ClipLink& link, bool button) {
  auto* clip =
      heap_.Make<ClipObject>(button ? builtins_.button_proto : builtins_.clip_proto, &link);
  clip->button = button;
  clips_.push_back(clip);
  return clip;
}

FieldObject* Vm::MakeFieldObject(FieldLink& link) {
  auto* field = heap_.Make<FieldObject>(builtins_.field_proto, &link);
  fields_.push_back(field);
  return field;
}

void Vm::RegisterClass(std::string_view symbol, Object* ctor) {
  for (Registration& r : registrations_) {
    if (SameName(r.symbol, symbol, CaseSensitive())) {
      r.ctor = ctor;
      return;
    }
  }
  registrations_.push_back({std::string(symbol), ctor});
}

Object* Vm::RegisteredClass(std::string_view symbol) {
  for (Registration& r : registrations_) {
    if (SameName(r.symbol, symbol, CaseSensitive())) return r.ctor;
  }
  return nullptr;
}

// --- Conversions -----------------------------------------------------------------------------

double Vm::ToNumber(const Value& v) {
  switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
      return version_ <= 6 ? 0.0 : NAN;
    case Value::Type::Boolean:
      return v.AsBoolean() ? 1.0 : 0.0;
    case Value::Type::Number:
      return v.AsNumber();
    case Value::Type::String:
      return StringToNumber(v.AsString(), version_ <= 4   ? NumberDialect::Swf4
                                          : version_ == 5 ? NumberDialect::Swf5
                                                          : NumberDialect::Swf6);
    case Value::Type::Object: {
      // Version 4 reads what is not a number as 0, objects without a primitive value too.
      Value p = ToPrimitive(v);
      if (p.IsObject()) return version_ <= 4 ? 0.0 : NAN;
      return ToNumber(p);
    }
  }
  return NAN;
}

std::string Vm::ToString(const Value& v) {
  switch (v.type()) {
    case Value::Type::Undefined:
      return version_ <= 6 ? std::string() : std::string("undefined");
    case Value::Type::Null:
      return "null";
    case Value::Type::Boolean:
      if (version_ <= 4) return v.AsBoolean() ? "1" : "0";
      return v.AsBoolean() ? "true" : "false";
    case Value::Type::Number:
      return NumberToString(v.AsNumber());
    case Value::Type::String:
      return v.AsString();
    case Value::Type::Object: {
      Object* o = v.AsObject();
      if (ClipObject* clip = o->AsClip()) return TargetPath(clip);
      if (FieldObject* field = o->AsField(); field != nullptr && field->Link() != nullptr) {
        avm1::ClipLink* parent = field->Link()->Parent();
        return (parent ? TargetPath(parent->Script()) : std::string()) + "." +
               field->Link()->Name();
      }
      // A String object converts to its own text, whatever its toString says.
      if (o->native_class == "String" && o->primitive.IsString()) return o->primitive.AsString();
      Value r = CallMethod(v, "toString", {});
      if (r.IsString()) return r.AsString();
      return o->TypeOf() == "function" ? "[type Function]" : "[type Object]";
    }
  }
  return std::string();
}

Value Vm::ToStringValue(const Value& v) {
  return v.IsString() ? v : Str(ToString(v));
}

bool Vm::ToBoolean(const Value& v) {
  switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
      return false;
    case Value::Type::Boolean:
      return v.AsBoolean();
    case Value::Type::Number:
      return v.AsNumber() != 0 && !std::isnan(v.AsNumber());
    case Value::Type::String: {
      if (version_ >= 7) return !v.AsString().empty();
      const double n = ToNumber(v);
      return n != 0 && !std::isnan(n);
    }
    case Value::Type::Object:
      return true;
  }
  return false;
}

Value Vm::ToPrimitive(const Value& v, bool prefer_string) {
  Object* o = v.AsObject();
  if (o == nullptr) return v;
  if (o->AsClip() != nullptr || o->AsField() != nullptr) return v;
  const bool date = o->native_class == "Date" && version_ >= 6;
  const std::string_view method = prefer_string || date ? "toString" : "valueOf";
  // Conversion does not ask __resolve for the method.
  if (FindProperty(o, method) == nullptr) return Value();
  Value r = CallMethod(v, method, {});
  // A clip is a type of its own to conversions, not an object.
  return r.IsObject() && r.AsObject()->AsClip() == nullptr ? v : r;
}

// A primitive is boxed by the class the globals name for its type at the time: a movie may put
// its own function, or an accessor, there. Boxing fails when that names no function or the
// function makes no object.
Object* Vm::ToObject(const Value& v) {
  if (Object* o = v.AsObject()) return o;
  FunctionObject* builtin = nullptr;
  if (v.IsString()) {
    builtin = builtins_.string_ctor;
  } else if (v.IsNumber()) {
    builtin = builtins_.number_ctor;
  } else if (v.IsBoolean()) {
    builtin = builtins_.boolean_ctor;
  } else {
    return nullptr;
  }
  const std::string_view cls = v.IsString() ? "String" : v.IsNumber() ? "Number" : "Boolean";
  const Value ctor = BoxingClass(cls);
  if (ctor.AsObject() != builtin || builtin == nullptr) {
    if (dynamic_cast<FunctionObject*>(ctor.AsObject()) == nullptr) return nullptr;
    return Construct(ctor, std::span<const Value>(&v, 1)).AsObject();
  }
  // The built-in class boxes with the prototype it has now.
  const Property* proto = builtin->Properties().Find("prototype", false);
  Object* box = heap_.Make<Object>(proto ? proto->value.AsObject() : nullptr);
  box->primitive = v;
  box->native_class = cls;
  if (v.IsString()) SetOwn(box, "length", static_cast<double>(ToUtf16Length(v.AsString())), 7);
  return box;
}

// Whether the globals name the built-in String, without running an accessor that names another.
bool Vm::StringClassIsBuiltIn() {
  const Property* p = global_ != nullptr ? FindProperty(global_, "String") : nullptr;
  return p != nullptr && p->getter == nullptr && p->setter == nullptr &&
         p->value.AsObject() == builtins_.string_ctor;
}

// The globals' own or inherited property, through its getter; no __resolve.
Value Vm::BoxingClass(std::string_view cls) {
  Property* p = global_ != nullptr ? FindProperty(global_, cls) : nullptr;
  if (p == nullptr) return Value();
  if (p->getter == nullptr && p->setter == nullptr) return p->value;
  return p->getter ? CallAccessor(p->getter, global_, cls, {}) : Value();
}

int32_t Vm::ToInt32(const Value& v) {
  return avm1::ToInt32(ToNumber(v));
}

std::string_view Vm::TypeOf(const Value& v) {
  switch (v.type()) {
    case Value::Type::Undefined:
      return "undefined";
    case Value::Type::Null:
      return "null";
    case Value::Type::Boolean:
      return "boolean";
    case Value::Type::Number:
      return "number";
    case Value::Type::String:
      return "string";
    case Value::Type::Object:
      return v.AsObject()->TypeOf();
  }
  return "undefined";
}

bool Vm::StrictEquals(const Value& a, const Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
      return true;
    case Value::Type::Boolean:
      return a.AsBoolean() == b.AsBoolean();
    case Value::Type::Number:
      return a.AsNumber() == b.AsNumber();
    case Value::Type::String:
      return a.AsString() == b.AsString();
    case Value::Type::Object: {
      if (a.AsObject() == b.AsObject()) return true;
      // Clips are told apart by their paths: two live clips of one path are the same clip, and
      // a removed clip is the one its path now names.
      Object* la = Live(a.AsObject());
      Object* lb = Live(b.AsObject());
      if (la != nullptr && la == lb) return true;
      ClipObject* ca = la ? la->AsClip() : nullptr;
      ClipObject* cb = lb ? lb->AsClip() : nullptr;
      return ca && cb && ca->Link() && cb->Link() && TargetPath(ca) == TargetPath(cb);
    }
  }
  return false;
}

namespace {

// Numbers compare by value, and NaNs by their bits: the NaN constant equals itself, not the NaN
// that a failed conversion gives.
bool SameNumber(double a, double b) {
  if (!std::isnan(a) || !std::isnan(b)) return a == b;
  return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

}  // namespace

bool Vm::LooseEquals(const Value& a0, const Value& b0) {
  Value a = a0, b = b0;
  if (version_ <= 5) {
    a = ToPrimitive(a);
    b = ToPrimitive(b);
  }
  for (int round = 0; round < 4; ++round) {
    if (a.type() == b.type()) {
      if (a.IsNumber()) return SameNumber(a.AsNumber(), b.AsNumber());
      // Beside a clip, an object compares by its primitive value.
      const bool clip_a = a.IsObject() && a.AsObject()->AsClip() != nullptr;
      const bool clip_b = b.IsObject() && b.AsObject()->AsClip() != nullptr;
      if (clip_a == clip_b) return StrictEquals(a, b);
      Value& other = clip_a ? b : a;
      const Value p = ToPrimitive(other);
      if (p.IsObject() && p.AsObject()->AsClip() == nullptr) return false;
      other = p;
      continue;
    }
    if (a.IsNullish() && b.IsNullish()) return true;
    // An object without a primitive value (no valueOf) equals undefined and null.
    if (a.IsObject() && b.IsNullish()) return ToPrimitive(a).IsNullish();
    if (b.IsObject() && a.IsNullish()) return ToPrimitive(b).IsNullish();
    if (a.IsNullish() || b.IsNullish()) return false;
    if (a.IsBoolean()) {
      a = a.AsBoolean() ? 1.0 : 0.0;
      continue;
    }
    if (b.IsBoolean()) {
      b = b.AsBoolean() ? 1.0 : 0.0;
      continue;
    }
    if (a.IsNumber() && b.IsString()) return a.AsNumber() == ToNumber(b);
    if (a.IsString() && b.IsNumber()) return ToNumber(a) == b.AsNumber();
    if (a.IsObject() && !b.IsObject()) {
      Value p = ToPrimitive(a);
      if (p.IsObject()) return false;
      a = p;
      continue;
    }
    if (b.IsObject() && !a.IsObject()) {
      Value p = ToPrimitive(b);
      if (p.IsObject()) return false;
      b = p;
      continue;
    }
    return false;
  }
  return false;
}

Value Vm::Less(const Value& a0, const Value& b0) {
  // The left side converts first; an object left over ends the comparison there.
  Value a = ToPrimitive(a0);
  if (a.IsObject() && !a.AsObject()->AsClip()) return false;
  Value b = ToPrimitive(b0);
  if (b.IsObject() && !b.AsObject()->AsClip()) return false;
  if (a.IsString() && b.IsString()) {
    // The player orders no string against the empty one: "" < "0" is false as well.
    if (a.AsString().empty() || b.AsString().empty()) return false;
    return ToUtf16(a.AsString()) < ToUtf16(b.AsString());
  }
  const double x = ToNumber(a);
  const double y = ToNumber(b);
  if (std::isnan(x) || std::isnan(y)) return Value();
  return x < y;
}

// --- Objects ---------------------------------------------------------------------------------

Object* Vm::NewObject(Object* proto) {
  return heap_.Make<Object>(proto ? proto : builtins_.object_proto);
}

ArrayObject* Vm::NewArray() {
  return heap_.Make<ArrayObject>(builtins_.array_proto);
}

FunctionObject* Vm::NewNative(NativeFunction fn, NativeFunction construct) {
  auto* f = heap_.Make<FunctionObject>(builtins_.function_proto);
  f->native = fn;
  f->construct = construct;
  return f;
}

FunctionObject* Vm::NewClass(Object* proto, NativeFunction fn, NativeFunction construct) {
  FunctionObject* f = NewNative(fn, construct);
  SetOwn(f, "prototype", proto, kDontEnum | kDontDelete);
  SetOwn(proto, "constructor", static_cast<Object*>(f), kDontEnum | kDontDelete);
  // A class is a function like any other: Function made it.
  if (Property* made_by = global_ ? global_->Properties().Find("Function", true) : nullptr) {
    SetOwn(f, "constructor", made_by->value, kDontEnum);
  }
  return f;
}

void Vm::DefineMethod(Object* on, std::string_view name, NativeFunction fn, uint8_t flags) {
  SetOwn(on, name, static_cast<Object*>(NewNative(fn)), flags);
}

void Vm::DefineValue(Object* on, std::string_view name, const Value& v, uint8_t flags) {
  SetOwn(on, name, v, flags);
}

void Vm::SetOwn(Object* object, std::string_view name, const Value& value, uint8_t flags) {
  object = Live(object);
  if (object == nullptr) return;
  Property* p = object->Properties().Find(name, CaseSensitive());
  if (p == nullptr) {
    p = &object->Properties().Add(name);
    heap_.Charge(sizeof(Property) + name.size());
  }
  p->value = value;
  p->getter = nullptr;
  p->setter = nullptr;
  p->flags = flags;
}

Property* Vm::FindProperty(Object* object, std::string_view name, Object** holder, bool writing) {
  int steps = 0;
  for (Object* o = object; o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    Property* p = o->Properties().Find(name, CaseSensitive());
    if (p == nullptr) continue;
    if (p->VisibleIn(writing ? WriteVersion() : version_)) {
      if (holder) *holder = o;
      return p;
    }
  }
  return nullptr;
}

Value Vm::Get(Object* object, std::string_view name) {
  object = Live(object);
  if (object == nullptr) return Value();
  // A prototype that is not an object is kept as a plain property instead (see Set).
  if (SameName(name, "__proto__", CaseSensitive()) && object->Proto() != nullptr) {
    return object->Proto();
  }
  int steps = 0;
  for (Object* o = object; o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    Value v;
    if (o->GetNative(*this, name, v)) return v;
    Property* p = o->Properties().Find(name, CaseSensitive());
    if (p != nullptr && p->VisibleIn(version_)) {
      if (p->getter == nullptr && p->setter == nullptr) return p->value;
      if (!MayCallProperty(object, name)) return p->value;
      return p->getter ? CallAccessor(p->getter, object, name, {}) : Value();
    }
  }
  if (!SameName(name, "__resolve", CaseSensitive())) {
    Property* resolve = FindProperty(object, "__resolve");
    if (resolve != nullptr && resolve->value.IsObject()) {
      Value arg = Str(name);
      return Call(resolve->value, object, std::span<const Value>(&arg, 1));
    }
  }
  return Value();
}

Value Vm::GetMember(const Value& target, std::string_view name) {
  if (target.IsString() && name == "length" && StringClassIsBuiltIn()) {
    return static_cast<double>(ToUtf16Length(target.AsString()));
  }
  Object* o = target.IsObject() ? target.AsObject() : ToObject(target);
  return Get(o, name);
}

void Vm::Set(Object* object, std::string_view name, const Value& value) {
  object = Live(object);
  if (object == nullptr) return;
  // A watch nested too deep in calls for its own name is passed over: the value is stored as it is.
  if (FindWatch(object, name) != nullptr && MayCallProperty(object, name)) {
    SetUnwatched(object, name, CallWatch(object, name, value));
    return;
  }
  SetUnwatched(object, name, value);
}

Object::Watch* Vm::FindWatch(Object* object, std::string_view name) {
  if (!object->watches) return nullptr;
  for (Object::Watch& w : *object->watches) {
    if (SameName(w.name, name, CaseSensitive())) return &w;
  }
  return nullptr;
}

// The callback hears the name, the value held and the one assigned, and returns what is stored.
Value Vm::CallWatch(Object* object, std::string_view name, const Value& value) {
  const Object::Watch* watch = FindWatch(object, name);
  const Property* own = object->Properties().Find(name, CaseSensitive());
  const Value old = own != nullptr && own->getter == nullptr ? own->value : Value();
  const Value callback = watch->callback;
  const Value args[] = {Str(name), old, value, watch->data};
  // The callback counts as one of the property's calls, as its getter and setter do.
  return CallAccessor(callback.AsObject(), object, name, args);
}

// Each object's name has its own bound on nested getter, setter and watch calls. Before version
// 7 one at a time: a call that touches its own property meets the plain value. Version 7 lets
// them nest a little, so such a call runs that many times before it meets the value.
bool Vm::MayCallProperty(Object* object, std::string_view name) const {
  const int bound = version_ < 7 ? 1 : kPropertyCallNesting;
  int running = 0;
  for (const auto& [o, n] : property_calls_) {
    if (o == object && SameName(n, name, CaseSensitive()) && ++running >= bound) return false;
  }
  return true;
}

Value Vm::CallAccessor(Object* accessor, Object* object, std::string_view name,
                       std::span<const Value> args) {
  property_calls_.emplace_back(object, std::string(name));
  try {
    const Value r = Call(accessor, object, args);
    property_calls_.pop_back();
    return r;
  } catch (...) {
    property_calls_.pop_back();
    throw;
  }
}

void Vm::SetUnwatched(Object* object, std::string_view name, const Value& value) {
  object = Live(object);
  if (object == nullptr) return;
  if (SameName(name, "__proto__", CaseSensitive())) {
    object->SetProto(value.AsObject());
    if (value.IsObject()) {
      object->Properties().Erase(name, CaseSensitive());
    } else {
      SetOwn(object, name, value, kDontEnum);
    }
    return;
  }
  if (object->SetNative(*this, name, value)) return;
  // An own property hidden from reads is written over, as a plain value even where it was an
  // accessor. One that writes do not see either shows again; one they see keeps its version.
  if (Property* own = object->Properties().Find(name, CaseSensitive());
      own != nullptr && !own->VisibleIn(version_)) {
    if (!(own->flags & kReadOnly)) {
      own->value = value;
      own->getter = own->setter = nullptr;
      if (!own->VisibleIn(WriteVersion())) own->min_version = 0;
      own->hidden_in_6 = false;
    }
    return;
  }
  // A setter is called where writes see its property.
  Object* holder = nullptr;
  Property* p = FindProperty(object, name, &holder, true);
  if (p != nullptr) {
    if (p->getter != nullptr || p->setter != nullptr) {
      if (p->setter != nullptr && MayCallProperty(object, name)) {
        CallAccessor(p->setter, object, name, std::span<const Value>(&value, 1));
        p = FindProperty(object, name, &holder, true);  // the setter may have changed the table
      }
      if (p != nullptr && (p->getter != nullptr || p->setter != nullptr)) p->value = value;
      return;
    }
    if (holder == object) {
      if (!(p->flags & kReadOnly)) p->value = value;
      return;
    }
  }
  Property& added = object->Properties().Add(name);
  heap_.Charge(sizeof(Property) + name.size());
  added.value = value;
}

void Vm::SetMember(const Value& target, std::string_view name, const Value& value) {
  if (Object* o = target.AsObject()) Set(o, name, value);
}

bool Vm::Delete(Object* object, std::string_view name) {
  if (SameName(name, "__proto__", CaseSensitive()) && object->Proto() != nullptr) {
    if (object->proto_flags & kDontDelete) return false;
    object->SetProto(nullptr);
    return true;
  }
  Property* p = object->Properties().Find(name, CaseSensitive());
  if (p == nullptr || (p->flags & kDontDelete)) return false;
  return object->Properties().Erase(name, CaseSensitive());
}

bool Vm::HasOwn(Object* object, std::string_view name) {
  // The prototype link is a property like any other to scripts.
  if (object->Proto() != nullptr && SameName(name, "__proto__", CaseSensitive())) return true;
  Value v;
  if (object->GetNative(*this, name, v)) return true;
  const Property* p = object->Properties().Find(name, CaseSensitive());
  return p != nullptr && p->VisibleIn(version_);
}

bool Vm::Has(Object* object, std::string_view name) {
  int steps = 0;
  for (Object* o = object; o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    if (HasOwn(o, name)) return true;
  }
  return false;
}

std::vector<std::string> Vm::Keys(Object* object) {
  std::vector<std::string> keys;
  std::vector<std::string> hidden;
  auto seen = [&](const std::string& k) {
    for (const auto& list : {&keys, &hidden}) {
      for (const std::string& s : *list) {
        if (SameName(s, k, CaseSensitive())) return true;
      }
    }
    return false;
  };
  size_t native_count = 0, own = 0;  // how many of the keys are native, and the object's own
  int steps = 0;
  for (Object* o = object; o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    if (steps == 1) own = keys.size();
    std::vector<std::string> native;
    o->NativeKeys(*this, native);
    for (std::string& k : native) {
      if (!seen(k)) keys.push_back(std::move(k));
    }
    if (steps == 0) native_count = keys.size();
    const auto& entries = o->Properties().Entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
      // A property hidden from this version still enumerates: only reading it is refused.
      if (seen(it->name)) continue;
      ((it->flags & kDontEnum) ? hidden : keys).push_back(it->name);
    }
    std::vector<std::string> children;
    o->ChildKeys(children);
    for (std::string& k : children) {
      if (!seen(k)) keys.push_back(std::move(k));
    }
  }
  // A clip lists what its prototypes give after its native names, before its own ones.
  if (object->AsClip() != nullptr && steps > 1) {
    std::rotate(keys.begin() + static_cast<long>(native_count),
                keys.begin() + static_cast<long>(own), keys.end());
  }
  return keys;
}

// --- Calls -----------------------------------------------------------------------------------

namespace {

// A number a native function hands back is quietened (see kNaNConstant).
Value NativeResult(const Value& r) {
  return r.IsNumber() ? Value(Quietened(r.AsNumber())) : r;
}

}  // namespace

Value Vm::Call(const Value& function, const Value& self, std::span<const Value> args) {
  Object* o = function.AsObject();
  if (o == nullptr) return Value();
  if (auto* sup = dynamic_cast<SuperObject*>(o)) {
    Object* holder = sup->Holder();
    if (holder == nullptr) return Value();
    Value ctor = Get(holder, "__constructor__");
    auto* f = dynamic_cast<FunctionObject*>(ctor.AsObject());
    if (f == nullptr) return Value();
    if (f->code) return CallScriptFunction(*this, *f, sup->Self(), args, holder->Proto());
    if (f->native) return NativeResult(f->native(*this, Arguments{sup->Self(), args}));
    return Value();
  }
  auto* f = dynamic_cast<FunctionObject*>(o);
  if (f == nullptr) return Value();
  if (f->code) return CallScriptFunction(*this, *f, self, args, nullptr);
  if (f->native == nullptr) return Value();
  EnterCall();
  Value r;
  try {
    r = f->native(*this, Arguments{self, args});
  } catch (...) {
    LeaveCall();
    throw;
  }
  LeaveCall();
  return NativeResult(r);
}

Value Vm::CallMethod(const Value& target, std::string_view name, std::span<const Value> args) {
  if (target.IsNullish()) return Value();
  Value self = target;
  Object* object = target.AsObject();
  if (auto* sup = dynamic_cast<SuperObject*>(object)) {
    sup->Holder();
    self = sup->Self();
  }
  if (object == nullptr) object = ToObject(target);
  if (Object* live = Live(object); live != object) {
    if (live == nullptr) return Value();
    object = live;
    self = live;
  }
  if (object == nullptr) return Value();
  Object* holder = nullptr;
  Value fn;
  Property* p = nullptr;
  Value native;
  if (object->GetNative(*this, name, native)) {
    fn = native;
  } else if ((p = FindProperty(object, name, &holder)) != nullptr) {
    fn = p->getter ? Call(p->getter, self, {}) : p->value;
  } else {
    fn = Get(object, name);  // __resolve
  }
  auto* f = dynamic_cast<FunctionObject*>(fn.AsObject());
  // Script methods of primitives see the object made for the call; native ones the primitive.
  if (f != nullptr && f->code) {
    return CallScriptFunction(*this, *f, target.IsObject() ? self : Value(object), args, holder);
  }
  if (f != nullptr && !target.IsObject()) return Call(fn, target, args);
  return Call(fn, self, args);
}

Value Vm::Construct(const Value& ctor, std::span<const Value> args) {
  auto* f = dynamic_cast<FunctionObject*>(ctor.AsObject());
  if (f == nullptr) return Value();
  Value proto = Get(f, "prototype");
  if (f->construct != nullptr) {
    EnterCall();
    Value r;
    try {
      r = f->construct(*this, Arguments{proto, args});
    } catch (...) {
      LeaveCall();
      throw;
    }
    LeaveCall();
    if (Object* o = r.AsObject()) {
      if (!proto.IsObject()) SetUnwatched(o, "__proto__", proto);
      SetOwn(o, "__constructor__", static_cast<Object*>(f), kDontEnum);
      if (version_ < 7) SetOwn(o, "constructor", static_cast<Object*>(f), kDontEnum);
    }
    return r;
  }
  // A constructor without a prototype object makes objects without one.
  Object* object = heap_.Make<Object>(proto.AsObject());
  // A prototype that is not an object is kept as a plain property instead, as Set keeps it.
  if (!proto.IsObject() && !proto.IsUndefined()) SetOwn(object, "__proto__", proto, kDontEnum);
  SetOwn(object, "__constructor__", static_cast<Object*>(f), kDontEnum);
  if (version_ < 7) SetOwn(object, "constructor", static_cast<Object*>(f), kDontEnum);
  if (f->code) {
    CallScriptFunction(*this, *f, object, args, proto.AsObject());
  } else if (f->native) {
    Call(ctor, object, args);
  }
  return object;
}

bool Vm::InstanceOf(const Value& v, Object* ctor) {
  Object* object = v.AsObject();
  if (object == nullptr || ctor == nullptr) return false;
  Object* proto = Get(ctor, "prototype").AsObject();
  if (proto == nullptr) return false;
  int steps = 0;
  for (Object* o = object->Proto(); o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    if (o == proto) return true;
    // Interfaces a class declared with `implements`.
    const Property* list = o->Properties().Find("__interfaces__", CaseSensitive());
    if (auto* interfaces = list ? dynamic_cast<ArrayObject*>(list->value.AsObject()) : nullptr) {
      for (const Value& i : interfaces->elements) {
        if (i.AsObject() == ctor) return true;
      }
    }
  }
  return false;
}

void Vm::Throw(const Value& v) {
  thrown = v;
  throw ScriptThrow{};
}

// --- Paths -----------------------------------------------------------------------------------

Object* Vm::ResolvePath(std::string_view path, Activation* act, Object* base, bool plain) {
  ClipObject* base_clip = base ? base->AsClip() : nullptr;
  auto level_root = [&](ClipObject* from) -> Object* {
    ClipLink* link = from && from->Link() ? from->Link() : nullptr;
    // A clip whose _lockroot is set is the root of the clips within it (of a movie loaded
    // into it).
    for (ClipLink* l = link; l != nullptr && l->Parent() != nullptr; l = l->Parent()) {
      ClipObject* o = l->Script();
      const Property* lock = o ? o->Properties().Find("_lockroot", false) : nullptr;
      if (lock != nullptr && lock->getter == nullptr && ToBoolean(lock->value)) return o;
    }
    ClipLink* root = bridge_.LevelRoot(link ? link->Level() : 0);
    return root ? root->Script() : nullptr;
  };
  Object* current = base;
  size_t i = 0;
  if (!path.empty() && path[0] == '/') {
    current = level_root(base_clip);
    i = 1;
  }
  bool first = true;
  while (i < path.size() && current != nullptr) {
    size_t end = i;
    // ".." is one segment of a slash path; otherwise dots, slashes and colons all separate.
    if (path.compare(i, 2, "..") == 0) {
      end = i + 2;
    } else {
      while (end < path.size() && path[end] != '/' && path[end] != '.' && path[end] != ':') ++end;
    }
    const std::string_view segment = path.substr(i, end - i);
    i = end < path.size() ? end + 1 : end;
    if (segment.empty()) continue;
    ClipObject* clip = current->AsClip();
    ClipLink* link = clip ? clip->Link() : nullptr;
    if (segment == "..") {
      ClipLink* parent = link ? link->Parent() : nullptr;
      current = parent ? parent->Script() : nullptr;
    } else if (SameName(segment, "_root", false)) {
      current = level_root(clip);
    } else if (SameName(segment, "_parent", false)) {
      ClipLink* parent = link ? link->Parent() : nullptr;
      current = parent ? parent->Script() : nullptr;
    } else if (SameName(segment, "_global", false)) {
      // Movies before version 6 have no _global.
      current = (act != nullptr ? act->version : version_) >= 6 ? global_ : nullptr;
    } else if (SameName(segment, "this", CaseSensitive()) && first && act != nullptr) {
      current = act->self.AsObject();
    } else if (const auto level = LevelOfName(segment)) {
      ClipLink* root = *level >= 0 ? bridge_.LevelRoot(*level) : nullptr;
      current = root ? root->Script() : nullptr;
    } else {
      ClipLink* child = link ? link->Child(segment, CaseSensitive()) : nullptr;
      if (child != nullptr) {
        current = child->Script();
      } else if (plain) {
        const Property* p = FindProperty(current, segment);
        current = p && !p->getter ? p->value.AsObject() : nullptr;
      } else {
        Object* next = Get(current, segment).AsObject();
        if (next == nullptr && first && act != nullptr) {
          for (Scope* s = act->scope; s != nullptr && next == nullptr; s = s->parent) {
            if (s->object != nullptr && Has(s->object, segment)) {
              next = Get(s->object, segment).AsObject();
            }
          }
        }
        current = next;
      }
    }
    first = false;
  }
  return current;
}

void Vm::LoadMovie(std::string_view url, std::string_view target, Activation* act, Object* base) {
  if (const auto level = LevelNumber(target)) {
    bridge_.LoadMovie(url, nullptr, *level, 0);
    return;
  }
  Object* o = ResolvePath(target, act, base);
  ClipObject* clip = o ? o->AsClip() : nullptr;
  if (clip != nullptr && clip->Link() != nullptr) bridge_.LoadMovie(url, clip->Link(), 0, 0);
}

Object* Vm::Live(Object* object) {
  ClipObject* clip = object ? object->AsClip() : nullptr;
  if (clip == nullptr || !clip->Dangling()) return object;
  // The path is `_levelN` and then the clips' names.
  std::string_view path = clip->Path();
  size_t end = std::min(path.find('.'), path.size());
  const auto level = LevelNumber(path.substr(0, end));
  ClipLink* link = level ? bridge_.LevelRoot(*level) : nullptr;
  while (link != nullptr && end < path.size()) {
    const size_t begin = end + 1;
    end = std::min(path.find('.', begin), path.size());
    link = link->Child(path.substr(begin, end - begin), CaseSensitive());
  }
  return link ? link->Script() : nullptr;
}

std::string Vm::TargetPath(ClipObject* clip) {
  if (clip != nullptr && clip->Dangling()) {
    Object* live = Live(clip);
    clip = live ? live->AsClip() : nullptr;
  }
  ClipLink* link = clip ? clip->Link() : nullptr;
  if (link == nullptr) return clip ? std::string(clip->FormerPath()) : std::string();
  std::vector<ClipLink*> chain;
  ClipLink* l = link;
  for (int guard = 0; l->Parent() != nullptr && guard < 1024; ++guard) {
    chain.push_back(l);
    l = l->Parent();
  }
  std::string path = "_level" + std::to_string(l->Level());
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += '.';
    path += (*it)->Name();
  }
  return path;
}

std::string Vm::SlashTargetPath(ClipObject* clip) {
  ClipLink* link = clip ? clip->Link() : nullptr;
  if (link == nullptr) return std::string();
  std::vector<std::string> names;
  for (ClipLink* l = link; l->Parent() != nullptr && names.size() < 1024; l = l->Parent()) {
    names.push_back(l->Name());
  }
  if (names.empty()) {
    return link->Level() == 0 ? std::string("/") : "_level" + std::to_string(link->Level());
  }
  std::string path = link->Level() == 0 ? std::string() : "_level" + std::to_string(link->Level());
  for (auto it = names.rbegin(); it != names.rend(); ++it) path += "/" + *it;
  return path;
}

// --- Timers ----------------------------------------------------------------------------------

int Vm::AddTimer(const Value& function, const Value& self, std::string_view method,
                 std::vector<Value> args, double interval_ms, bool repeat) {
  constexpr size_t kMaxTimers = 4096;
  if (timers_.size() >= kMaxTimers) return 0;
  const double interval = std::isfinite(interval_ms) ? std::max(interval_ms, 0.0) : 0.0;
  timers_.push_back(Timer{next_timer_, function, self, std::string(method), std::move(args),
                          interval, Now() + interval, repeat});
  return next_timer_++;
}

bool Vm::RemoveTimer(int id) {
  return std::erase_if(timers_, [id](const Timer& t) { return t.id == id; }) > 0;
}

void Vm::QueueLoad(Object* target, std::string_view name) {
  // A movie asking without end for files keeps only its latest requests.
  constexpr size_t kMaxPending = 64;
  if (loads_.size() >= kMaxPending) loads_.erase(loads_.begin());
  std::optional<std::string> bytes = bridge_.ReadMovieFile(name);
  const double size = bytes ? static_cast<double>(bytes->size()) : 0;
  // Until the file arrives nothing is loaded of a size not yet known.
  SetOwn(target, "_bytesLoaded", 0.0, kDontEnum);
  SetOwn(target, "_bytesTotal", Value(), kDontEnum);
  loads_.push_back({target, bytes ? Str(TextFromFile(*bytes)) : Value(), size, false});
}

void Vm::LoadVariables(std::string_view url, std::string_view target, Activation* act,
                       Object* base) {
  Object* o = nullptr;
  if (const auto level = LevelNumber(target)) {
    ClipLink* root = bridge_.LevelRoot(*level);
    o = root ? root->Script() : nullptr;
  } else {
    o = ResolvePath(target, act, base);
  }
  if (ClipObject* clip = o ? o->AsClip() : nullptr) QueueVariables(clip, url);
}

void Vm::QueueVariables(ClipObject* clip, std::string_view name) {
  if (clip == nullptr) return;
  constexpr size_t kMaxPending = 64;
  if (loads_.size() >= kMaxPending) loads_.erase(loads_.begin());
  std::optional<std::string> bytes = bridge_.ReadMovieFile(name);
  // A file that is not there sets nothing and raises no data event.
  if (!bytes) return;
  loads_.push_back({clip, Str(TextFromFile(*bytes)), static_cast<double>(bytes->size()), true});
}

void Vm::DeliverVariables(const PendingLoad& load) {
  Object* live = Live(load.target);
  ClipObject* clip = live ? live->AsClip() : nullptr;
  if (clip == nullptr || clip->Link() == nullptr) return;  // removed meanwhile
  DecodeVariables(*this, clip, ToString(load.data));
  bridge_.VariablesLoaded(*clip->Link());
}

void Vm::DeliverLoads() {
  std::vector<PendingLoad> due;
  due.swap(loads_);
  for (const PendingLoad& load : due) {
    if (load.variables) {
      DeliverVariables(load);
      continue;
    }
    SetOwn(load.target, "_bytesLoaded", load.size, kDontEnum);
    SetOwn(load.target, "_bytesTotal", load.size, kDontEnum);
    RunHandler(load.target, "onData", std::span<const Value>(&load.data, 1));
  }
}

void Vm::RunTimers(double now_ms) {
  if (timers_.empty()) return;
  std::vector<int> due;
  for (const Timer& t : timers_) {
    if (t.due <= now_ms) due.push_back(t.id);
  }
  for (int id : due) {
    auto it =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;  // cleared by an earlier timer
    Timer timer = *it;
    if (timer.repeat) {
      // Catch up at most one period: a slow frame does not fire a burst.
      it->due = std::max(it->due + std::max(timer.interval, 1.0), now_ms);
    } else {
      timers_.erase(it);
    }
    if (timer.method.empty()) {
      RunCall(timer.function, timer.self, timer.args);
    } else if (Object* o = timer.self.AsObject()) {
      RunHandler(o, timer.method, timer.args);
    }
  }
}

}  // namespace lumen::avm1
