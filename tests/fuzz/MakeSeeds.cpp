// make_fuzz_seeds TARGET FOLDER: writes a few valid inputs for a fuzz target to start from.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SoundWriter.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "tests/support/TinyPe.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

using lumen::authoring::Bytes;

void Save(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
  std::ofstream out(folder / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<Bytes> Movies() {
  const Bytes body = {0x40, 0x00, 0x00, 0x00};
  std::vector<Bytes> movies;
  for (bool compressed : {false, true}) {
    lumen::authoring::MovieSpec spec;
    spec.compressed = compressed;
    movies.push_back(lumen::authoring::BuildMovie(spec, body));
    spec.x_min = spec.x_max = spec.y_min = spec.y_max = 0;
    movies.push_back(lumen::authoring::BuildMovie(spec, body));
  }
  return movies;
}

namespace aw = lumen::authoring;

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// Small pictures in the formats the bitmap tags carry: JPEG and PNG.
std::vector<Bytes> Pictures() {
  std::vector<uint8_t> rgba(8 * 8 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7);
  Bytes jpeg, png;
  stbi_write_jpg_to_func(AppendBytes, &jpeg, 8, 8, 3, rgba.data(), 90);
  stbi_write_png_to_func(AppendBytes, &png, 8, 8, 4, rgba.data(), 8 * 4);
  return {jpeg, png};
}

// Movies using most of what the parser reads: shapes of each version with gradient and bitmap
// fills, a sprite, a mask, blend modes, removal, labels and a stop.
std::vector<Bytes> RichMovies() {
  Bytes tags;
  aw::SetBackgroundColor(tags, {10, 20, 30, 255});
  const uint8_t pixels[] = {0, 255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 0, 9, 9, 9};
  aw::DefineBitsLossless(tags, 1, false, 5, 2, 2, pixels);
  const Bytes jpeg = Pictures()[0];
  Bytes jpeg_tag = {2, 0};
  jpeg_tag.insert(jpeg_tag.end(), jpeg.begin(), jpeg.end());
  aw::WriteTag(tags, aw::kTagDefineBitsJpeg2, jpeg_tag, true);
  for (int version = 1; version <= 4; ++version) {
    aw::ShapeWriter shape(version);
    const int solid = shape.AddSolidFill({255, 0, 0, 128});
    const int gradient = shape.AddLinearGradient({0.1, 0, 0, 0.1, 0, 0},
                                                 {{0, {0, 0, 0, 255}}, {255, {255, 255, 255, 0}}});
    const int bitmap = shape.AddBitmapFill(1, {20, 0, 0, 20, 0, 0});
    const int line = shape.AddLineStyle(20, {0, 0, 255, 255});
    shape.Select(solid, gradient, line);
    shape.Rectangle(0, 0, 400, 300);
    shape.Select(-1, bitmap, 0);
    shape.MoveTo(0, 0);
    shape.CurveTo(200, -100, 400, 0);
    shape.LineTo(0, 0);
    shape.NewStyles();
    shape.Select(-1, shape.AddSolidFill({0, 255, 0, 255}));
    shape.Rectangle(10, 10, 50, 50);
    const Bytes tag =
        shape.Tag(static_cast<uint16_t>(10 + version), 0, 400, -100, 300, version == 4);
    tags.insert(tags.end(), tag.begin(), tag.end());
  }
  Bytes sprite;
  aw::PlaceObject(sprite, 11, 1);
  aw::ShowFrame(sprite);
  aw::PlaceSpec move;
  move.depth = 1;
  move.move = true;
  move.matrix = aw::MatrixSpec{1, 0.5, -0.5, 1, 100, 100};
  aw::PlaceObject2(sprite, move);
  aw::ShowFrame(sprite);
  aw::End(sprite);
  aw::DefineSprite(tags, 20, 2, sprite);
  aw::FrameLabel(tags, "start");
  aw::PlaceSpec mask;
  mask.depth = 1;
  mask.character = 12;
  mask.clip_depth = 3;
  aw::PlaceObject2(tags, mask);
  aw::PlaceSpec clip;
  clip.depth = 2;
  clip.character = 20;
  clip.cxform = aw::CxformSpec{128, 256, 256, 200, 10, 0, 0, 0};
  clip.name = "clip";
  aw::PlaceObject3(tags, clip);
  aw::PlaceSpec blended;
  blended.depth = 4;
  blended.character = 13;
  blended.blend = 3;
  blended.cache_as_bitmap = true;
  aw::PlaceObject3(tags, blended);
  aw::PlaceObject(tags, 2, 5);
  aw::ShowFrame(tags);
  aw::RemoveObject2(tags, 4);
  const uint8_t stop[] = {0x07, 0x00};
  aw::DoAction(tags, stop);
  aw::ShowFrame(tags);
  aw::End(tags);
  std::vector<Bytes> movies;
  for (bool compressed : {false, true}) {
    aw::MovieSpec spec;
    spec.compressed = compressed;
    spec.frame_count = 2;
    movies.push_back(aw::BuildMovie(spec, tags));
  }
  return movies;
}

// Inputs in the layout BitmapDecoderFuzz reads: a selector byte, a split byte, then data.
std::vector<Bytes> DecoderInputs() {
  std::vector<Bytes> inputs;
  for (const Bytes& picture : Pictures()) {
    Bytes input = {0, 0};
    input.insert(input.end(), picture.begin(), picture.end());
    inputs.push_back(input);
  }
  const Bytes plane = aw::Deflate(Bytes(64, 0x80));
  Bytes with_alpha = {1, 0};
  const Bytes jpeg = Pictures()[0];
  with_alpha.insert(with_alpha.end(), jpeg.begin(), jpeg.end());
  with_alpha.insert(with_alpha.end(), plane.begin(), plane.end());
  with_alpha[1] = static_cast<uint8_t>(jpeg.size() * 256 / (with_alpha.size() - 2));
  inputs.push_back(with_alpha);
  for (uint8_t format : {3, 4, 5}) {
    Bytes lossless = {2, format, 4, 0, 3, 0, 1, 1};
    const Bytes packed = aw::Deflate(Bytes(64, 0x31));
    lossless.insert(lossless.end(), packed.begin(), packed.end());
    inputs.push_back(lossless);
  }
  return inputs;
}

// Action lists for ActionFuzz (it adds the End action): values and conversions, branches,
// functions, objects and arrays, and the methods and properties of the clip named "clip".
std::vector<Bytes> ActionLists() {
  using aw::ActionWriter;
  using S = std::string;
  std::vector<Bytes> lists;
  ActionWriter values;
  values.Push({S("a"), 1.5, S("2")}).Op(aw::kAdd2).Op(aw::kSetVariable);
  values.Push({S("a")}).Op(aw::kGetVariable).Op(aw::kTrace);
  values.Push({S("b"), 7.0, 0.0}).Op(aw::kDivide).Op(aw::kSetVariable);
  values.Push({S("b")}).Op(aw::kGetVariable).Push({true, aw::Null{}}).Op(aw::kEquals2);
  values.Op(aw::kAdd2).Op(aw::kTrace);
  lists.push_back(values.Body());

  ActionWriter loop;
  loop.Push({S("i"), 0.0}).Op(aw::kSetVariable).Label("top");
  loop.Push({S("i")}).Op(aw::kGetVariable).Push({5.0}).Op(aw::kLess2).Op(aw::kNot).If("done");
  loop.Push({S("i"), S("i")}).Op(aw::kGetVariable).Op(aw::kIncrement).Op(aw::kSetVariable);
  loop.Jump("top").Label("done");
  lists.push_back(loop.Body());

  ActionWriter square;
  square.Push({aw::Register{1}, aw::Register{1}}).Op(aw::kMultiply).Op(aw::kReturn);
  ActionWriter functions;
  functions.DefineFunction("square", 1, square);
  functions.Push({3.0, 1.0, S("square")}).Op(aw::kCallFunction).Op(aw::kTrace);
  lists.push_back(functions.Body());

  ActionWriter objects;
  objects.Push({S("o"), S("x"), 1.0, S("y"), S("two"), 2.0}).Op(aw::kInitObject);
  objects.Op(aw::kSetVariable);
  objects.Push({3.0, 2.0, 1.0, 3.0}).Op(aw::kInitArray).StoreRegister(0).Op(aw::kPop);
  objects.Push({aw::Register{0}, S("length")}).Op(aw::kGetMember).Op(aw::kTrace);
  objects.Push({4.0, 1.0, aw::Register{0}, S("push")}).Op(aw::kCallMethod).Op(aw::kPop);
  objects.Push({0.0, S("Date")}).Op(aw::kNewObject).Op(aw::kTrace);
  lists.push_back(objects.Body());

  ActionWriter fade;
  fade.Push({S("this")}).Op(aw::kGetVariable).Push({S("_alpha")});
  fade.Push({S("this")}).Op(aw::kGetVariable).Push({S("_alpha")}).Op(aw::kGetMember);
  fade.Push({10.0}).Op(aw::kSubtract).Op(aw::kSetMember);
  ActionWriter clip;
  clip.Push({S("clip")}).Op(aw::kGetVariable).Push({S("onEnterFrame")});
  clip.DefineFunction("", 0, fade).Op(aw::kSetMember);
  clip.Push({2.0, 1.0, S("clip")}).Op(aw::kGetVariable).Push({S("gotoAndStop")});
  clip.Op(aw::kCallMethod).Op(aw::kPop);
  clip.Push({S("clip"), 0.0, 200.0}).Op(aw::kSetProperty);
  clip.Push({S("clip"), 4.0}).Op(aw::kGetProperty).Op(aw::kTrace);
  clip.Push({S("_root")}).Op(aw::kGetVariable).Push({S("_currentframe")}).Op(aw::kGetMember);
  clip.Op(aw::kTrace).Op(aw::kStop);
  lists.push_back(clip.Body());
  return lists;
}

uint32_t Big32(const Bytes& b, size_t at) {
  return uint32_t{b.at(at)} << 24 | uint32_t{b.at(at + 1)} << 16 | uint32_t{b.at(at + 2)} << 8 |
         b.at(at + 3);
}
uint16_t Big16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b.at(at) << 8 | b.at(at + 1));
}
void PutBig(Bytes& b, size_t at, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
}

// An installed font cut down to its first `glyphs` glyphs and the tables the font reader uses,
// with counts, metrics and glyph data shortened to match; table offsets start at `base`.
Bytes CutFont(const Bytes& font, int glyphs, size_t base) {
  std::map<std::string, Bytes> tables;
  for (size_t i = 0, n = Big16(font, 4); i < n; ++i) {
    const size_t record = 12 + 16 * i;
    const std::string tag(font.begin() + record, font.begin() + record + 4);
    const size_t offset = Big32(font, record + 8), length = Big32(font, record + 12);
    if (offset + length > font.size()) return {};
    tables[tag] = Bytes(font.begin() + offset, font.begin() + offset + length);
  }
  for (const char* tag : {"head", "hhea", "maxp", "hmtx", "loca", "glyf", "cmap"}) {
    if (!tables.count(tag)) return {};
  }
  for (auto it = tables.begin(); it != tables.end();) {
    static const std::string keep[] = {"OS/2", "cmap", "glyf", "head", "hhea",
                                       "hmtx", "kern", "loca", "maxp", "name"};
    it = std::find(std::begin(keep), std::end(keep), it->first) == std::end(keep) ? tables.erase(it)
                                                                                  : std::next(it);
  }
  const size_t count = std::min<size_t>(static_cast<size_t>(glyphs), Big16(tables["maxp"], 4));
  const size_t metrics = std::min<size_t>(Big16(tables["hhea"], 34), count);
  PutBig(tables["maxp"], 4, static_cast<uint32_t>(count), 2);
  PutBig(tables["hhea"], 34, static_cast<uint32_t>(metrics), 2);
  tables["hmtx"].resize(4 * metrics + 2 * (count - metrics));
  const bool long_loca = Big16(tables["head"], 50) != 0;
  Bytes& loca = tables["loca"];
  loca.resize((count + 1) * (long_loca ? 4 : 2));
  tables["glyf"].resize(long_loca ? Big32(loca, 4 * count) : 2 * size_t{Big16(loca, 2 * count)});
  Bytes out(12 + 16 * tables.size());
  PutBig(out, 0, 0x00010000, 4);
  PutBig(out, 4, static_cast<uint32_t>(tables.size()), 2);
  size_t record = 12;
  for (const auto& [tag, bytes] : tables) {
    std::copy(tag.begin(), tag.end(), out.begin() + static_cast<std::ptrdiff_t>(record));
    PutBig(out, record + 8, static_cast<uint32_t>(base + out.size()), 4);
    PutBig(out, record + 12, static_cast<uint32_t>(bytes.size()), 4);
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize((out.size() + 3) & ~size_t{3});
    record += 16;
  }
  return out;
}

// MPEG-1 layer III frames at 128 kbps, 44.1 kHz, stereo, with empty side information: they
// decode to silence, and give the fuzzer real headers to start from.
Bytes SilentMp3Frames() {
  Bytes frames;
  for (int i = 0; i < 3; ++i) {
    Bytes frame(417, 0);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = 0x90;
    frame[3] = 0x00;
    frames.insert(frames.end(), frame.begin(), frame.end());
  }
  return frames;
}

// A movie of sound: a PCM event sound started on two frames, once with loops and points, and an
// ADPCM stream with a block on each frame.
Bytes SoundMovie() {
  namespace aw = lumen::authoring;
  Bytes tags;
  Bytes pcm(2000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 7);
  aw::DefineSound(tags, 1, aw::SoundFormatByte(3, 1, true, false), 1000, pcm);
  aw::SoundStreamHead(tags, aw::SoundFormatByte(1, 2, true, true), 918);
  aw::StartSound(tags, 1);
  for (int f = 0; f < 3; ++f) {
    aw::SoundStreamBlock(tags, Bytes{0x80, 0x12, 0x34, 0x05, 0x67, 0x89, 0x0A, 0xBC, 0xDE});
    aw::StartSound(tags, 1, {false, f == 1, 3, 100, 900});
    aw::ShowFrame(tags);
  }
  aw::End(tags);
  aw::MovieSpec spec;
  spec.frame_count = 3;
  return aw::BuildMovie(spec, tags);
}

// A movie of buttons: a push button and a menu button over the stage's middle, with conditions
// for the pointer and a key, colours from DefineButtonCxform and a sound on roll over.
Bytes ButtonMovie() {
  Bytes tags;
  aw::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 0, 255, 255}));
  shape.Rectangle(0, 0, 4000, 4000);
  const Bytes square = shape.Tag(1, 0, 4000, 0, 4000);
  tags.insert(tags.end(), square.begin(), square.end());
  Bytes pcm(400);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 5);
  aw::DefineSound(tags, 2, aw::SoundFormatByte(3, 1, true, false), 200, pcm);
  const aw::ButtonRecordSpec records[] = {
      {0x01, 1, 1, {}}, {0x06, 1, 2, {2, 0, 0, 2, 0, 0}}, {0x08, 1, 3, {1, 0, 0, 1, 100, 100}}};
  aw::ActionWriter go;
  go.GotoFrame(1);
  aw::ActionWriter trace;
  trace.Push({std::string("key")}).Op(aw::kTrace);
  const aw::ButtonConditionSpec conditions[] = {{0x0001 | 0x0008, go.Finish()},
                                                {0x0040 | 0x0100, Bytes{0x07, 0x00}},
                                                {static_cast<uint16_t>('k' << 9), trace.Finish()}};
  aw::DefineButton2(tags, 10, records, conditions);
  aw::DefineButton2(tags, 11, records, conditions, true);
  const Bytes cxform = {10, 0, 0x68, 0x80, 0x40, 0x10, 0x00};  // id 10: red halved
  aw::WriteTag(tags, 23, cxform);
  const Bytes sounds = {11, 0, 0, 0, 2, 0, 0x04, 2, 0, 0, 0, 0, 0};  // id 11: roll over loops twice
  aw::WriteTag(tags, 17, sounds);
  for (uint16_t id : {10, 11}) {
    aw::PlaceSpec place;
    place.depth = id;
    place.character = id;
    place.matrix = aw::MatrixSpec{1, 0, 0, 1, (id - 10) * 2000 + 3000, 3000};
    place.name = "b" + std::to_string(id);
    aw::PlaceObject2(tags, place);
  }
  aw::ShowFrame(tags);
  aw::ShowFrame(tags);
  aw::End(tags);
  aw::MovieSpec spec;
  spec.version = 6;
  spec.frame_count = 2;
  return aw::BuildMovie(spec, tags);
}

// A movie of text: a font of two glyphs, static text in two colours, and fields of plain and
// HTML text, one of them bound to a variable.
Bytes TextMovie() {
  Bytes tags;
  aw::FontSpec font;
  font.name = "Boxes";
  font.ascent = 16384;
  font.descent = 4096;
  for (uint16_t code : {uint16_t{'A'}, uint16_t{'O'}}) {
    aw::GlyphSpec glyph;
    glyph.code = code;
    glyph.advance = 20480;
    glyph.outline.Select(0, 1);
    glyph.outline.Rectangle(0, -20480, 20480, 0);
    if (code == 'O') {
      glyph.outline.Select(1, 0);
      glyph.outline.Rectangle(5120, -15360, 15360, -5120);
    }
    font.glyphs.push_back(std::move(glyph));
  }
  aw::DefineFont3(tags, font);
  aw::TextRunSpec run;
  run.font = 1;
  run.color = aw::Color{200, 0, 0, 255};
  run.x = 0;
  run.y = 240;
  run.glyphs = {{0, 240}, {1, 240}};
  aw::TextRunSpec second = run;
  second.color = aw::Color{0, 0, 200, 128};
  second.y = 500;
  aw::DefineText(tags, 2, {}, {run, second}, true);
  aw::EditTextSpec plain;
  plain.id = 3;
  plain.font = 1;
  plain.flags = 0x0100 | 0x0040 | 0x0020 | 0x0800;  // outlines, wrap, multiline, border
  plain.align = 2;
  plain.variable = "caption";
  plain.text = "AO OA AAAA";
  aw::DefineEditText(tags, plain);
  aw::EditTextSpec html = plain;
  html.id = 4;
  html.flags = 0x0100 | 0x0200 | 0x4000;  // outlines, HTML, auto-size
  html.variable.clear();
  html.text = "<p align='right'><b>A</b><font size='+3' color='#ff0000'>O&amp;</font></p><br>A";
  aw::DefineEditText(tags, html);
  for (uint16_t id = 2; id <= 4; ++id) {
    aw::PlaceSpec place;
    place.depth = id;
    place.character = id;
    place.matrix = aw::MatrixSpec{1, 0, 0, 1, 100 * id, 50 * id};
    aw::PlaceObject2(tags, place);
  }
  aw::ShowFrame(tags);
  aw::End(tags);
  aw::MovieSpec spec;
  return aw::BuildMovie(spec, tags);
}

// Seeds for the font reader: a small real font as it is, and as the one face of a collection.
std::vector<Bytes> FontSeeds() {
  for (const char* path : {"/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
                           "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                           "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"}) {
    std::ifstream in(path, std::ios::binary);
    const Bytes font{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (font.size() < 12) continue;
    for (int glyphs = 400; glyphs > 16; glyphs -= 16) {
      const Bytes single = CutFont(font, glyphs, 0);
      if (single.empty()) break;
      if (single.size() > 60000) continue;
      Bytes collection = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 16};
      const Bytes face = CutFont(font, glyphs, collection.size());
      collection.insert(collection.end(), face.begin(), face.end());
      return {single, collection};
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_fuzz_seeds TARGET FOLDER\n", stderr);
    return 2;
  }
  const std::string target = argv[1];
  const std::filesystem::path folder = argv[2];
  int n = 0;
  if (target == "fuzz_raster") {
    // Background, then commands: a filled square, a stroked curve, a masked layer.
    Save(folder, "seed0",
         {0, 0, 0, 255, 0, 0, 128, 128, 128, 128, 1, 0,   1, 0,   1, 0, 1, 0,   1, 0, 0, 5,
          0, 1, 0, 0,   0, 1, 1,   100, 0,   1,   1, 100, 1, 100, 1, 1, 0, 100, 1, 1, 0, 0});
    Save(folder, "seed1",
         {3, 1,  9, 9, 9, 255, 1,   0,   128, 128, 128, 128, 1, 0,   1, 0, 1,   0, 1,
          0, 0,  0, 1, 1, 0,   3,   0,   1,   0,   0,   2,   1, 200, 0, 1, 100, 1, 1,
          0, 60, 0, 2, 5, 128, 128, 128, 128, 1,   0,   1,   0, 1,   0, 1, 0,   5, 3});
    return 0;
  }
  if (target == "fuzz_actions") {
    for (const Bytes& list : ActionLists()) Save(folder, "seed" + std::to_string(n++), list);
    return 0;
  }
  if (target == "fuzz_bitmap_decoders") {
    for (const Bytes& input : DecoderInputs()) Save(folder, "seed" + std::to_string(n++), input);
    return 0;
  }
  if (target == "fuzz_truetype") {
    for (const Bytes& font : FontSeeds()) Save(folder, "font" + std::to_string(n++), font);
    return 0;
  }
  if (target == "fuzz_movie_parser") {
    for (const Bytes& movie : RichMovies()) Save(folder, "rich" + std::to_string(n++), movie);
    Save(folder, "text", TextMovie());
    Save(folder, "sound", SoundMovie());
    Save(folder, "buttons", ButtonMovie());
  }
  if (target == "fuzz_buttons") {
    // Any bytes spell buttons: varied bytes of a few lengths start the search at some depth.
    uint32_t state = 1;
    for (const size_t length : {64, 300, 1200, 4000}) {
      Bytes input(length);
      for (uint8_t& byte : input) {
        state = state * 1103515245 + 12345;
        byte = static_cast<uint8_t>(state >> 16);
      }
      Save(folder, "seed" + std::to_string(n++), input);
    }
    return 0;
  }
  if (target == "fuzz_filters") {
    // Scale and colour bytes, then a list: a drop shadow and a bevel (blur 4, distance 4,
    // strength 1), a three-stop gradient glow, a 3 x 3 convolution and a blur.
    const Bytes four = {0, 0, 4, 0}, one = {0, 1};
    Bytes list = {20, 200, 5, 0, 0, 0, 0, 255};
    const auto add = [&list](const Bytes& b) { list.insert(list.end(), b.begin(), b.end()); };
    add(four), add(four), add({0x0F, 0xC9, 0, 0}), add(four), add(one), list.push_back(0x21);
    add({3, 255, 255, 255, 255, 0, 0, 0, 255}), add(four), add(four), add({0, 0, 0, 0}), add(four);
    add(one), list.push_back(0x92);
    add({4, 3, 255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 0, 128, 255});
    add(four), add(four), add({0, 0, 0, 0}), add(four), add(one), list.push_back(0x03);
    add({5, 3, 3, 0, 0, 0x10, 0x41, 0, 0, 0, 0});         // divisor 9, bias 0
    for (int i = 0; i < 9; ++i) add({0, 0, 0x80, 0x3F});  // 1.0f
    add({0, 0, 0, 0, 0x02});
    add({1}), add(four), add(four), list.push_back(3 << 3);
    Save(folder, "list", list);
    return 0;
  }
  if (target == "fuzz_mp3") Save(folder, "frames", SilentMp3Frames());
  if (target == "fuzz_audio_codecs") {
    // The format byte first: 16-bit stereo PCM, 4-bit ADPCM, Nellymoser 8 kHz, A-law.
    for (const uint8_t format : {0x3F, 0x16, 0x50, 0x70}) {
      Bytes data(1024);
      for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + format);
      data.insert(data.begin(), format);
      Save(folder, "format" + std::to_string(format), data);
    }
  }
  if (target == "fuzz_html") {
    for (const char* html :
         {"<p align=\"center\"><font face=\"Arial\" size=\"20\" color=\"#FF0000\">Hello "
          "<b>bold <i>both</i></b> &amp; &#65;</font></p><li>item</li><br>end",
          "<textformat leftmargin='10' indent='-5' leading='2'><p align=justify>a b c d e f g "
          "h i j</p></textformat><u><a href='x' target='_blank'>link</a></u>",
          "plain text\rwith a break\nand another"}) {
      const std::string text(html);
      Save(folder, "seed" + std::to_string(n++), Bytes(text.begin(), text.end()));
    }
    return 0;
  }
  if (target == "fuzz_upgrade") {
    // A screen saver, an installer around it, and a player copy, each of a small program.
    const Bytes movie = Movies()[0];
    const auto saver =
        lumen::testing::MakeTinyPe({{"", 3, 1, Bytes(16, 1)}, {"SWF", 0, 103, movie}});
    Save(folder, "saver", saver.bytes);
    Save(folder, "installer", lumen::testing::MakeTinyPe({{"SCR", 0, 101, saver.bytes}}).bytes);
    Bytes copy = lumen::testing::MakeTinyPe({}).bytes;
    copy.insert(copy.end(), movie.begin(), movie.end());
    const uint32_t length = static_cast<uint32_t>(movie.size() + 4);
    for (int i = 0; i < 4; ++i) copy.push_back(static_cast<uint8_t>(length >> (8 * i)));
    for (char c : {'F', 'S', 'B', 'F'}) copy.push_back(static_cast<uint8_t>(c));
    Save(folder, "copy", copy);
    return 0;
  }
  for (const Bytes& movie : Movies()) {
    if (target == "fuzz_inflate_view") {
      Bytes input = {63};  // read piece size
      const Bytes packed = lumen::authoring::Deflate(movie);
      input.insert(input.end(), packed.begin(), packed.end());
      Save(folder, "seed" + std::to_string(n++), input);
    } else if (target == "fuzz_trailer") {
      // A slideshow executable: some program bytes, the movie, its length plus 4 and "FSBF".
      Bytes input(64, 0x90);
      input.insert(input.end(), movie.begin(), movie.end());
      const uint32_t length = static_cast<uint32_t>(movie.size() + 4);
      for (int i = 0; i < 4; ++i) input.push_back(static_cast<uint8_t>(length >> (8 * i)));
      for (char c : {'F', 'S', 'B', 'F'}) input.push_back(static_cast<uint8_t>(c));
      Save(folder, "seed" + std::to_string(n++), input);
    } else {
      Save(folder, "seed" + std::to_string(n++), movie);
    }
  }
  return 0;
}
