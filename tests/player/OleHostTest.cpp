// The player's movie-control wrapper hosted in-process against the stand-in control.
#include <gtest/gtest.h>

#include "flash/ClassTable.h"
#include "player/Main.h"
#include "tests/player/FlashDouble.h"

// This test program's class table carries the stand-in under the movie control's class ID.
std::span<const lumen::flash::BuiltInClass> lumen::flash::BuiltInClasses() {
  static constexpr BuiltInClass kClasses[] = {
      {kClsidShockwaveFlash, kProgIdShockwaveFlash, &lumen::testing::CreateFlashDouble},
  };
  return kClasses;
}

namespace lumen::player {
namespace {

using testing::FlashLog;

class OleHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr))); }
  static void TearDownTestSuite() { OleUninitialize(); }
  void SetUp() override {
    FlashLog() = {};
    parent_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                              400, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
  }
  void TearDown() override { DestroyWindow(parent_); }

  RECT ChildRect(HWND child) const {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }

  HWND parent_ = nullptr;
};

TEST_F(OleHostTest, CreationAppliesTheSavedSettingsAndEveryResizeActivatesAgain) {
  TShockwaveFlash control(parent_);
  EXPECT_TRUE(FlashLog().client_site_seen);
  const std::map<DISPID, std::wstring> settings = {
      {kDispPlaying, L"true"},       {kDispLoop, L"true"},    {kDispMenu, L"true"},
      {kDispQuality2, L"High"},      {kDispWMode, L"Window"}, {kDispScale, L"ShowAll"},
      {kDispAllowNetworking, L"all"}};
  EXPECT_EQ(FlashLog().properties, settings);
  EXPECT_EQ(control.Handle(), nullptr);

  control.SetBounds({0, 0, 320, 200});
  control.CreateWnd();
  ASSERT_NE(control.Handle(), nullptr);
  EXPECT_EQ(GetParent(control.Handle()), parent_);
  EXPECT_TRUE(FlashLog().window_context_seen);
  EXPECT_TRUE(EqualRect(&FlashLog().last_verb_rect, &control.Bounds()));

  const RECT wider{0, 0, 390, 250};
  control.SetBounds(wider);
  EXPECT_EQ(FlashLog().object_rects, 1);
  control.CreateWnd();
  EXPECT_EQ(FlashLog().verbs, 2);
  const RECT moved = ChildRect(control.Handle());
  EXPECT_TRUE(EqualRect(&moved, &wider));
}

TEST_F(OleHostTest, MovieTravelsByDispatchBothWays) {
  TShockwaveFlash control(parent_);
  control.CreateWnd();
  EXPECT_EQ(control.Movie(), L"");
  control.SetMovie(L"C:\\Temp\\Holiday.swf");
  EXPECT_EQ(control.Movie(), L"C:\\Temp\\Holiday.swf");
  control.SetMovie(L" ");
  EXPECT_EQ(control.Movie(), L" ");
  wchar_t text[64];
  GetWindowTextW(control.Handle(), text, 64);
  EXPECT_STREQ(text, L" ");
}

TEST_F(OleHostTest, FailingDispatchCallsRaiseTheSystemsText) {
  TShockwaveFlash control(parent_);
  try {
    control.GetStringProperty(0x7C);
    ADD_FAILURE() << "no error";
  } catch (const OleError& error) {
    EXPECT_EQ(error.Result(), DISP_E_MEMBERNOTFOUND);
    EXPECT_STRNE(error.what(), "");
  }
}

TEST_F(OleHostTest, DoubleClickReachesTheHandlerAndThenTheControl) {
  TShockwaveFlash control(parent_);
  control.SetBounds({0, 0, 100, 100});
  control.CreateWnd();
  int calls = 0;
  TObject* sender = nullptr;
  control.OnDblClick = [&](TObject& from) {
    ++calls;
    sender = &from;
    EXPECT_EQ(FlashLog().double_clicks, 0) << "the handler runs first";
  };
  SendMessageW(control.Handle(), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, static_cast<TObject*>(&control));
  EXPECT_EQ(FlashLog().double_clicks, 1);
  SendMessageW(control.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(calls, 1);
}

TEST_F(OleHostTest, ReleasingTheWrapperClosesTheControlAndItsWindow) {
  HWND window = nullptr;
  {
    TShockwaveFlash control(parent_);
    control.CreateWnd();
    window = control.Handle();
    ASSERT_TRUE(IsWindow(window));
  }
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(FlashLog().closes, 1);
}

TEST_F(OleHostTest, AControlThatCannotBeCreatedRaises) {
  FlashLog().creation_result = REGDB_E_CLASSNOTREG;
  try {
    TFlashControl control(parent_);
    ADD_FAILURE() << "no error";
  } catch (const OleError& error) {
    EXPECT_EQ(error.Result(), REGDB_E_CLASSNOTREG);
  }
}

}  // namespace
}  // namespace lumen::player
