#pragma once

// The parsed movie: immutable once loaded and shared by every player of it.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "movie/Button.h"
#include "movie/MorphShape.h"
#include "movie/Timeline.h"
#include "render/Geometry.h"

namespace lumen::movie {

struct Character {
  enum class Kind : uint8_t {
    Shape,
    MorphShape,
    Bitmap,
    Sprite,
    Button,
    Font,
    Text,
    Sound,
    Video,
    Other
  };
  Kind kind = Kind::Other;
  uint16_t tag = 0;
  std::span<const uint8_t> body;  // the whole tag body, kept for the kinds not parsed yet
  // Shape; a bitmap also gets one: a rectangle of its size painted with it.
  std::shared_ptr<const render::ShapeGeometry> shape;
  std::shared_ptr<const render::BitmapSource> bitmap;  // encoded; decoded when drawn
  // Shapes and morph shapes: the bitmaps their fills paint with, to decode them ahead.
  std::vector<const render::BitmapSource*> bitmap_fills;
  std::unique_ptr<const MorphShape> morph;
  std::unique_ptr<const Timeline> sprite;
  std::unique_ptr<const ButtonData> button;
  // Sprites and buttons: the centre of their scale-9 grid (DefineScalingGrid), twips.
  std::optional<render::Rect> scaling_grid;
};

// An ImportAssets tag: characters this movie takes by export name from another movie file,
// under ids of its own.
struct Import {
  std::string url;
  std::vector<std::pair<uint16_t, std::string>> symbols;  // (id here, name exported there)
};

class Movie {
 public:
  uint8_t version = 0;
  bool compressed = false;
  render::Rect stage;  // twips
  float frame_rate = 0;
  uint16_t header_frame_count = 0;
  uint32_t file_attributes = 0;
  static constexpr uint32_t kActionScript3 = 0x08;  // in file_attributes
  size_t file_length = 0;    // as the header declares it: what scripts see as the bytes total
  size_t loaded_length = 0;  // what the file holds of that: the bytes loaded
  // Symbols exported by name (for scripts to attach), by character id.
  std::unordered_map<uint16_t, std::string> exports;
  std::vector<Import> imports;  // in tag order
  Timeline root;
  // Damage met while parsing: tags dropped, or where parsing stopped early. The movie keeps
  // everything that read well.
  std::vector<std::string> warnings;
  // Tags that add to characters defined elsewhere (font info, ...), kept raw.
  std::vector<OtherCommand> annotations;

  const Character* Find(uint16_t id) const;
  size_t HeldBytes() const { return data_.size(); }  // the uncompressed file
  const std::unordered_map<uint16_t, Character>& Characters() const { return characters_; }

 private:
  friend class MovieParser;
  std::vector<uint8_t> data_;  // the uncompressed file; spans in characters and frames point here
  std::unordered_map<uint16_t, Character> characters_;
};

struct LoadResult {
  std::shared_ptr<const Movie> movie;  // null on failure
  std::string error;
};

// Parses a whole movie file (FWS or CWS). Fails only when the bytes are not a playable movie at
// all; damage after the head ends the parse at the last good tag. Bitmaps are not decoded here:
// only their sizes are read, and pixels wait for the first frame that draws them.
LoadResult LoadMovie(std::span<const uint8_t> file);

}  // namespace lumen::movie
