#pragma once

// flash.display.BitmapData, and what the stage reads of one: its pixels, to show a bitmap a
// script attached to a clip.

#include <memory>

#include "avm1/BitmapPixels.h"
#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;
class Object;

void InstallBitmapDataClass(Vm& vm);
// `_global.flash.display`, made by the first class that needs it.
Object* DisplayPackage(Vm& vm);
bool IsBitmapData(const Value& v);
// A BitmapData object over `pixels`, of the class the movie's globals name now.
Value NewBitmapData(Vm& vm, std::shared_ptr<BitmapPixels> pixels);
// The pixels of a BitmapData object; null for other values and disposed bitmaps.
std::shared_ptr<const BitmapPixels> BitmapDataPixels(const Value& v);

}  // namespace lumen::avm1
