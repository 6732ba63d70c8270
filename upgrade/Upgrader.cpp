#include "upgrade/Upgrader.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "player/MovieTrailer.h"
#include "stream/FileStream.h"
#include "stream/MemoryStream.h"
#include "upgrade/ByteView.h"
#include "upgrade/ResourceUpdate.h"
#include "upgrade/Slideshow.h"

namespace lumen::upgrade {

namespace {

// Movies and resources have 32-bit sizes, and the trailer's length is signed.
constexpr int64_t kMaxInput = int64_t{1} << 31;

using Bytes = std::vector<uint8_t>;

Bytes ReadWholeFile(const std::filesystem::path& file) {
  FileStream in(file, FileMode::ReadShared);
  const int64_t size = in.Size();
  if (size > kMaxInput) throw StreamError("it is too large to be a slideshow");
  Bytes bytes(static_cast<size_t>(size));
  in.ReadBuffer(bytes.data(), bytes.size());
  return bytes;
}

std::string Shown(const std::filesystem::path& path) {
  const std::u8string text = std::filesystem::path(path).make_preferred().u8string();
  return {text.begin(), text.end()};
}

// The output as the user finds it from the input's folder.
std::string ShownFrom(const std::filesystem::path& input, const std::filesystem::path& output) {
  const std::filesystem::path relative =
      output.lexically_relative(input.parent_path().empty() ? "." : input.parent_path());
  const bool inside = !relative.empty() && *relative.begin() != "..";
  return Shown(inside ? relative : output);
}

std::filesystem::path OutputPath(const std::filesystem::path& input, SlideshowKind kind,
                                 const UpgradeSettings& settings) {
  const std::filesystem::path folder =
      settings.out_folder.empty() ? input.parent_path() / "Lumenreel" : settings.out_folder;
  std::filesystem::path name = input.filename();
  if (kind == SlideshowKind::Movie) name.replace_extension(".exe");
  return folder / name;
}

Bytes TakeOverResource(const std::filesystem::path& program, const ResourceKey& type,
                       const ResourceKey& name, std::span<const uint8_t> data) {
  try {
    return ReplaceResource(ReadWholeFile(program), type, name, data);
  } catch (const FormatError& error) {
    throw StreamError("our " + Shown(program.filename()) +
                      " cannot take the movie: " + error.what());
  }
}

Bytes BuildUpgrade(const Slideshow& slideshow, const OurPrograms& programs) {
  switch (slideshow.kind) {
    case SlideshowKind::Movie:
    case SlideshowKind::PlayerCopy: {
      MemoryStream out;
      const Bytes player = ReadWholeFile(programs.player);
      out.WriteBuffer(player.data(), player.size());
      player::AppendMovieBytes(out, slideshow.movie);
      return {out.Bytes().begin(), out.Bytes().end()};
    }
    case SlideshowKind::ScreenSaver:
      return TakeOverResource(programs.saver, kMovieType, kMovieName, slideshow.movie);
    case SlideshowKind::Installer: {
      const Bytes saver = TakeOverResource(programs.saver, kMovieType, kMovieName, slideshow.movie);
      return TakeOverResource(programs.installer, kSaverType, kSaverName, saver);
    }
    case SlideshowKind::None:
      break;
  }
  throw StreamError("there is no movie to carry");
}

// The written file, read back as our programs read it, must carry the very same movie.
bool ReadsBack(const std::filesystem::path& output, const Slideshow& slideshow) {
  const SlideshowKind expected =
      slideshow.kind == SlideshowKind::Movie ? SlideshowKind::PlayerCopy : slideshow.kind;
  const Bytes written = ReadWholeFile(output);
  const Slideshow found = RecognizeSlideshow(written);
  return found.kind == expected && std::equal(found.movie.begin(), found.movie.end(),
                                              slideshow.movie.begin(), slideshow.movie.end());
}

void WriteFile(const std::filesystem::path& output, std::span<const uint8_t> bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(output.parent_path(), ignored);
  FileStream out(output, FileMode::Create);
  out.WriteBuffer(bytes.data(), bytes.size());
}

UpgradeResult Fail(UpgradeStatus status, std::filesystem::path output, std::string text) {
  return {status, std::move(output), std::move(text)};
}

}  // namespace

OurPrograms OurPrograms::In(const std::filesystem::path& folder) {
  return {folder / "reelplayer.exe", folder / "saver.scr", folder / "saverinstall.exe"};
}

UpgradeResult UpgradeSlideshow(const std::filesystem::path& input,
                               const UpgradeSettings& settings) {
  Bytes bytes;
  try {
    bytes = ReadWholeFile(input);
  } catch (const StreamError& error) {
    return Fail(UpgradeStatus::Failed, {}, error.what());
  }
  const Slideshow slideshow = RecognizeSlideshow(bytes);
  if (slideshow.kind == SlideshowKind::None) {
    return Fail(UpgradeStatus::NoSlideshow, {}, slideshow.found);
  }
  const std::filesystem::path output = OutputPath(input, slideshow.kind, settings);
  std::error_code error;
  if (std::filesystem::exists(output, error)) {
    if (std::filesystem::equivalent(input, output, error)) {
      return Fail(UpgradeStatus::Failed, output, "the upgrade would replace the file itself");
    }
    if (!settings.overwrite) {
      return Fail(UpgradeStatus::AlreadyExists, output,
                  ShownFrom(input, output) + " already exists");
    }
  }
  Bytes upgraded;
  try {
    upgraded = BuildUpgrade(slideshow, settings.programs);
  } catch (const StreamError& failure) {
    return Fail(UpgradeStatus::Failed, {}, failure.what());
  }
  try {
    WriteFile(output, upgraded);
    if (ReadsBack(output, slideshow)) {
      return {UpgradeStatus::Upgraded, output, "upgraded to " + ShownFrom(input, output)};
    }
  } catch (const StreamError& failure) {
    std::filesystem::remove(output, error);
    return Fail(UpgradeStatus::Failed, {}, failure.what());
  }
  std::filesystem::remove(output, error);
  return Fail(UpgradeStatus::Failed, {}, "the upgraded copy did not read back; it was removed");
}

}  // namespace lumen::upgrade
