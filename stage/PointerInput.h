#pragma once

// The pointer and the keys as buttons see them: which button or clip with button handlers lies
// under the pointer, which one was pressed, the transitions between them (roll over and out,
// press, release, release outside, drag over and out, menus tracked while the button is held),
// and key presses for buttons' key conditions. Transitions queue the button's actions on its
// parent and its handler methods; the caller runs the queue.

#include <cstdint>

#include "render/Geometry.h"

namespace lumen::avm1 {
class Vm;
}

namespace lumen::stage {

class Clip;
class ScriptHost;
class StageSound;

enum class Cursor : uint8_t { Arrow, Hand };

class PointerInput {
 public:
  PointerInput(Clip& root, ScriptHost& scripts, StageSound* sound)
      : root_(root), scripts_(scripts), sound_(sound) {}
  PointerInput(const PointerInput&) = delete;
  PointerInput& operator=(const PointerInput&) = delete;

  // The pointer at stage twips; `inside`: false once it left the stage.
  void Moved(render::Point stage, bool inside = true);
  void Pressed();
  void Released();
  // After a tick: what moved or vanished under a still pointer.
  void Refresh();
  // A key went down: the first button whose key condition answers it runs.
  void KeyPressed(uint16_t code, uint16_t ascii);
  // The keyboard clicks `target`, the focused button: it is pressed and released over it.
  void Click(Clip& target);
  // A clip leaves the stage.
  void Forget(const Clip& clip);
  // The keyboard focus moved to `target` (null: to nothing or a text field): what the pointer
  // or the focus rolled over rolls out, and a button or a clip acting as one rolls over.
  void FocusMoved(Clip* target);

  Cursor CurrentCursor() const { return cursor_; }
  const Clip* Hovered() const { return hovered_; }
  // The topmost button or clip with button handlers at the point; null for none.
  Clip* Pick(render::Point stage);
  // A clip acts as a button: it has button event handlers or clip events.
  bool ButtonMode(Clip& clip);

 private:
  enum class Event : uint8_t {
    RollOver,
    RollOut,
    Press,
    Release,
    ReleaseOutside,
    DragOver,
    DragOut
  };
  void Update(bool moved, bool button_changed);
  void TrackHover(Clip* target);
  void Send(Clip& target, Event event);
  void SendToButton(Clip& button, Event event);
  void SendToClip(Clip& clip, Event event);
  // `visits`: what is left of the pick's budget of clips and hit-area characters looked at.
  Clip* PickIn(Clip& clip, render::Point stage, int nesting, int& visits);
  bool Enabled(Clip& clip);
  bool Menu(Clip& clip);
  Cursor CursorOver(Clip* target);

  Clip& root_;
  ScriptHost& scripts_;
  StageSound* sound_;
  render::Point point_{};
  bool inside_ = false;
  bool down_ = false;
  Clip* hovered_ = nullptr;
  Clip* pressed_ = nullptr;
  Clip* leaving_ = nullptr;  // the object the pointer just left, while its transitions run
  Cursor cursor_ = Cursor::Arrow;
};

}  // namespace lumen::stage
