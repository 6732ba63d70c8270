#include "avm1/ClipObject.h"

#include <cmath>

#include "avm1/ClipDisplay.h"
#include "avm1/FieldObject.h"
#include "avm1/Heap.h"
#include "avm1/Names.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {

namespace {

constexpr std::string_view kPropertyNames[] = {
    "_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
    "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
    "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
    "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
    "_xmouse",      "_ymouse"};

// Version 4 reads scale and rotation back from the matrix, not from what scripts set.
Value MatrixScaleOrRotation(ClipLink& link, ClipProperty property) {
  auto* display = dynamic_cast<ClipDisplayAccess*>(&link);
  if (display == nullptr) return link.Get(property);
  const ClipMatrix m = display->GetMatrix();
  if (property == ClipProperty::XScale) return std::hypot(m.a, m.b) * 100;
  if (property == ClipProperty::YScale) return std::hypot(m.c, m.d) * 100;
  // The angle of the x axis from the slope b / a: an x axis of no length stands upright.
  if (m.a == 0) return m.b < 0 ? -90.0 : 90.0;
  return std::atan2(m.b, m.a) * 180 / 3.14159265358979323846;
}

// _highquality is _quality seen as a number: 0 low, 2 best, 1 anything between.
double HighQualityOf(std::string_view quality) {
  return quality == "LOW" ? 0 : quality == "BEST" ? 2 : 1;
}

std::string_view QualityOfHigh(double high) {
  return high == 0 ? "LOW" : high >= 2 ? "BEST" : "HIGH";
}

}  // namespace

bool PropertyNumber(Vm& vm, const Value& v, double& out) {
  if (v.IsNullish()) return false;
  // Version 4 reads text that is no number as 0 elsewhere; properties leave it alone.
  out = v.IsString() && vm.Version() < 5 ? StringToNumber(v.AsString(), NumberDialect::Swf5)
                                         : vm.ToNumber(v);
  return std::isfinite(out);
}

bool SetTabIndex(Vm& vm, Object& object, std::string_view name, const Value& value) {
  if (!SameName(name, "tabIndex", vm.CaseSensitive())) return false;
  const bool field = object.AsField() != nullptr;
  const bool hidden = !field && !object.AsClip()->button;
  if (hidden) {
    // A clip's index is kept as a number only once a number was set: what came first stays a
    // plain variable.
    const Property* own = object.Properties().Find(name, vm.CaseSensitive());
    if (own != nullptr ? !(own->flags & kDontEnum) : !value.IsNumber()) return false;
  }
  Value index = value;
  if (!value.IsUndefined() && field) {
    index = static_cast<double>(static_cast<uint32_t>(vm.ToInt32(value)));
  } else if (!value.IsUndefined()) {
    const double n = std::trunc(vm.ToNumber(value));
    constexpr double kLimit = 2147483648.0;
    index = n >= -kLimit && n < kLimit ? n : -kLimit;
  }
  vm.SetOwn(&object, name, index, hidden ? kDontEnum : 0);
  return true;
}

bool FindClipProperty(std::string_view name, ClipProperty& out) {
  if (name.empty() || name[0] != '_') return false;
  for (size_t i = 0; i < std::size(kPropertyNames); ++i) {
    if (SameName(name, kPropertyNames[i], false)) {
      out = static_cast<ClipProperty>(i);
      return true;
    }
  }
  return false;
}

Value GetClipProperty(Vm& vm, ClipObject& clip, ClipProperty property) {
  ClipLink* link = clip.Link();
  if (link == nullptr) return Value();
  switch (property) {
    case ClipProperty::Visible:
      return link->Get(property) != 0;
    case ClipProperty::Target:
      return vm.Str(vm.SlashTargetPath(&clip));
    case ClipProperty::Name:
      return vm.Str(link->Name());
    case ClipProperty::XScale:
    case ClipProperty::YScale:
    case ClipProperty::Rotation:
      return vm.Version() < 5 ? MatrixScaleOrRotation(*link, property) : link->Get(property);
    case ClipProperty::HighQuality:
      return HighQualityOf(vm.bridge().Quality());
    case ClipProperty::SoundBufTime:
      return vm.sound_buffer_time;
    case ClipProperty::DropTarget:
      return vm.Str("");
    case ClipProperty::Url:
      return vm.Str(vm.bridge().Url());
    case ClipProperty::Quality:
      return vm.Str(vm.bridge().Quality());
    case ClipProperty::FocusRect:
      if (!clip.focus_rect) return Value::Null();
      // Older movies see a number.
      return vm.Version() >= 6 ? Value(*clip.focus_rect) : Value(*clip.focus_rect ? 1.0 : 0.0);
    default:
      return link->Get(property);
  }
}

void SetClipProperty(Vm& vm, ClipObject& clip, ClipProperty property, const Value& value) {
  ClipLink* link = clip.Link();
  if (link == nullptr) return;
  double n = 0;
  switch (property) {
    case ClipProperty::Name:
      // A boolean names the clip by its word in every version.
      link->SetName(value.IsBoolean() ? (value.AsBoolean() ? "true" : "false")
                                      : vm.ToString(value));
      return;
    case ClipProperty::Quality:
      vm.bridge().SetQuality(vm.ToString(value));
      return;
    case ClipProperty::HighQuality:
      if (PropertyNumber(vm, value, n)) vm.bridge().SetQuality(QualityOfHigh(n));
      return;
    case ClipProperty::SoundBufTime:
      if (PropertyNumber(vm, value, n)) vm.sound_buffer_time = std::trunc(n);
      return;
    case ClipProperty::Visible:
      if (PropertyNumber(vm, value.IsBoolean() ? Value(value.AsBoolean() ? 1 : 0) : value, n)) {
        link->Set(property, n != 0);
      }
      return;
    case ClipProperty::FocusRect:
      if (vm.Version() < 6) {
        // Older movies set it as a number and ignore what is none.
        if (PropertyNumber(vm, value, n)) clip.focus_rect = n != 0;
      } else if (value.IsNullish()) {
        clip.focus_rect.reset();
      } else {
        n = vm.ToNumber(value);
        clip.focus_rect = n == n && n != 0;
      }
      return;
    case ClipProperty::CurrentFrame:
    case ClipProperty::TotalFrames:
    case ClipProperty::FramesLoaded:
    case ClipProperty::Target:
    case ClipProperty::DropTarget:
    case ClipProperty::Url:
    case ClipProperty::XMouse:
    case ClipProperty::YMouse:
      return;  // read-only
    default:
      if (PropertyNumber(vm, value, n)) link->Set(property, n);
      return;
  }
}

bool ClipObject::GetNative(Vm& vm, std::string_view name, Value& out) {
  if (link_ == nullptr) return false;
  if (Properties().Find(name, vm.CaseSensitive()) != nullptr) return false;
  if (!name.empty() && name[0] == '_') {
    if (SameName(name, "_parent", false)) {
      ClipLink* parent = link_->Parent();
      // Before version 6 a button is no object: a clip in it has the button's parent as its own.
      while (vm.Version() < 6 && parent != nullptr && parent->Script()->button) {
        parent = parent->Parent();
      }
      out = parent ? Value(static_cast<Object*>(parent->Script())) : Value();
      return true;
    }
    // A level name is answered here, by a level or by nothing.
    if (SameName(name, "_root", false) || LevelOfName(name)) {
      Object* o = vm.ResolvePath(name, nullptr, this);
      out = o ? Value(o) : Value();
      return true;
    }
  }
  if (ClipLink* child = link_->Child(name, vm.CaseSensitive())) {
    // Before version 6 a button's name finds the clip it is in.
    const bool hidden = vm.Version() < 6 && child->Script()->button;
    out = static_cast<Object*>(hidden ? this : child->Script());
    return true;
  }
  if (FieldLink* field = link_->ChildField(name, vm.CaseSensitive())) {
    out = static_cast<Object*>(field->Script());
    return true;
  }
  // A child named like a property (`_x`) hides it from member reads, not from GetProperty.
  ClipProperty property;
  if (!FindClipProperty(name, property)) return false;
  out = GetClipProperty(vm, *this, property);
  return true;
}

bool ClipObject::SetNative(Vm& vm, std::string_view name, const Value& value) {
  if (link_ == nullptr) return false;
  if (SetTabIndex(vm, *this, name, value)) return true;
  ClipProperty property;
  if (!FindClipProperty(name, property)) return false;
  SetClipProperty(vm, *this, property, value);
  return true;
}

void ClipObject::Trace(Heap& heap) {
  Object::Trace(heap);
  heap.Mark(mask);
}

void ClipObject::NativeKeys(Vm&, std::vector<std::string>& keys) {
  if (link_ != nullptr && button) keys.emplace_back("tabIndex");  // even before one is set
}

void ClipObject::ChildKeys(std::vector<std::string>& keys) {
  if (link_ == nullptr) return;
  std::vector<ClipLink*> children;
  link_->Children(children);
  for (ClipLink* child : children) {
    std::string name = child->Name();
    if (!name.empty()) keys.push_back(std::move(name));
  }
}

}  // namespace lumen::avm1
