#pragma once

// The keyboard's walk through the stage: which objects Tab visits and in what order.
//
// Design: the candidates are gathered afresh on every Tab, as scripts move, hide and re-flag
// objects at any time. Buttons, clips with button handlers, focusEnabled or a tabIndex, and
// selectable or input text fields qualify unless tabEnabled is false; tabEnabled true admits any
// clip; tabChildren false hides a clip's descendants. When any candidate sets tabIndex, only those
// with an index other than -1 take part, in index order; otherwise the order is by position: rows
// from the top, each row left to right.

#include <optional>
#include <vector>

namespace lumen::avm1 {
class Object;
class Vm;
}  // namespace lumen::avm1

namespace lumen::stage {

class Clip;
class PointerInput;

class TabOrder {
 public:
  TabOrder(avm1::Vm& vm, PointerInput& pointer) : vm_(vm), pointer_(pointer) {}

  // The objects Tab visits under `root`, first to last.
  std::vector<avm1::Object*> Collect(Clip& root);
  // The object after `current` (before it when `backwards`), wrapping; the first (last) when
  // `current` is not in the order; null when nothing takes the focus.
  avm1::Object* Next(Clip& root, avm1::Object* current, bool backwards);

 private:
  struct Candidate {
    avm1::Object* object;
    double x, y;
    std::optional<double> index;
  };
  void Gather(Clip& clip, int nesting, std::vector<Candidate>& out);
  bool TabbableClip(Clip& clip);
  bool Flag(avm1::Object* object, const char* name, bool absent);
  std::optional<double> Index(avm1::Object* object);

  avm1::Vm& vm_;
  PointerInput& pointer_;
};

}  // namespace lumen::stage
