// Design: the stage remembers two objects, the one under the pointer and the one the button went
// down on. Each pointer event (and each tick, when the object under a still pointer may have gone
// or hidden) picks the topmost interactive object again and turns the change into transitions,
// the reference's way: with the button up, the old object rolls out and the new one rolls over;
// with it down, the pressed object is dragged out of and over, and menu buttons track the pointer
// as it passes. A transition to a disabled object only resets it and forgets it, so it reacts
// afresh once enabled. Nothing here runs a script or reads through a getter: transitions queue
// work on the script host, and picking reads plain properties only.

#include "stage/PointerInput.h"

#include <string_view>

#include "avm1/ClipObject.h"
#include "avm1/Vm.h"
#include "stage/Clip.h"
#include "stage/ScriptHost.h"
#include "stage/StageSound.h"

namespace lumen::stage {

namespace {

using State = movie::ButtonData::State;
using movie::ButtonData;

// Clip events of the button kind, by their PlaceObject flags.
constexpr uint32_t kEventPress = 0x400, kEventRelease = 0x800, kEventReleaseOutside = 0x1000,
                   kEventRollOver = 0x2000, kEventRollOut = 0x4000, kEventDragOver = 0x8000,
                   kEventDragOut = 0x10000;
// Press to drag out, and key presses too: any of them makes a clip a button.
constexpr uint32_t kButtonEvents = 0x3FC00;
// Buttons may show buttons that show buttons: the whole pick, not each button, has a budget, so
// that a pointer move over thousands of nested hit areas still ends at once.
constexpr int kMaxPickVisits = 1 << 16;
// The handler methods, in the order of PointerInput::Event.
constexpr const char* kHandlers[] = {"onRollOver",       "onRollOut",  "onPress",  "onRelease",
                                     "onReleaseOutside", "onDragOver", "onDragOut"};

// A property's plain value along the prototype chain; undefined where a getter would run.
avm1::Value Plain(avm1::Vm& vm, avm1::Object* object, std::string_view name) {
  constexpr int kMaxChain = 256;
  int steps = 0;
  for (avm1::Object* o = object; o != nullptr && steps < kMaxChain; o = o->Proto(), ++steps) {
    const avm1::Property* p = o->Properties().Find(name, vm.CaseSensitive());
    if (p == nullptr || !p->VisibleIn(vm.Version())) continue;
    return p->getter == nullptr ? p->value : avm1::Value();
  }
  return avm1::Value();
}

bool PlainFlag(avm1::Vm& vm, avm1::Object* object, std::string_view name, bool absent) {
  const avm1::Value v = object ? Plain(vm, object, name) : avm1::Value();
  if (v.IsUndefined()) return absent;
  return v.IsObject() || vm.ToBoolean(v);
}

bool Visible(const Clip& clip) {
  return clip.Place().visible;
}

// The union of a PlaceObject clip-action list's event flags.
uint32_t ClipActionEvents(std::span<const uint8_t> actions, uint8_t version) {
  const size_t size = version >= 6 ? 4 : 2;
  if (actions.size() < 2 + size) return 0;
  uint32_t flags = 0;
  for (size_t i = 0; i < size; ++i) flags |= uint32_t{actions[2 + i]} << (8 * i);
  return flags;
}

// The key code a button condition names for a key: the editing keys have codes of their own,
// the rest their character.
uint8_t ButtonKey(uint16_t code, uint16_t ascii) {
  struct Named {
    uint16_t code;
    uint8_t key;
  };
  static constexpr Named kNamed[] = {{37, 1},  {39, 2},  {36, 3},  {35, 4},  {45, 5},
                                     {46, 6},  {8, 8},   {13, 13}, {38, 14}, {40, 15},
                                     {33, 16}, {34, 17}, {9, 18},  {27, 19}};
  for (const Named& n : kNamed) {
    if (n.code == code) return n.key;
  }
  return ascii >= 32 && ascii <= 126 ? static_cast<uint8_t>(ascii) : 0;
}

struct Transition {
  State state;
  uint16_t condition;
  int sound;  // a ButtonData::SoundSlot, or -1
};

}  // namespace

void PointerInput::Moved(render::Point stage, bool inside) {
  const bool moved = inside != inside_ || stage.x != point_.x || stage.y != point_.y;
  point_ = stage;
  inside_ = inside;
  Update(moved, false);
}

void PointerInput::Pressed() {
  if (down_) return;
  down_ = true;
  Update(false, true);
}

void PointerInput::Released() {
  if (!down_) return;
  down_ = false;
  Update(false, true);
}

void PointerInput::Refresh() {
  Update(false, false);
}

void PointerInput::Forget(const Clip& clip) {
  if (hovered_ == &clip) hovered_ = nullptr;
  if (pressed_ == &clip) pressed_ = nullptr;
  if (leaving_ == &clip) leaving_ = nullptr;
}

void PointerInput::FocusMoved(Clip* target) {
  const bool rolls = target != nullptr && (target->Button() != nullptr || ButtonMode(*target));
  Clip* old = hovered_;
  hovered_ = rolls ? target : nullptr;
  // Even the object already under the pointer rolls out and over again.
  if (old != nullptr) Send(*old, Event::RollOut);
  if (rolls && hovered_ == target) Send(*target, Event::RollOver);
  cursor_ = CursorOver(hovered_);
}

void PointerInput::Update(bool moved, bool button_changed) {
  // A still pointer over a shown object keeps it; one that hid or went is picked anew.
  const bool keep = !moved && !button_changed && hovered_ != nullptr && Visible(*hovered_);
  if (!keep) {
    Clip* target = inside_ ? Pick(point_) : nullptr;
    if (target != hovered_) TrackHover(target);
  }
  if (button_changed && down_) {
    if (Clip* target = hovered_) {
      pressed_ = target;
      Send(*target, Event::Press);
    }
  } else if (button_changed) {
    Clip* pressed = pressed_;
    pressed_ = nullptr;
    Clip* over = hovered_;
    if (pressed != nullptr && pressed == over) {
      Send(*pressed, Event::Release);
    } else {
      if (pressed != nullptr) Send(*pressed, Event::ReleaseOutside);
      // A menu button the pointer was dragged onto takes the release; anything else under the
      // pointer is rolled over at once.
      if (over != nullptr && hovered_ == over) {
        const bool menu_down = over->Button() && over->ButtonState() == ButtonData::kDown;
        Send(*over, menu_down ? Event::Release : Event::RollOver);
      }
    }
  }
  cursor_ = CursorOver(hovered_);
  scripts_.RunQueue();
}

void PointerInput::TrackHover(Clip* target) {
  Clip* old = hovered_;
  hovered_ = target;
  if (!down_) {
    if (old != nullptr) Send(*old, Event::RollOut);
    if (target != nullptr && hovered_ == target) Send(*target, Event::RollOver);
    return;
  }
  // A state change may take the old object off the stage: it is held where Forget sees it.
  leaving_ = old;
  if (pressed_ != nullptr && pressed_ == old) {
    Send(*pressed_, Event::DragOut);
  } else if (pressed_ != nullptr && pressed_ == target) {
    Send(*pressed_, Event::DragOver);
  }
  // Menus follow a held pointer from one to the next.
  if (leaving_ != nullptr && leaving_ != pressed_ && Menu(*leaving_)) {
    Send(*leaving_, Event::DragOut);
  }
  leaving_ = nullptr;
  if (target != nullptr && hovered_ == target && target != pressed_ && Menu(*target)) {
    Send(*target, Event::DragOver);
  }
}

void PointerInput::Click(Clip& target) {
  if (!Enabled(target)) return;
  Send(target, Event::Press);
  Send(target, Event::Release);
}

void PointerInput::Send(Clip& target, Event event) {
  if (target.Button() != nullptr) {
    SendToButton(target, event);
  } else {
    SendToClip(target, event);
  }
}

void PointerInput::SendToButton(Clip& button, Event event) {
  const ButtonData& data = *button.Button();
  // A hidden button still finishes what it started: it rolls out and releases outside.
  if (!Visible(button) && button.ButtonState() == ButtonData::kUp) return;
  const bool menu = Menu(button);
  Transition t{};
  switch (event) {
    case Event::RollOver:
      t = {ButtonData::kOver, ButtonData::kIdleToOverUp, ButtonData::kSoundIdleToOverUp};
      break;
    case Event::RollOut:
      t = {ButtonData::kUp, ButtonData::kOverUpToIdle, ButtonData::kSoundOverUpToIdle};
      break;
    case Event::Press:
      t = {ButtonData::kDown, ButtonData::kOverUpToOverDown, ButtonData::kSoundOverUpToOverDown};
      break;
    case Event::Release:
      t = {ButtonData::kOver, ButtonData::kOverDownToOverUp, ButtonData::kSoundOverDownToOverUp};
      break;
    case Event::ReleaseOutside:
      t = {ButtonData::kUp, ButtonData::kOutDownToIdle, ButtonData::kSoundOverUpToIdle};
      break;
    case Event::DragOut:
      t = menu ? Transition{ButtonData::kUp, ButtonData::kOverDownToIdle, -1}
               : Transition{ButtonData::kOver, ButtonData::kOverDownToOutDown, -1};
      break;
    case Event::DragOver:
      t = menu ? Transition{ButtonData::kDown, ButtonData::kIdleToOverDown, -1}
               : Transition{ButtonData::kDown, ButtonData::kOutDownToOverDown, -1};
      break;
  }
  if (!Enabled(button)) {
    // Forgotten, so that it answers afresh once enabled.
    Forget(button);
    if (t.state != ButtonData::kOver) button.ShowButtonState(ButtonData::kUp);
    return;
  }
  // The new state's clips run their first frames before the button's actions and handlers.
  button.ShowButtonState(t.state);
  // A button's actions run on the clip it is in.
  if (Clip* parent = button.ParentClip()) {
    for (const movie::ButtonAction& action : data.actions) {
      if (action.conditions & t.condition) scripts_.QueueActions(*parent, action.code);
    }
  }
  if (sound_ != nullptr && t.sound >= 0 && !data.sounds[t.sound].empty()) {
    constexpr uint16_t kStartSound = 15;
    sound_->Start(kStartSound, data.sounds[t.sound], button.SoundKey(), button.Library().Movie());
  }
  if (scripts_.Engine().Version() >= 6) {
    scripts_.QueueEvent(button, 0, kHandlers[static_cast<int>(event)]);
  }
}

void PointerInput::SendToClip(Clip& clip, Event event) {
  if (!Enabled(clip)) {
    Forget(clip);
    return;
  }
  static constexpr uint32_t kFlags[] = {kEventRollOver, kEventRollOut,        kEventPress,
                                        kEventRelease,  kEventReleaseOutside, kEventDragOver,
                                        kEventDragOut};
  const int index = static_cast<int>(event);
  scripts_.QueueEvent(clip, kFlags[index], kHandlers[index]);
  // A clip with frames labelled _up, _over and _down shows them as a button would.
  static constexpr const char* kFrameOf[] = {"_over", "_up",   "_down", "_over",
                                             "_up",   "_down", "_over"};
  const long frame = clip.FindLabel(kFrameOf[index]);
  if (frame >= 0) clip.GotoFrame(static_cast<size_t>(frame), false);
}

Clip* PointerInput::Pick(render::Point stage) {
  int visits = kMaxPickVisits;
  return PickIn(root_, stage, 0, visits);
}

Clip* PointerInput::PickIn(Clip& clip, render::Point stage, int nesting, int& visits) {
  if (nesting > StageContext::kMaxNesting) return nullptr;
  const std::vector<DisplayObject>& list = clip.DisplayList();
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    if (--visits < 0) return nullptr;
    if (!it->clip || it->place.clip_depth != 0 || !it->place.visible) continue;
    Clip& child = *it->clip;
    if (child.IsMaskOfAnother()) continue;
    Clip* found = nullptr;
    if (child.Button() != nullptr) {
      found = PickIn(child, stage, nesting + 1, visits);
      if (found == nullptr && child.ButtonAreaCovers(stage, visits)) found = &child;
    } else if (ButtonMode(child)) {
      avm1::Object* area =
          child.ScriptObject()
              ? Plain(scripts_.Engine(), child.ScriptObject(), "hitArea").AsObject()
              : nullptr;
      avm1::ClipObject* area_clip = area ? area->AsClip() : nullptr;
      const auto* area_link = area_clip ? static_cast<Clip*>(area_clip->Link()) : nullptr;
      const bool hit = area_link ? area_link->Covers(stage, false) : child.Covers(stage, true);
      if (hit) found = &child;
    } else {
      found = PickIn(child, stage, nesting + 1, visits);
    }
    if (found == nullptr) continue;
    // What a mask leaves out is not there for the pointer either.
    if (!clip.MaskAllows(*it, stage)) continue;
    if (const Clip* mask = child.MaskClip(); mask && !mask->Covers(stage, false)) continue;
    return found;
  }
  return nullptr;
}

bool PointerInput::ButtonMode(Clip& clip) {
  avm1::ClipObject* object = clip.ScriptObject();
  if (object == nullptr || clip.ParentClip() == nullptr) return false;
  avm1::Vm& vm = scripts_.Engine();
  if (ClipActionEvents(clip.ClipActions(), vm.Version()) & kButtonEvents) return true;
  for (const char* handler : kHandlers) {
    if (!Plain(vm, object, handler).IsUndefined()) return true;
  }
  return false;
}

bool PointerInput::Enabled(Clip& clip) {
  return PlainFlag(scripts_.Engine(), clip.ScriptObject(), "enabled", true);
}

bool PointerInput::Menu(Clip& clip) {
  const bool declared = clip.Button() != nullptr && clip.Button()->track_as_menu;
  return PlainFlag(scripts_.Engine(), clip.ScriptObject(), "trackAsMenu", declared);
}

Cursor PointerInput::CursorOver(Clip* target) {
  if (target == nullptr || !Enabled(*target)) return Cursor::Arrow;
  const bool hand = PlainFlag(scripts_.Engine(), target->ScriptObject(), "useHandCursor", true);
  return hand ? Cursor::Hand : Cursor::Arrow;
}

void PointerInput::KeyPressed(uint16_t code, uint16_t ascii) {
  const uint8_t key = ButtonKey(code, ascii);
  if (key == 0) return;
  // The topmost button with the key among those not inside another button.
  std::vector<Clip*> pending{&root_};
  // Depth first, top of each list first.
  while (!pending.empty()) {
    Clip* clip = pending.back();
    pending.pop_back();
    const movie::ButtonData* data = clip->Button();
    if (data != nullptr) {
      if (!Visible(*clip) && clip->ButtonState() == ButtonData::kUp) continue;
      bool ran = false;
      for (const movie::ButtonAction& action : data->actions) {
        if (ButtonData::KeyOf(action.conditions) != key || clip->ParentClip() == nullptr) continue;
        scripts_.QueueActions(*clip->ParentClip(), action.code);
        ran = true;
      }
      if (ran) break;
      continue;  // buttons inside a button hear no keys
    }
    if (pending.size() > StageContext::kMaxObjects) break;
    for (const DisplayObject& object : clip->DisplayList()) {
      if (object.clip) pending.push_back(object.clip.get());
    }
  }
  scripts_.RunQueue();
}

}  // namespace lumen::stage
