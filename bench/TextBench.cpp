// Prints what text costs: a full-HD frame of a photo with a 40-word caption fading in over it,
// against the same frames without the caption, and the layout of a 10,000-character HTML field.
// The caption is static text in DejaVu Sans Bold embedded as DefineFont3, as slideshow tools
// export it. Processor time of this thread, median of the runs.
//   bench_text [FRAMES]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "authoring/FontEmbedder.h"
#include "authoring/PictureArt.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "bench/CpuClock.h"
#include "bench/SideBySide.h"
#include "movie/Movie.h"
#include "text/EditText.h"
#include "text/FontLibrary.h"
#include "text/TextField.h"
#include "tools/reelrender/MovieRunner.h"

namespace {

using lumen::bench::CpuMs;
using lumen::bench::MedianOf;

using namespace lumen::authoring;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr double kCaptionGoalMs = 1;
constexpr double kLayoutGoalMs = 10;
constexpr const char* kWords =
    "Morning light over the harbour as the fishing boats come home and the gulls follow them "
    "in, while on the quay the market opens its stalls of bread, cheese and fruit for the first "
    "visitors of the long summer day";

// The photo, and the caption in two lines fading in over `frames` frames when `caption`.
std::vector<uint8_t> Movie(const EmbeddedFont& font, int frames, bool caption) {
  Bytes tags;
  BitWriter jpeg;
  jpeg.WriteU16(1);
  jpeg.WriteBytes(EncodeJpeg(PaintScene(2, kWidth, kHeight), 85));
  WriteTag(tags, kTagDefineBitsJpeg2, jpeg.bytes());
  DefineFont3(tags, font.Spec());
  const std::string words(kWords);
  const size_t split = words.find(' ', words.size() / 2);
  const uint16_t height = 48 * 20;
  DefineText(tags, 3, {},
             {font.Run(words.substr(0, split), height, {255, 255, 255, 255}, 1200, 17600),
              font.Run(words.substr(split + 1), height, {255, 255, 255, 255}, 1200, 19000)});
  PlaceObject(tags, 1, 1);
  for (int f = 0; f < frames; ++f) {
    if (caption) {
      PlaceSpec place;
      place.depth = 2;
      place.move = f > 0;
      if (f == 0) place.character = 3;
      CxformSpec fade;
      fade.mul_a = static_cast<int16_t>(256 * (f + 1) / frames);
      place.cxform = fade;
      PlaceObject2(tags, place);
    }
    ShowFrame(tags);
  }
  End(tags);
  MovieSpec spec;
  spec.x_max = kWidth * 20;
  spec.y_max = kHeight * 20;
  spec.frame_count = static_cast<uint16_t>(frames);
  return BuildMovie(spec, tags);
}

// A 10,000-character HTML caption laid out and painted in a wrapping field.
double LayoutMs(const std::vector<uint8_t>& file) {
  const auto loaded = lumen::movie::LoadMovie(file);
  lumen::text::FontLibrary fonts(*loaded.movie);
  lumen::text::EditTextDef def;
  def.bounds = {0, 0, 800 * 20, 600 * 20};
  def.flags = lumen::text::kHtml | lumen::text::kWordWrap | lumen::text::kMultiline |
              lumen::text::kUseOutlines;
  def.font_id = 2;
  std::string html;
  while (html.size() < 10000) {
    html += "<p align='justify'>";
    html += kWords;
    html += " <b>";
    html += kWords;
    html += "</b></p>";
  }
  std::vector<double> times;
  for (int run = 0; run < 11; ++run) {
    lumen::text::TextField field(def, fonts, nullptr);
    const double start = CpuMs();
    field.SetHtmlText(html);
    field.Geometry();
    times.push_back(CpuMs() - start);
  }
  return MedianOf(times);
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::clamp(std::atoi(argv[1]), 5, 1000) : 30;
  const std::vector<uint8_t> ttf = ReadCaptionFont();
  const auto font = EmbeddedFont::FromTrueType(
      ttf, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ ,.", 2, "DejaVu Sans Bold");
  if (!font) {
    std::fputs("bench_text: the caption font (fonts-dejavu-core) is not installed\n", stderr);
    return 1;
  }
  const auto [plain, captioned] = lumen::bench::FramesSideBySide(
      Movie(*font, frames, false), Movie(*font, frames, true), frames);
  const double cost = captioned - plain;
  std::printf("full-HD photo frame: %.2f ms; with a 40-word caption fading in: %.2f ms\n", plain,
              captioned);
  std::printf("caption cost: %.2f ms per frame (goal: at most %.1f ms) %s\n", cost, kCaptionGoalMs,
              cost <= kCaptionGoalMs ? "ok" : "OVER GOAL");
  const double layout = LayoutMs(Movie(*font, 1, false));
  std::printf(
      "10,000-character HTML field laid out and painted: %.2f ms (goal: at most %.0f ms) %s\n",
      layout, kLayoutGoalMs, layout <= kLayoutGoalMs ? "ok" : "OVER GOAL");
  return 0;
}
