#include "screensaver/framework/CommandLine.h"

#include <gtest/gtest.h>

#include "screensaver/framework/CloseRules.h"

namespace lumen::scrnsave {
namespace {

TEST(SaverCommandLine, ChoosesTheModeFromTheFirstCharacter) {
  using enum SaverMode;
  const struct {
    const wchar_t* line;
    SaverCommand expected;
  } cases[] = {
      {L"/s", {FullScreen, Owner::None, 0}},
      {L"-S", {FullScreen, Owner::None, 0}},
      {L"s", {FullScreen, Owner::None, 0}},
      {L"  //--/S extra", {FullScreen, Owner::None, 0}},
      {L"/p 1234", {Preview, Owner::Given, 1234}},
      {L"/P1234", {Preview, Owner::Given, 1234}},
      {L"/l   77", {Preview, Owner::Given, 77}},
      {L"/p", {Preview, Owner::Given, 0}},
      {L"/p:1234", {Preview, Owner::Given, 0}},
      {L"/p 4294967295", {Preview, Owner::Given, 4294967295u}},
      {L"/p 4294967296", {Preview, Owner::Given, 0}},
      {L"/p 99999999999999999999999", {Preview, Owner::Given, 0}},
      {L"/c:1234", {Configure, Owner::Given, 1234}},
      {L"/c 1234", {Configure, Owner::Foreground, 0}},
      {L"/C", {Configure, Owner::Foreground, 0}},
      {L"/c:", {Configure, Owner::Foreground, 0}},
      {L"", {Configure, Owner::None, 0}},
      {L"  -/ ", {Configure, Owner::None, 0}},
      {L"/a 55", {ChangePassword, Owner::Given, 55}},
      {L"/a", {ChangePassword, Owner::Foreground, 0}},
      {L"/x", {Invalid, Owner::None, 0}},
      {L"\"/s\"", {Invalid, Owner::None, 0}},
      {L"\t/s", {Invalid, Owner::None, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.line)));
    const SaverCommand got = ParseCommandLine(c.line);
    EXPECT_EQ(got.mode, c.expected.mode);
    EXPECT_EQ(got.owner, c.expected.owner);
    EXPECT_EQ(got.window, c.expected.window);
  }
}

TEST(SaverCloseRules, FourPixelsAreToleratedFiveEndTheSaver) {
  const struct {
    int32_t dx, dy;
    bool ends;
  } cases[] = {{0, 0, false}, {4, 0, false}, {0, -4, false}, {2, 2, false},  {-3, 1, false},
               {5, 0, true},  {0, 5, true},  {3, -2, true},  {-1, -4, true}, {INT32_MAX, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.dx << "," << c.dy);
    EXPECT_EQ(MovedTooFar(0, 0, c.dx, c.dy), c.ends);
  }
  EXPECT_TRUE(MovedTooFar(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
}

TEST(SaverCloseRules, PowerNotices) {
  constexpr uint32_t kQuerySuspend = 0x0, kSuspend = 0x4, kResumeAutomatic = 0x12;
  EXPECT_TRUE(PowerNoticeEnds(kQuerySuspend, 0, false));
  EXPECT_TRUE(PowerNoticeEnds(kSuspend, 0, false));
  EXPECT_TRUE(PowerNoticeEnds(kResumeAutomatic, 0, false));
  EXPECT_TRUE(PowerNoticeEnds(kPowerResumeSuspend, 0, false));
  EXPECT_FALSE(PowerNoticeEnds(kPowerResumeSuspend, kResumeFromFailure, false));
  EXPECT_TRUE(PowerNoticeEnds(kPowerStatusChange, 0, true));
  EXPECT_FALSE(PowerNoticeEnds(kPowerStatusChange, 0, false));
}

}  // namespace
}  // namespace lumen::scrnsave
