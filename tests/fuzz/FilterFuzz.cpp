// Any bytes as a PlaceObject3 filter list, read as the stage reads it and drawn by the renderer
// on a layer holding a square, at a view scale the first byte picks: any sizes, strengths,
// offsets, pass counts, gradients and kernels.
#include <cstdint>
#include <span>
#include <vector>

#include "render/Renderer.h"
#include "stage/FilterList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lumen::render;
  if (size < 2) return 0;
  const std::span<const uint8_t> bytes(data + 2, size - 2);
  RenderList list;
  lumen::stage::AddRenderFilters(lumen::stage::ReadFilterList(bytes), list.filters);

  ShapeGeometry square;
  ShapePart part;
  part.path.MoveTo({200, 200});
  part.path.LineTo({600, 200});
  part.path.LineTo({600, 500});
  part.path.LineTo({200, 500});
  part.path.LineTo({200, 200});
  part.fill.color = {data[1], 40, 200, static_cast<uint8_t>(data[1] | 0x80)};
  square.parts.push_back(part);

  RenderCommand begin;
  begin.kind = RenderCommand::Kind::BeginLayer;
  begin.centre = true;
  begin.filter_count = static_cast<uint16_t>(list.filters.size());
  RenderCommand draw;
  draw.shape = &square;
  RenderCommand end;
  end.kind = RenderCommand::Kind::EndLayer;
  end.filter_count = static_cast<uint16_t>(list.filters.size());
  list.commands = {begin, draw, end};

  Renderer renderer;
  lumen::raster::Pixmap target(64, 48);
  const float scale = 0.05f * static_cast<float>(1 + data[0] % 80) / 10;
  renderer.Render(list, Matrix::Scale(scale, scale), target);
  return 0;
}
