#pragma once

// Static text (DefineText, DefineText2): glyphs placed by the authoring tool, each record giving
// font, height, colour and position, each glyph its own advance.

#include <cstdint>
#include <span>

#include "render/Geometry.h"
#include "text/FontLibrary.h"

namespace lumen::text {

// The picture of a DefineText (11) or DefineText2 (33) tag body in the text's own space (twips).
// Records that do not parse end the text; glyphs of unknown fonts draw nothing.
render::ShapeGeometry BuildStaticText(uint16_t tag, std::span<const uint8_t> body,
                                      FontLibrary& fonts);

}  // namespace lumen::text
