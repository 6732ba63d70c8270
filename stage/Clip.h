#pragma once

// A timeline being played: the movie's root or one instance of a sprite. It owns its display
// list; the tags it plays belong to the immutable movie.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "movie/Movie.h"
#include "render/RenderList.h"

namespace lumen::stage {

class Clip;

// Shared by all clips of one stage: the movie, the limits against hostile movies, and the stage
// colour, which any timeline may set.
struct StageContext {
  static constexpr int kMaxNesting = 32;
  static constexpr size_t kMaxObjects = 100000;

  const movie::Movie* movie = nullptr;
  render::Rgba background{255, 255, 255, 255};
  bool background_set = false;  // only the first SetBackgroundColor of a movie counts
  size_t objects = 0;           // display objects alive on the whole stage
};

// What the timeline says about one depth.
struct Placement {
  uint16_t depth = 0;
  uint16_t character = 0;
  render::Matrix matrix;
  render::ColorTransform cxform;
  uint16_t ratio = 0;
  std::string_view name;  // points into the movie
  uint16_t clip_depth = 0;
  render::BlendMode blend = render::BlendMode::Normal;
  bool cache_as_bitmap = false;
};

struct DisplayObject {
  Placement place;
  const movie::Character* character = nullptr;  // null when the id is not defined
  std::unique_ptr<Clip> clip;                   // sprites
};

class Clip {
 public:
  // Enters the first frame. Sprites nested deeper than the limit stay empty.
  Clip(StageContext& context, const movie::Timeline& timeline, int nesting);
  ~Clip();
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  // One tick: the children already shown advance, then this timeline moves to its next frame,
  // looping at the end when `loop` (sprites always loop).
  void Advance(bool loop = true);
  // Shows frame `frame` (0-based, clamped), as if played to it: going forwards applies the
  // display tags in between, going backwards rebuilds the list from the first frame. Objects
  // whose placement is unchanged survive, so sprites keep playing. The target's actions run.
  void GotoFrame(size_t frame);

  size_t CurrentFrame() const { return current_; }
  size_t FrameCount() const { return timeline_.frames.size(); }
  bool Playing() const { return playing_; }
  void Play() { playing_ = true; }
  void Stop() { playing_ = false; }
  // In depth order.
  const std::vector<DisplayObject>& DisplayList() const { return objects_; }
  const DisplayObject* At(uint16_t depth) const;

 private:
  void EnterFrame(size_t frame, bool run_actions);
  void Place(const movie::PlaceCommand& command);
  void Remove(uint16_t depth);
  void RunActions(size_t frame);
  void Rebuild(size_t frame);
  DisplayObject* Find(uint16_t depth);
  // Creates the object for `place` at its depth, replacing what is there.
  void Create(const Placement& place);
  void Destroy(std::vector<DisplayObject>::iterator it);

  StageContext& context_;
  const movie::Timeline& timeline_;
  int nesting_;
  size_t current_ = 0;
  bool playing_ = true;
  std::vector<DisplayObject> objects_;
  std::vector<Placement> scratch_;  // Rebuild's target list, kept between gotos
};

// Applies a place command to a placement record: fields the command leaves out keep their value.
void ApplyPlace(const movie::PlaceCommand& command, Placement& place);

}  // namespace lumen::stage
