#pragma once

// Script objects: a table of named properties in the order they were made, a prototype, and
// for some kinds native state (functions, arrays, boxed primitives, movie clips). Name lookup
// ignores letter case in movies before version 7, so the table takes that as an argument.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;
class ClipObject;
class FieldObject;

enum PropertyFlag : uint8_t { kDontEnum = 1, kDontDelete = 2, kReadOnly = 4 };

struct Property {
  std::string name;
  Value value;
  Object* getter = nullptr;  // addProperty: both null for a plain value
  Object* setter = nullptr;
  uint8_t flags = 0;
  // Hidden from movies of lower versions (ASSetPropFlags' version bits).
  uint8_t min_version = 0;
  // Hidden from version 6 movies alone (ASSetPropFlags' bit 8).
  bool hidden_in_6 = false;

  bool VisibleIn(uint8_t version) const {
    return min_version <= version && !(hidden_in_6 && version == 6);
  }
};

class PropertyMap {
 public:
  Property* Find(std::string_view name, bool case_sensitive);
  const Property* Find(std::string_view name, bool case_sensitive) const {
    return const_cast<PropertyMap*>(this)->Find(name, case_sensitive);
  }
  // Appends a property that Find did not find.
  Property& Add(std::string_view name);
  bool Erase(std::string_view name, bool case_sensitive);
  std::vector<Property>& Entries() { return entries_; }
  const std::vector<Property>& Entries() const { return entries_; }
  size_t Footprint() const;

 private:
  struct FoldHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const;
  };
  struct FoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  void Reindex();

  std::vector<Property> entries_;
  // Built once a table is large; keys are folded to lower case.
  std::unordered_multimap<std::string, uint32_t, FoldHash, FoldEqual> index_;
};

class Object : public Cell {
 public:
  explicit Object(Object* proto = nullptr) : proto_(proto) {}

  Object* Proto() const { return proto_; }
  void SetProto(Object* proto) { proto_ = proto; }
  PropertyMap& Properties() { return properties_; }
  const PropertyMap& Properties() const { return properties_; }

  virtual std::string_view TypeOf() const { return "object"; }
  // Native properties looked at before the table (array elements, clip properties, ...).
  virtual bool GetNative(Vm&, std::string_view, Value&) { return false; }
  virtual bool SetNative(Vm&, std::string_view, const Value&) { return false; }
  // Names of native properties that enumeration shows, first ones first.
  virtual void NativeKeys(Vm&, std::vector<std::string>&) {}
  // Names of display children, which enumeration shows after the object's own properties.
  virtual void ChildKeys(std::vector<std::string>&) {}
  virtual ClipObject* AsClip() { return nullptr; }
  virtual FieldObject* AsField() { return nullptr; }
  virtual size_t Footprint() const { return sizeof(Object) + properties_.Footprint(); }
  void Trace(Heap& heap) override;

  // The flags of the prototype link, which scripts see as the property __proto__.
  uint8_t proto_flags = kDontEnum | kDontDelete;
  // A value held by native code, e.g. a boxed primitive or a Date's time.
  Value primitive;
  // What built the object natively ("Array", "Date", ...), for the checks of native methods.
  std::string_view native_class;

  // Object.watch: a function that hears of every assignment to a name and says what is stored.
  struct Watch {
    std::string name;
    Value callback;
    Value data;
  };
  // Few objects are watched: the list is made on the first watch.
  std::unique_ptr<std::vector<Watch>> watches;

 private:
  Object* proto_;
  PropertyMap properties_;
};

// The strings of a ConstantPool action, shared by the code that was compiled against it.
class ConstantPool final : public Cell {
 public:
  std::vector<const StringCell*> strings;
  void Trace(Heap& heap) override;
};

// A link of the scope chain: function locals, `with` objects, the target clip, the globals.
class Scope final : public Cell {
 public:
  enum class Kind : uint8_t { Global, Target, Local, With };
  Scope(Kind k, Object* o, Scope* p) : kind(k), object(o), parent(p) {}
  Kind kind;
  Object* object;
  Scope* parent;
  void Trace(Heap& heap) override;
};

struct Arguments {
  Value self;
  std::span<const Value> values;
  Value operator[](size_t i) const { return i < values.size() ? values[i] : Value(); }
  size_t size() const { return values.size(); }
};

using NativeFunction = Value (*)(Vm&, const Arguments&);

// Code of a function defined by DefineFunction or DefineFunction2.
struct FunctionCode {
  std::string name;
  std::span<const uint8_t> body;
  struct Param {
    std::string name;
    uint8_t reg = 0;  // 0: a local variable
  };
  std::vector<Param> params;
  bool v2 = false;
  uint8_t register_count = 0;
  uint16_t flags = 0;
  uint8_t version = 0;  // of the movie that defined it
  // Whether the body (or the constant pool it starts with) can name these at all: most functions
  // do not, and a call then makes neither object.
  bool names_arguments = true;
  bool names_super = true;
};

class FunctionObject final : public Object {
 public:
  explicit FunctionObject(Object* proto) : Object(proto) {}
  std::string_view TypeOf() const override { return "function"; }
  void Trace(Heap& heap) override;
  size_t Footprint() const override { return Object::Footprint() + sizeof(*this) - sizeof(Object); }

  NativeFunction native = nullptr;
  // For native classes: what `new` calls instead of making a plain object first.
  NativeFunction construct = nullptr;
  std::shared_ptr<const FunctionCode> code;
  Scope* scope = nullptr;        // captured where the function was defined
  ConstantPool* pool = nullptr;  // in force where it was defined
  Object* origin = nullptr;      // the clip whose timeline defined it
};

class ArrayObject final : public Object {
 public:
  explicit ArrayObject(Object* proto) : Object(proto) { native_class = "Array"; }
  bool GetNative(Vm& vm, std::string_view name, Value& out) override;
  bool SetNative(Vm& vm, std::string_view name, const Value& value) override;
  void NativeKeys(Vm& vm, std::vector<std::string>& keys) override;
  size_t Footprint() const override {
    return Object::Footprint() + elements.capacity() * sizeof(Value) + unset.capacity() / 8;
  }
  void Trace(Heap& heap) override;
  // Resizes within the heap's charge; false when the movie asks for more than arrays may hold.
  bool Resize(Vm& vm, double length);
  // The same, marking the indices it adds as never set.
  bool Lengthen(Vm& vm, double length);

  std::vector<Value> elements;
  // Indices a length or a far index made without setting them (`new Array(5)`, `a[9] = x`):
  // enumeration skips them. Those past its end are set; methods that rewrite the elements clear it.
  std::vector<bool> unset;
};

// `super` inside a method: looks methods up above the class that holds the running one, and
// calls them on the same `this`. That class is found again at each use, as many steps up
// `this`'s chain as it was at the call, so a method that gives `this` a new prototype calls
// the new base.
class SuperObject final : public Object {
 public:
  SuperObject(Object* holder, Value self);
  // The class holding the running method, as `this`'s chain now has it; also resets the lookup
  // prototype to the one above it.
  Object* Holder();
  const Value& Self() const { return self_; }
  void Trace(Heap& heap) override;

 private:
  Object* holder_;
  Value self_;
  int depth_ = 0;  // steps from `this` up to holder_; 0 when holder_ is not on its chain
};

// The array index a property name spells ("0", "12"), if it spells one.
bool ParseArrayIndex(std::string_view name, uint32_t& index);

}  // namespace lumen::avm1
