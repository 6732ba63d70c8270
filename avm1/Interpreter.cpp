// Design: one loop decodes and runs action records straight from the movie's bytes; nothing is
// compiled ahead. Blocks that actions carry behind them (function bodies, `with`, `try`) run as
// nested calls on the same bytes, so a jump that leaves its block ends that block, as in the
// reference player. The operand stack is the engine's and reading below a frame's base yields
// undefined. Every record is bounds-checked against its block; a damaged record ends the block.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "avm1/Activation.h"
#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Names.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {

using namespace unicode;

namespace {

constexpr int32_t kDepthBias = 16384;

class Operands {
 public:
  explicit Operands(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  uint8_t U8() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | U8() << 8);
  }
  int16_t S16() { return static_cast<int16_t>(U16()); }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | static_cast<uint32_t>(U16()) << 16;
  }
  std::string_view String() {
    const size_t start = std::min(pos_, bytes_.size());
    size_t end = start;
    while (end < bytes_.size() && bytes_[end] != 0) ++end;
    pos_ = end + 1;
    return {reinterpret_cast<const char*>(bytes_.data()) + start, end - start};
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
};

class Machine {
 public:
  explicit Machine(Activation& act) : act_(act), vm_(act.vm), stack_(act.vm.stack()) {}
  Completion Run(std::span<const uint8_t> code);

 private:
  Value Pop() {
    if (stack_.size() <= act_.stack_base) return Value();
    Value v = stack_.back();
    stack_.pop_back();
    return v;
  }
  Value Top() { return stack_.size() > act_.stack_base ? stack_.back() : Value(); }
  void Push(const Value& v) { stack_.push_back(v); }
  double PopNumber() { return vm_.ToNumber(Pop()); }
  std::string PopString() { return vm_.ToString(Pop()); }
  std::vector<Value> PopArgs();
  // A string of the code being run.
  Value Text(std::string_view bytes) { return vm_.CodeString(bytes, act_.version >= 6); }

  // One record; false ends the block. `next` is where the following record starts.
  bool Step(uint8_t op, Operands in, std::span<const uint8_t> code, size_t& next, Completion& done);
  bool FrameValueLoaded(const Value& frame);
  void DoPush(Operands in);
  void DoArithmetic(uint8_t op);
  void DoStringOp(uint8_t op);
  void DoBitOp(uint8_t op);
  bool DoControl(uint8_t op, Operands in);
  void DoGotoFrame2(Operands in);
  void DoGetUrl2(Operands in);
  void DoCallFunction();
  void DoCallMethod();
  void DoNewMethod();
  void DoEnumerate(const Value& target);
  void DoDefineFunction(Operands in, bool v2, std::span<const uint8_t> code, size_t& next);
  Completion DoWith(Operands in, std::span<const uint8_t> code, size_t& next);
  Completion DoTry(Operands in, std::span<const uint8_t> code, size_t& next);
  void DoExtends();
  void DoImplements();
  void DoInitObject();
  void DoInitArray();
  void SetTarget(ClipObject* target);
  ClipObject* TargetFromValue(const Value& v);
  ClipObject* MissingTarget();

  Value GetVariable(std::string_view name, Object** holder = nullptr);
  void SetVariable(std::string_view name, const Value& value);
  // A function's `var` stays for the call: delete leaves it.
  void KeepLocal(std::string_view name);
  bool WithTakes(Object* object, std::string_view name);
  Scope* CapturedScope();
  ClipLink* TargetLink() { return act_.target ? act_.target->Link() : nullptr; }
  // Goto with a frame number or label value, as GotoFrame2 and the clip methods take them.
  void GotoValue(ClipObject* clip, const Value& frame, bool play, uint16_t bias);

  Activation& act_;
  Vm& vm_;
  std::vector<Value>& stack_;
};

Completion Machine::Run(std::span<const uint8_t> code) {
  Completion done;
  size_t pc = 0;
  // An unload handler runs for a clip already gone; other frame scripts end when theirs goes.
  const bool linked = act_.base_target != nullptr && act_.base_target->Link() != nullptr;
  while (pc < code.size()) {
    vm_.CheckBudget();
    const uint8_t op = code[pc];
    if (op == 0) break;
    size_t next = pc + 1;
    std::span<const uint8_t> operands;
    if (op >= 0x80) {
      if (pc + 3 > code.size()) break;
      const size_t length = code[pc + 1] | code[pc + 2] << 8;
      next = pc + 3 + length;
      if (next > code.size()) break;
      operands = code.subspan(pc + 3, length);
    }
    if (!Step(op, Operands(operands), code, next, done)) break;
    if (done.returned) return done;
    // A frame script stops once its own clip has left the stage.
    if (act_.callee == nullptr && linked && act_.base_target->Link() == nullptr) {
      break;
    }
    if (next > code.size()) break;
    pc = next;
  }
  return done;
}

namespace {

// The whole movie is loaded, yet the player counts no frame past 16000 (0-based) as loaded.
bool FrameLoaded(int64_t frame) {
  constexpr int64_t kLastLoadable = 16000;
  return frame <= kLastLoadable;
}

// Where the action `count` actions after the one at `pc` starts.
size_t SkipActions(std::span<const uint8_t> code, size_t pc, size_t count) {
  for (; count > 0 && pc < code.size(); --count) {
    if (code[pc] < 0x80) {
      ++pc;
    } else {
      if (pc + 3 > code.size()) return code.size();
      pc += 3 + (code[pc + 1] | code[pc + 2] << 8);
    }
  }
  return pc;
}

}  // namespace

// WaitForFrame2's frame: a whole number counts from 1 (wrapping as 32-bit integers); anything
// else names a label, and labels are always loaded.
bool Machine::FrameValueLoaded(const Value& frame) {
  double n = vm_.ToNumber(frame);
  if (frame.IsString() && !std::isfinite(n)) return true;
  if (!std::isfinite(n) || n != std::trunc(n)) return true;
  const auto number =
      static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(std::fmod(n, 4294967296.0))));
  return FrameLoaded(static_cast<int32_t>(static_cast<uint32_t>(number) - 1u));
}

bool Machine::Step(uint8_t op, Operands in, std::span<const uint8_t> code, size_t& next,
                   Completion& done) {
  switch (op) {
    case 0x8A: {  // WaitForFrame: skips actions while the frame is not loaded
      const uint16_t frame = in.U16();
      const uint8_t skip = in.U8();
      if (!FrameLoaded(frame)) next = SkipActions(code, next, skip);
      return true;
    }
    case 0x8D: {  // WaitForFrame2
      const uint8_t skip = in.U8();
      if (!FrameValueLoaded(Pop())) next = SkipActions(code, next, skip);
      return true;
    }
    case 0x96:
      DoPush(in);
      return true;
    case 0x17:
      Pop();
      return true;
    case 0x4C:
      Push(Top());
      return true;
    case 0x4D: {
      Value a = Pop();
      Value b = Pop();
      Push(a);
      Push(b);
      return true;
    }
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
    case 0x10:
    case 0x11:
    case 0x12:
    case 0x18:
    case 0x3F:
    case 0x47:
    case 0x48:
    case 0x49:
    case 0x4A:
    case 0x4B:
    case 0x50:
    case 0x51:
    case 0x66:
    case 0x67:
      DoArithmetic(op);
      return true;
    case 0x13:
    case 0x14:
    case 0x15:
    case 0x21:
    case 0x29:
    case 0x31:
    case 0x32:
    case 0x33:
    case 0x35:
    case 0x36:
    case 0x37:
    case 0x68:
      DoStringOp(op);
      return true;
    case 0x60:
    case 0x61:
    case 0x62:
    case 0x63:
    case 0x64:
    case 0x65:
      DoBitOp(op);
      return true;
    case 0x99: {  // Jump
      const int16_t offset = in.S16();
      const long target = static_cast<long>(next) + offset;
      if (target < 0 || target > static_cast<long>(code.size())) return false;
      next = static_cast<size_t>(target);
      return true;
    }
    case 0x9D: {  // If
      const int16_t offset = in.S16();
      if (vm_.ToBoolean(Pop())) {
        const long target = static_cast<long>(next) + offset;
        if (target < 0 || target > static_cast<long>(code.size())) return false;
        next = static_cast<size_t>(target);
      }
      return true;
    }
    case 0x1C: {
      const std::string name = PopString();
      Push(GetVariable(name));
      return true;
    }
    case 0x1D: {
      Value value = Pop();
      const std::string name = PopString();
      SetVariable(name, value);
      return true;
    }
    case 0x4E: {  // GetMember
      Value name = Pop();
      Value object = Pop();
      Push(vm_.GetMember(object, vm_.ToString(name)));
      return true;
    }
    case 0x4F: {  // SetMember
      Value value = Pop();
      Value name = Pop();
      Value object = Pop();
      vm_.SetMember(object, vm_.ToString(name), value);
      return true;
    }
    case 0x3A: {  // Delete
      const std::string name = PopString();
      Object* object = Pop().AsObject();
      Push(object != nullptr && vm_.Delete(object, name));
      return true;
    }
    case 0x3B: {  // Delete2
      const std::string name = PopString();
      bool deleted = false;
      std::string_view path, var;
      if (SplitVariablePath(name, path, var)) {  // a variable a path leads to
        Object* o = vm_.ResolvePath(path, &act_, act_.target);
        // The player names what a path that leads to no object should have given.
        if (o == nullptr) {
          vm_.bridge().Trace(
              "Parameters of primitive types are no longer coerced into the required type - "
              "Object.");
        }
        Push(o != nullptr && vm_.Delete(o, var));
        return true;
      }
      for (Scope* s = act_.scope; s != nullptr; s = s->parent) {
        if (s->object != nullptr && vm_.Has(s->object, name)) {
          deleted = vm_.Delete(s->object, name);
          break;
        }
      }
      Push(deleted);
      return true;
    }
    case 0x3C: {  // DefineLocal
      Value value = Pop();
      const std::string name = PopString();
      Object* scope = act_.locals ? act_.locals : static_cast<Object*>(act_.target);
      if (scope != nullptr) vm_.Set(scope, name, value);
      KeepLocal(name);
      return true;
    }
    case 0x41: {  // DefineLocal2
      const std::string name = PopString();
      Object* scope = act_.locals ? act_.locals : static_cast<Object*>(act_.target);
      if (scope != nullptr && !vm_.HasOwn(scope, name)) vm_.SetOwn(scope, name, Value());
      KeepLocal(name);
      return true;
    }
    case 0x3D:
      DoCallFunction();
      return true;
    case 0x52:
      DoCallMethod();
      return true;
    case 0x40: {  // NewObject
      const std::string name = PopString();
      std::vector<Value> args = PopArgs();
      // Movies before version 5 construct nothing; the player warns instead.
      if (vm_.Version() < 5) {
        vm_.Warn(name + " is not a function");
        Push(Value());
        return true;
      }
      Push(vm_.Construct(GetVariable(name), args));
      return true;
    }
    case 0x53:
      DoNewMethod();
      return true;
    case 0x3E:  // Return
      done.returned = true;
      done.value = Pop();
      return true;
    case 0x42:
      DoInitArray();
      return true;
    case 0x43:
      DoInitObject();
      return true;
    case 0x44:
      Push(vm_.Str(vm_.TypeOf(Pop())));
      return true;
    case 0x45: {  // TargetPath
      Value v = Pop();
      Object* o = v.AsObject();
      if (o != nullptr && o->AsClip() != nullptr) {
        Push(vm_.Str(vm_.TargetPath(o->AsClip())));
      } else if (o != nullptr && o->AsField() != nullptr && o->AsField()->Link() != nullptr) {
        Push(vm_.Str(vm_.ToString(v)));  // a field's path is its string
      } else {
        Push(Value());
      }
      return true;
    }
    case 0x46: {  // Enumerate
      const std::string name = PopString();
      DoEnumerate(GetVariable(name));
      return true;
    }
    case 0x55:
      DoEnumerate(Pop());
      return true;
    case 0x54: {  // InstanceOf
      Value ctor = Pop();
      Value object = Pop();
      Push(vm_.InstanceOf(object, ctor.AsObject()));
      return true;
    }
    case 0x2B: {  // CastOp
      Value object = Pop();
      Value ctor = Pop();
      Push(vm_.InstanceOf(object, ctor.AsObject()) ? object : Value::Null());
      return true;
    }
    case 0x2C:
      DoImplements();
      return true;
    case 0x69:
      DoExtends();
      return true;
    case 0x2A:  // Throw
      vm_.Throw(Pop());
    case 0x87: {  // StoreRegister
      const uint8_t r = in.U8();
      if (Value* slot = act_.Register(r)) *slot = Top();
      return true;
    }
    case 0x88: {  // ConstantPool
      const uint16_t count = in.U16();
      auto* pool = vm_.heap().Make<ConstantPool>();
      for (uint16_t i = 0; i < count && !in.AtEnd(); ++i) {
        pool->strings.push_back(Text(in.String()).AsStringCell());
      }
      act_.pool = pool;
      return true;
    }
    case 0x9B:
    case 0x8E:
      DoDefineFunction(in, op == 0x8E, code, next);
      return true;
    case 0x94: {
      Completion c = DoWith(in, code, next);
      if (c.returned) done = c;
      return true;
    }
    case 0x8F: {
      Completion c = DoTry(in, code, next);
      if (c.returned) done = c;
      return true;
    }
    case 0x26: {  // Trace
      Value v = Pop();
      vm_.bridge().Trace(v.IsUndefined() ? std::string("undefined") : vm_.ToString(v));
      return true;
    }
    case 0x34:
      Push(std::floor(vm_.Now()));
      return true;
    case 0x30: {  // RandomNumber
      const double max = PopNumber();
      const double n = std::isfinite(max) && max > 0 ? std::min(max, 4294967295.0) : 0;
      Push(n >= 1 ? static_cast<double>(vm_.Random(static_cast<uint32_t>(n))) : 0.0);
      return true;
    }
    default:
      return DoControl(op, in);
  }
}

std::vector<Value> Machine::PopArgs() {
  const double n = PopNumber();
  std::vector<Value> args;
  if (!(n > 0)) return args;
  const size_t available = stack_.size() - act_.stack_base;
  const size_t count = std::min(static_cast<size_t>(std::min(n, 65536.0)), available);
  args.reserve(count);
  for (size_t i = 0; i < count; ++i) args.push_back(Pop());
  return args;
}

void Machine::DoPush(Operands in) {
  while (!in.AtEnd()) {
    const uint8_t type = in.U8();
    switch (type) {
      case 0:
        Push(Text(in.String()));
        break;
      case 1: {
        const uint32_t bits = in.U32();
        float f;
        std::memcpy(&f, &bits, 4);
        Push(static_cast<double>(f));
        break;
      }
      case 2:
        Push(Value::Null());
        break;
      case 3:
        Push(Value());
        break;
      case 4: {
        const uint8_t r = in.U8();
        const Value* slot = act_.Register(r);
        Push(slot ? *slot : Value());
        break;
      }
      case 5:
        Push(in.U8() != 0);
        break;
      case 6: {
        const uint64_t hi = in.U32();
        const uint64_t lo = in.U32();
        const uint64_t bits = hi << 32 | lo;
        double d;
        std::memcpy(&d, &bits, 8);
        Push(d);
        break;
      }
      case 7:
        Push(static_cast<double>(static_cast<int32_t>(in.U32())));
        break;
      case 8:
      case 9: {
        const uint16_t index = type == 8 ? in.U8() : in.U16();
        if (act_.pool != nullptr && index < act_.pool->strings.size()) {
          Push(act_.pool->strings[index]);
        } else {
          Push(Value());
        }
        break;
      }
      default:
        return;  // an unknown type: the rest of the record cannot be read
    }
  }
}

void Machine::DoArithmetic(uint8_t op) {
  const bool swf4 = act_.version < 5;
  switch (op) {
    case 0x12:  // Not
      Push(!vm_.ToBoolean(Pop()));
      return;
    case 0x18:  // ToInteger: wraps to 32 bits, NaN and infinities giving 0
      Push(static_cast<double>(vm_.ToInt32(Pop())));
      return;
    case 0x4A:
      Push(PopNumber());
      return;
    case 0x4B:
      Push(vm_.ToStringValue(Pop()));
      return;
    case 0x50:
      Push(PopNumber() + 1);
      return;
    case 0x51:
      Push(PopNumber() - 1);
      return;
    default:
      break;
  }
  Value a = Pop();
  Value b = Pop();
  switch (op) {
    case 0x0A:
      Push(vm_.ToNumber(b) + vm_.ToNumber(a));
      return;
    case 0x0B:
      Push(vm_.ToNumber(b) - vm_.ToNumber(a));
      return;
    case 0x0C:
      Push(vm_.ToNumber(b) * vm_.ToNumber(a));
      return;
    case 0x0D: {
      const double d = vm_.ToNumber(a);
      if (swf4 && d == 0) {
        Push(vm_.Str("#ERROR#"));
      } else {
        Push(vm_.ToNumber(b) / d);
      }
      return;
    }
    case 0x0E: {
      const double x = vm_.ToNumber(b);
      const double y = vm_.ToNumber(a);
      Push(x == y);
      return;
    }
    case 0x0F: {
      const double x = vm_.ToNumber(b);
      const double y = vm_.ToNumber(a);
      Push(x < y);
      return;
    }
    case 0x10:
      Push(vm_.ToBoolean(b) && vm_.ToBoolean(a));
      return;
    case 0x11:
      Push(vm_.ToBoolean(b) || vm_.ToBoolean(a));
      return;
    case 0x3F: {
      Push(std::fmod(vm_.ToNumber(b), vm_.ToNumber(a)));
      return;
    }
    case 0x47: {  // Add2
      Value pa = vm_.ToPrimitive(a);
      Value pb = vm_.ToPrimitive(b);
      // An object that stays one after valueOf counts as a number (NaN) unless the other side
      // is a string.
      if (pa.IsString() || pb.IsString()) {
        Push(vm_.Str(vm_.ToString(pb) + vm_.ToString(pa)));
      } else {
        Push(vm_.ToNumber(pb) + vm_.ToNumber(pa));
      }
      return;
    }
    case 0x48:
      Push(vm_.Less(b, a));
      return;
    case 0x67:
      Push(vm_.Less(a, b));
      return;
    case 0x49:
      Push(vm_.LooseEquals(b, a));
      return;
    case 0x66:
      Push(vm_.StrictEquals(b, a));
      return;
    default:
      return;
  }
}

void Machine::DoStringOp(uint8_t op) {
  switch (op) {
    case 0x14: {  // StringLength
      const std::string s = PopString();
      Push(static_cast<double>(act_.version >= 6 ? ToUtf16(s).size() : s.size()));
      return;
    }
    case 0x31: {
      Push(static_cast<double>(ToUtf16(PopString()).size()));
      return;
    }
    case 0x32:
    case 0x36: {  // CharToAscii
      const std::u16string s = ToUtf16(PopString());
      Push(s.empty() ? 0.0 : static_cast<double>(s[0]));
      return;
    }
    case 0x33:
    case 0x37: {  // AsciiToChar
      const double code = PopNumber();
      std::string out;
      const auto c = static_cast<uint32_t>(ToInt32(std::isfinite(code) ? code : 0)) & 0xFFFF;
      if (c != 0) AppendUtf8(out, c);
      Push(vm_.Str(out));
      return;
    }
    case 0x15:
    case 0x35: {  // StringExtract: count, index (1-based), string
      const double count = PopNumber();
      const double index = PopNumber();
      const std::u16string s = ToUtf16(PopString());
      const double start = std::isfinite(index) ? std::max(index - 1, 0.0) : 0;
      const size_t from = std::min<size_t>(static_cast<size_t>(std::min(start, 1e9)), s.size());
      size_t n = s.size() - from;
      // Compared as doubles first: a huge count does not fit a size_t.
      if (std::isfinite(count) && count >= 0 && count < static_cast<double>(n)) {
        n = static_cast<size_t>(count);
      }
      Push(vm_.Str(ToUtf8(std::u16string_view(s).substr(from, n))));
      return;
    }
    default:
      break;
  }
  const std::string a = PopString();
  const std::string b = PopString();
  switch (op) {
    case 0x13:
      Push(b == a);
      return;
    case 0x21:
      Push(vm_.Str(b + a));
      return;
    case 0x29:
      Push(ToUtf16(b) < ToUtf16(a));
      return;
    case 0x68:
      Push(ToUtf16(b) > ToUtf16(a));
      return;
    default:
      return;
  }
}

void Machine::DoBitOp(uint8_t op) {
  const int32_t a = vm_.ToInt32(Pop());
  const int32_t b = vm_.ToInt32(Pop());
  const auto ub = static_cast<uint32_t>(b);
  const int shift = a & 31;
  switch (op) {
    case 0x60:
      Push(static_cast<double>(b & a));
      return;
    case 0x61:
      Push(static_cast<double>(b | a));
      return;
    case 0x62:
      Push(static_cast<double>(b ^ a));
      return;
    case 0x63:
      Push(static_cast<double>(static_cast<int32_t>(ub << shift)));
      return;
    case 0x64:
      Push(static_cast<double>(b >> shift));
      return;
    case 0x65: {
      const uint32_t r = ub >> shift;
      // Version 8 and 9 movies read the unsigned result back as signed.
      const bool as_signed = act_.version == 8 || act_.version == 9;
      Push(as_signed ? static_cast<double>(static_cast<int32_t>(r)) : static_cast<double>(r));
      return;
    }
    default:
      return;
  }
}

bool Machine::DoControl(uint8_t op, Operands in) {
  ClipLink* link = TargetLink();
  switch (op) {
    case 0x04:
      if (link) link->GotoFrame(link->CurrentFrame(), false);
      return true;
    case 0x05:
      if (link && link->CurrentFrame() > 1) link->GotoFrame(link->CurrentFrame() - 2, false);
      return true;
    case 0x06:
      if (link) link->Play();
      return true;
    case 0x07:
      if (link) link->Stop();
      return true;
    case 0x08:
      vm_.bridge().ToggleQuality();
      return true;
    case 0x09:
      vm_.bridge().StopSounds();
      return true;
    case 0x81: {
      const uint16_t frame = in.U16();
      if (link) link->GotoFrame(frame, false);
      return true;
    }
    case 0x8C: {
      const std::string_view label = in.String();
      if (link) {
        const long frame = link->FindLabel(label);
        if (frame >= 0) link->GotoFrame(static_cast<size_t>(frame), false);
      }
      return true;
    }
    case 0x83: {
      const std::string_view url = in.String();
      const std::string_view target = in.String();
      if (LevelNumber(target)) {
        vm_.LoadMovie(url, target, &act_, act_.target);
      } else {
        vm_.bridge().GetUrl(url, target);
      }
      return true;
    }
    case 0x9A:
      DoGetUrl2(in);
      return true;
    case 0x8B: {
      const std::string path(in.String());
      if (path.empty()) {
        SetTarget(act_.base_target);
      } else {
        Object* o = vm_.ResolvePath(path, &act_, act_.target);
        SetTarget(o && o->AsClip() ? o->AsClip() : MissingTarget());
      }
      return true;
    }
    case 0x20: {  // SetTarget2: an empty path goes back to the script's own clip
      const Value path = Pop();
      if (path.IsString() && path.AsString().empty()) {
        SetTarget(act_.base_target);
        return true;
      }
      ClipObject* target = TargetFromValue(path);
      SetTarget(target ? target : MissingTarget());
      return true;
    }
    case 0x9F:
      DoGotoFrame2(in);
      return true;
    case 0x9E: {  // Call
      const std::string frame = PopString();
      std::string_view name = frame;
      ClipObject* clip = act_.target;
      const size_t colon = name.rfind(':');
      if (colon != std::string_view::npos) {
        Object* o = vm_.ResolvePath(name.substr(0, colon), &act_, act_.target);
        clip = o ? o->AsClip() : nullptr;
        name = name.substr(colon + 1);
      }
      ClipLink* l = clip ? clip->Link() : nullptr;
      if (l == nullptr) return true;
      long f = l->FindLabel(name);
      if (f < 0) {
        const double n = StringToNumber(name, NumberDialect::Swf6);
        if (std::isfinite(n) && n >= 1) f = static_cast<long>(std::min(n, 1e9)) - 1;
      }
      if (f >= 0 && static_cast<size_t>(f) < l->TotalFrames()) l->CallFrame(static_cast<size_t>(f));
      return true;
    }
    case 0x22: {  // GetProperty
      const double index = PopNumber();
      ClipObject* clip = TargetFromValue(Pop());
      const int i = std::isfinite(index) ? static_cast<int>(std::clamp(index, -1.0, 1e6)) : -1;
      if (clip == nullptr || i < 0 || i >= static_cast<int>(ClipProperty::Count)) {
        Push(Value());
      } else {
        Push(GetClipProperty(vm_, *clip, static_cast<ClipProperty>(i)));
      }
      return true;
    }
    case 0x23: {  // SetProperty
      Value value = Pop();
      const double index = PopNumber();
      ClipObject* clip = TargetFromValue(Pop());
      const int i = std::isfinite(index) ? static_cast<int>(std::clamp(index, -1.0, 1e6)) : -1;
      if (clip != nullptr && i >= 0 && i < static_cast<int>(ClipProperty::Count)) {
        SetClipProperty(vm_, *clip, static_cast<ClipProperty>(i), value);
      }
      return true;
    }
    case 0x24: {  // CloneSprite
      const double depth = PopNumber();
      const std::string name = PopString();
      ClipObject* source = TargetFromValue(Pop());
      // Depths beyond what a clip may take are refused by Duplicate; these stay in range.
      if (source && source->Link() && std::isfinite(depth)) {
        const double inside = std::clamp(depth, -2147483648.0 + kDepthBias, 2147483647.0);
        vm_.bridge().Construct(
            source->Link()->Duplicate(name, static_cast<int32_t>(inside) - kDepthBias));
      }
      return true;
    }
    case 0x25: {  // RemoveSprite
      const Value target = Pop();
      FieldObject* field = target.IsObject() ? target.AsObject()->AsField() : nullptr;
      if (field != nullptr) {
        if (field->Link()) field->Link()->Remove();
        return true;
      }
      ClipObject* clip = TargetFromValue(target);
      if (clip && clip->Link()) clip->Link()->Remove();
      return true;
    }
    case 0x27: {  // StartDrag
      Pop();
      Pop();
      if (vm_.ToBoolean(Pop())) {
        for (int i = 0; i < 4; ++i) Pop();
      }
      return true;
    }
    case 0x28:
      return true;
    default:
      return true;  // unknown records are skipped
  }
}

ClipObject* Machine::TargetFromValue(const Value& v) {
  // Other objects name their target by their string.
  if (Object* o = v.AsObject(); o && o->AsClip()) return o->AsClip();
  const std::string path = vm_.ToString(v);
  if (path.empty()) return act_.target;
  Object* o = vm_.ResolvePath(path, &act_, act_.target);
  return o ? o->AsClip() : nullptr;
}

// A target that is not there: movies up to version 6 then talk to their root, later ones to
// nothing.
ClipObject* Machine::MissingTarget() {
  if (act_.version > 6) return nullptr;
  Object* root = vm_.ResolvePath("_root", &act_, act_.base_target);
  return root ? root->AsClip() : nullptr;
}

void Machine::SetTarget(ClipObject* target) {
  act_.target = target;
  // The target scope is the clip the names of the script are looked up in.
  std::vector<Scope*> above;
  Scope* s = act_.scope;
  while (s != nullptr && s->kind != Scope::Kind::Target && s->kind != Scope::Kind::Global) {
    above.push_back(s);
    s = s->parent;
  }
  if (s == nullptr) return;
  Scope* base = s->kind == Scope::Kind::Target ? s->parent : s;
  // Without a target, names are still looked up in the script's own clip.
  ClipObject* names = target ? target : act_.base_target;
  Scope* chain = names ? vm_.heap().Make<Scope>(Scope::Kind::Target, names, base) : base;
  for (auto it = above.rbegin(); it != above.rend(); ++it) {
    chain = vm_.heap().Make<Scope>((*it)->kind, (*it)->object, chain);
  }
  act_.scope = chain;
}

void Machine::GotoValue(ClipObject* clip, const Value& frame, bool play, uint16_t bias) {
  ClipLink* link = clip ? clip->Link() : nullptr;
  if (link == nullptr) return;
  // A number with a fraction names a label ("4.8"), and only that.
  if (frame.IsNumber() && std::isfinite(frame.AsNumber()) &&
      frame.AsNumber() != std::trunc(frame.AsNumber())) {
    const long labelled = link->FindLabel(vm_.ToString(frame));
    if (labelled >= 0) link->GotoFrame(static_cast<size_t>(labelled) + bias, play);
    return;
  }
  if (frame.IsNumber() || frame.IsBoolean() || frame.IsNullish()) {
    const double n = vm_.ToNumber(frame) + bias;
    if (!std::isfinite(n) || n < 1) return;
    link->GotoFrame(static_cast<size_t>(std::min(n, 1e9)) - 1, play);
    return;
  }
  std::string text = vm_.ToString(frame);
  std::string_view name = text;
  const size_t colon = name.rfind(':');
  if (colon != std::string_view::npos) {
    Object* o = vm_.ResolvePath(name.substr(0, colon), &act_, clip);
    link = o && o->AsClip() ? o->AsClip()->Link() : nullptr;
    if (link == nullptr) return;
    name = name.substr(colon + 1);
  }
  // A string that reads as a whole number is a frame number before it is a label.
  const double n = StringToNumber(name, NumberDialect::Swf6);
  if (std::isfinite(n) && n >= 1 && n == std::trunc(n)) {
    link->GotoFrame(static_cast<size_t>(std::min(n, 1e9)) - 1 + bias, play);
    return;
  }
  const long labelled = link->FindLabel(name);
  if (labelled >= 0) link->GotoFrame(static_cast<size_t>(labelled) + bias, play);
}

void Machine::DoGotoFrame2(Operands in) {
  const uint8_t flags = in.U8();
  const uint16_t bias = (flags & 2) ? in.U16() : 0;
  GotoValue(act_.target, Pop(), (flags & 1) != 0, bias);
}

void Machine::DoGetUrl2(Operands in) {
  const uint8_t flags = in.U8();
  const std::string target = PopString();
  const std::string url = PopString();
  if (flags & 0x80) {
    vm_.LoadVariables(url, target, &act_, act_.target);
    return;
  }
  if ((flags & 0x40) || LevelNumber(target)) {
    vm_.LoadMovie(url, target, &act_, act_.target);
    return;
  }
  vm_.bridge().GetUrl(url, target);
}

void Machine::DoCallFunction() {
  const std::string name = PopString();
  std::vector<Value> args = PopArgs();
  // `this` is the object of the scope the function was found in.
  Object* holder = nullptr;
  Value function = GetVariable(name, &holder);
  Value self = holder ? Value(holder) : Value();
  Push(vm_.Call(function, self, args));
}

void Machine::DoCallMethod() {
  Value name = Pop();
  Value object = Pop();
  std::vector<Value> args = PopArgs();
  const std::string method = name.IsUndefined() ? std::string() : vm_.ToString(name);
  if (method.empty()) {
    // Calling the object itself; `super()` calls the constructor of the base class. A
    // primitive is boxed first, which a movie's own class hears of, and is no function.
    if (!object.IsObject() && !object.IsNullish()) vm_.ToObject(object);
    Push(vm_.Call(object, act_.self, args));
    return;
  }
  Push(vm_.CallMethod(object, method, args));
}

void Machine::DoNewMethod() {
  Value name = Pop();
  Value object = Pop();
  std::vector<Value> args = PopArgs();
  const std::string method = name.IsUndefined() ? std::string() : vm_.ToString(name);
  if (method.empty() && !object.IsObject() && !object.IsNullish()) vm_.ToObject(object);
  Value ctor = method.empty() ? object : vm_.GetMember(object, method);
  Push(vm_.Construct(ctor, args));
}

void Machine::DoEnumerate(const Value& target) {
  Push(Value());
  Object* object = target.AsObject();
  if (object == nullptr) return;
  std::vector<std::string> keys = vm_.Keys(object);
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) Push(vm_.Str(*it));
}

void Machine::DoInitArray() {
  const double n = PopNumber();
  ArrayObject* array = vm_.NewArray();
  if (n > 0) {
    const size_t count =
        std::min(static_cast<size_t>(std::min(n, 65536.0)), stack_.size() - act_.stack_base);
    array->Resize(vm_, static_cast<double>(count));
    for (size_t i = 0; i < count; ++i) array->elements[i] = Pop();
  }
  Push(static_cast<Object*>(array));
}

void Machine::DoInitObject() {
  const double n = PopNumber();
  Object* object = vm_.NewObject();
  if (n > 0) {
    const size_t count =
        std::min(static_cast<size_t>(std::min(n, 65536.0)), (stack_.size() - act_.stack_base) / 2);
    for (size_t i = 0; i < count; ++i) {
      Value value = Pop();
      const std::string name = PopString();
      vm_.Set(object, name, value);
    }
  }
  Push(object);
}

void Machine::DoExtends() {
  Object* super_ctor = Pop().AsObject();
  Object* sub = Pop().AsObject();
  if (super_ctor == nullptr || sub == nullptr) return;
  Value super_proto = vm_.Get(super_ctor, "prototype");
  Object* proto = vm_.NewObject(super_proto.AsObject());
  vm_.SetOwn(proto, "__constructor__", super_ctor, kDontEnum);
  // The subclass keeps its prototype as undeletable as a function's own.
  vm_.SetOwn(sub, "prototype", proto, kDontEnum | kDontDelete);
}

void Machine::DoImplements() {
  Object* ctor = Pop().AsObject();
  std::vector<Value> interfaces = PopArgs();
  if (ctor == nullptr) return;
  Object* proto = vm_.Get(ctor, "prototype").AsObject();
  if (proto == nullptr) return;
  ArrayObject* list = vm_.NewArray();
  list->elements = std::move(interfaces);
  vm_.SetOwn(proto, "__interfaces__", static_cast<Object*>(list), kDontEnum);
}

// Names reach the code as bytes of its own pushes and pools, or from the pool in force where it
// was defined; a name built at run time from pieces is not seen.
void NoteNamesUsed(FunctionCode& fn, const ConstantPool* pool) {
  const std::string_view body(reinterpret_cast<const char*>(fn.body.data()), fn.body.size());
  auto named = [&](std::string_view name) {
    if (MentionsName(body, name)) return true;
    if (pool == nullptr) return false;
    for (const StringCell* s : pool->strings) {
      if (s != nullptr && MentionsName(s->Text(), name)) return true;
    }
    return false;
  };
  fn.names_arguments = named("arguments");
  fn.names_super = named("super");
}

void Machine::DoDefineFunction(Operands in, bool v2, std::span<const uint8_t> code, size_t& next) {
  auto fn = std::make_shared<FunctionCode>();
  fn->name = std::string(in.String());
  fn->v2 = v2;
  fn->version = act_.version;
  const uint16_t params = in.U16();
  if (v2) {
    fn->register_count = in.U8();
    fn->flags = in.U16();
  }
  for (uint16_t i = 0; i < params && !in.AtEnd(); ++i) {
    FunctionCode::Param p;
    if (v2) p.reg = in.U8();
    p.name = std::string(in.String());
    fn->params.push_back(std::move(p));
  }
  const uint16_t size = in.U16();
  const size_t end = std::min(code.size(), next + size);
  fn->body = code.subspan(next, end - next);
  next = end;
  NoteNamesUsed(*fn, act_.pool);

  FunctionObject* f = vm_.NewNative(nullptr);
  f->code = std::move(fn);
  f->scope = CapturedScope();
  f->pool = act_.pool;
  f->origin = act_.target;
  Object* proto = vm_.NewObject();
  vm_.SetOwn(proto, "constructor", static_cast<Object*>(f), kDontEnum);
  vm_.SetOwn(f, "prototype", proto, kDontEnum | kDontDelete);
  if (f->code->name.empty()) {
    Push(static_cast<Object*>(f));
  } else {
    SetVariable(f->code->name, static_cast<Object*>(f));
  }
  // A named function is declared in the scope it is defined in, not assigned through the chain.
  if (!f->code->name.empty() && act_.locals != nullptr) {
    vm_.SetOwn(act_.locals, f->code->name, static_cast<Object*>(f));
  }
}

// Functions close over the chain they are defined in; before version 6 they do not see the
// locals of the functions around them.
Scope* Machine::CapturedScope() {
  if (act_.version >= 6) return act_.scope;
  std::vector<Scope*> kept;
  Scope* s = act_.scope;
  for (; s != nullptr && s->kind != Scope::Kind::Target && s->kind != Scope::Kind::Global;
       s = s->parent) {
    if (s->kind != Scope::Kind::Local) kept.push_back(s);
  }
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    s = vm_.heap().Make<Scope>((*it)->kind, (*it)->object, s);
  }
  return s;
}

Completion Machine::DoWith(Operands in, std::span<const uint8_t> code, size_t& next) {
  const uint16_t size = in.U16();
  const size_t end = std::min(code.size(), next + size);
  std::span<const uint8_t> body = code.subspan(next, end - next);
  next = end;
  Object* object = vm_.ToObject(Pop());
  if (object == nullptr) return {};
  // The scope chain holds 15 links at most; a `with` past that is skipped, body and all.
  constexpr int kMaxScopes = 15;
  int links = 0;
  for (Scope* s = act_.scope; s != nullptr; s = s->parent) ++links;
  if (links >= kMaxScopes) return {};
  Scope* saved = act_.scope;
  ClipObject* const target = act_.target;
  act_.scope = vm_.heap().Make<Scope>(Scope::Kind::With, object, saved);
  // The object leaves the chain at the end; a target set inside stays.
  auto leave = [&] {
    vm_.LeaveCall();
    act_.scope = saved;
    if (act_.target != target) SetTarget(act_.target);
  };
  vm_.EnterCall();
  Completion c;
  try {
    c = Machine(act_).Run(body);
  } catch (...) {
    leave();
    throw;
  }
  leave();
  return c;
}

Completion Machine::DoTry(Operands in, std::span<const uint8_t> code, size_t& next) {
  const uint8_t flags = in.U8();
  const uint16_t try_size = in.U16();
  const uint16_t catch_size = in.U16();
  const uint16_t finally_size = in.U16();
  std::string catch_name;
  uint8_t catch_register = 0;
  if (flags & 4) {
    catch_register = in.U8();
  } else {
    catch_name = std::string(in.String());
  }
  auto block = [&](uint16_t size) {
    const size_t end = std::min(code.size(), next + size);
    std::span<const uint8_t> b = code.subspan(next, end - next);
    next = end;
    return b;
  };
  std::span<const uint8_t> try_body = block(try_size);
  std::span<const uint8_t> catch_body = block(catch_size);
  std::span<const uint8_t> finally_body = block(finally_size);
  const bool has_catch = (flags & 1) != 0;
  const bool has_finally = (flags & 2) != 0;

  const size_t depth = stack_.size();
  // Nested blocks count as calls: a movie nesting thousands of them cannot exhaust the stack.
  vm_.EnterCall();
  struct Leave {
    Vm& vm;
    ~Leave() { vm.LeaveCall(); }
  } leave{vm_};
  Completion result;
  bool pending = false;  // a throw that no catch took, to go on after finally
  Value pending_value;
  try {
    result = Machine(act_).Run(try_body);
  } catch (const ScriptThrow&) {
    Value thrown = vm_.thrown;
    if (stack_.size() > depth) stack_.resize(depth);
    if (has_catch) {
      if (flags & 4) {
        if (Value* slot = act_.Register(catch_register)) *slot = thrown;
      } else {
        SetVariable(catch_name, thrown);
      }
      try {
        result = Machine(act_).Run(catch_body);
      } catch (const ScriptThrow&) {
        pending = true;
        pending_value = vm_.thrown;
      }
    } else {
      pending = true;
      pending_value = thrown;
    }
  }
  if (has_finally) {
    Completion f = Machine(act_).Run(finally_body);
    if (f.returned) return f;  // a return in finally wins over everything
  }
  if (pending) vm_.Throw(pending_value);
  return result;
}

Value Machine::GetVariable(std::string_view name, Object** holder) {
  std::string_view path, var;
  if (SplitVariablePath(name, path, var)) {
    Object* o = vm_.ResolvePath(path, &act_, act_.target);
    return o ? vm_.Get(o, var) : Value();
  }
  if (name.find('/') != std::string_view::npos) {
    Object* o = vm_.ResolvePath(name, &act_, act_.target);
    return o ? Value(o) : Value();
  }
  const bool cs = vm_.CaseSensitive();
  auto is = [cs](std::string_view a, std::string_view b) { return SameName(a, b, cs); };
  if (is(name, "this")) return act_.this_name;
  if (is(name, "_global") && act_.version >= 6) return vm_.Global();
  for (Scope* s = act_.scope; s != nullptr; s = s->parent) {
    if (s->object != nullptr && vm_.Has(s->object, name)) {
      if (holder != nullptr) *holder = s->object;
      return vm_.Get(s->object, name);
    }
  }
  // _root, _parent and _levelN are properties of clips; off any clip they still resolve.
  if (!name.empty() && name[0] == '_') {
    Object* o = vm_.ResolvePath(name, &act_, act_.target);
    if (o != nullptr) return o;
  }
  return Value();
}

// A `with` object takes only names it has itself: not inherited ones, nor its children's.
bool Machine::WithTakes(Object* object, std::string_view name) {
  const bool cs = vm_.CaseSensitive();
  ClipObject* clip = object->AsClip();
  ClipLink* link = clip ? clip->Link() : nullptr;
  if (link != nullptr && object->Properties().Find(name, cs) == nullptr &&
      (link->Child(name, cs) != nullptr || link->ChildField(name, cs) != nullptr)) {
    return false;
  }
  return vm_.HasOwn(object, name);
}

void Machine::SetVariable(std::string_view name, const Value& value) {
  std::string_view path, var;
  if (SplitVariablePath(name, path, var)) {
    Object* o = vm_.ResolvePath(path, &act_, act_.target);
    if (o != nullptr) vm_.Set(o, var, value);
    return;
  }
  for (Scope* s = act_.scope; s != nullptr; s = s->parent) {
    if (s->object == nullptr) continue;
    const bool here =
        s->kind == Scope::Kind::With ? WithTakes(s->object, name) : vm_.Has(s->object, name);
    if (s->kind == Scope::Kind::Target || s->kind == Scope::Kind::Global || here) {
      vm_.Set(s->object, name, value);
      return;
    }
  }
}

void Machine::KeepLocal(std::string_view name) {
  if (act_.locals == nullptr) return;
  if (Property* p = act_.locals->Properties().Find(name, vm_.CaseSensitive())) {
    p->flags |= kDontDelete;
  }
}

}  // namespace

Activation::Activation(Vm& v, uint8_t ver, Scope* s, Value this_value, ClipObject* t)
    : vm(v),
      version(ver),
      scope(s),
      self(this_value),
      this_name(this_value),
      target(t),
      base_target(t),
      stack_base(v.stack().size()) {
  vm.activations().push_back(this);
}

Value* Activation::Register(uint8_t number) {
  if (number < registers.size()) return &registers[number];
  auto& globals = vm.GlobalRegisters();
  return number < globals.size() ? &globals[number] : nullptr;
}

Activation::~Activation() {
  auto& list = vm.activations();
  list.erase(std::find(list.begin(), list.end(), this));
  // What the code left on the stack stays there for its caller, as the player keeps one stack.
}

Completion Execute(Activation& act, std::span<const uint8_t> code) {
  return Machine(act).Run(code);
}

Value CallScriptFunction(Vm& vm, FunctionObject& function, const Value& self,
                         std::span<const Value> args, Object* base_proto) {
  const FunctionCode& code = *function.code;
  // The timeline that the function's goto and play act on: where it was defined; movies before
  // version 6 take `this` when it is a clip.
  // When that clip is gone, `this` when it is a clip, else the root.
  ClipObject* target = function.origin ? function.origin->AsClip() : nullptr;
  const bool gone = target != nullptr && target->Link() == nullptr;
  if (gone) target = nullptr;
  if (code.version < 6 || target == nullptr) {
    if (Object* o = self.AsObject(); o && o->AsClip()) target = o->AsClip();
  }
  if (target == nullptr && gone) {
    ClipLink* root = vm.bridge().LevelRoot(0);
    target = root ? root->Script() : nullptr;
  }
  Object* locals = vm.heap().Make<Object>(nullptr);
  Scope* scope = vm.heap().Make<Scope>(Scope::Kind::Local, locals, function.scope);
  Activation act(vm, code.version, scope, self, target);
  act.locals = locals;
  act.pool = function.pool;
  act.callee = &function;
  act.base_proto = base_proto;
  if (code.v2) act.registers.assign(code.register_count, Value());

  auto make_arguments = [&]() -> Value {
    ArrayObject* arguments = vm.NewArray();
    arguments->elements.assign(args.begin(), args.end());
    vm.SetOwn(arguments, "callee", static_cast<Object*>(&function), kDontEnum);
    const auto& running = vm.activations();
    FunctionObject* caller = running.size() >= 2 ? running[running.size() - 2]->callee : nullptr;
    vm.SetOwn(arguments, "caller", caller ? Value(static_cast<Object*>(caller)) : Value::Null(),
              kDontEnum);
    act.arguments = arguments;
    return static_cast<Object*>(arguments);
  };

  // `super` is an object whose prototype is the base class's, calling methods on `this`.
  auto make_super = [&]() -> Value {
    Object* holder = base_proto;
    if (holder == nullptr) {
      if (Object* o = self.AsObject()) holder = o->Proto();
    }
    return static_cast<Object*>(vm.heap().Make<SuperObject>(holder, self));
  };

  if (!code.v2) {
    for (size_t i = 0; i < code.params.size(); ++i) {
      vm.SetOwn(locals, code.params[i].name, i < args.size() ? args[i] : Value());
    }
    if (code.names_arguments) vm.SetOwn(locals, "arguments", make_arguments());
    if (code.version >= 6 && code.names_super) vm.SetOwn(locals, "super", make_super());
  } else {
    size_t r = 1;
    // The value is made only where it goes somewhere: a register, or a local the code names.
    // Preloads and parameters past the function's own registers are dropped, not written to
    // the global ones that those numbers reach from the body.
    auto preload = [&](uint16_t preload_flag, uint16_t suppress_flag, const char* name, bool named,
                       auto&& make) {
      if (code.flags & suppress_flag) {
        if (code.flags & preload_flag) ++r;
      } else if (code.flags & preload_flag) {
        if (r < act.registers.size()) act.registers[r] = make();
        ++r;
      } else if (name != nullptr && named) {
        vm.SetOwn(locals, name, make());
      }
    };
    // A `this` preloaded or suppressed is no longer a name: the name reads the timeline.
    // Before version 6 the name then reads nothing at all.
    if (code.flags & 0x0003) {
      act.this_name = target && code.version >= 6 ? Value(static_cast<Object*>(target)) : Value();
    }
    preload(0x0001, 0x0002, nullptr, false, [&] { return self; });
    preload(0x0004, 0x0008, "arguments", code.names_arguments, make_arguments);
    preload(0x0010, 0x0020, "super", code.names_super, make_super);
    ClipObject* clip = target;
    preload(0x0040, 0, nullptr, false, [&] { return Value(vm.ResolvePath("_root", &act, clip)); });
    if (code.flags & 0x0080) {
      Object* parent = vm.ResolvePath("_parent", &act, clip);
      if (parent != nullptr) preload(0x0080, 0, nullptr, false, [&] { return Value(parent); });
    }
    preload(0x0100, 0, nullptr, false, [&] { return Value(vm.Global()); });
    for (size_t i = 0; i < code.params.size(); ++i) {
      const Value v = i < args.size() ? args[i] : Value();
      const uint8_t reg = code.params[i].reg;
      if (reg != 0) {
        if (reg < act.registers.size()) act.registers[reg] = v;
      } else {
        vm.SetOwn(locals, code.params[i].name, v);
      }
    }
  }
  vm.EnterCall();
  Completion c;
  try {
    c = Execute(act, code.body);
  } catch (...) {
    vm.LeaveCall();
    throw;
  }
  vm.LeaveCall();
  return c.value;
}

}  // namespace lumen::avm1
