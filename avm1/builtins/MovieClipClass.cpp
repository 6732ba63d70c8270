// MovieClip.prototype: the timeline, depths, clips made by script, geometry and the drawing API,
// all through the stage's link of the clip a method is called on.

#include <algorithm>
#include <cmath>
#include <string>

#include "avm1/Builtins.h"
#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Names.h"
#include "avm1/NumberText.h"
#include "avm1/Vm.h"
#include "avm1/builtins/BitmapDataClass.h"

namespace lumen::avm1 {

namespace {

ClipLink* Self(const Arguments& args) {
  Object* o = args.self.AsObject();
  ClipObject* clip = o ? o->AsClip() : nullptr;
  return clip ? clip->Link() : nullptr;
}

Value ScriptOf(ClipLink* link) {
  return link ? Value(static_cast<Object*>(link->Script())) : Value();
}

// Runs the construction of a clip just made; the clip's scripts may remove it meanwhile, so its
// object is taken first.
Value Constructed(Vm& vm, ClipLink* made) {
  const Value object = ScriptOf(made);
  vm.bridge().Construct(made);
  return object;
}

bool Depth(Vm& vm, const Value& v, int32_t& out) {
  const double d = vm.ToNumber(v);
  if (!std::isfinite(d)) return false;
  out = static_cast<int32_t>(std::max(-2147483648.0, std::min(d, 2147483647.0)));
  return true;
}

void Goto(Vm& vm, const Arguments& args, bool play) {
  ClipLink* link = Self(args);
  if (link == nullptr || args.size() == 0) return;
  const Value& frame = args[0];
  if (!frame.IsString()) {
    const double n = vm.ToNumber(frame);
    if (std::isfinite(n) && n >= 1)
      link->GotoFrame(static_cast<size_t>(std::min(n, 1e9)) - 1, play);
    return;
  }
  const long labelled = link->FindLabel(frame.AsString());
  if (labelled >= 0) {
    link->GotoFrame(static_cast<size_t>(labelled), play);
    return;
  }
  const double n = StringToNumber(frame.AsString(), NumberDialect::Swf6);
  if (std::isfinite(n) && n >= 1) link->GotoFrame(static_cast<size_t>(std::min(n, 1e9)) - 1, play);
}

Value GotoAndPlay(Vm& vm, const Arguments& a) {
  Goto(vm, a, true);
  return Value();
}
Value GotoAndStop(Vm& vm, const Arguments& a) {
  Goto(vm, a, false);
  return Value();
}
Value Play(Vm&, const Arguments& a) {
  if (ClipLink* l = Self(a)) l->Play();
  return Value();
}
Value Stop(Vm&, const Arguments& a) {
  if (ClipLink* l = Self(a)) l->Stop();
  return Value();
}
Value NextFrame(Vm&, const Arguments& a) {
  if (ClipLink* l = Self(a)) l->GotoFrame(l->CurrentFrame(), false);
  return Value();
}
Value PrevFrame(Vm&, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l && l->CurrentFrame() > 1) l->GotoFrame(l->CurrentFrame() - 2, false);
  return Value();
}

Value GetDepth(Vm&, const Arguments& a) {
  ClipLink* l = Self(a);
  return l ? Value(static_cast<double>(l->Depth())) : Value();
}
Value GetNextHighestDepth(Vm&, const Arguments& a) {
  ClipLink* l = Self(a);
  return l ? Value(static_cast<double>(l->NextHighestDepth())) : Value();
}
Value GetInstanceAtDepth(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  if (l == nullptr || !Depth(vm, a[0], depth)) return Value();
  return ScriptOf(l->ChildAtDepth(depth));
}

Value SwapDepths(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr || l->Parent() == nullptr) return Value();
  int32_t depth = 0;
  if (Object* other = a[0].AsObject()) {
    // A clip or a text field of the same parent.
    ClipObject* clip = other->AsClip();
    FieldObject* field = other->AsField();
    if (clip != nullptr && clip->Link() != nullptr && clip->Link()->Parent() == l->Parent()) {
      depth = clip->Link()->Depth();
    } else if (field != nullptr && field->Link() != nullptr &&
               field->Link()->Parent() == l->Parent()) {
      depth = field->Link()->Depth();
    } else {
      return Value();
    }
  } else if (!Depth(vm, a[0], depth)) {
    return Value();
  }
  l->SwapDepths(depth);
  return Value();
}

Value CreateEmptyMovieClip(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  if (l == nullptr || a.size() < 2 || !Depth(vm, a[1], depth)) return Value();
  ClipLink* made = l->CreateEmpty(vm.ToString(a[0]), depth);
  return made ? Constructed(vm, made) : Value();
}

// The new field is the answer from version 8 on; before, there is none.
Value CreateTextField(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  if (l == nullptr || a.size() < 6 || !Depth(vm, a[1], depth)) return Value();
  // Corner and size are whole pixels.
  double box[4];
  for (size_t i = 0; i < 4; ++i) {
    box[i] = std::trunc(vm.ToNumber(a[2 + i]));
    if (!std::isfinite(box[i])) box[i] = 0;
  }
  FieldLink* made = l->CreateTextField(vm.ToString(a[0]), depth, box[0], box[1], box[2], box[3]);
  if (made == nullptr || vm.Version() < 8) return Value();
  return static_cast<Object*>(made->Script());
}

Value AttachMovie(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  if (l == nullptr || a.size() < 3 || !Depth(vm, a[2], depth)) return Value();
  ClipLink* made = l->Attach(vm.ToString(a[0]), vm.ToString(a[1]), depth);
  if (made == nullptr) return Value();
  // The init object's properties are copied onto the new clip.
  if (Object* init = a[3].AsObject()) {
    for (const std::string& key : vm.Keys(init)) vm.Set(made->Script(), key, vm.Get(init, key));
  }
  return Constructed(vm, made);
}

Value DuplicateMovieClip(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  if (l == nullptr || a.size() < 2) return Value();
  const std::string name = vm.ToString(a[0]);  // the name is read before the depth
  if (!Depth(vm, a[1], depth)) return Value();
  ClipLink* made = l->Duplicate(name, depth);
  if (made == nullptr) return Value();
  // A button copy takes no initial properties.
  Object* init = a[2].AsObject();
  if (init != nullptr && !made->Script()->button) {
    for (const std::string& key : vm.Keys(init)) vm.Set(made->Script(), key, vm.Get(init, key));
  }
  return Constructed(vm, made);
}

// Text fields at script depths go the same way.
Value RemoveMovieClip(Vm&, const Arguments& a) {
  Object* o = a.self.AsObject();
  if (ClipLink* l = Self(a)) {
    l->Remove();
  } else if (FieldObject* field = o ? o->AsField() : nullptr; field && field->Link()) {
    field->Link()->Remove();
  }
  return Value();
}

Value Bounds(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr) return Value();
  ClipLink* space = l;
  if (Object* o = a[0].AsObject()) {
    ClipObject* clip = o->AsClip();
    if (clip == nullptr || clip->Link() == nullptr) return Value();
    space = clip->Link();
  }
  const ClipBounds b = l->Bounds(space);
  Object* r = vm.NewObject();
  // What an empty clip reports, in pixels: the largest 27-bit twip count, rounded off in a
  // different way from version 8.
  const double none = vm.Version() >= 8 ? 6710886.4 : 6710886.35;
  vm.SetOwn(r, "xMin", b.empty ? none : b.x_min);
  vm.SetOwn(r, "xMax", b.empty ? none : b.x_max);
  vm.SetOwn(r, "yMin", b.empty ? none : b.y_min);
  vm.SetOwn(r, "yMax", b.empty ? none : b.y_max);
  return r;
}

Value ConvertPoint(Vm& vm, const Arguments& a, bool to_global) {
  ClipLink* l = Self(a);
  Object* point = a[0].AsObject();
  if (l == nullptr || point == nullptr) return Value();
  double x = vm.ToNumber(vm.Get(point, "x"));
  double y = vm.ToNumber(vm.Get(point, "y"));
  if (to_global) {
    l->LocalToGlobal(x, y);
  } else {
    l->GlobalToLocal(x, y);
  }
  vm.Set(point, "x", x);
  vm.Set(point, "y", y);
  return Value();
}
Value LocalToGlobal(Vm& vm, const Arguments& a) {
  return ConvertPoint(vm, a, true);
}
Value GlobalToLocal(Vm& vm, const Arguments& a) {
  return ConvertPoint(vm, a, false);
}

Value HitTest(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr) return false;
  if (a.size() >= 2) {
    return l->HitTest(vm.ToNumber(a[0]), vm.ToNumber(a[1]), vm.ToBoolean(a[2]));
  }
  // The other clip, or its path from this one.
  Object* o = a[0].AsObject();
  if (a[0].IsString() && !a[0].AsString().empty()) {
    o = vm.ResolvePath(a[0].AsString(), nullptr, a.self.AsObject());
  }
  ClipObject* other = o ? o->AsClip() : nullptr;
  if (other == nullptr || other->Link() == nullptr) return false;
  return l->HitTest(*other->Link());
}

// A mask named by a path is looked for from the clip, then from its parent, then from the root;
// "path:name" names a variable of the clip at `path`.
Object* FindMask(Vm& vm, ClipObject& clip, const std::string& path) {
  std::vector<Object*> bases{&clip};
  if (ClipLink* parent = clip.Link()->Parent()) bases.push_back(parent->Script());
  if (Object* root = vm.ResolvePath("_root", nullptr, &clip)) bases.push_back(root);
  const size_t colon = path.rfind(':');
  for (Object* base : bases) {
    Object* found = nullptr;
    if (colon == std::string::npos) {
      found = vm.ResolvePath(path, nullptr, base);
    } else if (Object* holder = vm.ResolvePath(path.substr(0, colon), nullptr, base)) {
      found = vm.ResolvePath(path.substr(colon + 1), nullptr, holder);
    }
    if (found != nullptr && found->AsClip() != nullptr) return found;
  }
  return nullptr;
}

Value SetMask(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr || a.size() == 0) return Value();
  Object* o = a[0].AsObject();
  if (o != nullptr && o->AsClip() == nullptr) return false;  // only clips mask
  if (o == nullptr && !a[0].IsNullish()) {
    o = FindMask(vm, *a.self.AsObject()->AsClip(), vm.ToString(a[0]));
    if (o == nullptr) return false;
  }
  ClipObject* mask = o ? o->AsClip() : nullptr;
  l->SetMask(mask ? mask->Link() : nullptr);
  return true;
}

Value BytesLoaded(Vm& vm, const Arguments& a) {
  return Self(a) ? Value(static_cast<double>(vm.bridge().BytesLoaded(Self(a)))) : Value();
}

Value BytesTotal(Vm& vm, const Arguments& a) {
  return Self(a) ? Value(static_cast<double>(vm.bridge().BytesTotal(Self(a)))) : Value();
}

Value GetUrl(Vm& vm, const Arguments& a) {
  const std::string url = vm.ToString(a[0]), target = vm.ToString(a[1]);
  if (LevelNumber(target)) {
    vm.bridge().LoadMovie(url, nullptr, *LevelNumber(target), 0);
  } else {
    vm.bridge().GetUrl(url, target);
  }
  return Value();
}

Value LoadMovie(Vm& vm, const Arguments& a) {
  if (ClipLink* l = Self(a)) vm.bridge().LoadMovie(vm.ToString(a[0]), l, 0, 0);
  return Value();
}

Value LoadVariables(Vm& vm, const Arguments& a) {
  if (ClipLink* l = Self(a)) vm.QueueVariables(l->Script(), vm.ToString(a[0]));
  return Value();
}

Value UnloadMovie(Vm& vm, const Arguments& a) {
  if (ClipLink* l = Self(a)) vm.bridge().LoadMovie("", l, 0, 0);
  return Value();
}

Value Clear(Vm&, const Arguments& a) {
  if (ClipLink* l = Self(a)) l->Clear();
  return Value();
}

uint32_t Rgb(Vm& vm, const Value& v) {
  return static_cast<uint32_t>(vm.ToInt32(v)) & 0xFFFFFF;
}

double Alpha(Vm& vm, const Arguments& a, size_t i) {
  if (a.size() <= i || a[i].IsUndefined()) return 100;
  const double n = vm.ToNumber(a[i]);
  return std::isfinite(n) ? std::max(0.0, std::min(n, 100.0)) : 100;
}

// lineStyle(thickness, rgb, alpha, pixelHinting, noScale, capsStyle, jointStyle, miterLimit);
// names it does not know keep the default. pixelHinting is not applied: the stage's hinting
// centres odd widths on pixels, and the reference keeps a 5-pixel line's whole-pixel anchors.
LineSpec ReadLineSpec(Vm& vm, const Arguments& a, double width) {
  LineSpec line;
  line.width = std::max(0.0, std::min(width, 255.0));
  line.rgb = Rgb(vm, a[1]);
  line.alpha = Alpha(vm, a, 2);
  const std::string scale = vm.ToString(a[4]);
  line.no_hscale = scale == "none" || scale == "vertical";
  line.no_vscale = scale == "none" || scale == "horizontal";
  const std::string cap = vm.ToString(a[5]);
  if (cap == "none") line.cap = LineSpec::Cap::None;
  if (cap == "square") line.cap = LineSpec::Cap::Square;
  const std::string join = vm.ToString(a[6]);
  if (join == "miter") line.join = LineSpec::Join::Miter;
  if (join == "bevel") line.join = LineSpec::Join::Bevel;
  if (!a[7].IsUndefined()) {
    const double limit = vm.ToNumber(a[7]);
    if (std::isfinite(limit)) line.miter_limit = std::clamp(limit, 1.0, 255.0);
  }
  return line;
}

Value LineStyle(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr) return Value();
  const double width = vm.ToNumber(a[0]);
  if (a.size() == 0 || a[0].IsUndefined() || std::isnan(width)) {
    l->NoLineStyle();
  } else {
    l->LineStyle(ReadLineSpec(vm, a, width));
  }
  return Value();
}

Value BeginFill(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  if (l == nullptr) return Value();
  if (a.size() == 0 || a[0].IsUndefined()) {
    l->EndFill();
  } else {
    l->BeginFill(Rgb(vm, a[0]), Alpha(vm, a, 1));
  }
  return Value();
}

double Member(Vm& vm, Object* o, std::string_view name) {
  const double v = vm.ToNumber(vm.Get(o, name));
  return std::isfinite(v) ? v : 0;
}

// The gradient's matrix: a box (x, y, w, h, r), or a matrix in either of its two spellings.
void GradientMatrix(Vm& vm, Object* m, GradientSpec& g) {
  if (m == nullptr) return;
  if (vm.ToString(vm.Get(m, "matrixType")) == "box") {
    const double w = Member(vm, m, "w") / 1638.4, h = Member(vm, m, "h") / 1638.4;
    const double r = Member(vm, m, "r");
    g.a = w * std::cos(r);
    g.b = h * std::sin(r);
    g.c = -w * std::sin(r);
    g.d = h * std::cos(r);
    g.tx = Member(vm, m, "x") + Member(vm, m, "w") / 2;
    g.ty = Member(vm, m, "y") + Member(vm, m, "h") / 2;
  } else if (vm.Has(m, "tx")) {
    g.a = Member(vm, m, "a");
    g.b = Member(vm, m, "b");
    g.c = Member(vm, m, "c");
    g.d = Member(vm, m, "d");
    g.tx = Member(vm, m, "tx");
    g.ty = Member(vm, m, "ty");
  } else {
    g.a = Member(vm, m, "a");
    g.b = Member(vm, m, "b");
    g.c = Member(vm, m, "d");
    g.d = Member(vm, m, "e");
    g.tx = Member(vm, m, "g");
    g.ty = Member(vm, m, "h");
  }
}

Value BeginGradientFill(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  Object* colors = a[1].AsObject();
  Object* alphas = a[2].AsObject();
  Object* ratios = a[3].AsObject();
  if (l == nullptr || colors == nullptr || alphas == nullptr || ratios == nullptr) return Value();
  GradientSpec g;
  const std::string type = vm.ToString(a[0]);
  if (type != "linear" && type != "radial") return Value();
  g.radial = type == "radial";
  const double n = vm.ToNumber(vm.Get(colors, "length"));
  const size_t count = n > 0 ? static_cast<size_t>(std::min(n, 15.0)) : 0;
  for (size_t i = 0; i < count; ++i) {
    const std::string key = std::to_string(i);
    GradientSpec::Stop stop;
    stop.rgb = Rgb(vm, vm.Get(colors, key));
    stop.alpha = Member(vm, alphas, key);
    stop.ratio = Member(vm, ratios, key);
    g.stops.push_back(stop);
  }
  GradientMatrix(vm, a[4].AsObject(), g);
  const std::string spread = vm.ToString(a[5]);
  g.spread = spread == "reflect" ? 1 : spread == "repeat" ? 2 : 0;
  g.linear_rgb = vm.ToString(a[6]) == "linearRGB";
  if (a.size() > 7) g.focal = vm.ToNumber(a[7]);
  if (!std::isfinite(g.focal)) g.focal = 0;
  l->BeginGradientFill(g);
  return Value();
}

Value EndFill(Vm&, const Arguments& a) {
  if (ClipLink* l = Self(a)) l->EndFill();
  return Value();
}

bool Point(Vm& vm, const Arguments& a, size_t i, double& x, double& y) {
  if (a.size() < i + 2) return false;
  x = vm.ToNumber(a[i]);
  y = vm.ToNumber(a[i + 1]);
  return std::isfinite(x) && std::isfinite(y);
}

Value MoveTo(Vm& vm, const Arguments& a) {
  double x, y;
  if (ClipLink* l = Self(a); l && Point(vm, a, 0, x, y)) l->MoveTo(x, y);
  return Value();
}
Value LineTo(Vm& vm, const Arguments& a) {
  double x, y;
  if (ClipLink* l = Self(a); l && Point(vm, a, 0, x, y)) l->LineTo(x, y);
  return Value();
}
Value CurveTo(Vm& vm, const Arguments& a) {
  double cx, cy, x, y;
  ClipLink* l = Self(a);
  if (l && Point(vm, a, 0, cx, cy) && Point(vm, a, 2, x, y)) l->CurveTo(cx, cy, x, y);
  return Value();
}

// attachBitmap(bitmap, depth, pixelSnapping, smoothing): an unknown snapping is "auto".
Value AttachBitmap(Vm& vm, const Arguments& a) {
  ClipLink* l = Self(a);
  int32_t depth = 0;
  std::shared_ptr<const BitmapPixels> pixels = a.size() > 0 ? BitmapDataPixels(a[0]) : nullptr;
  if (l == nullptr || pixels == nullptr || a.size() < 2 || !Depth(vm, a[1], depth)) {
    return Value();
  }
  const std::string snap = a.size() > 2 ? vm.ToString(a[2]) : std::string();
  const PixelSnapping snapping = snap == "always"  ? PixelSnapping::Always
                                 : snap == "never" ? PixelSnapping::Never
                                                   : PixelSnapping::Auto;
  l->AttachBitmap(std::move(pixels), depth, snapping, a.size() > 3 && vm.ToBoolean(a[3]));
  return Value();
}

Value GetSwfVersion(Vm& vm, const Arguments& a) {
  return Self(a) ? Value(static_cast<double>(vm.Version())) : Value(-1);
}

Value GetTextSnapshot(Vm& vm, const Arguments& a) {
  if (Self(a) == nullptr) return Value();
  return vm.Construct(vm.Get(vm.Global(), "TextSnapshot"), {&a.self, 1});
}

}  // namespace

void InstallMovieClipClass(Vm& vm) {
  Object* proto = vm.NewObject();
  vm.builtins().clip_proto = proto;
  FunctionObject* ctor = vm.NewClass(proto, Nothing);
  vm.DefineValue(vm.Global(), "MovieClip", static_cast<Object*>(ctor));
  const std::pair<const char*, NativeFunction> methods[] = {
      {"gotoAndPlay", GotoAndPlay},
      {"gotoAndStop", GotoAndStop},
      {"play", Play},
      {"stop", Stop},
      {"nextFrame", NextFrame},
      {"prevFrame", PrevFrame},
      {"getDepth", GetDepth},
      {"getNextHighestDepth", GetNextHighestDepth},
      {"getInstanceAtDepth", GetInstanceAtDepth},
      {"swapDepths", SwapDepths},
      {"createEmptyMovieClip", CreateEmptyMovieClip},
      {"createTextField", CreateTextField},
      {"attachMovie", AttachMovie},
      {"duplicateMovieClip", DuplicateMovieClip},
      {"removeMovieClip", RemoveMovieClip},
      {"getBounds", Bounds},
      {"getRect", Bounds},
      {"localToGlobal", LocalToGlobal},
      {"globalToLocal", GlobalToLocal},
      {"hitTest", HitTest},
      {"setMask", SetMask},
      {"getBytesLoaded", BytesLoaded},
      {"getBytesTotal", BytesTotal},
      {"getURL", GetUrl},
      {"startDrag", Nothing},
      {"stopDrag", Nothing},
      {"loadMovie", LoadMovie},
      {"unloadMovie", UnloadMovie},
      {"loadVariables", LoadVariables},
      {"clear", Clear},
      {"lineStyle", LineStyle},
      {"beginFill", BeginFill},
      {"beginGradientFill", BeginGradientFill},
      {"endFill", EndFill},
      {"moveTo", MoveTo},
      {"lineTo", LineTo},
      {"curveTo", CurveTo},
      {"attachBitmap", AttachBitmap},
      {"getSWFVersion", GetSwfVersion},
      {"getTextSnapshot", GetTextSnapshot},
  };
  for (const auto& [name, fn] : methods) vm.DefineMethod(proto, name, fn);
  // Methods that came with later players are hidden from older movies.
  const std::pair<const char*, uint8_t> later[] = {
      {"getDepth", 6},
      {"createEmptyMovieClip", 6},
      {"createTextField", 6},
      {"setMask", 6},
      {"clear", 6},
      {"lineStyle", 6},
      {"beginFill", 6},
      {"beginGradientFill", 6},
      {"endFill", 6},
      {"moveTo", 6},
      {"lineTo", 6},
      {"curveTo", 6},
      {"getInstanceAtDepth", 7},
      {"getNextHighestDepth", 7},
      {"getSWFVersion", 7},
      {"getTextSnapshot", 7},
      {"getRect", 8},
      {"attachBitmap", 8},
  };
  for (const auto& [name, version] : later) {
    proto->Properties().Find(name, true)->min_version = version;
  }

  // Buttons share the clips' display properties but none of their timeline methods. Their
  // prototype's names are not hidden from enumeration.
  Object* button_proto = vm.NewObject();
  vm.builtins().button_proto = button_proto;
  FunctionObject* button_ctor = vm.NewClass(button_proto, Nothing);
  vm.DefineValue(vm.Global(), "Button", static_cast<Object*>(button_ctor));
  vm.DefineValue(button_proto, "useHandCursor", true, 0);
  vm.DefineValue(button_proto, "enabled", true, 0);
  vm.DefineMethod(button_proto, "getDepth", GetDepth, 0);
}

}  // namespace lumen::avm1
