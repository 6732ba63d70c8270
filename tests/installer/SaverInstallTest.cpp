// Runs the built saverinstall.exe under its real conditions: copied under a show's name into a
// folder, with the system's rundll32.exe replaced for the test by one that records how it was
// started, the Windows version and the compatibility-assistant key set per case.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/installer/InstallerDriver_win.h"

namespace lumen::testing {
namespace {

namespace fs = std::filesystem;

}  // namespace

void PrintTo(BoxIcon icon, std::ostream* out) {
  constexpr const char* kNames[] = {"none", "question", "warning", "error", "information"};
  *out << kNames[static_cast<int>(icon)];
}

namespace {

constexpr wchar_t kPersistedKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Compatibility "
    L"Assistant\\Persisted";
constexpr wchar_t kProceedText[] = L"Do you want to proceed with installation of screen saver?";
constexpr wchar_t kOverwriteText[] = L"File already exit, overwrite it?";

// Build outputs are named by their host paths; Wine shows the host's root as drive Z.
fs::path BuildOutput(const char* host_path) {
  return fs::path("Z:" + std::string(host_path));
}

std::vector<char> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

fs::path WindowsFolder() {
  wchar_t folder[MAX_PATH];
  return fs::path(std::wstring(folder, GetWindowsDirectoryW(folder, MAX_PATH)));
}

std::optional<DWORD> RegistryDword(HKEY root, const wchar_t* key, const std::wstring& name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegGetValueW(root, key, name.c_str(), RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
      type != REG_DWORD) {
    return std::nullopt;
  }
  return value;
}

bool KeyExists(HKEY root, const wchar_t* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// Sets the Windows version Wine reports to programs started afterwards; puts the old one back.
class ScopedWineVersion {
 public:
  explicit ScopedWineVersion(const wchar_t* version) {
    wchar_t old[32];
    DWORD size = sizeof old;
    if (RegGetValueW(HKEY_CURRENT_USER, kWineKey, L"Version", RRF_RT_REG_SZ, nullptr, old, &size) ==
        ERROR_SUCCESS) {
      old_ = old;
    }
    Set(version);
  }
  ~ScopedWineVersion() {
    if (old_) {
      Set(old_->c_str());
    } else {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kWineKey, L"Version");
    }
  }
  ScopedWineVersion(const ScopedWineVersion&) = delete;
  ScopedWineVersion& operator=(const ScopedWineVersion&) = delete;

 private:
  static constexpr wchar_t kWineKey[] = L"Software\\Wine";
  static void Set(const wchar_t* version) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kWineKey, L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
  }
  std::optional<std::wstring> old_;
};

// Makes the Persisted key present or absent for one test and leaves it as it found it, without
// the values the test's installers may have written. A key holding values of someone else's is
// never removed.
class ScopedPersistedKey {
 public:
  ScopedPersistedKey(bool present, std::vector<fs::path> installers)
      : existed_(KeyExists(HKEY_CURRENT_USER, kPersistedKey)), installers_(std::move(installers)) {
    Make(present);
  }
  ~ScopedPersistedKey() {
    for (const auto& installer : installers_) {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersistedKey, installer.c_str());
    }
    Make(existed_);
  }
  ScopedPersistedKey(const ScopedPersistedKey&) = delete;
  ScopedPersistedKey& operator=(const ScopedPersistedKey&) = delete;

 private:
  static void Make(bool present) {
    HKEY key = nullptr;
    if (present) {
      RegCreateKeyExW(HKEY_CURRENT_USER, kPersistedKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr);
      RegCloseKey(key);
      return;
    }
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPersistedKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    if (values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, kPersistedKey);
  }
  bool existed_;
  std::vector<fs::path> installers_;
};

class SaverInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = fs::path(temp) / ("lumen-saverinstall-" + std::to_string(GetCurrentProcessId()) +
                                "-" + std::to_string(GetTickCount()));
    fs::create_directories(folder_);
    rundll32_.emplace(BuildOutput(LUMEN_RECORDING_RUNDLL32), Record());
  }

  void TearDown() override {
    rundll32_.reset();
    for (const auto& path : installed_) {
      std::error_code ignored;
      fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
      fs::remove_all(path, ignored);
      fs::remove(path.wstring() + L".new", ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Copies an installer build into the test folder under the given name.
  fs::path Installer(const std::wstring& name, const char* build = LUMEN_SAVERINSTALL) {
    const fs::path path = folder_ / name;
    fs::copy_file(BuildOutput(build), path);
    return path;
  }

  fs::path Target(const std::wstring& name) {
    const fs::path target = WindowsFolder() / name;
    installed_.push_back(target);
    std::error_code ignored;
    fs::remove_all(target, ignored);
    return target;
  }

  std::wstring RecordedCommandLine() const {
    const auto bytes = Bytes(Record());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
  }

  // The parameters rundll32 received: its command line after the program's own name.
  std::wstring RecordedParameters() const {
    const std::wstring line = RecordedCommandLine();
    std::size_t start = line.starts_with(L'"') ? line.find(L'"', 1) + 1 : line.find(L' ');
    start = line.find_first_not_of(L' ', start);
    return start == std::wstring::npos ? std::wstring() : line.substr(start);
  }

  static std::vector<char> Saver() { return Bytes(BuildOutput(LUMEN_SAVERINSTALL_PAYLOAD)); }

  // Starts an installer with nothing recorded yet.
  InstallerRun Start(const fs::path& installer) const {
    std::error_code ignored;
    fs::remove(Record(), ignored);
    return InstallerRun(installer.wstring());
  }

  // Finds the box, checks it shows exactly this and answers it.
  static void Answer(const InstallerRun& run, const wchar_t* title, const wchar_t* text,
                     BoxIcon icon, int button) {
    const auto box = run.WaitForBox(title);
    ASSERT_TRUE(box) << "no box titled " << ::testing::PrintToString(std::wstring(title));
    EXPECT_EQ(box->text, text);
    EXPECT_EQ(box->icon, icon);
    if (button == IDOK) {
      EXPECT_TRUE(box->ok && !box->yes && !box->no && !box->cancel);
    } else {
      EXPECT_TRUE(box->yes && box->no && !box->ok && !box->cancel);
    }
    EXPECT_FALSE(box->owned);
    InstallerRun::Press(*box, button);
  }
  static void AnswerProceed(const InstallerRun& run, int button) {
    Answer(run, L"Notice", kProceedText, BoxIcon::kQuestion, button);
  }
  static void AnswerOverwrite(const InstallerRun& run, int button) {
    Answer(run, L"WARNING", kOverwriteText, BoxIcon::kWarning, button);
  }
  static void AcknowledgeFailure(const InstallerRun& run, const std::wstring& text) {
    Answer(run, L"Error", text.c_str(), BoxIcon::kError, IDOK);
  }

  // The run ended with 0 after writing the carried saver to the target, whole and with nothing
  // left beside it, and starting rundll32 on it.
  void ExpectInstalled(const InstallerRun& run, const fs::path& target) const {
    EXPECT_EQ(run.WaitForExit(), 0u);
    EXPECT_EQ(run.ChildrenAfterAllEnded(), 1);
    EXPECT_TRUE(Bytes(target) == Saver()) << Bytes(target).size() << " bytes";
    EXPECT_FALSE(fs::exists(target.wstring() + L".new"));
    EXPECT_NE(RecordedCommandLine().find(L"rundll32.exe"), std::wstring::npos);
    EXPECT_EQ(RecordedParameters(), L"desk.cpl, InstallScreenSaver " + target.wstring());
  }

  // The run ended with this code, started nothing and left the file as it was.
  static void ExpectUntouched(const InstallerRun& run, DWORD exit_code, const fs::path& target,
                              const std::string& old_bytes) {
    EXPECT_EQ(run.WaitForExit(), exit_code);
    EXPECT_EQ(run.ChildrenAfterAllEnded(), 0);
    const auto kept = Bytes(target);
    EXPECT_TRUE(std::string(kept.begin(), kept.end()) == old_bytes)
        << kept.size() << " bytes instead of the old " << old_bytes.size();
  }

  fs::path Record() const { return folder_ / "rundll32-command-line.txt"; }

  fs::path folder_;
  std::optional<ScopedRundll32StandIn> rundll32_;
  std::vector<fs::path> installed_;
};

// A build's resources, read without running it.
class ResourceView {
 public:
  explicit ResourceView(const char* build)
      : module_(LoadLibraryExW(BuildOutput(build).c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ResourceView() {
    if (module_) FreeLibrary(module_);
  }
  ResourceView(const ResourceView&) = delete;
  ResourceView& operator=(const ResourceView&) = delete;

  // Empty when the resource is missing.
  std::optional<std::string> Bytes(const wchar_t* type, WORD id) const {
    const HRSRC found = module_ ? FindResourceW(module_, MAKEINTRESOURCEW(id), type) : nullptr;
    if (!found) return std::nullopt;
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(data, data + SizeofResource(module_, found));
  }

 private:
  HMODULE module_;
};

TEST(SaverInstallResources, CarriesTheSaverIconVersionAndManifest) {
  const ResourceView installer(LUMEN_SAVERINSTALL);
  const auto saver = installer.Bytes(L"SCR", 101);
  ASSERT_TRUE(saver);
  const auto built = Bytes(BuildOutput(LUMEN_SAVERINSTALL_PAYLOAD));
  EXPECT_TRUE(std::equal(saver->begin(), saver->end(), built.begin(), built.end()))
      << saver->size() << " bytes carried, " << built.size() << " built";

  // Icon group: a 6-byte head, then 14 bytes per image (width, height, ..., bits per pixel).
  const auto group = installer.Bytes(RT_GROUP_ICON, 103);
  ASSERT_TRUE(group);
  ASSERT_EQ(group->size(), 6u + 4 * 14);
  EXPECT_EQ((*group)[4], 4);
  const int sizes[] = {48, 32, 24, 16};
  for (int i = 0; i < 4; ++i) {
    const char* entry = group->data() + 6 + 14 * i;
    EXPECT_EQ(static_cast<unsigned char>(entry[0]), sizes[i]);
    EXPECT_EQ(static_cast<unsigned char>(entry[1]), sizes[i]);
    EXPECT_EQ(entry[6], 32) << "bits per pixel";
  }

  EXPECT_TRUE(installer.Bytes(RT_VERSION, 1));
  const auto manifest = installer.Bytes(RT_MANIFEST, 1);
  ASSERT_TRUE(manifest);
  EXPECT_NE(manifest->find("level=\"requireAdministrator\""), std::string::npos);

  // The test builds: one without the saver, one with an empty one.
  EXPECT_FALSE(ResourceView(LUMEN_SAVERINSTALL_NO_SAVER).Bytes(L"SCR", 101));
  EXPECT_EQ(ResourceView(LUMEN_SAVERINSTALL_EMPTY_SAVER).Bytes(L"SCR", 101), "");
}

TEST_F(SaverInstall, WritesItsSaverNamedAfterItselfAndStartsTheControlPanelOnIt) {
  ScopedWineVersion win7(L"win7");
  const struct {
    const wchar_t* installer;
    const wchar_t* saver;
  } cases[] = {{L"MyShow.exe", L"MyShow.scr"}, {L"My.Show.2.exe", L"My.scr"}, {L"setup", L"setup"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.installer);
    const fs::path target = Target(c.saver);
    const InstallerRun run = Start(Installer(c.installer));
    AnswerProceed(run, IDYES);
    ExpectInstalled(run, target);
  }
}

TEST_F(SaverInstall, NoToTheFirstQuestionTouchesNothing) {
  ScopedWineVersion win7(L"win7");
  const fs::path installer = Installer(L"MyShow.exe");
  ScopedPersistedKey key(true, {installer});
  const fs::path target = Target(L"MyShow.scr");

  const InstallerRun run = Start(installer);
  AnswerProceed(run, IDNO);
  EXPECT_EQ(run.WaitForExit(), 0u);
  EXPECT_EQ(run.ChildrenAfterAllEnded(), 0);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(RegistryDword(HKEY_CURRENT_USER, kPersistedKey, installer.wstring()));
}

TEST_F(SaverInstall, AnExistingSaverIsReplacedOnlyAfterYes) {
  ScopedWineVersion win7(L"win7");
  const fs::path installer = Installer(L"MyShow.exe");
  ScopedPersistedKey key(true, {installer});
  const fs::path target = Target(L"MyShow.scr");
  WriteBytes(target, "the saver installed before");
  {
    const InstallerRun run = Start(installer);
    AnswerProceed(run, IDYES);
    AnswerOverwrite(run, IDNO);
    ExpectUntouched(run, 0, target, "the saver installed before");
    // The compatibility value comes before any file is looked at.
    EXPECT_EQ(RegistryDword(HKEY_CURRENT_USER, kPersistedKey, installer.wstring()), 1u);
  }
  {
    const InstallerRun run = Start(installer);
    AnswerProceed(run, IDYES);
    AnswerOverwrite(run, IDYES);
    ExpectInstalled(run, target);
  }
}

// Only 6.1 and later minor releases get the value, and only into a key that is already there.
TEST_F(SaverInstall, CompatibilityValueFollowsTheReportedVersion) {
  const struct {
    const wchar_t* version;
    bool key_present;
    bool value_written;
  } cases[] = {
      {L"vista", true, false}, {L"win7", true, true},    {L"win8", true, true},
      {L"win7", false, false}, {L"vista", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::wstring(c.version) + (c.key_present ? L" with key" : L" without key"));
    ScopedWineVersion version(c.version);
    const fs::path installer =
        Installer(std::wstring(L"Show-") + c.version + (c.key_present ? L"-key" : L"") + L".exe");
    ScopedPersistedKey key(c.key_present, {installer});
    ASSERT_EQ(KeyExists(HKEY_CURRENT_USER, kPersistedKey), c.key_present);
    const fs::path target = Target(installer.stem().wstring() + L".scr");

    const InstallerRun run = Start(installer);
    AnswerProceed(run, IDYES);
    ExpectInstalled(run, target);
    EXPECT_EQ(RegistryDword(HKEY_CURRENT_USER, kPersistedKey, installer.wstring()),
              c.value_written ? std::optional<DWORD>(1) : std::nullopt);
    EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kPersistedKey), c.key_present);
  }
}

// An installer without its saver says so and installs nothing, rather than replacing a working
// saver with an empty file and reporting success.
TEST_F(SaverInstall, RefusesWithoutACarriedSaver) {
  ScopedWineVersion win7(L"win7");
  const struct {
    const char* build;
    const wchar_t* name;
  } cases[] = {{LUMEN_SAVERINSTALL_NO_SAVER, L"NoSaver.exe"},
               {LUMEN_SAVERINSTALL_EMPTY_SAVER, L"EmptySaver.exe"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path installer = Installer(c.name, c.build);
    const fs::path target = Target(installer.stem().wstring() + L".scr");
    WriteBytes(target, "working saver");

    const InstallerRun run = Start(installer);
    AnswerProceed(run, IDYES);
    AcknowledgeFailure(run, L"This installer carries no screen saver; nothing was installed.");
    ExpectUntouched(run, 3, target, "working saver");
  }
}

// A file that cannot be replaced (here a folder in its place) is reported, nothing is started and
// nothing is left beside it.
TEST_F(SaverInstall, ATargetThatCannotBeReplacedIsReportedAndNotInstalled) {
  ScopedWineVersion win7(L"win7");
  const fs::path installer = Installer(L"Blocked.exe");
  const fs::path target = Target(L"Blocked.scr");
  fs::create_directory(target);
  WriteBytes(target / "inside", "kept");

  const InstallerRun run = Start(installer);
  AnswerProceed(run, IDYES);
  AnswerOverwrite(run, IDYES);
  AcknowledgeFailure(
      run, L"Cannot write the screen saver to " + target.wstring() + L"; nothing was installed.");
  ExpectUntouched(run, 4, target / "inside", "kept");
  EXPECT_FALSE(fs::exists(target.wstring() + L".new"));
}

}  // namespace
}  // namespace lumen::testing
