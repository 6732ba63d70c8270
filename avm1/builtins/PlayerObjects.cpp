// The objects of the player itself: AsBroadcaster and the broadcasters Key, Mouse and Stage,
// System, Color and SharedObject.
//
// Design: the native state of Key, Mouse and Stage (pressed keys, the pointer, the stage's
// modes) lives in an Object subclass held in the `primitive` slot of the script object, so the
// collector keeps it as long as the object. The stage's entry points find these objects through
// the globals without running any script, then broadcast through the native broadcastMessage in
// a run of their own. Broadcasting works on whatever `_listeners` holds, through its `length`,
// `push` and `splice`, because movies replace it with objects of their own.

#include "avm1/builtins/PlayerObjects.h"

#include <bitset>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/Heap.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

constexpr uint8_t kLocked = kDontEnum | kDontDelete | kReadOnly;
constexpr size_t kMaxListeners = 1 << 16;
constexpr int kMaxSizeDepth = 32;

// --- Shared helpers ---------------------------------------------------------------------------

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFunction get,
                    NativeFunction set, uint8_t flags) {
  vm.SetOwn(on, name, Value(), flags);
  Property* p = on->Properties().Find(name, vm.CaseSensitive());
  p->getter = vm.NewNative(get);
  p->setter = set ? vm.NewNative(set) : nullptr;
}

void SetFlagsOfAll(Object* o, uint8_t flags) {
  for (Property& p : o->Properties().Entries()) p.flags = flags;
}

// A global object by name, read without running any script (no getters, no __resolve).
Object* RawGlobal(Vm& vm, std::string_view name) {
  Property* p = vm.Global()->Properties().Find(name, vm.CaseSensitive());
  return p != nullptr && p->getter == nullptr ? p->value.AsObject() : nullptr;
}

template <typename State>
State* StateOf(Object* o) {
  return o ? dynamic_cast<State*>(o->primitive.AsObject()) : nullptr;
}

template <typename State>
State* StateOf(const Value& v) {
  return StateOf<State>(v.AsObject());
}

// --- AsBroadcaster ----------------------------------------------------------------------------

size_t ListLength(Vm& vm, Object* list) {
  const double n = vm.ToNumber(vm.Get(list, "length"));
  return n > 0 ? static_cast<size_t>(std::min(n, static_cast<double>(kMaxListeners))) : 0;
}

Value AddListener(Vm& vm, const Arguments& args) {
  const Value listener = args[0];
  vm.CallMethod(args.self, "removeListener", std::span<const Value>(&listener, 1));
  if (Object* list = vm.GetMember(args.self, "_listeners").AsObject()) {
    vm.CallMethod(list, "push", std::span<const Value>(&listener, 1));
  }
  return true;
}

Value RemoveListener(Vm& vm, const Arguments& args) {
  Object* list = vm.GetMember(args.self, "_listeners").AsObject();
  if (list == nullptr) return false;
  const size_t length = ListLength(vm, list);
  for (size_t i = 0; i < length; ++i) {
    if (!vm.LooseEquals(vm.Get(list, std::to_string(i)), args[0])) continue;
    const Value splice[] = {static_cast<double>(i), 1};
    vm.CallMethod(list, "splice", splice);
    return true;
  }
  return false;
}

Value BroadcastMessage(Vm& vm, const Arguments& args) {
  Object* list = vm.GetMember(args.self, "_listeners").AsObject();
  if (list == nullptr || args.size() == 0) return Value();
  const std::string event = vm.ToString(args[0]);
  const std::span<const Value> rest = args.values.subspan(1);
  // Listeners that add or remove listeners do not change this broadcast.
  std::vector<Value> listeners;
  const size_t length = ListLength(vm, list);
  for (size_t i = 0; i < length; ++i) listeners.push_back(vm.Get(list, std::to_string(i)));
  size_t dispatched = 0;
  for (const Value& listener : listeners) {
    if (listener.IsNullish()) continue;
    ++dispatched;
    if (event.empty()) {
      vm.Call(listener, listener, rest);  // an empty method name means the object itself
    } else {
      Object* o = listener.IsObject() ? listener.AsObject() : vm.ToObject(listener);
      Value method = vm.Get(o, event);
      if (method.AsObject() != nullptr && method.AsObject()->TypeOf() == "function") {
        vm.CallMethod(listener, event, rest);
      }
    }
  }
  return dispatched > 0 ? Value(true) : Value();
}

// The broadcaster methods of `asb` (the AsBroadcaster constructor) on `target`, with a new list.
void MakeBroadcaster(Vm& vm, Object* target, Object* asb) {
  vm.SetOwn(target, "broadcastMessage", static_cast<Object*>(vm.NewNative(BroadcastMessage)),
            kDontEnum);
  vm.SetOwn(target, "addListener", asb ? vm.Get(asb, "addListener") : Value(), kDontEnum);
  vm.SetOwn(target, "removeListener", asb ? vm.Get(asb, "removeListener") : Value(), kDontEnum);
  vm.SetOwn(target, "_listeners", static_cast<Object*>(vm.NewArray()), kDontEnum);
}

Value Initialize(Vm& vm, const Arguments& args) {
  if (Object* target = args[0].AsObject()) {
    MakeBroadcaster(vm, target, vm.Get(vm.Global(), "AsBroadcaster").AsObject());
  }
  return Value();
}

Value ReturnUndefined(Vm&, const Arguments&) {
  return Value();
}
Value ReturnFalse(Vm&, const Arguments&) {
  return false;
}

Object* InstallAsBroadcaster(Vm& vm) {
  Object* proto = vm.NewObject();
  FunctionObject* asb = vm.NewClass(proto, ReturnUndefined);
  vm.DefineMethod(asb, "broadcastMessage", BroadcastMessage);
  vm.DefineMethod(asb, "addListener", AddListener);
  vm.DefineMethod(asb, "removeListener", RemoveListener);
  vm.DefineMethod(asb, "initialize", Initialize);
  vm.DefineValue(vm.Global(), "AsBroadcaster", static_cast<Object*>(asb));
  return asb;
}

// The state of a broadcaster the stage raises events on, with the native broadcastMessage so
// that events reach the listeners even when a movie replaced the script-visible method.
class BroadcasterState : public Object {
 public:
  BroadcasterState() : Object(nullptr) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(broadcast);
  }
  Object* broadcast = nullptr;
};

template <typename State>
State* AttachState(Vm& vm, Object* on, Object* asb) {
  auto* state = vm.heap().Make<State>();
  state->broadcast = vm.NewNative(BroadcastMessage);
  on->primitive = static_cast<Object*>(state);
  MakeBroadcaster(vm, on, asb);
  return state;
}

// Runs `target.broadcastMessage(event, extra...)` as a run of its own.
void RaiseEvent(Vm& vm, Object* target, BroadcasterState* state, std::string_view event,
                std::span<const Value> extra = {}) {
  try {
    std::vector<Value> args{vm.Str(event)};
    args.insert(args.end(), extra.begin(), extra.end());
    vm.RunCall(static_cast<Object*>(state->broadcast), target, args);
  } catch (const ScriptAbort&) {
    // No memory left for the event's name: the event is dropped like a stopped run.
  }
}

// --- Key ------------------------------------------------------------------------------------

class KeyState final : public BroadcasterState {
 public:
  std::bitset<256> down;
  std::bitset<256> toggled;
  uint16_t code = 0;
  uint16_t ascii = 0;
};

constexpr uint16_t kMouseButtonCode = 1;

bool IsLockKey(uint16_t code) {
  return code == 20 || code == 144 || code == 145;
}

KeyState* Keys(const Value& self) {
  return StateOf<KeyState>(self);
}

size_t KeyIndex(Vm& vm, const Value& v) {
  return static_cast<size_t>(static_cast<uint32_t>(vm.ToInt32(v)) & 0xFF);
}

Value KeyIsDown(Vm& vm, const Arguments& args) {
  KeyState* s = Keys(args.self);
  return s != nullptr && s->down[KeyIndex(vm, args[0])];
}

Value KeyIsToggled(Vm& vm, const Arguments& args) {
  KeyState* s = Keys(args.self);
  return s != nullptr && s->toggled[KeyIndex(vm, args[0])];
}

Value KeyGetCode(Vm&, const Arguments& args) {
  KeyState* s = Keys(args.self);
  return s ? Value(static_cast<double>(s->code)) : Value(0);
}

Value KeyGetAscii(Vm&, const Arguments& args) {
  KeyState* s = Keys(args.self);
  return s ? Value(static_cast<double>(s->ascii)) : Value(0);
}

void InstallKey(Vm& vm, Object* asb) {
  Object* key = vm.NewObject();
  static constexpr std::pair<const char*, int> kCodes[] = {
      {"ALT", 18},    {"BACKSPACE", 8}, {"CAPSLOCK", 20}, {"CONTROL", 17}, {"DELETEKEY", 46},
      {"DOWN", 40},   {"END", 35},      {"ENTER", 13},    {"ESCAPE", 27},  {"HOME", 36},
      {"INSERT", 45}, {"LEFT", 37},     {"PGDN", 34},     {"PGUP", 33},    {"RIGHT", 39},
      {"SHIFT", 16},  {"SPACE", 32},    {"TAB", 9},       {"UP", 38}};
  for (const auto& [name, code] : kCodes) vm.DefineValue(key, name, code);
  vm.DefineMethod(key, "getAscii", KeyGetAscii);
  vm.DefineMethod(key, "getCode", KeyGetCode);
  vm.DefineMethod(key, "isDown", KeyIsDown);
  vm.DefineMethod(key, "isToggled", KeyIsToggled);
  vm.DefineMethod(key, "isAccessible", ReturnFalse);
  AttachState<KeyState>(vm, key, asb);
  SetFlagsOfAll(key, kLocked);
  vm.DefineValue(vm.Global(), "Key", key);
}

// --- Mouse ----------------------------------------------------------------------------------

class MouseState final : public BroadcasterState {
 public:
  bool hidden = false;
};

// Both answer whether the pointer was visible before, in the player's own way round.
Value MouseShow(Vm&, const Arguments& args) {
  MouseState* s = StateOf<MouseState>(args.self);
  if (s == nullptr) return Value();
  const bool was_visible = !s->hidden;
  s->hidden = false;
  return was_visible ? 1 : 0;
}

Value MouseHide(Vm&, const Arguments& args) {
  MouseState* s = StateOf<MouseState>(args.self);
  if (s == nullptr) return Value();
  const bool was_visible = !s->hidden;
  s->hidden = true;
  return was_visible ? 0 : 1;
}

void InstallMouse(Vm& vm, Object* asb) {
  Object* mouse = vm.NewObject();
  vm.DefineMethod(mouse, "show", MouseShow);
  vm.DefineMethod(mouse, "hide", MouseHide);
  AttachState<MouseState>(vm, mouse, asb);
  SetFlagsOfAll(mouse, kLocked);
  vm.DefineValue(vm.Global(), "Mouse", mouse);
}

// --- Stage ----------------------------------------------------------------------------------

constexpr std::string_view kScaleModes[] = {"showAll", "exactFit", "noBorder", "noScale"};
constexpr size_t kNoScale = 3;
constexpr std::string_view kAlignLetters = "LTRB";

class StageState final : public BroadcasterState {
 public:
  size_t scale_mode = 0;
  uint8_t align = 0;  // bits in the order of kAlignLetters
  bool show_menu = true;
  double viewport_width = 0;  // 0 until the stage tells
  double viewport_height = 0;
};

double StageSize(Vm& vm, const StageState& s, bool width) {
  const double viewport = width ? s.viewport_width : s.viewport_height;
  if (s.scale_mode == kNoScale && viewport > 0) return viewport;
  return width ? vm.bridge().StageWidth() : vm.bridge().StageHeight();
}

Value StageWidth(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  return s ? Value(StageSize(vm, *s, true)) : Value();
}

Value StageHeight(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  return s ? Value(StageSize(vm, *s, false)) : Value();
}

Value GetScaleMode(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  return s ? vm.Str(kScaleModes[s->scale_mode]) : Value();
}

Value SetScaleMode(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  if (s == nullptr) return Value();
  const std::string text = vm.ToString(args[0]);
  size_t mode = 0;
  for (size_t i = 0; i < std::size(kScaleModes); ++i) {
    if (SameName(text, kScaleModes[i], false)) mode = i;
  }
  const bool resized = mode != s->scale_mode && (mode == kNoScale || s->scale_mode == kNoScale);
  s->scale_mode = mode;
  if (resized) {
    const Value event = vm.Str("onResize");
    vm.Call(static_cast<Object*>(s->broadcast), args.self, std::span<const Value>(&event, 1));
  }
  return Value();
}

Value GetAlign(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  if (s == nullptr) return Value();
  std::string text;
  for (size_t i = 0; i < kAlignLetters.size(); ++i) {
    if (s->align & (1u << i)) text += kAlignLetters[i];
  }
  return vm.Str(text);
}

Value SetAlign(Vm& vm, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  if (s == nullptr) return Value();
  s->align = 0;
  for (char c : vm.ToString(args[0])) {
    const size_t i =
        kAlignLetters.find(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (i != std::string_view::npos) s->align |= static_cast<uint8_t>(1u << i);
  }
  return Value();
}

Value GetShowMenu(Vm&, const Arguments& args) {
  StageState* s = StateOf<StageState>(args.self);
  return s ? Value(s->show_menu) : Value();
}

Value SetShowMenu(Vm& vm, const Arguments& args) {
  if (StageState* s = StateOf<StageState>(args.self)) s->show_menu = vm.ToBoolean(args[0]);
  return Value();
}

Value GetDisplayState(Vm& vm, const Arguments&) {
  return vm.Str("normal");
}

void InstallStage(Vm& vm, Object* asb) {
  Object* stage = vm.NewObject();
  constexpr uint8_t kFlags = kDontEnum | kDontDelete;
  DefineAccessor(vm, stage, "align", GetAlign, SetAlign, kFlags);
  DefineAccessor(vm, stage, "scaleMode", GetScaleMode, SetScaleMode, kFlags);
  DefineAccessor(vm, stage, "height", StageHeight, nullptr, kFlags);
  DefineAccessor(vm, stage, "width", StageWidth, nullptr, kFlags);
  DefineAccessor(vm, stage, "showMenu", GetShowMenu, SetShowMenu, kFlags);
  DefineAccessor(vm, stage, "displayState", GetDisplayState, nullptr, kFlags);
  AttachState<StageState>(vm, stage, asb);
  vm.DefineValue(vm.Global(), "Stage", stage);
}

// --- System ---------------------------------------------------------------------------------

constexpr const char* kVersion = "WIN 9,0,0,0";

std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The capabilities as one query string, the way servers were told about the player.
std::string ServerString(Vm& vm, Object* caps) {
  static constexpr std::pair<const char*, const char*> kFields[] = {{"A", "hasAudio"},
                                                                    {"SA", "hasStreamingAudio"},
                                                                    {"SV", "hasStreamingVideo"},
                                                                    {"EV", "hasEmbeddedVideo"},
                                                                    {"MP3", "hasMP3"},
                                                                    {"AE", "hasAudioEncoder"},
                                                                    {"VE", "hasVideoEncoder"},
                                                                    {"ACC", "hasAccessibility"},
                                                                    {"PR", "hasPrinting"},
                                                                    {"SP", "hasScreenPlayback"},
                                                                    {"SB", "hasScreenBroadcast"},
                                                                    {"DEB", "isDebugger"},
                                                                    {"V", "version"},
                                                                    {"M", "manufacturer"},
                                                                    {"R", nullptr},
                                                                    {"DP", "screenDPI"},
                                                                    {"COL", "screenColor"},
                                                                    {"AR", "pixelAspectRatio"},
                                                                    {"OS", "os"},
                                                                    {"L", "language"},
                                                                    {"IME", "hasIME"},
                                                                    {"PT", "playerType"},
                                                                    {"AVD", "avHardwareDisable"},
                                                                    {"LFD", "localFileReadDisable"},
                                                                    {"WD", "windowlessDisable"},
                                                                    {"TLS", "hasTLS"}};
  std::string out;
  for (const auto& [key, name] : kFields) {
    if (!out.empty()) out += '&';
    out += key;
    out += '=';
    if (name == nullptr) {
      out += vm.ToString(vm.Get(caps, "screenResolutionX")) + "x" +
             vm.ToString(vm.Get(caps, "screenResolutionY"));
      continue;
    }
    const Value v = vm.Get(caps, name);
    out += v.IsBoolean() ? (v.AsBoolean() ? "t" : "f") : Escaped(vm.ToString(v));
  }
  return out;
}

Object* MakeCapabilities(Vm& vm) {
  Object* caps = vm.NewObject();
  // Made in this order so that enumeration lists them as the reference player does.
  const std::pair<const char*, Value> kValues[] = {
      {"hasAccessibility", false},
      {"pixelAspectRatio", 1},
      {"screenColor", vm.Str("color")},
      {"screenDPI", 96},
      {"screenResolutionY", 768},
      {"screenResolutionX", 1024},
      {"hasTLS", false},
      {"hasVideoEncoder", false},
      {"hasAudioEncoder", false},
      {"hasMP3", true},
      {"hasAudio", true},
      {"serverString", Value()},
      {"version", vm.Str(kVersion)},
      {"hasStreamingAudio", true},
      {"hasStreamingVideo", false},
      {"hasEmbeddedVideo", false},
      {"hasPrinting", false},
      {"hasScreenPlayback", false},
      {"hasScreenBroadcast", false},
      {"isDebugger", false},
      {"playerType", vm.Str("StandAlone")},
      {"avHardwareDisable", true},
      {"localFileReadDisable", false},
      {"windowlessDisable", true},
      {"maxLevelIDC", vm.Str("")},
      {"isEmbeddedInAcrobat", false},
      {"manufacturer", vm.Str("Lumen Windows")},
      {"os", vm.Str("Windows")},
      {"cpuArchitecture", vm.Str("x86")},
      {"cpuAddressSize", 32},
      {"language", vm.Str("en")},
      {"hasIME", false},
      {"supports32BitProcesses", true},
      {"supports64BitProcesses", false},
  };
  for (const auto& [name, value] : kValues) vm.SetOwn(caps, name, value);
  vm.SetOwn(caps, "serverString", vm.Str(ServerString(vm, caps)));
  return caps;
}

class SystemState final : public Object {
 public:
  SystemState() : Object(nullptr) {}
  bool use_codepage = false;
  bool exact_settings = true;
};

Value GetUseCodepage(Vm&, const Arguments& args) {
  SystemState* s = StateOf<SystemState>(args.self);
  return s ? Value(s->use_codepage) : Value();
}

Value SetUseCodepage(Vm& vm, const Arguments& args) {
  if (SystemState* s = StateOf<SystemState>(args.self)) s->use_codepage = vm.ToBoolean(args[0]);
  return Value();
}

Value GetExactSettings(Vm&, const Arguments& args) {
  SystemState* s = StateOf<SystemState>(args.self);
  return s ? Value(s->exact_settings) : Value();
}

Value SetExactSettings(Vm& vm, const Arguments& args) {
  if (SystemState* s = StateOf<SystemState>(args.self)) s->exact_settings = vm.ToBoolean(args[0]);
  return Value();
}

// A standalone player trusts every domain; the answer tells whether one was named.
Value AllowDomain(Vm&, const Arguments& args) {
  return args.size() > 0;
}

Value ReturnFirst(Vm&, const Arguments& args) {
  return args[0];
}

Object* MakeSecurity(Vm& vm) {
  Object* security = vm.NewObject();
  vm.DefineMethod(security, "allowDomain", AllowDomain, 0);
  vm.DefineMethod(security, "allowInsecureDomain", AllowDomain, 0);
  vm.DefineMethod(security, "loadPolicyFile", ReturnUndefined, 0);
  vm.DefineMethod(security, "chooseLocalSwfPath", ReturnUndefined, 0);
  vm.DefineMethod(security, "escapeDomain", ReturnFirst, 0);
  vm.SetOwn(security, "sandboxType", vm.Str("localTrusted"));
  return security;
}

Value ProductConstruct(Vm& vm, const Arguments& args) {
  Object* product = vm.NewObject(args.self.AsObject());
  vm.SetOwn(product, "name", args.values.empty() ? Value() : args[0]);
  return product;
}

FunctionObject* MakeProduct(Vm& vm) {
  Object* proto = vm.NewObject();
  for (const char* name :
       {"isRunning", "isInstalled", "launch", "download", "validate", "installedVersion"}) {
    vm.DefineMethod(proto, name, ReturnFalse);
  }
  return vm.NewClass(proto, ReturnUndefined, ProductConstruct);
}

Object* MakeIme(Vm& vm, Object* asb) {
  Object* ime = vm.NewObject();
  static constexpr std::pair<const char*, const char*> kModes[] = {
      {"UNKNOWN", "UNKNOWN"},
      {"KOREAN", "KOREAN"},
      {"JAPANESE_KATAKANA_HALF", "JAPANESE_KATAKANA_HALF"},
      {"JAPANESE_KATAKANA_FULL", "JAPANESE_KATAKANA_FULL"},
      {"JAPANESE_HIRAGANA", "JAPANESE_HIRAGANA"},
      {"CHINESE", "CHINESE"},
      {"ALPHANUMERIC_HALF", "ALPHANUMERIC_HALF"},
      {"ALPHANUMERIC_FULL", "ALPHANUMERIC_FULL"}};
  for (const auto& [name, value] : kModes) vm.SetOwn(ime, name, vm.Str(value), kLocked);
  for (const char* name : {"getEnabled", "setEnabled", "getConversionMode", "setConversionMode",
                           "setCompositionString", "doConversion"}) {
    vm.DefineMethod(ime, name, ReturnFalse);
  }
  MakeBroadcaster(vm, ime, asb);
  return ime;
}

void InstallSystem(Vm& vm, Object* asb) {
  Object* system = vm.NewObject();
  auto* state = vm.heap().Make<SystemState>();
  state->exact_settings = vm.Version() >= 7;
  system->primitive = static_cast<Object*>(state);
  vm.SetOwn(system, "capabilities", MakeCapabilities(vm));
  vm.SetOwn(system, "Product", static_cast<Object*>(MakeProduct(vm)));
  vm.DefineMethod(system, "showSettings", ReturnUndefined, 0);
  DefineAccessor(vm, system, "exactSettings", GetExactSettings, SetExactSettings, 0);
  DefineAccessor(vm, system, "useCodepage", GetUseCodepage, SetUseCodepage, 0);
  vm.SetOwn(system, "security", MakeSecurity(vm));
  vm.DefineMethod(system, "setClipboard", ReturnUndefined, 0);
  vm.SetOwn(system, "IME", MakeIme(vm, asb));
  vm.DefineValue(vm.Global(), "System", system);
}

// --- Color ----------------------------------------------------------------------------------

// The clip a Color works on: its target is a clip or a path to one, looked up on every call.
// An empty path names no clip.
ClipObject* ColorTarget(Vm& vm, const Value& self) {
  Object* color = self.AsObject();
  if (color == nullptr) return nullptr;
  Property* p = color->Properties().Find("target", vm.CaseSensitive());
  if (p == nullptr || (p->value.IsString() && p->value.AsString().empty())) return nullptr;
  return ResolveTarget(vm, p->value);
}

// The transform as the player keeps it: 8.8 fixed multipliers and whole offsets, 16 bits each.
int16_t ToInt16(Vm& vm, double v) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(vm.ToInt32(v))));
}

ColorTransformValues ReadTransform(Vm& vm, ClipObject& clip) {
  ClipColorAccess* access = dynamic_cast<ClipColorAccess*>(clip.Link());
  if (access != nullptr) return access->GetColorTransform();
  ColorTransformValues values;
  values.multiply[3] = vm.ToNumber(GetClipProperty(vm, clip, ClipProperty::Alpha)) / 100;
  return values;
}

void WriteTransform(Vm& vm, ClipObject& clip, const ColorTransformValues& values) {
  if (ClipColorAccess* access = dynamic_cast<ClipColorAccess*>(clip.Link())) {
    access->SetColorTransform(values);
  } else {
    SetClipProperty(vm, clip, ClipProperty::Alpha, values.multiply[3] * 100);
  }
}

Value ColorConstruct(Vm& vm, const Arguments& args) {
  Object* color = vm.NewObject(args.self.AsObject());
  vm.SetOwn(color, "target", args[0], kLocked);
  return color;
}

Value ColorGetRgb(Vm& vm, const Arguments& args) {
  ClipObject* clip = ColorTarget(vm, args.self);
  if (clip == nullptr) return Value();
  const ColorTransformValues t = ReadTransform(vm, *clip);
  const int32_t rgb = (static_cast<int32_t>(t.add[0]) << 16) |
                      (static_cast<int32_t>(t.add[1]) << 8) | static_cast<int32_t>(t.add[2]);
  return static_cast<double>(rgb);
}

Value ColorSetRgb(Vm& vm, const Arguments& args) {
  ClipObject* clip = ColorTarget(vm, args.self);
  if (clip == nullptr) return Value();
  const uint32_t rgb = static_cast<uint32_t>(vm.ToInt32(args[0]));
  ColorTransformValues t = ReadTransform(vm, *clip);
  for (int i = 0; i < 3; ++i) {
    t.multiply[i] = 0;
    t.add[i] = (rgb >> (16 - 8 * i)) & 0xFF;
  }
  WriteTransform(vm, *clip, t);
  return Value();
}

constexpr const char* kMultiplyNames[] = {"ra", "ga", "ba", "aa"};
constexpr const char* kAddNames[] = {"rb", "gb", "bb", "ab"};

Value ColorGetTransform(Vm& vm, const Arguments& args) {
  ClipObject* clip = ColorTarget(vm, args.self);
  if (clip == nullptr) return Value();
  const ColorTransformValues t = ReadTransform(vm, *clip);
  Object* out = vm.NewObject();
  for (int i = 0; i < 4; ++i) {
    vm.SetOwn(out, kMultiplyNames[i], t.multiply[i] * 100);
    vm.SetOwn(out, kAddNames[i], t.add[i]);
  }
  return out;
}

Value ColorSetTransform(Vm& vm, const Arguments& args) {
  ClipObject* clip = ColorTarget(vm, args.self);
  Object* in = args[0].AsObject();
  if (clip == nullptr || in == nullptr) return Value();
  ColorTransformValues t = ReadTransform(vm, *clip);
  for (int i = 0; i < 4; ++i) {
    if (vm.HasOwn(in, kMultiplyNames[i])) {
      const double percent = vm.ToNumber(vm.Get(in, kMultiplyNames[i]));
      t.multiply[i] = ToInt16(vm, percent / 100 * 256) / 256.0;
    }
    if (vm.HasOwn(in, kAddNames[i])) t.add[i] = ToInt16(vm, vm.ToNumber(vm.Get(in, kAddNames[i])));
  }
  WriteTransform(vm, *clip, t);
  return Value();
}

void InstallColor(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "setRGB", ColorSetRgb);
  vm.DefineMethod(proto, "setTransform", ColorSetTransform);
  vm.DefineMethod(proto, "getRGB", ColorGetRgb);
  vm.DefineMethod(proto, "getTransform", ColorGetTransform);
  FunctionObject* color = vm.NewClass(proto, ReturnUndefined, ColorConstruct);
  SetFlagsOfAll(proto, kLocked);
  vm.DefineValue(vm.Global(), "Color", static_cast<Object*>(color));
}

// --- SharedObject ---------------------------------------------------------------------------

constexpr std::string_view kBadNameCharacters = " ~%&\\;:\"',<>?#";

// About what the object would take when written out, for getSize.
double StoredSize(Vm& vm, const Value& v, int depth) {
  switch (v.type()) {
    case Value::Type::Undefined:
    case Value::Type::Null:
      return 1;
    case Value::Type::Boolean:
      return 2;
    case Value::Type::Number:
      return 9;
    case Value::Type::String:
      return 3 + static_cast<double>(v.AsString().size());
    case Value::Type::Object:
      break;
  }
  Object* o = v.AsObject();
  if (depth > kMaxSizeDepth || o->TypeOf() == "function") return 1;
  double size = 4;
  for (const Property& p : o->Properties().Entries()) {
    if (p.flags & kDontEnum) continue;
    size += 2 + static_cast<double>(p.name.size()) + StoredSize(vm, p.value, depth + 1);
  }
  return size;
}

Value SharedGetSize(Vm& vm, const Arguments& args) {
  Object* data = vm.GetMember(args.self, "data").AsObject();
  return data ? StoredSize(vm, data, 0) - 4 : 0;
}

Value SharedClear(Vm& vm, const Arguments& args) {
  Object* data = vm.GetMember(args.self, "data").AsObject();
  if (data != nullptr) {
    std::vector<std::string> names;
    for (const Property& p : data->Properties().Entries()) names.push_back(p.name);
    for (const std::string& name : names) vm.Delete(data, name);
  }
  return Value();
}

Value ReturnTrue(Vm&, const Arguments&) {
  return true;
}

// Objects by name for this movie, in the constructor's `primitive`; kept in memory only.
Value SharedGetLocal(Vm& vm, const Arguments& args) {
  Object* ctor = RawGlobal(vm, "SharedObject");
  Object* cache = ctor ? ctor->primitive.AsObject() : nullptr;
  if (cache == nullptr) return Value::Null();
  const std::string name = vm.ToString(args[0]);
  if (args[0].IsNullish() || name.empty() ||
      name.find_first_of(kBadNameCharacters) != std::string::npos) {
    return Value::Null();
  }
  const std::string key = name + '\n' + (args.size() > 1 ? vm.ToString(args[1]) : std::string());
  if (Property* p = cache->Properties().Find(key, true)) return p->value;
  Object* shared = vm.NewObject(vm.Get(ctor, "prototype").AsObject());
  vm.SetOwn(shared, "data", vm.NewObject(), kDontDelete);
  Property& entry = cache->Properties().Add(key);
  vm.heap().Charge(sizeof(Property) + key.size());
  entry.value = shared;
  return shared;
}

Value SharedConstruct(Vm& vm, const Arguments& args) {
  return vm.NewObject(args.self.AsObject());
}

void InstallSharedObject(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "flush", ReturnTrue);
  vm.DefineMethod(proto, "getSize", SharedGetSize);
  vm.DefineMethod(proto, "clear", SharedClear);
  vm.DefineMethod(proto, "close", ReturnUndefined);
  FunctionObject* shared = vm.NewClass(proto, ReturnUndefined, SharedConstruct);
  shared->primitive = vm.NewObject(nullptr);
  vm.DefineMethod(shared, "getLocal", SharedGetLocal);
  vm.DefineValue(vm.Global(), "SharedObject", static_cast<Object*>(shared));
}

// --- The stage's entry points ---------------------------------------------------------------

template <typename State>
State* FindState(Vm& vm, std::string_view global, Object*& object) {
  object = RawGlobal(vm, global);
  return StateOf<State>(object);
}

void MouseEvent(Vm& vm, std::string_view event, std::span<const Value> extra = {}) {
  Object* mouse = nullptr;
  if (MouseState* s = FindState<MouseState>(vm, "Mouse", mouse)) {
    RaiseEvent(vm, mouse, s, event, extra);
  }
}

}  // namespace

void SetMouseButton(Vm& vm, uint16_t code, bool down) {
  Object* key = nullptr;
  if (KeyState* s = FindState<KeyState>(vm, "Key", key)) s->down[code & 0xFF] = down;
}

ClipObject* ResolveTarget(Vm& vm, const Value& target) {
  if (target.IsUndefined()) return nullptr;
  if (Object* o = target.AsObject(); o != nullptr && o->AsClip() != nullptr) return o->AsClip();
  const std::string path = vm.ToString(target);
  Activation* act = vm.activations().empty() ? nullptr : vm.activations().back();
  Object* found = vm.ResolvePath(path, act, vm.CurrentClip());
  return found ? found->AsClip() : nullptr;
}

void KeyChanged(Vm& vm, uint16_t code, uint16_t ascii, bool down) {
  Object* key = nullptr;
  KeyState* s = FindState<KeyState>(vm, "Key", key);
  if (s == nullptr) return;
  const size_t index = code & 0xFF;
  if (down && !s->down[index] && IsLockKey(code)) s->toggled.flip(index);
  s->down[index] = down;
  s->code = code;
  s->ascii = ascii;
}

void KeyListenersHear(Vm& vm, bool down) {
  Object* key = nullptr;
  if (KeyState* s = FindState<KeyState>(vm, "Key", key)) {
    RaiseEvent(vm, key, s, down ? "onKeyDown" : "onKeyUp");
  }
}

void KeyPressed(Vm& vm, uint16_t code, uint16_t ascii) {
  KeyChanged(vm, code, ascii, true);
  KeyListenersHear(vm, true);
}
void KeyReleased(Vm& vm, uint16_t code, uint16_t ascii) {
  KeyChanged(vm, code, ascii, false);
  KeyListenersHear(vm, false);
}

void MouseMoved(Vm& vm) {
  MouseEvent(vm, "onMouseMove");
}

void MousePressed(Vm& vm) {
  SetMouseButton(vm, kMouseButtonCode, true);
  MouseEvent(vm, "onMouseDown");
}

void MouseReleased(Vm& vm) {
  SetMouseButton(vm, kMouseButtonCode, false);
  MouseEvent(vm, "onMouseUp");
}

void MouseWheel(Vm& vm, int delta) {
  const Value amount = delta;
  MouseEvent(vm, "onMouseWheel", std::span<const Value>(&amount, 1));
}

namespace {

// The link's call, run as a native function on the clip so that the lookup, which may run
// getters, is part of the budgeted run.
Value CallLinkFunction(Vm& vm, const Arguments& a) {
  Object* clip = a.self.AsObject();
  const std::string call = vm.ToString(a[0]);
  const size_t comma = call.find(',');
  std::string_view name = std::string_view(call).substr(0, comma);
  if (clip == nullptr || name.empty()) return Value();
  std::vector<Value> args;
  if (comma != std::string::npos) args.push_back(vm.Str(call.substr(comma + 1)));
  Object* holder = clip;
  std::string_view path, var;
  if (SplitVariablePath(name, path, var)) {
    holder = vm.ResolvePath(path, nullptr, clip);
    name = var;
  } else if (!vm.Has(clip, name)) {
    holder = vm.Global();
  }
  if (holder == nullptr) return Value();
  const Value function = vm.Get(holder, name);
  if (vm.TypeOf(function) != "function") return Value();
  return vm.Call(function, holder, args);
}

}  // namespace

void FollowAsFunction(Vm& vm, ClipObject* clip, std::string_view call) {
  if (clip == nullptr) return;
  const Value text = vm.Str(call);
  vm.RunCall(static_cast<Object*>(vm.NewNative(CallLinkFunction)), static_cast<Object*>(clip),
             std::span<const Value>(&text, 1));
}

bool PointerHidden(Vm& vm) {
  Object* mouse = nullptr;
  MouseState* s = FindState<MouseState>(vm, "Mouse", mouse);
  return s != nullptr && s->hidden;
}

void ViewportResized(Vm& vm, double width, double height) {
  Object* stage = nullptr;
  StageState* s = FindState<StageState>(vm, "Stage", stage);
  if (s == nullptr || (s->viewport_width == width && s->viewport_height == height)) return;
  s->viewport_width = width;
  s->viewport_height = height;
  if (s->scale_mode == kNoScale) RaiseEvent(vm, stage, s, "onResize");
}

void SetScreenSize(Vm& vm, double width, double height) {
  Object* system = RawGlobal(vm, "System");
  Property* p = system ? system->Properties().Find("capabilities", vm.CaseSensitive()) : nullptr;
  Object* caps = p && p->getter == nullptr ? p->value.AsObject() : nullptr;
  if (caps == nullptr) return;
  try {
    vm.SetOwn(caps, "screenResolutionX", width);
    vm.SetOwn(caps, "screenResolutionY", height);
    vm.SetOwn(caps, "serverString", vm.Str(ServerString(vm, caps)));
  } catch (const ScriptAbort&) {
    // Out of script memory: the old string stays.
  }
}

std::string PlayerVersion() {
  return kVersion;
}

void InstallPlayerObjects(Vm& vm) {
  Object* asb = InstallAsBroadcaster(vm);
  InstallKey(vm, asb);
  InstallMouse(vm, asb);
  InstallStage(vm, asb);
  InstallSystem(vm, asb);
  InstallColor(vm);
  InstallSharedObject(vm);
}

}  // namespace lumen::avm1
