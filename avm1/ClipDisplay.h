#pragma once

// What scripts reach of a clip's display besides ClipLink: its whole matrix (transform.matrix)
// and its filter list (filters). The stage's clips implement this beside ClipLink; scripts find
// it with dynamic_cast, and a clip without it has neither.

#include <vector>

#include "avm1/FilterSettings.h"

namespace lumen::avm1 {

// From the clip's space to its parent's; tx and ty in pixels.
struct ClipMatrix {
  double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

class ClipDisplayAccess {
 public:
  virtual ClipMatrix GetMatrix() = 0;
  virtual void SetMatrix(const ClipMatrix& matrix) = 0;
  virtual std::vector<FilterSettings> Filters() = 0;
  virtual void SetFilters(std::vector<FilterSettings> filters) = 0;

 protected:
  ~ClipDisplayAccess() = default;
};

}  // namespace lumen::avm1
