#pragma once

// The script engine of one stage: the heap, the globals and built-in classes, the conversions of
// the movie's version, calls, the budgets that stop runaway scripts, and timers. The stage hands
// it frame scripts and events; everything it needs of the stage goes through StageBridge.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "avm1/Heap.h"
#include "avm1/Object.h"
#include "avm1/StageBridge.h"
#include "avm1/Value.h"

namespace lumen::avm1 {

struct Activation;
class ClipObject;

struct VmLimits {
  double run_ms = 15000;  // of real time for one run of scripts
  int max_depth = 256;    // nested calls
  size_t heap_bytes = size_t{256} << 20;
  // Real time in milliseconds, for the time budget; the default reads the steady clock.
  double (*work_clock)() = nullptr;
};

// The prototypes and constructors built in at start-up.
struct Builtins {
  Object* object_proto = nullptr;
  Object* function_proto = nullptr;
  Object* array_proto = nullptr;
  Object* string_proto = nullptr;
  Object* number_proto = nullptr;
  Object* boolean_proto = nullptr;
  Object* error_proto = nullptr;
  Object* date_proto = nullptr;
  Object* clip_proto = nullptr;
  Object* button_proto = nullptr;
  Object* video_proto = nullptr;
  Object* xmlnode_proto = nullptr;
  Object* xml_proto = nullptr;
  Object* field_proto = nullptr;
  Object* textformat_proto = nullptr;
  FunctionObject* object_ctor = nullptr;
  FunctionObject* array_ctor = nullptr;
  // Primitives are boxed with whatever prototype their class has at the time.
  FunctionObject* string_ctor = nullptr;
  FunctionObject* number_ctor = nullptr;
  FunctionObject* boolean_ctor = nullptr;
};

// An ActionScript `throw` travelling to its `catch`; the value waits in Vm::thrown.
struct ScriptThrow {};

class Vm {
 public:
  Vm(uint8_t version, StageBridge& bridge, const VmLimits& limits = {});
  ~Vm();
  Vm(const Vm&) = delete;
  Vm& operator=(const Vm&) = delete;

  uint8_t Version() const { return version_; }
  bool CaseSensitive() const { return version_ >= 7; }
  Heap& heap() { return heap_; }
  StageBridge& bridge() { return bridge_; }
  Object* Global() { return global_; }
  void SetGlobal(Object* global) { global_ = global; }
  const Builtins& builtins() const { return builtins_; }
  Builtins& builtins() { return builtins_; }

  // --- Running scripts (the stage's entry points). None of these throws. ---
  // A frame's or an event's action list with `clip` as target and `this`.
  void RunActions(std::span<const uint8_t> code, ClipObject* clip, uint8_t version);
  // Calls `clip[name]()` if it is a function (onEnterFrame, onLoad, ...).
  void RunHandler(Object* object, std::string_view name, std::span<const Value> args = {});
  // Calls a function value from outside any script (timers, listeners).
  void RunCall(const Value& function, const Value& self, std::span<const Value> args);
  // Runs due intervals and timeouts.
  void RunTimers(double now_ms);
  // Calls `self[method](args)` once the outermost run of scripts under way has ended, as the
  // player's answer to what those scripts asked for (a file dialog closing). Outside any run it
  // is called at once.
  void Defer(const Value& self, std::string_view method, std::vector<Value> args);
  // Files scripts asked for (XML.load, LoadVars.load) are read at once and handed to the
  // object's onData on the next tick, as if they had just come in.
  void QueueLoad(Object* target, std::string_view name);
  // loadVariables: the variables of a file beside the movie set on the clip `target` names
  // (a path or `_levelN`), which then hears its data event; on the next tick too.
  void LoadVariables(std::string_view url, std::string_view target, Activation* act, Object* base);
  void QueueVariables(ClipObject* clip, std::string_view name);
  void DeliverLoads();
  // A Sound object is kept alive while an instance it started plays, to hear of its end.
  void KeepPlayingSound(uint64_t handle, Object* sound);
  Object* TakePlayingSound(uint64_t handle);
  // A MovieClipLoader with a load in flight stays alive under its ticket until the load ends.
  uint32_t KeepLoader(Object* loader);  // 0: too many in flight
  Object* Loader(uint32_t ticket) const;
  void DropLoader(uint32_t ticket);
  // Frees what no script can reach any more, when enough was made since the last time; call
  // between runs.
  void CollectGarbage(bool even_if_not_due = false);
  // Whether a budget stopped the last run.
  const char* LastAbort() const { return last_abort_; }
  // A clock of work done, in ms, and how long runs may take on it: the stage keeps a chain of
  // runs (each goto queueing the next frame's script) within the same budget as one run.
  double WorkClock();
  double RunLimitMs() const { return limits_.run_ms; }
  // `button`: the clip is a button instance (Button.prototype, typeof "object").
  ClipObject* MakeClipObject(ClipLink& link, bool button = false);
  FieldObject* MakeFieldObject(FieldLink& link);
  // The object of an exported class registered for a symbol (Object.registerClass).
  void RegisterClass(std::string_view symbol, Object* ctor);
  Object* RegisteredClass(std::string_view symbol);

  // Text fields bound to a variable: the variable `name` (a path may lead to it) as seen from
  // `clip`, read as a string (nothing while it is undefined) and written as one. Neither runs a
  // script: a variable behind a getter or setter reads as undefined and is not written.
  std::optional<std::string> ReadBound(ClipObject* clip, std::string_view name);
  void WriteBound(ClipObject* clip, std::string_view name, std::string_view text);

  // --- Conversions, by the movie's version. ---
  double ToNumber(const Value& v);
  std::string ToString(const Value& v);
  Value ToStringValue(const Value& v);
  bool ToBoolean(const Value& v);
  Value ToPrimitive(const Value& v, bool prefer_string = false);
  Object* ToObject(const Value& v);
  int32_t ToInt32(const Value& v);
  std::string_view TypeOf(const Value& v);
  Value Str(std::string text) { return heap_.String(std::move(text)); }
  Value Str(std::string_view text) { return heap_.String(std::string(text)); }
  Value Str(const char* text) { return heap_.String(text); }
  // A string written in the code being run, made once per collection cycle however often the
  // code runs. Movies before version 6 are Latin-1.
  Value CodeString(std::string_view code, bool utf8);
  bool StrictEquals(const Value& a, const Value& b);
  bool LooseEquals(const Value& a, const Value& b);
  // a < b: true, false, or undefined when a NaN is involved.
  Value Less(const Value& a, const Value& b);

  // --- Objects. ---
  Object* NewObject(Object* proto = nullptr);  // default: Object.prototype
  ArrayObject* NewArray();
  FunctionObject* NewNative(NativeFunction fn, NativeFunction construct = nullptr);
  // A native constructor with its prototype object.
  FunctionObject* NewClass(Object* proto, NativeFunction fn, NativeFunction construct = nullptr);
  void DefineMethod(Object* on, std::string_view name, NativeFunction fn,
                    uint8_t flags = kDontEnum);
  void DefineValue(Object* on, std::string_view name, const Value& v, uint8_t flags = kDontEnum);
  // Whole-chain lookups, with getters, __resolve and native properties.
  Value Get(Object* object, std::string_view name);
  Value GetMember(const Value& target, std::string_view name);
  // Assigns along the chain's setters; otherwise an own property.
  void Set(Object* object, std::string_view name, const Value& value);
  // Set without asking a watch (Object.watch) first.
  void SetUnwatched(Object* object, std::string_view name, const Value& value);
  void SetMember(const Value& target, std::string_view name, const Value& value);
  bool Delete(Object* object, std::string_view name);
  bool HasOwn(Object* object, std::string_view name);
  bool Has(Object* object, std::string_view name);
  // Enumerable names of the object and its prototypes, in the order for..in lists them.
  std::vector<std::string> Keys(Object* object);
  void SetOwn(Object* object, std::string_view name, const Value& value, uint8_t flags = 0);
  // Follows `name` up the chain to a plain stored property; `writing`: as assignments see them.
  Property* FindProperty(Object* object, std::string_view name, Object** holder = nullptr,
                         bool writing = false);

  // --- Calls, inside a run. ---
  Value Call(const Value& function, const Value& self, std::span<const Value> args);
  Value CallMethod(const Value& target, std::string_view name, std::span<const Value> args);
  Value Construct(const Value& ctor, std::span<const Value> args);
  bool InstanceOf(const Value& v, Object* ctor);
  // Throws a script exception carrying `v`.
  [[noreturn]] void Throw(const Value& v);
  // Traces "Warning: `text`", as the player reports what scripts got wrong, up to its limit.
  void Warn(std::string_view text);
  Value thrown;

  // --- Paths and targets. ---
  // Resolves a target path (`/a/b`, `_root.a`, `../x`) from `base`; null if nothing is there.
  // `plain`: objects are found only in stored properties, so no getter or __resolve runs.
  Object* ResolvePath(std::string_view path, Activation* act, Object* base, bool plain = false);
  // loadMovie into the clip or level `target` names (from `base`); unloads with an empty url.
  void LoadMovie(std::string_view url, std::string_view target, Activation* act, Object* base);
  std::string TargetPath(ClipObject* clip);  // `_level0.a.b`
  // What scripts reach through `object`: itself, except for a removed clip, which stands for
  // the clip that has its path now (null when none has).
  Object* Live(Object* object);
  std::string SlashTargetPath(ClipObject* clip);  // `/a/b`

  // --- Timers. ---
  int AddTimer(const Value& function, const Value& self, std::string_view method,
               std::vector<Value> args, double interval_ms, bool repeat);
  bool RemoveTimer(int id);

  // --- Budgets and the interpreter's state. ---
  void CheckBudget();
  void EnterCall();
  void LeaveCall() { --depth_; }
  std::vector<Value>& stack() { return stack_; }
  std::array<Value, 4>& GlobalRegisters() { return global_registers_; }
  // Between frames the global registers start empty again.
  void ClearGlobalRegisters() { global_registers_ = {}; }
  std::vector<Activation*>& activations() { return activations_; }
  double Now() { return bridge_.Timer(); }
  uint32_t Random(uint32_t below);
  // _soundbuftime, in seconds: the player keeps it for every clip; nothing streams by it here.
  double sound_buffer_time = 5;
  // The clip whose script is running (`this` of frame scripts), for _root and _parent.
  ClipObject* CurrentClip();

 private:
  Value BoxingClass(std::string_view cls);
  // Assignments in a version 6 movie see properties as version 7 does: past bit 8, and past the
  // bit of version 7.
  uint8_t WriteVersion() const { return version_ == 6 ? 7 : version_; }
  bool StringClassIsBuiltIn();
  struct Timer {
    int id;
    Value function;
    Value self;
    std::string method;
    std::vector<Value> args;
    double interval;
    double due;
    bool repeat;
  };
  struct Registration {
    std::string symbol;
    Object* ctor;
  };
  void Run(void (*body)(Vm&, void*), void* data);
  void RunDeferred();
  // The log tells of an exception that no script caught.
  void LogUncaught();
  void MarkRoots(Heap& heap);
  Object::Watch* FindWatch(Object* object, std::string_view name);
  // Calls a property's getter or setter (or watch). Where its calls nest as deep as they may,
  // the property is a plain value to scripts, so accessors that touch their own property end; an
  // assignment stores its value once the setter has run.
  bool MayCallProperty(Object* object, std::string_view name) const;
  Value CallAccessor(Object* accessor, Object* object, std::string_view name,
                     std::span<const Value> args);
  Value CallWatch(Object* object, std::string_view name, const Value& value);

  uint8_t version_;
  StageBridge& bridge_;
  VmLimits limits_;
  Heap heap_;
  Object* global_ = nullptr;
  Builtins builtins_;
  std::vector<Value> stack_;
  std::array<Value, 4> global_registers_;
  std::vector<Activation*> activations_;
  std::vector<ClipObject*> clips_;    // every clip object with a link
  std::vector<FieldObject*> fields_;  // every text field object with a link
  struct CodeStringKey {
    const char* data;
    size_t size;
    bool utf8;
    bool operator==(const CodeStringKey&) const = default;
  };
  struct CodeStringHash {
    size_t operator()(const CodeStringKey& k) const {
      return std::hash<const char*>()(k.data) ^ k.size * 31 ^ k.utf8;
    }
  };
  struct CodeStringEntry {
    std::string source;  // the code's bytes, in case other code has come to lie at that address
    const StringCell* cell = nullptr;
  };
  // Dropped at each collection rather than kept alive by it.
  std::unordered_map<CodeStringKey, CodeStringEntry, CodeStringHash> code_strings_;
  std::vector<Timer> timers_;
  struct Deferred {
    Value self;
    std::string method;
    std::vector<Value> args;
  };
  std::vector<Deferred> deferred_;
  bool running_deferred_ = false;
  struct PendingLoad {
    Object* target;
    Value data;  // undefined where the file could not be read
    double size;
    bool variables;  // set on the target clip rather than handed to its onData
  };
  std::vector<PendingLoad> loads_;
  void DeliverVariables(const PendingLoad& load);
  std::vector<std::pair<uint64_t, Object*>> playing_sounds_;
  std::vector<std::pair<uint32_t, Object*>> loaders_;
  uint32_t next_loader_ = 0;
  // Getters, setters and watch callbacks running, innermost last.
  std::vector<std::pair<Object*, std::string>> property_calls_;
  std::vector<Registration> registrations_;
  int warnings_ = 0;
  int next_timer_ = 1;
  int depth_ = 0;
  int run_depth_ = 0;
  double run_started_ = 0;
  uint32_t budget_counter_ = 0;
  uint64_t random_state_ = 0x2545F4914F6CDD1Dull;
  const char* last_abort_ = nullptr;
  friend class ClipObject;
};

}  // namespace lumen::avm1
