// Fonts from any bytes: the table checks and stb_truetype behind them, then outlines (simple and
// composite glyphs), advances and kerning for a few codes. Inputs holding a CFF table are left
// out: stb runs CFF charstrings without a bound on their work or coordinates, and the font reader
// trusts that much to the installed fonts it is given (device fonts never come from a movie).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/TrueTypeFont.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t cff[] = {'C', 'F', 'F', ' '};
  if (std::search(data, data + size, cff, cff + 4) != data + size) return 0;
  auto file = std::make_shared<const std::vector<uint8_t>>(data, data + size);
  for (int face : {0, 1}) {
    const auto font = lumen::text::FontFromTrueType(file, face);
    if (!font) continue;
    const uint16_t codes[] = {' ', 'A', 'V', 'o', 0xE9, 0x131, 0x20AC, 0xFB01, 0xFFFD, 0xE000};
    for (size_t i = 0; i < std::size(codes); ++i) {
      font->Find(codes[i]);
      if (i > 0) font->Kerning(codes[i - 1], codes[i]);
    }
  }
  return 0;
}
