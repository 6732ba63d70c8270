// Recognition and resource rewriting over any bytes. A movie found lies inside the input and reads
// as a movie; anything else comes with a reason. A program that takes a new movie gives a program
// whose resources read back with exactly that movie and every other resource as it was.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "upgrade/ByteView.h"
#include "upgrade/ResourceUpdate.h"
#include "upgrade/Slideshow.h"

namespace {

using namespace lumen::upgrade;

// A 100 x 100 pixel movie: head, frame rect of 12-bit fields, rate, count and an End tag.
constexpr uint8_t kMovie[] = {'F',  'W', 'S',  6,    21, 0,  0, 0, 0x60, 0x00, 0x3e,
                              0x80, 0,   0x3e, 0x80, 0,  12, 1, 0, 0,    0};

bool Same(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

void CheckRecognition(std::span<const uint8_t> file) {
  const Slideshow found = RecognizeSlideshow(file);
  if (found.kind == SlideshowKind::None) {
    if (found.found.empty() || !found.movie.empty()) std::abort();
    return;
  }
  const bool inside = found.movie.data() >= file.data() &&
                      found.movie.data() + found.movie.size() <= file.data() + file.size();
  if (!inside || !ReadsAsMovie(found.movie)) std::abort();
}

void CheckRewrite(std::span<const uint8_t> file) {
  std::vector<uint8_t> out;
  std::vector<Resource> before;
  try {
    out = ReplaceResource(file, kMovieType, kMovieName, kMovie);
    before = ReadResources(*PeImage::Read(file));
  } catch (const FormatError&) {
    return;
  }
  const std::optional<PeImage> image = PeImage::Read(out);
  if (!image) std::abort();
  const std::vector<Resource> after = ReadResources(*image);  // throws, and fails, if unreadable
  const Resource* movie = FindResource(after, kMovieType, kMovieName);
  if (!movie || !Same(movie->data, kMovie)) std::abort();
  for (const Resource& old : before) {
    if (old.type == kMovieType && old.name == kMovieName) continue;
    const auto same = [&](const Resource& r) {
      return r.type == old.type && r.name == old.name && r.language == old.language &&
             Same(r.data, old.data);
    };
    if (std::none_of(after.begin(), after.end(), same)) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  CheckRecognition(file);
  CheckRewrite(file);
  return 0;
}
