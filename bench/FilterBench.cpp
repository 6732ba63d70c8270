// Prints what bitmap filters cost: a full-HD frame with a glowing caption, a photo casting a drop
// shadow and a photo fading in from a blur, against the same frames without the filters; then the
// same scene standing still, drawn as the control draws it (the target kept), where an unchanged
// frame should cost what it costs without filters. Processor time of this thread, medians.
//   bench_filters [FRAMES]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "authoring/FontEmbedder.h"
#include "authoring/PictureArt.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"
#include "bench/CpuClock.h"
#include "bench/SideBySide.h"
#include "flash/MovieEngine.h"
#include "movie/Movie.h"
#include "tools/reelrender/MovieRunner.h"

namespace {

using lumen::bench::MedianOf;
using lumen::bench::ProcessCpuMs;

using namespace lumen::authoring;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr int kPhotoWidth = 800, kPhotoHeight = 534;
constexpr double kFilterGoalRatio = 3;
// An unchanged frame within this of the one without filters is taken as costing the same.
constexpr double kStillNoiseMs = 0.1;
constexpr double kMaxBlur = 32;
constexpr uint16_t kBackdrop = 1, kShadowed = 2, kFading = 3, kFont = 4, kCaption = 5;

// The photos' JPEG bytes, painted once for every movie.
struct Photos {
  Bytes backdrop = EncodeJpeg(PaintScene(2, kWidth, kHeight), 85);
  Bytes shadowed = EncodeJpeg(PaintScene(3, kPhotoWidth, kPhotoHeight), 85);
  Bytes fading = EncodeJpeg(PaintScene(4, kPhotoWidth, kPhotoHeight), 85);
};

void DefinePhoto(Bytes& tags, uint16_t id, const Bytes& jpeg) {
  BitWriter body;
  body.WriteU16(id);
  body.WriteBytes(jpeg);
  WriteTag(tags, kTagDefineBitsJpeg2, body.bytes());
}

MatrixSpec At(int x, int y) {
  MatrixSpec m;
  m.tx = x * 20;
  m.ty = y * 20;
  return m;
}

// The fading photo at `t` (0..1) of its fade: as opaque as `t`, its blur shrinking to nothing.
PlaceSpec Fading(double t, bool filters, bool first) {
  PlaceSpec place;
  place.depth = 3;
  place.move = !first;
  if (first) {
    place.character = kFading;
    place.matrix = At(1000, 330);
  }
  CxformSpec fade;
  fade.mul_a = static_cast<int16_t>(256 * t);
  place.cxform = fade;
  if (filters) {
    FilterSpec blur;
    blur.blur_x = blur.blur_y = kMaxBlur * (1 - t);
    blur.passes = 2;
    place.filters = std::vector{blur};
  }
  return place;
}

// The scene over `frames` frames: the photo fading in when `fade`, else standing half faded.
std::vector<uint8_t> Movie(const Photos& photos, const EmbeddedFont& font, int frames, bool filters,
                           bool fade) {
  Bytes tags;
  DefinePhoto(tags, kBackdrop, photos.backdrop);
  DefinePhoto(tags, kShadowed, photos.shadowed);
  DefinePhoto(tags, kFading, photos.fading);
  DefineFont3(tags, font.Spec());
  DefineText(tags, kCaption, {},
             {font.Run("Evening over the harbour", 64 * 20, {255, 255, 255, 255}, 2400, 19400)});
  PlaceObject(tags, kBackdrop, 1);
  PlaceSpec shadowed;
  shadowed.depth = 2;
  shadowed.character = kShadowed;
  shadowed.matrix = At(140, 160);
  PlaceSpec caption;
  caption.depth = 4;
  caption.character = kCaption;
  if (filters) {
    FilterSpec shadow;
    shadow.kind = FilterSpec::kDropShadow;
    shadow.color = {0, 0, 0, 150};
    shadow.blur_x = shadow.blur_y = 16;
    shadow.distance = 12;
    shadow.passes = 2;
    shadowed.filters = std::vector{shadow};
    FilterSpec glow;
    glow.kind = FilterSpec::kGlow;
    glow.color = {0, 0, 0, 255};
    glow.blur_x = glow.blur_y = 8;
    glow.strength = 2;
    caption.filters = std::vector{glow};
  }
  PlaceObject3(tags, shadowed);
  PlaceObject3(tags, caption);
  for (int f = 0; f < frames; ++f) {
    if (fade || f == 0) {
      const double t = fade ? static_cast<double>(f + 1) / frames : 0.5;
      PlaceObject3(tags, Fading(t, filters, f == 0));
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

struct Figures {
  double plain_ms = 0, filtered_ms = 0;
};

struct Still : Figures {
  int plain_drawn = 0, filtered_drawn = 0;  // frames drawn anew, of those timed
};

// Both movies stepped frame by frame in the control's engine and drawn into a target that holds
// the frame before, as the control does; timed on every thread, since the engine draws on more
// than one.
Still StillMs(const std::vector<uint8_t>& plain, const std::vector<uint8_t>& filtered, int frames) {
  std::unique_ptr<lumen::flash::MovieEngine> engines[] = {lumen::flash::CreateMovieEngine(),
                                                          lumen::flash::CreateMovieEngine()};
  if (!engines[0]->Load(plain, {}) || !engines[1]->Load(filtered, {})) {
    std::fputs("bench_filters: a movie did not load\n", stderr);
    std::exit(1);
  }
  std::vector<uint32_t> pixels[2];
  const lumen::flash::StageView view{0.05, 0.05, 0, 0};
  constexpr uint32_t kBlack = 0xFF000000;
  for (int i = 0; i < 2; ++i) {
    pixels[i].resize(static_cast<size_t>(kWidth) * kHeight);
    engines[i]->Render({pixels[i].data(), kWidth, kHeight, kWidth}, view, kBlack, false);
  }
  std::vector<double> times[2];
  int drawn[2] = {0, 0};
  for (int f = 1; f < frames; ++f) {
    for (int i = 0; i < 2; ++i) {
      const double start = ProcessCpuMs();
      engines[i]->AdvanceFrame();
      const auto part =
          engines[i]->Render({pixels[i].data(), kWidth, kHeight, kWidth}, view, kBlack, true);
      times[i].push_back(ProcessCpuMs() - start);
      drawn[i] += part.Empty() ? 0 : 1;
    }
  }
  Still still;
  still.plain_ms = MedianOf(times[0]);
  still.filtered_ms = MedianOf(times[1]);
  still.plain_drawn = drawn[0];
  still.filtered_drawn = drawn[1];
  return still;
}

const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::clamp(std::atoi(argv[1]), 5, 1000) : 30;
  const std::vector<uint8_t> ttf = ReadCaptionFont();
  const auto font =
      EmbeddedFont::FromTrueType(ttf, "abcdefghijklmnopqrstuvwxyzE ", kFont, "DejaVu Sans Bold");
  if (!font) {
    std::fputs("bench_filters: the caption font (fonts-dejavu-core) is not installed\n", stderr);
    return 1;
  }
  const Photos photos;
  const lumen::bench::SideBySideMs frame = lumen::bench::FramesSideBySide(
      Movie(photos, *font, frames, false, true), Movie(photos, *font, frames, true, true), frames);
  const Figures moving{frame.first, frame.second};
  const double ratio = moving.filtered_ms / moving.plain_ms;
  std::printf(
      "full-HD frame, a photo fading in: %.2f ms; with a glow on the caption, a drop shadow and "
      "the fading photo's blur: %.2f ms (%.2f times)\n",
      moving.plain_ms, moving.filtered_ms, ratio);
  std::printf("goal: at most %.0f times the frame without filters: %s\n", kFilterGoalRatio,
              Verdict(ratio <= kFilterGoalRatio));
  const Still still = StillMs(Movie(photos, *font, frames, false, false),
                              Movie(photos, *font, frames, true, false), frames);
  std::printf(
      "still frame, target kept: %.3f ms (%d of %d drawn anew); with the filters: %.3f ms (%d of "
      "%d drawn anew)\n",
      still.plain_ms, still.plain_drawn, frames - 1, still.filtered_ms, still.filtered_drawn,
      frames - 1);
  std::printf("goal: a still filtered frame within %.1f ms of one without filters: %s\n",
              kStillNoiseMs, Verdict(still.filtered_ms <= still.plain_ms + kStillNoiseMs));
  return 0;
}
