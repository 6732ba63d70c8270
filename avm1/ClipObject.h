#pragma once

// The script side of a movie clip: its variables live in the object's own table, and its
// display properties, child clips and timeline are reached through the stage's link. When the
// stage removes the clip the link is cut; the object then reads as an empty clip.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "avm1/Object.h"
#include "avm1/StageBridge.h"

namespace lumen::avm1 {

class ClipObject final : public Object {
 public:
  ClipObject(Object* proto, ClipLink* link) : Object(proto), link_(link) {
    native_class = "MovieClip";
  }
  ClipLink* Link() const { return link_; }
  // A removed clip: scripts holding it reach whatever clip has its path now, or nothing. Only
  // its unload handlers, while they run, reach the clip itself; it names itself by that path
  // if it has handlers to hear it (`named`).
  void Unlink(std::string path = {}, bool named = false) {
    link_ = nullptr;
    path_ = std::move(path);
    named_ = named;
  }
  void SetUnloading(bool unloading) { unloading_ = unloading; }
  void EndUnload() { unloading_ = named_ = false; }
  std::string_view FormerPath() const {
    return named_ ? std::string_view(path_) : std::string_view();
  }
  // Removed, outside its unload handlers: stands for the clip at its path.
  bool Dangling() const { return link_ == nullptr && !unloading_ && !path_.empty(); }
  const std::string& Path() const { return path_; }
  ClipObject* AsClip() override { return this; }
  std::string_view TypeOf() const override { return button || video ? "object" : "movieclip"; }
  bool button = false;  // a button instance: typeof names it an object
  bool video = false;   // a placed video, likewise
  bool GetNative(Vm& vm, std::string_view name, Value& out) override;
  bool SetNative(Vm& vm, std::string_view name, const Value& value) override;
  void NativeKeys(Vm& vm, std::vector<std::string>& keys) override;
  void ChildKeys(std::vector<std::string>& keys) override;
  void Trace(Heap& heap) override;

  // setMask: the clip that masks this one, and whether this one masks another.
  ClipObject* mask = nullptr;
  bool is_mask = false;
  // _focusrect: whether the focus frame shows around this object; unset, the root's decides.
  std::optional<bool> focus_rect;

 private:
  ClipLink* link_;
  std::string path_;
  bool unloading_ = false;
  bool named_ = false;
};

// A number a display property accepts: undefined, null and non-finite values change nothing.
bool PropertyNumber(Vm& vm, const Value& v, double& out);
// The property a name like "_x" or "_ALPHA" stands for (letter case never matters).
bool FindClipProperty(std::string_view name, ClipProperty& out);
Value GetClipProperty(Vm& vm, ClipObject& clip, ClipProperty property);
// Keeps `value` as `object`'s tabIndex when `name` is tabIndex: undefined stays undefined,
// anything else becomes a 32-bit integer, unsigned for text fields (NaN: 0) and signed for
// clips and buttons (NaN and values out of range: the smallest). Clips hide it from enumeration,
// and keep it only once a number was set.
bool SetTabIndex(Vm& vm, Object& object, std::string_view name, const Value& value);
void SetClipProperty(Vm& vm, ClipObject& clip, ClipProperty property, const Value& value);

}  // namespace lumen::avm1
