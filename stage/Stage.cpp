#include "stage/Stage.h"

#include <algorithm>
#include <cmath>

#include "avm1/ClipObject.h"
#include "avm1/FieldObject.h"
#include "avm1/Names.h"
#include "avm1/Vm.h"
#include "avm1/builtins/MovieClipLoaderClass.h"
#include "avm1/builtins/PlayerObjects.h"
#include "movie/ShapeBuilder.h"
#include "stage/FilterList.h"
#include "stage/TabOrder.h"

namespace lumen::stage {

namespace {

// Morph shapes at distinct ratios kept at most; a tween visits one ratio per frame.
constexpr size_t kMaxCachedMorphs = 256;
// Shapes remapped by scale-9 grids kept at most; a clip scaling in a tween makes one per frame.
constexpr size_t kMaxCachedScaled = 256;
// Filters drawn in one frame; past them objects draw unfiltered (each filter costs a pass over
// its object's area).
constexpr size_t kMaxFiltersPerFrame = 1024;

void Push(render::RenderList& out, render::RenderCommand::Kind kind) {
  render::RenderCommand command;
  command.kind = kind;
  out.commands.push_back(command);
}

void PushShape(render::RenderList& out, const render::ShapeGeometry* shape, const render::Matrix& m,
               const render::ColorTransform& cx) {
  render::RenderCommand draw;
  draw.kind = render::RenderCommand::Kind::DrawShape;
  draw.shape = shape;
  draw.matrix = m;
  draw.cxform = cx;
  out.commands.push_back(draw);
}

// The clip a script object stands for while on the stage.
Clip* ClipOf(avm1::Object* object) {
  avm1::ClipObject* clip = object ? object->AsClip() : nullptr;
  return clip && clip->Link() ? static_cast<Clip*>(clip->Link()) : nullptr;
}

}  // namespace

Stage::Stage(std::shared_ptr<const movie::Movie> movie, bool loop, size_t bitmap_bytes,
             ScriptSetup scripts)
    : movie_(std::move(movie)),
      bitmaps_(bitmap_bytes),
      libraries_(movie_, scripts.folder, scripts.device_fonts),
      sound_(*movie_),
      loop_(loop) {
  context_.sound = &sound_;
  context_.remake_clips_on_rewind = (movie_->file_attributes & movie::Movie::kActionScript3) != 0;
  scripts_ = std::make_unique<ScriptHost>(*movie_, scripts.limits);
  scripts_->trace_sink = std::move(scripts.trace);
  scripts_->folder = std::move(scripts.folder);
  scripts_->fscommand_sink = std::move(scripts.fscommand);
  if (scripts.viewport_width > 0 && scripts.viewport_height > 0) {
    avm1::ViewportResized(scripts_->Engine(), scripts.viewport_width, scripts.viewport_height);
  }
  scripts_->sound = &sound_;
  scripts_->measure = [this](const avm1::FormatValues& format, std::string_view text,
                             double width) {
    return libraries_.Root().Texts().Measure(format, text, width);
  };
  scripts_->load_movies = [this] {
    ScriptHost::MovieRequest request;
    while (scripts_->TakeDueMovie(request)) LoadMovie(request);
  };
  context_.scripts = scripts_.get();
  root_ = std::make_unique<Clip>(context_, libraries_.Root(), movie_->root, 0, nullptr, 0,
                                 std::string(), 0);
  pointer_ = std::make_unique<PointerInput>(*root_, *scripts_, &sound_);
  scripts_->focus_moved = [this](avm1::Object* focus) {
    pointer_->FocusMoved(ClipOf(focus));
    FieldFocused(focus);
  };
  context_.pointer = pointer_.get();
  scripts_->SetRoot(root_.get());
  // The exporting movies' init actions for the sprites imported, before any of them plays.
  for (const MovieLibrary::ImportedInit& init : libraries_.Root().ImportedInits()) {
    scripts_->RunInitActions(*root_, *init.library, init.sprite, init.code);
  }
  root_->QueueFirstFrame();
  scripts_->RunQueue();
}

Stage::~Stage() {
  // Clips leave before the engine; their unload scripts have nowhere to run any more.
  levels_.clear();
  root_.reset();
}

void Stage::Advance() {
  context_.clip_work = 0;
  scripts_->Tick(loop_);
  pointer_->Refresh();
}

Clip* Stage::LevelClip(int level) {
  if (level == 0) return root_.get();
  const auto it = levels_.find(level);
  return it == levels_.end() ? nullptr : it->second.get();
}

void Stage::LoadMovie(const ScriptHost::MovieRequest& request) {
  avm1::Vm& vm = scripts_->Engine();
  // A root clip stands for its level.
  const bool into_level = request.clip == nullptr || request.clip->ParentClip() == nullptr;
  const int level = request.clip ? request.clip->Level() : request.level;
  auto target = [&]() -> Clip* {
    if (!into_level) return scripts_->Alive(request.clip) ? request.clip : nullptr;
    return LevelClip(level);
  };
  auto event = [&](const char* name, std::initializer_list<avm1::Value> extra, bool last) {
    if (request.ticket == 0) return;
    Clip* clip = target();
    avm1::ClipLoadEvent(vm, request.ticket, name, clip ? clip->ScriptObject() : nullptr,
                        std::span<const avm1::Value>(extra.begin(), extra.size()), last);
  };
  MovieLibrary* library = nullptr;
  if (!request.url.empty()) {
    library = libraries_.LoadMovie(request.url);
    if (library == nullptr) {  // nothing there: the target keeps what it shows
      event("onLoadError", {vm.Str("URLNotFound"), 0.0}, true);
      return;
    }
    const movie::Movie& loaded = library->Movie();
    event("onLoadStart", {}, false);
    event("onLoadProgress",
          {static_cast<double>(loaded.loaded_length), static_cast<double>(loaded.file_length)},
          false);
    event("onLoadComplete", {0.0}, false);
  }
  // The events' scripts may have removed the target.
  Clip* made = nullptr;
  if (into_level) {
    made = LoadLevel(level, library);
  } else if (Clip* clip = target()) {
    made = clip->LoadMovie(library);
  }
  if (made != nullptr && request.ticket != 0 && library != nullptr) {
    scripts_->QueueLoadInit(*made, request.ticket);
  } else {
    vm.DropLoader(request.ticket);
  }
}

Clip* Stage::LoadLevel(int level, MovieLibrary* library) {
  // Levels a script may open; the root's level 0 is replaced, never emptied.
  constexpr size_t kMaxLevels = 64;
  if (level == 0 && library == nullptr) return nullptr;
  if (level != 0 && library != nullptr && !levels_.contains(level) &&
      levels_.size() >= kMaxLevels) {
    return nullptr;
  }
  std::unique_ptr<Clip>& slot = level == 0 ? root_ : levels_[level];
  slot.reset();
  if (library == nullptr) {
    levels_.erase(level);
    return nullptr;
  }
  slot = std::make_unique<Clip>(context_, *library, library->Movie().root, 0, nullptr, 0,
                                std::string(), 0);
  slot->SetLevel(level);
  if (level == 0) {
    scripts_->SetRoot(slot.get());
  } else {
    scripts_->SetLevel(level, slot.get());
  }
  slot->QueueFirstFrame();
  return slot.get();
}

bool Stage::StreamPlaying() const {
  return sound_.Mixer().StreamPlaying(root_->SoundKey());
}

uint64_t Stage::StreamPosition() const {
  return sound_.Mixer().StreamPosition(root_->SoundKey());
}

void Stage::GotoFrame(size_t frame) {
  root_->GotoFrame(frame == 0 ? 0 : frame - 1);
  scripts_->RunQueue();
}

bool Stage::GotoLabel(std::string_view label) {
  const bool found = root_->GotoLabel(label);
  scripts_->RunQueue();
  return found;
}

namespace {

render::Point Twips(double x, double y) {
  auto twips = [](double v) { return static_cast<float>(std::clamp(v, -1e7, 1e7) * 20); };
  return {twips(x), twips(y)};
}

}  // namespace

// Clip events and listeners hear of the input first; buttons follow.
void Stage::MouseMove(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  if (x != scripts_->MouseX() || y != scripts_->MouseY()) {
    scripts_->SetMouse(x, y);
    scripts_->Broadcast(kEventMouseMove, "onMouseMove");
    avm1::MouseMoved(scripts_->Engine());
  }
  pointer_->Moved(Twips(x, y));
  if (selecting_) DragSelection();
}

void Stage::MouseDown(MouseButton button) {
  if (button != MouseButton::Left) {
    avm1::SetMouseButton(scripts_->Engine(), static_cast<uint16_t>(button), true);
    return;
  }
  scripts_->Broadcast(kEventMouseDown, "onMouseDown");
  avm1::MousePressed(scripts_->Engine());
  pointer_->Pressed();
  // A press a button or a clip with handlers takes does not reach a field under it.
  const bool taken = pointer_->Hovered() != nullptr;
  pressed_link_ = taken ? std::string() : LinkUnderPointer();
  if (!taken) ClickField();
}

// A press on a selectable field gives it the focus and puts the caret under the pointer.
void Stage::ClickField() {
  render::Point local;
  FieldHandle* field = root_->FieldAt(Twips(scripts_->MouseX(), scripts_->MouseY()), local);
  if (field == nullptr || field->Script() == nullptr) return;
  if (!field->Field().Appearance().selectable) return;
  avm1::Vm& vm = scripts_->Engine();
  if (avm1::FocusedObject(vm) != field->Script()) {
    avm1::MoveFocus(vm, field->Script());
    scripts_->RunQueue();
    if (FocusedField() != field) return;  // the focus handlers moved it on, or removed the field
  }
  text::TextField& text = field->Field();
  const size_t at = text.IndexAt(local);
  text.Select(at, at);
  selecting_ = true;
}

// Dragging from a press in the focused field selects from there to the pointer.
void Stage::DragSelection() {
  FieldHandle* field = FocusedField();
  if (field == nullptr) return;
  text::TextField& text = field->Field();
  const render::Point local = field->ToLocal(Twips(scripts_->MouseX(), scripts_->MouseY()));
  text.Select(text.Editor().Anchor(), text.IndexAt(local));
}

void Stage::MouseUp(MouseButton button) {
  if (button != MouseButton::Left) {
    avm1::SetMouseButton(scripts_->Engine(), static_cast<uint16_t>(button), false);
    return;
  }
  selecting_ = false;
  scripts_->Broadcast(kEventMouseUp, "onMouseUp");
  avm1::MouseReleased(scripts_->Engine());
  pointer_->Released();
  FollowLink();
}

std::string Stage::LinkUnderPointer(std::string* target) {
  render::Point local;
  FieldHandle* field = root_->FieldAt(Twips(scripts_->MouseX(), scripts_->MouseY()), local);
  if (field == nullptr) return {};
  const std::optional<size_t> at = field->Field().CharAt(local);
  if (!at) return {};
  const text::TextFormat& format = field->Field().Content().FormatAt(*at);
  if (target != nullptr) *target = format.target;
  return format.url;
}

// A release on the link the press went down on follows it: "asfunction:" calls a function of
// the field's clip, other links go where getURL goes.
void Stage::FollowLink() {
  std::string target;
  const std::string link = LinkUnderPointer(&target);
  const bool same = !link.empty() && link == pressed_link_;
  pressed_link_.clear();
  if (!same) return;
  constexpr std::string_view kAsFunction = "asfunction:";
  const std::string_view head = std::string_view(link).substr(0, kAsFunction.size());
  if (!avm1::SameName(head, kAsFunction, false)) {
    scripts_->GetUrl(link, target);
    return;
  }
  render::Point local;
  FieldHandle* field = root_->FieldAt(Twips(scripts_->MouseX(), scripts_->MouseY()), local);
  avm1::ClipLink* parent = field ? field->Parent() : nullptr;
  avm1::FollowAsFunction(scripts_->Engine(), parent ? parent->Script() : nullptr,
                         std::string_view(link).substr(kAsFunction.size()));
  scripts_->RunQueue();
}

void Stage::MouseLeave() {
  pointer_->Moved(Twips(scripts_->MouseX(), scripts_->MouseY()), false);
}

bool Stage::PointerHidden() const {
  return avm1::PointerHidden(scripts_->Engine());
}

// Clip events hear a key before Key's listeners, and buttons' key conditions come last; Tab
// moves the focus after all of them.
void Stage::KeyDown(uint16_t code, uint16_t ascii) {
  if (code == kShiftKey) shift_down_ = true;
  avm1::KeyChanged(scripts_->Engine(), code, ascii, true);
  scripts_->Broadcast(kEventKeyDown, nullptr);
  TellFocused("onKeyDown");
  avm1::KeyListenersHear(scripts_->Engine(), true);
  pointer_->KeyPressed(code, ascii);
  if (code != kTabKey) {
    if (FieldHandle* field = FocusedField()) {
      field->KeyPressed(code, ascii, shift_down_);
      scripts_->RunQueue();
    }
  }
  if (code == kTabKey) MoveFocus();
  if (code == kSpaceKey) ClickFocused();
}

// The focused object hears the keys as a method call; fields handle keys themselves.
void Stage::TellFocused(const char* handler) {
  avm1::Vm& vm = scripts_->Engine();
  avm1::Object* focus = avm1::FocusedObject(vm);
  if (focus == nullptr || focus->AsClip() == nullptr) return;
  vm.CallMethod(focus, handler, {});
  scripts_->RunQueue();
}

Clip* Stage::FocusedClip() {
  return ClipOf(avm1::FocusedObject(scripts_->Engine()));
}

void Stage::EditText(text::EditKey key, bool shift) {
  if (FieldHandle* field = FocusedField()) {
    field->Edit(key, shift);
    scripts_->RunQueue();
  }
}

void Stage::SelectAllText() {
  if (FieldHandle* field = FocusedField()) FieldFocused(field->Script());
}

void Stage::PasteText(std::string_view utf8) {
  if (FieldHandle* field = FocusedField()) {
    field->Paste(utf8);
    scripts_->RunQueue();
  }
}

FieldHandle* Stage::FocusedField() {
  avm1::Object* focus = avm1::FocusedObject(scripts_->Engine());
  avm1::FieldObject* field = focus ? focus->AsField() : nullptr;
  // Every field on a stage is linked through its handle.
  return field ? static_cast<FieldHandle*>(field->Link()) : nullptr;
}

// A field that takes the focus has all its text selected.
void Stage::FieldFocused(avm1::Object* focus) {
  avm1::FieldObject* field = focus ? focus->AsField() : nullptr;
  if (field == nullptr || field->Link() == nullptr) return;
  text::TextField& text = static_cast<FieldHandle*>(field->Link())->Field();
  text.Select(0, text.Content().text.size());
}

void Stage::ClickFocused() {
  if (Clip* clip = FocusedClip()) {
    pointer_->Click(*clip);
    scripts_->RunQueue();
  }
}

void Stage::MoveFocus() {
  avm1::Vm& vm = scripts_->Engine();
  avm1::Object* current = avm1::FocusedObject(vm);
  avm1::Object* next = TabOrder(vm, *pointer_).Next(*root_, current, shift_down_);
  if (next != nullptr && next != current) {
    // The pointer's transitions run before the objects hear of the focus; those of focus moves
    // their handlers make wait until all have heard.
    pointer_->FocusMoved(ClipOf(next));
    scripts_->RunQueue();
    avm1::MoveFocus(vm, next, false);
    FieldFocused(next);
  }
  // _focusrect counts as Tab arrives: set later, it shows or hides the frame from the next Tab.
  tabbed_to_ = ShowsFocusRect(ClipOf(next)) ? next : nullptr;
  scripts_->RunQueue();
}

void Stage::KeyUp(uint16_t code, uint16_t ascii) {
  if (code == kShiftKey) shift_down_ = false;
  avm1::KeyChanged(scripts_->Engine(), code, ascii, false);
  scripts_->Broadcast(kEventKeyUp, nullptr);
  TellFocused("onKeyUp");
  avm1::KeyListenersHear(scripts_->Engine(), false);
}

void Stage::BuildRenderList(render::RenderList& out) {
  out.Clear();
  out.background = context_.background;
  out.bitmaps = &bitmaps_;
  if (morphs_.size() > kMaxCachedMorphs) {
    morphs_.clear();
    ++shape_generation_;
  }
  // Remapped shapes are keyed by their source's address, which a new generation or a drawing
  // may reuse.
  if (scaled_.Size() > kMaxCachedScaled) ++shape_generation_;
  if (scaled_generation_ != shape_generation_ || Drawing::Revision() != drawing_revision_) {
    scaled_.Clear();
    scaled_generation_ = shape_generation_;
  }
  masks_.clear();
  FieldHandle* focused = FocusedField();
  focused_field_ = focused ? &focused->Field() : nullptr;
  const Placement& root = root_->Place();
  if (root.visible) EmitClipContent(*root_, root.matrix, root.cxform, false, out);
  for (const auto& [number, level] : levels_) {
    const Placement& place = level->Place();
    if (place.visible) EmitClipContent(*level, place.matrix, place.cxform, false, out);
  }
  EmitFocusRect(out);
  // Looked at last: an attached bitmap's picture is made again while the list is built.
  if (Drawing::Revision() != drawing_revision_) {
    drawing_revision_ = Drawing::Revision();
    ++shape_generation_;
  }
}

// _focusrect false on the object, or unset there and false on the root, hides its frame.
bool Stage::ShowsFocusRect(Clip* clip) {
  if (clip == nullptr || clip->ScriptObject() == nullptr) return false;
  const std::optional<bool> own = clip->ScriptObject()->focus_rect;
  const avm1::ClipObject* root = root_->ScriptObject();
  return own.value_or(root == nullptr || root->focus_rect.value_or(true));
}

// The yellow frame inside the bounds of a clip, or a button's hit area, that Tab focused, on
// top of all.
void Stage::EmitFocusRect(render::RenderList& out) {
  Clip* clip = FocusedClip();
  if (clip == nullptr || clip->ScriptObject() != tabbed_to_ || !clip->Place().visible) return;
  const render::Matrix global = clip->GlobalMatrix();
  const avm1::ClipBounds b =
      clip->Button() ? clip->HitAreaBoundsIn(global) : clip->BoundsIn(global);
  if (b.empty) return;
  if (b.x_min != focus_bounds_.x_min || b.y_min != focus_bounds_.y_min ||
      b.x_max != focus_bounds_.x_max || b.y_max != focus_bounds_.y_max) {
    focus_bounds_ = b;
    constexpr double kWidth = 3;  // pixels
    focus_rect_.Clear();
    const double w = std::min(kWidth, (b.x_max - b.x_min) / 2);
    const double h = std::min(kWidth, (b.y_max - b.y_min) / 2);
    const double bars[4][4] = {{b.x_min, b.y_min, b.x_max, b.y_min + h},
                               {b.x_min, b.y_max - h, b.x_max, b.y_max},
                               {b.x_min, b.y_min + h, b.x_min + w, b.y_max - h},
                               {b.x_max - w, b.y_min + h, b.x_max, b.y_max - h}};
    for (const auto& r : bars) {
      focus_rect_.BeginFill(0xFFFF00, 100);
      focus_rect_.MoveTo(r[0], r[1]);
      focus_rect_.LineTo(r[2], r[1]);
      focus_rect_.LineTo(r[2], r[3]);
      focus_rect_.LineTo(r[0], r[3]);
      focus_rect_.LineTo(r[0], r[1]);
      focus_rect_.EndFill();
    }
  }
  if (const render::ShapeGeometry* shape = focus_rect_.Geometry()) PushShape(out, shape, {}, {});
}

void Stage::EmitClipContent(const Clip& clip, const render::Matrix& m,
                            const render::ColorTransform& cx, bool in_mask,
                            render::RenderList& out) {
  std::optional<ScaleGrid> grid;
  if (clip.ScalingGrid()) grid = ScaleGrid::For(*clip.ScalingGrid(), clip.LocalBounds(), m);
  if (const render::ShapeGeometry* drawn = clip.Drawn().Geometry()) {
    PushShape(out, grid ? scaled_.Get(*drawn, {}, *grid) : drawn, m, cx);
  }
  EmitClip(clip, m, cx, in_mask, grid ? &*grid : nullptr, out);
}

// A clip's opaque background lies under its content; a scroll rectangle shows only its part of
// the content, moved to the clip's origin.
void Stage::EmitChildClip(Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                          bool in_mask, render::RenderList& out) {
  if (const render::ShapeGeometry* background = clip.BackgroundShape()) {
    PushShape(out, background, m, cx);
  }
  const render::ShapeGeometry* window = clip.ScrollMask();
  if (window == nullptr) {
    EmitClipContent(clip, m, cx, in_mask, out);
    return;
  }
  // Inside a mask's content another mask adds nothing: the content is only moved there.
  if (!in_mask) {
    Push(out, render::RenderCommand::Kind::BeginMask);
    PushShape(out, window, m, {});
    Push(out, render::RenderCommand::Kind::EndMask);
  }
  EmitClipContent(clip, m * clip.ScrollShift(), cx, in_mask, out);
  if (!in_mask) Push(out, render::RenderCommand::Kind::PopMask);
}

void Stage::EmitClip(const Clip& clip, const render::Matrix& m, const render::ColorTransform& cx,
                     bool in_mask, const ScaleGrid* grid, render::RenderList& out) {
  const size_t base = masks_.size();
  for (const DisplayObject& object : clip.DisplayList()) {
    while (masks_.size() > base && masks_.back() < object.place.depth) {
      masks_.pop_back();
      Push(out, render::RenderCommand::Kind::PopMask);
    }
    if (object.place.clip_depth == 0) {
      EmitObject(clip, object, m, cx, in_mask, grid, out);
      continue;
    }
    if (in_mask) continue;  // a mask inside a mask's content adds nothing to its shape
    Push(out, render::RenderCommand::Kind::BeginMask);
    EmitObject(clip, object, m, cx, true, grid, out);
    Push(out, render::RenderCommand::Kind::EndMask);
    masks_.push_back(object.place.clip_depth);
  }
  while (masks_.size() > base) {
    masks_.pop_back();
    Push(out, render::RenderCommand::Kind::PopMask);
  }
}

// In a clip with a scale-9 grid, shapes are drawn remapped in the clip's space; text and clips
// inside scale as they would without it.
void Stage::EmitObject(const Clip& owner, const DisplayObject& object,
                       const render::Matrix& parent_m, const render::ColorTransform& parent_cx,
                       bool in_mask, const ScaleGrid* grid, render::RenderList& out) {
  if (object.character == nullptr && !object.clip && !object.field && !object.bitmap) return;
  if (!object.place.visible && !in_mask) return;
  if (object.clip && object.clip->IsMaskOfAnother() && !in_mask) return;
  const render::Matrix m = parent_m * object.place.matrix;
  render::ColorTransform cx = parent_cx * object.place.cxform;
  // A blend mode composites the object as one picture: its content is drawn into a layer
  // without the transform that applies to the layer as a whole.
  // So do filters, which work on that picture.
  const bool filtered = !in_mask && !object.place.filters.empty();
  // A clip cached as a bitmap is one picture too, drawn on whole pixels.
  const bool cached = !in_mask && object.clip && object.place.cache_as_bitmap;
  const bool layer =
      !in_mask && (object.place.blend != render::BlendMode::Normal || filtered || cached);
  uint16_t filter_first = 0, filter_count = 0;
  if (filtered && out.filters.size() < kMaxFiltersPerFrame) {
    filter_first = static_cast<uint16_t>(out.filters.size());
    filter_count = static_cast<uint16_t>(AddRenderFilters(object.place.filters, out.filters));
  }
  if (layer) {
    render::RenderCommand begin;
    begin.kind = render::RenderCommand::Kind::BeginLayer;
    begin.blend = object.place.blend;
    begin.snap = cached;
    begin.centre = filtered && !cached;
    begin.matrix = m;
    begin.filter_first = filter_first;
    begin.filter_count = filter_count;
    out.commands.push_back(begin);
  }
  const render::ColorTransform content_cx = layer ? render::ColorTransform{} : cx;
  const Clip* mask = object.clip && !in_mask ? object.clip->MaskClip() : nullptr;
  if (mask != nullptr) {
    Push(out, render::RenderCommand::Kind::BeginMask);
    EmitClipContent(*mask, mask->GlobalMatrix(), {}, true, out);
    Push(out, render::RenderCommand::Kind::EndMask);
  }
  if (object.clip) {
    EmitChildClip(*object.clip, m, content_cx, in_mask, out);
  } else {
    const render::ShapeGeometry* shape = nullptr;
    if (object.field) {
      owner.ShowBoundVariable(*object.field);
      EmitField(*object.field, object.field.get() == focused_field_, m, content_cx, in_mask, out);
    } else if (object.bitmap) {
      if (const render::ShapeGeometry* picture = object.bitmap->Geometry()) {
        PushShape(out, picture, m, content_cx);
        out.commands.back().snap = object.bitmap->Snaps(m);  // its corner on a device pixel
      }
    } else if (object.character->morph) {
      shape = MorphAt(object);
    } else if (object.character->kind == movie::Character::Kind::Text) {
      shape = object.library->Texts().StaticText(*object.character);
    } else {
      shape = object.character->shape.get();
    }
    const bool remap = grid != nullptr && shape != nullptr &&
                       object.character->kind != movie::Character::Kind::Text;
    if (remap) {
      PushShape(out, scaled_.Get(*shape, object.place.matrix, *grid), parent_m, content_cx);
    } else if (shape != nullptr) {
      PushShape(out, shape, m, content_cx);
    }
  }
  if (mask != nullptr) Push(out, render::RenderCommand::Kind::PopMask);
  if (layer) {
    render::RenderCommand end;
    end.kind = render::RenderCommand::Kind::EndLayer;
    end.blend = object.place.blend;
    end.cxform = cx;
    end.filter_first = filter_first;
    end.filter_count = filter_count;
    out.commands.push_back(end);
  }
}

// A field shows only what lies in its box: text beyond it is clipped.
// The focused input field shows its caret. A field of device fonts shows only upright: turned,
// skewed or mirrored, nothing of it is drawn, box and border included.
void Stage::EmitField(text::TextField& field, bool focused, const render::Matrix& m,
                      const render::ColorTransform& cx, bool in_mask, render::RenderList& out) {
  const bool upright = m.b == 0 && m.c == 0 && m.a > 0 && m.d > 0;
  if (!field.Appearance().embed_fonts && !upright) return;
  field.ShowCaret(focused && field.Appearance().input);
  const bool clip = !in_mask && field.Overflows();
  render::RenderCommand draw;
  draw.kind = render::RenderCommand::Kind::DrawShape;
  draw.matrix = m;
  if (clip) {
    Push(out, render::RenderCommand::Kind::BeginMask);
    draw.shape = &field.Box();
    out.commands.push_back(draw);
    Push(out, render::RenderCommand::Kind::EndMask);
  }
  draw.shape = &field.Geometry();
  draw.cxform = cx;
  out.commands.push_back(draw);
  if (clip) Push(out, render::RenderCommand::Kind::PopMask);
  // The border lies on the box's edge, outside the clip, and is placed on the stage already.
  if (const render::ShapeGeometry* border = field.Border(m)) {
    draw.shape = border;
    draw.matrix = {};
    out.commands.push_back(draw);
  }
}

const render::ShapeGeometry* Stage::MorphAt(const DisplayObject& object) {
  const auto key = std::make_pair(object.character->morph.get(), object.place.ratio);
  auto it = morphs_.find(key);
  if (it == morphs_.end()) {
    auto geometry = std::make_unique<render::ShapeGeometry>(
        movie::BuildGeometry(object.character->morph->At(object.place.ratio)));
    it = morphs_.emplace(key, std::move(geometry)).first;
  }
  return it->second.get();
}

}  // namespace lumen::stage
