// MovieClip.prototype.blendMode, cacheAsBitmap, scrollRect, scale9Grid and opaqueBackground
// (version 8): accessors over the clip's display, read and written through ClipDisplayAccess.

#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "avm1/Builtins.h"
#include "avm1/ClipDisplay.h"
#include "avm1/ClipObject.h"
#include "avm1/Vm.h"

namespace lumen::avm1 {
namespace {

// Index + 1 is the mode's number.
constexpr std::array<std::string_view, 14> kBlendModes = {
    "normal", "layer",    "multiply", "screen", "lighten", "darken",  "difference",
    "add",    "subtract", "invert",   "alpha",  "erase",   "overlay", "hardlight"};

Value GetBlendMode(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  if (display == nullptr) return Value();
  const int mode = display->BlendMode();
  if (mode < 1 || mode > static_cast<int>(kBlendModes.size())) return Value();
  return vm.Str(kBlendModes[static_cast<size_t>(mode - 1)]);
}

// A mode's name or number; anything else leaves the mode as it was.
Value SetBlendMode(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  if (display == nullptr) return Value();
  if (args[0].IsString()) {
    const std::string name = vm.ToString(args[0]);
    for (size_t i = 0; i < kBlendModes.size(); ++i) {
      if (kBlendModes[i] == name) display->SetBlendMode(static_cast<int>(i) + 1);
    }
  } else if (args[0].IsNumber()) {
    const double n = vm.ToNumber(args[0]);
    if (n >= 1 && n < kBlendModes.size() + 1) display->SetBlendMode(static_cast<int>(n));
  }
  return Value();
}

Value GetCacheAsBitmap(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  return display ? Value(display->CacheAsBitmap()) : Value();
}

Value SetCacheAsBitmap(Vm& vm, const Arguments& args) {
  if (ClipDisplayAccess* display = ClipDisplayOf(vm, args.self)) {
    display->SetCacheAsBitmap(vm.ToBoolean(args[0]));
  }
  return Value();
}

Value GetScrollRect(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  const std::optional<ClipRect> rect = display ? display->ScrollRect() : std::nullopt;
  if (!rect) return Value();
  return NewGeomRectangle(vm, rect->x, rect->y, rect->width, rect->height);
}

// An object with finite x, y and a width and height above zero; none for anything else.
std::optional<ClipRect> RectOf(Vm& vm, const Value& value) {
  if (!value.IsObject()) return std::nullopt;
  auto field = [&](std::string_view name) { return vm.ToNumber(vm.GetMember(value, name)); };
  const ClipRect r{field("x"), field("y"), field("width"), field("height")};
  if (std::isfinite(r.x) && std::isfinite(r.y) && r.width > 0 && r.height > 0 &&
      std::isfinite(r.width) && std::isfinite(r.height)) {
    return r;
  }
  return std::nullopt;
}

// A rectangle scrolls the clip; anything else shows all of it again.
Value SetScrollRect(Vm& vm, const Arguments& args) {
  if (ClipDisplayAccess* display = ClipDisplayOf(vm, args.self)) {
    display->SetScrollRect(RectOf(vm, args[0]));
  }
  return Value();
}

Value GetScale9Grid(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  const std::optional<ClipRect> grid = display ? display->Scale9Grid() : std::nullopt;
  if (!grid) return Value();
  return NewGeomRectangle(vm, grid->x, grid->y, grid->width, grid->height);
}

// A rectangle replaces the clip's grid, the definition's included; anything else removes it.
Value SetScale9Grid(Vm& vm, const Arguments& args) {
  if (ClipDisplayAccess* display = ClipDisplayOf(vm, args.self)) {
    display->SetScale9Grid(RectOf(vm, args[0]));
  }
  return Value();
}

Value GetOpaqueBackground(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  const std::optional<uint32_t> rgb = display ? display->OpaqueBackground() : std::nullopt;
  return rgb ? Value(static_cast<double>(*rgb)) : Value();
}

// A colour number; undefined or null takes the background away.
Value SetOpaqueBackground(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  if (display == nullptr) return Value();
  if (args[0].IsNullish()) {
    display->SetOpaqueBackground(std::nullopt);
    return Value();
  }
  const double n = vm.ToNumber(args[0]);
  const double whole = std::isfinite(n) ? std::fmod(std::trunc(n), 4294967296.0) : 0;
  const auto bits =
      static_cast<uint32_t>(static_cast<int64_t>(whole < 0 ? whole + 4294967296.0 : whole));
  display->SetOpaqueBackground(bits & 0xFFFFFF);
  return Value();
}

void DefineClipAccessor(Vm& vm, Object* proto, std::string_view name, NativeFunction get,
                        NativeFunction set) {
  vm.SetOwn(proto, name, Value(), kDontEnum);
  Property* p = proto->Properties().Find(name, vm.CaseSensitive());
  p->getter = vm.NewNative(get);
  p->setter = vm.NewNative(set);
  p->min_version = 8;
}

// Buttons read and set their look through the clips' accessors, enumerable on their prototype.
void ShareWithButtons(Vm& vm, Object* clip_proto) {
  Object* proto = vm.builtins().button_proto;
  if (proto == nullptr) return;
  for (const char* name : {"scale9Grid", "filters", "cacheAsBitmap", "blendMode"}) {
    const Property* from = clip_proto->Properties().Find(name, vm.CaseSensitive());
    if (from == nullptr) continue;
    vm.SetOwn(proto, name, Value(), 0);
    Property* p = proto->Properties().Find(name, vm.CaseSensitive());
    p->getter = from->getter;
    p->setter = from->setter;
    p->min_version = from->min_version;
  }
}

}  // namespace

ClipDisplayAccess* ClipDisplayOf(Vm& vm, const Value& self) {
  Object* o = self.AsObject();
  ClipObject* clip = o ? vm.Live(o)->AsClip() : nullptr;
  ClipLink* link = clip ? clip->Link() : nullptr;
  return dynamic_cast<ClipDisplayAccess*>(link);
}

void InstallClipLookProperties(Vm& vm) {
  Object* proto = vm.builtins().clip_proto;
  if (proto == nullptr) return;
  DefineClipAccessor(vm, proto, "blendMode", GetBlendMode, SetBlendMode);
  DefineClipAccessor(vm, proto, "cacheAsBitmap", GetCacheAsBitmap, SetCacheAsBitmap);
  DefineClipAccessor(vm, proto, "scrollRect", GetScrollRect, SetScrollRect);
  DefineClipAccessor(vm, proto, "scale9Grid", GetScale9Grid, SetScale9Grid);
  DefineClipAccessor(vm, proto, "opaqueBackground", GetOpaqueBackground, SetOpaqueBackground);
  ShareWithButtons(vm, proto);
}

}  // namespace lumen::avm1
