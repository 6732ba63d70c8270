// Camera, Microphone, Video, NetConnection, NetStream, XMLSocket and LocalConnection as a player
// without capture devices or a network has them.
//
// Design: the classes carry the methods movies call; devices and streams answer as absent or
// idle. The player gives a microphone object whose state says it may not be used (muted, no
// activity), and no camera. The properties of a device or a stream are native accessors that
// the class's prototype receives only when a first object of the kind is really made
// (Microphone.get, or a NetStream on a connected NetConnection): objects made otherwise, or
// prototypes replaced by the movie, go without them. LocalConnection reaches only the
// connections of this player's own movies, through a table of names on its constructor.

#include <string>
#include <string_view>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

template <typename State>
State* StateOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<State*>(o->primitive.AsObject()) : nullptr;
}

// Adds read-only accessors to `proto` unless it has them already.
void AddAccessors(Vm& vm, Object* proto,
                  std::span<const std::pair<const char*, NativeFunction>> getters) {
  for (const auto& [name, get] : getters) {
    if (proto->Properties().Find(name, vm.CaseSensitive()) != nullptr) continue;
    vm.SetOwn(proto, name, Value(), kDontEnum | kDontDelete);
    proto->Properties().Find(name, vm.CaseSensitive())->getter = vm.NewNative(get);
  }
}

// --- Camera ---------------------------------------------------------------------------------

void InstallCamera(Vm& vm) {
  Object* proto = vm.NewObject();
  for (const char* name : {"setMode", "setQuality", "setKeyFrameInterval", "setMotionLevel",
                           "setLoopback", "setCursor"}) {
    vm.DefineMethod(proto, name, Nothing);
  }
  FunctionObject* camera = vm.NewClass(proto, Nothing);
  vm.DefineMethod(camera, "get", Null);  // no camera on this machine
  vm.DefineValue(camera, "names", static_cast<Object*>(vm.NewArray()));
  vm.DefineValue(vm.Global(), "Camera", static_cast<Object*>(camera));
}

// --- Microphone -----------------------------------------------------------------------------

class MicrophoneState final : public Object {
 public:
  MicrophoneState() : Object(nullptr) {}
  double gain = 50;
  double rate = 8;
  double silence_level = 10;
  double silence_timeout = 2000;
  Value echo_suppression = 0;  // a number until the movie sets it
};

MicrophoneState* Mic(const Value& self) {
  return StateOf<MicrophoneState>(self);
}

Value MicSetGain(Vm& vm, const Arguments& args) {
  if (MicrophoneState* s = Mic(args.self)) s->gain = vm.ToNumber(args[0]);
  return Value();
}

Value MicSetRate(Vm& vm, const Arguments& args) {
  if (MicrophoneState* s = Mic(args.self)) s->rate = vm.ToNumber(args[0]);
  return Value();
}

Value MicSetSilenceLevel(Vm& vm, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  if (s == nullptr) return Value();
  s->silence_level = vm.ToNumber(args[0]);
  if (args.size() > 1) s->silence_timeout = vm.ToNumber(args[1]);
  return Value();
}

Value MicSetEchoSuppression(Vm& vm, const Arguments& args) {
  if (MicrophoneState* s = Mic(args.self)) s->echo_suppression = vm.ToBoolean(args[0]);
  return Value();
}

Value MicActivity(Vm&, const Arguments& args) {
  return Mic(args.self) ? Value(-1) : Value();
}
Value MicGain(Vm&, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  return s ? Value(s->gain) : Value();
}
Value MicIndex(Vm&, const Arguments& args) {
  return Mic(args.self) ? Value(0) : Value();
}
Value MicMuted(Vm&, const Arguments& args) {
  return Mic(args.self) ? Value(true) : Value();  // the user never allowed it
}
Value MicName(Vm& vm, const Arguments& args) {
  return Mic(args.self) ? vm.Str("") : Value();
}
Value MicRate(Vm&, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  return s ? Value(s->rate) : Value();
}
Value MicSilenceLevel(Vm&, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  return s ? Value(s->silence_level) : Value();
}
Value MicSilenceTimeout(Vm&, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  return s ? Value(s->silence_timeout) : Value();
}
Value MicEchoSuppression(Vm&, const Arguments& args) {
  MicrophoneState* s = Mic(args.self);
  return s ? s->echo_suppression : Value();
}

// One microphone object per movie, kept in the constructor's `primitive`.
Value MicrophoneGet(Vm& vm, const Arguments& args) {
  Object* ctor = args.self.AsObject();
  if (ctor == nullptr) return Value::Null();
  if (Object* made = ctor->primitive.AsObject()) return made;
  Object* proto = vm.Get(ctor, "prototype").AsObject();
  static constexpr std::pair<const char*, NativeFunction> kGetters[] = {
      {"activityLevel", MicActivity},
      {"gain", MicGain},
      {"index", MicIndex},
      {"muted", MicMuted},
      {"name", MicName},
      {"rate", MicRate},
      {"silenceLevel", MicSilenceLevel},
      {"silenceTimeout", MicSilenceTimeout},
      {"useEchoSuppression", MicEchoSuppression}};
  if (proto != nullptr) AddAccessors(vm, proto, kGetters);
  Object* mic = vm.NewObject(proto);
  mic->primitive = static_cast<Object*>(vm.heap().Make<MicrophoneState>());
  ctor->primitive = mic;
  return mic;
}

void InstallMicrophone(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "setGain", MicSetGain);
  vm.DefineMethod(proto, "setRate", MicSetRate);
  vm.DefineMethod(proto, "setSilenceLevel", MicSetSilenceLevel);
  vm.DefineMethod(proto, "setUseEchoSuppression", MicSetEchoSuppression);
  FunctionObject* mic = vm.NewClass(proto, Nothing);
  vm.DefineMethod(mic, "get", MicrophoneGet);
  vm.DefineValue(mic, "names", static_cast<Object*>(vm.NewArray()));
  vm.DefineValue(vm.Global(), "Microphone", static_cast<Object*>(mic));
}

// --- Video ----------------------------------------------------------------------------------

void InstallVideo(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().video_proto = proto;
  vm.DefineMethod(proto, "attachVideo", Nothing);
  vm.DefineMethod(proto, "clear", Nothing);
  vm.DefineValue(vm.Global(), "Video", static_cast<Object*>(vm.NewClass(proto, Nothing)));
}

// --- NetConnection --------------------------------------------------------------------------

class ConnectionState final : public Object {
 public:
  ConnectionState() : Object(nullptr) {}
  enum class Kind : uint8_t { Closed, Local, Server };
  Kind kind = Kind::Closed;
};

ConnectionState* Connection(const Value& v) {
  return StateOf<ConnectionState>(v);
}

// onStatus(info), or onStatus() when `code` is empty.
void NotifyStatus(Vm& vm, const Value& target, std::string_view level, std::string_view code) {
  Value info;
  if (!code.empty()) {
    Object* o = vm.NewObject();
    vm.SetOwn(o, "level", vm.Str(level));
    vm.SetOwn(o, "code", vm.Str(code));
    info = o;
  }
  vm.CallMethod(target, "onStatus", code.empty() ? std::span<const Value>() : std::span(&info, 1));
}

// Closing reports it; a server connection still under way also reports that its attempt ended,
// without details.
void CloseConnection(Vm& vm, const Value& self, ConnectionState& s) {
  const ConnectionState::Kind was = s.kind;
  if (was == ConnectionState::Kind::Closed) return;
  s.kind = ConnectionState::Kind::Closed;
  vm.SetOwn(self.AsObject(), "isConnected", false, kDontEnum);
  NotifyStatus(vm, self, "status", "NetConnection.Connect.Closed");
  if (was == ConnectionState::Kind::Server) NotifyStatus(vm, self, "", "");
}

// connect(null) opens the local connection that plays files at once; a server is never reached
// on this machine, so its attempt stays under way until closed.
Value ConnectionConnect(Vm& vm, const Arguments& args) {
  ConnectionState* s = Connection(args.self);
  if (s == nullptr) return Value();
  CloseConnection(vm, args.self, *s);
  if (!args[0].IsNull()) {
    s->kind = ConnectionState::Kind::Server;
    return false;
  }
  s->kind = ConnectionState::Kind::Local;
  vm.SetOwn(args.self.AsObject(), "isConnected", true, kDontEnum);
  NotifyStatus(vm, args.self, "status", "NetConnection.Connect.Success");
  return true;
}

Value ConnectionClose(Vm& vm, const Arguments& args) {
  if (ConnectionState* s = Connection(args.self)) CloseConnection(vm, args.self, *s);
  return Value();
}

Value ConnectionConstruct(Vm& vm, const Arguments& args) {
  Object* connection = vm.NewObject(args.self.AsObject());
  connection->primitive = static_cast<Object*>(vm.heap().Make<ConnectionState>());
  return connection;
}

// Through super(), a subclass instance becomes a connection, and says it is closed; the call
// answers nothing.
Value ConnectionCall(Vm& vm, const Arguments& args) {
  if (Object* o = SuperTarget(vm, args.self)) {
    o->primitive = static_cast<Object*>(vm.heap().Make<ConnectionState>());
    vm.SetOwn(o, "isConnected", false, kDontEnum);
  }
  return Value();
}

void InstallNetConnection(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "connect", ConnectionConnect);
  vm.DefineMethod(proto, "close", ConnectionClose);
  vm.DefineMethod(proto, "call", Nothing);
  vm.DefineMethod(proto, "addHeader", Nothing);
  vm.DefineValue(vm.Global(), "NetConnection",
                 static_cast<Object*>(vm.NewClass(proto, ConnectionCall, ConnectionConstruct)));
}

// --- NetStream ------------------------------------------------------------------------------

class StreamState final : public Object {
 public:
  StreamState() : Object(nullptr) {}
  double buffer_time = 0.1;
};

StreamState* Stream(const Value& self) {
  return StateOf<StreamState>(self);
}

Value StreamSetBufferTime(Vm& vm, const Arguments& args) {
  if (StreamState* s = Stream(args.self)) s->buffer_time = vm.ToNumber(args[0]);
  return Value();
}

Value StreamZero(Vm&, const Arguments& args) {
  return Stream(args.self) ? Value(0) : Value();
}
Value StreamBufferTime(Vm&, const Arguments& args) {
  StreamState* s = Stream(args.self);
  return s ? Value(s->buffer_time) : Value();
}

Value StreamConstruct(Vm& vm, const Arguments& args) {
  Object* stream = vm.NewObject(args.self.AsObject());
  const ConnectionState* connection = Connection(args[0]);
  if (connection == nullptr || connection->kind != ConnectionState::Kind::Local) return stream;
  static constexpr std::pair<const char*, NativeFunction> kGetters[] = {
      {"time", StreamZero},         {"currentFps", StreamZero},
      {"bufferLength", StreamZero}, {"bufferTime", StreamBufferTime},
      {"liveDelay", StreamZero},    {"bytesLoaded", StreamZero},
      {"bytesTotal", StreamZero}};
  if (Object* proto = args.self.AsObject()) AddAccessors(vm, proto, kGetters);
  stream->primitive = static_cast<Object*>(vm.heap().Make<StreamState>());
  return stream;
}

void InstallNetStream(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "setBufferTime", StreamSetBufferTime);
  for (const char* name : {"close", "pause", "play", "seek", "receiveAudio", "receiveVideo",
                           "attachAudio", "attachVideo", "publish", "send"}) {
    vm.DefineMethod(proto, name, Nothing);
  }
  vm.DefineValue(vm.Global(), "NetStream",
                 static_cast<Object*>(vm.NewClass(proto, Nothing, StreamConstruct)));
}

// --- XMLSocket ------------------------------------------------------------------------------

// No server answers on this machine.
Value Unreachable(Vm&, const Arguments&) {
  return false;
}

// The data a socket received, parsed and handed to onXML.
Value SocketOnData(Vm& vm, const Arguments& args) {
  const Value source = args[0];
  const Value xml = vm.Construct(vm.Get(vm.Global(), "XML"), {&source, 1});
  vm.CallMethod(args.self, "onXML", {&xml, 1});
  return Value();
}

void InstallXmlSocket(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "connect", Unreachable);
  vm.DefineMethod(proto, "send", Nothing);
  vm.DefineMethod(proto, "close", Nothing);
  vm.DefineMethod(proto, "onData", SocketOnData);
  vm.DefineValue(vm.Global(), "XMLSocket", static_cast<Object*>(vm.NewClass(proto, Nothing)));
}

// --- LocalConnection ------------------------------------------------------------------------

// The connections listening in this player, by name in lower case: names ignore letter case.
Object* Listening(Vm& vm) {
  Object* ctor = vm.Get(vm.Global(), "LocalConnection").AsObject();
  return ctor ? ctor->primitive.AsObject() : nullptr;
}

std::string ConnectionKey(Vm& vm, const Value& name) {
  std::string key = vm.ToString(name);
  for (char& c : key) c = FoldAscii(c);
  return key;
}

Value LocalConnect(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  Object* table = Listening(vm);
  if (self == nullptr || table == nullptr || !args[0].IsString() || args[0].AsString().empty()) {
    return false;
  }
  const std::string key = ConnectionKey(vm, args[0]);
  if (table->Properties().Find(key, true) != nullptr) return false;
  for (const Property& p : table->Properties().Entries()) {
    if (p.value.AsObject() == self) return false;  // already listening under another name
  }
  vm.SetOwn(table, key, self);
  return true;
}

Value LocalClose(Vm& vm, const Arguments& args) {
  Object* table = Listening(vm);
  if (table == nullptr) return Value();
  for (const Property& p : table->Properties().Entries()) {
    if (p.value.AsObject() != args.self.AsObject()) continue;
    const std::string key = p.name;
    table->Properties().Erase(key, true);
    break;
  }
  return Value();
}

// send(name, method, args...): the receiver's method runs later, as if from another movie.
Value LocalSend(Vm& vm, const Arguments& args) {
  Object* table = Listening(vm);
  if (table == nullptr || args.size() < 2 || !args[0].IsString() || !args[1].IsString()) {
    return false;
  }
  if (Property* receiver = table->Properties().Find(ConnectionKey(vm, args[0]), true)) {
    std::vector<Value> rest(args.values.begin() + 2, args.values.end());
    vm.AddTimer(Value(), receiver->value, args[1].AsString(), std::move(rest), 0, false);
  }
  return true;
}

Value LocalDomain(Vm& vm, const Arguments&) {
  return vm.Str("localhost");
}

// It keeps nothing on the instance: super() just gets `this` back.
Value LocalCall(Vm& vm, const Arguments& args) {
  Object* o = SuperTarget(vm, args.self);
  return o ? Value(o) : Value();
}

void InstallLocalConnection(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "connect", LocalConnect);
  vm.DefineMethod(proto, "send", LocalSend);
  vm.DefineMethod(proto, "close", LocalClose);
  vm.DefineMethod(proto, "domain", LocalDomain);
  FunctionObject* ctor = vm.NewClass(proto, LocalCall);
  ctor->primitive = vm.NewObject(nullptr);
  vm.DefineValue(vm.Global(), "LocalConnection", static_cast<Object*>(ctor));
  vm.Global()->Properties().Find("LocalConnection", vm.CaseSensitive())->min_version = 6;
}

}  // namespace

void InstallMediaClasses(Vm& vm) {
  InstallCamera(vm);
  InstallMicrophone(vm);
  InstallVideo(vm);
  InstallNetConnection(vm);
  InstallNetStream(vm);
  InstallXmlSocket(vm);
  InstallLocalConnection(vm);
}

}  // namespace lumen::avm1
