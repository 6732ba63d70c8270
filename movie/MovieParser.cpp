// Design: the uncompressed file is held once by the Movie; tags are cut out of it by their
// declared lengths and read through readers that cannot leave their tag. Timelines keep spans
// into those bytes for what later parts of the engine will interpret (actions, sounds), so
// nothing is copied. A length that runs past its container ends that timeline there; a body
// that does not parse loses only its own tag. Shapes are turned into contours as they arrive;
// bitmaps keep their encoded bytes and only their sizes are read, so loading a movie of many
// photos is quick and holds no pixels (the player decodes them when drawn).

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "codec/BitmapDecoder.h"
#include "movie/ByteReader.h"
#include "movie/EncodedBitmap.h"
#include "movie/Movie.h"
#include "movie/ShapeBuilder.h"

namespace lumen::movie {

namespace {

// Hostile-input limits: the uncompressed size of a movie, the frame tags kept in all
// timelines, and the warnings remembered.
constexpr size_t kMaxMovieBytes = sizeof(void*) >= 8 ? size_t{1} << 30 : size_t{256} << 20;
constexpr size_t kMaxCommands = size_t{1} << 21;
constexpr size_t kMaxWarnings = 32;
constexpr size_t kMaxShapeRecords = size_t{1} << 24;  // all shapes of a movie together
constexpr size_t kMaxButtonColors = 256;              // colour transforms of one button

enum Tag : uint16_t {
  kEnd = 0,
  kShowFrame = 1,
  kDefineShape = 2,
  kPlaceObject = 4,
  kRemoveObject = 5,
  kDefineBits = 6,
  kDefineButton = 7,
  kJpegTables = 8,
  kSetBackgroundColor = 9,
  kDefineFont = 10,
  kDefineText = 11,
  kDoAction = 12,
  kDefineFontInfo = 13,
  kDefineSound = 14,
  kStartSound = 15,
  kDefineButtonSound = 17,
  kSoundStreamHead = 18,
  kSoundStreamBlock = 19,
  kDefineBitsLossless = 20,
  kDefineBitsJpeg2 = 21,
  kDefineShape2 = 22,
  kDefineButtonCxform = 23,
  kPlaceObject2 = 26,
  kRemoveObject2 = 28,
  kDefineShape3 = 32,
  kDefineText2 = 33,
  kDefineButton2 = 34,
  kDefineBitsJpeg3 = 35,
  kDefineBitsLossless2 = 36,
  kDefineEditText = 37,
  kDefineSprite = 39,
  kFrameLabel = 43,
  kSoundStreamHead2 = 45,
  kDefineMorphShape = 46,
  kDefineFont2 = 48,
  kExportAssets = 56,
  kImportAssets = 57,
  kDoInitAction = 59,
  kDefineVideoStream = 60,
  kStartSound2 = 89,
  kDefineFontInfo2 = 62,
  kFileAttributes = 69,
  kPlaceObject3 = 70,
  kDefineFontAlignZones = 73,
  kImportAssets2 = 71,
  kDefineFont3 = 75,
  kDefineScalingGrid = 78,
  kDefineShape4 = 83,
  kDefineMorphShape2 = 84,
  kDefineFontName = 88,
  kDefineBitsJpeg4 = 90,
};

PlaceCommand ReadPlaceObject(ByteReader& in) {
  PlaceCommand place;
  place.character = in.U16();
  place.depth = in.U16();
  place.matrix = ReadMatrix(in);
  if (in.Remaining() > 0) place.cxform = ReadColorTransform(in, false);
  return place;
}

PlaceCommand ReadPlaceObject2(ByteReader& in, bool version3) {
  PlaceCommand place;
  const uint16_t flags = version3 ? in.U16() : in.U8();
  place.depth = in.U16();
  place.move = flags & 0x01;
  if (version3 && ((flags & 0x0800) || ((flags & 0x1000) && !(flags & 0x02)))) in.String();
  if (flags & 0x02) place.character = in.U16();
  if (flags & 0x04) place.matrix = ReadMatrix(in);
  if (flags & 0x08) place.cxform = ReadColorTransform(in, true);
  if (flags & 0x10) place.ratio = in.U16();
  if (flags & 0x20) place.name = in.String();
  if (flags & 0x40) place.clip_depth = in.U16();
  if (version3) {
    if (flags & 0x0100) {
      ByteReader probe = in;
      SkipFilters(probe);
      place.filters = in.Take(probe.Position() - in.Position());
    }
    if (flags & 0x0200) place.blend = BlendFrom(in.U8());
    // Some tools set the flag but leave out the byte: that means cached.
    if (flags & 0x0400) place.cache_as_bitmap = in.Remaining() == 0 || in.U8() != 0;
    if (flags & 0x2000) place.visible = in.U8() != 0;
    if (flags & 0x4000) in.Skip(4);  // the opaque background, which only the cached picture shows
  }
  if (flags & 0x80) place.clip_actions = in.Rest();
  return place;
}

}  // namespace

class MovieParser {
 public:
  explicit MovieParser(Movie& movie) : movie_(movie) {}

  std::vector<uint8_t>& Data() { return movie_.data_; }

  // Reads the head after the 8 fixed bytes and every tag behind it.
  bool Parse(std::string& error) {
    ByteReader in(movie_.data_, 0, -1);
    try {
      in.Skip(8);
      movie_.stage = ReadRect(in);
      movie_.frame_rate = in.U16() / 256.0f;
      movie_.header_frame_count = in.U16();
    } catch (const ParseError&) {
      error = "The movie's header is truncated";
      return false;
    }
    ParseTimeline(in, movie_.root, false);
    ForgetEarlyPlacements();
    return true;
  }

 private:
  void Warn(std::string text) {
    if (movie_.warnings.size() < kMaxWarnings) movie_.warnings.push_back(std::move(text));
  }

  // Tags up to End or the end of the bytes. A tag whose length runs past the end of its
  // container ends the timeline; a tag whose body does not parse is dropped.
  void ParseTimeline(ByteReader& in, Timeline& timeline, bool sprite) {
    timeline.frames.emplace_back();
    timeline.ended = !sprite;  // the movie itself is whole once its bytes are read
    while (in.Remaining() > 0) {
      const size_t offset = in.MovieOffset();
      if (in.Remaining() < 2) {
        Warn("truncated tag header at byte " + std::to_string(offset));
        break;
      }
      const uint16_t head = in.U16();
      const auto code = static_cast<uint16_t>(head >> 6);
      size_t length = head & 0x3F;
      if (length == 0x3F) {
        if (in.Remaining() < 4) {
          Warn("truncated tag header of tag " + std::to_string(code) + " at byte " +
               std::to_string(offset));
          break;
        }
        length = in.U32();
      }
      if (length > in.Remaining()) {
        Warn("tag " + std::to_string(code) + " at byte " + std::to_string(offset) + " claims " +
             std::to_string(length) + " bytes, " + std::to_string(in.Remaining()) + " remain");
        break;
      }
      if (code == kEnd) {
        timeline.ended = true;
        break;
      }
      ByteReader body(in.Take(length), in.MovieOffset() - length, code);
      if (commands_ >= kMaxCommands) {
        Warn("too many frame tags; parsing stopped at byte " + std::to_string(offset));
        break;
      }
      try {
        HandleTag(code, body, timeline, sprite);
      } catch (const ParseError& e) {
        Warn(e.what());
      }
    }
    // Tags after the last ShowFrame still make a frame; an empty tail does not.
    if (timeline.frames.size() > 1 && timeline.frames.back().commands.empty() &&
        timeline.frames.back().labels.empty()) {
      timeline.frames.pop_back();
    }
  }

  void Add(Timeline& timeline, FrameCommand command) {
    ++commands_;
    timeline.frames.back().commands.push_back(std::move(command));
  }

  // The root timeline defines characters as it plays: a placement of one defined further on
  // finds nothing there yet and brings nothing. Sprites play only once defined whole, and ids
  // never defined stay, as placeholders.
  void AddPlace(Timeline& timeline, PlaceCommand place) {
    if (&timeline == &movie_.root && place.character && movie_.Find(*place.character) == nullptr) {
      early_.push_back({&timeline, timeline.frames.size() - 1,
                        timeline.frames.back().commands.size(), *place.character});
    }
    Add(timeline, std::move(place));
  }

  void ForgetEarlyPlacements() {
    for (const EarlyPlace& early : early_) {
      if (movie_.Find(early.character) == nullptr) continue;
      auto& command = early.timeline->frames[early.frame].commands[early.index];
      std::get<PlaceCommand>(command).character.reset();
    }
  }

  void HandleTag(uint16_t code, ByteReader& in, Timeline& timeline, bool sprite) {
    if (HandleControlTag(code, in, timeline)) return;
    // Definitions belong to the movie; a sprite's own tag list may not define characters.
    if (!sprite) HandleDefinition(code, in);
  }

  bool HandleControlTag(uint16_t code, ByteReader& in, Timeline& timeline) {
    switch (code) {
      case kShowFrame:
        timeline.frames.emplace_back();
        return true;
      case kPlaceObject:
        AddPlace(timeline, ReadPlaceObject(in));
        return true;
      case kPlaceObject2:
        AddPlace(timeline, ReadPlaceObject2(in, false));
        return true;
      case kPlaceObject3:
        AddPlace(timeline, ReadPlaceObject2(in, true));
        return true;
      case kRemoveObject:
        in.U16();
        Add(timeline, RemoveCommand{in.U16()});
        return true;
      case kRemoveObject2:
        Add(timeline, RemoveCommand{in.U16()});
        return true;
      case kSetBackgroundColor:
        Add(timeline, BackgroundCommand{ReadRgb(in)});
        return true;
      case kFrameLabel:
        timeline.frames.back().labels.push_back(in.String());
        return true;
      case kDoAction: {
        const auto actions = in.Rest();
        Add(timeline, ActionCommand{actions, IsPlainStop(actions)});
        return true;
      }
      case kDoInitAction:  // runs when its frame is first reached
      case kStartSound:
      case kStartSound2:
      case kSoundStreamHead:
      case kSoundStreamHead2:
      case kSoundStreamBlock:
        Add(timeline, OtherCommand{code, in.Rest()});
        return true;
      default:
        return false;
    }
  }

  void HandleDefinition(uint16_t code, ByteReader& in) {
    switch (code) {
      case kDefineShape:
        DefineShape(in, 1);
        break;
      case kDefineShape2:
        DefineShape(in, 2);
        break;
      case kDefineShape3:
        DefineShape(in, 3);
        break;
      case kDefineShape4:
        DefineShape(in, 4);
        break;
      case kDefineMorphShape:
        DefineMorph(in, 1);
        break;
      case kDefineMorphShape2:
        DefineMorph(in, 2);
        break;
      case kJpegTables:
        if (jpeg_tables_.empty()) jpeg_tables_ = in.Rest();
        break;
      case kDefineBits:
      case kDefineBitsJpeg2:
      case kDefineBitsJpeg3:
      case kDefineBitsJpeg4:
        DefineJpeg(code, in);
        break;
      case kDefineBitsLossless:
        DefineLossless(in, false);
        break;
      case kDefineBitsLossless2:
        DefineLossless(in, true);
        break;
      case kDefineSprite:
        DefineSprite(in);
        break;
      case kFileAttributes:
        movie_.file_attributes = in.U32();
        break;
      case kDefineButton:
      case kDefineButton2:
        DefineButton(in, code == kDefineButton2);
        break;
      case kDefineButtonCxform:
        DefineButtonCxform(in);
        break;
      case kDefineButtonSound:
        DefineButtonSound(in);
        break;
      case kDefineFont:
      case kDefineFont2:
      case kDefineFont3:
        KeepRaw(in, code, Character::Kind::Font);
        break;
      case kDefineText:
      case kDefineText2:
      case kDefineEditText:
        KeepRaw(in, code, Character::Kind::Text);
        break;
      case kDefineSound:
        KeepRaw(in, code, Character::Kind::Sound);
        break;
      case kDefineVideoStream:  // placed as an object scripts can name; its frames are not decoded
        KeepRaw(in, code, Character::Kind::Video);
        break;
      case kDefineFontInfo:
      case kDefineFontInfo2:
      case kDefineFontAlignZones:
      case kDefineFontName:
        movie_.annotations.push_back({code, in.Rest()});
        break;
      case kDefineScalingGrid:
        DefineScalingGrid(in);
        break;
      case kExportAssets:
        ReadExports(in);
        break;
      case kImportAssets:
      case kImportAssets2:
        ReadImports(in, code == kImportAssets2);
        break;
      default:
        break;  // unknown or not needed: skipped by its length
    }
  }

  void ReadExports(ByteReader& in) {
    const uint16_t count = in.U16();
    for (uint16_t i = 0; i < count && in.Remaining() > 0; ++i) {
      const uint16_t id = in.U16();
      movie_.exports.try_emplace(id, in.String());
    }
  }

  void ReadImports(ByteReader& in, bool version2) {
    Import import;
    import.url = in.String();
    if (version2) in.Skip(2);  // reserved
    const uint16_t count = in.U16();
    for (uint16_t i = 0; i < count && in.Remaining() > 0; ++i) {
      const uint16_t id = in.U16();
      import.symbols.emplace_back(id, in.String());
    }
    movie_.imports.push_back(std::move(import));
  }

  // Registers a character; a second definition of an id is ignored, as the first one may
  // already be on stage.
  Character* Define(uint16_t id, uint16_t code, Character::Kind kind,
                    std::span<const uint8_t> body) {
    auto [it, fresh] = movie_.characters_.try_emplace(id);
    if (!fresh) return nullptr;
    it->second.kind = kind;
    it->second.tag = code;
    it->second.body = body;
    return &it->second;
  }

  void KeepRaw(ByteReader& in, uint16_t code, Character::Kind kind) {
    const auto body = in.Rest();
    if (body.size() < 2) in.Fail("character tag without an id");
    Define(static_cast<uint16_t>(body[0] | body[1] << 8), code, kind, body);
  }

  // Looks bitmaps up by id and notes each one found in `used`.
  BitmapLookup Bitmaps(std::vector<const render::BitmapSource*>& used) const {
    return [this, &used](uint16_t id) -> std::shared_ptr<const render::BitmapSource> {
      const Character* c = movie_.Find(id);
      if (c == nullptr || !c->bitmap) return nullptr;
      if (std::find(used.begin(), used.end(), c->bitmap.get()) == used.end()) {
        used.push_back(c->bitmap.get());
      }
      return c->bitmap;
    };
  }

  void DefineButton(ByteReader& in, bool version2) {
    const auto body = in.Rest();
    ByteReader records(body, in.MovieOffset() - body.size(), in.Tag());
    const uint16_t id = records.U16();
    auto button = std::make_unique<ButtonData>(ReadButton(records, version2));
    if (Character* c = Define(id, static_cast<uint16_t>(in.Tag()), Character::Kind::Button, body)) {
      c->button = std::move(button);
    }
  }

  // A sprite or button defined before it gets its grid; an empty or inverted one is ignored.
  void DefineScalingGrid(ByteReader& in) {
    const uint16_t id = in.U16();
    const render::Rect grid = ReadRect(in);
    auto it = movie_.characters_.find(id);
    if (it == movie_.characters_.end() || grid.Empty()) return;
    Character& c = it->second;
    if (c.kind == Character::Kind::Sprite || c.kind == Character::Kind::Button)
      c.scaling_grid = grid;
  }

  // DefineButtonCxform and DefineButtonSound change a button defined before them.
  ButtonData* EditButton(uint16_t id) {
    auto it = movie_.characters_.find(id);
    if (it == movie_.characters_.end() || !it->second.button) return nullptr;
    auto copy = std::make_unique<ButtonData>(*it->second.button);
    ButtonData* edited = copy.get();
    it->second.button = std::move(copy);
    return edited;
  }

  void DefineButtonCxform(ByteReader& in) {
    const uint16_t id = in.U16();
    std::vector<render::ColorTransform> cxforms;
    while (in.Remaining() > 0 && cxforms.size() < kMaxButtonColors) {
      cxforms.push_back(ReadColorTransform(in, false));
    }
    if (ButtonData* button = EditButton(id)) button->SetColors(cxforms);
  }

  void DefineButtonSound(ByteReader& in) {
    const uint16_t id = in.U16();
    if (ButtonData* button = EditButton(id)) ReadButtonSounds(in, *button);
  }

  void DefineShape(ByteReader& in, int version) {
    const uint16_t id = in.U16();
    std::vector<const render::BitmapSource*> used;
    const ShapeData data = ReadDefineShape(in, version, Bitmaps(used));
    shape_records_ += data.records.size();
    if (shape_records_ > kMaxShapeRecords) in.Fail("the movie's shapes exceed the edge limit");
    if (Character* c = Define(id, static_cast<uint16_t>(in.Tag()), Character::Kind::Shape, {})) {
      c->shape = std::make_shared<const render::ShapeGeometry>(BuildGeometry(data));
      c->bitmap_fills = std::move(used);
    }
  }

  void DefineMorph(ByteReader& in, int version) {
    const uint16_t id = in.U16();
    std::vector<const render::BitmapSource*> used;
    auto morph = std::make_unique<const MorphShape>(MorphShape::Read(in, version, Bitmaps(used)));
    if (Character* c =
            Define(id, static_cast<uint16_t>(in.Tag()), Character::Kind::MorphShape, {})) {
      c->morph = std::move(morph);
      c->bitmap_fills = std::move(used);
    }
  }

  void DefineSprite(ByteReader& in) {
    const uint16_t id = in.U16();
    in.U16();  // frame count: the ShowFrame tags decide
    auto timeline = std::make_unique<Timeline>();
    timeline->tag_bytes = in.Remaining();
    ParseTimeline(in, *timeline, true);
    if (Character* c = Define(id, kDefineSprite, Character::Kind::Sprite, {})) {
      c->sprite = std::move(timeline);
    }
  }

  void DefineJpeg(uint16_t code, ByteReader& in) {
    const uint16_t id = in.U16();
    std::unique_ptr<const render::BitmapSource> bitmap;
    if (code == kDefineBits) {
      bitmap = EncodedImage::Make(jpeg_tables_, in.Rest(), {});
    } else if (code == kDefineBitsJpeg2) {
      bitmap = EncodedImage::Make({}, in.Rest(), {});
    } else {
      const uint32_t image_size = in.U32();
      if (code == kDefineBitsJpeg4) in.U16();  // deblocking strength
      const auto image = in.Take(image_size);
      bitmap = EncodedImage::Make({}, image, in.Rest());
    }
    AddBitmap(id, code, std::move(bitmap));
  }

  void DefineLossless(ByteReader& in, bool alpha) {
    const uint16_t id = in.U16();
    codec::LosslessHead head;
    head.alpha = alpha;
    head.format = in.U8();
    head.width = in.U16();
    head.height = in.U16();
    if (head.format == 3) head.palette_size = in.U8() + 1;
    AddBitmap(id, alpha ? kDefineBitsLossless2 : kDefineBitsLossless,
              EncodedLossless::Make(head, in.Rest()));
  }

  // A bitmap whose size cannot be read still takes its id: fills using it paint nothing.
  void AddBitmap(uint16_t id, uint16_t code, std::unique_ptr<const render::BitmapSource> bitmap) {
    Character* c = Define(id, code, Character::Kind::Bitmap, {});
    if (c == nullptr) return;
    if (!bitmap) {
      Warn("bitmap " + std::to_string(id) + " could not be decoded");
      return;
    }
    c->bitmap = std::move(bitmap);
    c->shape = std::make_shared<const render::ShapeGeometry>(BitmapRectangle(c->bitmap));
  }

  // What a bitmap placed on stage by itself shows: its pixels at natural size from (0, 0).
  static render::ShapeGeometry BitmapRectangle(
      const std::shared_ptr<const render::BitmapSource>& b) {
    const float w = static_cast<float>(b->Width()) * 20;
    const float h = static_cast<float>(b->Height()) * 20;
    render::ShapePart part;
    part.path.MoveTo({0, 0});
    part.path.LineTo({w, 0});
    part.path.LineTo({w, h});
    part.path.LineTo({0, h});
    part.path.LineTo({0, 0});
    part.fill.kind = render::FillStyle::Kind::Bitmap;
    part.fill.source = b;
    part.fill.matrix = render::Matrix::Scale(20, 20);
    part.fill.repeat = false;
    part.fill.smooth = false;
    render::ShapeGeometry geometry;
    geometry.parts.push_back(std::move(part));
    geometry.bounds = {0, 0, w, h};
    return geometry;
  }

  struct EarlyPlace {
    Timeline* timeline;
    size_t frame, index;
    uint16_t character;
  };

  Movie& movie_;
  std::span<const uint8_t> jpeg_tables_;
  std::vector<EarlyPlace> early_;  // root placements of ids not defined when they were read
  size_t commands_ = 0;
  size_t shape_records_ = 0;
};

namespace {

// Inflates the body of a CWS movie behind the 8 fixed bytes, keeping whatever decodes before
// damage or the size limit. The declared length only sizes the first buffer: files that
// understate it (even as 0) still play.
bool InflateBody(std::span<const uint8_t> file, size_t declared, std::vector<uint8_t>& out) {
  out.assign(file.begin(), file.begin() + 8);
  out.reserve(std::clamp<size_t>(declared, 8, size_t{16} << 20));
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return false;
  zs.next_in = const_cast<Bytef*>(file.data() + 8);
  zs.avail_in =
      static_cast<uInt>(std::min<size_t>(file.size() - 8, std::numeric_limits<uInt>::max()));
  int rc = Z_OK;
  while (rc == Z_OK && out.size() < kMaxMovieBytes) {
    const size_t chunk =
        std::min(std::max<size_t>(out.size(), 64 * 1024), kMaxMovieBytes - out.size());
    const size_t before = out.size();
    out.resize(before + chunk);
    zs.next_out = out.data() + before;
    zs.avail_out = static_cast<uInt>(chunk);
    rc = inflate(&zs, Z_NO_FLUSH);
    out.resize(before + chunk - zs.avail_out);
  }
  inflateEnd(&zs);
  return out.size() > 8;
}

}  // namespace

const Character* Movie::Find(uint16_t id) const {
  const auto it = characters_.find(id);
  return it == characters_.end() ? nullptr : &it->second;
}

LoadResult LoadMovie(std::span<const uint8_t> file) {
  LoadResult result;
  if (file.size() < 8) {
    result.error = "The file is too short to be a movie";
    return result;
  }
  const std::string_view signature(reinterpret_cast<const char*>(file.data()), 3);
  if (signature == "ZWS") {
    result.error = "LZMA-compressed movies (ZWS) are not supported";
    return result;
  }
  if (signature != "FWS" && signature != "CWS") {
    result.error = "The file is not an SWF movie";
    return result;
  }
  auto movie = std::make_shared<Movie>();
  movie->version = file[3];
  movie->compressed = signature == "CWS";
  const size_t declared = file[4] | file[5] << 8 | file[6] << 16 | size_t{file[7]} << 24;
  // An uncompressed movie whose length falls short of its header has nothing to play.
  if (!movie->compressed && declared < 8) {
    result.error = "The movie's header gives it no length";
    return result;
  }
  movie->file_length = declared;
  MovieParser parser(*movie);
  if (movie->compressed) {
    if (!InflateBody(file, declared, parser.Data())) {
      result.error = "The movie's compressed data cannot be read";
      return result;
    }
  } else {
    if (file.size() > kMaxMovieBytes) {
      result.error = "The movie is too large";
      return result;
    }
    parser.Data().assign(file.begin(), file.end());
  }
  // A file shorter than its header says plays what it holds, and says so to preloaders.
  movie->loaded_length = std::min(declared, parser.Data().size());
  if (!parser.Parse(result.error)) return result;
  result.movie = std::move(movie);
  return result;
}

}  // namespace lumen::movie
