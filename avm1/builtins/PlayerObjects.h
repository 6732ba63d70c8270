#pragma once

// What the stage reaches of the player objects: input and window events that Key, Mouse and
// Stage broadcast to their listeners, the facts System.capabilities reports, and the colour
// transform that Color edits. Every event entry runs its listeners as one budgeted run of
// scripts, so call them between runs, never from inside a script.

#include <cstdint>
#include <string>
#include <string_view>

#include "avm1/Value.h"

namespace lumen::avm1 {

class Vm;
class ClipObject;

// The clip a Color or Sound stands for: a clip, or a path to one looked up from the running
// script; null for undefined or where nothing is found.
ClipObject* ResolveTarget(Vm& vm, const Value& target);

// A key went down or up: Key.isDown, getCode and getAscii answer it from now on. Then Key's
// listeners hear of it (onKeyDown, onKeyUp); the player lets clip events hear of it in between.
void KeyChanged(Vm& vm, uint16_t code, uint16_t ascii, bool down);
void KeyListenersHear(Vm& vm, bool down);
// The keyboard focus Selection keeps: a text field or a clip, or null.
Object* FocusedObject(Vm& vm);
// Gives the focus to `target` (null: to nothing). The stage hears of it first when
// `tell_stage`, then the object losing it hears onKillFocus, the one gaining it onSetFocus,
// then Selection's listeners onSetFocus(old, new).
void MoveFocus(Vm& vm, Object* target, bool tell_stage = true);
void KeyPressed(Vm& vm, uint16_t code, uint16_t ascii);   // the change, then onKeyDown
void KeyReleased(Vm& vm, uint16_t code, uint16_t ascii);  // the change, then onKeyUp
// The pointer's position is read through StageBridge::MouseX/MouseY.
void MouseMoved(Vm& vm);             // onMouseMove
void MousePressed(Vm& vm);           // onMouseDown; Key.isDown(1) is true until released
void MouseReleased(Vm& vm);          // onMouseUp
void MouseWheel(Vm& vm, int delta);  // onMouseWheel(delta)
// A text link "asfunction:name,argument" was clicked in a field of `clip`: the function `name`
// (a path may lead to it) is looked up from the clip, then among the globals, and called on the
// object holding it with the text after the first comma, if any.
void FollowAsFunction(Vm& vm, ClipObject* clip, std::string_view call);
// The other mouse buttons only show in Key.isDown: 2 right, 4 middle.
void SetMouseButton(Vm& vm, uint16_t code, bool down);
// Whether a script hid the pointer with Mouse.hide().
bool PointerHidden(Vm& vm);

// The size of the window showing the movie, in pixels. With Stage.scaleMode "noScale" it is what
// Stage.width and Stage.height report, and a change raises Stage.onResize.
void ViewportResized(Vm& vm, double width, double height);

// System.capabilities.screenResolutionX/Y (and its server string).
void SetScreenSize(Vm& vm, double width, double height);
// The player's version as `$version` and System.capabilities.version spell it.
std::string PlayerVersion();

// A clip's colour transform: multipliers (1 leaves a channel as it is) and offsets (-255..255),
// red, green, blue, alpha. The stage's clip links implement this beside ClipLink; Color finds
// it with dynamic_cast and otherwise only reaches the alpha multiplier, through _alpha.
struct ColorTransformValues {
  double multiply[4] = {1, 1, 1, 1};
  double add[4] = {0, 0, 0, 0};
};

class ClipColorAccess {
 public:
  virtual ColorTransformValues GetColorTransform() = 0;
  virtual void SetColorTransform(const ColorTransformValues& values) = 0;

 protected:
  ~ClipColorAccess() = default;
};

}  // namespace lumen::avm1
