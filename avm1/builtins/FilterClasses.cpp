// flash.filters: BitmapFilter and its nine kinds, as script objects over a FilterSettings.
//
// Design: a filter object keeps its settings natively; every property is an accessor on its
// class's prototype whose setter brings the value into the filter's range the way the
// reference does (clamping, wrapping angles, quantising alphas to bytes), so what scripts read
// back is what the player would draw with. Gradient lists share one count of stops: colors sets
// it, ratios can only lower it, alphas fills what it leaves open. A clip's `filters` hands out
// fresh filter objects on every read and takes copies of the settings on every write.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "avm1/BitmapPixels.h"
#include "avm1/Builtins.h"
#include "avm1/ClipDisplay.h"
#include "avm1/ClipObject.h"
#include "avm1/FilterSettings.h"
#include "avm1/Vm.h"
#include "avm1/builtins/BitmapDataClass.h"
#include "avm1/builtins/FilterClasses.h"

namespace lumen::avm1 {
namespace {

using Kind = FilterSettings::Kind;

constexpr size_t kMaxStops = 16;
constexpr int kMaxMatrixSide = 15;
// Convolution matrices keep as many numbers as scripts give, within this bound.
constexpr size_t kMaxMatrix = 4096;
constexpr size_t kColorMatrixSize = 20;
constexpr size_t kMaxFilters = 256;
constexpr int kMaxChain = 256;

// Kept in the filter object's `primitive`, so that a script subclass's instance can hold one.
class FilterState final : public Object {
 public:
  explicit FilterState(FilterSettings s) : Object(nullptr), settings(std::move(s)) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(map_bitmap);
  }
  size_t Footprint() const override {
    return Object::Footprint() + sizeof(*this) - sizeof(Object) +
           settings.matrix.capacity() * sizeof(double);
  }
  FilterSettings settings;
  Value map_bitmap;  // the BitmapData a displacement reads, as the script gave it
};

FilterState* FilterOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<FilterState*>(o->primitive.AsObject()) : nullptr;
}

FilterState* AttachFilter(Vm& vm, Object* o, FilterSettings settings) {
  auto* f = vm.heap().Make<FilterState>(std::move(settings));
  o->primitive = static_cast<Object*>(f);
  o->native_class = "BitmapFilter";
  return f;
}

FilterSettings* SettingsOf(const Value& v) {
  FilterState* f = FilterOf(v);
  return f ? &f->settings : nullptr;
}

double Clamp(double v, double low, double high) {
  return std::isnan(v) ? low : std::clamp(v, low, high);
}

// A missing alpha (NaN) is full.
uint8_t AlphaByte(double a) {
  return std::isnan(a) ? 255 : static_cast<uint8_t>(std::clamp(a, 0.0, 1.0) * 255);
}

// The length a script value claims, within `most`.
size_t LengthOf(Vm& vm, const Value& v, size_t most) {
  const double n = vm.ToNumber(vm.GetMember(v, "length"));
  return n >= 1 ? static_cast<size_t>(std::min(n, static_cast<double>(most))) : 0;
}

Value Element(Vm& vm, const Value& list, size_t i) {
  return vm.GetMember(list, std::to_string(i));
}

ArrayObject* NewArray(Vm& vm, size_t n, auto&& element) {
  ArrayObject* array = vm.NewArray();
  array->Resize(vm, static_cast<double>(n));
  for (size_t i = 0; i < n; ++i) array->elements[i] = element(i);
  return array;
}

// --- Accessors over settings fields --------------------------------------------------------------

template <auto Field>
Value GetField(Vm&, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  return Value(s->*Field);
}

// Blur sizes and strengths: 0..255.
template <double FilterSettings::*Field>
Value SetByte(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) s->*Field = Clamp(vm.ToNumber(args[0]), 0, 255);
  return Value();
}

template <double FilterSettings::*Field>
Value SetNumber(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) s->*Field = vm.ToNumber(args[0]);
  return Value();
}

template <double FilterSettings::*Field>
Value SetScale(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self))
    s->*Field = Clamp(vm.ToNumber(args[0]), -65535, 65535);
  return Value();
}

template <bool FilterSettings::*Field>
Value SetFlag(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) s->*Field = vm.ToBoolean(args[0]);
  return Value();
}

template <uint32_t FilterSettings::*Field>
Value GetColor(Vm&, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  return s ? Value(static_cast<double>(s->*Field)) : Value();
}

template <uint32_t FilterSettings::*Field>
Value SetColor(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) {
    s->*Field = static_cast<uint32_t>(vm.ToInt32(args[0])) & 0xFFFFFF;
  }
  return Value();
}

template <uint8_t FilterSettings::*Field>
Value GetAlpha(Vm&, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  return s ? Value(s->*Field / 255.0) : Value();
}

template <uint8_t FilterSettings::*Field>
Value SetAlpha(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) s->*Field = AlphaByte(vm.ToNumber(args[0]));
  return Value();
}

template <int32_t FilterSettings::*Field>
Value SetInteger(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) s->*Field = vm.ToInt32(args[0]);
  return Value();
}

Value SetQuality(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self))
    s->quality = std::clamp(vm.ToInt32(args[0]), 0, 15);
  return Value();
}

// Angles are kept in radians and given in degrees, less whole turns.
Value GetAngle(Vm&, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  return s ? Value(s->angle * 180 / std::numbers::pi) : Value();
}

Value SetAngle(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) {
    s->angle = std::fmod(vm.ToNumber(args[0]), 360.0) * std::numbers::pi / 180;
  }
  return Value();
}

constexpr const char* kPlacements[] = {"inner", "outer", "full"};

Value GetType(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  return s ? vm.Str(kPlacements[static_cast<size_t>(s->placement)]) : Value();
}

// Names are matched exactly; anything else means "full".
Value SetType(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  const std::string name = vm.ToString(args[0]);
  s->placement = FilterSettings::Placement::Full;
  for (size_t i = 0; i < 3; ++i) {
    if (name == kPlacements[i]) s->placement = static_cast<FilterSettings::Placement>(i);
  }
  return Value();
}

constexpr const char* kModes[] = {"wrap", "clamp", "ignore", "color"};

Value GetMode(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  return s ? vm.Str(kModes[static_cast<size_t>(s->mode)]) : Value();
}

Value SetMode(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  const std::string name = vm.ToString(args[0]);
  s->mode = FilterSettings::EdgeMode::Wrap;
  for (size_t i = 0; i < 4; ++i) {
    if (name == kModes[i]) s->mode = static_cast<FilterSettings::EdgeMode>(i);
  }
  return Value();
}

// --- Matrices --------------------------------------------------------------------------------

Value GetMatrix(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  return static_cast<Object*>(
      NewArray(vm, s->matrix.size(), [&](size_t i) { return Value(s->matrix[i]); }));
}

// A colour matrix takes 20 numbers from whatever it is given; missing ones are NaN.
Value SetColorMatrix(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr || args[0].IsNullish()) return Value();
  s->matrix.resize(kColorMatrixSize);
  for (size_t i = 0; i < kColorMatrixSize; ++i) s->matrix[i] = vm.ToNumber(Element(vm, args[0], i));
  return Value();
}

// A convolution matrix is never shorter than its sides make it.
void PadConvolution(FilterSettings& s) {
  const auto cells = static_cast<size_t>(s.matrix_x) * static_cast<size_t>(s.matrix_y);
  if (s.matrix.size() < cells) s.matrix.resize(cells, 0);
}

Value SetConvolutionMatrix(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr || args[0].IsNullish()) return Value();
  const size_t n = LengthOf(vm, args[0], kMaxMatrix);
  s->matrix.resize(n);
  for (size_t i = 0; i < n; ++i) s->matrix[i] = vm.ToNumber(Element(vm, args[0], i));
  PadConvolution(*s);
  return Value();
}

template <int FilterSettings::*Side>
Value SetMatrixSide(Vm& vm, const Arguments& args) {
  if (FilterSettings* s = SettingsOf(args.self)) {
    s->*Side = std::clamp(vm.ToInt32(args[0]), 0, kMaxMatrixSide);
    PadConvolution(*s);
  }
  return Value();
}

// --- Gradient stops --------------------------------------------------------------------------

void GrowStops(FilterSettings& s, size_t n) {
  if (s.colors.size() < n) s.colors.resize(n, 0);
  if (s.alphas.size() < n) s.alphas.resize(n, 0);
  if (s.ratios.size() < n) s.ratios.resize(n, 0);
}

Value GetColors(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  return static_cast<Object*>(
      NewArray(vm, s->stops, [&](size_t i) { return Value(static_cast<double>(s->colors[i])); }));
}
Value GetAlphas(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  return static_cast<Object*>(
      NewArray(vm, s->stops, [&](size_t i) { return Value(s->alphas[i] / 255.0); }));
}
Value GetRatios(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  return static_cast<Object*>(
      NewArray(vm, s->stops, [&](size_t i) { return Value(static_cast<double>(s->ratios[i])); }));
}

Value SetColors(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr || args[0].IsNullish()) return Value();
  s->stops = LengthOf(vm, args[0], kMaxStops);
  GrowStops(*s, s->stops);
  for (size_t i = 0; i < s->stops; ++i) {
    s->colors[i] = static_cast<uint32_t>(vm.ToInt32(Element(vm, args[0], i))) & 0xFFFFFF;
  }
  return Value();
}

// Stops past the list's end read a missing alpha, which counts as full.
Value SetAlphas(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr || args[0].IsNullish()) return Value();
  for (size_t i = 0; i < s->stops; ++i) {
    const double a = vm.ToNumber(Element(vm, args[0], i));
    s->alphas[i] = std::isnan(a) ? 255 : static_cast<uint8_t>(std::lround(Clamp(a, 0, 1) * 255));
  }
  return Value();
}

Value SetRatios(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr || args[0].IsNullish()) return Value();
  s->stops = std::min(s->stops, LengthOf(vm, args[0], kMaxStops));
  for (size_t i = 0; i < s->stops; ++i) {
    s->ratios[i] = static_cast<uint8_t>(Clamp(vm.ToNumber(Element(vm, args[0], i)), 0, 255));
  }
  return Value();
}

// --- Displacement map ------------------------------------------------------------------------

Value GetMapBitmap(Vm&, const Arguments& args) {
  FilterState* f = FilterOf(args.self);
  return f ? f->map_bitmap : Value();
}

// Only bitmaps are taken.
Value SetMapBitmap(Vm&, const Arguments& args) {
  FilterState* f = FilterOf(args.self);
  if (f == nullptr || !IsBitmapData(args[0])) return Value();
  f->map_bitmap = args[0];
  f->settings.map = BitmapDataPixels(args[0]);
  return Value();
}

Value GetMapPoint(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  const Value point =
      vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "geom"), "Point");
  const Value xy[] = {s->map_x, s->map_y};
  return vm.Construct(point, xy);
}

// A point without both coordinates puts the map at the origin.
Value SetMapPoint(Vm& vm, const Arguments& args) {
  FilterSettings* s = SettingsOf(args.self);
  if (s == nullptr) return Value();
  const Value x = args[0].IsObject() ? vm.GetMember(args[0], "x") : Value();
  const Value y = args[0].IsObject() ? vm.GetMember(args[0], "y") : Value();
  const bool given = !x.IsUndefined() && !y.IsUndefined();
  s->map_x = given ? vm.ToInt32(x) : 0;
  s->map_y = given ? vm.ToInt32(y) : 0;
  return Value();
}

// --- Classes ---------------------------------------------------------------------------------

struct Accessor {
  const char* name;
  NativeFunction get;
  NativeFunction set;
};

#define LUMEN_NUMBER(name, field) \
  { name, GetField<&FilterSettings::field>, SetNumber<&FilterSettings::field> }
#define LUMEN_BYTE(name, field) \
  { name, GetField<&FilterSettings::field>, SetByte<&FilterSettings::field> }
#define LUMEN_FLAG(name, field) \
  { name, GetField<&FilterSettings::field>, SetFlag<&FilterSettings::field> }
#define LUMEN_COLOR(name, field) \
  { name, GetColor<&FilterSettings::field>, SetColor<&FilterSettings::field> }
#define LUMEN_ALPHA(name, field) \
  { name, GetAlpha<&FilterSettings::field>, SetAlpha<&FilterSettings::field> }

const Accessor kDistance = LUMEN_NUMBER("distance", distance);
const Accessor kAngle = {"angle", GetAngle, SetAngle};
const Accessor kQuality = {"quality", GetField<&FilterSettings::quality>, SetQuality};
const Accessor kStrength = LUMEN_BYTE("strength", strength);
const Accessor kBlurX = LUMEN_BYTE("blurX", blur_x);
const Accessor kBlurY = LUMEN_BYTE("blurY", blur_y);
const Accessor kKnockout = LUMEN_FLAG("knockout", knockout);
const Accessor kInner = LUMEN_FLAG("inner", inner);
const Accessor kColor = LUMEN_COLOR("color", color);
const Accessor kAlpha = LUMEN_ALPHA("alpha", alpha);
const Accessor kType = {"type", GetType, SetType};
const Accessor kColors = {"colors", GetColors, SetColors};
const Accessor kAlphas = {"alphas", GetAlphas, SetAlphas};
const Accessor kRatios = {"ratios", GetRatios, SetRatios};

// Each kind's properties in the order its prototype makes them, which is also the order its
// constructor takes them in where `ctor_order` is empty, and the order of its native table.
struct ClassInfo {
  const char* name;
  Kind kind;
  std::vector<Accessor> properties;
  std::vector<const char*> ctor_order;
  double native_table = 0;  // 0: not known to be reachable by ASnative
};

std::vector<ClassInfo> Classes() {
  const Accessor matrix_x = {"matrixX", GetField<&FilterSettings::matrix_x>,
                             SetMatrixSide<&FilterSettings::matrix_x>};
  const Accessor matrix_y = {"matrixY", GetField<&FilterSettings::matrix_y>,
                             SetMatrixSide<&FilterSettings::matrix_y>};
  return {
      {"BevelFilter",
       Kind::Bevel,
       {kDistance, kAngle, LUMEN_COLOR("highlightColor", color),
        LUMEN_ALPHA("highlightAlpha", alpha), LUMEN_COLOR("shadowColor", shadow_color),
        LUMEN_ALPHA("shadowAlpha", shadow_alpha), kQuality, kStrength, kKnockout, kBlurX, kBlurY,
        kType},
       {"distance", "angle", "highlightColor", "highlightAlpha", "shadowColor", "shadowAlpha",
        "blurX", "blurY", "strength", "quality", "type", "knockout"}},
      {"BlurFilter", Kind::Blur, {kBlurX, kBlurY, kQuality}, {}},
      {"ColorMatrixFilter", Kind::ColorMatrix, {{"matrix", GetMatrix, SetColorMatrix}}, {}},
      {"ConvolutionFilter",
       Kind::Convolution,
       {matrix_x,
        matrix_y,
        {"matrix", GetMatrix, SetConvolutionMatrix},
        LUMEN_NUMBER("divisor", divisor),
        LUMEN_NUMBER("bias", bias),
        LUMEN_FLAG("preserveAlpha", preserve_alpha),
        LUMEN_FLAG("clamp", clamp),
        kColor,
        kAlpha},
       {},
       1109},
      {"DisplacementMapFilter",
       Kind::DisplacementMap,
       {{"mapBitmap", GetMapBitmap, SetMapBitmap},
        {"mapPoint", GetMapPoint, SetMapPoint},
        {"componentX", GetField<&FilterSettings::component_x>,
         SetInteger<&FilterSettings::component_x>},
        {"componentY", GetField<&FilterSettings::component_y>,
         SetInteger<&FilterSettings::component_y>},
        {"scaleX", GetField<&FilterSettings::scale_x>, SetScale<&FilterSettings::scale_x>},
        {"scaleY", GetField<&FilterSettings::scale_y>, SetScale<&FilterSettings::scale_y>},
        {"mode", GetMode, SetMode},
        kColor,
        kAlpha},
       {}},
      {"DropShadowFilter",
       Kind::DropShadow,
       {kDistance, kAngle, kColor, kAlpha, kQuality, kInner, kKnockout, kBlurX, kBlurY, kStrength,
        LUMEN_FLAG("hideObject", hide_object)},
       {"distance", "angle", "color", "alpha", "blurX", "blurY", "strength", "quality", "inner",
        "knockout", "hideObject"}},
      {"GlowFilter",
       Kind::Glow,
       {kColor, kAlpha, kQuality, kInner, kKnockout, kBlurX, kBlurY, kStrength},
       {"color", "alpha", "blurX", "blurY", "strength", "quality", "inner", "knockout"}},
      {"GradientBevelFilter",
       Kind::GradientBevel,
       {kDistance, kAngle, kColors, kAlphas, kRatios, kBlurX, kBlurY, kQuality, kStrength,
        kKnockout, kType},
       {"distance", "angle", "colors", "alphas", "ratios", "blurX", "blurY", "strength", "quality",
        "type", "knockout"}},
      {"GradientGlowFilter",
       Kind::GradientGlow,
       {kDistance, kAngle, kColors, kAlphas, kRatios, kBlurX, kBlurY, kQuality, kStrength,
        kKnockout, kType},
       {"distance", "angle", "colors", "alphas", "ratios", "blurX", "blurY", "strength", "quality",
        "type", "knockout"}},
  };
}

#undef LUMEN_NUMBER
#undef LUMEN_BYTE
#undef LUMEN_FLAG
#undef LUMEN_COLOR
#undef LUMEN_ALPHA

const std::vector<ClassInfo>& ClassList() {
  static const std::vector<ClassInfo> classes = Classes();
  return classes;
}

const ClassInfo* ClassOf(Kind kind) {
  for (const ClassInfo& cls : ClassList()) {
    if (cls.kind == kind) return &cls;
  }
  return nullptr;
}

// The prototype carries its class's name in `native_class`.
const ClassInfo* ClassNamed(std::string_view name) {
  for (const ClassInfo& cls : ClassList()) {
    if (name == cls.name) return &cls;
  }
  return nullptr;
}

const char* CtorParameter(const ClassInfo& cls, size_t i) {
  if (!cls.ctor_order.empty()) return i < cls.ctor_order.size() ? cls.ctor_order[i] : nullptr;
  return i < cls.properties.size() ? cls.properties[i].name : nullptr;
}

bool IsAlphaName(std::string_view name) {
  return name.size() >= 5 && (name.ends_with("alpha") || name.ends_with("Alpha"));
}

// Constructor arguments go through the setters, in the order the constructor takes them. A
// colour given without its alpha brings a missing one along, which reads as full.
void InitFilter(Vm& vm, Object* o, const ClassInfo* cls, const Arguments& args) {
  AttachFilter(vm, o, FilterSettings::Defaults(cls->kind));
  const Value self = o;
  const size_t given = args.size();
  for (size_t i = 0; const char* name = CtorParameter(*cls, i); ++i) {
    if (i >= given && !(i == given && i > 0 && IsAlphaName(name))) break;
    const Value missing;
    const std::span<const Value> value =
        i < given ? args.values.subspan(i, 1) : std::span<const Value>(&missing, 1);
    for (const Accessor& a : cls->properties) {
      if (std::string_view(a.name) == name) a.set(vm, Arguments{self, value});
    }
  }
}

Value ConstructFilter(Vm& vm, const Arguments& args) {
  Object* proto = args.self.AsObject();
  const ClassInfo* cls = proto ? ClassNamed(proto->native_class) : nullptr;
  if (cls == nullptr) return vm.NewObject(proto);
  Object* o = vm.heap().Make<Object>(proto);
  InitFilter(vm, o, cls, args);
  return o;
}

// super() makes the subclass's instance the filter its chain leads to.
Value FilterCall(Vm& vm, const Arguments& args) {
  Object* o = SuperTarget(vm, args.self);
  if (o == nullptr) return Value();
  int steps = 0;
  for (Object* p = o->Proto(); p != nullptr && steps < kMaxChain; p = p->Proto(), ++steps) {
    if (const ClassInfo* cls = ClassNamed(p->native_class)) {
      InitFilter(vm, o, cls, args);
      return o;
    }
  }
  return Value();
}

Value Clone(Vm& vm, const Arguments& args) {
  FilterState* f = FilterOf(args.self);
  if (f == nullptr) return Value();
  Object* copy = vm.heap().Make<Object>(args.self.AsObject()->Proto());
  AttachFilter(vm, copy, f->settings)->map_bitmap = f->map_bitmap;
  return copy;
}

// MovieClip.prototype.filters: new objects on every read.
Value GetClipFilters(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  if (display == nullptr) return Value();
  const std::vector<FilterSettings> settings_list = display->Filters();
  return static_cast<Object*>(NewArray(vm, settings_list.size(),
                                       [&](size_t i) { return NewFilter(vm, settings_list[i]); }));
}

// Takes copies of the filters in the list; other entries are passed over.
Value SetClipFilters(Vm& vm, const Arguments& args) {
  ClipDisplayAccess* display = ClipDisplayOf(vm, args.self);
  if (display == nullptr || !args[0].IsObject()) return Value();
  std::vector<FilterSettings> settings_list;
  const size_t n = LengthOf(vm, args[0], kMaxFilters);
  for (size_t i = 0; i < n; ++i) {
    if (std::optional<FilterSettings> settings = FilterSettingsOf(Element(vm, args[0], i))) {
      settings_list.push_back(std::move(*settings));
    }
  }
  display->SetFilters(std::move(settings_list));
  return Value();
}

}  // namespace

NativeFunction FilterNative(double table, double index) {
  for (const ClassInfo& cls : ClassList()) {
    if (cls.native_table == 0 || table != cls.native_table) continue;
    const double slot = std::trunc(index) - 1;
    if (!(slot >= 0 && slot < 2.0 * static_cast<double>(cls.properties.size()))) return nullptr;
    const Accessor& a = cls.properties[static_cast<size_t>(slot) / 2];
    return static_cast<size_t>(slot) % 2 == 0 ? a.get : a.set;
  }
  return nullptr;
}

std::optional<FilterSettings> FilterSettingsOf(const Value& v) {
  FilterSettings* s = SettingsOf(v);
  return s ? std::optional<FilterSettings>(*s) : std::nullopt;
}

Value NewFilter(Vm& vm, const FilterSettings& settings) {
  const ClassInfo* cls = ClassOf(settings.kind);
  if (cls == nullptr) return Value();
  const Value ctor =
      vm.GetMember(vm.GetMember(vm.GetMember(vm.Global(), "flash"), "filters"), cls->name);
  Object* o = vm.heap().Make<Object>(vm.GetMember(ctor, "prototype").AsObject());
  FilterState* f = AttachFilter(vm, o, settings);
  if (settings.map)
    f->map_bitmap = NewBitmapData(vm, std::make_shared<BitmapPixels>(*settings.map));
  return o;
}

void InstallFilterClasses(Vm& vm) {
  Object* filters = vm.NewObject();
  Object* base_proto = vm.NewObject();
  // The base class clones nothing.
  vm.DefineMethod(base_proto, "clone", Nothing, 0);
  FunctionObject* base = vm.NewClass(base_proto, Nothing);
  vm.SetOwn(filters, "BitmapFilter", static_cast<Object*>(base));
  for (const ClassInfo& cls : ClassList()) {
    Object* proto = vm.NewObject(base_proto);
    proto->native_class = cls.name;
    for (const Accessor& a : cls.properties) {
      vm.SetOwn(proto, a.name, Value(), 0);
      Property* p = proto->Properties().Find(a.name, vm.CaseSensitive());
      p->getter = vm.NewNative(a.get);
      p->setter = vm.NewNative(a.set);
    }
    vm.DefineMethod(proto, "clone", Clone, 0);
    FunctionObject* ctor = vm.NewClass(proto, FilterCall, ConstructFilter);
    vm.SetOwn(filters, cls.name, static_cast<Object*>(ctor));
  }
  vm.SetOwn(FlashPackage(vm), "filters", filters);
  if (Object* clip_proto = vm.builtins().clip_proto) {
    vm.SetOwn(clip_proto, "filters", Value(), kDontEnum);
    Property* p = clip_proto->Properties().Find("filters", vm.CaseSensitive());
    p->getter = vm.NewNative(GetClipFilters);
    p->setter = vm.NewNative(SetClipFilters);
    p->min_version = 8;
  }
}

}  // namespace lumen::avm1
