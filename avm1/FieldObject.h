#pragma once

// The script side of a text field: its text properties (text, htmlText, textColor, border, ...)
// and display properties (_x, _alpha, ...) go to the stage's link; other variables live in the
// object's own table. When the stage removes the field the link is cut and the object reads as
// a plain object.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Object.h"
#include "avm1/StageBridge.h"

namespace lumen::avm1 {

class FieldObject final : public Object {
 public:
  FieldObject(Object* proto, FieldLink* link) : Object(proto), link_(link) {
    native_class = "TextField";
  }
  FieldLink* Link() const { return link_; }
  void Unlink() { link_ = nullptr; }
  FieldObject* AsField() override { return this; }
  bool GetNative(Vm& vm, std::string_view name, Value& out) override;
  bool SetNative(Vm& vm, std::string_view name, const Value& value) override;
  void NativeKeys(Vm&, std::vector<std::string>& keys) override {
    if (link_ != nullptr) keys.emplace_back("tabIndex");  // even before one is set
  }
  void Trace(Heap& heap) override;

 private:
  // styleSheet takes any object but a clip or a field; anything else takes the sheet away.
  void SetStyleSheet(Vm& vm, const Value& value);
  // With a style sheet, text and htmlText alike are read as HTML with its styles, and htmlText
  // answers what was set.
  void SetStyledText(Vm& vm, std::string source);

  FieldLink* link_;
  Object* style_sheet_ = nullptr;
  std::optional<std::string> styled_source_;  // set while the field had a style sheet
};

// The text property a name stands for (in the letter case the movie's version asks for).
bool FindFieldProperty(std::string_view name, bool case_sensitive, FieldProperty& out);

}  // namespace lumen::avm1
