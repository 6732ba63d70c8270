#pragma once

// A movie's stream sound from an MP3 encoder's output: the frames split out of the byte stream,
// then a head and one block per movie frame, as authoring tools lay them out.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "authoring/SwfWriter.h"

namespace lumen::authoring {

using Mp3Frames = std::vector<std::span<const uint8_t>>;

constexpr int kMp3FrameSamples = 1152;

// The whole frames of a stream of MPEG-1 Layer III at 44.1 kHz in two channels, each length
// from its header; nothing when any byte does not belong to such a frame or the last is cut.
std::optional<Mp3Frames> SplitMp3Frames(std::span<const uint8_t> bytes);

class Mp3StreamWriter {
 public:
  // `delay`: decoded samples before the sound begins (the encoder's and the decoder's delay).
  Mp3StreamWriter(Mp3Frames frames, int delay, int frame_rate);

  // SoundStreamHead2, for the movie's first frame.
  void WriteHead(Bytes& out) const;
  // The next movie frame's block: the MP3 frames that bring the decoded sound to that frame's
  // end (none when earlier blocks already did), behind their sample count and seek samples.
  void WriteNextBlock(Bytes& out);

 private:
  Mp3Frames frames_;
  int delay_;
  int frame_rate_;
  size_t next_mp3_frame_ = 0;
  int64_t next_movie_frame_ = 0;
};

}  // namespace lumen::authoring
