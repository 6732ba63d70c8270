// flash.display.BitmapData: script-made bitmaps.
//
// Design: the object holds its pixels (BitmapPixels) until dispose; a disposed bitmap has none,
// and its properties then read -1. The methods answer as the reference's natives do: most
// return a status number (0 done, -1 refused, and a few negative codes that say which argument
// was wrong) rather than undefined. Pixels are charged to the script heap as they are made, so
// a movie making bitmaps in a loop runs into the memory budget.

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "avm1/BitmapPixels.h"
#include "avm1/Builtins.h"
#include "avm1/Vm.h"
#include "avm1/builtins/BitmapDataClass.h"

namespace lumen::avm1 {
namespace {

constexpr double kRefused = -1;

// Kept in the bitmap object's `primitive`, so that a script subclass's instance can hold one.
class BitmapState final : public Object {
 public:
  BitmapState() : Object(nullptr) {}
  size_t Footprint() const override {
    return Object::Footprint() + sizeof(*this) - sizeof(Object) + (pixels ? pixels->Bytes() : 0);
  }
  std::shared_ptr<BitmapPixels> pixels;
};

BitmapState* BitmapOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<BitmapState*>(o->primitive.AsObject()) : nullptr;
}

// The pixels of a live bitmap, or null for anything else.
BitmapPixels* PixelsOf(const Value& v) {
  BitmapState* b = BitmapOf(v);
  return b ? b->pixels.get() : nullptr;
}

int32_t Int(Vm& vm, const Value& v) {
  return vm.ToInt32(v);
}
uint32_t Color(Vm& vm, const Value& v) {
  return static_cast<uint32_t>(vm.ToInt32(v));
}

// x, y, width and height of a rectangle or any object that has them all.
std::optional<PixelRect> RectOf(Vm& vm, const Value& v) {
  if (!v.IsObject()) return std::nullopt;
  Value parts[4];
  const char* names[] = {"x", "y", "width", "height"};
  for (size_t i = 0; i < 4; ++i) {
    parts[i] = vm.GetMember(v, names[i]);
    if (parts[i].IsUndefined()) return std::nullopt;
  }
  return PixelRect{Int(vm, parts[0]), Int(vm, parts[1]), Int(vm, parts[2]), Int(vm, parts[3])};
}

struct PixelPoint {
  int32_t x = 0, y = 0;
};

PixelPoint PointOf(Vm& vm, const Value& v) {
  return {Int(vm, vm.GetMember(v, "x")), Int(vm, vm.GetMember(v, "y"))};
}

// A class of `_global.flash.geom`, as the movie has it now.
Value GeomClass(Vm& vm, std::string_view name) {
  return vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom"), name);
}

Object* AttachBitmap(Vm& vm, Object* o, std::shared_ptr<BitmapPixels> pixels) {
  // Checked at once: a loop making bitmaps stops here, not at the next budget check.
  if (pixels) vm.heap().Reserve(pixels->Bytes());
  auto* b = vm.heap().Make<BitmapState>();
  b->pixels = std::move(pixels);
  o->primitive = static_cast<Object*>(b);
  o->native_class = "BitmapData";
  return o;
}

Object* NewBitmap(Vm& vm, Object* proto, std::shared_ptr<BitmapPixels> pixels) {
  return AttachBitmap(vm, vm.heap().Make<Object>(proto), std::move(pixels));
}

// (width, height, transparent = true, fill = 0xFFFFFFFF); null for a size out of bounds.
std::shared_ptr<BitmapPixels> PixelsFromArguments(Vm& vm, const Arguments& args) {
  const double width = vm.ToNumber(args[0]);
  const double height = vm.ToNumber(args[1]);
  if (!BitmapPixels::ValidSize(width, height)) return nullptr;
  const bool transparent = args.size() > 2 ? vm.ToBoolean(args[2]) : true;
  const uint32_t fill = args.size() > 3 ? Color(vm, args[3]) : 0xFFFFFFFFu;
  return std::make_shared<BitmapPixels>(static_cast<int32_t>(width), static_cast<int32_t>(height),
                                        transparent, fill);
}

// new BitmapData(...): nothing at all for a size out of bounds.
Value Construct(Vm& vm, const Arguments& args) {
  auto pixels = PixelsFromArguments(vm, args);
  if (!pixels) return Value();
  return NewBitmap(vm, args.self.AsObject(), std::move(pixels));
}

// super(...) makes the subclass's instance a bitmap.
Value BitmapCall(Vm& vm, const Arguments& args) {
  Object* o = SuperTarget(vm, args.self);
  if (o == nullptr) return Value();
  auto pixels = PixelsFromArguments(vm, args);
  if (!pixels) return Value();
  return AttachBitmap(vm, o, std::move(pixels));
}

Value Width(Vm&, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  return p ? Value(p->Width()) : Value(kRefused);
}
Value Height(Vm&, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  return p ? Value(p->Height()) : Value(kRefused);
}
Value Transparent(Vm&, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  return p ? Value(p->Transparent()) : Value(kRefused);
}
Value Rectangle(Vm& vm, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr) return kRefused;
  const Value parts[] = {0, 0, p->Width(), p->Height()};
  return vm.Construct(GeomClass(vm, "Rectangle"), parts);
}

Value GetPixel(Vm& vm, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 2) return kRefused;
  return static_cast<double>(p->Get(Int(vm, args[0]), Int(vm, args[1])) & 0xFFFFFF);
}

Value GetPixel32(Vm& vm, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 2) return kRefused;
  return static_cast<double>(static_cast<int32_t>(p->Get(Int(vm, args[0]), Int(vm, args[1]))));
}

// setPixel keeps the pixel's alpha.
Value SetPixel(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 3) return kRefused;
  const int32_t x = Int(vm, args[0]);
  const int32_t y = Int(vm, args[1]);
  if (p->Contains(x, y))
    p->Set(x, y, (p->Get(x, y) & 0xFF000000u) | (Color(vm, args[2]) & 0xFFFFFF));
  return 0;
}

Value SetPixel32(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 3) return kRefused;
  p->Set(Int(vm, args[0]), Int(vm, args[1]), Color(vm, args[2]));
  return 0;
}

Value FillRect(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 2) return kRefused;
  const std::optional<PixelRect> r = RectOf(vm, args[0]);
  if (!r) return kRefused;
  p->Fill(*r, Color(vm, args[1]));
  return 0;
}

Value Scroll(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 2) return kRefused;
  p->Scroll(Int(vm, args[0]), Int(vm, args[1]));
  return 0;
}

// copyPixels(source, sourceRect, destPoint, alphaBitmap, alphaPoint, mergeAlpha)
Value CopyPixels(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  const BitmapPixels* source = PixelsOf(args[0]);
  if (p == nullptr || source == nullptr || args.size() < 3) return kRefused;
  const std::optional<PixelRect> from = RectOf(vm, args[1]);
  if (!from || !args[2].IsObject()) return kRefused;
  const PixelPoint to = PointOf(vm, args[2]);
  p->Copy(*source, *from, to.x, to.y, vm.ToBoolean(args[5]));
  return 0;
}

Value Clone(Vm& vm, const Arguments& args) {
  BitmapState* b = BitmapOf(args.self);
  if (b == nullptr || !b->pixels) return kRefused;
  return static_cast<Object*>(
      NewBitmap(vm, args.self.AsObject()->Proto(), std::make_shared<BitmapPixels>(*b->pixels)));
}

Value Dispose(Vm&, const Arguments& args) {
  if (BitmapState* b = BitmapOf(args.self)) b->pixels.reset();
  return Value();
}

// A bitmap of the differences: per channel this minus other where the colours differ (alpha
// full), the alpha difference over white where only alpha does, clear where the pixels agree.
// 0 when nothing differs; negative codes for what cannot be compared.
Value Compare(Vm& vm, const Arguments& args) {
  BitmapState* self = BitmapOf(args.self);
  if (self == nullptr || !self->pixels) return -1;
  const BitmapPixels* other = PixelsOf(args[0]);
  if (other == nullptr) return -2;
  const BitmapPixels& mine = *self->pixels;
  if (mine.Width() != other->Width()) return -3;
  if (mine.Height() != other->Height()) return -4;
  auto diff = std::make_shared<BitmapPixels>(mine.Width(), mine.Height(), true, 0);
  bool any = false;
  for (int32_t y = 0; y < mine.Height(); ++y) {
    for (int32_t x = 0; x < mine.Width(); ++x) {
      const uint32_t a = mine.Get(x, y);
      const uint32_t b = other->Get(x, y);
      if (a == b) continue;
      any = true;
      uint32_t out = 0;
      if ((a & 0xFFFFFF) != (b & 0xFFFFFF)) {
        out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
          out |= ((((a >> shift) & 0xFF) - ((b >> shift) & 0xFF)) & 0xFF) << shift;
        }
      } else {
        out = ((((a >> 24) - (b >> 24)) & 0xFF) << 24) | 0xFFFFFF;
      }
      diff->Set(x, y, out);
    }
  }
  if (!any) return 0;
  return NewBitmap(vm, args.self.AsObject()->Proto(), std::move(diff));
}

bool Opaque(const BitmapPixels& p, int32_t x, int32_t y, uint32_t threshold) {
  return p.Contains(x, y) && (p.Get(x, y) >> 24) >= threshold;
}

// Points must carry their own coordinates; inherited ones do not count.
bool IsPoint(Vm& vm, const Value& v) {
  Object* o = v.AsObject();
  return o != nullptr && vm.HasOwn(o, "x") && vm.HasOwn(o, "y");
}

// One channel's lookup table for paletteMap: the script's list, or the channel as it is.
std::array<uint32_t, 256> ChannelTable(Vm& vm, const Value& list, int shift) {
  std::array<uint32_t, 256> table;
  for (uint32_t i = 0; i < 256; ++i) {
    table[i] = list.IsObject()
                   ? static_cast<uint32_t>(vm.ToInt32(vm.GetMember(list, std::to_string(i))))
                   : i << shift;
  }
  return table;
}

// paletteMap(source, sourceRect, destPoint, red, green, blue, alpha): each pixel becomes the
// sum of its channels' entries in the lists. The reference answers -1 when done, and -2, -3
// and -4 for a source that is no bitmap, a disposed one, and a rectangle that is none.
Value PaletteMap(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr || args.size() < 4) return kRefused;
  BitmapState* source_object = BitmapOf(args[0]);
  if (source_object == nullptr) return -2;
  if (!source_object->pixels) return -3;
  const std::optional<PixelRect> from = RectOf(vm, args[1]);
  if (!from) return -4;
  const PixelPoint to = IsPoint(vm, args[2]) ? PointOf(vm, args[2]) : PixelPoint{};
  const std::array<uint32_t, 256> tables[] = {
      ChannelTable(vm, args[6], 24), ChannelTable(vm, args[3], 16), ChannelTable(vm, args[4], 8),
      ChannelTable(vm, args[5], 0)};
  // The source is read whole first: it may be this bitmap.
  const BitmapPixels source = *source_object->pixels;
  const PixelRect area = source.Clip(*from);
  for (int32_t y = area.y; y < area.y + area.height; ++y) {
    for (int32_t x = area.x; x < area.x + area.width; ++x) {
      const uint32_t c = source.Get(x, y);
      uint32_t out = 0;
      for (int i = 0; i < 4; ++i) out += tables[i][(c >> (24 - 8 * i)) & 0xFF];
      const int64_t dx = int64_t{to.x} + (x - from->x);
      const int64_t dy = int64_t{to.y} + (y - from->y);
      if (dx >= 0 && dy >= 0 && dx < p->Width() && dy < p->Height()) {
        p->Set(static_cast<int32_t>(dx), static_cast<int32_t>(dy), out);
      }
    }
  }
  return kRefused;
}

bool AnyOpaque(const BitmapPixels& p, const PixelRect& r, uint32_t threshold) {
  const PixelRect area = p.Clip(r);
  for (int32_t y = area.y; y < area.y + area.height; ++y) {
    for (int32_t x = area.x; x < area.x + area.width; ++x) {
      if (Opaque(p, x, y, threshold)) return true;
    }
  }
  return false;
}

// Where both bitmaps have pixels above their thresholds; `other` lies at (dx, dy) in `p`.
bool Overlap(const BitmapPixels& p, uint32_t threshold, const BitmapPixels& other, int64_t dx,
             int64_t dy, uint32_t other_threshold) {
  const int64_t left = std::max<int64_t>(0, dx);
  const int64_t top = std::max<int64_t>(0, dy);
  const int64_t right = std::min<int64_t>(p.Width(), dx + other.Width());
  const int64_t bottom = std::min<int64_t>(p.Height(), dy + other.Height());
  for (int64_t y = top; y < bottom; ++y) {
    for (int64_t x = left; x < right; ++x) {
      if (Opaque(p, static_cast<int32_t>(x), static_cast<int32_t>(y), threshold) &&
          Opaque(other, static_cast<int32_t>(x - dx), static_cast<int32_t>(y - dy),
                 other_threshold)) {
        return true;
      }
    }
  }
  return false;
}

// hitTest(firstPoint, firstAlphaThreshold, second, secondPoint, secondAlphaThreshold): whether
// a pixel at least as opaque as the threshold lies under a point, in a rectangle, or where
// another bitmap's own such pixels lie. Positions are relative to firstPoint. The codes say
// which argument was wrong: -2 the first point, -3 the second object, -4 the second point.
Value HitTest(Vm& vm, const Arguments& args) {
  const BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr) return -1;
  if (!IsPoint(vm, args[0])) return -2;
  const PixelPoint origin = PointOf(vm, args[0]);
  const auto threshold = static_cast<uint32_t>(Int(vm, args[1]) & 0xFF);
  const Value& second = args[2];
  if (BitmapOf(second) != nullptr) {
    const BitmapPixels* other = PixelsOf(second);
    if (other == nullptr) return -3;
    if (!IsPoint(vm, args[3])) return -4;
    const PixelPoint at = PointOf(vm, args[3]);
    const auto other_threshold = static_cast<uint32_t>(Int(vm, args[4]) & 0xFF);
    return Overlap(*p, threshold, *other, int64_t{at.x} - origin.x, int64_t{at.y} - origin.y,
                   other_threshold);
  }
  if (const std::optional<PixelRect> r = RectOf(vm, second)) {
    return AnyOpaque(*p, {r->x - origin.x, r->y - origin.y, r->width, r->height}, threshold);
  }
  if (!IsPoint(vm, second)) return -3;
  const PixelPoint q = PointOf(vm, second);
  return Opaque(*p, q.x - origin.x, q.y - origin.y, threshold);
}

// draw(source, matrix, colorTransform, blendMode, clipRect, smoothing) for a bitmap source:
// each pixel of the clip rectangle takes the source pixel its centre maps back to, blended over.
Value Draw(Vm& vm, const Arguments& args) {
  BitmapPixels* p = PixelsOf(args.self);
  if (p == nullptr) return kRefused;
  const BitmapPixels* source = PixelsOf(args[0]);
  if (source == nullptr) return kRefused;
  double m[6] = {1, 0, 0, 1, 0, 0};
  if (args[1].IsObject()) {
    const char* names[] = {"a", "b", "c", "d", "tx", "ty"};
    for (size_t i = 0; i < 6; ++i) m[i] = vm.ToNumber(vm.GetMember(args[1], names[i]));
  }
  const double det = m[0] * m[3] - m[1] * m[2];
  if (!std::isfinite(det) || det == 0) return 0;
  PixelRect area{0, 0, p->Width(), p->Height()};
  if (args[4].IsObject()) {
    if (std::optional<PixelRect> clip = RectOf(vm, args[4])) area = *clip;
  }
  area = p->Clip(area);
  for (int32_t y = area.y; y < area.y + area.height; ++y) {
    for (int32_t x = area.x; x < area.x + area.width; ++x) {
      const double px = x + 0.5 - m[4];
      const double py = y + 0.5 - m[5];
      const double sx = std::floor((m[3] * px - m[2] * py) / det);
      const double sy = std::floor((m[0] * py - m[1] * px) / det);
      if (!(sx >= 0 && sy >= 0 && sx < source->Width() && sy < source->Height())) continue;
      p->BlendRaw(x, y, source->Raw(static_cast<int32_t>(sx), static_cast<int32_t>(sy)));
    }
  }
  return 0;
}

// BitmapData.loadBitmap(name): a new bitmap holding a copy of an exported one.
Value LoadBitmap(Vm& vm, const Arguments& args) {
  std::shared_ptr<BitmapPixels> pixels = vm.bridge().ExportedBitmap(vm.ToString(args[0]));
  if (!pixels) return Value();
  return static_cast<Object*>(
      NewBitmap(vm, vm.GetMember(args.self, "prototype").AsObject(), std::move(pixels)));
}

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFunction get) {
  vm.SetOwn(on, name, Value(), kDontEnum);
  on->Properties().Find(name, vm.CaseSensitive())->getter = vm.NewNative(get);
}

}  // namespace

Object* DisplayPackage(Vm& vm) {
  Object* flash = FlashPackage(vm);
  if (Property* p = flash->Properties().Find("display", vm.CaseSensitive())) {
    if (Object* existing = p->value.AsObject()) return existing;
  }
  Object* display = vm.NewObject();
  vm.SetOwn(flash, "display", display);
  return display;
}

bool IsBitmapData(const Value& v) {
  return BitmapOf(v) != nullptr;
}

Value NewBitmapData(Vm& vm, std::shared_ptr<BitmapPixels> pixels) {
  const Value ctor = vm.GetMember(DisplayPackage(vm), "BitmapData");
  return static_cast<Object*>(
      NewBitmap(vm, vm.GetMember(ctor, "prototype").AsObject(), std::move(pixels)));
}

std::shared_ptr<const BitmapPixels> BitmapDataPixels(const Value& v) {
  BitmapState* b = BitmapOf(v);
  return b ? b->pixels : nullptr;
}

void InstallBitmapDataClass(Vm& vm) {
  Object* proto = vm.NewObject();
  DefineAccessor(vm, proto, "width", Width);
  DefineAccessor(vm, proto, "height", Height);
  DefineAccessor(vm, proto, "rectangle", Rectangle);
  DefineAccessor(vm, proto, "transparent", Transparent);
  vm.DefineMethod(proto, "getPixel", GetPixel);
  vm.DefineMethod(proto, "getPixel32", GetPixel32);
  vm.DefineMethod(proto, "setPixel", SetPixel);
  vm.DefineMethod(proto, "setPixel32", SetPixel32);
  vm.DefineMethod(proto, "fillRect", FillRect);
  vm.DefineMethod(proto, "copyPixels", CopyPixels);
  vm.DefineMethod(proto, "scroll", Scroll);
  vm.DefineMethod(proto, "clone", Clone);
  vm.DefineMethod(proto, "dispose", Dispose);
  vm.DefineMethod(proto, "compare", Compare);
  vm.DefineMethod(proto, "hitTest", HitTest);
  vm.DefineMethod(proto, "draw", Draw);
  vm.DefineMethod(proto, "paletteMap", PaletteMap);
  FunctionObject* ctor = vm.NewClass(proto, BitmapCall, Construct);
  vm.DefineMethod(ctor, "loadBitmap", LoadBitmap);
  vm.SetOwn(DisplayPackage(vm), "BitmapData", static_cast<Object*>(ctor));
}

}  // namespace lumen::avm1
