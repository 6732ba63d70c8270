#pragma once

#include <cstdint>
#include <vector>

namespace lumen::authoring {

enum class Transition { CrossFade, Wipe, Push, ZoomFade };

struct SlideshowSpec {
  int width = 800;  // stage and picture size in pixels
  int height = 600;
  int frame_rate = 24;
  int slides = 5;
  int still_frames = 72;       // a slide on its own, slowly zooming
  int transition_frames = 24;  // the next slide coming in
  int jpeg_quality = 85;
  bool captions = true;
  // The TrueType font captions embed their glyphs from; without one there are no captions.
  std::vector<uint8_t> caption_font;
  bool compressed = true;
  bool still_zoom = true;         // false: a slide on its own holds still
  bool cross_fades_only = false;  // every transition a cross-fade
  // The music, MPEG-1 Layer III at 44.1 kHz in stereo, played as the main timeline's stream
  // sound; empty: a silent show.
  std::vector<uint8_t> music_mp3;
  int music_delay = 0;  // decoded samples before the music begins
};

// A slideshow movie like an authoring tool makes: painted photos as JPEG bitmaps, each slowly
// zooming, joined by cross-fades, mask wipes, pushes and zooms, with a caption on each slide
// (static text in an embedded font) and a slide counter (a text field bound to a variable set
// by each slide's first frame). It loops. Throws std::invalid_argument for music that is not
// whole MP3 frames of that kind.
std::vector<uint8_t> BuildSlideshow(const SlideshowSpec& spec);

// The transition that brings in slide `index` + 1.
Transition TransitionAfter(int index);

}  // namespace lumen::authoring
