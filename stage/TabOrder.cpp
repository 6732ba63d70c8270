#include "stage/TabOrder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <variant>

#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Vm.h"
#include "stage/Clip.h"
#include "stage/FieldHandle.h"
#include "stage/PointerInput.h"
#include "text/TextField.h"

namespace lumen::stage {
namespace {

constexpr int kMaxNesting = 64;  // deeper clips are never visited

bool FieldFlag(FieldHandle& field, avm1::FieldProperty property) {
  const avm1::FieldValue v = field.Get(property);
  return std::holds_alternative<bool>(v) && std::get<bool>(v);
}

bool InputField(FieldHandle& field) {
  const avm1::FieldValue v = field.Get(avm1::FieldProperty::Type);
  return std::holds_alternative<std::string>(v) && std::get<std::string>(v) == "input";
}

}  // namespace

bool TabOrder::Flag(avm1::Object* object, const char* name, bool absent) {
  const avm1::Value v = vm_.Get(object, name);
  return v.IsUndefined() ? absent : vm_.ToBoolean(v);
}

// Indices compare as 32-bit signed integers, so 0xFFFFFFFD sorts as -3 before 0; -1 stands
// for no index.
std::optional<double> TabOrder::Index(avm1::Object* object) {
  const avm1::Value v = vm_.Get(object, "tabIndex");
  if (v.IsUndefined() || v.IsNull()) return std::nullopt;
  const double n = std::trunc(vm_.ToNumber(v));
  if (!std::isfinite(n)) return 0.0;
  const double wrapped = std::fmod(n, 4294967296.0);
  const uint32_t bits = static_cast<uint32_t>(wrapped < 0 ? wrapped + 4294967296.0 : wrapped);
  const int32_t index = static_cast<int32_t>(bits);
  if (index == -1) return std::nullopt;
  return static_cast<double>(index);
}

bool TabOrder::TabbableClip(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  if (object == nullptr || clip.ParentClip() == nullptr) return false;
  const avm1::Value enabled = vm_.Get(object, "tabEnabled");
  if (!enabled.IsUndefined()) return vm_.ToBoolean(enabled);
  return clip.Button() != nullptr || pointer_.ButtonMode(clip) ||
         Flag(object, "focusEnabled", false) || Index(object).has_value();
}

void TabOrder::Gather(Clip& clip, int nesting, std::vector<Candidate>& out) {
  for (const DisplayObject& entry : clip.DisplayList()) {
    if (!entry.place.visible) continue;
    if (Clip* child = entry.clip.get()) {
      if (TabbableClip(*child)) {
        avm1::ClipObject* object = child->ScriptObject();
        const render::Matrix global = child->GlobalMatrix();
        const avm1::ClipBounds b = child->BoundsIn(global);
        const render::Point at = global.Apply({0, 0});
        out.push_back({object, b.empty ? at.x / 20.0 : b.x_min, b.empty ? at.y / 20.0 : b.y_min,
                       Index(object)});
      }
      if (nesting < kMaxNesting && child->ScriptObject() != nullptr &&
          Flag(child->ScriptObject(), "tabChildren", true)) {
        Gather(*child, nesting + 1, out);
      }
    } else if (entry.field && entry.field_link) {
      FieldHandle& handle = *entry.field_link;
      avm1::FieldObject* object = handle.Script();
      if (object == nullptr) continue;
      const bool wanted = FieldFlag(handle, avm1::FieldProperty::Selectable) || InputField(handle);
      if (!Flag(object, "tabEnabled", wanted)) continue;
      const render::Rect& r = entry.field->Bounds();
      const render::Point at = (clip.GlobalMatrix() * entry.place.matrix).Apply({r.x_min, r.y_min});
      out.push_back({object, at.x / 20.0, at.y / 20.0, Index(object)});
    }
  }
}

std::vector<avm1::Object*> TabOrder::Collect(Clip& root) {
  std::vector<Candidate> found;
  avm1::ClipObject* object = root.ScriptObject();
  if (object == nullptr || Flag(object, "tabChildren", true)) Gather(root, 0, found);
  const bool custom = std::any_of(found.begin(), found.end(),
                                  [](const Candidate& c) { return c.index.has_value(); });
  if (custom) {
    std::erase_if(found, [](const Candidate& c) { return !c.index; });
    std::stable_sort(found.begin(), found.end(),
                     [](const Candidate& a, const Candidate& b) { return a.index < b.index; });
  } else {
    std::stable_sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
  }
  std::vector<avm1::Object*> order;
  order.reserve(found.size());
  for (const Candidate& c : found) order.push_back(c.object);
  return order;
}

avm1::Object* TabOrder::Next(Clip& root, avm1::Object* current, bool backwards) {
  const std::vector<avm1::Object*> order = Collect(root);
  if (order.empty()) return nullptr;
  const auto at = std::find(order.begin(), order.end(), current);
  if (at == order.end()) return backwards ? order.back() : order.front();
  const size_t i = static_cast<size_t>(at - order.begin());
  const size_t n = order.size();
  return order[backwards ? (i + n - 1) % n : (i + 1) % n];
}

}  // namespace lumen::stage
