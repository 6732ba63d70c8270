// Windows: GDI finds the installed font for a family and hands over its file through
// GetFontData. A face of a TrueType collection comes with the whole collection, its header
// rewritten to list that face alone, so the font reader's face 0 is the one GDI picked.

#include <windows.h>

#include <cstring>
#include <string>

#include "text/DeviceFonts.h"
#include "unicode/Utf.h"

namespace lumen::text {

namespace {

constexpr DWORD kMaxFileBytes = DWORD{64} << 20;
constexpr DWORD kCollectionTag = 0x66637474;  // 'ttcf', as GetFontData wants its tags

uint32_t BigEndian32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

std::shared_ptr<std::vector<uint8_t>> Read(HDC dc, DWORD table) {
  const DWORD size = GetFontData(dc, table, 0, nullptr, 0);
  if (size == GDI_ERROR || size == 0 || size > kMaxFileBytes) return nullptr;
  auto bytes = std::make_shared<std::vector<uint8_t>>(size);
  if (GetFontData(dc, table, 0, bytes->data(), size) != size) return nullptr;
  return bytes;
}

// Finds the selected face in its collection by its table directory and makes it the only face.
bool KeepSelectedFace(HDC dc, std::vector<uint8_t>& collection) {
  uint8_t head[12];
  if (GetFontData(dc, 0, 0, head, sizeof head) != sizeof head) return false;
  const DWORD directory_size = 12 + 16 * DWORD{static_cast<uint16_t>(head[4] << 8 | head[5])};
  std::vector<uint8_t> directory(directory_size);
  if (GetFontData(dc, 0, 0, directory.data(), directory_size) != directory_size) return false;
  if (collection.size() < 12) return false;
  const uint32_t faces = BigEndian32(collection.data() + 8);
  for (uint32_t i = 0; i < faces && 16 + 4 * size_t{i} <= collection.size(); ++i) {
    const uint32_t offset = BigEndian32(collection.data() + 12 + 4 * size_t{i});
    if (offset > collection.size() || collection.size() - offset < directory_size) continue;
    if (std::memcmp(collection.data() + offset, directory.data(), directory_size) != 0) continue;
    const uint8_t one_face[8] = {0,
                                 0,
                                 0,
                                 1,
                                 uint8_t(offset >> 24),
                                 uint8_t(offset >> 16),
                                 uint8_t(offset >> 8),
                                 uint8_t(offset)};
    std::memcpy(collection.data() + 8, one_face, sizeof one_face);
    return true;
  }
  return false;
}

class GdiFontFiles final : public FontFiles {
 public:
  std::shared_ptr<const std::vector<uint8_t>> Load(std::string_view family, bool bold,
                                                   bool italic) override {
    const std::u16string name16 = unicode::ToUtf16(family);
    const std::wstring name(name16.begin(), name16.end());
    if (name.size() >= LF_FACESIZE) return nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return nullptr;
    // TrueType only: GetFontData reads nothing from raster fonts.
    HFONT font =
        CreateFontW(0, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_TT_ONLY_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | (name.empty() ? FF_SWISS : FF_DONTCARE), name.c_str());
    std::shared_ptr<std::vector<uint8_t>> bytes;
    if (font) {
      const HGDIOBJ old = SelectObject(dc, font);
      wchar_t got[LF_FACESIZE] = {};
      // GDI substitutes a font of its choosing for a family it lacks. For a named family that is
      // left to our own list of stand-ins; an empty name takes GDI's default.
      if (GetTextFaceW(dc, LF_FACESIZE, got) > 0 &&
          (name.empty() || lstrcmpiW(got, name.c_str()) == 0)) {
        bytes = Read(dc, kCollectionTag);
        if (bytes && !KeepSelectedFace(dc, *bytes)) bytes.reset();
        if (!bytes) bytes = Read(dc, 0);
      }
      SelectObject(dc, old);
      DeleteObject(font);
    }
    DeleteDC(dc);
    return bytes;
  }
};

}  // namespace

std::unique_ptr<FontFiles> SystemFontFiles() {
  return std::make_unique<GdiFontFiles>();
}

}  // namespace lumen::text
