#pragma once

// A small assembler for ActionScript 1/2 action records, for movies built in code: pushes,
// plain actions, branches to named labels and function definitions.
//
//   ActionWriter a;
//   a.Push({"counter"}).Op(kGetVariable).Push({1.0}).Op(kAdd2) ...;
//   DoAction(tags, a.Finish());

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "authoring/SwfWriter.h"

namespace lumen::authoring {

// Action codes the tests and benchmarks use (the record format's own numbers).
enum ActionCode : uint8_t {
  kNextFrame = 0x04,
  kPlay = 0x06,
  kStop = 0x07,
  kSubtract = 0x0B,
  kMultiply = 0x0C,
  kDivide = 0x0D,
  kNot = 0x12,
  kPop = 0x17,
  kGetVariable = 0x1C,
  kSetVariable = 0x1D,
  kGetProperty = 0x22,
  kSetProperty = 0x23,
  kTrace = 0x26,
  kGetTime = 0x34,
  kDefineLocal = 0x3C,
  kCallFunction = 0x3D,
  kReturn = 0x3E,
  kModulo = 0x3F,
  kNewObject = 0x40,
  kInitArray = 0x42,
  kInitObject = 0x43,
  kAdd2 = 0x47,
  kLess2 = 0x48,
  kEquals2 = 0x49,
  kPushDuplicate = 0x4C,
  kGetMember = 0x4E,
  kSetMember = 0x4F,
  kIncrement = 0x50,
  kDecrement = 0x51,
  kCallMethod = 0x52,
  kNewMethod = 0x53,
  kGreater = 0x67,
  kStrictEquals = 0x66,
  kToInteger = 0x18,
  kDelete = 0x3A,
  kCall = 0x9E,
  kTypeOf = 0x44,
};

struct Undefined {};
struct Null {};
struct Register {
  uint8_t number;
};
using ActionValue = std::variant<std::string, double, bool, Undefined, Null, Register>;

// Where a shorthand below finds a value: a variable by name ("this" and "_root" included) or a
// register.
struct Source {
  Source(const char* variable) : name(variable) {}
  Source(std::string variable) : name(std::move(variable)) {}
  Source(Register r) : in_register(true), number(r.number) {}
  std::string name;
  bool in_register = false;
  uint8_t number = 0;
};

class ActionWriter {
 public:
  // One Push record with every value; strings are written inline.
  ActionWriter& Push(std::initializer_list<ActionValue> values);
  ActionWriter& Op(uint8_t code);
  ActionWriter& StoreRegister(uint8_t number);
  ActionWriter& GotoFrame(uint16_t frame);  // 0-based
  ActionWriter& GotoFrame2(bool play);      // frame from the stack
  ActionWriter& GetUrl2(uint8_t flags);     // url and target from the stack
  // Branches: a label marks the position of the next record.
  ActionWriter& Label(const std::string& name);
  ActionWriter& Jump(const std::string& label);
  ActionWriter& If(const std::string& label);
  // DefineFunction2 with its parameters in registers 1.., no preloads: `body` reads them as
  // Register{1}, Register{2}, ... An empty name pushes the function.
  ActionWriter& DefineFunction(std::string_view name, uint8_t params, const ActionWriter& body,
                               uint8_t registers = 4);
  // `with` the object on the stack, around `body`.
  ActionWriter& With(const ActionWriter& body);
  // Shorthands for the usual sequences. A `value` callback writes the records that leave the
  // value to store on the stack. Calls leave their result on the stack; the arguments go on
  // the stack before, the last one first.
  ActionWriter& Load(const Source& source);
  ActionWriter& GetMember(const Source& object, std::string_view member);
  ActionWriter& SetMember(const Source& object, std::string_view member,
                          const std::function<void(ActionWriter&)>& value);
  ActionWriter& SetVariable(std::string_view name, const std::function<void(ActionWriter&)>& value);
  ActionWriter& CallFunction(std::string_view name, uint8_t args);
  ActionWriter& CallMethod(const Source& object, std::string_view method, uint8_t args);
  // The records so far, with an End action after them.
  Bytes Finish() const;
  // The records so far without End (a function body).
  Bytes Body() const;

 private:
  struct Fixup {
    size_t at;  // where the SI16 offset goes
    std::string label;
  };
  void Record(uint8_t code, const Bytes& operands);
  Bytes code_;
  std::map<std::string, size_t> labels_;
  std::vector<Fixup> fixups_;
};

// A PlaceObject2 that carries clip actions: one handler per event flag (SWF 6+ layout).
struct ClipHandler {
  uint32_t events;
  Bytes actions;  // with End
};
void PlaceObject2WithActions(Bytes& out, const PlaceSpec& spec,
                             const std::vector<ClipHandler>& handlers);

}  // namespace lumen::authoring
