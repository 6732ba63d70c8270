#pragma once

// Device fonts: the system's TrueType and OpenType files as fonts of font units, their glyphs
// converted from the file's outlines when text first asks for them.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "text/Font.h"

namespace lumen::text {

// The font in `file` (a collection: its face `face_index`), with its family name, style, units
// per em, line metrics and kerning. Nothing when the file is larger than 64 MB or its tables do
// not hold together.
std::optional<Font> FontFromTrueType(std::shared_ptr<const std::vector<uint8_t>> file,
                                     int face_index = 0);

}  // namespace lumen::text
