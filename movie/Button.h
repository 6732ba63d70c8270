#pragma once

// A button character: what it shows in each state, what the pointer hits, the scripts its
// transitions run and the sounds they play.

#include <cstdint>
#include <span>
#include <vector>

#include "movie/ByteReader.h"
#include "movie/Timeline.h"

namespace lumen::movie {

// One character of a button, in the states whose bits it carries.
struct ButtonRecord {
  uint8_t states = 0;  // ButtonData::StateBit
  uint16_t character = 0;
  uint16_t depth = 0;
  render::Matrix matrix;
  render::ColorTransform cxform;
  render::BlendMode blend = render::BlendMode::Normal;
  std::span<const uint8_t> filters;  // the filter list's bytes, read by the stage
};

// The actions of one DefineButton2 condition record (DefineButton's list answers a release).
struct ButtonAction {
  uint16_t conditions = 0;  // ButtonData::Condition bits, the key code in bits 9-15
  std::span<const uint8_t> code;
};

struct ButtonData {
  enum State : uint8_t { kUp, kOver, kDown, kStateCount };
  enum StateBit : uint8_t { kUpBit = 0x01, kOverBit = 0x02, kDownBit = 0x04, kHitBit = 0x08 };
  // The transitions a condition record answers.
  enum Condition : uint16_t {
    kIdleToOverUp = 0x0001,       // roll over
    kOverUpToIdle = 0x0002,       // roll out
    kOverUpToOverDown = 0x0004,   // press
    kOverDownToOverUp = 0x0008,   // release
    kOverDownToOutDown = 0x0010,  // drag out
    kOutDownToOverDown = 0x0020,  // drag over
    kOutDownToIdle = 0x0040,      // release outside
    kIdleToOverDown = 0x0080,     // drag over a menu
    kOverDownToIdle = 0x0100,     // drag out of a menu
  };
  // DefineButtonSound's four transitions.
  enum SoundSlot : uint8_t {
    kSoundOverUpToIdle,
    kSoundIdleToOverUp,
    kSoundOverUpToOverDown,
    kSoundOverDownToOverUp,
    kSoundSlots
  };

  std::vector<ButtonRecord> records;  // in the tag's order
  // Each drawn state as a timeline of one frame, for a clip to show.
  Timeline states[kStateCount];
  std::vector<ButtonAction> actions;
  bool track_as_menu = false;
  // Per slot a StartSound body (sound id and sound info); empty for none.
  std::span<const uint8_t> sounds[kSoundSlots];

  // The key code a condition word answers (0: none).
  static uint8_t KeyOf(uint16_t conditions) { return static_cast<uint8_t>(conditions >> 9); }
  // DefineButtonCxform: colour transforms for the records, in their order.
  void SetColors(std::span<const render::ColorTransform> cxforms);
  // Builds the state timelines from the records.
  void BuildStates();
};

// The body of DefineButton or DefineButton2 after the button's id.
ButtonData ReadButton(ByteReader& in, bool version2);
// The body of DefineButtonSound after the id.
void ReadButtonSounds(ByteReader& in, ButtonData& button);

}  // namespace lumen::movie
