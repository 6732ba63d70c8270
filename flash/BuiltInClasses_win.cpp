#include "flash/ClassTable.h"
#include "flash/FlashControl.h"

namespace lumen::flash {

std::span<const BuiltInClass> BuiltInClasses() {
  static constexpr BuiltInClass kClasses[] = {
      {kClsidShockwaveFlash, kProgIdShockwaveFlash, &FlashControl::Create},
  };
  return kClasses;
}

}  // namespace lumen::flash
