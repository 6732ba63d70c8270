// Buttons from any input: the input spells four buttons (each a DefineButton or DefineButton2
// body, raw or built from fuzzed records and condition words, with DefineButtonCxform and
// DefineButtonSound bodies), which a valid movie places, then drives with pointer moves,
// presses, releases, key presses, Tab and ticks. Scripts run under tight budgets; every run
// must end without fault.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SoundWriter.h"
#include "authoring/SwfWriter.h"
#include "movie/Movie.h"
#include "render/RenderList.h"
#include "stage/Stage.h"

namespace aw = lumen::authoring;

namespace {

constexpr uint16_t kSquare = 1, kSound = 2, kSprite = 3, kFirstButton = 10, kButtons = 4;
constexpr uint16_t kTagDefineButton = 7, kTagDefineButton2 = 34, kTagButtonCxform = 23,
                   kTagButtonSound = 17;
constexpr size_t kMaxBody = 512;

void Append(aw::Bytes& to, const aw::Bytes& bytes) {
  to.insert(to.end(), bytes.begin(), bytes.end());
}

// The characters buttons show: a square, a sprite holding it, and the buttons themselves.
uint16_t Character(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kSquare;
    case 1:
      return kSprite;
    case 2:
      return static_cast<uint16_t>(kFirstButton + in.ConsumeIntegralInRange(0, kButtons - 1));
    default:
      return in.ConsumeIntegral<uint16_t>();
  }
}

aw::MatrixSpec Matrix(FuzzedDataProvider& in) {
  aw::MatrixSpec m;
  m.a = in.ConsumeIntegralInRange(-4, 4) / 2.0;
  m.d = in.ConsumeIntegralInRange(-4, 4) / 2.0;
  m.b = in.ConsumeIntegralInRange(-2, 2) / 2.0;
  m.tx = in.ConsumeIntegralInRange(-4000, 4000);
  m.ty = in.ConsumeIntegralInRange(-4000, 4000);
  return m;
}

// Actions a condition runs: ones that change buttons under the pointer, or raw bytes.
aw::Bytes Actions(FuzzedDataProvider& in) {
  aw::ActionWriter a;
  const std::string button =
      "_root.b" + std::to_string(in.ConsumeIntegralInRange<int>(0, kButtons));
  switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0:
      a.GotoFrame(in.ConsumeIntegralInRange(0, 2));
      break;
    case 1:
      a.SetMember(button, "_visible", [](aw::ActionWriter& v) { v.Push({false}); });
      break;
    case 2:
      a.SetMember(button, "enabled", [](aw::ActionWriter& v) { v.Push({false}); });
      break;
    case 3:
      a.CallMethod(button, "removeMovieClip", 0).Op(aw::kPop);
      break;
    case 4:
      a.SetMember(button, "_x", [](aw::ActionWriter& v) { v.Push({300.0}); });
      break;
    case 5:
      a.Push({"pressed"}).Op(aw::kTrace);
      break;
    default: {
      aw::Bytes raw = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, 32));
      raw.push_back(0);
      return raw;
    }
  }
  return a.Finish();
}

aw::Bytes Records(FuzzedDataProvider& in, bool with_cxform) {
  aw::BitWriter out;
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    out.WriteU8(in.ConsumeIntegral<uint8_t>() & 0x0F);
    out.WriteU16(Character(in));
    out.WriteU16(in.ConsumeIntegralInRange<uint16_t>(0, 4));
    aw::WriteMatrix(out, Matrix(in));
    if (with_cxform) aw::WriteCxform(out, {}, true);
  }
  out.WriteU8(0);
  return out.bytes();
}

aw::Bytes ButtonOne(FuzzedDataProvider& in, uint16_t id) {
  aw::BitWriter body;
  body.WriteU16(id);
  body.WriteBytes(Records(in, false));
  body.WriteBytes(Actions(in));
  return body.bytes();
}

aw::Bytes ButtonTwo(FuzzedDataProvider& in, uint16_t id) {
  const aw::Bytes records = Records(in, true);
  std::vector<aw::Bytes> actions;
  std::vector<uint16_t> conditions;
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    conditions.push_back(in.ConsumeIntegral<uint16_t>());
    actions.push_back(Actions(in));
  }
  aw::BitWriter body;
  body.WriteU16(id);
  body.WriteU8(in.ConsumeIntegral<uint8_t>());  // track as menu, and reserved bits
  body.WriteU16(actions.empty() ? 0 : static_cast<uint16_t>(2 + records.size()));
  body.WriteBytes(records);
  for (size_t i = 0; i < actions.size(); ++i) {
    const bool last = i + 1 == actions.size();
    body.WriteU16(last ? 0 : static_cast<uint16_t>(4 + actions[i].size()));
    body.WriteU16(conditions[i]);
    body.WriteBytes(actions[i]);
  }
  return body.bytes();
}

aw::Bytes ButtonSound(FuzzedDataProvider& in, uint16_t id) {
  aw::BitWriter body;
  body.WriteU16(id);
  for (int slot = in.ConsumeIntegralInRange(0, 4); slot > 0; --slot) {
    const uint16_t sound = in.ConsumeBool() ? kSound : in.ConsumeIntegral<uint16_t>();
    body.WriteU16(sound);
    if (sound == 0) continue;
    // SOUNDINFO: flags, then what they announce.
    body.WriteBytes(in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 12)));
  }
  return body.bytes();
}

aw::Bytes Raw(FuzzedDataProvider& in, uint16_t id) {
  aw::BitWriter body;
  body.WriteU16(id);
  body.WriteBytes(in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, kMaxBody)));
  return body.bytes();
}

void Buttons(FuzzedDataProvider& in, aw::Bytes& tags) {
  for (uint16_t i = 0; i < kButtons; ++i) {
    const auto id = static_cast<uint16_t>(kFirstButton + i);
    switch (in.ConsumeIntegralInRange(0, 3)) {
      case 0:
        aw::WriteTag(tags, kTagDefineButton, ButtonOne(in, id));
        break;
      case 1:
        aw::WriteTag(tags, kTagDefineButton2, ButtonTwo(in, id));
        break;
      case 2:
        aw::WriteTag(tags, kTagDefineButton, Raw(in, id));
        break;
      default:
        aw::WriteTag(tags, kTagDefineButton2, Raw(in, id));
        break;
    }
    if (in.ConsumeBool()) aw::WriteTag(tags, kTagButtonCxform, Raw(in, id));
    if (in.ConsumeBool()) {
      aw::WriteTag(tags, kTagButtonSound, in.ConsumeBool() ? ButtonSound(in, id) : Raw(in, id));
    }
  }
}

aw::Bytes MovieFrom(FuzzedDataProvider& in) {
  static constexpr uint8_t kVersions[] = {4, 5, 6, 8, 10};
  aw::Bytes tags;
  aw::ShapeWriter shape(3);
  shape.Select(-1, shape.AddSolidFill({0, 128, 255, 255}));
  shape.Rectangle(0, 0, 2000, 2000);
  Append(tags, shape.Tag(kSquare, 0, 2000, 0, 2000));
  aw::Bytes pcm(200);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<uint8_t>(i * 5);
  aw::DefineSound(tags, kSound, aw::SoundFormatByte(3, 1, true, false), 100, pcm);
  aw::Bytes sprite;
  aw::PlaceObject(sprite, kSquare, 1);
  aw::ShowFrame(sprite);
  aw::ShowFrame(sprite);
  aw::End(sprite);
  aw::DefineSprite(tags, kSprite, 2, sprite);
  Buttons(in, tags);
  for (uint16_t i = 0; i < kButtons; ++i) {
    aw::PlaceSpec place;
    place.depth = static_cast<uint16_t>(i + 1);
    place.character = static_cast<uint16_t>(kFirstButton + i);
    place.matrix = aw::MatrixSpec{1, 0, 0, 1, i % 2 * 2400, i / 2 * 2400};
    place.name = "b" + std::to_string(i);
    aw::PlaceObject2(tags, place);
  }
  for (int frame = 0; frame < 3; ++frame) aw::ShowFrame(tags);
  aw::End(tags);
  aw::MovieSpec spec;
  spec.version = in.PickValueInArray(kVersions);
  spec.frame_count = 3;
  return aw::BuildMovie(spec, tags);
}

void Drive(FuzzedDataProvider& in, lumen::stage::Stage& stage) {
  using lumen::stage::Stage;
  lumen::render::RenderList list;
  double clock = 0;
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange(0, 6)) {
      case 0:
        stage.MouseMove(in.ConsumeIntegralInRange(-20, 260), in.ConsumeIntegralInRange(-20, 260));
        break;
      case 1:
        stage.MouseDown();
        break;
      case 2:
        stage.MouseUp();
        break;
      case 3: {
        const auto code = in.ConsumeIntegralInRange<uint16_t>(0, 130);
        stage.KeyDown(code, in.ConsumeIntegralInRange<uint16_t>(0, 127));
        stage.KeyUp(code, 0);
        break;
      }
      case 4:
        stage.KeyDown(Stage::kTabKey, 9);
        stage.KeyUp(Stage::kTabKey, 9);
        break;
      case 5:
        stage.MouseLeave();
        break;
      default:
        clock += 100;
        stage.SetClock(clock);
        stage.Advance();
        stage.BuildRenderList(list);
        break;
    }
  }
  stage.BuildRenderList(list);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const auto result = lumen::movie::LoadMovie(MovieFrom(in));
  if (!result.movie) return 0;  // a raw body may spoil the movie
  lumen::stage::ScriptSetup setup;
  setup.limits.run_ms = 50;
  setup.limits.heap_bytes = size_t{32} << 20;
  setup.trace = [](std::string_view) {};
  lumen::stage::Stage stage(result.movie, true, size_t{4} << 20, std::move(setup));
  stage.SetClock(0);
  stage.Advance();
  Drive(in, stage);
  return 0;
}
