#include "stage/AttachedBitmap.h"

#include <cmath>
#include <utility>

namespace lumen::stage {

AttachedBitmap::AttachedBitmap(std::shared_ptr<const avm1::BitmapPixels> pixels,
                               avm1::PixelSnapping snapping, bool smooth)
    : pixels_(std::move(pixels)), snapping_(snapping), smooth_(smooth) {}

const render::ShapeGeometry* AttachedBitmap::Geometry() {
  if (!drawn_ || shown_revision_ != pixels_->Revision()) {
    auto bitmap = std::make_shared<render::Bitmap>();
    bitmap->width = pixels_->Width();
    bitmap->height = pixels_->Height();
    bitmap->pixels = pixels_->RawPixels();
    bitmap->opaque = !pixels_->Transparent();
    picture_.Clear();
    picture_.BeginBitmapFill(std::move(bitmap), {}, false, smooth_);
    picture_.LineTo(pixels_->Width(), 0);
    picture_.LineTo(pixels_->Width(), pixels_->Height());
    picture_.LineTo(0, pixels_->Height());
    picture_.EndFill();
    shown_revision_ = pixels_->Revision();
    drawn_ = true;
  }
  return picture_.Geometry();
}

// "auto" snaps a bitmap shown upright at its own size.
bool AttachedBitmap::Snaps(const render::Matrix& m) const {
  auto near_one = [](float v) { return std::fabs(v - 1) < 0.001f; };
  const bool upright = m.b == 0 && m.c == 0 && near_one(m.a) && near_one(m.d);
  return snapping_ == avm1::PixelSnapping::Always ||
         (snapping_ == avm1::PixelSnapping::Auto && upright);
}

}  // namespace lumen::stage
