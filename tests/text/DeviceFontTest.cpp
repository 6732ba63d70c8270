#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "tests/movie/MovieTestUtil.h"
#include "text/DeviceFonts.h"
#include "text/TrueTypeFont.h"

namespace lumen::text {
namespace {

using Bytes = std::vector<uint8_t>;

// Twice the signed area of each contour.
std::vector<double> ContourAreas(const render::Path& path) {
  std::vector<double> areas;
  render::Path contour;
  size_t p = 0;
  auto flush = [&] {
    if (!contour.Empty()) areas.push_back(movie::testing::SignedArea(contour));
    contour = {};
  };
  for (const render::PathVerb verb : path.verbs) {
    if (verb == render::PathVerb::MoveTo) flush();
    contour.verbs.push_back(verb);
    const size_t n = verb == render::PathVerb::QuadTo ? 2 : 1;
    contour.points.insert(contour.points.end(), path.points.begin() + p,
                          path.points.begin() + p + n);
    p += n;
  }
  flush();
  return areas;
}

// The system's default font file: Liberation or DejaVu Sans natively, GDI's pick on Windows.
std::shared_ptr<const Bytes> DefaultFontFile() {
  return SystemFontFiles()->Load("", false, false);
}

void Put(Bytes& out, uint64_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A font file of the given tables (tags in order), each at a four-byte boundary.
Bytes Sfnt(uint32_t version, const std::vector<std::pair<std::string, Bytes>>& tables) {
  Bytes out;
  Put(out, version, 4);
  Put(out, static_cast<uint32_t>(tables.size()), 2);
  Put(out, 0, 6);
  size_t at = 12 + 16 * tables.size();
  for (const auto& [tag, bytes] : tables) {
    out.insert(out.end(), tag.begin(), tag.end());
    Put(out, 0, 4);
    Put(out, static_cast<uint32_t>(at), 4);
    Put(out, static_cast<uint32_t>(bytes.size()), 4);
    at += (bytes.size() + 3) & ~size_t{3};
  }
  for (const auto& [tag, bytes] : tables) {
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize((out.size() + 3) & ~size_t{3});
  }
  return out;
}

// A CFF font of 1000 units per em whose 'O' (glyph 1, 600 wide) is a line up from (100, 0) to
// (100, 600) and a cubic back through (400, 600) and (400, 0).
Bytes CubicFont() {
  auto number = [](Bytes& out, int v) {
    if (v >= -107 && v <= 107) {
      out.push_back(static_cast<uint8_t>(v + 139));
    } else {
      const int m = (v > 0 ? v : -v) - 108;
      out.push_back(static_cast<uint8_t>((v > 0 ? 247 : 251) + m / 256));
      out.push_back(static_cast<uint8_t>(m % 256));
    }
  };
  Bytes outline;
  for (int v : {100, 0}) number(outline, v);
  outline.push_back(21);  // rmoveto
  for (int v : {0, 600}) number(outline, v);
  outline.push_back(5);  // rlineto
  for (int v : {300, 0, 0, -600, -300, 0}) number(outline, v);
  outline.push_back(8);   // rrcurveto
  outline.push_back(14);  // endchar
  // Header, name INDEX "A", top DICT INDEX (CharStrings at 25), empty string and subr INDEXes.
  Bytes cff = {1, 0, 4, 1, 0, 1, 1, 1, 2, 'A', 0, 1, 1, 1, 7, 29, 0, 0, 0, 25, 17, 0, 0, 0, 0};
  Bytes charstrings = {0, 2, 1, 1, 2, static_cast<uint8_t>(2 + outline.size()), 14};
  cff.insert(cff.end(), charstrings.begin(), charstrings.end());
  cff.insert(cff.end(), outline.begin(), outline.end());
  Bytes head(54), hhea(36), maxp = {0, 0, 0x50, 0, 0, 2}, hmtx = {1, 0, 0, 0, 2, 0x58, 0, 0};
  auto set16 = [](Bytes& table, size_t at, int v) {
    table[at] = static_cast<uint8_t>(v >> 8);
    table[at + 1] = static_cast<uint8_t>(v);
  };
  set16(head, 18, 1000);
  set16(hhea, 4, 800);
  set16(hhea, 6, -200);
  set16(hhea, 34, 2);
  // One Windows Unicode map of format 4: 'O' to glyph 1, and the closing segment.
  Bytes cmap;
  const int o = 'O';
  for (int v : {0, 1, 3, 1, 0, 12, 4, 32, 0, 4, 4, 1, 0, o, 0xFFFF, 0, o, 0xFFFF, 1 - o, 1, 0, 0}) {
    Put(cmap, static_cast<uint32_t>(v), 2);
  }
  return Sfnt(0x4F54544F, {{"CFF ", cff},
                           {"cmap", cmap},
                           {"head", head},
                           {"hhea", hhea},
                           {"hmtx", hmtx},
                           {"maxp", maxp}});
}

double InkArea(const Font& font, uint16_t code) {
  double sum = 0;
  for (const double area : ContourAreas(font.Find(code)->outline)) sum += area;
  return std::abs(sum);
}

TEST(DeviceFonts, GenericNamesResolveToInstalledFontsSharedByFile) {
  DeviceFonts fonts;
  const Font* sans = fonts.Find("_sans", false, false);
  ASSERT_NE(sans, nullptr);
  EXPECT_TRUE(sans->has_layout);
  EXPECT_FALSE(sans->name.empty());
  EXPECT_GT(sans->units_per_em, 0);
  EXPECT_GT(sans->ascent, 0);
  EXPECT_GT(sans->descent, 0);
  EXPECT_EQ(fonts.Find("ARIAL", false, false), sans);
  EXPECT_EQ(fonts.Find("No Such Family", false, false), sans);
  // Asked for the installed family itself, a name not installed has no stand-in.
  EXPECT_EQ(fonts.FindInstalled("No Such Family", false, false), nullptr);
  EXPECT_EQ(fonts.FindInstalled("_sans", false, false), sans);
  // The typewriter face is monospaced; the sans serif one is not.
  const Font* mono = fonts.Find("_typewriter", false, false);
  ASSERT_NE(mono, nullptr);
  EXPECT_EQ(mono->Find('i')->advance, mono->Find('W')->advance);
  EXPECT_LT(sans->Find('i')->advance, sans->Find('W')->advance);
  const Font* serif = fonts.Find("_serif", false, false);
  ASSERT_NE(serif, nullptr);
  EXPECT_NE(serif, sans);
}

TEST(DeviceFonts, GlyphsAreOutlinesInFontUnitsWithYDown) {
  DeviceFonts fonts;
  const Font& font = *fonts.Find("_sans", false, false);
  const Glyph* o = font.Find('o');
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->code, 'o');
  EXPECT_GT(o->advance, 0);
  EXPECT_LT(o->advance, font.units_per_em);
  // The ring and its hole wind against each other, so the non-zero fill leaves the hole open.
  const std::vector<double> areas = ContourAreas(o->outline);
  ASSERT_EQ(areas.size(), 2u);
  EXPECT_LT(areas[0] * areas[1], 0);
  // Above the baseline is negative y: an 'o' reaches about half the em up, and hardly below.
  float top = 0, bottom = 0;
  for (const render::Point p : o->outline.points) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  EXPECT_LT(top, -font.units_per_em / 3);
  EXPECT_LT(bottom, font.units_per_em / 20);

  const Glyph* space = font.Find(' ');
  ASSERT_NE(space, nullptr);
  EXPECT_TRUE(space->outline.Empty());
  EXPECT_GT(space->advance, 0);
  EXPECT_EQ(font.Find(0xE000), nullptr);
  EXPECT_LT(font.Kerning('A', 'V'), 0);
  EXPECT_EQ(font.Kerning('o', 'o'), 0);
}

TEST(DeviceFonts, BoldIsItsOwnHeavierFace) {
  DeviceFonts fonts;
  const Font* regular = fonts.Find("_sans", false, false);
  const Font* bold = fonts.Find("_sans", true, false);
  ASSERT_NE(regular, nullptr);
  ASSERT_NE(bold, nullptr);
  ASSERT_NE(bold, regular);
  EXPECT_TRUE(bold->bold);
  EXPECT_FALSE(regular->bold);
  EXPECT_GT(bold->Find('A')->advance, regular->Find('A')->advance);
  EXPECT_GT(InkArea(*bold, 'A'), 1.2 * InkArea(*regular, 'A'));
}

// Knows one family in its regular style only, and counts what it is asked for.
class OneFamily final : public FontFiles {
 public:
  OneFamily(std::string family, std::shared_ptr<const Bytes> file)
      : family_(std::move(family)), file_(std::move(file)) {}
  std::shared_ptr<const Bytes> Load(std::string_view family, bool bold, bool italic) override {
    asked.push_back(std::string(family) + (bold ? "+b" : "") + (italic ? "+i" : ""));
    return family == family_ && !bold && !italic ? file_ : nullptr;
  }
  std::vector<std::string> asked;

 private:
  std::string family_;
  std::shared_ptr<const Bytes> file_;
};

TEST(DeviceFonts, NamesFallBackThroughStyleThenStandIns) {
  auto file = DefaultFontFile();
  ASSERT_NE(file, nullptr);
  auto owned = std::make_unique<OneFamily>("Tahoma", file);
  OneFamily& files = *owned;
  DeviceFonts fonts(std::move(owned));
  const Font* font = fonts.Find("_serif", true, false);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(files.asked,
            (std::vector<std::string>{"Times New Roman+b", "Times New Roman", "Liberation Serif+b",
                                      "Liberation Serif", "Arial+b", "Arial", "Liberation Sans+b",
                                      "Liberation Sans", "Tahoma+b", "Tahoma"}));
  files.asked.clear();
  EXPECT_EQ(fonts.Find("_SERIF", true, false), font);
  EXPECT_TRUE(files.asked.empty());
  EXPECT_EQ(fonts.Find("Tahoma", false, false), font);
  EXPECT_EQ(fonts.Find("_sans", false, true), font);  // another request, the same file

  DeviceFonts none(std::make_unique<OneFamily>("", nullptr));
  EXPECT_EQ(none.Find("_sans", false, false), nullptr);
}

TEST(TrueTypeFont, DamagedFilesGiveNoFont) {
  const auto file = DefaultFontFile();
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(FontFromTrueType(file));
  EXPECT_FALSE(FontFromTrueType(file, 1));  // a single font has no second face
  auto cut = [&](size_t n) {
    return FontFromTrueType(std::make_shared<const Bytes>(file->begin(), file->begin() + n));
  };
  EXPECT_FALSE(cut(200));
  EXPECT_FALSE(cut(file->size() / 2));
  Bytes noise(4096);
  uint32_t seed = 12345;
  for (uint8_t& b : noise) {
    seed = seed * 1664525 + 1013904223;
    b = static_cast<uint8_t>(seed >> 24);
  }
  EXPECT_FALSE(FontFromTrueType(std::make_shared<const Bytes>(noise)));
  // A collection whose one face lies past its end.
  const Bytes collection = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0x10, 0};
  EXPECT_FALSE(FontFromTrueType(std::make_shared<const Bytes>(collection)));
  EXPECT_FALSE(FontFromTrueType(nullptr));
}

TEST(TrueTypeFont, CollectionFacesAreFoundByIndex) {
  // The font behind a two-face collection header: both faces are the same font.
  const auto file = DefaultFontFile();
  ASSERT_NE(file, nullptr);
  Bytes collection = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 20, 0, 0, 0, 20};
  const size_t font_at = collection.size();
  collection.insert(collection.end(), file->begin(), file->end());
  // Table offsets in a collection count from the start of the file.
  const size_t tables = static_cast<size_t>((*file)[4] << 8 | (*file)[5]);
  for (size_t i = 0; i < tables; ++i) {
    uint8_t* offset = &collection[font_at + 12 + 16 * i + 8];
    uint32_t v = uint32_t{offset[0]} << 24 | uint32_t{offset[1]} << 16 | offset[2] << 8 | offset[3];
    v += static_cast<uint32_t>(font_at);
    for (int k = 0; k < 4; ++k) offset[k] = static_cast<uint8_t>(v >> (24 - 8 * k));
  }
  const auto bytes = std::make_shared<const Bytes>(collection);
  const auto face = FontFromTrueType(bytes, 1);
  ASSERT_TRUE(face);
  EXPECT_EQ(ContourAreas(face->Find('o')->outline).size(), 2u);
  EXPECT_FALSE(FontFromTrueType(bytes, 2));
}

TEST(TrueTypeFont, CffCubicsBecomeCloseQuadratics) {
  const auto font = FontFromTrueType(std::make_shared<const Bytes>(CubicFont()));
  ASSERT_TRUE(font);
  EXPECT_EQ(font->units_per_em, 1000);
  EXPECT_EQ(font->ascent, 800);
  EXPECT_EQ(font->descent, 200);
  EXPECT_EQ(font->Find('X'), nullptr);
  const Glyph* o = font->Find('O');
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->advance, 600);
  const render::Path& path = o->outline;
  ASSERT_GE(path.verbs.size(), 4u);
  EXPECT_EQ(movie::testing::CountMoves(path), 1u);
  EXPECT_EQ(path.points.front().x, path.points.back().x);
  EXPECT_EQ(path.points.front().y, path.points.back().y);
  // Each quadratic stays on the cubic (y down) within a unit, checked at its quarter points.
  auto cubic = [](double t) {
    const double u = 1 - t;
    return render::Point{static_cast<float>(100 * u * u * u + 1200 * u * t + 100 * t * t * t),
                         static_cast<float>(-600 * u * u * u - 1800 * u * u * t)};
  };
  size_t quads = 0, p = 2;
  for (size_t v = 2; v < path.verbs.size(); ++v, p += 2) {
    ASSERT_EQ(path.verbs[v], render::PathVerb::QuadTo);
    const render::Point a = path.points[p - 1], c = path.points[p], b = path.points[p + 1];
    for (const double t : {0.25, 0.75}) {
      const double u = 1 - t;
      const double x = u * u * a.x + 2 * u * t * c.x + t * t * b.x;
      const double y = u * u * a.y + 2 * u * t * c.y + t * t * b.y;
      double nearest = 1e9;
      for (int k = 0; k <= 4000; ++k) {
        const render::Point q = cubic(k / 4000.0);
        nearest = std::min(nearest, std::hypot(q.x - x, q.y - y));
      }
      EXPECT_LT(nearest, 1) << "quadratic " << quads << " at " << t;
    }
    ++quads;
  }
  EXPECT_GE(quads, 2u);
  EXPECT_LE(quads, 8u);
}

}  // namespace
}  // namespace lumen::text
