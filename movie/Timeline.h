#pragma once

// The tags of a timeline (the movie's own, or a sprite's) grouped by frame.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "render/Geometry.h"
#include "render/RenderList.h"

namespace lumen::movie {

// PlaceObject 1, 2 and 3. Absent fields leave the object's current value alone when moving.
struct PlaceCommand {
  uint16_t depth = 0;
  bool move = false;
  std::optional<uint16_t> character;
  std::optional<render::Matrix> matrix;
  std::optional<render::ColorTransform> cxform;
  std::optional<uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<uint16_t> clip_depth;
  std::optional<render::BlendMode> blend;
  std::optional<bool> cache_as_bitmap;
  std::optional<bool> visible;
  // The filter list's bytes (PlaceObject3), read by the stage.
  std::optional<std::span<const uint8_t>> filters;
  std::span<const uint8_t> clip_actions;  // kept for the script engine
};

struct RemoveCommand {
  uint16_t depth = 0;
};

struct BackgroundCommand {
  render::Rgba color;
};

// DoAction bytes. `stops` marks a plain action list that stops the playhead.
struct ActionCommand {
  std::span<const uint8_t> actions;
  bool stops = false;
};

// Any other frame tag kept for later use (StartSound, sound stream blocks, ...).
struct OtherCommand {
  uint16_t code = 0;
  std::span<const uint8_t> body;
};

using FrameCommand =
    std::variant<PlaceCommand, RemoveCommand, BackgroundCommand, ActionCommand, OtherCommand>;

struct Frame {
  std::vector<FrameCommand> commands;
  std::vector<std::string> labels;
};

struct Timeline {
  std::vector<Frame> frames;  // at least one once parsed
  size_t tag_bytes = 0;       // of a sprite: the length of its tag list
  // Whether the tag list closed with its End tag. A sprite cut short is never wholly loaded, so
  // its playhead stays on its last frame instead of looping.
  bool ended = true;

  // The 0-based frame carrying `label`, if any.
  std::optional<size_t> FindLabel(std::string_view label) const;
};

// Whether an action list is a plain stop: a top-level ActionStop with no branches or function
// definitions that could skip it.
bool IsPlainStop(std::span<const uint8_t> actions);

}  // namespace lumen::movie
