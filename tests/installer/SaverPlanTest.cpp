#include "installer/SaverPlan.h"

#include <gtest/gtest.h>

#include <string>

namespace lumen::installer {
namespace {

TEST(SaverFileName, CutsTheLastComponentAtItsFirstDot) {
  const struct {
    const wchar_t* module_path;
    const wchar_t* name;
  } cases[] = {
      {L"D:\\Downloads\\MyShow.exe", L"MyShow.scr"},
      {L"D:\\Downloads\\My.Show.2.exe", L"My.scr"},
      {L"D:\\Downloads\\setup", L"setup"},
      {L"C:\\My.Folder\\v1.2\\setup", L"setup"},  // dots in folders do not count
      {L"C:\\Shows\\Holiday.", L"Holiday.scr"},
      {L"C:\\Shows\\.exe", L".scr"},
      {L"C:\\Shows\\a.b.c.d.e", L"a.scr"},
      {L"\\\\server\\share\\Show.exe", L"Show.scr"},
      {L"Show.exe", L"Show.scr"},  // no folder at all: the whole text is the name
      {L"C:\\Shows\\Sh\u00f6w.exe", L"Sh\u00f6w.scr"},
      {L"C:\\Shows\\", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SaverFileName(c.module_path), c.name) << c.module_path;
  }
}

TEST(RecordsCompatibility, NeedsMajorSixOrMoreAndANonZeroMinor) {
  const struct {
    std::uint32_t version;
    bool records;
  } cases[] = {
      {0x0A280105, false},  // 5.1
      {0x17700006, false},  // 6.0
      {0x1DB10106, true},   // 6.1
      {0x23F00206, true},   // 6.2
      {0x25800306, true},   // 6.3
      {0x4A61000A, false},  // 10.0
      {0x0000010A, true},   // 10.1
      {0x0000FF05, false},  // 5.255
      {0xFFFF0000, false},  // the build number never counts
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecordsCompatibility(c.version), c.records) << std::hex << c.version;
  }
}

TEST(PlanInstall, PutsTheSaverIntoTheWindowsFolder) {
  const auto paths = PlanInstall(L"C:\\Windows", L"D:\\Downloads\\MyShow.exe");
  ASSERT_TRUE(paths);
  EXPECT_EQ(paths->target, L"C:/Windows/MyShow.scr");
  EXPECT_EQ(paths->shell_path, L"C:\\Windows\\MyShow.scr");
  EXPECT_EQ(paths->parameters, L"desk.cpl, InstallScreenSaver C:\\Windows\\MyShow.scr");
}

TEST(PlanInstall, SlashesInTheReportedFolderEndAsBackslashes) {
  const auto paths = PlanInstall(L"C:/WINNT\\", L"E:\\setup");
  ASSERT_TRUE(paths);
  EXPECT_EQ(paths->target, L"C:/WINNT//setup");
  EXPECT_EQ(paths->parameters, L"desk.cpl, InstallScreenSaver C:\\WINNT\\\\setup");
}

// The parameter text has 29 fixed characters, so the target may have 230; the installer's own
// path must fit 259 characters.
TEST(PlanInstall, RefusesPathsThatDoNotFitTheirBuffers) {
  const std::wstring folder_for_230 = L"C:\\" + std::wstring(216, L'w');  // + "/MyShow.scr"
  ASSERT_EQ((folder_for_230 + L"/MyShow.scr").size(), 230u);
  const auto longest = PlanInstall(folder_for_230, L"D:\\MyShow.exe");
  ASSERT_TRUE(longest);
  EXPECT_EQ(longest->parameters.size(), 259u);
  EXPECT_FALSE(PlanInstall(folder_for_230 + L"w", L"D:\\MyShow.exe"));

  const std::wstring module_259 = L"D:\\" + std::wstring(250, L'd') + L"\\a.exe";
  ASSERT_EQ(module_259.size(), 259u);
  EXPECT_TRUE(PlanInstall(L"C:\\Windows", module_259));
  EXPECT_FALSE(PlanInstall(L"C:\\Windows", L"D:\\" + std::wstring(251, L'd') + L"\\a.exe"));
  EXPECT_FALSE(PlanInstall(std::wstring(4000, L'w'), L"D:\\a.exe"));
}

}  // namespace
}  // namespace lumen::installer
