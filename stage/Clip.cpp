// Design: a clip's display list is a vector sorted by depth whose storage is kept, so playing
// frames that only move objects allocates nothing. Going forwards applies the frame tags in
// between; going backwards replays the place and remove tags from the first frame into a
// scratch list (no instances made) and then reconciles: an object whose depth keeps the same
// character and ratio stays alive with its new properties, the rest are destroyed or created.
// Objects that a script made or moved are the script's: the timeline leaves them alone.
// Frame scripts and clip events are queued on the stage's script host and run after the
// display-list changes of the whole tick, as the reference runs them.

#include "stage/Clip.h"

#include "stage/FilterList.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "avm1/ClipObject.h"
#include "avm1/Names.h"
#include "movie/ShapeBuilder.h"
#include "stage/PointerInput.h"
#include "stage/ScaleGrid.h"
#include "stage/ScriptHost.h"
#include "stage/ShapeHit.h"

namespace lumen::stage {

namespace {

// A colour multiplier as the player keeps it: 8.8 fixed point, cut toward zero, 16 bits wide.
double FixedMultiplier(double factor) {
  const double fixed = std::fmod(std::trunc(factor * 256), 65536.0);
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(fixed))) / 256.0;
}

constexpr double kPi = 3.14159265358979323846;

template <typename T>
auto LowerBound(std::vector<T>& list, int32_t depth) {
  return std::lower_bound(list.begin(), list.end(), depth, [](const T& item, int32_t d) {
    if constexpr (std::is_same_v<T, Placement>) {
      return item.depth < d;
    } else {
      return item.place.depth < d;
    }
  });
}

// Placements a rebuild replays: the same commands Place and Remove apply to live objects.
void ReplayInto(const movie::Frame& frame, std::vector<Placement>& list) {
  for (const movie::FrameCommand& command : frame.commands) {
    if (const auto* place = std::get_if<movie::PlaceCommand>(&command)) {
      auto it = LowerBound(list, place->depth);
      const bool exists = it != list.end() && it->depth == place->depth;
      if (place->move && !exists) continue;
      if (!place->move && !place->character) continue;
      if (!exists) {
        it = list.insert(it, Placement{});
        it->depth = place->depth;
      } else if (!place->move) {
        *it = Placement{};
        it->depth = place->depth;
      }
      ApplyPlace(*place, *it);
    } else if (const auto* remove = std::get_if<movie::RemoveCommand>(&command)) {
      auto it = LowerBound(list, remove->depth);
      if (it != list.end() && it->depth == remove->depth) list.erase(it);
    }
  }
}

const movie::Timeline& EmptyTimeline() {
  static const movie::Timeline timeline{{movie::Frame{}}};
  return timeline;
}

void Include(render::Rect& into, bool& any, const render::Rect& r, const render::Matrix& m) {
  const render::Point corners[] = {m.Apply({r.x_min, r.y_min}), m.Apply({r.x_max, r.y_min}),
                                   m.Apply({r.x_min, r.y_max}), m.Apply({r.x_max, r.y_max})};
  for (const render::Point& p : corners) {
    if (!any) {
      into = {p.x, p.y, p.x, p.y};
      any = true;
    }
    into.x_min = std::min(into.x_min, p.x);
    into.y_min = std::min(into.y_min, p.y);
    into.x_max = std::max(into.x_max, p.x);
    into.y_max = std::max(into.y_max, p.y);
  }
}

// Characters one hit test may visit: definitions that place each other several times over
// would otherwise be searched exponentially deep.
constexpr int kMaxCoverVisits = 4096;

// Whether a character placed with identity covers `p` (its twips): shapes by their fills and
// strokes (a morph shape at `ratio`), text by its glyphs, sprites by what their first frame places,
// buttons by their hit area. Used where no instance exists (a button's hit area) and for shapes
// on stage. Each call spends one of `visits`; definitions nested deeper than clips may nest (as
// those that place themselves do) answer no.
bool CharacterCovers(MovieLibrary& library, const movie::Character& character, render::Point p,
                     int& visits, uint16_t ratio = 0, int nesting = 0) {
  if (--visits < 0 || nesting > StageContext::kMaxNesting) return false;
  if (character.shape) return library.ShapeCovers(*character.shape, p);
  if (character.morph) return ShapeContains(movie::BuildGeometry(character.morph->At(ratio)), p);
  if (character.kind == movie::Character::Kind::Text) {
    const render::ShapeGeometry* text = library.Texts().StaticText(character);
    return text != nullptr && library.ShapeCovers(*text, p);
  }
  auto covers = [&](uint16_t child_id, const render::Matrix& m) {
    const MovieLibrary::Found child = library.Find(child_id);
    return child.character != nullptr &&
           CharacterCovers(*child.library, *child.character, Inverse(m).Apply(p), visits, 0,
                           nesting + 1);
  };
  if (character.button) {
    for (const movie::ButtonRecord& record : character.button->records) {
      if ((record.states & movie::ButtonData::kHitBit) && covers(record.character, record.matrix))
        return true;
    }
    return false;
  }
  if (!character.sprite || character.sprite->frames.empty()) return false;
  std::vector<Placement> first;
  ReplayInto(character.sprite->frames.front(), first);
  for (const Placement& place : first) {
    if (place.clip_depth == 0 && covers(place.character, place.matrix)) return true;
  }
  return false;
}

// Adds the box around what a character placed through `m` covers, as CharacterCovers sees it,
// spending one of `visits` per character.
void CharacterBox(MovieLibrary& library, const movie::Character& character, const render::Matrix& m,
                  render::Rect& box, bool& any, int& visits, int nesting = 0) {
  if (--visits < 0 || nesting > StageContext::kMaxNesting) return;
  const render::ShapeGeometry* shape = character.shape.get();
  if (character.kind == movie::Character::Kind::Text) shape = library.Texts().StaticText(character);
  if (shape != nullptr) {
    Include(box, any, shape->bounds, m);
    return;
  }
  auto add = [&](uint16_t child_id, const render::Matrix& child) {
    const MovieLibrary::Found found = library.Find(child_id);
    if (found.character) {
      CharacterBox(*found.library, *found.character, m * child, box, any, visits, nesting + 1);
    }
  };
  if (character.button) {
    for (const movie::ButtonRecord& record : character.button->records) {
      if (record.states & movie::ButtonData::kHitBit) add(record.character, record.matrix);
    }
  } else if (character.sprite && !character.sprite->frames.empty()) {
    std::vector<Placement> first;
    ReplayInto(character.sprite->frames.front(), first);
    for (const Placement& place : first) {
      if (place.clip_depth == 0) add(place.character, place.matrix);
    }
  }
}

}  // namespace

render::Matrix Inverse(const render::Matrix& m) {
  const double det = static_cast<double>(m.a) * m.d - static_cast<double>(m.b) * m.c;
  if (det == 0 || !std::isfinite(det)) return {0, 0, 0, 0, 0, 0};
  const double a = m.d / det, b = -m.b / det, c = -m.c / det, d = m.a / det;
  const double tx = -(a * m.tx + c * m.ty), ty = -(b * m.tx + d * m.ty);
  return {static_cast<float>(a), static_cast<float>(b),  static_cast<float>(c),
          static_cast<float>(d), static_cast<float>(tx), static_cast<float>(ty)};
}

void ApplyPlace(const movie::PlaceCommand& command, Placement& place) {
  if (command.character) place.character = *command.character;
  if (command.matrix) place.matrix = *command.matrix;
  if (command.cxform) place.cxform = *command.cxform;
  if (command.ratio) place.ratio = *command.ratio;
  if (command.name) place.name = *command.name;
  if (command.clip_depth) place.clip_depth = *command.clip_depth;
  if (command.blend) place.blend = *command.blend;
  if (command.cache_as_bitmap) place.cache_as_bitmap = *command.cache_as_bitmap;
  if (command.visible) place.visible = *command.visible;
  if (command.filters) place.filters = ReadFilterList(*command.filters);
  if (!command.clip_actions.empty()) place.clip_actions = command.clip_actions;
}

Clip::Clip(StageContext& context, MovieLibrary& library, const movie::Timeline& timeline,
           int nesting, Clip* parent, int32_t depth, std::string name, uint16_t character)
    : context_(context),
      library_(library),
      timeline_(&timeline),
      nesting_(nesting),
      parent_(parent),
      depth_(depth),
      name_(std::move(name)),
      character_(character) {
  context_.clip_work += static_cast<size_t>(nesting) + 1;
  const movie::Character* defined = character ? library_.Find(character).character : nullptr;
  if (defined != nullptr && defined->button) button_ = defined->button.get();
  video_ = defined != nullptr && defined->kind == movie::Character::Kind::Video;
  if (defined != nullptr) scaling_grid_ = defined->scaling_grid;
  // Buttons and videos have no clip events.
  if (button_ == nullptr && !video_) clip_actions_ = Place().clip_actions;
  if (context_.scripts != nullptr) script_ = context_.scripts->Register(*this);
  if (!timeline_->frames.empty()) EnterFrame(0, false, Arrival::Jumped);
}

Clip::~Clip() {
  if (context_.pointer != nullptr) context_.pointer->Forget(*this);
  // Children leave first, so their unload events come before this clip's.
  while (!objects_.empty()) Destroy(objects_.end() - 1);
  if (context_.scripts != nullptr) context_.scripts->Unregister(*this);
  if (context_.sound != nullptr) context_.sound->ClipGone(SoundKey());
}

void Clip::QueueFirstFrame() {
  if (context_.scripts == nullptr || loaded_) return;
  loaded_ = true;
  // The root's load event follows its first frame, whose script usually sets onLoad, and the
  // first frames of the clips that frame placed.
  if (parent_ != nullptr) context_.scripts->QueueLoad(*this);
  if (!timeline_->frames.empty()) {
    QueueScriptsInTagOrder(0);
  } else {
    QueuePlacedFirstFrames();
  }
  if (parent_ == nullptr) context_.scripts->QueueLoad(*this);
}

void Clip::QueuePlacedFirstFrames(size_t script) {
  std::vector<Waiting> waiting;
  waiting.swap(placed_);
  for (const Waiting& child : waiting) {
    if (child.scripts_before > script) {
      placed_.push_back(child);
    } else if (child.clip->Link() != nullptr) {
      static_cast<Clip*>(child.clip->Link())->QueueFirstFrame();
    }
  }
}

void Clip::QueueScriptsInTagOrder(size_t frame) {
  size_t script = 0;
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    if (const auto* action = std::get_if<movie::ActionCommand>(&command)) {
      QueuePlacedFirstFrames(script++);
      QueueAction(*action);
    }
  }
  QueuePlacedFirstFrames();
}

const DisplayObject* Clip::At(int32_t depth) const {
  const auto it = std::lower_bound(
      objects_.begin(), objects_.end(), depth,
      [](const DisplayObject& object, int32_t d) { return object.place.depth < d; });
  return it != objects_.end() && it->place.depth == depth ? &*it : nullptr;
}

DisplayObject* Clip::Find(int32_t depth) {
  return const_cast<DisplayObject*>(std::as_const(*this).At(depth));
}

const Placement& Clip::Place() const {
  if (parent_ != nullptr) {
    if (const DisplayObject* self = parent_->At(depth_)) return self->place;
  }
  return root_place_;
}

Placement& Clip::MutablePlace() {
  return const_cast<Placement&>(std::as_const(*this).Place());
}

render::Matrix Clip::GlobalMatrix() const {
  const render::Matrix& own = Place().matrix;
  return parent_ ? parent_->GlobalMatrix() * own : own;
}

const Clip* Clip::MaskClip() const {
  avm1::ClipObject* mask = script_ ? script_->mask : nullptr;
  return mask && mask->Link() ? static_cast<const Clip*>(mask->Link()) : nullptr;
}

bool Clip::IsMaskOfAnother() const {
  return script_ != nullptr && script_->is_mask;
}

void Clip::AdvanceTimeline(bool loop) {
  DropLingering();
  if (!playing_ && context_.sound != nullptr) context_.sound->TimelineStopped(SoundKey());
  if (!playing_ || FrameCount() <= 1) return;
  if (current_ + 1 < FrameCount()) {
    EnterFrame(current_ + 1, true, Arrival::InOrder);
  } else if (loop && timeline_->ended) {
    GotoFrame(0);
  } else {
    playing_ = false;
  }
}

void Clip::GotoFrame(size_t frame) {
  if (FrameCount() == 0) return;
  // A frame past the end lands on the last one, whose scripts then do not run.
  const bool run_actions = frame < FrameCount();
  frame = std::min(frame, FrameCount() - 1);
  if (frame == current_) return;
  if (frame > current_) {
    for (size_t f = current_ + 1; f < frame; ++f) EnterFrame(f, false, Arrival::PassedOver);
    EnterFrame(frame, run_actions, Arrival::Jumped);
    return;
  }
  Rebuild(frame);
  StartFrameSounds(frame, Arrival::Jumped);
  if (run_actions) QueueActions(frame);
  QueuePlacedFirstFrames();
}

bool Clip::GotoLabel(std::string_view label) {
  const auto frame = timeline_->FindLabel(label);
  if (frame) GotoFrame(*frame);
  return frame.has_value();
}

size_t Clip::BytesLoaded() const {
  const movie::Movie& movie = library_.Movie();
  return timeline_ == &movie.root ? movie.loaded_length : timeline_->tag_bytes;
}

size_t Clip::BytesTotal() const {
  const movie::Movie& movie = library_.Movie();
  return timeline_ == &movie.root ? movie.file_length : timeline_->tag_bytes;
}

Clip* Clip::LoadMovie(MovieLibrary* library) {
  Clip* parent = parent_;
  DisplayObject* slot = parent ? parent->Find(depth_) : nullptr;
  if (slot == nullptr || slot->clip.get() != this) return nullptr;
  const int32_t depth = depth_;
  const std::string name = name_;
  MovieLibrary& from = library ? *library : library_;
  const movie::Timeline& timeline = library ? library->Movie().root : EmptyTimeline();
  // The loaded movie is the script's now: the parent's timeline no longer replaces it.
  slot->scripted = true;
  slot->character = nullptr;
  slot->library = &from;
  slot->place.character = 0;
  std::unique_ptr<Clip> old = std::move(slot->clip);
  old.reset();  // its unload events are queued; `this` is gone
  auto clip = std::make_unique<Clip>(parent->context_, from, timeline, parent->nesting_ + 1, parent,
                                     depth, name, 0);
  Clip* made = clip.get();
  slot = parent->Find(depth);
  if (slot == nullptr) return nullptr;
  slot->clip = std::move(clip);
  made->QueueFirstFrame();
  return made;
}

void Clip::EnterFrame(size_t frame, bool run_actions, Arrival arrival) {
  current_ = frame;
  RunInitActions(frame);
  StartFrameSounds(frame, arrival);
  // Actions queue in the order of the tags: after the first frames of clips placed ahead of
  // them, and ahead of the unload events of removals after them.
  frame_scripts_seen_ = 0;
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    if (const auto* place = std::get_if<movie::PlaceCommand>(&command)) {
      Place(*place);
    } else if (const auto* remove = std::get_if<movie::RemoveCommand>(&command)) {
      Remove(remove->depth);
    } else if (const auto* background = std::get_if<movie::BackgroundCommand>(&command)) {
      if (!context_.background_set) context_.background = background->color;
      context_.background_set = true;
    } else if (const auto* action = std::get_if<movie::ActionCommand>(&command)) {
      if (run_actions) {
        QueuePlacedFirstFrames(frame_scripts_seen_);
        QueueAction(*action);
      }
      ++frame_scripts_seen_;
    }
  }
  if (run_actions) QueuePlacedFirstFrames();
}

void Clip::StartFrameSounds(size_t frame, Arrival arrival) {
  if (context_.sound == nullptr || arrival == Arrival::PassedOver) return;
  constexpr uint16_t kStartSound = 15, kStartSound2 = 89;
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    const auto* other = std::get_if<movie::OtherCommand>(&command);
    if (other != nullptr && (other->code == kStartSound || other->code == kStartSound2)) {
      context_.sound->Start(other->code, other->body, SoundKey(), library_.Movie());
    }
  }
  context_.sound->EnteredFrame(*timeline_, frame, arrival == Arrival::InOrder, SoundKey());
}

void Clip::QueueActions(size_t frame) {
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    if (const auto* action = std::get_if<movie::ActionCommand>(&command)) QueueAction(*action);
  }
}

void Clip::QueueAction(const movie::ActionCommand& action) {
  if (context_.scripts != nullptr) {
    context_.scripts->QueueActions(*this, action.actions);
  } else if (action.stops) {
    playing_ = false;
  }
}

void Clip::RunInitActions(size_t frame) {
  if (context_.scripts == nullptr) return;
  constexpr uint16_t kDoInitAction = 59;
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    const auto* other = std::get_if<movie::OtherCommand>(&command);
    if (other == nullptr || other->code != kDoInitAction || other->body.size() < 2) continue;
    const auto sprite = static_cast<uint16_t>(other->body[0] | other->body[1] << 8);
    context_.scripts->RunInitActions(*this, library_, sprite, other->body.subspan(2));
  }
}

void Clip::Place(const movie::PlaceCommand& command) {
  DisplayObject* existing = Find(command.depth);
  if (existing != nullptr && existing->scripted) return;
  if (command.move) {
    if (existing == nullptr) return;
    Placement place = existing->place;
    ApplyPlace(command, place);
    if (place.character != existing->place.character) {
      if (existing->clip && existing->clip->button_ != nullptr) {
        // A button is not replaced: it stays, with its name, and only moves. It is taken for
        // the new character's, so that going back to where the old one was placed makes it
        // afresh.
        place.name = existing->place.name;
      } else if (existing->clip) {
        // A sprite instance is never replaced: the tag only moves it.
        place.character = existing->place.character;
        place.name = existing->place.name;
        place.clip_actions = existing->place.clip_actions;
      } else {
        Create(place);  // replace: a new instance that keeps the old one's properties
        return;
      }
    }
    // A clip a script has moved keeps where the script put it.
    if (existing->clip && existing->clip->transformed_) {
      place.matrix = existing->place.matrix;
      place.cxform = existing->place.cxform;
    } else if (existing->clip && command.matrix) {
      existing->clip->scale_.valid = false;
    }
    if (existing->clip && existing->clip->filtered_) place.filters = existing->place.filters;
    if (existing->clip && existing->clip->blended_) place.blend = existing->place.blend;
    existing->place = place;
    return;
  }
  if (!command.character) return;
  Placement place;
  place.depth = command.depth;
  ApplyPlace(command, place);
  Create(place);
}

void Clip::Remove(int32_t depth) {
  auto it = LowerBound(objects_, depth);
  if (it != objects_.end() && it->place.depth == depth && !it->scripted && !Linger(it)) {
    Destroy(it);
  }
}

bool Clip::Linger(std::vector<DisplayObject>::iterator it) {
  if (it->clip == nullptr || context_.scripts == nullptr || !it->clip->HearsUnload()) return false;
  it->clip->QueueUnload();
  DisplayObject object = std::move(*it);
  objects_.erase(it);
  // Depth d goes to -32769 - d as scripts count: below every depth the timeline or scripts use.
  // Scripts count a button's characters one deeper (see Depth).
  const int32_t depth = (button_ != nullptr ? -3 : -1) - object.place.depth;
  if (DisplayObject* old = Find(depth)) Destroy(objects_.begin() + (old - objects_.data()));
  object.place.depth = depth;
  object.place.visible = false;
  object.scripted = true;
  object.unloading = true;
  object.clip->depth_ = depth;
  objects_.insert(LowerBound(objects_, depth), std::move(object));
  lingering_ = true;
  return true;
}

void Clip::DropLingering() {
  if (!lingering_) return;
  lingering_ = false;
  for (size_t i = 0; i < objects_.size();) {
    if (objects_[i].unloading) {
      Destroy(objects_.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
}

bool Clip::HearsUnload() {
  if (context_.scripts->HearsUnload(*this)) return true;
  for (DisplayObject& object : objects_) {
    if (object.clip && object.clip->HearsUnload()) return true;
  }
  return false;
}

// In the order removal would hear them: the deepest child first, each child's content before it.
void Clip::QueueUnload() {
  for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
    if (it->clip) it->clip->QueueUnload();
  }
  if (!loaded_ || unload_queued_) return;
  context_.scripts->QueueUnload(*this);
  unload_queued_ = true;
}

void Clip::Destroy(std::vector<DisplayObject>::iterator it) {
  // Taken out of the list first, so that what its removal runs sees the list without it.
  std::unique_ptr<Clip> clip = std::move(it->clip);
  objects_.erase(it);
  --context_.objects;
  clip.reset();
}

DisplayObject* Clip::Create(const Placement& place) {
  auto old = LowerBound(objects_, place.depth);
  if (old != objects_.end() && old->place.depth == place.depth) Destroy(old);
  if (context_.objects >= StageContext::kMaxObjects) return nullptr;
  const MovieLibrary::Found found = library_.Find(place.character);
  DisplayObject object;
  object.place = place;
  object.character = found.character;
  object.library = found.library;
  auto it = objects_.insert(LowerBound(objects_, place.depth), std::move(object));
  ++context_.objects;
  const movie::Character* character = it->character;
  if (character && TextShapes::IsField(*character)) {
    std::string name(place.name);
    if (name.empty()) name = "instance" + std::to_string(++context_.unnamed);
    AttachField(*it, found.library->Texts().MakeField(*character), std::move(name));
  }
  // A button shows its up state until the pointer comes to it.
  const movie::Timeline* timeline = nullptr;
  if (character && character->sprite) timeline = character->sprite.get();
  if (character && character->button) timeline = &character->button->states[movie::ButtonData::kUp];
  // A video shows nothing here, but scripts reach it by name.
  if (character && character->kind == movie::Character::Kind::Video) timeline = &EmptyTimeline();
  if (timeline && nesting_ < StageContext::kMaxNesting && context_.MayMakeClip()) {
    // The timeline names the clips it places without a name.
    std::string name(place.name);
    if (name.empty()) name = "instance" + std::to_string(++context_.unnamed);
    auto clip = std::make_unique<Clip>(context_, *found.library, *timeline, nesting_ + 1, this,
                                       place.depth, std::move(name), found.id);
    Clip* made = clip.get();
    DisplayObject* slot = Find(place.depth);
    if (slot == nullptr) return nullptr;
    slot->clip = std::move(clip);
    if (made->script_ != nullptr) placed_.push_back({made->script_, frame_scripts_seen_});
    return slot;
  }
  return &*it;
}

void Clip::Rebuild(size_t frame) {
  scratch_.clear();
  for (size_t f = 0; f <= frame; ++f) ReplayInto(timeline_->frames[f], scratch_);
  current_ = frame;
  // Objects that the target frame still shows with the same character and ratio survive (but
  // for an ActionScript 3 movie's clips placed without a ratio), and so does what scripts moved.
  // What scripts made survives only at script depths.
  for (size_t i = 0; i < objects_.size();) {
    DisplayObject& object = objects_[i];
    auto want = LowerBound(scratch_, object.place.depth);
    const bool listed = want != scratch_.end() && want->depth == object.place.depth;
    if (object.made_by_script && object.place.depth < kScriptDepthBias) {
      Destroy(objects_.begin() + static_cast<long>(i));
      continue;
    }
    if (object.scripted) {
      ++i;
      continue;
    }
    // A clip is known by the ratio it was placed with, where it was given one: the timeline's
    // placement of another character with that ratio finds the clip already there.
    const bool same_ratio = listed && want->ratio == object.place.ratio;
    const bool same_clip = listed && object.clip != nullptr && want->ratio != 0;
    const bool remade =
        context_.remake_clips_on_rewind && object.clip != nullptr && want->ratio == 0;
    const bool keep =
        !remade && same_ratio && (want->character == object.place.character || same_clip);
    if (keep) {
      // What scripts set stays: visibility, and the transform of a clip they moved.
      const Placement before = object.place;
      object.place = *want;
      object.place.character = before.character;
      object.place.name = before.name;
      object.place.visible = before.visible;
      if (object.clip && object.clip->transformed_) {
        object.place.matrix = before.matrix;
        object.place.cxform = before.cxform;
      }
      ++i;
    } else if (Linger(objects_.begin() + static_cast<long>(i))) {
      ++i;  // it went ahead of `i`, which now holds the object before it, already seen
    } else {
      Destroy(objects_.begin() + static_cast<long>(i));
    }
  }
  for (const Placement& place : scratch_) {
    if (Find(place.depth) == nullptr) Create(place);
  }
}

void Clip::ShowButtonState(movie::ButtonData::State state) {
  if (button_ == nullptr || state == button_state_) return;
  // What the last change left to hear its unload is gone by the next.
  DropLingering();
  button_state_ = state;
  timeline_ = &button_->states[state];
  Rebuild(0);
  QueuePlacedFirstFrames();
}

// --- Hit testing ----------------------------------------------------------------------------

bool Clip::Covers(render::Point stage, bool visible_only) const {
  return ContentCovers(Inverse(GlobalMatrix()).Apply(stage), visible_only);
}

bool Clip::ButtonAreaCovers(render::Point stage, int& visits) const {
  if (button_ == nullptr) return false;
  const render::Point local = Inverse(GlobalMatrix()).Apply(stage);
  for (const movie::ButtonRecord& record : button_->records) {
    if (!(record.states & movie::ButtonData::kHitBit)) continue;
    const MovieLibrary::Found found = library_.Find(record.character);
    if (found.character == nullptr) continue;
    const render::Point p = Inverse(record.matrix).Apply(local);
    if (CharacterCovers(*found.library, *found.character, p, visits)) return true;
  }
  return false;
}

FieldHandle* Clip::FieldAt(render::Point stage, render::Point& local, int nesting) {
  if (nesting > StageContext::kMaxNesting) return nullptr;
  for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
    if (!it->place.visible || it->place.clip_depth != 0) continue;
    if (it->clip) {
      if (FieldHandle* found = it->clip->FieldAt(stage, local, nesting + 1)) return found;
      continue;
    }
    if (!it->field) continue;
    const render::Point p = Inverse(GlobalMatrix() * it->place.matrix).Apply(stage);
    const render::Rect& b = it->field->Bounds();
    if (p.x >= b.x_min && p.x <= b.x_max && p.y >= b.y_min && p.y <= b.y_max) {
      local = p;
      return it->field_link.get();
    }
  }
  return nullptr;
}

// Shapes under a scale-9 grid are hit where they are drawn: the point is taken back through
// the grid's mapping. Text and inner clips are drawn without it.
bool Clip::ContentCovers(render::Point local, bool visible_only) const {
  std::optional<ScaleGrid> grid;
  if (scaling_grid_) grid = ScaleGrid::For(*scaling_grid_, LocalBounds(), GlobalMatrix());
  const render::Point unmapped = grid ? grid->Unmap(local) : local;
  auto at = [&](const DisplayObject& object) {
    const bool remapped = !object.clip && !object.field && object.character != nullptr &&
                          object.character->kind != movie::Character::Kind::Text;
    return remapped ? unmapped : local;
  };
  if (const render::ShapeGeometry* drawn = drawing_.Geometry()) {
    if (ShapeContains(*drawn, unmapped)) return true;
  }
  // Masks take their part: what a mask hides is not hit.
  for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
    if (it->place.clip_depth != 0 || (it->clip && it->clip->IsMaskOfAnother())) continue;
    if (visible_only && !it->place.visible) continue;
    if (!ObjectCovers(*it, at(*it), visible_only)) continue;
    const DisplayObject* mask = MaskOver(*it);
    if (mask == nullptr || ObjectCovers(*mask, at(*mask), false)) return true;
  }
  return false;
}

bool Clip::MaskAllows(const DisplayObject& object, render::Point stage) const {
  const DisplayObject* mask = MaskOver(object);
  return mask == nullptr || ObjectCovers(*mask, Inverse(GlobalMatrix()).Apply(stage), false);
}

const DisplayObject* Clip::MaskOver(const DisplayObject& object) const {
  const DisplayObject* found = nullptr;
  for (const DisplayObject& other : objects_) {
    if (other.place.depth >= object.place.depth) break;
    if (other.place.clip_depth >= object.place.depth) found = &other;
  }
  return found;
}

bool Clip::ObjectCovers(const DisplayObject& object, render::Point parent,
                        bool visible_only) const {
  const render::Point p = Inverse(object.place.matrix).Apply(parent);
  if (object.clip) return object.clip->ContentCovers(p, visible_only);
  if (object.field) {
    const render::Rect& b = object.field->Box().bounds;
    return p.x >= b.x_min && p.x <= b.x_max && p.y >= b.y_min && p.y <= b.y_max;
  }
  if (object.bitmap) {
    const render::ShapeGeometry* picture = object.bitmap->Geometry();
    return picture != nullptr && ShapeContains(*picture, p);
  }
  const MovieLibrary::Found found = library_.Find(object.place.character);
  if (found.character == nullptr) return false;
  int visits = kMaxCoverVisits;
  return CharacterCovers(*found.library, *found.character, p, visits, object.place.ratio);
}

// --- Scripts' view --------------------------------------------------------------------------

namespace {

// Shapes, static text and bitmaps have no script object: their names reach the clip holding them.
bool NamesItsParent(const DisplayObject& object) {
  using Kind = movie::Character::Kind;
  if (object.clip || object.field || object.character == nullptr) return false;
  const Kind kind = object.character->kind;
  return kind == Kind::Shape || kind == Kind::MorphShape || kind == Kind::Text ||
         kind == Kind::Bitmap;
}

}  // namespace

avm1::ClipLink* Clip::Child(std::string_view name, bool case_sensitive) {
  for (DisplayObject& object : objects_) {
    if (object.clip && avm1::SameName(object.clip->name_, name, case_sensitive)) {
      return object.clip.get();
    }
    if (!object.place.name.empty() && avm1::SameName(object.place.name, name, case_sensitive) &&
        NamesItsParent(object)) {
      return this;
    }
  }
  return nullptr;
}

void Clip::Children(std::vector<ClipLink*>& out) {
  for (auto it = objects_.rbegin(); it != objects_.rend(); ++it) {
    if (it->clip) out.push_back(it->clip.get());
  }
}

avm1::ClipLink* Clip::ChildAtDepth(int32_t depth) {
  const int64_t internal = int64_t{depth} + kScriptDepthBias;
  if (internal < INT32_MIN || internal > INT32_MAX) return nullptr;
  DisplayObject* object = Find(static_cast<int32_t>(internal));
  return object ? object->clip.get() : nullptr;
}

void Clip::FillScaleCache() {
  if (scale_.valid) return;
  const render::Matrix& m = Place().matrix;
  const double a = m.a, b = m.b, c = m.c, d = m.d;
  scale_.xscale = std::sqrt(a * a + b * b) * 100;
  scale_.yscale = std::sqrt(c * c + d * d) * 100;
  scale_.rotation = std::atan2(b, a) * 180 / kPi;
  // The y axis keeps its angle to the x axis (a flip is half a turn) whatever scripts set.
  scale_.skew = c == 0 && d == 0 ? 0 : std::atan2(-c, d) - std::atan2(b, a);
  scale_.valid = true;
}

void Clip::ApplyScaleCache() {
  render::Matrix& m = MutablePlace().matrix;
  const double r = scale_.rotation * kPi / 180;
  const double sx = scale_.xscale / 100, sy = scale_.yscale / 100;
  // The player keeps these in 16.16 fixed point, cut toward zero: a turn by a right angle leaves
  // exact zeros.
  auto fixed = [](double v) { return static_cast<float>(std::trunc(v * 65536) / 65536); };
  m.a = fixed(sx * std::cos(r));
  m.b = fixed(sx * std::sin(r));
  m.c = fixed(-sy * std::sin(r + scale_.skew));
  m.d = fixed(sy * std::cos(r + scale_.skew));
}

void Clip::AttachField(DisplayObject& object, std::unique_ptr<text::TextField> field,
                       std::string name) {
  if (!field) return;
  object.field = std::move(field);
  object.field_link = std::make_unique<FieldHandle>(*this, *object.field, std::move(name));
  ShowBoundVariable(*object.field);
}

DisplayObject* Clip::FieldEntry(const FieldHandle& field) {
  for (DisplayObject& object : objects_) {
    if (object.field_link.get() == &field) return &object;
  }
  return nullptr;
}

void Clip::RemoveField(const FieldHandle& field) {
  for (auto it = objects_.begin(); it != objects_.end(); ++it) {
    if (it->field_link.get() != &field) continue;
    if (it->place.depth >= kScriptDepthBias) Destroy(it);
    return;
  }
}

avm1::FieldLink* Clip::ChildField(std::string_view name, bool case_sensitive) {
  for (DisplayObject& object : objects_) {
    if (object.field_link && avm1::SameName(object.field_link->FieldName(), name, case_sensitive)) {
      return object.field_link.get();
    }
  }
  return nullptr;
}

avm1::FieldLink* Clip::CreateTextField(std::string_view name, int32_t depth, double x, double y,
                                       double width, double height) {
  const int64_t internal = int64_t{depth} + kScriptDepthBias;
  if (internal < 0 || internal > INT32_MAX || context_.objects >= StageContext::kMaxObjects) {
    return nullptr;
  }
  auto twips = [](double v) {
    return static_cast<float>(std::trunc(std::clamp(v, -1e7, 1e7) * 20));
  };
  Placement place;
  place.depth = static_cast<int32_t>(internal);
  place.matrix = render::Matrix::Translate(twips(x), twips(y));
  auto old = LowerBound(objects_, place.depth);
  if (old != objects_.end() && old->place.depth == place.depth) Destroy(old);
  DisplayObject object;
  object.place = place;
  object.scripted = true;
  object.made_by_script = true;
  auto it = objects_.insert(LowerBound(objects_, place.depth), std::move(object));
  ++context_.objects;
  text::EditTextDef def;
  // A negative size spans the other way from the corner.
  const float w = twips(width), h = twips(height);
  def.bounds = {std::min(0.0f, w), std::min(0.0f, h), std::max(0.0f, w), std::max(0.0f, h)};
  AttachField(*it, library_.Texts().MakeField(def), std::string(name));
  return it->field_link.get();
}

void Clip::ShowBoundVariable(text::TextField& field) const {
  if (field.Variable().empty() || script_ == nullptr || context_.scripts == nullptr) return;
  avm1::Vm& vm = context_.scripts->Engine();
  if (const auto value = vm.ReadBound(script_, field.Variable())) {
    field.ShowVariable(*value);
  } else if (!field.VariableShown()) {
    vm.WriteBound(script_, field.Variable(), field.Text());
    field.ShowVariable(field.Text());
  }
}

const render::ShapeGeometry* Clip::ShapeOf(const DisplayObject& object) const {
  if (object.bitmap) return object.bitmap->Geometry();
  if (object.character == nullptr) return nullptr;
  if (object.character->shape) return object.character->shape.get();
  return object.library ? object.library->Texts().StaticText(*object.character) : nullptr;
}

render::Rect Clip::LocalBounds() const {
  if (scroll_rect_) {
    // A scrolled clip is as large as the part it shows.
    constexpr float kTwips = 20;
    return {0, 0, static_cast<float>(scroll_rect_->width) * kTwips,
            static_cast<float>(scroll_rect_->height) * kTwips};
  }
  render::Rect r;
  bool any = false;
  if (const render::ShapeGeometry* drawn = drawing_.Geometry()) {
    Include(r, any, drawn->bounds, {});
  }
  for (const DisplayObject& object : objects_) {
    if (object.clip) {
      render::Rect child = object.clip->LocalBounds();
      if (!child.Empty() || child.x_max > child.x_min) Include(r, any, child, object.place.matrix);
    } else if (object.field) {
      Include(r, any, object.field->Geometry().bounds, object.place.matrix);
    } else if (const render::ShapeGeometry* shape = ShapeOf(object)) {
      Include(r, any, shape->bounds, object.place.matrix);
    }
  }
  if (!any) return {};
  return r;
}

double Clip::Get(avm1::ClipProperty property) {
  using P = avm1::ClipProperty;
  const Placement& p = Place();
  switch (property) {
    case P::X:
      return p.matrix.tx / 20.0;
    case P::Y:
      return p.matrix.ty / 20.0;
    case P::XScale:
      FillScaleCache();
      return scale_.xscale;
    case P::YScale:
      FillScaleCache();
      return scale_.yscale;
    case P::Rotation:
      FillScaleCache();
      return scale_.rotation;
    case P::Alpha:
      return static_cast<double>(p.cxform.mul_a) * 100;
    case P::Visible:
      return p.visible ? 1 : 0;
    case P::Width:
    case P::Height: {
      render::Rect box;
      bool any = false;
      Include(box, any, LocalBounds(), p.matrix);
      if (!any) return 0;
      // In whole twips, as the player keeps its rectangles.
      return (property == P::Width ? std::round(box.x_max) - std::round(box.x_min)
                                   : std::round(box.y_max) - std::round(box.y_min)) /
             20.0;
    }
    case P::CurrentFrame:
      return static_cast<double>(current_ + 1);
    case P::TotalFrames:
    case P::FramesLoaded:
      return static_cast<double>(FrameCount());
    case P::HighQuality:
      return 1;
    case P::SoundBufTime:
      return 5;
    case P::XMouse:
    case P::YMouse: {
      double x = context_.scripts ? context_.scripts->MouseX() : 0;
      double y = context_.scripts ? context_.scripts->MouseY() : 0;
      GlobalToLocal(x, y);
      return property == P::XMouse ? x : y;
    }
    default:
      return 0;
  }
}

void Clip::Set(avm1::ClipProperty property, double value) {
  using P = avm1::ClipProperty;
  Placement& p = MutablePlace();
  if (property != P::Visible) transformed_ = true;
  switch (property) {
    case P::X:
    case P::Y: {
      const float twips = static_cast<float>(std::trunc(std::clamp(value, -1e7, 1e7) * 20));
      (property == P::X ? p.matrix.tx : p.matrix.ty) = twips;
      FillScaleCache();
      return;
    }
    case P::XScale:
    case P::YScale:
    case P::Rotation: {
      FillScaleCache();
      double& slot = property == P::XScale   ? scale_.xscale
                     : property == P::YScale ? scale_.yscale
                                             : scale_.rotation;
      slot = property == P::Rotation ? std::remainder(value, 360.0) : value;
      if (property == P::Rotation && slot == -180) slot = 180;
      ApplyScaleCache();
      return;
    }
    case P::Width:
    case P::Height: {
      const double now = Get(property);
      FillScaleCache();
      if (now != 0) {
        (property == P::Width ? scale_.xscale : scale_.yscale) *= value / now;
        ApplyScaleCache();
      }
      return;
    }
    case P::Alpha:
      FillScaleCache();
      p.cxform.mul_a = static_cast<float>(FixedMultiplier(value / 100));
      return;
    case P::Visible:
      p.visible = value != 0;
      return;
    default:
      return;
  }
}

avm1::ClipMatrix Clip::GetMatrix() {
  const render::Matrix& m = Place().matrix;
  return {m.a, m.b, m.c, m.d, m.tx / 20.0, m.ty / 20.0};
}

void Clip::SetMatrix(const avm1::ClipMatrix& matrix) {
  auto number = [](double v) { return static_cast<float>(std::isfinite(v) ? v : 0); };
  auto twips = [](double v) {
    return static_cast<float>(std::trunc(std::clamp(std::isfinite(v) ? v : 0, -1e7, 1e7) * 20));
  };
  MutablePlace().matrix = {number(matrix.a), number(matrix.b), number(matrix.c),
                           number(matrix.d), twips(matrix.tx), twips(matrix.ty)};
  transformed_ = true;
  scale_.valid = false;
}

void Clip::SetFilters(std::vector<avm1::FilterSettings> filters) {
  MutablePlace().filters = std::move(filters);
  filtered_ = true;
}

void Clip::SetBlendMode(int mode) {
  constexpr int kLast = static_cast<int>(render::BlendMode::HardLight) + 1;
  if (mode < 1 || mode > kLast) return;
  MutablePlace().blend = static_cast<render::BlendMode>(mode - 1);
  blended_ = true;
}

std::optional<avm1::ClipRect> Clip::Scale9Grid() {
  if (!scaling_grid_) return std::nullopt;
  const render::Rect& g = *scaling_grid_;
  return avm1::ClipRect{g.x_min / 20.0, g.y_min / 20.0, (g.x_max - g.x_min) / 20.0,
                        (g.y_max - g.y_min) / 20.0};
}

void Clip::SetScale9Grid(std::optional<avm1::ClipRect> grid) {
  scaling_grid_.reset();
  if (!grid) return;
  auto twips = [](double v) { return static_cast<float>(std::clamp(v, -1e7, 1e7) * 20); };
  const render::Rect g{twips(grid->x), twips(grid->y), twips(grid->x + grid->width),
                       twips(grid->y + grid->height)};
  if (!g.Empty()) scaling_grid_ = g;
}

void Clip::SetScrollRect(std::optional<avm1::ClipRect> rect) {
  scroll_rect_ = rect;
  scroll_mask_.Clear();
  if (!rect) return;
  scroll_mask_.BeginFill(0, 100);
  scroll_mask_.MoveTo(0, 0);
  scroll_mask_.LineTo(rect->width, 0);
  scroll_mask_.LineTo(rect->width, rect->height);
  scroll_mask_.LineTo(0, rect->height);
  scroll_mask_.LineTo(0, 0);
  scroll_mask_.EndFill();
}

render::Matrix Clip::ScrollShift() const {
  if (!scroll_rect_) return {};
  constexpr double kTwips = 20;
  return {1,
          0,
          0,
          1,
          static_cast<float>(-scroll_rect_->x * kTwips),
          static_cast<float>(-scroll_rect_->y * kTwips)};
}

const render::ShapeGeometry* Clip::BackgroundShape() {
  if (!opaque_background_) return nullptr;
  const render::Rect bounds = LocalBounds();
  if (bounds.Empty()) return nullptr;
  const bool same =
      bounds.x_min == background_bounds_.x_min && bounds.y_min == background_bounds_.y_min &&
      bounds.x_max == background_bounds_.x_max && bounds.y_max == background_bounds_.y_max;
  if (!same || background_.Geometry() == nullptr) {
    background_bounds_ = bounds;
    constexpr double kPixel = 1.0 / 20;
    background_.Clear();
    background_.BeginFill(*opaque_background_ & 0xFFFFFF, 100);
    background_.MoveTo(bounds.x_min * kPixel, bounds.y_min * kPixel);
    background_.LineTo(bounds.x_max * kPixel, bounds.y_min * kPixel);
    background_.LineTo(bounds.x_max * kPixel, bounds.y_max * kPixel);
    background_.LineTo(bounds.x_min * kPixel, bounds.y_max * kPixel);
    background_.LineTo(bounds.x_min * kPixel, bounds.y_min * kPixel);
    background_.EndFill();
  }
  return background_.Geometry();
}

avm1::ColorTransformValues Clip::GetColorTransform() {
  const render::ColorTransform& c = Place().cxform;
  avm1::ColorTransformValues v;
  const float mul[] = {c.mul_r, c.mul_g, c.mul_b, c.mul_a};
  const float add[] = {c.add_r, c.add_g, c.add_b, c.add_a};
  for (int i = 0; i < 4; ++i) {
    v.multiply[i] = mul[i];
    v.add[i] = add[i];
  }
  return v;
}

void Clip::SetColorTransform(const avm1::ColorTransformValues& v) {
  render::ColorTransform& c = MutablePlace().cxform;
  auto f = [](double x) { return static_cast<float>(std::clamp(x, -1e6, 1e6)); };
  c = {f(v.multiply[0]), f(v.multiply[1]), f(v.multiply[2]), f(v.multiply[3]),
       f(v.add[0]),      f(v.add[1]),      f(v.add[2]),      f(v.add[3])};
  transformed_ = true;
}

avm1::ClipBounds Clip::Bounds(ClipLink* space) {
  // In its own space no matrix is inverted, so a flattened clip still has its bounds.
  if (space == this) return BoundsIn({});
  return BoundsIn(Inverse(static_cast<Clip*>(space)->GlobalMatrix()) * GlobalMatrix());
}

avm1::ClipBounds Clip::BoundsIn(const render::Matrix& to_space) {
  return WholeTwips(LocalBounds(), to_space);
}

avm1::ClipBounds Clip::HitAreaBoundsIn(const render::Matrix& to_space) {
  if (button_ == nullptr) return {};
  render::Rect box;
  bool any = false;
  for (const movie::ButtonRecord& record : button_->records) {
    if (!(record.states & movie::ButtonData::kHitBit)) continue;
    const MovieLibrary::Found found = library_.Find(record.character);
    int visits = kMaxCoverVisits;
    if (found.character)
      CharacterBox(*found.library, *found.character, record.matrix, box, any, visits);
  }
  return any ? WholeTwips(box, to_space) : avm1::ClipBounds{};
}

avm1::ClipBounds Clip::WholeTwips(const render::Rect& local, const render::Matrix& to_space) {
  avm1::ClipBounds out;
  if (local.x_max <= local.x_min && local.y_max <= local.y_min && local.x_min == 0 &&
      local.x_max == 0) {
    return out;
  }
  render::Rect box;
  bool any = false;
  Include(box, any, local, to_space);
  // The player keeps rectangles in whole twips.
  out.x_min = std::round(box.x_min) / 20.0;
  out.y_min = std::round(box.y_min) / 20.0;
  out.x_max = std::round(box.x_max) / 20.0;
  out.y_max = std::round(box.y_max) / 20.0;
  out.empty = false;
  return out;
}

void Clip::LocalToGlobal(double& x, double& y) {
  const render::Point p =
      GlobalMatrix().Apply({static_cast<float>(x * 20), static_cast<float>(y * 20)});
  x = p.x / 20.0;
  y = p.y / 20.0;
}

void Clip::GlobalToLocal(double& x, double& y) {
  const render::Matrix global = GlobalMatrix();
  // A flattened clip has no inside to map to: the point stays as it was.
  if (static_cast<double>(global.a) * global.d == static_cast<double>(global.b) * global.c) return;
  const render::Point p =
      Inverse(global).Apply({static_cast<float>(x * 20), static_cast<float>(y * 20)});
  x = p.x / 20.0;
  y = p.y / 20.0;
}

// The point is in the root's coordinates; it is tested on the stage, against what the clip
// paints or against the stage box around its bounds. Movies before version 7 test the shape of a
// clip whose parents are moved or scaled as their player did: it carried the point through the
// parents' matrices forwards, not backwards, then into the clip's own space.
bool Clip::HitTest(double x, double y, bool shape) {
  if (!std::isfinite(x) || !std::isfinite(y)) return false;
  const render::Point point{static_cast<float>(std::clamp(x, -1e7, 1e7) * 20),
                            static_cast<float>(std::clamp(y, -1e7, 1e7) * 20)};
  if (shape && library_.Version() < 7) {
    const render::Point outer = parent_ ? parent_->GlobalMatrix().Apply(point) : point;
    return ContentCovers(Inverse(Place().matrix).Apply(outer), false);
  }
  const Clip* root = this;
  while (root->parent_ != nullptr) root = root->parent_;
  const render::Point stage = root->GlobalMatrix().Apply(point);
  if (shape) return Covers(stage, false);
  // The box and the point meet in whole twips.
  render::Rect box;
  if (!StageBox(box)) return false;
  const float px = std::round(stage.x), py = std::round(stage.y);
  return px >= std::round(box.x_min) && px <= std::round(box.x_max) &&
         py >= std::round(box.y_min) && py <= std::round(box.y_max);
}

bool Clip::HitTest(ClipLink& other) {
  render::Rect a, b;
  return StageBox(a) && static_cast<Clip&>(other).StageBox(b) && a.x_min <= b.x_max &&
         b.x_min <= a.x_max && a.y_min <= b.y_max && b.y_min <= a.y_max;
}

bool Clip::StageBox(render::Rect& box) const {
  const render::Rect local = LocalBounds();
  if (local.x_min == 0 && local.x_max == 0 && local.y_min == 0 && local.y_max == 0) return false;
  bool any = false;
  Include(box, any, local, GlobalMatrix());
  return true;
}

void Clip::GotoFrame(size_t frame, bool play) {
  playing_ = play;
  GotoFrame(frame);
}

long Clip::FindLabel(std::string_view label) {
  for (size_t i = 0; i < timeline_->frames.size(); ++i) {
    for (const std::string& l : timeline_->frames[i].labels) {
      if (avm1::SameAsciiName(l, label)) return static_cast<long>(i);
    }
  }
  return -1;
}

void Clip::CallFrame(size_t frame) {
  if (frame >= FrameCount() || context_.scripts == nullptr) return;
  for (const movie::FrameCommand& command : timeline_->frames[frame].commands) {
    if (const auto* action = std::get_if<movie::ActionCommand>(&command)) {
      context_.scripts->RunNow(*this, action->actions);
    }
  }
}

Clip* Clip::AddScripted(const MovieLibrary::Found& symbol, const movie::Timeline& timeline,
                        std::string_view name, int32_t depth, const Placement* like) {
  const int64_t internal = int64_t{depth} + kScriptDepthBias;
  if (internal > INT32_MAX || nesting_ >= StageContext::kMaxNesting ||
      context_.objects >= StageContext::kMaxObjects || !context_.MayMakeClip()) {
    return nullptr;
  }
  Placement place = like ? *like : Placement{};
  place.depth = static_cast<int32_t>(internal);
  place.character = symbol.id;
  place.name = {};
  place.clip_depth = 0;
  auto old = LowerBound(objects_, place.depth);
  if (old != objects_.end() && old->place.depth == place.depth) Destroy(old);
  DisplayObject object;
  object.place = place;
  object.character = symbol.character;
  object.library = symbol.library;
  object.scripted = true;
  object.made_by_script = true;
  objects_.insert(LowerBound(objects_, place.depth), std::move(object));
  ++context_.objects;
  auto clip = std::make_unique<Clip>(context_, *symbol.library, timeline, nesting_ + 1, this,
                                     place.depth, std::string(name), symbol.id);
  Clip* made = clip.get();
  DisplayObject* slot = Find(place.depth);
  if (slot == nullptr) return nullptr;
  slot->clip = std::move(clip);
  made->QueueFirstFrame();
  return made;
}

namespace {

// attachMovie and duplicateMovieClip make clips from the lowest timeline depth up to this one;
// createEmptyMovieClip takes any depth.
bool AttachableDepth(int32_t depth) {
  constexpr int64_t kMaxDepth = 2130706428;
  const int64_t internal = int64_t{depth} + kScriptDepthBias;
  return internal >= 0 && internal <= kMaxDepth;
}

}  // namespace

avm1::ClipLink* Clip::CreateEmpty(std::string_view name, int32_t depth) {
  return AddScripted({nullptr, &library_, 0}, EmptyTimeline(), name, depth, nullptr);
}

void Clip::AttachBitmap(std::shared_ptr<const avm1::BitmapPixels> pixels, int32_t depth,
                        avm1::PixelSnapping snapping, bool smooth) {
  if (!AttachableDepth(depth)) return;
  const int32_t internal = depth + kScriptDepthBias;
  auto old = LowerBound(objects_, internal);
  if (old != objects_.end() && old->place.depth == internal) Destroy(old);
  if (context_.objects >= StageContext::kMaxObjects) return;
  DisplayObject object;
  object.place.depth = internal;
  object.scripted = object.made_by_script = true;
  object.bitmap = std::make_unique<AttachedBitmap>(std::move(pixels), snapping, smooth);
  objects_.insert(LowerBound(objects_, internal), std::move(object));
  ++context_.objects;
}

avm1::ClipLink* Clip::Attach(std::string_view symbol, std::string_view name, int32_t depth) {
  const MovieLibrary::Found found = library_.FindSymbol(symbol);
  if (found.character == nullptr || !found.character->sprite) return nullptr;
  if (!AttachableDepth(depth)) return nullptr;
  return AddScripted(found, *found.character->sprite, name, depth, nullptr);
}

avm1::ClipLink* Clip::Duplicate(std::string_view name, int32_t depth) {
  if (parent_ == nullptr || !AttachableDepth(depth)) return nullptr;
  // The copy may take this clip's own depth, and so end it: nothing of `this` is read after.
  const Placement like = Place();
  const DisplayObject* self = parent_->At(depth_);
  const MovieLibrary::Found symbol{self ? self->character : nullptr, &library_, character_};
  Drawing drawing = drawing_;
  Clip* copy = parent_->AddScripted(symbol, *timeline_, std::string(name), depth, &like);
  if (copy != nullptr) copy->drawing_ = std::move(drawing);
  return copy;
}

void Clip::Remove() {
  // Only clips at script depths can be removed; the very deepest ones are kept as well, and
  // movies before version 7 keep those from 2^20 on.
  const int64_t deepest =
      library_.Version() < 7 ? (int64_t{1} << 20) + kScriptDepthBias : int64_t{2130706416};
  if (parent_ == nullptr || depth_ < kScriptDepthBias || depth_ >= deepest) return;
  Clip* parent = parent_;
  auto it = LowerBound(parent->objects_, depth_);
  if (it != parent->objects_.end() && it->place.depth == depth_) parent->Destroy(it);
  // `this` is gone now.
}

void Clip::SwapDepths(int32_t depth) {
  // A clip below the timeline's depths or among the very deepest stays where it is.
  constexpr int32_t kMaxSwappableDepth = 2130706428;
  if (parent_ == nullptr || depth_ < 0 || depth_ > kMaxSwappableDepth) return;
  const int64_t internal = int64_t{depth} + kScriptDepthBias;
  if (internal < INT32_MIN || internal > INT32_MAX || internal == depth_) return;
  const auto target = static_cast<int32_t>(internal);
  std::vector<DisplayObject>& list = parent_->objects_;
  DisplayObject* mine = parent_->Find(depth_);
  if (mine == nullptr) return;
  mine->scripted = true;
  if (DisplayObject* other = parent_->Find(target)) {
    other->scripted = true;
    other->place.depth = depth_;
    if (other->clip) other->clip->depth_ = depth_;
  }
  mine->place.depth = target;
  depth_ = target;
  std::sort(list.begin(), list.end(), [](const DisplayObject& x, const DisplayObject& y) {
    return x.place.depth < y.place.depth;
  });
}

int32_t Clip::NextHighestDepth() {
  int64_t highest = -1;
  for (const DisplayObject& object : objects_) {
    highest = std::max<int64_t>(highest, int64_t{object.place.depth} - kScriptDepthBias);
  }
  return static_cast<int32_t>(std::min<int64_t>(highest + 1, INT32_MAX));
}

void Clip::SetMask(ClipLink* mask) {
  if (script_ == nullptr) return;
  if (script_->mask != nullptr) script_->mask->is_mask = false;
  script_->mask = mask ? mask->Script() : nullptr;
  if (script_->mask != nullptr) script_->mask->is_mask = true;
}

}  // namespace lumen::stage
