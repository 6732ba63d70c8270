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

// The bounds the tag declares, in the text's own space (twips): what scripts measure the text
// by, whatever its glyphs cover. Empty when the body is too short to hold them.
render::Rect StaticTextBounds(uint16_t tag, std::span<const uint8_t> body);

}  // namespace lumen::text
