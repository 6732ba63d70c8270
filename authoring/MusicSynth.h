#pragma once

// The sample slideshow's music, synthesised in code: the same samples on every machine.

#include <cstdint>
#include <vector>

#include "authoring/Slideshow.h"

namespace lumen::authoring {

constexpr int kMusicRate = 44100;

// Where frame `frame` (from 0) of a movie at `frame_rate` begins in its sound, in sample frames.
int64_t FrameSample(int64_t frame, int frame_rate);

// One loop of the slideshow's pictures long, 44.1 kHz stereo interleaved: a pad chord per
// slide that swells in through the transition bringing the slide and fades through the next,
// a few melody notes over each slide, and a chime where each transition begins. Throws
// std::invalid_argument for a timeline without frames or longer than ten minutes.
std::vector<int16_t> SlideshowMusic(const SlideshowSpec& spec);

}  // namespace lumen::authoring
