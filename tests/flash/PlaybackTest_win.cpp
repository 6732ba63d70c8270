// The control's frame loop, in process: the frame counter follows the movie's rate, frames that
// change nothing are not put on screen again, and a reloaded movie starts from its first frame.
#include <ole2.h>
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "authoring/SwfWriter.h"
#include "axhost/HostSite.h"
#include "flash/ComRef.h"
#include "flash/FlashControl.h"
#include "tests/support/MessagePump_win.h"
#include "tests/support/TempDir.h"

namespace lumen::flash {
namespace {

using authoring::Bytes;
using testing::PumpUntil;

// `frames` frames at `rate` fps of a square that moves every frame, or stays put.
Bytes SquareMovie(uint16_t frames, uint16_t rate, bool moving) {
  authoring::ShapeWriter square(3);
  square.Select(0, square.AddSolidFill({200, 40, 40, 255}));
  square.Rectangle(0, 0, 1000, 1000);
  Bytes tags = square.Tag(1, 0, 1000, 0, 1000);
  for (int frame = 0; frame < frames; ++frame) {
    authoring::PlaceSpec place;
    place.move = frame > 0;
    if (frame == 0) place.character = 1;
    place.matrix = authoring::MatrixSpec{.tx = moving ? 50 * frame : 0};
    authoring::PlaceObject2(tags, place);
    authoring::ShowFrame(tags);
  }
  authoring::End(tags);
  authoring::MovieSpec spec;
  spec.frame_count = frames;
  spec.frame_rate = static_cast<uint16_t>(rate << 8);
  return authoring::BuildMovie(spec, tags);
}

// The control, counting the frames its timer put on screen.
class CountingControl final : public FlashControl {
 public:
  int presented = 0;

 protected:
  void FramePresented(uint32_t) override { ++presented; }
};

// A control of ours in place in a visible window, playing `movie`.
class Playback {
 public:
  explicit Playback(const std::filesystem::path& movie) {
    window_ = CreateWindowExW(0, L"STATIC", L"playback test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                              0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    control_ = new CountingControl();
    control_->QueryInterface(IID_IOleObject, object_.ReceiveVoid());
    site_ = ComRef<axhost::HostSite>(axhost::HostSite::Create(window_));
    object_->SetClientSite(site_.Get());
    const RECT rect{0, 0, 200, 150};
    object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_.Get(), 0, window_, &rect);
    Load(movie);
  }
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;
  ~Playback() {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_.Reset();
    control_->Release();
    DestroyWindow(window_);
  }

  void Load(const std::filesystem::path& movie) {
    BSTR path = SysAllocString(movie.wstring().c_str());
    control_->put_Movie(path);
    SysFreeString(path);
  }
  long Frame() const {
    long frame = -1;
    control_->CurrentFrame(&frame);
    return frame;
  }
  CountingControl& Control() { return *control_; }
  HWND Window() const {
    HWND window = nullptr;
    control_->GetWindow(&window);
    return window;
  }
  // The colour on screen at a point of the control's window, once any pending paint is done.
  COLORREF PixelAt(int x, int y) const {
    HWND window = nullptr;
    control_->GetWindow(&window);
    UpdateWindow(window);
    HDC dc = GetDC(window);
    const COLORREF color = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return color;
  }

 private:
  HWND window_ = nullptr;
  CountingControl* control_ = nullptr;
  ComRef<IOleObject> object_;
  ComRef<axhost::HostSite> site_;
};

int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double SecondsSince(int64_t start) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(Ticks() - start) / static_cast<double>(frequency.QuadPart);
}

TEST(Playback, TheFrameCounterFollowsTheMovieRate) {
  testing::TempDir dir;
  const auto movie = dir.Write("long.swf", SquareMovie(1000, 30, true));
  Playback playback(movie);
  const int64_t start = Ticks();
  ASSERT_EQ(playback.Frame(), 0);
  // After 1.5 s a 30 fps movie is near frame 45; the margin allows for a slow, shared machine
  // (a stall of more than a few frames restarts the clock rather than racing to catch up).
  ASSERT_TRUE(PumpUntil([&] { return SecondsSince(start) >= 1.5; }));
  const long frame = playback.Frame();
  const double expected = 30 * SecondsSince(start);
  EXPECT_GT(frame, expected * 0.6);
  EXPECT_LT(frame, expected * 1.15);
  EXPECT_GE(playback.Control().presented, frame / 2);  // a moving square is shown as it moves
}

TEST(Playback, FramesThatChangeNothingAreNotDrawnAgain) {
  testing::TempDir dir;
  const auto still = dir.Write("still.swf", SquareMovie(20, 60, false));
  Playback playback(still);
  // Round the whole timeline and back to its start: every frame is the same picture.
  bool reached_end = false;
  ASSERT_TRUE(PumpUntil([&] {
    const long frame = playback.Frame();
    if (frame == 19) reached_end = true;
    return reached_end && frame < 5;
  }));
  // The first picture comes with the window's paint, or with the first tick if that is sooner.
  EXPECT_LE(playback.Control().presented, 1);
}

TEST(Playback, AReloadedMovieStartsFromItsFirstFrame) {
  testing::TempDir dir;
  const auto movie = dir.Write("moving.swf", SquareMovie(200, 30, true));
  Playback playback(movie);
  ASSERT_TRUE(PumpUntil([&] { return playback.Frame() >= 5; }));
  playback.Load(L" ");
  playback.Load(movie);
  EXPECT_LT(playback.Frame(), 2);
  VARIANT_BOOL playing = VARIANT_FALSE;
  playback.Control().get_Playing(&playing);
  EXPECT_EQ(playing, VARIANT_TRUE);
}

// One frame: the left half of the stage red, the rest the stage's blue.
Bytes HalfRedMovie() {
  Bytes tags;
  authoring::SetBackgroundColor(tags, {0, 0, 255});
  authoring::ShapeWriter half(3);
  half.Select(0, half.AddSolidFill({255, 0, 0, 255}));
  half.Rectangle(0, 0, 5500, 8000);
  const Bytes shape = half.Tag(1, 0, 5500, 0, 8000);
  tags.insert(tags.end(), shape.begin(), shape.end());
  authoring::PlaceSpec place;
  place.character = 1;
  authoring::PlaceObject2(tags, place);
  authoring::ShowFrame(tags);
  authoring::End(tags);
  return authoring::BuildMovie(authoring::MovieSpec{}, tags);
}

TEST(Playback, ZoomAndPanMoveThePictureWithinTheirLimits) {
  testing::TempDir dir;
  Playback playback(dir.Write("half.swf", HalfRedMovie()));
  // The 550 x 400 stage fills the 200 x 150 window's width; red ends at x = 100.
  constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);
  CountingControl& control = playback.Control();
  const struct {
    const char* what;
    std::function<HRESULT()> call;
    COLORREF at_120;  // the colour at 120, 75 afterwards
  } steps[] = {
      {"as laid out", [] { return S_OK; }, kBlue},
      {"a pan while not zoomed goes nowhere", [&] { return control.Pan(50, 0, 0); }, kBlue},
      {"zoomed in twice about the centre", [&] { return control.Zoom(50); }, kBlue},
      {"panned right by 50 pixels", [&] { return control.Pan(50, 0, 0); }, kRed},
      {"back to showing all", [&] { return control.Zoom(0); }, kBlue},
      {"zoomed to the red half's right edge",
       [&] { return control.SetZoomRect(4000, 3000, 5500, 5000); }, kRed},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    ASSERT_EQ(step.call(), S_OK);
    EXPECT_EQ(playback.PixelAt(120, 75), step.at_120);
  }
  EXPECT_EQ(control.Zoom(-1), E_INVALIDARG);
  EXPECT_EQ(control.SetZoomRect(10, 10, 5, 20), E_INVALIDARG);
}

// The texts of the menu open on this thread, read from inside its modal loop, which then closes.
std::vector<std::wstring> g_menu_texts;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = FindWindowW(L"#32768", nullptr);
  if (!popup || !IsWindowVisible(popup)) return;
  auto menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
  for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
    g_menu_texts.emplace_back(text[0] ? text : L"-");
  }
  KillTimer(nullptr, timer);
  EndMenu();
}

std::vector<std::wstring> OpenContextMenu(HWND window) {
  g_menu_texts.clear();
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ReadOpenMenu);
  POINT at{10, 10};
  ClientToScreen(window, &at);
  SendMessageW(window, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window), MAKELPARAM(at.x, at.y));
  KillTimer(nullptr, timer);
  return g_menu_texts;
}

TEST(Playback, TheRightClickMenuFollowsTheMenuSettingAndTheMovie) {
  testing::TempDir dir;
  const std::vector<std::wstring> full = {L"Zoom In",
                                          L"Zoom Out",
                                          L"Show All",
                                          L"-",
                                          L"Low Quality",
                                          L"Medium Quality",
                                          L"High Quality",
                                          L"-",
                                          L"Play",
                                          L"Loop",
                                          L"-",
                                          L"Rewind",
                                          L"Forward",
                                          L"Back",
                                          L"-",
                                          L"About Lumenreel..."};
  const std::vector<std::wstring> one_frame = {
      L"Zoom In",      L"Zoom Out", L"Show All",          L"-", L"Low Quality", L"Medium Quality",
      L"High Quality", L"-",        L"About Lumenreel..."};
  const struct {
    const char* what;
    Bytes movie;
    bool menu;
    std::vector<std::wstring> texts;
  } cases[] = {
      {"a movie of many frames", SquareMovie(50, 10, true), true, full},
      {"a movie of one frame", HalfRedMovie(), true, one_frame},
      {"the menu setting off", SquareMovie(50, 10, true), false, {L"About Lumenreel..."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Playback playback(dir.Write("menu.swf", c.movie));
    ASSERT_EQ(playback.Control().put_Menu(c.menu ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
    EXPECT_EQ(OpenContextMenu(playback.Window()), c.texts);
  }
}

}  // namespace
}  // namespace lumen::flash
