#pragma once

// A text field on stage as scripts reach it: text properties go to the field, display
// properties to its placement in the owning clip's list, formats both ways between the field's
// runs and TextFormat values.

#include <string>
#include <string_view>

#include "avm1/StageBridge.h"
#include "text/TextField.h"

namespace lumen::stage {

class Clip;
struct DisplayObject;
struct Placement;

// Sets in `f` the values a script's TextFormat gives; absent ones leave `f` as it was.
void ApplyFormat(const avm1::FormatValues& v, text::TextFormat& f);

class FieldHandle final : public avm1::FieldLink {
 public:
  FieldHandle(Clip& owner, text::TextField& field, std::string name)
      : owner_(owner), field_(field), name_(std::move(name)) {}
  ~FieldHandle();
  FieldHandle(const FieldHandle&) = delete;
  FieldHandle& operator=(const FieldHandle&) = delete;

  const std::string& FieldName() const { return name_; }
  text::TextField& Field() { return field_; }
  // A stage point (twips) in the field's own space.
  render::Point ToLocal(render::Point stage);
  // A key pressed while the field has the focus: an input field takes typing and editing keys,
  // its variable follows its text and onChanged tells of the change.
  void KeyPressed(uint16_t code, uint16_t ascii, bool shift);
  // Editing without a key: the editing keys' actions and pasted text.
  void Edit(text::EditKey key, bool shift);
  void Paste(std::string_view utf8);

  avm1::FieldObject* Script() override;
  avm1::ClipLink* Parent() override;
  std::string Name() override { return name_; }
  void SetName(std::string_view name) override { name_ = std::string(name); }
  int32_t Depth() override;
  double Get(avm1::ClipProperty property) override;
  void Set(avm1::ClipProperty property, double value) override;
  avm1::FieldValue Get(avm1::FieldProperty property) override;
  void Set(avm1::FieldProperty property, const avm1::FieldValue& value) override;
  avm1::FormatValues GetFormat(size_t begin, size_t end) override;
  void SetFormat(const avm1::FormatValues& format, size_t begin, size_t end) override;
  avm1::FormatValues GetNewFormat() override;
  void SetNewFormat(const avm1::FormatValues& format) override;
  void ReplaceText(size_t begin, size_t end, std::string_view text) override;
  void SetStyledHtml(std::string_view html, const avm1::StyleRules& styles) override;
  std::string MarkedUpText() override;
  std::pair<size_t, size_t> GetSelection() override {
    return {field_.Editor().Anchor(), field_.Editor().Caret()};
  }
  void SetSelection(size_t anchor, size_t caret) override { field_.Select(anchor, caret); }
  void Remove() override;

 private:
  // Scales and rotation as scripts set them, signs included, which the matrix alone cannot
  // tell apart (a flip both ways is also a half turn); read again once the matrix changes.
  struct Scales {
    render::Matrix made;
    double x = 100, y = 100, rotation = 0;
    bool valid = false;
  };
  Placement* Place();
  Scales& ScalesOf(const render::Matrix& m);
  void SetLook(avm1::FieldProperty property, const avm1::FieldValue& value);
  text::EditRules Rules();
  void TextTyped();

  Clip& owner_;
  text::TextField& field_;
  std::string name_;
  avm1::FieldObject* script_ = nullptr;
  Scales scales_;
};

}  // namespace lumen::stage
