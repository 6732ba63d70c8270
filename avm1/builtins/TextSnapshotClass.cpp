// TextSnapshot: the characters of a clip's static text, searched, read and marked as selected.
//
// Design: a snapshot made on a clip alone holds its text as UTF-16 units with a selected mark each;
// one made on anything else holds nothing and its methods answer undefined. Each method answers
// only when called with the number of arguments it takes. The stage does not read characters
// out of static text yet, so a clip's snapshot is empty for now.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "avm1/Builtins.h"
#include "avm1/Vm.h"
#include "unicode/Utf.h"

namespace lumen::avm1 {
namespace {

using unicode::ToUtf16;
using unicode::ToUtf8;

class SnapshotState final : public Object {
 public:
  SnapshotState() : Object(nullptr) {}
  std::u16string text;
  std::vector<bool> selected;
};

SnapshotState* Snapshot(const Value& self) {
  Object* o = self.AsObject();
  return o ? dynamic_cast<SnapshotState*>(o->primitive.AsObject()) : nullptr;
}

// A snapshot called with between `least` and `most` arguments, or null.
SnapshotState* Called(const Arguments& args, size_t least, size_t most) {
  if (args.size() < least || args.size() > most) return nullptr;
  return Snapshot(args.self);
}

// [start, end) of the text from two script numbers, clamped to it.
std::pair<size_t, size_t> Range(Vm& vm, const SnapshotState& s, const Value& a, const Value& b) {
  auto clamp = [&](const Value& v) {
    const double n = vm.ToNumber(v);
    if (!(n > 0)) return size_t{0};
    return static_cast<size_t>(std::min(n, static_cast<double>(s.text.size())));
  };
  const size_t start = clamp(a);
  return {start, std::max(start, clamp(b))};
}

char16_t Fold(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

Value GetCount(Vm&, const Arguments& args) {
  SnapshotState* s = Called(args, 0, 0);
  return s ? Value(static_cast<double>(s->text.size())) : Value();
}

// findText(start, text, caseSensitive): where the text next occurs from start, or -1.
Value FindText(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 3, 3);
  if (s == nullptr) return Value();
  const double from = vm.ToNumber(args[0]);
  const std::u16string needle = ToUtf16(vm.ToString(args[1]));
  if (!(from >= 0) || from > static_cast<double>(s->text.size()) || needle.empty()) return -1;
  const bool exact = vm.ToBoolean(args[2]);
  auto same = [&](char16_t a, char16_t b) { return exact ? a == b : Fold(a) == Fold(b); };
  const auto begin = s->text.begin() + static_cast<std::ptrdiff_t>(from);
  const auto found = std::search(begin, s->text.end(), needle.begin(), needle.end(), same);
  return found == s->text.end() ? -1 : static_cast<double>(found - s->text.begin());
}

Value GetText(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 2, 3);
  if (s == nullptr) return Value();
  const auto [start, end] = Range(vm, *s, args[0], args[1]);
  return vm.Str(ToUtf8(std::u16string_view(s->text).substr(start, end - start)));
}

Value GetSelected(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 2, 2);
  if (s == nullptr) return Value();
  const auto [start, end] = Range(vm, *s, args[0], args[1]);
  for (size_t i = start; i < end; ++i) {
    if (s->selected[i]) return true;
  }
  return false;
}

Value SetSelected(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 3, 3);
  if (s == nullptr) return Value();
  const auto [start, end] = Range(vm, *s, args[0], args[1]);
  const bool select = vm.ToBoolean(args[2]);
  for (size_t i = start; i < end; ++i) s->selected[i] = select;
  return Value();
}

Value GetSelectedText(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 0, 1);
  if (s == nullptr) return Value();
  std::u16string text;
  for (size_t i = 0; i < s->text.size(); ++i) {
    if (s->selected[i]) text += s->text[i];
  }
  return vm.Str(ToUtf8(text));
}

// Nothing of static text is placed where scripts can hit it: no character is near.
Value HitTestTextNearPos(Vm&, const Arguments& args) {
  return Called(args, 2, 3) ? Value(-1) : Value();
}

// getTextRunInfo(start, end): an object a character, telling its place and whether selected.
Value GetTextRunInfo(Vm& vm, const Arguments& args) {
  SnapshotState* s = Called(args, 2, 2);
  if (s == nullptr) return Value();
  const auto [start, end] = Range(vm, *s, args[0], args[1]);
  ArrayObject* runs = vm.NewArray();
  for (size_t i = start; i < end; ++i) {
    Object* run = vm.NewObject();
    vm.SetOwn(run, "indexInRun", static_cast<double>(i));
    vm.SetOwn(run, "selected", static_cast<bool>(s->selected[i]));
    runs->elements.push_back(run);
  }
  return static_cast<Object*>(runs);
}

Value SnapshotConstruct(Vm& vm, const Arguments& args) {
  Object* snapshot = vm.NewObject(args.self.AsObject());
  Object* target = args[0].AsObject();
  if (args.size() == 1 && target != nullptr && target->AsClip() != nullptr) {
    snapshot->primitive = static_cast<Object*>(vm.heap().Make<SnapshotState>());
  }
  return snapshot;
}

}  // namespace

void InstallTextSnapshotClass(Vm& vm) {
  Object* proto = vm.NewObject();
  static constexpr std::pair<const char*, NativeFunction> kMethods[] = {
      {"getCount", GetCount},
      {"setSelected", SetSelected},
      {"getSelected", GetSelected},
      {"getText", GetText},
      {"getSelectedText", GetSelectedText},
      {"hitTestTextNearPos", HitTestTextNearPos},
      {"findText", FindText},
      {"setSelectColor", Nothing},
      {"getTextRunInfo", GetTextRunInfo}};
  for (const auto& [name, fn] : kMethods) vm.DefineMethod(proto, name, fn, 0);
  vm.DefineValue(vm.Global(), "TextSnapshot",
                 static_cast<Object*>(vm.NewClass(proto, Nothing, SnapshotConstruct)));
}

}  // namespace lumen::avm1
