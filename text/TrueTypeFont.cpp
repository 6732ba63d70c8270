// stb_truetype follows a font's offsets without comparing them with the file's length, so nothing
// reaches it unchecked: the table directory and every table it reads, the character map it picks,
// and before each outline is read, that glyph (its points, its components and their nesting, the
// range of the coordinates its transforms produce). CFF fonts get their INDEX and DICT structure
// checked the same way, but stb runs their charstrings without a bound on work or on coordinates;
// device fonts come only from the fonts installed on the system, never from a movie, so that much
// is trusted.

#include "text/TrueTypeFont.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>

#include "unicode/Utf.h"

// With STBTT_STATIC the parts of stb we do not call are unused static functions.
#if defined(__GNUC__)
#pragma GCC diagnostic ignored "-Wunused-function"
#endif

// Private to this file, like the image decoder's copy of stb.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

namespace lumen::text {

namespace {

constexpr size_t kMaxFileBytes = size_t{64} << 20;
// Composite glyphs: how deep components may nest, and what one glyph may cost in all.
constexpr int kMaxNesting = 8;
constexpr int kMaxGlyphVisits = 128;
constexpr size_t kMaxPoints = size_t{1} << 17;
// stb keeps outline coordinates as 16-bit integers.
constexpr double kMaxCoordinate = 32000;

constexpr uint32_t Tag(char a, char b, char c, char d) {
  return uint32_t(uint8_t(a)) << 24 | uint32_t(uint8_t(b)) << 16 | uint32_t(uint8_t(c)) << 8 |
         uint8_t(d);
}

// A range of the file. Reads past its end give zeros; sizes are checked wherever stb would read.
struct Bytes {
  const uint8_t* data = nullptr;
  size_t size = 0;

  bool Has(size_t at, size_t n) const { return at <= size && n <= size - at; }
  uint8_t U8(size_t at) const { return at < size ? data[at] : 0; }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>(U8(at) << 8 | U8(at + 1)); }
  int16_t S16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(size_t at) const { return uint32_t{U16(at)} << 16 | U16(at + 2); }
  uint32_t UN(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | U8(at + i);
    return v;
  }
  Bytes Sub(size_t at, size_t n) const { return Has(at, n) ? Bytes{data + at, n} : Bytes{}; }
};

struct Table {
  size_t offset = 0, length = 0;
  bool seen = false;
  bool Present() const { return offset != 0; }  // stb reads an offset of 0 as no table
};

struct Layout {
  size_t font_start = 0;
  Table cmap, head, hhea, hmtx, maxp, loca, glyf, kern, cff, os2, name;
  int num_glyphs = 0;
  int long_metrics = 0;  // hmtx entries with their own advance
  int loca_format = 0;
  bool kern_usable = false;
  // CFF: glyphs with charstrings; CID-keyed fonts pick a font dict per glyph through FDSelect.
  uint32_t charstrings = 0;
  size_t fd_select = 0;  // within the CFF table; 0 when not CID-keyed
  uint32_t font_dicts = 0;
};

bool IsSfnt(uint32_t version) {
  return version == 0x00010000 || version == Tag('O', 'T', 'T', 'O') ||
         version == Tag('t', 'r', 'u', 'e');
}

constexpr std::pair<uint32_t, Table Layout::*> kTables[] = {
    {Tag('c', 'm', 'a', 'p'), &Layout::cmap}, {Tag('h', 'e', 'a', 'd'), &Layout::head},
    {Tag('h', 'h', 'e', 'a'), &Layout::hhea}, {Tag('h', 'm', 't', 'x'), &Layout::hmtx},
    {Tag('m', 'a', 'x', 'p'), &Layout::maxp}, {Tag('l', 'o', 'c', 'a'), &Layout::loca},
    {Tag('g', 'l', 'y', 'f'), &Layout::glyf}, {Tag('k', 'e', 'r', 'n'), &Layout::kern},
    {Tag('C', 'F', 'F', ' '), &Layout::cff},  {Tag('O', 'S', '/', '2'), &Layout::os2},
    {Tag('n', 'a', 'm', 'e'), &Layout::name}};

bool ReadDirectory(Bytes file, int face, Layout& layout) {
  size_t start = 0;
  if (file.U32(0) == Tag('t', 't', 'c', 'f')) {
    const uint32_t version = file.U32(4);
    if (version != 0x00010000 && version != 0x00020000) return false;
    if (face < 0 || static_cast<uint32_t>(face) >= file.U32(8)) return false;
    const size_t entry = 12 + 4 * static_cast<size_t>(face);
    if (!file.Has(entry, 4)) return false;
    start = file.U32(entry);
  } else if (face != 0 || !IsSfnt(file.U32(0))) {
    return false;
  }
  if (!file.Has(start, 12)) return false;
  const size_t count = file.U16(start + 4);
  if (!file.Has(start + 12, 16 * count)) return false;
  layout.font_start = start;
  for (size_t i = 0; i < count; ++i) {
    const size_t record = start + 12 + 16 * i;
    Table* table = nullptr;
    for (const auto& [tag, member] : kTables) {
      if (file.U32(record) == tag) table = &(layout.*member);
    }
    if (!table || table->seen) continue;  // stb takes the first of a tag
    table->seen = true;
    table->offset = file.U32(record + 8);
    table->length = file.U32(record + 12);
    if (table->Present() && !file.Has(table->offset, table->length)) return false;
  }
  return true;
}

Bytes TableBytes(Bytes file, const Table& table) {
  return file.Sub(table.offset, table.length);
}

// CFF structures, read the way stb reads them.

struct CffIndex {
  size_t start = 0, end = 0;
  uint32_t count = 0;
  int offsize = 0;
};

std::optional<CffIndex> IndexAt(Bytes cff, size_t at) {
  if (!cff.Has(at, 2)) return std::nullopt;
  CffIndex index{at, at + 2, cff.U16(at), 0};
  if (index.count == 0) return index;
  index.offsize = cff.U8(at + 2);
  if (index.offsize < 1 || index.offsize > 4) return std::nullopt;
  const size_t offsets = at + 3;
  const size_t table = (size_t{index.count} + 1) * index.offsize;
  if (!cff.Has(offsets, table)) return std::nullopt;
  const uint32_t last = cff.UN(offsets + size_t{index.count} * index.offsize, index.offsize);
  if (last == 0 || !cff.Has(offsets + table, last - 1)) return std::nullopt;
  index.end = offsets + table + last - 1;
  return index;
}

// Entry i, empty when its offsets fall outside the index (stb gives an empty range then too).
Bytes IndexEntry(Bytes cff, const CffIndex& index, uint32_t i) {
  if (i >= index.count) return {};
  const size_t offsets = index.start + 3 + size_t{i} * index.offsize;
  const uint32_t from = cff.UN(offsets, index.offsize);
  const uint32_t to = cff.UN(offsets + index.offsize, index.offsize);
  const size_t length = index.end - index.start;
  const size_t at = 2 + (size_t{index.count} + 1) * index.offsize + from;
  if (to < from || at > length || to - from > length - at) return {};
  return cff.Sub(index.start + at, to - from);
}

// Steps over one DICT operand; false for the bytes stb cannot read as one.
bool SkipOperand(Bytes dict, size_t& at) {
  const uint8_t b0 = dict.U8(at++);
  if (b0 == 30) {
    while (at < dict.size) {
      const uint8_t v = dict.U8(at++);
      if ((v & 0xF) == 0xF || (v >> 4) == 0xF) break;
    }
  } else if (b0 == 28) {
    at += 2;
  } else if (b0 == 29) {
    at += 4;
  } else if (b0 >= 247 && b0 <= 254) {
    at += 1;
  } else if (b0 < 32 || b0 == 255) {
    return false;
  }
  at = std::min(at, dict.size);
  return true;
}

std::optional<uint32_t> CffInt(Bytes b, size_t& at) {
  const int b0 = b.U8(at++);
  if (b0 >= 32 && b0 <= 246) return static_cast<uint32_t>(b0 - 139);
  if (b0 >= 247 && b0 <= 250) return static_cast<uint32_t>((b0 - 247) * 256 + b.U8(at++) + 108);
  if (b0 >= 251 && b0 <= 254) return static_cast<uint32_t>(-(b0 - 251) * 256 - b.U8(at++) - 108);
  if (b0 == 28) {
    at += 2;
    return b.U16(at - 2);
  }
  if (b0 == 29) {
    at += 4;
    return b.U32(at - 4);
  }
  return std::nullopt;
}

// The first integer operands of `key` (zeros where absent); nothing when stb would meet operands
// it cannot read on the way.
std::optional<std::array<uint32_t, 2>> DictInts(Bytes dict, int key, int count) {
  std::array<uint32_t, 2> out{};
  size_t at = 0;
  while (at < dict.size) {
    const size_t start = at;
    while (dict.U8(at) >= 28) {
      if (!SkipOperand(dict, at)) return std::nullopt;
    }
    const Bytes operands = dict.Sub(start, at - start);
    int op = dict.U8(at++);
    if (op == 12) op = dict.U8(at++) | 0x100;
    if (op != key) continue;
    size_t cursor = 0;
    for (int i = 0; i < count && cursor < operands.size; ++i) {
      const auto v = CffInt(operands, cursor);
      if (!v) return std::nullopt;
      out[static_cast<size_t>(i)] = *v;
    }
    return out;
  }
  return out;
}

// A font dict's private dict and its local subroutines.
bool CheckSubrs(Bytes cff, Bytes font_dict) {
  const auto place = DictInts(font_dict, 18, 2);
  if (!place) return false;
  const uint32_t size = (*place)[0], offset = (*place)[1];
  if (size == 0 || offset == 0) return true;
  if (!cff.Has(offset, size)) return false;
  const auto subrs = DictInts(cff.Sub(offset, size), 19, 1);
  if (!subrs) return false;
  if ((*subrs)[0] == 0) return true;
  return IndexAt(cff, size_t{offset} + (*subrs)[0]).has_value();
}

bool CheckCff(Bytes cff, Layout& layout) {
  const auto names = IndexAt(cff, cff.U8(2));
  const auto top = names ? IndexAt(cff, names->end) : std::nullopt;
  if (!top || top->count == 0) return false;
  const auto strings = IndexAt(cff, top->end);
  if (!strings || !IndexAt(cff, strings->end)) return false;
  const Bytes top_dict = IndexEntry(cff, *top, 0);
  const auto charstrings = DictInts(top_dict, 17, 1);
  const auto type = DictInts(top_dict, 0x100 | 6, 1);
  const auto fd_array = DictInts(top_dict, 0x100 | 36, 1);
  const auto fd_select = DictInts(top_dict, 0x100 | 37, 1);
  if (!charstrings || !type || !fd_array || !fd_select || !CheckSubrs(cff, top_dict)) return false;
  if (((*type)[0] != 0 && (*type)[0] != 2) || (*charstrings)[0] == 0) return false;
  if ((*fd_array)[0] != 0) {
    const auto dicts = IndexAt(cff, (*fd_array)[0]);
    const uint32_t select = (*fd_select)[0];
    if (!dicts || select == 0 || select >= cff.size) return false;
    if (cff.U8(select) != 0 && cff.U8(select) != 3) return false;
    for (uint32_t i = 0; i < dicts->count; ++i) {
      if (!CheckSubrs(cff, IndexEntry(cff, *dicts, i))) return false;
    }
    layout.fd_select = select;
    layout.font_dicts = dicts->count;
  }
  const auto glyphs = IndexAt(cff, (*charstrings)[0]);
  if (!glyphs) return false;
  layout.charstrings = glyphs->count;
  return true;
}

// The character map stb picked: every read its lookups make stays inside the cmap table.
bool CheckCharacterMap(Bytes cmap, size_t at) {
  if (!cmap.Has(at, 4)) return false;
  switch (cmap.U16(at)) {
    case 0:
      return cmap.Has(at, std::max<size_t>(6, cmap.U16(at + 2)));
    case 6:
      return cmap.Has(at, 10 + 2 * size_t{cmap.U16(at + 8)});
    case 12:
    case 13:
      return cmap.Has(at, 16) && cmap.Has(at + 16, 12 * size_t{cmap.U32(at + 12)});
    case 4:
      break;
    default:
      return false;  // stb reads no others
  }
  const size_t segments = cmap.U16(at + 6) / 2u;
  const size_t search_range = cmap.U16(at + 8) / 2u;
  const size_t range_shift = cmap.U16(at + 12) / 2u;
  // stb's binary search reads the segments from the header's search fields.
  if (segments == 0 || search_range == 0 || search_range + range_shift > segments ||
      cmap.U16(at + 10) > 16 || !cmap.Has(at, 16 + 8 * segments)) {
    return false;
  }
  const size_t ends = at + 14, starts = ends + 2 * segments + 2;
  const size_t range_offsets = starts + 4 * segments;
  for (size_t i = 0; i < segments; ++i) {
    const uint16_t first = cmap.U16(starts + 2 * i), last = cmap.U16(ends + 2 * i);
    const uint16_t offset = cmap.U16(range_offsets + 2 * i);
    if (offset == 0 || first > last) continue;
    if (!cmap.Has(range_offsets + 2 * i + offset + 2 * size_t(last - first), 2)) return false;
  }
  return true;
}

bool CheckTables(Bytes file, Layout& layout) {
  const Bytes head = TableBytes(file, layout.head), hhea = TableBytes(file, layout.hhea);
  const Bytes maxp = TableBytes(file, layout.maxp), cmap = TableBytes(file, layout.cmap);
  if (head.size < 54 || hhea.size < 36 || maxp.size < 6 || cmap.size < 4) return false;
  if (!cmap.Has(4, 8 * size_t{cmap.U16(2)}) || !layout.hmtx.Present()) return false;
  const unsigned units = head.U16(18);
  if (units < 16 || units > 16384) return false;
  layout.num_glyphs = maxp.U16(4);
  layout.long_metrics = hhea.U16(34);
  layout.loca_format = head.S16(50);
  const size_t glyphs = static_cast<size_t>(layout.num_glyphs);
  const size_t long_metrics = static_cast<size_t>(layout.long_metrics);
  if (glyphs == 0 || long_metrics == 0) return false;
  const size_t metrics =
      4 * std::min(long_metrics, glyphs) + 2 * (glyphs - std::min(long_metrics, glyphs));
  if (layout.hmtx.length < metrics) return false;

  const Bytes kern = TableBytes(file, layout.kern);
  layout.kern_usable = kern.size >= 18 && kern.Has(18, 6 * size_t{kern.U16(10)});

  if (layout.glyf.Present()) {
    if (!layout.loca.Present() || layout.loca_format < 0 || layout.loca_format > 1) return false;
    return layout.loca.length >= (glyphs + 1) * (layout.loca_format ? 4 : 2);
  }
  return layout.cff.Present() && CheckCff(TableBytes(file, layout.cff), layout);
}

// The family name: Windows' Unicode entry, US English first; else a Macintosh Roman one.
std::string FamilyName(Bytes name) {
  const size_t count = name.U16(2), strings = name.U16(4);
  std::string best;
  int best_rank = 0;
  for (size_t i = 0; i < count && name.Has(6 + 12 * i, 12); ++i) {
    const size_t record = 6 + 12 * i;
    const uint16_t platform = name.U16(record), encoding = name.U16(record + 2);
    const uint16_t language = name.U16(record + 4);
    if (name.U16(record + 6) != 1) continue;
    const bool windows = platform == 3 && (encoding == 1 || encoding == 0);
    const int rank = windows ? (language == 0x409 ? 3 : 2) : platform == 1 && encoding == 0;
    if (rank <= best_rank) continue;
    const Bytes text = name.Sub(strings + name.U16(record + 10), name.U16(record + 8));
    if (text.size == 0) continue;
    if (windows) {
      std::u16string units;
      for (size_t k = 0; k + 1 < text.size; k += 2) units.push_back(text.U16(k));
      best = unicode::ToUtf8(units);
    } else {
      best = unicode::Latin1ToUtf8({reinterpret_cast<const char*>(text.data), text.size});
    }
    best_rank = rank;
  }
  return best;
}

void SetMetrics(Bytes file, const Layout& layout, Font& font) {
  const Bytes head = TableBytes(file, layout.head), hhea = TableBytes(file, layout.hhea);
  const Bytes os2 = TableBytes(file, layout.os2);
  font.units_per_em = head.U16(18);
  const float ascender = hhea.S16(4), descender = hhea.S16(6), line_gap = hhea.S16(8);
  if (os2.size >= 78) {
    // Windows lays text out with usWinAscent and usWinDescent, and adds as external leading only
    // the part of hhea's line gap those do not already cover. The old player laid device text out
    // through Windows, so lines here get its heights.
    font.ascent = os2.U16(74);
    font.descent = os2.U16(76);
    font.leading =
        std::max(0.0f, line_gap - ((font.ascent + font.descent) - (ascender - descender)));
  } else {
    font.ascent = ascender;
    font.descent = -descender;
    font.leading = std::max(0.0f, line_gap);
  }
  if (os2.size >= 64) {
    const uint16_t selection = os2.U16(62);
    font.bold = (selection & 0x20) != 0;
    font.italic = (selection & 0x201) != 0;  // italic or oblique
  } else {
    const uint16_t style = head.U16(44);
    font.bold = (style & 1) != 0;
    font.italic = (style & 2) != 0;
  }
  font.name = FamilyName(TableBytes(file, layout.name));
}

// A cubic as quadratics: one quadratic misses a cubic by about sqrt(3)/36 of the length of
// p3 - 3 c2 + 3 c1 - p0, and splitting it in n parts divides that by n cubed.
void AddCubic(render::Path& path, render::Point p0, render::Point c1, render::Point c2,
              render::Point p3, float tolerance) {
  const float dx = p3.x - 3 * c2.x + 3 * c1.x - p0.x, dy = p3.y - 3 * c2.y + 3 * c1.y - p0.y;
  const float miss = std::sqrt(3.0f) / 36 * std::hypot(dx, dy);
  int parts = 1;
  while (parts < 8 && miss > tolerance * static_cast<float>(parts * parts * parts)) ++parts;
  auto at = [&](float t) {
    const float u = 1 - t;
    const float a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return render::Point{a * p0.x + b * c1.x + c * c2.x + d * p3.x,
                         a * p0.y + b * c1.y + c * c2.y + d * p3.y};
  };
  auto slope = [&](float t) {
    const float u = 1 - t;
    const float a = 3 * u * u, b = 6 * u * t, c = 3 * t * t;
    return render::Point{a * (c1.x - p0.x) + b * (c2.x - c1.x) + c * (p3.x - c2.x),
                         a * (c1.y - p0.y) + b * (c2.y - c1.y) + c * (p3.y - c2.y)};
  };
  const float step = 1.0f / static_cast<float>(parts);
  render::Point q0 = p0;
  for (int i = 0; i < parts; ++i) {
    const float t0 = static_cast<float>(i) * step, t1 = static_cast<float>(i + 1) * step;
    const render::Point q3 = i + 1 == parts ? p3 : at(t1);
    const render::Point s0 = slope(t0), s1 = slope(t1);
    const render::Point q1{q0.x + s0.x * step / 3, q0.y + s0.y * step / 3};
    const render::Point q2{q3.x - s1.x * step / 3, q3.y - s1.y * step / 3};
    path.QuadTo({(3 * (q1.x + q2.x) - q0.x - q3.x) / 4, (3 * (q1.y + q2.y) - q0.y - q3.y) / 4}, q3);
    q0 = q3;
  }
}

// stb's outline (y up) as a path in font units with y down; every contour ends at its start.
render::Path ToPath(const stbtt_vertex* vertices, int count, float tolerance) {
  render::Path path;
  render::Point start, last;
  bool open = false;
  auto close = [&] {
    if (open && (last.x != start.x || last.y != start.y)) path.LineTo(start);
  };
  for (int i = 0; i < count; ++i) {
    const stbtt_vertex& v = vertices[i];
    const render::Point p{static_cast<float>(v.x), -static_cast<float>(v.y)};
    const render::Point c{static_cast<float>(v.cx), -static_cast<float>(v.cy)};
    if (v.type == STBTT_vmove) {
      close();
      path.MoveTo(p);
      start = p;
      open = true;
    } else if (!open) {
      continue;
    } else if (v.type == STBTT_vline) {
      path.LineTo(p);
    } else if (v.type == STBTT_vcurve) {
      path.QuadTo(c, p);
    } else if (v.type == STBTT_vcubic) {
      AddCubic(path, last, c, {static_cast<float>(v.cx1), -static_cast<float>(v.cy1)}, p,
               tolerance);
    }
    last = p;
  }
  close();
  return path;
}

class TrueTypeGlyphs final : public GlyphLoader {
 public:
  TrueTypeGlyphs(std::shared_ptr<const std::vector<uint8_t>> file, const Layout& layout,
                 const stbtt_fontinfo& info, float tolerance)
      : file_(std::move(file)),
        bytes_{file_->data(), file_->size()},
        layout_(layout),
        info_(info),
        tolerance_(tolerance) {}

  std::optional<Glyph> Load(uint16_t code) override {
    const int glyph = stbtt_FindGlyphIndex(&info_, code);
    if (glyph <= 0 || glyph >= layout_.num_glyphs || !OutlineReadable(glyph)) return std::nullopt;
    Glyph out;
    out.code = code;
    const int metric = std::min(glyph, layout_.long_metrics - 1);
    out.advance = TableBytes(bytes_, layout_.hmtx).U16(4 * static_cast<size_t>(metric));
    stbtt_vertex* vertices = nullptr;
    const int count = stbtt_GetGlyphShape(&info_, glyph, &vertices);
    out.outline = ToPath(vertices, count, tolerance_);
    stbtt_FreeShape(&info_, vertices);
    return out;
  }

  float Kerning(uint16_t left, uint16_t right) override {
    return static_cast<float>(stbtt_GetCodepointKernAdvance(&info_, left, right));
  }

 private:
  struct Budget {
    int visits = kMaxGlyphVisits;
    size_t points = kMaxPoints;
  };

  bool OutlineReadable(int glyph) const {
    if (!layout_.glyf.Present()) return CffGlyphReadable(glyph);
    Budget budget;
    return GlyphExtent(glyph, 0, budget).has_value();
  }

  bool CffGlyphReadable(int glyph) const {
    const auto index = static_cast<uint32_t>(glyph);
    if (index >= layout_.charstrings) return false;
    if (layout_.fd_select == 0) return true;
    const Bytes cff = TableBytes(bytes_, layout_.cff);
    const Bytes select = cff.Sub(layout_.fd_select, cff.size - layout_.fd_select);
    int dict = -1;
    if (select.U8(0) == 0) {
      if (select.Has(1 + index, 1)) dict = select.U8(1 + index);
    } else {
      uint32_t from = select.U16(3);
      for (size_t i = 0, at = 5; i < select.U16(1) && select.Has(at, 3); ++i, at += 3) {
        const uint32_t to = select.U16(at + 1);
        if (index >= from && index < to) {
          dict = select.U8(at);
          break;
        }
        from = to;
      }
    }
    return dict >= 0 && static_cast<uint32_t>(dict) < layout_.font_dicts;
  }

  // The largest coordinate magnitude stb's outline of `glyph` holds; nothing when stb would read
  // outside the glyph, nest too deep, or overflow its 16-bit coordinates.
  std::optional<double> GlyphExtent(int glyph, int depth, Budget& budget) const {
    if (glyph >= layout_.num_glyphs || --budget.visits < 0) return std::nullopt;
    const Bytes loca = TableBytes(bytes_, layout_.loca);
    const auto index = static_cast<size_t>(glyph);
    const size_t from = layout_.loca_format ? loca.U32(4 * index) : 2 * size_t{loca.U16(2 * index)};
    const size_t to =
        layout_.loca_format ? loca.U32(4 * index + 4) : 2 * size_t{loca.U16(2 * index + 2)};
    if (from == to) return 0.0;
    const Bytes g = TableBytes(bytes_, layout_.glyf).Sub(from, to > from ? to - from : 0);
    if (to < from || g.size < 10) return std::nullopt;
    const int contours = g.S16(0);
    if (contours > 0) return SimpleExtent(g, static_cast<size_t>(contours), budget);
    if (contours == 0) return 0.0;
    return CompositeExtent(g, depth, budget);
  }

  static std::optional<double> SimpleExtent(Bytes g, size_t contours, Budget& budget) {
    const size_t instructions = 10 + 2 * contours;
    if (!g.Has(instructions, 2)) return std::nullopt;
    int last = -1, last_start = 0;
    for (size_t i = 0; i < contours; ++i) {
      const int end = g.U16(10 + 2 * i);
      if (end <= last) return std::nullopt;  // stb needs rising contour ends
      last_start = last + 1;
      last = end;
    }
    const auto points = static_cast<size_t>(last) + 1;
    if (points > budget.points) return std::nullopt;
    budget.points -= points;
    size_t at = instructions + 2 + g.U16(instructions);
    std::vector<uint8_t> flags(points);
    uint8_t flag = 0, repeat = 0;
    for (size_t i = 0; i < points; ++i) {
      if (repeat == 0) {
        if (!g.Has(at, 1)) return std::nullopt;
        flag = g.U8(at++);
        if (flag & 8) {
          if (!g.Has(at, 1)) return std::nullopt;
          repeat = g.U8(at++);
        }
      } else {
        --repeat;
      }
      flags[i] = flag;
    }
    // stb looks one point past a contour that starts off the curve.
    if (!(flags[static_cast<size_t>(last_start)] & 1) && last_start == last) return std::nullopt;
    double extent = 0;
    for (const int axis : {0, 1}) {
      const uint8_t short_bit = axis ? 4 : 2, same_bit = axis ? 32 : 16;
      int32_t v = 0;
      for (const uint8_t f : flags) {
        if (f & short_bit) {
          if (!g.Has(at, 1)) return std::nullopt;
          const int d = g.U8(at++);
          v += (f & same_bit) ? d : -d;
        } else if (!(f & same_bit)) {
          if (!g.Has(at, 2)) return std::nullopt;
          v += g.S16(at);
          at += 2;
        }
        extent = std::max(extent, std::abs(static_cast<double>(static_cast<int16_t>(v))));
      }
    }
    return extent;
  }

  std::optional<double> CompositeExtent(Bytes g, int depth, Budget& budget) const {
    if (depth >= kMaxNesting) return std::nullopt;
    double extent = 0;
    size_t at = 10;
    for (bool more = true; more;) {
      if (!g.Has(at, 4)) return std::nullopt;
      const uint16_t flags = g.U16(at), component = g.U16(at + 2);
      at += 4;
      if (!(flags & 2)) return std::nullopt;  // stb places components by offset only
      const bool words = (flags & 1) != 0;
      if (!g.Has(at, words ? 4 : 2)) return std::nullopt;
      const double e = words ? g.S16(at) : static_cast<int8_t>(g.U8(at));
      const double f = words ? g.S16(at + 2) : static_cast<int8_t>(g.U8(at + 1));
      at += words ? 4 : 2;
      double a = 1, b = 0, c = 0, d = 1;
      const size_t scale_bytes = (flags & 8) ? 2 : (flags & 0x40) ? 4 : (flags & 0x80) ? 8 : 0;
      if (!g.Has(at, scale_bytes)) return std::nullopt;
      auto f2dot14 = [&](size_t k) { return g.S16(at + 2 * k) / 16384.0; };
      if (flags & 8) {
        a = d = f2dot14(0);
      } else if (flags & 0x40) {
        a = f2dot14(0);
        d = f2dot14(1);
      } else if (flags & 0x80) {
        a = f2dot14(0);
        b = f2dot14(1);
        c = f2dot14(2);
        d = f2dot14(3);
      }
      at += scale_bytes;
      const auto inner = GlyphExtent(component, depth + 1, budget);
      if (!inner) return std::nullopt;
      // stb maps x to hypot(a, b) * (a x + c y + e) and y to hypot(c, d) * (b x + d y + f).
      const double x = std::hypot(a, b) * ((std::abs(a) + std::abs(c)) * *inner + std::abs(e));
      const double y = std::hypot(c, d) * ((std::abs(b) + std::abs(d)) * *inner + std::abs(f));
      if (!(x < kMaxCoordinate && y < kMaxCoordinate)) return std::nullopt;
      extent = std::max({extent, x, y});
      more = (flags & 0x20) != 0;
    }
    return extent;
  }

  std::shared_ptr<const std::vector<uint8_t>> file_;
  Bytes bytes_;
  Layout layout_;
  stbtt_fontinfo info_;
  float tolerance_;
};

}  // namespace

std::optional<Font> FontFromTrueType(std::shared_ptr<const std::vector<uint8_t>> file,
                                     int face_index) {
  if (!file || file->empty() || file->size() > kMaxFileBytes) return std::nullopt;
  const Bytes bytes{file->data(), file->size()};
  Layout layout;
  if (!ReadDirectory(bytes, face_index, layout) || !CheckTables(bytes, layout)) {
    return std::nullopt;
  }
  stbtt_fontinfo info{};
  if (!stbtt_InitFont(&info, file->data(), static_cast<int>(layout.font_start))) {
    return std::nullopt;
  }
  // Kerning comes from the kern table, as Windows' kerning pairs do; stb's GPOS reader follows
  // offsets unchecked.
  info.gpos = 0;
  if (!layout.kern_usable) info.kern = 0;
  const auto map = static_cast<size_t>(static_cast<uint32_t>(info.index_map));
  if (map < layout.cmap.offset ||
      !CheckCharacterMap(TableBytes(bytes, layout.cmap), map - layout.cmap.offset)) {
    return std::nullopt;
  }
  Font font;
  SetMetrics(bytes, layout, font);
  font.has_layout = true;
  // Cubic curves become quadratics within about a 4000th of the em.
  const float tolerance = font.units_per_em / 4000;
  font.loader = std::make_shared<TrueTypeGlyphs>(std::move(file), layout, info, tolerance);
  return font;
}

}  // namespace lumen::text
