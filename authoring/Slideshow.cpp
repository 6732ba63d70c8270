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

constexpr uint16_t kTagEnd = 0, kTagShowFrame = 1, kTagSetBackgroundColor = 9,
                   kTagDefineBitsJpeg2 = 21, kTagPlaceObject2 = 26, kTagRemoveObject2 = 28,
                   kTagDefineShape3 = 32;
constexpr int kTwips = 20;

struct Rgba8 {
  uint8_t r, g, b, a;
};

// Placement of a character: a scale about the stage centre, a shift, and an alpha.
struct Pose {
  double scale = 1;
  double shift_x = 0;  // pixels
  double shift_y = 0;
  double alpha = 1;
};

int FixedBits(std::initializer_list<int32_t> values) {
  return std::max(1, BitWriter::SignedBitsFor(values));
}

void WriteMatrix(BitWriter& out, double scale_x, double scale_y, double tx, double ty) {
  out.WriteUnsigned(1, 1);  // has scale
  const auto sx = static_cast<int32_t>(std::lround(scale_x * 65536));
  const auto sy = static_cast<int32_t>(std::lround(scale_y * 65536));
  const int scale_bits = FixedBits({sx, sy});
  out.WriteUnsigned(static_cast<uint32_t>(scale_bits), 5);
  out.WriteSigned(sx, scale_bits);
  out.WriteSigned(sy, scale_bits);
  out.WriteUnsigned(0, 1);  // no rotation
  const auto x = static_cast<int32_t>(std::lround(tx)), y = static_cast<int32_t>(std::lround(ty));
  const int move_bits = BitWriter::SignedBitsFor({x, y});
  out.WriteUnsigned(static_cast<uint32_t>(move_bits), 5);
  out.WriteSigned(x, move_bits);
  out.WriteSigned(y, move_bits);
  out.Align();
}

void WriteAlphaTransform(BitWriter& out, double alpha) {
  const auto a = static_cast<int32_t>(std::lround(std::clamp(alpha, 0.0, 1.0) * 256));
  const int bits = FixedBits({256, a});
  out.WriteUnsigned(0, 1);  // no add terms
  out.WriteUnsigned(1, 1);  // multiply terms
  out.WriteUnsigned(static_cast<uint32_t>(bits), 4);
  for (int32_t term : {256, 256, 256, a}) out.WriteSigned(term, bits);
  out.Align();
}

// Shape records for closed polygons (pixel coordinates), all filled with fill style 1.
void WritePolygons(BitWriter& out, const std::vector<std::vector<std::pair<int, int>>>& polygons) {
  for (const auto& polygon : polygons) {
    const int x0 = polygon[0].first * kTwips, y0 = polygon[0].second * kTwips;
    out.WriteUnsigned(0, 1);        // style change record
    out.WriteUnsigned(0b00011, 5);  // fill style 1 and move to
    const int move_bits = BitWriter::SignedBitsFor({x0, y0});
    out.WriteUnsigned(static_cast<uint32_t>(move_bits), 5);
    out.WriteSigned(x0, move_bits);
    out.WriteSigned(y0, move_bits);
    out.WriteUnsigned(1, 1);  // fill style 1 index
    int x = x0, y = y0;
    for (size_t i = 1; i <= polygon.size(); ++i) {
      const auto& p = polygon[i % polygon.size()];
      const int dx = p.first * kTwips - x, dy = p.second * kTwips - y;
      const int bits = std::max(2, BitWriter::SignedBitsFor({dx, dy}));
      out.WriteUnsigned(0b11, 2);  // edge, straight
      out.WriteUnsigned(static_cast<uint32_t>(bits - 2), 4);
      out.WriteUnsigned(1, 1);  // general line
      out.WriteSigned(dx, bits);
      out.WriteSigned(dy, bits);
      x += dx;
      y += dy;
    }
  }
  out.WriteUnsigned(0, 6);  // end of shape
  out.Align();
}

Bytes DefineShape(uint16_t id, int width, int height, const BitWriter& fill_style,
                  const std::vector<std::vector<std::pair<int, int>>>& polygons) {
  BitWriter body;
  body.WriteU16(id);
  WriteRect(body, 0, width * kTwips, 0, height * kTwips);
  body.WriteU8(1);  // one fill style
  BitWriter style = fill_style;
  body.WriteBytes(style.bytes());
  body.WriteU8(0);           // no line styles
  body.WriteUnsigned(1, 4);  // fill index bits
  body.WriteUnsigned(0, 4);  // line index bits
  WritePolygons(body, polygons);
  Bytes tag;
  WriteTag(tag, kTagDefineShape3, body.bytes());
  return tag;
}

std::vector<std::vector<std::pair<int, int>>> Rectangle(int x, int y, int w, int h) {
  return {{{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}};
}

Bytes PictureShape(uint16_t id, uint16_t bitmap, int width, int height) {
  BitWriter style;
  style.WriteU8(0x41);  // clipped, smoothed bitmap fill
  style.WriteU16(bitmap);
  WriteMatrix(style, kTwips, kTwips, 0, 0);
  return DefineShape(id, width, height, style, Rectangle(0, 0, width, height));
}

Bytes SolidShape(uint16_t id, Rgba8 color, int width, int height,
                 const std::vector<std::vector<std::pair<int, int>>>& polygons) {
  BitWriter style;
  style.WriteU8(0x00);
  for (uint8_t channel : {color.r, color.g, color.b, color.a}) style.WriteU8(channel);
  return DefineShape(id, width, height, style, polygons);
}

// The caption's letters as filled quads from a tiny built-in bitmap font, `scale` pixels per
// font unit, left top at (x, y).
std::vector<std::vector<std::pair<int, int>>> CaptionQuads(const std::string& text, int x, int y,
                                                           int scale) {
  std::vector<char> buffer(text.size() * 270 + 16);
  const int quads = stb_easy_font_print(0, 0, const_cast<char*>(text.c_str()), nullptr,
                                        buffer.data(), static_cast<int>(buffer.size()));
  struct Vertex {
    float x, y, z;
    unsigned char color[4];
  };
  const auto* vertices = reinterpret_cast<const Vertex*>(buffer.data());
  std::vector<std::vector<std::pair<int, int>>> polygons;
  for (int q = 0; q < quads; ++q) {
    std::vector<std::pair<int, int>> quad;
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

  void Add(const Bytes& tag) { body_.insert(body_.end(), tag.begin(), tag.end()); }

  void Place(uint16_t depth, uint16_t character, const Pose& pose, bool move,
             uint16_t clip_depth = 0) {
    BitWriter out;
    const bool has_alpha = pose.alpha < 1;
    uint8_t flags = 0x04;  // matrix
    if (move) flags |= 0x01;
    if (character != 0) flags |= 0x02;
    if (has_alpha || move) flags |= 0x08;
    if (clip_depth != 0) flags |= 0x40;
    out.WriteU8(flags);
    out.WriteU16(depth);
    if (character != 0) out.WriteU16(character);
    const double w = spec_.width * kTwips, h = spec_.height * kTwips;
    WriteMatrix(out, pose.scale, pose.scale, w / 2 * (1 - pose.scale) + pose.shift_x * kTwips,
                h / 2 * (1 - pose.scale) + pose.shift_y * kTwips);
    if (flags & 0x08) WriteAlphaTransform(out, pose.alpha);
    if (clip_depth != 0) out.WriteU16(clip_depth);
    Bytes tag;
    WriteTag(tag, kTagPlaceObject2, out.bytes());
    Add(tag);
  }

  void PlaceMask(uint16_t depth, uint16_t character, double width_fraction, bool move,
                 uint16_t clip_depth) {
    BitWriter out;
    out.WriteU8(static_cast<uint8_t>(0x04 | (move ? 0x01 : 0x02) | (move ? 0 : 0x40)));
    out.WriteU16(depth);
    if (!move) out.WriteU16(character);
    WriteMatrix(out, std::max(width_fraction, 1.0 / 4096), 1, 0, 0);
    if (!move) out.WriteU16(clip_depth);
    Bytes tag;
    WriteTag(tag, kTagPlaceObject2, out.bytes());
    Add(tag);
  }

  void Remove(uint16_t depth) {
    BitWriter out;
    out.WriteU16(depth);
    Bytes tag;
    WriteTag(tag, kTagRemoveObject2, out.bytes());
    Add(tag);
  }

  void ShowFrame() {
    Add(Bytes{static_cast<uint8_t>(kTagShowFrame << 6), 0});
    ++frames_;
  }

  Bytes Finish() {
    Add(Bytes{kTagEnd, 0});
    MovieSpec movie;
    movie.compressed = spec_.compressed;
    movie.x_max = spec_.width * kTwips;
    movie.y_max = spec_.height * kTwips;
    movie.frame_rate = static_cast<uint16_t>(spec_.frame_rate << 8);
    movie.frame_count = static_cast<uint16_t>(frames_);
    return BuildMovie(movie, body_);
  }

 private:
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
  Bytes background;
  WriteTag(background, kTagSetBackgroundColor, Bytes{0x10, 0x10, 0x14});
  timeline.Add(background);
  timeline.Add(SolidShape(kMaskShape, {255, 255, 255, 255}, spec.width, spec.height,
                          Rectangle(0, 0, spec.width, spec.height)));

  const int band_height = spec.height / 9;
  const int scale = std::max(2, band_height / 14);
  auto define_slide = [&](int index) {
    const Slide s = SlideLayout(index);
    BitWriter jpeg;
    jpeg.WriteU16(s.bitmap);
    jpeg.WriteBytes(EncodeJpeg(PaintScene(index, spec.width, spec.height), spec.jpeg_quality));
    Bytes tag;
    WriteTag(tag, kTagDefineBitsJpeg2, jpeg.bytes());
    timeline.Add(tag);
    timeline.Add(PictureShape(s.picture, s.bitmap, spec.width, spec.height));
    if (!spec.captions) return;
    const int top = spec.height - band_height * 3 / 2;
    timeline.Add(SolidShape(s.band, {0, 0, 0, 140}, spec.width, spec.height,
                            Rectangle(0, top, spec.width, band_height)));
    timeline.Add(SolidShape(s.caption, {255, 255, 255, 255}, spec.width, spec.height,
                            CaptionQuads(SceneTitle(index), band_height / 2,
                                         top + (band_height - 7 * scale) / 2, scale)));
  };

  const int total = spec.slides;
  const double zoom_per_frame = 0.08 / (spec.still_frames + spec.transition_frames);
  for (int index = 0; index < total; ++index) {
    const Slide s = SlideLayout(index);
    if (index == 0) {
      define_slide(0);
      timeline.Place(s.picture_depth, s.picture, {}, false);
    }
    // The slide on its own, slowly zooming, its caption fading in and out.
    for (int f = 0; f < spec.still_frames; ++f) {
      timeline.Place(s.picture_depth, 0, {1 + zoom_per_frame * f}, true);
      if (spec.captions) {
        const double fade = std::min({1.0, f / 12.0, (spec.still_frames - 1 - f) / 12.0});
        timeline.Place(s.band_depth, f == 0 ? s.band : 0, {1, 0, 0, fade}, f != 0);
        timeline.Place(s.caption_depth, f == 0 ? s.caption : 0, {1, 0, 0, fade}, f != 0);
      }
      timeline.ShowFrame();
    }
    if (spec.captions) {
      timeline.Remove(s.band_depth);
      timeline.Remove(s.caption_depth);
    }
    // The next slide (the first again after the last) comes in.
    const int next_index = (index + 1) % total;
    const Slide n = SlideLayout(index + 1);
    if (index + 1 < total) define_slide(index + 1);
    const Slide next_ids = SlideLayout(next_index);
    const Transition kind = TransitionAfter(index);
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
      timeline.Place(s.picture_depth, 0, old_pose, true);
      if (kind == Transition::Wipe)
        timeline.PlaceMask(n.mask_depth, kMaskShape, t, f != 0, n.picture_depth);
      timeline.Place(n.picture_depth, f == 0 ? next_ids.picture : 0, new_pose, f != 0);
      timeline.ShowFrame();
    }
    // After the last slide the movie loops, and the first frame puts the first slide back.
    if (index + 1 == total) break;
    timeline.Remove(s.picture_depth);
    if (kind == Transition::Wipe) timeline.Remove(n.mask_depth);
  }
  return timeline.Finish();
}

}  // namespace lumen::authoring
