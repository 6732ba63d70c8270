#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash/ControlMenu.h"

namespace lumen::flash {
namespace {

// The menu as one line of texts, "-" for a separator, "*" marking a checked and "~" a greyed item.
std::wstring Layout(const MenuState& state) {
  std::wstring line;
  for (const MenuItem& item : ControlMenuItems(state)) {
    if (!line.empty()) line += L'|';
    if (item.command == MenuCommand::None) {
      line += L'-';
      continue;
    }
    if (item.checked) line += L'*';
    if (!item.enabled) line += L'~';
    line += item.text;
  }
  return line;
}

TEST(ControlMenu, ItemsFollowTheMenuSettingTheMovieAndTheState) {
  using Quality = ControlSettings::Quality;
  const struct {
    const char* what;
    MenuState state;
    std::wstring layout;
  } cases[] = {
      {"a playing, looping movie on its first frame",
       {true, 10, 0, true, true, false, Quality::High},
       L"Zoom In|~Zoom Out|*~Show All|-|Low Quality|Medium Quality|*High Quality|-|*Play|*Loop|-|"
       L"~Rewind|Forward|~Back|-|About Lumenreel..."},
      {"stopped on its last frame, zoomed in, low quality",
       {true, 10, 9, false, false, true, Quality::AutoLow},
       L"Zoom In|Zoom Out|Show All|-|*Low Quality|Medium Quality|High Quality|-|Play|Loop|-|"
       L"Rewind|~Forward|Back|-|About Lumenreel..."},
      {"a movie of one frame",
       {true, 1, 0, true, true, false, Quality::Medium},
       L"Zoom In|~Zoom Out|*~Show All|-|Low Quality|*Medium Quality|High Quality|-|"
       L"About Lumenreel..."},
      {"the menu setting off",
       {false, 10, 3, true, true, false, Quality::Best},
       L"About Lumenreel..."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Layout(c.state), c.layout);
  }
}

}  // namespace
}  // namespace lumen::flash
