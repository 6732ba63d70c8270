// A slideshow's own buttons in the real player window, worked by the real mouse and keyboard:
// previous, pause and next below the photos, one photo a frame, each frame stopping itself.
// After each step the movie area must show reelrender's picture after the same events, and
// each step must change that picture, so a step the window lost cannot pass unseen.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "authoring/ActionWriter.h"
#include "authoring/PictureArt.h"
#include "authoring/SwfWriter.h"
#include "player/MovieTrailer.h"
#include "tests/playback/EnginePicture_win.h"
#include "tests/player/PlayerDriver.h"
#include "tests/support/TempDir.h"

namespace lumen::testing {
namespace {

using namespace authoring;

constexpr int kWidth = 400, kHeight = 300, kPhotoHeight = 240, kPhotos = 3;
// The buttons (previous, pause, next) along the band below the photos, in stage pixels.
constexpr int kButtonLeft[] = {60, 160, 260};
constexpr int kButtonTop = 252, kButtonWidth = 80, kButtonHeight = 36;
constexpr int kNext = 2;
constexpr uint8_t kPreviousFrame = 0x05;
constexpr POINT kOnPhoto{200, 120};

void DefineBox(Bytes& tags, uint16_t id, Color colour) {
  ShapeWriter shape(3);
  shape.Select(0, shape.AddSolidFill(colour));
  shape.Rectangle(0, 0, kButtonWidth * 20, kButtonHeight * 20);
  const Bytes tag = shape.Tag(id, 0, kButtonWidth * 20, 0, kButtonHeight * 20);
  tags.insert(tags.end(), tag.begin(), tag.end());
}

void DefinePhoto(Bytes& tags, uint16_t bitmap, uint16_t shape_id, int scene) {
  BitWriter jpeg;
  jpeg.WriteU16(bitmap);
  jpeg.WriteBytes(EncodeJpeg(PaintScene(scene, kWidth, kPhotoHeight), 85));
  WriteTag(tags, kTagDefineBitsJpeg2, jpeg.bytes());
  ShapeWriter shape(3);
  shape.Select(0, shape.AddBitmapFill(bitmap, {20, 0, 0, 20, 0, 0}));
  shape.Rectangle(0, 0, kWidth * 20, kPhotoHeight * 20);
  const Bytes tag = shape.Tag(shape_id, 0, kWidth * 20, 0, kPhotoHeight * 20);
  tags.insert(tags.end(), tag.begin(), tag.end());
}

// A key listener, added once, that goes back a photo on the character "p": Key.getAscii must
// give the character the key typed.
void ListenForP(ActionWriter& script) {
  ActionWriter on_key;
  on_key.CallMethod("Key", "getAscii", 0).Push({112.0}).Op(kEquals2).Op(kNot).If("other");
  on_key.Op(kPreviousFrame).Label("other");
  script.Load("keys").Push({Undefined{}}).Op(kEquals2).Op(kNot).If("listening");
  script.SetVariable("keys", [](ActionWriter& v) { v.Push({0.0, "Object"}).Op(kNewObject); });
  script.SetMember("keys", "onKeyDown", [&](ActionWriter& v) { v.DefineFunction("", 0, on_key); });
  script.Load("keys").CallMethod("Key", "addListener", 1).Op(kPop).Label("listening");
}

// Buttons of grey boxes that light up amber under the pointer and turn orange when pressed. The
// first photo listens for "p"; the last one's script hides the pointer.
Bytes SlideshowMovie() {
  Bytes tags;
  SetBackgroundColor(tags, {0x20, 0x24, 0x30});
  DefineBox(tags, 1, {90, 90, 100});
  DefineBox(tags, 2, {250, 210, 90});
  DefineBox(tags, 3, {240, 120, 30});
  const ButtonRecordSpec records[] = {{0x09, 1, 1, {}}, {0x02, 2, 1, {}}, {0x04, 3, 1, {}}};
  const uint8_t actions[] = {kPreviousFrame, kStop, kNextFrame};
  for (uint16_t i = 0; i < 3; ++i) {
    const ButtonConditionSpec release[] = {{0x0008, ActionWriter().Op(actions[i]).Finish()}};
    DefineButton2(tags, 10 + i, records, release);
    PlaceSpec place;
    place.depth = 10 + i;
    place.character = 10 + i;
    place.matrix = MatrixSpec{.tx = kButtonLeft[i] * 20, .ty = kButtonTop * 20};
    PlaceObject2(tags, place);
  }
  for (uint16_t photo = 0; photo < kPhotos; ++photo) {
    DefinePhoto(tags, 20 + photo, 30 + photo, photo);
    PlaceSpec place;
    place.character = 30 + photo;
    place.move = photo > 0;
    PlaceObject2(tags, place);
    ActionWriter script;
    script.Op(kStop);
    if (photo == 0) ListenForP(script);
    if (photo == kPhotos - 1) script.CallMethod("Mouse", "hide", 0).Op(kPop);
    DoAction(tags, script.Finish());
    ShowFrame(tags);
  }
  End(tags);
  MovieSpec spec;
  spec.version = 8;
  spec.frame_count = kPhotos;
  spec.frame_rate = 12 << 8;
  spec.x_max = kWidth * 20;
  spec.y_max = kHeight * 20;
  return BuildMovie(spec, tags);
}

POINT ButtonCentre(int index) {
  return {kButtonLeft[index] + kButtonWidth / 2, kButtonTop + kButtonHeight / 2};
}

// The pointer on screen. A cursor handle belongs to the process that loaded it (under Wine even
// the system's own), so the player's hand is told from its arrow, not by the handle the test
// would load.
HCURSOR ShownCursor() {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  return GetCursorInfo(&info) ? info.hCursor : nullptr;
}

class ButtonPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    movie_ = dir_.Write("slideshow.swf", SlideshowMovie());
    const auto exe = dir_.path() / L"Buttons.exe";
    player::AppendMovie(TestProgramFolder().parent_path() / "player" / "reelplayer.exe", movie_,
                        exe);
    player_.emplace(exe, dir_.path());
    ASSERT_NE(player_->WaitForMainWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] {
      RECT area{};
      GetClientRect(player_->MovieWindow(), &area);
      return area.right == kWidth && area.bottom == kHeight;
    })) << "the movie area is not the stage's size";
  }

  void TearDown() override {
    if (!player_) return;
    player_->Close();
    EXPECT_EQ(player_->WaitForExit(), 0u);
  }

  void MoveTo(POINT at) {
    player_->MovePointer(at);
    events_.push_back(Mouse("MouseMove", at));
  }

  void ClickAt(POINT at) {
    player_->Click(at);
    events_.push_back(Mouse("MouseDown", at));
    events_.push_back(Mouse("MouseUp", at));
  }

  // Keys held down in order and released in reverse: virtual-key codes and reelrender's names.
  void PressKeys(std::initializer_list<std::pair<WORD, const char*>> keys) {
    std::vector<WORD> codes;
    for (const auto& [code, name] : keys) {
      codes.push_back(code);
      events_.push_back(Key("KeyDown", name));
    }
    for (auto key = keys.end(); key != keys.begin();)
      events_.push_back(Key("KeyUp", (--key)->second));
    player_->PressKeys(codes);
  }

  // The movie area shows reelrender's picture after the events so far, and that picture is not
  // the one the step before showed.
  void ExpectEnginePicture(const char* step) {
    SCOPED_TRACE(step);
    const auto input = dir_.Write("events.json", EventsJson());
    const std::vector<uint8_t> reference = pictures_.Of(movie_, 1, kWidth, kHeight, input);
    ASSERT_FALSE(reference.empty()) << "reelrender drew no picture";
    EXPECT_NE(reference, last_reference_) << "the step changed nothing in reelrender's picture";
    last_reference_ = reference;
    std::string why;
    std::vector<uint8_t> shown;
    const bool matched = WaitUntil([&] {
      int width = 0, height = 0;
      shown = CaptureWindow(player_->MovieWindow(), width, height);
      return PicturesMatch(shown, reference, why);
    });
    EXPECT_TRUE(matched) << why;
    if (!matched) {
      SavePictures(shown, reference, kWidth, kHeight,
                   "buttons-step" + std::to_string(events_.size()));
    }
  }

  TempDir dir_;
  std::filesystem::path movie_;
  std::optional<PlayerProcess> player_;
  EnginePictures pictures_{TestProgramFolder().parent_path() / "tools" / "reelrender.exe",
                           dir_.path()};

 private:
  static std::string Mouse(const char* type, POINT at) {
    return std::string("{\"type\": \"") + type + "\", \"pos\": [" + std::to_string(at.x) + ", " +
           std::to_string(at.y) + "]}";
  }
  // A key by name, or a character key by its one character.
  static std::string Key(const char* type, const std::string& name) {
    const std::string key = name.size() == 1 ? "{\"Char\": \"" + name + "\"}" : "\"" + name + "\"";
    return std::string("{\"type\": \"") + type + "\", \"key\": " + key + "}";
  }
  std::vector<uint8_t> EventsJson() const {
    std::string json = "[";
    for (size_t i = 0; i < events_.size(); ++i) json += (i ? ",\n" : "") + events_[i];
    json += "]\n";
    return {json.begin(), json.end()};
  }

  std::vector<std::string> events_;
  std::vector<uint8_t> last_reference_;
};

TEST_F(ButtonPlaybackTest, TheMouseLightsAndClicksAButtonAndTheKeysReachTheFocusedOne) {
  MoveTo(kOnPhoto);
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("over the first photo"));

  MoveTo(ButtonCentre(kNext));
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("over next"));
  const HCURSOR hand = ShownCursor();
  EXPECT_NE(hand, nullptr);

  ClickAt(ButtonCentre(kNext));
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("next clicked: the second photo"));
  EXPECT_EQ(player_->FocusedWindow(), player_->MovieWindow());

  MoveTo(kOnPhoto);
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("off next"));
  EXPECT_TRUE(WaitUntil([&] { return ShownCursor() != hand && ShownCursor() != nullptr; }))
      << "the pointer is the same over a button and off it";

  // Shift+Tab focuses the last button in the tab order, next, and Space presses it.
  PressKeys({{VK_SHIFT, "Shift"}, {VK_TAB, "Tab"}});
  PressKeys({{VK_SPACE, "Space"}});
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("Shift+Tab and Space: the third photo"));
  EXPECT_TRUE(WaitUntil([] { return ShownCursor() == nullptr; })) << "Mouse.hide() hid nothing";

  PressKeys({{'P', "p"}});
  ASSERT_NO_FATAL_FAILURE(ExpectEnginePicture("\"p\" typed: the second photo again"));
}

// The window hands the keyboard focus to the movie's control, yet the player's own keys and its
// double click keep their meaning.
TEST_F(ButtonPlaybackTest, DoubleClickCtrlFAndEscapeStillWorkTheFullScreen) {
  ASSERT_TRUE(WaitUntil([&] { return player_->FocusedWindow() == player_->MovieWindow(); }));
  player_->DoubleClick(kOnPhoto);
  EXPECT_TRUE(WaitUntil([&] { return player_->FullScreen(); })) << "double click";
  player_->PressKeys({VK_ESCAPE});
  EXPECT_TRUE(WaitUntil([&] { return player_->Windowed(); })) << "Escape";
  player_->PressKeys({VK_CONTROL, 'F'});
  EXPECT_TRUE(WaitUntil([&] { return player_->FullScreen(); })) << "Ctrl+F";
}

}  // namespace
}  // namespace lumen::testing
