#pragma once

// The state of one running action list: a frame script, an event handler or a function call.
// Activations register themselves with the engine while they live, so the collector sees what
// they hold.

#include <cstdint>
#include <span>
#include <vector>

#include "avm1/Object.h"
#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;
class ClipObject;

struct Activation {
  Activation(Vm& vm, uint8_t version, Scope* scope, Value self, ClipObject* target);
  ~Activation();
  Activation(const Activation&) = delete;
  Activation& operator=(const Activation&) = delete;

  Vm& vm;
  uint8_t version;
  Scope* scope;
  Value self;
  Value this_name;           // what the name `this` reads: self, unless DefineFunction2 hid it
  ClipObject* target;        // SetTarget moves it
  ClipObject* base_target;   // where SetTarget("") returns
  Object* locals = nullptr;  // the local scope of a function
  ConstantPool* pool = nullptr;
  FunctionObject* callee = nullptr;
  Object* arguments = nullptr;
  Object* base_proto = nullptr;  // where the running method was found, for `super`
  // DefineFunction2's own registers; numbers past them, and every register of other code,
  // are the engine's four global ones.
  std::vector<Value> registers;
  Value* Register(uint8_t number);
  size_t stack_base;  // a function pops nothing below what its caller had pushed
};

struct Completion {
  bool returned = false;
  Value value;
};

// Runs `code` in `act` until its end, a Return, or a jump outside it.
Completion Execute(Activation& act, std::span<const uint8_t> code);
// Calls a function defined by script.
Value CallScriptFunction(Vm& vm, FunctionObject& function, const Value& self,
                         std::span<const Value> args, Object* base_proto);

}  // namespace lumen::avm1
