#include "authoring/Slideshow.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>

#include "authoring/ActionWriter.h"
#include "authoring/FontEmbedder.h"
#include "authoring/Mp3Stream.h"
#include "authoring/PictureArt.h"
#include "authoring/SwfWriter.h"
#include "authoring/TextWriter.h"

namespace lumen::authoring {

namespace {

constexpr int kTwips = 20;

using Polygon = std::vector<std::pair<int, int>>;  // pixels

// Placement of a character: a scale about the stage centre, a shift, and an alpha.
struct Pose {
  double scale = 1;
  double shift_x = 0;  // pixels
  double shift_y = 0;
  double alpha = 1;
};

Bytes FilledShape(uint16_t id, ShapeWriter& shape, int fill, int width, int height,
                  const std::vector<Polygon>& polygons) {
  shape.Select(0, fill);
  for (const Polygon& polygon : polygons) {
    shape.MoveTo(polygon[0].first * kTwips, polygon[0].second * kTwips);
    for (size_t i = 1; i <= polygon.size(); ++i) {
      const auto& p = polygon[i % polygon.size()];
      shape.LineTo(p.first * kTwips, p.second * kTwips);
    }
  }
  return shape.Tag(id, 0, width * kTwips, 0, height * kTwips);
}

std::vector<Polygon> Rectangle(int x, int y, int w, int h) {
  return {{{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}};
}

Bytes PictureShape(uint16_t id, uint16_t bitmap, int width, int height) {
  ShapeWriter shape(3);
  const int fill = shape.AddBitmapFill(bitmap, {kTwips, 0, 0, kTwips, 0, 0}, 0x41);
  return FilledShape(id, shape, fill, width, height, Rectangle(0, 0, width, height));
}

Bytes SolidShape(uint16_t id, Color color, int width, int height,
                 const std::vector<Polygon>& polygons) {
  ShapeWriter shape(3);
  const int fill = shape.AddSolidFill(color);
  return FilledShape(id, shape, fill, width, height, polygons);
}

class Timeline {
 public:
  explicit Timeline(const SlideshowSpec& spec) : spec_(spec) {
    if (spec.music_mp3.empty()) return;
    auto frames = SplitMp3Frames(spec.music_mp3);
    if (!frames) throw std::invalid_argument("the music is not MP3 at 44.1 kHz in stereo");
    music_.emplace(std::move(*frames), spec.music_delay, spec.frame_rate);
    music_->WriteHead(body_);
  }

  Bytes& body() { return body_; }

  // A character placed, or moved when `character` is 0, with a pose about the stage centre.
  void Place(uint16_t depth, uint16_t character, const Pose& pose) {
    const double w = spec_.width * kTwips, h = spec_.height * kTwips;
    PlaceSpec place;
    place.depth = depth;
    place.move = character == 0;
    if (character != 0) place.character = character;
    place.matrix = MatrixSpec{pose.scale,
                              0,
                              0,
                              pose.scale,
                              Twips(w / 2 * (1 - pose.scale) + pose.shift_x * kTwips),
                              Twips(h / 2 * (1 - pose.scale) + pose.shift_y * kTwips)};
    if (pose.alpha < 1 || place.move) {
      CxformSpec cxform;
      cxform.mul_a = static_cast<int16_t>(std::lround(std::clamp(pose.alpha, 0.0, 1.0) * 256));
      place.cxform = cxform;
    }
    PlaceObject2(body_, place);
  }

  // A mask covering the left `fraction` of the stage, clipping the depths up to `clip_depth`.
  void PlaceMask(uint16_t depth, uint16_t character, double fraction, uint16_t clip_depth) {
    PlaceSpec place;
    place.depth = depth;
    place.move = character == 0;
    if (character != 0) {
      place.character = character;
      place.clip_depth = clip_depth;
    }
    place.matrix = MatrixSpec{std::max(fraction, 1.0 / 4096), 0, 0, 1, 0, 0};
    PlaceObject2(body_, place);
  }

  void NextFrame() {
    if (music_) music_->WriteNextBlock(body_);
    ShowFrame(body_);
    ++frames_;
  }

  Bytes Finish() {
    End(body_);
    MovieSpec movie;
    movie.compressed = spec_.compressed;
    movie.x_max = spec_.width * kTwips;
    movie.y_max = spec_.height * kTwips;
    movie.frame_rate = static_cast<uint16_t>(spec_.frame_rate << 8);
    movie.frame_count = static_cast<uint16_t>(frames_);
    return BuildMovie(movie, body_);
  }

 private:
  static int32_t Twips(double value) { return static_cast<int32_t>(std::lround(value)); }

  const SlideshowSpec& spec_;
  Bytes body_;
  std::optional<Mp3StreamWriter> music_;  // its frames point into SlideshowSpec::music_mp3
  int frames_ = 0;
};

// Character ids and depths of one slide.
struct Slide {
  uint16_t bitmap, picture, band, caption;
  uint16_t mask_depth, picture_depth, band_depth, caption_depth;
};

Slide SlideLayout(int index) {
  const auto base = static_cast<uint16_t>(10 + index * 10);
  const auto depth = static_cast<uint16_t>(100 + index * 10);
  return {base,
          static_cast<uint16_t>(base + 1),
          static_cast<uint16_t>(base + 2),
          static_cast<uint16_t>(base + 3),
          depth,
          static_cast<uint16_t>(depth + 1),
          static_cast<uint16_t>(depth + 2),
          static_cast<uint16_t>(depth + 3)};
}

constexpr uint16_t kMaskShape = 1;
constexpr uint16_t kCaptionFont = 2;
constexpr uint16_t kCounterField = 3;
constexpr uint16_t kCounterDepth = 1000;
constexpr const char* kCounterVariable = "counter";

// Every character a caption or the counter may show.
std::string CaptionCharacters(int slides) {
  std::string chars = "0123456789 /";
  for (int i = 0; i < slides; ++i) chars += SceneTitle(i);
  return chars;
}

// "2 / 5": what the counter shows on a slide, set by the slide's first frame.
void SetCounter(Bytes& body, int index, int total) {
  ActionWriter a;
  a.Push(
      {std::string(kCounterVariable), std::to_string(index + 1) + " / " + std::to_string(total)});
  a.Op(kSetVariable);
  DoAction(body, a.Finish());
}

// The counter at the top right corner: a text field in the caption font, bound to its variable.
void DefineCounter(Bytes& body, const SlideshowSpec& spec, int band_height) {
  EditTextSpec field;
  field.id = kCounterField;
  field.x_min = 0;
  field.x_max = spec.width * kTwips;
  field.y_min = band_height / 4 * kTwips;
  field.y_max = band_height * kTwips;
  field.flags = 0x0100 | 0x0008 | 0x1000;  // embedded glyphs, read-only, not selectable
  field.font = kCaptionFont;
  field.height = static_cast<uint16_t>(band_height * kTwips * 2 / 5);
  field.color = Color{255, 255, 255, 220};
  field.align = 1;  // right
  field.right_margin = static_cast<uint16_t>(band_height / 2 * kTwips);
  field.variable = kCounterVariable;
  field.text = "";
  DefineEditText(body, field);
}

double Ease(double t) {
  return t * t * (3 - 2 * t);
}

}  // namespace

Transition TransitionAfter(int index) {
  return static_cast<Transition>(index % 4);
}

std::vector<uint8_t> BuildSlideshow(const SlideshowSpec& spec) {
  Timeline timeline(spec);
  Bytes& body = timeline.body();
  SetBackgroundColor(body, {0x10, 0x10, 0x14, 255});
  const Bytes mask = SolidShape(kMaskShape, {255, 255, 255, 255}, spec.width, spec.height,
                                Rectangle(0, 0, spec.width, spec.height));
  body.insert(body.end(), mask.begin(), mask.end());

  const int band_height = spec.height / 9;
  std::optional<EmbeddedFont> font;
  if (spec.captions) {
    font = EmbeddedFont::FromTrueType(spec.caption_font, CaptionCharacters(spec.slides),
                                      kCaptionFont, "DejaVu Sans Bold");
  }
  if (font) {
    DefineFont3(body, font->Spec());
    DefineCounter(body, spec, band_height);
    PlaceSpec counter;
    counter.depth = kCounterDepth;
    counter.character = kCounterField;
    PlaceObject2(body, counter);
  }
  const auto caption_height = static_cast<uint16_t>(band_height * kTwips / 2);
  auto define_slide = [&](int index) {
    const Slide s = SlideLayout(index);
    BitWriter jpeg;
    jpeg.WriteU16(s.bitmap);
    jpeg.WriteBytes(EncodeJpeg(PaintScene(index, spec.width, spec.height), spec.jpeg_quality));
    WriteTag(body, kTagDefineBitsJpeg2, jpeg.bytes());
    std::vector<Bytes> shapes = {PictureShape(s.picture, s.bitmap, spec.width, spec.height)};
    if (font) {
      const int top = spec.height - band_height * 3 / 2;
      shapes.push_back(SolidShape(s.band, {0, 0, 0, 140}, spec.width, spec.height,
                                  Rectangle(0, top, spec.width, band_height)));
    }
    for (const Bytes& shape : shapes) body.insert(body.end(), shape.begin(), shape.end());
    if (font) {
      // The title on the band, its baseline a little below the band's middle.
      const int baseline = spec.height - band_height * 3 / 2 + band_height * 2 / 3;
      DefineText(body, s.caption, {},
                 {font->Run(SceneTitle(index), caption_height, {255, 255, 255, 255},
                            static_cast<int16_t>(band_height / 2 * kTwips),
                            static_cast<int16_t>(baseline * kTwips))});
    }
  };

  const int total = spec.slides;
  const double zoom_per_frame =
      spec.still_zoom ? 0.08 / (spec.still_frames + spec.transition_frames) : 0;
  for (int index = 0; index < total; ++index) {
    const Slide s = SlideLayout(index);
    if (index == 0) {
      define_slide(0);
      timeline.Place(s.picture_depth, s.picture, {});
    }
    if (font) SetCounter(body, index, total);
    // The slide on its own, slowly zooming, its caption fading in and out.
    for (int f = 0; f < spec.still_frames; ++f) {
      timeline.Place(s.picture_depth, 0, {1 + zoom_per_frame * f});
      if (font) {
        const double fade = std::min({1.0, f / 12.0, (spec.still_frames - 1 - f) / 12.0});
        timeline.Place(s.band_depth, f == 0 ? s.band : 0, {1, 0, 0, fade});
        timeline.Place(s.caption_depth, f == 0 ? s.caption : 0, {1, 0, 0, fade});
      }
      timeline.NextFrame();
    }
    if (font) {
      RemoveObject2(body, s.band_depth);
      RemoveObject2(body, s.caption_depth);
    }
    // The next slide (the first again after the last) comes in.
    const int next_index = (index + 1) % total;
    const Slide n = SlideLayout(index + 1);
    if (index + 1 < total) define_slide(index + 1);
    const Slide next_ids = SlideLayout(next_index);
    const Transition kind = spec.cross_fades_only ? Transition::CrossFade : TransitionAfter(index);
    for (int f = 0; f < spec.transition_frames; ++f) {
      const double t = Ease((f + 1.0) / spec.transition_frames);
      const double old_zoom = 1 + zoom_per_frame * (spec.still_frames + f);
      Pose old_pose{old_zoom}, new_pose;
      if (kind == Transition::CrossFade) new_pose.alpha = t;
      if (kind == Transition::Push) {
        new_pose.shift_x = spec.width * (1 - t);
        old_pose.shift_x = -spec.width * t;
      }
      if (kind == Transition::ZoomFade) new_pose = {1.4 - 0.4 * t, 0, 0, t};
      timeline.Place(s.picture_depth, 0, old_pose);
      if (kind == Transition::Wipe) {
        timeline.PlaceMask(n.mask_depth, f == 0 ? kMaskShape : 0, t, n.picture_depth);
      }
      timeline.Place(n.picture_depth, f == 0 ? next_ids.picture : 0, new_pose);
      timeline.NextFrame();
    }
    // After the last slide the movie loops, and the first frame puts the first slide back.
    if (index + 1 == total) break;
    RemoveObject2(body, s.picture_depth);
    if (kind == Transition::Wipe) RemoveObject2(body, n.mask_depth);
  }
  return timeline.Finish();
}

}  // namespace lumen::authoring
