// The player's user interface as scripts see it: Accessibility, Selection (the focus), the
// context menu classes ContextMenu and ContextMenuItem.
//
// Design: no screen reader is ever active, so Accessibility only answers. Selection keeps the
// stage-level focus in its native state: a text field, or a clip that enables focus; the
// selection inside the focused field is the field's own, and with no field focused its indices
// answer -1.
// No printer is installed: a print job never starts, and its page sizes stay 0.
// The menu classes hold plain properties that movies read and replace; copy() follows whatever
// the properties hold at the time.

#include <algorithm>
#include <string>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"

namespace lumen::avm1 {
namespace {

// --- Accessibility --------------------------------------------------------------------------

void InstallAccessibility(Vm& vm) {
  Object* accessibility = vm.NewObject();
  vm.DefineMethod(accessibility, "isActive", False);
  vm.DefineMethod(accessibility, "sendEvent", Nothing);
  vm.DefineMethod(accessibility, "updateProperties", Nothing);
  vm.DefineValue(vm.Global(), "Accessibility", accessibility);
}

// --- Selection ------------------------------------------------------------------------------

class FocusState final : public Object {
 public:
  FocusState() : Object(nullptr) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(focus);
  }
  Object* focus = nullptr;  // a text field or a clip
};

FocusState* Focus(const Value& self) {
  Object* o = self.AsObject();
  return o ? dynamic_cast<FocusState*>(o->primitive.AsObject()) : nullptr;
}

constexpr const char* kButtonHandlers[] = {"onPress",    "onRelease", "onReleaseOutside",
                                           "onRollOver", "onRollOut", "onDragOver",
                                           "onDragOut"};

// A clip takes the focus when it is a button, acts as one, or asks for the focus.
bool ClipFocusable(Vm& vm, ClipObject* clip) {
  if (clip->button || vm.ToBoolean(vm.Get(clip, "focusEnabled"))) return true;
  const Value tab_enabled = vm.Get(clip, "tabEnabled");
  if (!tab_enabled.IsUndefined()) return vm.ToBoolean(tab_enabled);
  return std::any_of(std::begin(kButtonHandlers), std::end(kButtonHandlers),
                     [&](const char* name) { return !vm.Get(clip, name).IsUndefined(); });
}

// What may take the focus: a text field on the stage, or a clip that takes it.
Object* Focusable(Vm& vm, const Value& target) {
  Object* o = target.AsObject();
  if (o != nullptr && o->AsField() != nullptr) return o->AsField()->Link() ? o : nullptr;
  if (target.IsNullish() || target.IsNumber() || target.IsBoolean()) return nullptr;
  ClipObject* clip = ResolveTarget(vm, target);
  if (clip == nullptr || vm.Version() < 6) return nullptr;
  return ClipFocusable(vm, clip) ? clip : nullptr;
}

std::string FocusPath(Vm& vm, Object* focus) {
  if (ClipObject* clip = focus->AsClip()) return vm.TargetPath(clip);
  Object* parent = vm.Get(focus, "_parent").AsObject();
  ClipObject* parent_clip = parent ? parent->AsClip() : nullptr;
  const std::string name = vm.ToString(vm.Get(focus, "_name"));
  return parent_clip ? vm.TargetPath(parent_clip) + "." + name : name;
}

// Where the focus is named: a clip or field path, as getFocus and the events give it.
Value FocusValue(Vm& vm, Object* focus) {
  return focus ? vm.Str(FocusPath(vm, focus)) : Value::Null();
}

FocusState* SelectionFocus(Vm& vm) {
  return Focus(vm.Get(vm.Global(), "Selection"));
}

// The focus, dropped once a field left the stage.
Object* Current(FocusState& s) {
  FieldObject* field = s.focus ? s.focus->AsField() : nullptr;
  if (field != nullptr && field->Link() == nullptr) s.focus = nullptr;
  return s.focus;
}

Value GetFocus(Vm& vm, const Arguments& args) {
  FocusState* s = Focus(args.self);
  if (s == nullptr) return Value::Null();
  return FocusValue(vm, Current(*s));
}

Value SetFocus(Vm& vm, const Arguments& args) {
  if (Focus(args.self) == nullptr) return false;
  if (args[0].IsNull()) {
    MoveFocus(vm, nullptr);
    return false;
  }
  Object* target = Focusable(vm, args[0]);
  if (target == nullptr) return false;
  MoveFocus(vm, target);
  return true;
}

FieldLink* FocusedField(const Arguments& args) {
  FocusState* s = Focus(args.self);
  Object* focus = s ? Current(*s) : nullptr;
  FieldObject* field = focus ? focus->AsField() : nullptr;
  return field ? field->Link() : nullptr;
}

enum class Index { Begin, End, Caret };

template <Index kIndex>
Value GetIndex(Vm&, const Arguments& args) {
  FieldLink* field = FocusedField(args);
  if (field == nullptr) return -1;
  const auto [anchor, caret] = field->GetSelection();
  const size_t index = kIndex == Index::Begin ? std::min(anchor, caret)
                       : kIndex == Index::End ? std::max(anchor, caret)
                                              : caret;
  return static_cast<double>(index);
}

// The field clamps the indices to its text; negative ones count as 0.
Value SetSelection(Vm& vm, const Arguments& args) {
  FieldLink* field = FocusedField(args);
  if (field == nullptr) return Value();
  auto index = [&](size_t i) {
    const double n = vm.ToNumber(args[i]);
    return n > 0 ? static_cast<size_t>(std::min(n, 2147483647.0)) : size_t{0};
  };
  field->SetSelection(index(0), index(1));
  return Value();
}

void InstallSelection(Vm& vm) {
  Object* selection = vm.NewObject();
  vm.DefineMethod(selection, "getBeginIndex", GetIndex<Index::Begin>);
  vm.DefineMethod(selection, "getEndIndex", GetIndex<Index::End>);
  vm.DefineMethod(selection, "getCaretIndex", GetIndex<Index::Caret>);
  vm.DefineMethod(selection, "getFocus", GetFocus);
  vm.DefineMethod(selection, "setFocus", SetFocus);
  vm.DefineMethod(selection, "setSelection", SetSelection);
  selection->primitive = static_cast<Object*>(vm.heap().Make<FocusState>());
  if (Object* asb = vm.Get(vm.Global(), "AsBroadcaster").AsObject()) {
    const Value target = selection;
    vm.CallMethod(asb, "initialize", {&target, 1});
  }
  vm.DefineValue(vm.Global(), "Selection", selection);
}

// --- ContextMenu ----------------------------------------------------------------------------

constexpr const char* kBuiltInItems[] = {"print", "forward_back", "rewind", "loop",
                                         "play",  "quality",      "zoom",   "save"};

// The items the player's own menu shows, each shown or not.
Object* BuiltInItems(Vm& vm, bool shown) {
  Object* items = vm.NewObject();
  for (const char* name : kBuiltInItems) vm.SetOwn(items, name, shown);
  return items;
}

Value MenuConstruct(Vm& vm, const Arguments& args) {
  Object* menu = vm.NewObject(args.self.AsObject());
  vm.SetOwn(menu, "onSelect", args[0]);
  vm.SetOwn(menu, "customItems", static_cast<Object*>(vm.NewArray()));
  vm.SetOwn(menu, "builtInItems", BuiltInItems(vm, true));
  return menu;
}

Value HideBuiltInItems(Vm& vm, const Arguments& args) {
  vm.SetMember(args.self, "builtInItems", BuiltInItems(vm, false));
  return Value();
}

// A new menu with the same handler and built-in items, and a copy of each custom item.
Value MenuCopy(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (self == nullptr) return Value();
  Object* ctor = vm.Get(vm.Global(), "ContextMenu").AsObject();
  const Value handler = vm.Get(self, "onSelect");
  Object* copy = vm.Construct(ctor, {&handler, 1}).AsObject();
  if (copy == nullptr) return Value();
  vm.Set(copy, "builtInItems", vm.Get(self, "builtInItems"));
  ArrayObject* items = vm.NewArray();
  if (Object* source = vm.Get(self, "customItems").AsObject()) {
    const double n = vm.ToNumber(vm.Get(source, "length"));
    const size_t count = n > 0 ? static_cast<size_t>(std::min(n, 65536.0)) : 0;
    if (!items->Resize(vm, static_cast<double>(count))) return copy;
    for (size_t i = 0; i < count; ++i) {
      items->elements[i] = vm.CallMethod(vm.Get(source, std::to_string(i)), "copy", {});
    }
  }
  vm.Set(copy, "customItems", static_cast<Object*>(items));
  return copy;
}

void InstallContextMenu(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "copy", MenuCopy);
  vm.DefineMethod(proto, "hideBuiltInItems", HideBuiltInItems);
  vm.DefineValue(vm.Global(), "ContextMenu",
                 static_cast<Object*>(vm.NewClass(proto, Nothing, MenuConstruct)));
}

// --- ContextMenuItem ------------------------------------------------------------------------

// ContextMenuItem(caption, onSelect, separatorBefore = false, enabled = true, visible = true).
Value ItemConstruct(Vm& vm, const Arguments& args) {
  Object* item = vm.NewObject(args.self.AsObject());
  vm.SetOwn(item, "caption", args[0]);
  vm.SetOwn(item, "onSelect", args[1]);
  vm.SetOwn(item, "separatorBefore", args.size() > 2 && vm.ToBoolean(args[2]));
  vm.SetOwn(item, "enabled", args.size() <= 3 || vm.ToBoolean(args[3]));
  vm.SetOwn(item, "visible", args.size() <= 4 || vm.ToBoolean(args[4]));
  return item;
}

Value ItemCopy(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (self == nullptr) return Value();
  const Value values[] = {vm.Get(self, "caption"), vm.Get(self, "onSelect"),
                          vm.Get(self, "separatorBefore"), vm.Get(self, "enabled"),
                          vm.Get(self, "visible")};
  return vm.Construct(vm.Get(vm.Global(), "ContextMenuItem"), values);
}

void InstallContextMenuItem(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.DefineMethod(proto, "copy", ItemCopy);
  vm.DefineValue(vm.Global(), "ContextMenuItem",
                 static_cast<Object*>(vm.NewClass(proto, Nothing, ItemConstruct)));
}

}  // namespace

Object* FocusedObject(Vm& vm) {
  FocusState* s = SelectionFocus(vm);
  return s ? Current(*s) : nullptr;
}

void MoveFocus(Vm& vm, Object* target, bool tell_stage) {
  FocusState* s = SelectionFocus(vm);
  if (s == nullptr) return;
  Object* old = Current(*s);
  if (old == target) return;
  s->focus = target;
  if (tell_stage) vm.bridge().FocusMoved(target);
  const Value old_value = old ? Value(old) : Value::Null();
  const Value new_value = target ? Value(target) : Value::Null();
  if (old != nullptr) vm.CallMethod(old, "onKillFocus", {&new_value, 1});
  if (target != nullptr) vm.CallMethod(target, "onSetFocus", {&old_value, 1});
  const Value args[] = {vm.Str("onSetFocus"), old_value, new_value};
  vm.CallMethod(vm.Get(vm.Global(), "Selection"), "broadcastMessage", args);
}

void InstallUiClasses(Vm& vm) {
  InstallAccessibility(vm);
  InstallSelection(vm);
  InstallContextMenu(vm);
  InstallContextMenuItem(vm);
}

}  // namespace lumen::avm1
