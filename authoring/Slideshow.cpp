#include "authoring/Slideshow.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "authoring/PictureArt.h"
#include "authoring/SwfWriter.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_easy_font.h>
#pragma GCC diagnostic pop

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

// The caption's letters as filled quads from a tiny built-in bitmap font, `scale` pixels per
// font unit, left top at (x, y).
std::vector<Polygon> CaptionQuads(const std::string& text, int x, int y, int scale) {
  std::vector<char> buffer(text.size() * 270 + 16);
  const int quads = stb_easy_font_print(0, 0, const_cast<char*>(text.c_str()), nullptr,
                                        buffer.data(), static_cast<int>(buffer.size()));
  struct Vertex {
    float x, y, z;
    unsigned char color[4];
  };
  const auto* vertices = reinterpret_cast<const Vertex*>(buffer.data());
  std::vector<Polygon> polygons;
  for (int q = 0; q < quads; ++q) {
    Polygon quad;
    for (int k = 0; k < 4; ++k) {
      const Vertex& v = vertices[q * 4 + k];
      quad.emplace_back(x + static_cast<int>(v.x * scale), y + static_cast<int>(v.y * scale));
    }
    polygons.push_back(quad);
  }
  return polygons;
}

class Timeline {
 public:
  explicit Timeline(const SlideshowSpec& spec) : spec_(spec) {}

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
  const int scale = std::max(2, band_height / 14);
  auto define_slide = [&](int index) {
    const Slide s = SlideLayout(index);
    BitWriter jpeg;
    jpeg.WriteU16(s.bitmap);
    jpeg.WriteBytes(EncodeJpeg(PaintScene(index, spec.width, spec.height), spec.jpeg_quality));
    WriteTag(body, kTagDefineBitsJpeg2, jpeg.bytes());
    std::vector<Bytes> shapes = {PictureShape(s.picture, s.bitmap, spec.width, spec.height)};
    if (spec.captions) {
      const int top = spec.height - band_height * 3 / 2;
      shapes.push_back(SolidShape(s.band, {0, 0, 0, 140}, spec.width, spec.height,
                                  Rectangle(0, top, spec.width, band_height)));
      shapes.push_back(SolidShape(s.caption, {255, 255, 255, 255}, spec.width, spec.height,
                                  CaptionQuads(SceneTitle(index), band_height / 2,
                                               top + (band_height - 7 * scale) / 2, scale)));
    }
    for (const Bytes& shape : shapes) body.insert(body.end(), shape.begin(), shape.end());
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
    // The slide on its own, slowly zooming, its caption fading in and out.
    for (int f = 0; f < spec.still_frames; ++f) {
      timeline.Place(s.picture_depth, 0, {1 + zoom_per_frame * f});
      if (spec.captions) {
        const double fade = std::min({1.0, f / 12.0, (spec.still_frames - 1 - f) / 12.0});
        timeline.Place(s.band_depth, f == 0 ? s.band : 0, {1, 0, 0, fade});
        timeline.Place(s.caption_depth, f == 0 ? s.caption : 0, {1, 0, 0, fade});
      }
      timeline.NextFrame();
    }
    if (spec.captions) {
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
