#include "avm1/FilterSettings.h"

namespace lumen::avm1 {

FilterSettings FilterSettings::Defaults(Kind kind) {
  FilterSettings s;
  s.kind = kind;
  switch (kind) {
    case Kind::Bevel:
      s.color = 0xFFFFFF;
      break;
    case Kind::Glow:
      s.color = 0xFF0000;
      s.blur_x = s.blur_y = 6;
      s.strength = 2;
      break;
    case Kind::ColorMatrix:
      s.matrix.assign(20, 0);
      for (size_t i = 0; i < 20; i += 6) s.matrix[i] = 1;
      break;
    case Kind::Convolution:
    case Kind::DisplacementMap:
      s.alpha = 0;
      break;
    default:
      break;
  }
  return s;
}

}  // namespace lumen::avm1
