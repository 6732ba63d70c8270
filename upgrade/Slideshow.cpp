// Recognition asks, in order: is the file a movie; does it end with a movie trailer; is it a
// program carrying a screen saver, or carrying a movie. The trailer comes before the program
// headers because a player copy's movie stays reachable even when its program part is damaged.
#include "upgrade/Slideshow.h"

#include <optional>

#include "player/MovieTrailer.h"
#include "stream/MemoryStream.h"
#include "swf/SWFStreamReader.h"
#include "upgrade/ByteView.h"
#include "upgrade/PeImage.h"

namespace lumen::upgrade {

namespace {

bool SignedAsMovie(std::span<const uint8_t> bytes) {
  return bytes.size() > 3 && (bytes[0] == 'F' || bytes[0] == 'C') && bytes[1] == 'W' &&
         bytes[2] == 'S';
}

Slideshow NotFound(std::string found) {
  return {SlideshowKind::None, {}, std::move(found)};
}

Slideshow MovieFound(SlideshowKind kind, std::span<const uint8_t> movie, const char* carrier) {
  std::string problem;
  if (ReadsAsMovie(movie, &problem)) return {kind, movie, {}};
  return NotFound(std::string(carrier) + " whose movie is damaged (" + problem + ")");
}

std::optional<Slideshow> FromTrailer(std::span<const uint8_t> file) {
  if (file.size() < static_cast<size_t>(player::kTrailerSize)) return std::nullopt;
  const auto tail = file.last<player::kTrailerSize>();
  const player::TrailerCheck check = player::ParseTrailer(tail, static_cast<int64_t>(file.size()));
  switch (check.status) {
    case player::TrailerStatus::Missing:
      return std::nullopt;
    case player::TrailerStatus::Damaged:
      return NotFound("a player copy whose movie trailer is damaged (it gives the length " +
                      std::to_string(check.length_field) + ")");
    case player::TrailerStatus::Found:
      break;
  }
  const auto movie =
      file.subspan(static_cast<size_t>(check.movie_offset), static_cast<size_t>(check.movie_size));
  return MovieFound(SlideshowKind::PlayerCopy, movie, "a player copy");
}

// A screen saver's movie; `carrier` names a file without one in messages.
Slideshow FromSaver(const std::vector<Resource>& resources, const char* carrier) {
  const Resource* movie = FindResource(resources, kMovieType, kMovieName);
  if (!movie) return NotFound(std::string(carrier) + " without a slideshow");
  return MovieFound(SlideshowKind::ScreenSaver, movie->data, "a screen saver");
}

Slideshow FromInstaller(std::span<const uint8_t> saver) {
  constexpr char kCarrier[] = "a screen-saver installer";
  try {
    const std::optional<PeImage> image = PeImage::Read(saver);
    if (!image) return NotFound(std::string(kCarrier) + " whose screen saver is not a program");
    const Slideshow inner = FromSaver(ReadResources(*image), "a screen saver");
    if (inner.kind == SlideshowKind::None) {
      return NotFound(std::string(kCarrier) + " carrying " + inner.found);
    }
    return {SlideshowKind::Installer, inner.movie, {}};
  } catch (const FormatError& error) {
    return NotFound(std::string(kCarrier) + " whose screen saver is damaged: " + error.what());
  }
}

Slideshow FromProgram(std::span<const uint8_t> file) {
  try {
    const std::optional<PeImage> image = PeImage::Read(file);
    if (!image) return NotFound("neither a slideshow nor a Windows program");
    const std::vector<Resource> resources = ReadResources(*image);
    if (const Resource* saver = FindResource(resources, kSaverType, kSaverName)) {
      return FromInstaller(saver->data);
    }
    return FromSaver(resources, "a Windows program");
  } catch (const FormatError& error) {
    return NotFound(std::string("a damaged Windows program: ") + error.what());
  }
}

}  // namespace

bool ReadsAsMovie(std::span<const uint8_t> movie, std::string* problem) {
  auto fail = [&](std::string why) {
    if (problem) *problem = std::move(why);
    return false;
  };
  // The signature first, so that a large program is not copied only to be turned down.
  if (!SignedAsMovie(movie)) return fail("it does not begin as a movie");
  MemoryStream stream;
  stream.WriteBuffer(movie.data(), movie.size());
  TSWFStreamReader reader;
  try {
    reader.LoadFromStream(stream);
  } catch (const StreamError& error) {
    return fail(error.what());
  }
  if (!reader.HeadValid()) return fail("it does not begin as a movie");
  if (reader.MovieWidth() <= 0 || reader.MovieHeight() <= 0) return fail("its frame is empty");
  return true;
}

Slideshow RecognizeSlideshow(std::span<const uint8_t> file) {
  std::string problem;
  if (ReadsAsMovie(file, &problem)) return {SlideshowKind::Movie, file, {}};
  if (std::optional<Slideshow> appended = FromTrailer(file)) return *appended;
  const Slideshow program = FromProgram(file);
  if (program.kind == SlideshowKind::None && SignedAsMovie(file)) {
    return NotFound("a movie that does not read (" + problem + ")");
  }
  return program;
}

}  // namespace lumen::upgrade
