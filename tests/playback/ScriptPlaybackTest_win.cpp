// Scripted movies in the real player window: a preloader, a movie that stops itself, one that
// loops back by script and a clip faded out from onEnterFrame. Each is built in code, appended to
// reelplayer and watched on screen. Where a picture must hold still, a band along the bottom
// flips colour every frame (a sprite of its own), so "it stayed" is judged over frames played,
// not over time.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/SwfWriter.h"
#include "player/MovieTrailer.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using namespace authoring;

constexpr int kWidth = 400, kHeight = 300;
constexpr int kBandTop = 280;  // stage pixels; the beat band lies below
constexpr Color kBackground{0x30, 0x30, 0x30};
constexpr Color kBeatA{0xF0, 0xF0, 0xF0}, kBeatB{0x10, 0x10, 0x10};
constexpr Color kRed{0xD0, 0x20, 0x20}, kGreen{0x20, 0xB0, 0x40}, kBlue{0x20, 0x40, 0xD0},
    kYellow{0xE0, 0xD0, 0x20}, kMagenta{0xC0, 0x30, 0xC0}, kTeal{0x10, 0x90, 0x90};
constexpr uint16_t kBeatSprite = 90;
constexpr int kBeatsToHold = 8;  // band flips seen while a held picture must not change

uint32_t Rgb(Color c) {
  return static_cast<uint32_t>(c.r) << 16 | static_cast<uint32_t>(c.g) << 8 | c.b;
}

void Append(Bytes& tags, const Bytes& tag) {
  tags.insert(tags.end(), tag.begin(), tag.end());
}

// A shape of one colour over stage pixels [x0, x1) x [y0, y1).
void DefineBox(Bytes& tags, uint16_t id, Color colour, int x0, int y0, int x1, int y1) {
  ShapeWriter shape(3);
  shape.Select(0, shape.AddSolidFill(colour));
  shape.Rectangle(x0 * 20, y0 * 20, x1 * 20, y1 * 20);
  Append(tags, shape.Tag(id, x0 * 20, x1 * 20, y0 * 20, y1 * 20));
}

void Place(Bytes& tags, uint16_t character, uint16_t depth, bool replace = false) {
  PlaceSpec place;
  place.depth = depth;
  place.character = character;
  place.move = replace;
  PlaceObject2(tags, place);
}

// The band: a sprite of two frames, one colour each, placed at the top depth.
void AddBeat(Bytes& tags) {
  DefineBox(tags, kBeatSprite + 1, kBeatA, 0, kBandTop, kWidth, kHeight);
  DefineBox(tags, kBeatSprite + 2, kBeatB, 0, kBandTop, kWidth, kHeight);
  Bytes frames;
  Place(frames, kBeatSprite + 1, 1);
  ShowFrame(frames);
  Place(frames, kBeatSprite + 2, 1, /*replace=*/true);
  ShowFrame(frames);
  End(frames);
  DefineSprite(tags, kBeatSprite, 2, frames);
  Place(tags, kBeatSprite, 100);
}

Bytes Movie(const Bytes& tags, uint16_t frames, Color background = kBackground) {
  Bytes body;
  SetBackgroundColor(body, background);
  body.insert(body.end(), tags.begin(), tags.end());
  End(body);
  MovieSpec spec;
  spec.version = 8;
  spec.frame_count = frames;
  spec.frame_rate = 12 << 8;
  spec.x_max = kWidth * 20;
  spec.y_max = kHeight * 20;
  return BuildMovie(spec, body);
}

// Frame 1 waits until the whole file is in; frame 2, a red picture, sends it back to frame 1;
// frame 3 shows green and stops.
Bytes PreloaderMovie() {
  Bytes tags;
  DefineBox(tags, 1, kRed, 0, 0, kWidth, kBandTop);
  DefineBox(tags, 2, kGreen, 0, 0, kWidth, kBandTop);
  AddBeat(tags);
  ActionWriter wait;
  wait.CallMethod("_root", "getBytesTotal", 0).StoreRegister(1).Op(kPop);
  wait.Push({Register{1}, 0.0}).Op(kGreater).Op(kNot).If("loading");
  wait.CallMethod("_root", "getBytesLoaded", 0).Push({Register{1}}).Op(kLess2).If("loading");
  wait.GotoFrame(2).Op(kStop);
  wait.Label("loading");
  DoAction(tags, wait.Finish());
  ShowFrame(tags);
  Place(tags, 1, 1);
  DoAction(tags, ActionWriter().GotoFrame(0).Op(kPlay).Finish());
  ShowFrame(tags);
  RemoveObject2(tags, 1);
  Place(tags, 2, 1);
  DoAction(tags, ActionWriter().Op(kStop).Finish());
  ShowFrame(tags);
  return Movie(tags, 3);
}

// Red, blue, yellow, then green, where the last frame's script stops the timeline.
Bytes StopsOnLastFrameMovie() {
  Bytes tags;
  const Color colours[] = {kRed, kBlue, kYellow, kGreen};
  for (uint16_t i = 0; i < 4; ++i) DefineBox(tags, i + 1, colours[i], 0, 0, kWidth, kBandTop);
  AddBeat(tags);
  for (uint16_t i = 0; i < 4; ++i) {
    Place(tags, i + 1, 1, /*replace=*/i > 0);
    if (i == 3) DoAction(tags, ActionWriter().Op(kStop).Finish());
    ShowFrame(tags);
  }
  return Movie(tags, 4);
}

// Blue, yellow, magenta, red; red's script plays on from frame 2 before red is drawn, so
// yellow and magenta take turns and neither blue nor red shows again.
Bytes LoopsBackMovie() {
  Bytes tags;
  const Color colours[] = {kBlue, kYellow, kMagenta, kRed};
  for (uint16_t i = 0; i < 4; ++i) DefineBox(tags, i + 1, colours[i], 0, 0, kWidth, kHeight);
  for (uint16_t i = 0; i < 4; ++i) {
    Place(tags, i + 1, 1, /*replace=*/i > 0);
    if (i == 3) DoAction(tags, ActionWriter().GotoFrame(1).Op(kPlay).Finish());
    ShowFrame(tags);
  }
  return Movie(tags, 4);
}

// A red sprite over a teal stage loses 10 alpha points a frame from its onEnterFrame until none
// is left.
Bytes FadeOutMovie() {
  Bytes tags;
  DefineBox(tags, 1, kRed, 0, 0, kWidth, kHeight);
  Bytes sprite;
  Place(sprite, 1, 1);
  ShowFrame(sprite);
  End(sprite);
  DefineSprite(tags, 2, 1, sprite);
  ActionWriter fade;
  fade.GetMember("this", "_alpha").Push({0.0}).Op(kGreater).Op(kNot).If("done");
  fade.SetMember("this", "_alpha",
                 [](ActionWriter& v) { v.GetMember("this", "_alpha").Push({10.0}).Op(kSubtract); });
  fade.Label("done");
  PlaceSpec place;
  place.depth = 1;
  place.character = 2;
  PlaceObject2WithActions(tags, place, {{0x2 /* enterFrame */, fade.Finish()}});
  DoAction(tags, ActionWriter().Op(kStop).Finish());
  ShowFrame(tags);
  return Movie(tags, 1, kTeal);
}

bool Near(uint32_t a, uint32_t b) {
  for (int shift = 0; shift < 24; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        4) {
      return false;
    }
  }
  return true;
}

// The colour of rows [top, bottom) when all but a sliver of their pixels show it, as 0xRRGGBB.
std::optional<uint32_t> UniformColour(const std::vector<uint8_t>& rgb, int width, int top,
                                      int bottom) {
  if (width <= 0 || bottom <= top || rgb.size() < static_cast<size_t>(bottom) * width * 3) {
    return std::nullopt;
  }
  const size_t middle = (static_cast<size_t>((top + bottom) / 2) * width + width / 2) * 3;
  const uint32_t colour = static_cast<uint32_t>(rgb[middle]) << 16 |
                          static_cast<uint32_t>(rgb[middle + 1]) << 8 | rgb[middle + 2];
  size_t off = 0;
  for (size_t i = static_cast<size_t>(top) * width * 3; i < static_cast<size_t>(bottom) * width * 3;
       i += 3) {
    const uint32_t pixel =
        static_cast<uint32_t>(rgb[i]) << 16 | static_cast<uint32_t>(rgb[i + 1]) << 8 | rgb[i + 2];
    if (!Near(pixel, colour)) ++off;
  }
  const size_t pixels = static_cast<size_t>(bottom - top) * width;
  if (off * 1000 > pixels) return std::nullopt;
  return colour;
}

std::string Hex(std::optional<uint32_t> colour) {
  if (!colour) return "a mixed picture";
  char text[16];
  std::snprintf(text, sizeof text, "#%06X", static_cast<unsigned>(*colour));
  return text;
}

// One look at the movie area: the colour above the band, and the band's.
struct Look {
  std::optional<uint32_t> picture, band;
};

class ScriptPlaybackTest : public ::testing::Test {
 protected:
  // Starts reelplayer with `movie`; the window's movie area is the stage at its own size.
  void Start(const Bytes& movie) {
    const auto exe = dir_.path() / L"Scripted.exe";
    player::AppendMovie(TestProgramFolder().parent_path() / "player" / "reelplayer.exe",
                        dir_.Write("scripted.swf", movie), exe);
    player_.emplace(exe, dir_.path());
    ASSERT_NE(player_->WaitForMainWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] {
      RECT area{};
      GetClientRect(player_->MovieWindow(), &area);
      return area.right == kWidth && area.bottom == kHeight;
    })) << "the movie area is not the stage's size";
  }

  Look TakeLook() {
    int width = 0, height = 0;
    const std::vector<uint8_t> rgb = CaptureWindow(player_->MovieWindow(), width, height);
    Look look;
    if (width != kWidth || height != kHeight) return look;
    look.picture = UniformColour(rgb, width, 0, kBandTop - 2);
    look.band = UniformColour(rgb, width, kBandTop + 2, height);
    return look;
  }

  // Waits for `colour` above the band, then watches it hold while the band flips
  // kBeatsToHold times.
  void ExpectHolds(Color colour) {
    bool reached = false;
    int beats = 0;
    std::optional<uint32_t> last_band;
    std::string fault;
    const bool settled = WaitUntil(
        [&] {
          const Look look = TakeLook();
          if (!reached) {
            reached = look.picture && Near(*look.picture, Rgb(colour));
            last_band = look.band;
            return false;
          }
          if (!look.picture || !Near(*look.picture, Rgb(colour))) {
            fault =
                "changed to " + Hex(look.picture) + " after " + std::to_string(beats) + " frames";
            return true;
          }
          if (look.band && last_band && !Near(*look.band, *last_band)) ++beats;
          if (look.band) last_band = look.band;
          return beats >= kBeatsToHold;
        },
        std::chrono::seconds(20));
    EXPECT_TRUE(reached) << "never showed " << Hex(Rgb(colour));
    EXPECT_TRUE(fault.empty()) << fault;
    EXPECT_TRUE(settled) << "the band flipped only " << beats << " times";
  }

  void TearDown() override {
    if (!player_) return;
    player_->Close();
    EXPECT_EQ(player_->WaitForExit(), 0u);
  }

  TempDir dir_;
  std::optional<PlayerProcess> player_;
};

TEST_F(ScriptPlaybackTest, APreloaderShowsItsFirstPageOnceTheFileIsIn) {
  ASSERT_NO_FATAL_FAILURE(Start(PreloaderMovie()));
  ExpectHolds(kGreen);
}

TEST_F(ScriptPlaybackTest, AMovieStoppedOnItsLastFrameKeepsShowingIt) {
  ASSERT_NO_FATAL_FAILURE(Start(StopsOnLastFrameMovie()));
  ExpectHolds(kGreen);
}

TEST_F(ScriptPlaybackTest, GotoAndPlayOnTheLastFrameLoopsTheTwoBefore) {
  ASSERT_NO_FATAL_FAILURE(Start(LoopsBackMovie()));
  int changes = 0;
  std::optional<uint32_t> last;
  std::string fault;
  const bool looped = WaitUntil(
      [&] {
        const std::optional<uint32_t> c = TakeLook().picture;
        if (!c) return false;  // between two frames
        const bool yellow = Near(*c, Rgb(kYellow)), magenta = Near(*c, Rgb(kMagenta));
        if (last && !yellow && !magenta) {
          fault = "showed " + Hex(c) + " after " + std::to_string(changes) + " changes";
          return true;
        }
        if (!last && !yellow && !magenta) return false;  // the first frame, or none yet
        if (last && !Near(*c, *last)) ++changes;
        last = c;
        return changes >= 6;
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(fault.empty()) << fault;
  EXPECT_TRUE(looped) << "yellow and magenta took turns only " << changes << " times";
}

TEST_F(ScriptPlaybackTest, AClipFadedFromOnEnterFrameLeavesTheBackground) {
  ASSERT_NO_FATAL_FAILURE(Start(FadeOutMovie()));
  bool blended = false;
  std::optional<uint32_t> c;
  const bool faded = WaitUntil(
      [&] {
        c = UniformColour(
            [&] {
              int width = 0, height = 0;
              return CaptureWindow(player_->MovieWindow(), width, height);
            }(),
            kWidth, 0, kHeight);
        if (!c) return false;
        // Between red and teal in every channel, and neither of them.
        const uint32_t red = Rgb(kRed), teal = Rgb(kTeal);
        bool between = !Near(*c, red) && !Near(*c, teal);
        for (int shift = 0; shift < 24 && between; shift += 8) {
          const int v = (*c >> shift) & 0xFF, a = (red >> shift) & 0xFF, b = (teal >> shift) & 0xFF;
          between = v >= std::min(a, b) - 4 && v <= std::max(a, b) + 4;
        }
        blended = blended || between;
        return Near(*c, teal);
      },
      std::chrono::seconds(20));
  EXPECT_TRUE(faded) << "the movie area ends as " << Hex(c);
  EXPECT_TRUE(blended) << "no picture between the clip and the background was seen";
}

}  // namespace
}  // namespace lumen::testing
