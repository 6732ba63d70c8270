#pragma once

// One frame as a flat list of draw commands, produced from the display list and consumed by the
// renderer. The list is cleared and refilled each frame; its storage is kept.

#include <array>
#include <memory>
#include <span>
#include <vector>

#include "render/Geometry.h"

namespace lumen::render {

enum class BlendMode : uint8_t {
  Normal,
  Layer,
  Multiply,
  Screen,
  Lighten,
  Darken,
  Difference,
  Add,
  Subtract,
  Invert,
  Alpha,
  Erase,
  Overlay,
  HardLight
};

enum class Quality : uint8_t { Low, Medium, High, Best };

// A bitmap filter applied to a layer's picture before the layer is composited. Sizes are in
// stage pixels; the renderer scales them with the view.
struct Filter {
  enum class Kind : uint8_t {
    Blur,
    DropShadow,
    Glow,
    Bevel,
    GradientGlow,
    GradientBevel,
    ColorMatrix,
    Convolution
  };
  static constexpr size_t kMaxStops = 16;
  static constexpr int kMaxKernel = 15;  // a convolution's columns and rows

  Kind kind = Kind::Blur;
  float blur_x = 0, blur_y = 0;  // the width of the box averaged over
  int passes = 1;                // box blurs run one after the other
  float dx = 0, dy = 0;          // the shadow's offset; a bevel's light falls from the other side
  Rgba color;                    // of the shadow or glow; a bevel's highlight
  Rgba shadow;                   // a bevel's shadow
  float strength = 1;            // multiplies the shadow's or glow's alpha
  bool inner = false, knockout = false, hide_object = false;
  bool on_top = false;  // a bevel both inside and outside the object
  // Gradient glows and bevels: colours along the blurred alpha (glow) or the lit-minus-shaded
  // difference, highlight at 0 and shadow at 255 (bevel).
  std::array<GradientStop, kMaxStops> stops{};
  size_t stop_count = 0;
  // ColorMatrix: rows r, g, b, a of 4 factors and an offset. Convolution: `columns` x `rows`
  // factors, row by row.
  std::array<float, kMaxKernel * kMaxKernel> matrix{};
  int columns = 0, rows = 0;
  float divisor = 1, bias = 0;
  bool clamp = true, preserve_alpha = true;  // convolution: edge pixels repeat; alpha stays

  friend bool operator==(const Filter&, const Filter&) = default;
};

struct RenderCommand {
  enum class Kind : uint8_t {
    DrawShape,   // shape, matrix, cxform
    BeginMask,   // the following DrawShapes up to EndMask build a mask instead of painting
    EndMask,     // the mask is complete and now clips (intersected with any outer mask)
    PopMask,     // the innermost mask stops clipping
    BeginLayer,  // the following commands paint into a transparent layer ...
    EndLayer,    // ... composited onto what lies below with `blend` and `cxform`
  };
  Kind kind = Kind::DrawShape;
  const ShapeGeometry* shape = nullptr;  // DrawShape; owned by the movie, outlives the list
  Matrix matrix;                         // DrawShape: shape twips to stage twips
  ColorTransform cxform;                 // DrawShape, EndLayer: the full, concatenated transform
  BlendMode blend = BlendMode::Normal;   // BeginLayer/EndLayer
  // BeginLayer: the layer is a cached picture; its content moves so that `matrix`'s origin
  // lands on a whole device pixel. DrawShape: the shape moves so.
  bool snap = false;
  // BeginLayer: the layer is a filtered picture; drawn at low quality, its content moves so that
  // `matrix`'s origin lands on a device pixel's centre.
  bool centre = false;
  // BeginLayer and EndLayer: the list's filters to apply (BeginLayer: to see how far beyond the
  // target the picture must be drawn for them).
  uint16_t filter_first = 0, filter_count = 0;
};

// Supplies the pixels of bitmap fills that carry a source. A frame announces the sources it
// draws before asking for any, so that making room never evicts what the frame needs.
class BitmapProvider {
 public:
  virtual ~BitmapProvider() = default;
  // Starts a frame drawing with `sources` (repeats allowed); ends the frame before.
  virtual void BeginFrame(std::span<const BitmapSource* const> sources) = 0;
  // The source's pixels, decoded now when not at hand; null when they cannot be had.
  virtual std::shared_ptr<const Bitmap> Pixels(const BitmapSource& source) = 0;
};

struct RenderList {
  Rgba background;  // the stage colour
  std::vector<RenderCommand> commands;
  std::vector<Filter> filters;        // what EndLayer commands point at
  BitmapProvider* bitmaps = nullptr;  // for fills with a source; none: such fills paint nothing

  void Clear() {
    commands.clear();
    filters.clear();
  }
};

}  // namespace lumen::render
