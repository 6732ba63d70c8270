#pragma once

// A script value: undefined, null, a boolean, a number, a string or an object. Values are small
// and trivially copied; strings and objects live in the heap and are freed by its collector.

#include <cstdint>
#include <string>
#include <string_view>

namespace lumen::avm1 {

class Object;
class Heap;

// Every heap cell: strings, objects and the scopes of the interpreter.
class Cell {
 public:
  virtual ~Cell() = default;
  // Marks every cell this one refers to.
  virtual void Trace(Heap&) {}

 private:
  friend class Heap;
  bool marked_ = false;
};

class StringCell final : public Cell {
 public:
  explicit StringCell(std::string text) : text_(std::move(text)) {}
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class Value {
 public:
  enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

  Value() : type_(Type::Undefined), number_(0) {}
  static Value Null() {
    Value v;
    v.type_ = Type::Null;
    return v;
  }
  Value(bool b) : type_(Type::Boolean), boolean_(b) {}             // NOLINT: values convert freely
  Value(double n) : type_(Type::Number), number_(n) {}             // NOLINT
  Value(int n) : type_(Type::Number), number_(n) {}                // NOLINT
  Value(const StringCell* s) : type_(Type::String), string_(s) {}  // NOLINT
  Value(Object* o) : type_(o ? Type::Object : Type::Null), object_(o) {}  // NOLINT

  Type type() const { return type_; }
  bool IsUndefined() const { return type_ == Type::Undefined; }
  bool IsNull() const { return type_ == Type::Null; }
  bool IsNullish() const { return type_ == Type::Undefined || type_ == Type::Null; }
  bool IsBoolean() const { return type_ == Type::Boolean; }
  bool IsNumber() const { return type_ == Type::Number; }
  bool IsString() const { return type_ == Type::String; }
  bool IsObject() const { return type_ == Type::Object; }

  bool AsBoolean() const { return boolean_; }
  double AsNumber() const { return number_; }
  const StringCell* AsStringCell() const { return string_; }
  const std::string& AsString() const { return string_->Text(); }
  Object* AsObject() const { return type_ == Type::Object ? object_ : nullptr; }

 private:
  Type type_;
  union {
    bool boolean_;
    double number_;
    const StringCell* string_;
    Object* object_;
  };
};

}  // namespace lumen::avm1
