#include "upgrade/ResourceUpdate.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/TempDir.h"
#include "tests/upgrade/Fixtures.h"
#include "upgrade/ByteView.h"
#include "upgrade/Slideshow.h"

namespace lumen::upgrade::test {
namespace {

using testing::TinyPe;

std::vector<Resource> ResourcesOf(const PeImage& image) {
  return ReadResources(image);
}

const PeSection& Named(const PeImage& image, const std::string& name) {
  const auto& sections = image.sections();
  const auto found = std::find_if(sections.begin(), sections.end(),
                                  [&](const PeSection& s) { return s.name == name; });
  EXPECT_NE(found, sections.end()) << name;
  return *found;
}

// The rewritten program must be one the loader maps: sections aligned, in order, not
// overlapping, the file ending with the last one, the image size covering it, the relocations
// moved with their section and unchanged.
void ExpectSoundLayout(const Bytes& before, const Bytes& after) {
  const auto old_image = PeImage::Read(before);
  const auto image = PeImage::Read(after);
  ASSERT_TRUE(image && old_image);
  uint64_t previous_end = 0;
  for (const PeSection& s : image->sections()) {
    EXPECT_EQ(s.virtual_address % image->section_alignment(), 0u) << s.name;
    EXPECT_EQ(s.raw_offset % image->file_alignment(), 0u) << s.name;
    EXPECT_GE(s.virtual_address, previous_end) << s.name;
    previous_end = uint64_t{s.virtual_address} + s.virtual_size;
  }
  const PeSection& last = image->sections().back();
  EXPECT_EQ(after.size(), uint64_t{last.raw_offset} + last.raw_size);
  const ByteView view(after, "");
  const uint32_t size_of_image = view.U32(image->optional_header_offset() + 56);
  EXPECT_EQ(size_of_image, (previous_end + 0xfff) / 0x1000 * 0x1000);
  const DataDirectory relocations = image->Directory(kRelocationDirectory);
  EXPECT_EQ(relocations.rva, Named(*image, ".reloc").virtual_address);
  const auto old_blocks = old_image->At(old_image->Directory(kRelocationDirectory).rva, 12);
  const auto blocks = image->At(relocations.rva, 12);
  EXPECT_TRUE(std::equal(blocks.begin(), blocks.end(), old_blocks.begin(), old_blocks.end()));
  const auto text = image->At(0x1000, 6), old_text = old_image->At(0x1000, 6);
  EXPECT_TRUE(std::equal(text.begin(), text.end(), old_text.begin(), old_text.end()));
}

TEST(ReplaceResource, PutsANewMovieIntoASaverKeepingEverythingElse) {
  const TinyPe saver = Saver(Movie(false));
  for (size_t body : {10, 5001, 20001}) {
    const Bytes movie = Movie(body % 2 == 0, 0x42, body);
    const Bytes out = ReplaceResource(saver.bytes, kMovieType, kMovieName, movie);
    ExpectSoundLayout(saver.bytes, out);
    const Slideshow found = RecognizeSlideshow(out);
    ASSERT_EQ(found.kind, SlideshowKind::ScreenSaver) << found.found;
    EXPECT_TRUE(std::equal(found.movie.begin(), found.movie.end(), movie.begin(), movie.end()));
    const auto before = ResourcesOf(*PeImage::Read(saver.bytes));
    const auto after = ResourcesOf(*PeImage::Read(out));
    ASSERT_EQ(after.size(), before.size());
    for (const Resource& r : after) {
      EXPECT_EQ(r.language, 0x409u);
      if (r.type == kMovieType) continue;
      const Resource* old = FindResource(before, r.type, r.name);
      ASSERT_NE(old, nullptr);
      EXPECT_TRUE(std::equal(r.data.begin(), r.data.end(), old->data.begin(), old->data.end()));
    }
  }
}

// The empty resource is written last, its place the very end of the section.
TEST(ReplaceResource, AddsAMissingResourceInTheLoadersOrder) {
  const TinyPe program = testing::MakeTinyPe(
      {{"", 14, 103, Bytes()}, {"XYZ", 0, 2, Bytes(4, 2)}, {"", 3, 1, Bytes(4, 3)}});
  const Bytes saver = Saver(Movie(false)).bytes;
  const Bytes out = ReplaceResource(program.bytes, kSaverType, kSaverName, saver);
  ExpectSoundLayout(program.bytes, out);
  const auto resources = ResourcesOf(*PeImage::Read(out));
  std::vector<ResourceKey> types;
  for (const Resource& r : resources) types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<ResourceKey>{kSaverType, ResourceKey::Named("XYZ"),
                                             ResourceKey::Number(3), ResourceKey::Number(14)}));
  EXPECT_EQ(RecognizeSlideshow(out).kind, SlideshowKind::Installer);
}

// Our real programs, as the cross build links them, when that build lies beside this one.
TEST(ReplaceResource, TakesOverOurCrossBuiltPrograms) {
  const std::filesystem::path programs = LUMEN_WIN32_PROGRAMS;
  if (!std::filesystem::exists(programs / "saverinstall.exe")) {
    GTEST_SKIP() << "no Windows build in " << programs;
  }
  const Bytes movie = Movie(false, 0x43, 1'000'000);
  const auto expect_movie = [&](const Bytes& program, SlideshowKind kind) {
    const Slideshow found = RecognizeSlideshow(program);
    EXPECT_EQ(found.kind, kind) << found.found;
    EXPECT_TRUE(std::equal(found.movie.begin(), found.movie.end(), movie.begin(), movie.end()));
  };
  const Bytes old_saver = lumen::testing::ReadFileBytes(programs / "saver.scr");
  const Bytes saver = ReplaceResource(old_saver, kMovieType, kMovieName, movie);
  ExpectSoundLayout(old_saver, saver);
  expect_movie(saver, SlideshowKind::ScreenSaver);
  const Bytes old_installer = lumen::testing::ReadFileBytes(programs / "saverinstall.exe");
  const Bytes installer = ReplaceResource(old_installer, kSaverType, kSaverName, saver);
  ExpectSoundLayout(old_installer, installer);
  expect_movie(installer, SlideshowKind::Installer);
}

TEST(ReplaceResource, RefusesProgramsItCannotRewriteSafely) {
  const TinyPe saver = Saver(Movie(false));
  const uint32_t reloc_header = TinyPe::kSectionTable + 80;
  struct Case {
    const char* what;
    uint32_t offset, value;
    const char* message;
  };
  const Case cases[] = {
      {"a data section after the resources", reloc_header, 0x7461642e, "followed by"},
      {"a symbol table", TinyPe::kNewHeader + 12, 0x800, "symbols"},
      {"a signature", TinyPe::kResourceDirectory + 16, 0x800, "signature"},
      {"debug data among the relocations", TinyPe::kResourceDirectory + 32, saver.relocation_rva,
       "other data"},
      {"a file alignment of 2 GB", TinyPe::kNewHeader + 24 + 36, 0x80000000u, "alignment"},
      {"resources inside a section", TinyPe::kResourceDirectory, TinyPe::kResourceRva + 16,
       "section of their own"},
  };
  for (const Case& c : cases) {
    Bytes program = saver.bytes;
    PutU32(program, c.offset, c.value);
    try {
      ReplaceResource(program, kMovieType, kMovieName, Movie(false));
      ADD_FAILURE() << c.what;
    } catch (const FormatError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
          << c.what << ": " << error.what();
    }
  }
  EXPECT_THROW(ReplaceResource(Movie(false), kMovieType, kMovieName, Movie(false)), FormatError);
}

}  // namespace
}  // namespace lumen::upgrade::test
