// flash.geom: Point, Rectangle, Matrix, ColorTransform and Transform, under `_global.flash`,
// which movies before version 8 do not see.
//
// Design: Point, Rectangle and Matrix keep their fields as ordinary properties and their methods
// work through property reads and writes with the operators of scripts (`+` joins strings), so
// objects that only look like points work too, and odd values print the way the reference
// prints them. The methods the reference restricts to real instances (a Matrix's rotate, scale
// and the box makers) check the prototype chain for the class's prototype, which carries a tag
// in `native_class`. ColorTransform keeps eight numbers natively behind accessors; Transform reads
// and writes a clip's matrix and colours through the stage.

#include <cmath>
#include <string>
#include <string_view>

#include "avm1/Builtins.h"
#include "avm1/ClipDisplay.h"
#include "avm1/ClipObject.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "avm1/builtins/PlayerObjects.h"

namespace lumen::avm1 {
namespace {

constexpr std::string_view kPointTag = "flash.geom.Point";
constexpr std::string_view kRectangleTag = "flash.geom.Rectangle";
constexpr std::string_view kMatrixTag = "flash.geom.Matrix";
constexpr int kMaxChain = 256;
// Gradient boxes are measured in a square of 1638.4 pixels (32768 twips / 20).
constexpr double kGradientSquare = 1638.4;

// --- Script arithmetic on properties --------------------------------------------------------

Value Add(Vm& vm, const Value& a, const Value& b) {
  const Value pa = vm.ToPrimitive(a);
  const Value pb = vm.ToPrimitive(b);
  if (pa.IsString() || pb.IsString() || pa.IsObject() || pb.IsObject()) {
    return vm.Str(vm.ToString(pa) + vm.ToString(pb));
  }
  return vm.ToNumber(pa) + vm.ToNumber(pb);
}

Value Field(Vm& vm, const Value& of, std::string_view name) {
  return vm.GetMember(of, name);
}
double Number(Vm& vm, const Value& of, std::string_view name) {
  return vm.ToNumber(vm.GetMember(of, name));
}
void SetField(Vm& vm, const Value& on, std::string_view name, const Value& v) {
  vm.SetMember(on, name, v);
}

bool IsInstance(const Value& v, std::string_view tag) {
  Object* o = v.AsObject();
  int steps = 0;
  for (Object* p = o ? o->Proto() : nullptr; p != nullptr && steps < kMaxChain;
       p = p->Proto(), ++steps) {
    if (p->native_class == tag) return true;
  }
  return false;
}

// The prototype a class installed, found again through `_global.flash.geom`.
Object* ClassPrototype(Vm& vm, std::string_view name) {
  Object* at = vm.Global();
  for (std::string_view step : {std::string_view("flash"), std::string_view("geom"), name}) {
    Property* p = at->Properties().Find(step, vm.CaseSensitive());
    at = p && p->getter == nullptr ? p->value.AsObject() : nullptr;
    if (at == nullptr) return nullptr;
  }
  Property* proto = at->Properties().Find("prototype", vm.CaseSensitive());
  return proto ? proto->value.AsObject() : nullptr;
}

Object* NewInstance(Vm& vm, std::string_view name) {
  Object* proto = ClassPrototype(vm, name);
  return vm.NewObject(proto);
}

std::string Describe(Vm& vm, const Value& self, std::initializer_list<const char*> fields,
                     std::initializer_list<const char*> labels) {
  std::string out = "(";
  auto label = labels.begin();
  for (const char* field : fields) {
    if (out.size() > 1) out += ", ";
    out += *label++;
    out += '=';
    out += vm.ToString(Field(vm, self, field));
  }
  return out + ")";
}

void DefineAccessor(Vm& vm, Object* on, std::string_view name, NativeFunction get,
                    NativeFunction set) {
  vm.SetOwn(on, name, Value(), 0);
  Property* p = on->Properties().Find(name, vm.CaseSensitive());
  p->getter = vm.NewNative(get);
  p->setter = set ? vm.NewNative(set) : nullptr;
}

// --- Point ----------------------------------------------------------------------------------

Object* NewPoint(Vm& vm, const Value& x, const Value& y) {
  Object* p = NewInstance(vm, "Point");
  vm.SetOwn(p, "x", x);
  vm.SetOwn(p, "y", y);
  return p;
}

// The constructors fill in `this`: called as functions (`Point.call(o, ...)`, `super(...)`)
// they set the fields of the object they are called on.
template <void (*Init)(Vm&, Object*, const Arguments&)>
Value Construct(Vm& vm, const Arguments& args) {
  Object* made = vm.NewObject(args.self.AsObject());
  Init(vm, made, args);
  return made;
}

template <void (*Init)(Vm&, Object*, const Arguments&)>
Value InitThis(Vm& vm, const Arguments& args) {
  if (Object* self = args.self.AsObject()) Init(vm, self, args);
  return Value();
}

void PointInit(Vm& vm, Object* p, const Arguments& args) {
  const bool given = args.size() > 0;
  vm.SetOwn(p, "x", given ? args[0] : Value(0));
  vm.SetOwn(p, "y", given ? args[1] : Value(0));
}

Value PointLength(Vm& vm, const Arguments& args) {
  const double x = Number(vm, args.self, "x");
  const double y = Number(vm, args.self, "y");
  return std::sqrt(x * x + y * y);
}

Value PointClone(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Field(vm, args.self, "x"), Field(vm, args.self, "y"));
}

Value PointOffset(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "x", Add(vm, Field(vm, args.self, "x"), args[0]));
  SetField(vm, args.self, "y", Add(vm, Field(vm, args.self, "y"), args[1]));
  return Value();
}

Value PointEquals(Vm& vm, const Arguments& args) {
  if (!IsInstance(args[0], kPointTag)) return false;
  return vm.LooseEquals(Field(vm, args.self, "x"), Field(vm, args[0], "x")) &&
         vm.LooseEquals(Field(vm, args.self, "y"), Field(vm, args[0], "y"));
}

Value PointSubtract(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Number(vm, args.self, "x") - Number(vm, args[0], "x"),
                  Number(vm, args.self, "y") - Number(vm, args[0], "y"));
}

Value PointAdd(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Add(vm, Field(vm, args.self, "x"), Field(vm, args[0], "x")),
                  Add(vm, Field(vm, args.self, "y"), Field(vm, args[0], "y")));
}

Value PointNormalize(Vm& vm, const Arguments& args) {
  const double length = vm.ToNumber(PointLength(vm, args));
  if (!(length > 0)) return Value();
  const double factor = vm.ToNumber(args[0]) / length;
  SetField(vm, args.self, "x", Number(vm, args.self, "x") * factor);
  SetField(vm, args.self, "y", Number(vm, args.self, "y") * factor);
  return Value();
}

Value PointToString(Vm& vm, const Arguments& args) {
  return vm.Str(Describe(vm, args.self, {"x", "y"}, {"x", "y"}));
}

// The first point must be a Point; the second only needs coordinates.
Value PointDistance(Vm& vm, const Arguments& args) {
  if (!IsInstance(args[0], kPointTag)) return Value();
  const double dx = Number(vm, args[0], "x") - Number(vm, args[1], "x");
  const double dy = Number(vm, args[0], "y") - Number(vm, args[1], "y");
  return std::sqrt(dx * dx + dy * dy);
}

Value PointPolar(Vm& vm, const Arguments& args) {
  const double length = vm.ToNumber(args[0]);
  const double angle = vm.ToNumber(args[1]);
  return NewPoint(vm, length * std::cos(angle), length * std::sin(angle));
}

// From the second point towards the first by `f`, added the way scripts add.
Value PointInterpolate(Vm& vm, const Arguments& args) {
  const double f = vm.ToNumber(args[2]);
  auto along = [&](const char* axis) {
    const double delta = Number(vm, args[0], axis) - Number(vm, args[1], axis);
    return Add(vm, Field(vm, args[1], axis), delta * f);
  };
  const Value x = along("x");
  return NewPoint(vm, x, along("y"));
}

Object* InstallPoint(Vm& vm) {
  Object* proto = vm.NewObject();
  proto->native_class = kPointTag;
  DefineAccessor(vm, proto, "length", PointLength, nullptr);
  vm.DefineMethod(proto, "clone", PointClone, 0);
  vm.DefineMethod(proto, "offset", PointOffset, 0);
  vm.DefineMethod(proto, "equals", PointEquals, 0);
  vm.DefineMethod(proto, "subtract", PointSubtract, 0);
  vm.DefineMethod(proto, "add", PointAdd, 0);
  vm.DefineMethod(proto, "normalize", PointNormalize, 0);
  vm.DefineMethod(proto, "toString", PointToString, 0);
  FunctionObject* point = vm.NewClass(proto, InitThis<PointInit>, Construct<PointInit>);
  vm.DefineMethod(point, "distance", PointDistance, 0);
  vm.DefineMethod(point, "polar", PointPolar, 0);
  vm.DefineMethod(point, "interpolate", PointInterpolate, 0);
  return point;
}

// --- Rectangle ------------------------------------------------------------------------------

Object* NewRectangle(Vm& vm, const Value& x, const Value& y, const Value& w, const Value& h) {
  Object* r = NewInstance(vm, "Rectangle");
  vm.SetOwn(r, "x", x);
  vm.SetOwn(r, "y", y);
  vm.SetOwn(r, "width", w);
  vm.SetOwn(r, "height", h);
  return r;
}

void RectInit(Vm& vm, Object* r, const Arguments& args) {
  const bool given = args.size() > 0;
  const char* names[] = {"x", "y", "width", "height"};
  for (size_t i = 0; i < 4; ++i) vm.SetOwn(r, names[i], given ? args[i] : Value(0));
}

double Right(Vm& vm, const Value& r) {
  return Number(vm, r, "x") + Number(vm, r, "width");
}
double Bottom(Vm& vm, const Value& r) {
  return Number(vm, r, "y") + Number(vm, r, "height");
}

Value RectClone(Vm& vm, const Arguments& args) {
  const Value& s = args.self;
  return NewRectangle(vm, Field(vm, s, "x"), Field(vm, s, "y"), Field(vm, s, "width"),
                      Field(vm, s, "height"));
}

Value RectSetEmpty(Vm& vm, const Arguments& args) {
  for (const char* name : {"x", "y", "width", "height"}) SetField(vm, args.self, name, 0);
  return Value();
}

Value RectIsEmpty(Vm& vm, const Arguments& args) {
  return !(Number(vm, args.self, "width") > 0) || !(Number(vm, args.self, "height") > 0);
}

Value RectLeft(Vm& vm, const Arguments& args) {
  return Field(vm, args.self, "x");
}
Value RectTop(Vm& vm, const Arguments& args) {
  return Field(vm, args.self, "y");
}
Value RectRight(Vm& vm, const Arguments& args) {
  return Right(vm, args.self);
}
Value RectBottom(Vm& vm, const Arguments& args) {
  return Bottom(vm, args.self);
}

// Moving an edge keeps the opposite edge where it is.
void MoveNearEdge(Vm& vm, const Value& r, const char* pos, const char* size, const Value& to) {
  const double grow = Number(vm, r, pos) - vm.ToNumber(to);
  SetField(vm, r, size, Number(vm, r, size) + grow);
  SetField(vm, r, pos, to);
}

Value RectSetLeft(Vm& vm, const Arguments& args) {
  MoveNearEdge(vm, args.self, "x", "width", args[0]);
  return Value();
}
Value RectSetTop(Vm& vm, const Arguments& args) {
  MoveNearEdge(vm, args.self, "y", "height", args[0]);
  return Value();
}
Value RectSetRight(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "width", vm.ToNumber(args[0]) - Number(vm, args.self, "x"));
  return Value();
}
Value RectSetBottom(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "height", vm.ToNumber(args[0]) - Number(vm, args.self, "y"));
  return Value();
}

Value RectTopLeft(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Field(vm, args.self, "x"), Field(vm, args.self, "y"));
}
Value RectSetTopLeft(Vm& vm, const Arguments& args) {
  MoveNearEdge(vm, args.self, "x", "width", Field(vm, args[0], "x"));
  MoveNearEdge(vm, args.self, "y", "height", Field(vm, args[0], "y"));
  return Value();
}
Value RectBottomRight(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Right(vm, args.self), Bottom(vm, args.self));
}
Value RectSetBottomRight(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "width", Number(vm, args[0], "x") - Number(vm, args.self, "x"));
  SetField(vm, args.self, "height", Number(vm, args[0], "y") - Number(vm, args.self, "y"));
  return Value();
}
Value RectSize(Vm& vm, const Arguments& args) {
  return NewPoint(vm, Field(vm, args.self, "width"), Field(vm, args.self, "height"));
}
Value RectSetSize(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "width", Field(vm, args[0], "x"));
  SetField(vm, args.self, "height", Field(vm, args[0], "y"));
  return Value();
}

void Inflate(Vm& vm, const Value& r, const Value& dx, const Value& dy) {
  const double x = vm.ToNumber(dx);
  const double y = vm.ToNumber(dy);
  SetField(vm, r, "x", Number(vm, r, "x") - x);
  SetField(vm, r, "width", Number(vm, r, "width") + 2 * x);
  SetField(vm, r, "y", Number(vm, r, "y") - y);
  SetField(vm, r, "height", Number(vm, r, "height") + 2 * y);
}

Value RectInflate(Vm& vm, const Arguments& args) {
  Inflate(vm, args.self, args[0], args[1]);
  return Value();
}
Value RectInflatePoint(Vm& vm, const Arguments& args) {
  Inflate(vm, args.self, Field(vm, args[0], "x"), Field(vm, args[0], "y"));
  return Value();
}

void Offset(Vm& vm, const Value& r, const Value& dx, const Value& dy) {
  SetField(vm, r, "x", Add(vm, Field(vm, r, "x"), dx));
  SetField(vm, r, "y", Add(vm, Field(vm, r, "y"), dy));
}

Value RectOffset(Vm& vm, const Arguments& args) {
  Offset(vm, args.self, args[0], args[1]);
  return Value();
}
Value RectOffsetPoint(Vm& vm, const Arguments& args) {
  Offset(vm, args.self, Field(vm, args[0], "x"), Field(vm, args[0], "y"));
  return Value();
}

bool Contains(Vm& vm, const Value& r, double x, double y) {
  return x >= Number(vm, r, "x") && x < Right(vm, r) && y >= Number(vm, r, "y") &&
         y < Bottom(vm, r);
}

Value RectContains(Vm& vm, const Arguments& args) {
  return Contains(vm, args.self, vm.ToNumber(args[0]), vm.ToNumber(args[1]));
}
Value RectContainsPoint(Vm& vm, const Arguments& args) {
  return Contains(vm, args.self, Number(vm, args[0], "x"), Number(vm, args[0], "y"));
}
Value RectContainsRectangle(Vm& vm, const Arguments& args) {
  const Value& o = args[0];
  return Number(vm, o, "x") >= Number(vm, args.self, "x") &&
         Number(vm, o, "y") >= Number(vm, args.self, "y") && Right(vm, o) <= Right(vm, args.self) &&
         Bottom(vm, o) <= Bottom(vm, args.self);
}

struct Box {
  double left, top, right, bottom;
  bool Empty() const { return !(right > left) || !(bottom > top); }
};

Box BoxOf(Vm& vm, const Value& r) {
  return {Number(vm, r, "x"), Number(vm, r, "y"), Right(vm, r), Bottom(vm, r)};
}

Object* RectFromBox(Vm& vm, const Box& b) {
  return NewRectangle(vm, b.left, b.top, b.right - b.left, b.bottom - b.top);
}

Value RectIntersection(Vm& vm, const Arguments& args) {
  const Box a = BoxOf(vm, args.self);
  const Box b = BoxOf(vm, args[0]);
  const Box i{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
  return i.Empty() ? NewRectangle(vm, 0, 0, 0, 0) : RectFromBox(vm, i);
}

Value RectIntersects(Vm& vm, const Arguments& args) {
  const Box a = BoxOf(vm, args.self);
  const Box b = BoxOf(vm, args[0]);
  return !Box{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)}
              .Empty();
}

Value RectUnion(Vm& vm, const Arguments& args) {
  const Box a = BoxOf(vm, args.self);
  const Box b = BoxOf(vm, args[0]);
  if (a.Empty()) return RectFromBox(vm, b);
  if (b.Empty()) return RectFromBox(vm, a);
  return RectFromBox(vm, {std::min(a.left, b.left), std::min(a.top, b.top),
                          std::max(a.right, b.right), std::max(a.bottom, b.bottom)});
}

Value RectEquals(Vm& vm, const Arguments& args) {
  if (!IsInstance(args[0], kRectangleTag)) return false;
  for (const char* name : {"x", "y", "width", "height"}) {
    if (!vm.LooseEquals(Field(vm, args.self, name), Field(vm, args[0], name))) return false;
  }
  return true;
}

Value RectToString(Vm& vm, const Arguments& args) {
  return vm.Str(Describe(vm, args.self, {"x", "y", "width", "height"}, {"x", "y", "w", "h"}));
}

Object* InstallRectangle(Vm& vm) {
  Object* proto = vm.NewObject();
  proto->native_class = kRectangleTag;
  vm.DefineMethod(proto, "clone", RectClone, 0);
  vm.DefineMethod(proto, "setEmpty", RectSetEmpty, 0);
  vm.DefineMethod(proto, "isEmpty", RectIsEmpty, 0);
  DefineAccessor(vm, proto, "left", RectLeft, RectSetLeft);
  DefineAccessor(vm, proto, "right", RectRight, RectSetRight);
  DefineAccessor(vm, proto, "top", RectTop, RectSetTop);
  DefineAccessor(vm, proto, "bottom", RectBottom, RectSetBottom);
  DefineAccessor(vm, proto, "topLeft", RectTopLeft, RectSetTopLeft);
  DefineAccessor(vm, proto, "bottomRight", RectBottomRight, RectSetBottomRight);
  DefineAccessor(vm, proto, "size", RectSize, RectSetSize);
  vm.DefineMethod(proto, "inflate", RectInflate, 0);
  vm.DefineMethod(proto, "inflatePoint", RectInflatePoint, 0);
  vm.DefineMethod(proto, "offset", RectOffset, 0);
  vm.DefineMethod(proto, "offsetPoint", RectOffsetPoint, 0);
  vm.DefineMethod(proto, "contains", RectContains, 0);
  vm.DefineMethod(proto, "containsPoint", RectContainsPoint, 0);
  vm.DefineMethod(proto, "containsRectangle", RectContainsRectangle, 0);
  vm.DefineMethod(proto, "intersection", RectIntersection, 0);
  vm.DefineMethod(proto, "intersects", RectIntersects, 0);
  vm.DefineMethod(proto, "union", RectUnion, 0);
  vm.DefineMethod(proto, "equals", RectEquals, 0);
  vm.DefineMethod(proto, "toString", RectToString, 0);
  return vm.NewClass(proto, InitThis<RectInit>, Construct<RectInit>);
}

// --- Matrix ---------------------------------------------------------------------------------

constexpr const char* kMatrixFields[] = {"a", "b", "c", "d", "tx", "ty"};

struct Affine {
  double a, b, c, d, tx, ty;
};

Affine Read(Vm& vm, const Value& m) {
  return {Number(vm, m, "a"), Number(vm, m, "b"),  Number(vm, m, "c"),
          Number(vm, m, "d"), Number(vm, m, "tx"), Number(vm, m, "ty")};
}

void Write(Vm& vm, const Value& m, const Affine& t) {
  const double values[] = {t.a, t.b, t.c, t.d, t.tx, t.ty};
  for (size_t i = 0; i < 6; ++i) SetField(vm, m, kMatrixFields[i], values[i]);
}

void WriteLinear(Vm& vm, const Value& m, double a, double b, double c, double d) {
  SetField(vm, m, "a", a);
  SetField(vm, m, "b", b);
  SetField(vm, m, "c", c);
  SetField(vm, m, "d", d);
}

void MatrixInit(Vm& vm, Object* m, const Arguments& args) {
  const Value identity[] = {1, 0, 0, 1, 0, 0};
  for (size_t i = 0; i < 6; ++i) {
    vm.SetOwn(m, kMatrixFields[i], args.size() > 0 ? args[i] : identity[i]);
  }
}

bool IsMatrix(const Value& v) {
  return IsInstance(v, kMatrixTag);
}

Value MatrixConcat(Vm& vm, const Arguments& args) {
  const Affine m = Read(vm, args.self);
  const Affine o = Read(vm, args[0]);
  Write(vm, args.self,
        {m.a * o.a + m.b * o.c, m.a * o.b + m.b * o.d, m.c * o.a + m.d * o.c, m.c * o.b + m.d * o.d,
         m.tx * o.a + m.ty * o.c + o.tx, m.tx * o.b + m.ty * o.d + o.ty});
  return Value();
}

// A singular matrix becomes the identity. Objects that only look like matrices lose their
// translation, as in the reference.
Value MatrixInvert(Vm& vm, const Arguments& args) {
  Affine m = Read(vm, args.self);
  if (!IsMatrix(args.self)) m.tx = m.ty = vm.ToNumber(Value());
  const double det = m.a * m.d - m.b * m.c;
  if (det == 0) {
    Write(vm, args.self, {1, 0, 0, 1, 0, 0});
    return Value();
  }
  const double a = m.d / det, b = -m.b / det, c = -m.c / det, d = m.a / det;
  Write(vm, args.self, {a, b, c, d, -(a * m.tx + c * m.ty), -(b * m.tx + d * m.ty)});
  return Value();
}

// The linear part of a scale-then-rotate box. A zero angle (which a missing one is in movies
// before version 7) keeps the scales as they are, even when they are not numbers.
void WriteBox(Vm& vm, const Value& m, double sx, double sy, double angle) {
  if (angle == 0) {
    WriteLinear(vm, m, sx, 0, 0, sy);
    return;
  }
  const double cosine = std::cos(angle), sine = std::sin(angle);
  WriteLinear(vm, m, cosine * sx, sine * sy, -sine * sx, cosine * sy);
}

Value MatrixCreateBox(Vm& vm, const Arguments& args) {
  if (IsMatrix(args.self)) {
    WriteBox(vm, args.self, vm.ToNumber(args[0]), vm.ToNumber(args[1]), vm.ToNumber(args[2]));
  }
  SetField(vm, args.self, "tx", args.size() > 3 ? args[3] : Value(0));
  SetField(vm, args.self, "ty", args.size() > 4 ? args[4] : Value(0));
  return Value();
}

Value MatrixCreateGradientBox(Vm& vm, const Arguments& args) {
  if (!IsMatrix(args.self)) return Value();
  const double width = vm.ToNumber(args[0]);
  const double height = vm.ToNumber(args[1]);
  WriteBox(vm, args.self, width / kGradientSquare, height / kGradientSquare, vm.ToNumber(args[2]));
  SetField(vm, args.self, "tx", Add(vm, args.size() > 3 ? args[3] : Value(0), width / 2));
  SetField(vm, args.self, "ty", Add(vm, args.size() > 4 ? args[4] : Value(0), height / 2));
  return Value();
}

Value MatrixClone(Vm& vm, const Arguments& args) {
  Object* m = NewInstance(vm, "Matrix");
  for (const char* name : kMatrixFields) vm.SetOwn(m, name, Field(vm, args.self, name));
  return m;
}

Value MatrixIdentity(Vm& vm, const Arguments& args) {
  Write(vm, args.self, {1, 0, 0, 1, 0, 0});
  return Value();
}

Value MatrixRotate(Vm& vm, const Arguments& args) {
  if (!IsMatrix(args.self)) return Value();
  const double angle = vm.ToNumber(args[0]);
  const double cosine = std::cos(angle), sine = std::sin(angle);
  const Affine m = Read(vm, args.self);
  Write(vm, args.self,
        {m.a * cosine - m.b * sine, m.a * sine + m.b * cosine, m.c * cosine - m.d * sine,
         m.c * sine + m.d * cosine, m.tx * cosine - m.ty * sine, m.tx * sine + m.ty * cosine});
  return Value();
}

Value MatrixTranslate(Vm& vm, const Arguments& args) {
  SetField(vm, args.self, "tx", Add(vm, Field(vm, args.self, "tx"), args[0]));
  SetField(vm, args.self, "ty", Add(vm, Field(vm, args.self, "ty"), args[1]));
  return Value();
}

Value MatrixScale(Vm& vm, const Arguments& args) {
  if (!IsMatrix(args.self)) return Value();
  const double sx = vm.ToNumber(args[0]);
  const double sy = vm.ToNumber(args[1]);
  const Affine m = Read(vm, args.self);
  Write(vm, args.self, {m.a * sx, m.b * sy, m.c * sx, m.d * sy, m.tx * sx, m.ty * sy});
  return Value();
}

Value TransformPoint(Vm& vm, const Arguments& args, bool translate) {
  const Affine m = Read(vm, args.self);
  const double x = Number(vm, args[0], "x");
  const double y = Number(vm, args[0], "y");
  double px = m.a * x + m.c * y;
  double py = m.b * x + m.d * y;
  if (translate) {
    px += m.tx;
    py += m.ty;
  }
  return NewPoint(vm, px, py);
}

Value MatrixDeltaTransformPoint(Vm& vm, const Arguments& args) {
  return TransformPoint(vm, args, false);
}
Value MatrixTransformPoint(Vm& vm, const Arguments& args) {
  return TransformPoint(vm, args, true);
}

Value MatrixToString(Vm& vm, const Arguments& args) {
  return vm.Str(
      Describe(vm, args.self, {"a", "b", "c", "d", "tx", "ty"}, {"a", "b", "c", "d", "tx", "ty"}));
}

Object* InstallMatrix(Vm& vm) {
  Object* proto = vm.NewObject();
  proto->native_class = kMatrixTag;
  vm.DefineMethod(proto, "concat", MatrixConcat, 0);
  vm.DefineMethod(proto, "invert", MatrixInvert, 0);
  vm.DefineMethod(proto, "createBox", MatrixCreateBox, 0);
  vm.DefineMethod(proto, "createGradientBox", MatrixCreateGradientBox, 0);
  vm.DefineMethod(proto, "clone", MatrixClone, 0);
  vm.DefineMethod(proto, "identity", MatrixIdentity, 0);
  vm.DefineMethod(proto, "rotate", MatrixRotate, 0);
  vm.DefineMethod(proto, "translate", MatrixTranslate, 0);
  vm.DefineMethod(proto, "scale", MatrixScale, 0);
  vm.DefineMethod(proto, "deltaTransformPoint", MatrixDeltaTransformPoint, 0);
  vm.DefineMethod(proto, "transformPoint", MatrixTransformPoint, 0);
  vm.DefineMethod(proto, "toString", MatrixToString, 0);
  return vm.NewClass(proto, InitThis<MatrixInit>, Construct<MatrixInit>);
}

// --- ColorTransform -------------------------------------------------------------------------

// Multipliers then offsets, red, green, blue, alpha. Kept in the instance's `primitive`, so that
// a script subclass's instance can hold one too.
class ColorTransformState final : public Object {
 public:
  ColorTransformState() : Object(nullptr) {}
  double values[8] = {1, 1, 1, 1, 0, 0, 0, 0};
};

constexpr const char* kTransformFields[] = {"redMultiplier",   "greenMultiplier", "blueMultiplier",
                                            "alphaMultiplier", "redOffset",       "greenOffset",
                                            "blueOffset",      "alphaOffset"};

ColorTransformState* TransformOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<ColorTransformState*>(o->primitive.AsObject()) : nullptr;
}

ColorTransformState* AttachColorTransform(Vm& vm, Object* o) {
  auto* t = vm.heap().Make<ColorTransformState>();
  o->primitive = static_cast<Object*>(t);
  o->native_class = "ColorTransform";
  return t;
}

void InitColorTransform(Vm& vm, Object* o, const Arguments& args) {
  ColorTransformState* t = AttachColorTransform(vm, o);
  // Fewer than all eight values leave the identity.
  if (args.size() >= 8) {
    for (size_t i = 0; i < 8; ++i) t->values[i] = vm.ToNumber(args[i]);
  }
}

Value ColorTransformConstruct(Vm& vm, const Arguments& args) {
  Object* o = vm.heap().Make<Object>(args.self.AsObject());
  InitColorTransform(vm, o, args);
  return o;
}

// super() makes the subclass's instance a colour transform.
Value ColorTransformCall(Vm& vm, const Arguments& args) {
  Object* o = SuperTarget(vm, args.self);
  if (o != nullptr) InitColorTransform(vm, o, args);
  return o ? Value(o) : Value();
}

template <size_t kIndex>
Value GetTransformField(Vm&, const Arguments& args) {
  ColorTransformState* t = TransformOf(args.self);
  return t ? Value(t->values[kIndex]) : Value();
}

template <size_t kIndex>
Value SetTransformField(Vm& vm, const Arguments& args) {
  if (ColorTransformState* t = TransformOf(args.self)) t->values[kIndex] = vm.ToNumber(args[0]);
  return Value();
}

Value GetRgb(Vm&, const Arguments& args) {
  ColorTransformState* t = TransformOf(args.self);
  if (t == nullptr) return Value();
  const uint32_t r = static_cast<uint32_t>(ToInt32(t->values[4]));
  const uint32_t g = static_cast<uint32_t>(ToInt32(t->values[5]));
  const uint32_t b = static_cast<uint32_t>(ToInt32(t->values[6]));
  return static_cast<double>(static_cast<int32_t>((r << 16) | (g << 8) | b));
}

Value SetRgb(Vm& vm, const Arguments& args) {
  ColorTransformState* t = TransformOf(args.self);
  if (t == nullptr) return Value();
  const uint32_t rgb = static_cast<uint32_t>(vm.ToInt32(args[0]));
  for (int i = 0; i < 3; ++i) {
    t->values[i] = 0;
    t->values[4 + i] = (rgb >> (16 - 8 * i)) & 0xFF;
  }
  return Value();
}

Value ColorTransformConcat(Vm&, const Arguments& args) {
  ColorTransformState* t = TransformOf(args.self);
  ColorTransformState* second = TransformOf(args[0]);
  if (t == nullptr || second == nullptr) return Value();
  for (int i = 0; i < 4; ++i) {
    t->values[4 + i] += t->values[i] * second->values[4 + i];
    t->values[i] *= second->values[i];
  }
  return Value();
}

Value ColorTransformToString(Vm& vm, const Arguments& args) {
  ColorTransformState* t = TransformOf(args.self);
  if (t == nullptr) return Value();
  std::string out = "(";
  for (size_t i = 0; i < 8; ++i) {
    if (i > 0) out += ", ";
    out += kTransformFields[i];
    out += '=';
    out += NumberToString(t->values[i]);
  }
  return vm.Str(out + ")");
}

template <size_t... kIndex>
void DefineTransformFields(Vm& vm, Object* proto, std::index_sequence<kIndex...>) {
  // Alpha first: the reference made them in this order, and enumeration shows it.
  constexpr size_t kOrder[] = {3, 0, 1, 2, 7, 4, 5, 6};
  NativeFunction getters[] = {GetTransformField<kIndex>...};
  NativeFunction setters[] = {SetTransformField<kIndex>...};
  for (size_t i : kOrder) DefineAccessor(vm, proto, kTransformFields[i], getters[i], setters[i]);
}

Object* InstallColorTransform(Vm& vm) {
  Object* proto = vm.NewObject();
  DefineTransformFields(vm, proto, std::make_index_sequence<8>());
  DefineAccessor(vm, proto, "rgb", GetRgb, SetRgb);
  vm.DefineMethod(proto, "concat", ColorTransformConcat, 0);
  vm.DefineMethod(proto, "toString", ColorTransformToString, 0);
  return vm.NewClass(proto, ColorTransformCall, ColorTransformConstruct);
}

// --- Transform ------------------------------------------------------------------------------

// A clip's transform as objects: matrices and colour transforms made fresh on every read and
// written back on every assignment. The clip is the one given to the constructor, kept in the
// instance's `primitive`.
class TransformState final : public Object {
 public:
  TransformState() : Object(nullptr) {}
  void Trace(Heap& heap) override {
    Object::Trace(heap);
    heap.Mark(clip);
  }
  Object* clip = nullptr;
};

Object* AttachTransform(Vm& vm, Object* o, Object* clip) {
  auto* t = vm.heap().Make<TransformState>();
  t->clip = clip;
  o->primitive = static_cast<Object*>(t);
  o->native_class = "Transform";
  return o;
}

TransformState* TransformStateOf(const Value& v) {
  Object* o = v.AsObject();
  return o ? dynamic_cast<TransformState*>(o->primitive.AsObject()) : nullptr;
}

ClipLink* TransformLink(Vm& vm, const Value& self) {
  TransformState* t = TransformStateOf(self);
  ClipObject* clip = t && t->clip ? vm.Live(t->clip)->AsClip() : nullptr;
  return clip ? clip->Link() : nullptr;
}

ClipMatrix Concatenate(const ClipMatrix& inner, const ClipMatrix& outer) {
  return {outer.a * inner.a + outer.c * inner.b,
          outer.b * inner.a + outer.d * inner.b,
          outer.a * inner.c + outer.c * inner.d,
          outer.b * inner.c + outer.d * inner.d,
          outer.a * inner.tx + outer.c * inner.ty + outer.tx,
          outer.b * inner.tx + outer.d * inner.ty + outer.ty};
}

Object* NewMatrix(Vm& vm, const ClipMatrix& m) {
  Object* out = NewInstance(vm, "Matrix");
  const double values[] = {m.a, m.b, m.c, m.d, m.tx, m.ty};
  for (size_t i = 0; i < 6; ++i) vm.SetOwn(out, kMatrixFields[i], values[i]);
  return out;
}

Value TransformGetMatrix(Vm& vm, const Arguments& args) {
  auto* display = dynamic_cast<ClipDisplayAccess*>(TransformLink(vm, args.self));
  return display ? Value(NewMatrix(vm, display->GetMatrix())) : Value();
}

Value TransformSetMatrix(Vm& vm, const Arguments& args) {
  auto* display = dynamic_cast<ClipDisplayAccess*>(TransformLink(vm, args.self));
  if (display == nullptr || !IsMatrix(args[0])) return Value();
  const Affine m = Read(vm, args[0]);
  display->SetMatrix({m.a, m.b, m.c, m.d, m.tx, m.ty});
  return Value();
}

// Up to the root, which the stage itself places.
Value TransformGetConcatenatedMatrix(Vm& vm, const Arguments& args) {
  ClipLink* link = TransformLink(vm, args.self);
  if (link == nullptr) return Value();
  ClipMatrix total;
  int steps = 0;
  for (; link != nullptr && steps < kMaxChain; link = link->Parent(), ++steps) {
    if (auto* display = dynamic_cast<ClipDisplayAccess*>(link)) {
      total = Concatenate(total, display->GetMatrix());
    }
  }
  return NewMatrix(vm, total);
}

Value TransformGetColorTransform(Vm& vm, const Arguments& args) {
  auto* colors = dynamic_cast<ClipColorAccess*>(TransformLink(vm, args.self));
  if (colors == nullptr) return Value();
  const ColorTransformValues v = colors->GetColorTransform();
  Object* o = vm.heap().Make<Object>(ClassPrototype(vm, "ColorTransform"));
  ColorTransformState* t = AttachColorTransform(vm, o);
  for (size_t i = 0; i < 4; ++i) {
    t->values[i] = v.multiply[i];
    t->values[4 + i] = v.add[i];
  }
  return o;
}

Value TransformSetColorTransform(Vm& vm, const Arguments& args) {
  auto* colors = dynamic_cast<ClipColorAccess*>(TransformLink(vm, args.self));
  ColorTransformState* t = TransformOf(args[0]);
  if (colors == nullptr || t == nullptr) return Value();
  ColorTransformValues v;
  for (size_t i = 0; i < 4; ++i) {
    v.multiply[i] = t->values[i];
    v.add[i] = t->values[4 + i];
  }
  colors->SetColorTransform(v);
  return Value();
}

// new Transform(clip): anything but a clip makes nothing.
Value TransformConstruct(Vm& vm, const Arguments& args) {
  Object* target = args[0].AsObject();
  if (target == nullptr || target->AsClip() == nullptr) return Value();
  return AttachTransform(vm, vm.heap().Make<Object>(args.self.AsObject()), target);
}

// super(clip) makes the subclass's instance the clip's transform.
Value TransformCall(Vm& vm, const Arguments& args) {
  Object* target = args[0].AsObject();
  Object* o = SuperTarget(vm, args.self);
  if (o == nullptr || target == nullptr || target->AsClip() == nullptr) return Value();
  return AttachTransform(vm, o, target);
}

Object* InstallTransform(Vm& vm) {
  Object* proto = vm.NewObject();
  DefineAccessor(vm, proto, "matrix", TransformGetMatrix, TransformSetMatrix);
  DefineAccessor(vm, proto, "concatenatedMatrix", TransformGetConcatenatedMatrix, nullptr);
  DefineAccessor(vm, proto, "colorTransform", TransformGetColorTransform,
                 TransformSetColorTransform);
  return vm.NewClass(proto, TransformCall, TransformConstruct);
}

// MovieClip.prototype.transform: a new Transform of the clip on every read; assigning one
// copies its matrix and colour transform to the clip.
Value ClipGetTransform(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (self == nullptr || vm.Live(self)->AsClip() == nullptr) return Value();
  return AttachTransform(vm, vm.heap().Make<Object>(ClassPrototype(vm, "Transform")), self);
}

Value ClipSetTransform(Vm& vm, const Arguments& args) {
  Object* self = args.self.AsObject();
  if (TransformStateOf(args[0]) == nullptr || self == nullptr) return Value();
  const Value to = AttachTransform(vm, vm.heap().Make<Object>(nullptr), self);
  const Value matrix[] = {TransformGetMatrix(vm, Arguments{args[0], {}})};
  TransformSetMatrix(vm, Arguments{to, matrix});
  const Value colors[] = {TransformGetColorTransform(vm, Arguments{args[0], {}})};
  TransformSetColorTransform(vm, Arguments{to, colors});
  return Value();
}

}  // namespace

Object* NewGeomRectangle(Vm& vm, double x, double y, double width, double height) {
  return NewRectangle(vm, x, y, width, height);
}

// `_global.flash`, shared with other packages of it, hidden from movies before version 8.
Object* FlashPackage(Vm& vm) {
  Object* global = vm.Global();
  if (Property* p = global->Properties().Find("flash", vm.CaseSensitive())) {
    if (Object* existing = p->value.AsObject()) return existing;
  }
  Object* flash = vm.NewObject();
  vm.SetOwn(global, "flash", flash, kDontEnum);
  global->Properties().Find("flash", vm.CaseSensitive())->min_version = 8;
  return flash;
}

void InstallGeomClasses(Vm& vm) {
  Object* geom = vm.NewObject();
  vm.SetOwn(geom, "Rectangle", InstallRectangle(vm));
  vm.SetOwn(geom, "Point", InstallPoint(vm));
  vm.SetOwn(geom, "Matrix", InstallMatrix(vm));
  vm.SetOwn(geom, "ColorTransform", InstallColorTransform(vm));
  vm.SetOwn(geom, "Transform", InstallTransform(vm));
  vm.SetOwn(FlashPackage(vm), "geom", geom);
  if (Object* clip_proto = vm.builtins().clip_proto) {
    DefineAccessor(vm, clip_proto, "transform", ClipGetTransform, ClipSetTransform);
    Property* p = clip_proto->Properties().Find("transform", vm.CaseSensitive());
    p->flags = kDontEnum;
    p->min_version = 8;
  }
}

}  // namespace lumen::avm1
