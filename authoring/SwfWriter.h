#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumen::authoring {

using Bytes = std::vector<uint8_t>;

// Writes bit fields most significant bit first, as SWF packs them, and plain little-endian numbers.
class BitWriter {
 public:
  void WriteUnsigned(uint32_t value, int bits);
  void WriteSigned(int32_t value, int bits) { WriteUnsigned(static_cast<uint32_t>(value), bits); }
  // Pads the current byte with zero bits.
  void Align();
  void WriteU8(uint8_t value);
  void WriteU16(uint16_t value);
  void WriteU32(uint32_t value);
  void WriteBytes(std::span<const uint8_t> bytes);
  void WriteString(std::string_view text);  // NUL-terminated
  // The smallest signed field width that holds every value.
  static int SignedBitsFor(std::initializer_list<int32_t> values);

  Bytes& bytes() {
    Align();
    return bytes_;
  }

 private:
  Bytes bytes_;
  uint8_t pending_ = 0;
  int pending_bits_ = 0;
};

// A bit-packed SWF rectangle in twips. `bits` forces the field width; by default the smallest.
void WriteRect(BitWriter& out, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
               std::optional<int> bits = std::nullopt);

// Appends one tag: the short form for bodies under 63 bytes unless `force_long`.
void WriteTag(Bytes& out, uint16_t code, std::span<const uint8_t> body, bool force_long = false);

struct MovieSpec {
  bool compressed = false;
  uint8_t version = 10;
  int32_t x_min = 0, x_max = 11000, y_min = 0, y_max = 8000;  // twips
  std::optional<int> rect_bits;                               // default: the smallest width
  uint16_t frame_rate = 24 << 8;                              // 8.8 fixed point
  uint16_t frame_count = 1;
  std::optional<int32_t> declared_length;  // default: the true uncompressed length
};

// A whole movie file: head and `body` (the tags), compressed after byte 8 when asked.
Bytes BuildMovie(const MovieSpec& spec, std::span<const uint8_t> body);

// zlib-compresses bytes (RFC 1950).
Bytes Deflate(std::span<const uint8_t> bytes, int level = 6);

// Tag codes the writers below emit.
enum TagCode : uint16_t {
  kTagEnd = 0,
  kTagShowFrame = 1,
  kTagDefineShape = 2,
  kTagPlaceObject = 4,
  kTagRemoveObject = 5,
  kTagDefineBits = 6,
  kTagJpegTables = 8,
  kTagSetBackgroundColor = 9,
  kTagDoAction = 12,
  kTagDefineBitsLossless = 20,
  kTagDefineBitsJpeg2 = 21,
  kTagDefineShape2 = 22,
  kTagPlaceObject2 = 26,
  kTagRemoveObject2 = 28,
  kTagDefineShape3 = 32,
  kTagDefineBitsJpeg3 = 35,
  kTagDefineBitsLossless2 = 36,
  kTagDefineSprite = 39,
  kTagFrameLabel = 43,
  kTagDefineMorphShape = 46,
  kTagPlaceObject3 = 70,
  kTagDefineShape4 = 83,
};

struct MatrixSpec {
  double a = 1, b = 0, c = 0, d = 1;  // ScaleX, RotateSkew0, RotateSkew1, ScaleY
  int32_t tx = 0, ty = 0;             // twips
};

// Multipliers in 8.8 fixed point (256 = 1.0) and additions in 0..255 units.
struct CxformSpec {
  int16_t mul_r = 256, mul_g = 256, mul_b = 256, mul_a = 256;
  int16_t add_r = 0, add_g = 0, add_b = 0, add_a = 0;
};

void WriteMatrix(BitWriter& out, const MatrixSpec& m);
void WriteCxform(BitWriter& out, const CxformSpec& cx, bool with_alpha);

struct Color {
  uint8_t r = 0, g = 0, b = 0, a = 255;
};
// RGB, or RGBA when `alpha`.
void WriteRgbOrRgba(BitWriter& out, Color c, bool alpha);

// Builds DefineShape 1-4 tags (and the edge lists of morph shapes) from styles and drawing
// commands in absolute twips.
class ShapeWriter {
 public:
  explicit ShapeWriter(int version = 3) : version_(version) { tables_.emplace_back(); }

  // Styles go into the current table (the first, or the one begun by NewStyles); the answer is
  // the 1-based index to select.
  int AddSolidFill(Color color);
  int AddLinearGradient(const MatrixSpec& m, std::initializer_list<std::pair<uint8_t, Color>> stops,
                        uint8_t spread_bits = 0);
  int AddBitmapFill(uint16_t bitmap_id, const MatrixSpec& m, uint8_t type = 0x41);
  int AddLineStyle(uint16_t width, Color color);
  // A raw fill style entry, for types the helpers do not cover.
  int AddRawFill(Bytes bytes);

  void NewStyles();
  // Selects styles for the following edges; -1 leaves a selection unchanged.
  void Select(int fill0, int fill1, int line = -1);
  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  void CurveTo(int32_t cx, int32_t cy, int32_t x, int32_t y);
  // A closed axis-aligned rectangle drawn clockwise from (x0, y0).
  void Rectangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1);

  // The whole tag; bounds in twips. `nonzero`: DefineShape4's winding flag.
  Bytes Tag(uint16_t id, int32_t x_min, int32_t x_max, int32_t y_min, int32_t y_max,
            bool nonzero = false) const;
  // Only the bit widths and records (the SHAPE structure of morph shapes), with `fill_bits` and
  // `line_bits` given.
  Bytes Records(int fill_bits, int line_bits) const;

 private:
  struct Table {
    std::vector<Bytes> fills, lines;
  };
  struct Op {
    enum Kind { Style, Line, Curve } kind;
    int fill0 = -1, fill1 = -1, line = -1;
    bool move = false;
    int new_table = -1;
    int32_t a = 0, b = 0, c = 0, d = 0;
  };
  void WriteTable(BitWriter& out, const Table& table) const;
  void WriteOps(BitWriter& out, int fill_bits, int line_bits) const;
  static int BitsFor(size_t count);

  int version_;
  std::vector<Table> tables_;
  std::vector<Op> ops_;
  int32_t pen_x_ = 0, pen_y_ = 0;
};

// One entry of PlaceObject3's filter list, in the file's units: sizes in stage pixels, the
// angle in radians. Colour matrices take `matrix` (4 rows of 4 factors and an offset).
struct FilterSpec {
  enum Kind : uint8_t { kDropShadow = 0, kBlur = 1, kGlow = 2, kBevel = 3, kColorMatrix = 6 };
  Kind kind = kBlur;
  Color color;   // the shadow or glow; a bevel's highlight
  Color shadow;  // a bevel's shadow
  double blur_x = 4, blur_y = 4;
  double angle = 0.785398163, distance = 4;
  double strength = 1;
  uint8_t passes = 1;
  bool inner = false, knockout = false, on_top = false;
  bool composite_source = true;  // the object is drawn with its shadow or glow
  std::array<float, 20> matrix{};
};

struct PlaceSpec {
  uint16_t depth = 1;
  bool move = false;
  std::optional<uint16_t> character;
  std::optional<MatrixSpec> matrix;
  std::optional<CxformSpec> cxform;
  std::optional<uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<uint16_t> clip_depth;
  std::optional<std::vector<FilterSpec>> filters;  // PlaceObject3 only; at most 255
  std::optional<uint8_t> blend;                    // PlaceObject3 only
  std::optional<bool> cache_as_bitmap;
};

void PlaceObject(Bytes& out, uint16_t character, uint16_t depth, const MatrixSpec& m = {});
void PlaceObject2(Bytes& out, const PlaceSpec& spec);
void PlaceObject3(Bytes& out, const PlaceSpec& spec);
void RemoveObject(Bytes& out, uint16_t character, uint16_t depth);
void RemoveObject2(Bytes& out, uint16_t depth);
void ShowFrame(Bytes& out);
void End(Bytes& out);
void SetBackgroundColor(Bytes& out, Color color);
void FrameLabel(Bytes& out, std::string_view label);
// A DefineButton2 record: the states it shows in (bits: 1 up, 2 over, 4 down, 8 hit).
struct ButtonRecordSpec {
  uint8_t states = 0x0F;
  uint16_t character = 0;
  uint16_t depth = 1;
  MatrixSpec matrix;
};
// A condition record: the transitions (and key code << 9) it answers, and its actions.
struct ButtonConditionSpec {
  uint16_t conditions = 0;
  Bytes actions;
};
void DefineButton2(Bytes& out, uint16_t id, std::span<const ButtonRecordSpec> records,
                   std::span<const ButtonConditionSpec> conditions = {}, bool menu = false);
// ExportAssets with one symbol: scripts find character `id` by `name`.
void ExportAsset(Bytes& out, uint16_t id, std::string_view name);
// DefineScalingGrid: the centre of `id`'s scale-9 grid, twips.
void DefineScalingGrid(Bytes& out, uint16_t id, int32_t x_min, int32_t x_max, int32_t y_min,
                       int32_t y_max);
// ImportAssets with one symbol: the character exported as `name` by the movie file `url`
// becomes `id` here.
void ImportAsset(Bytes& out, std::string_view url, uint16_t id, std::string_view name);
void DoAction(Bytes& out, std::span<const uint8_t> actions);
// DefineSprite around `tags` (which should end with an End tag).
void DefineSprite(Bytes& out, uint16_t id, uint16_t frame_count, std::span<const uint8_t> tags);
// DefineBitsLossless/Lossless2 with the given uncompressed payload (palette and rows as stored).
void DefineBitsLossless(Bytes& out, uint16_t id, bool alpha, uint8_t format, uint16_t width,
                        uint16_t height, std::span<const uint8_t> payload,
                        uint8_t palette_entries = 0);

}  // namespace lumen::authoring
