#include "player/PlayerNames.h"

#include <gtest/gtest.h>

namespace lumen::player {
namespace {

TEST(PlayerNames, MovieFileAndCaptionFollowTheExecutablesBaseName) {
  struct Case {
    const wchar_t* temp;
    const wchar_t* exe;
    const wchar_t* movie;
    const wchar_t* caption;
  };
  const Case cases[] = {
      {L"C:\\Temp\\", L"C:\\Shows\\Holiday.exe", L"C:\\Temp\\Holiday.swf", L"Lumenreel - Holiday"},
      {L"C:\\Temp", L"C:\\Shows\\My.Trip.exe", L"C:\\Temp\\My.Trip.swf", L"Lumenreel - My.Trip"},
      {L"C:\\T\\", L"C:\\Shows\\Plain", L"C:\\T\\Plain.swf", L"Lumenreel - Plain"},
      {L"C:\\T\\", L"C:\\a.b\\Plain", L"C:\\T\\Plain.swf", L"Lumenreel - Plain"},
      {L"C:\\T\\", L"D:Show.exe", L"C:\\T\\Show.swf", L"Lumenreel - Show"},
      {L"C:\\T\\", L"C:/Fotos/Ferien Über.EXE", L"C:\\T\\Ferien Über.swf",
       L"Lumenreel - Ferien Über"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MovieFileFor(c.temp, c.exe), c.movie);
    EXPECT_EQ(CaptionFor(c.exe), c.caption);
  }
}

TEST(PlayerNames, LongPathsAreNeverCut) {
  const std::wstring folder = L"C:\\" + std::wstring(400, L'f');
  const std::wstring exe = folder + L"\\" + std::wstring(300, L'n') + L".exe";
  EXPECT_EQ(MovieFileFor(folder, exe), folder + L"\\" + std::wstring(300, L'n') + L".swf");
}

TEST(PlayerNames, TrailingBackslashIsAddedOnlyWhenMissing) {
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Temp"), L"C:\\Temp\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Temp\\"), L"C:\\Temp\\");
  EXPECT_EQ(WithTrailingBackslash(L"C:\\Temp/"), L"C:\\Temp/\\");
}

TEST(ShortCutText, OnlyPlainCtrlFReadsAsTheFullScreenShortCut) {
  struct Case {
    KeyChord chord;
    const char* text;
  };
  const Case cases[] = {
      {{'F', false, true, false}, "Ctrl+F"},    {{'F', true, true, false}, "Shift+Ctrl+F"},
      {{'F', false, true, true}, "Ctrl+Alt+F"}, {{'F', true, true, true}, "Shift+Ctrl+Alt+F"},
      {{'F', false, false, false}, "F"},        {{'G', false, true, false}, "Ctrl+G"},
      {{0x1B, false, false, false}, "Esc"},     {{0x11, false, true, false}, ""},  // Ctrl itself
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortCutText(c.chord), c.text);
    EXPECT_EQ(ShortCutText(c.chord) == kFullScreenShortCut, std::string_view(c.text) == "Ctrl+F");
  }
}

}  // namespace
}  // namespace lumen::player
