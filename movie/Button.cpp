// Design: a button's records are read once into a list; each drawn state becomes a timeline of
// one frame that places the records of that state, so a playing clip can show a state with the
// same machinery it plays sprites with, and switching states keeps the characters both share.
// Condition records and sounds stay spans into the movie.

#include "movie/Button.h"

namespace lumen::movie {

namespace {

// Records up to the 0 that ends them. Version 2 records add a colour transform, filters and a
// blend mode.
void ReadRecords(ByteReader& in, bool version2, ButtonData& button) {
  for (uint8_t flags = in.U8(); flags != 0; flags = in.U8()) {
    ButtonRecord record;
    record.states = flags & 0x0F;
    record.character = in.U16();
    record.depth = in.U16();
    record.matrix = ReadMatrix(in);
    if (version2) {
      record.cxform = ReadColorTransform(in, true);
      if (flags & 0x10) {
        ByteReader probe = in;
        SkipFilters(probe);
        record.filters = in.Take(probe.Position() - in.Position());
      }
      if (flags & 0x20) record.blend = BlendFrom(in.U8());
    }
    button.records.push_back(record);
  }
}

// DefineButton2's condition records: each names the offset of the next, 0 for the last, which
// runs to the end of the tag.
void ReadConditions(ByteReader& in, ButtonData& button) {
  while (in.Remaining() >= 4) {
    const uint16_t size = in.U16();
    const uint16_t conditions = in.U16();
    const size_t length = size == 0 ? in.Remaining() : size < 4 ? 0 : size_t{size} - 4u;
    if (length > in.Remaining()) in.Fail("button condition runs past its tag");
    button.actions.push_back({conditions, in.Take(length)});
    if (size == 0) break;
  }
}

// A SOUNDINFO record's length from its flags, read without leaving it.
void SkipSoundInfo(ByteReader& in) {
  const uint8_t flags = in.U8();
  if (flags & 0x01) in.Skip(4);                    // in point
  if (flags & 0x02) in.Skip(4);                    // out point
  if (flags & 0x04) in.Skip(2);                    // loops
  if (flags & 0x08) in.Skip(size_t{8} * in.U8());  // envelope
}

}  // namespace

void ButtonData::SetColors(std::span<const render::ColorTransform> cxforms) {
  for (size_t i = 0; i < records.size() && i < cxforms.size(); ++i) records[i].cxform = cxforms[i];
  BuildStates();
}

void ButtonData::BuildStates() {
  for (int state = 0; state < kStateCount; ++state) {
    Frame frame;
    for (const ButtonRecord& record : records) {
      if (!(record.states & (1 << state))) continue;
      PlaceCommand place;
      place.depth = record.depth;
      place.character = record.character;
      place.matrix = record.matrix;
      place.cxform = record.cxform;
      place.blend = record.blend;
      if (!record.filters.empty()) place.filters = record.filters;
      frame.commands.emplace_back(std::move(place));
    }
    states[state].frames.assign(1, std::move(frame));
  }
}

ButtonData ReadButton(ByteReader& in, bool version2) {
  ButtonData button;
  if (version2) {
    button.track_as_menu = (in.U8() & 0x01) != 0;
    in.U16();  // where the conditions start: right after the records
  }
  ReadRecords(in, version2, button);
  if (version2) {
    ReadConditions(in, button);
  } else {
    button.actions.push_back({ButtonData::kOverDownToOverUp, in.Rest()});
  }
  button.BuildStates();
  return button;
}

void ReadButtonSounds(ByteReader& in, ButtonData& button) {
  // Files with fewer than four entries exist.
  for (auto& slot : button.sounds) {
    if (in.Remaining() < 2) break;
    const size_t start = in.Position();
    ByteReader probe = in;
    if (probe.U16() == 0) {
      in.U16();
      continue;
    }
    SkipSoundInfo(probe);
    slot = in.Take(probe.Position() - start);
  }
}

}  // namespace lumen::movie
