#pragma once

// Plays a movie frame by frame and draws the frames asked for: the engine without a window, for
// the command-line renderer and the corpus runner.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "movie/Movie.h"
#include "raster/Pixmap.h"
#include "render/RenderList.h"
#include "render/Renderer.h"
#include "render/Viewport.h"
#include "stage/Stage.h"
#include "text/DeviceFonts.h"
#include "tools/reelrender/InputScript.h"

namespace lumen::tools {

struct RunOptions {
  int width = 0, height = 0;  // 0: the stage size
  render::Quality quality = render::Quality::High;
  render::ScaleMode scale = render::ScaleMode::ShowAll;
  raster::CoverageMethod coverage = raster::CoverageMethod::SampledGrid;
  int threads = 1;  // drawing threads: each draws a band of the frame's rows
  size_t bitmap_bytes = codec::DecodeBudget::kDefaultTotal;  // decoded bitmaps held at once
  double tick_ms = 0;  // the movie's clock per tick; 0: one frame at the movie's rate
  std::function<void(std::string_view)> trace;  // where trace() lines go
  avm1::VmLimits script_limits;
  std::filesystem::path movie_folder;  // where the movie's scripts load files from; empty: none
  stage::MovieFolder::MissingFile missing_file;  // told of each file asked for but not there
  bool record_audio = false;                     // keep the mixed sound of every tick
  // The window the movie plays in, for the scripts that ask; 0: not known.
  double viewport_width = 0, viewport_height = 0;
  text::FontFilesSource device_fonts;  // empty: the system's
};

// Reads a whole movie file; fails with a message for unreadable or oversized files and for
// bytes that are not a movie.
movie::LoadResult LoadMovieFile(const std::filesystem::path& path);

// The stage size in whole pixels, kept within what a picture may be.
void StagePixels(const movie::Movie& movie, int& width, int& height);

class MovieRunner {
 public:
  MovieRunner(std::shared_ptr<const movie::Movie> movie, const RunOptions& options);

  // 1-based; the first frame is shown on construction, its scripts run.
  size_t Frame() const { return frame_; }
  // One tick: the clock moves on, then the movie plays its next frame. A movie that sent the
  // "quit" FSCommand plays no more, as the standalone player closes then: no script queued
  // after the one that quit runs.
  void Advance();
  bool Quit() const { return quit_; }
  // Runs until `ticks` ticks have passed in all (the first is the construction), delivering
  // after each tick the events up to the next wait; `after` sees each tick.
  void RunTicks(size_t ticks, std::span<const InputEvent> events,
                const std::function<void(size_t tick)>& after = {});
  void Deliver(const InputEvent& event);

  // Draws the frame shown and answers the picture, valid until the next call.
  const raster::Pixmap& Draw();
  const stage::BitmapCache& Bitmaps() const { return stage_.Bitmaps(); }

  // With `record_audio`: the sound mixed so far (44.1 kHz stereo), and that of one tick (from
  // 1), which is what played while its frame was shown.
  const std::vector<int16_t>& Audio() const { return audio_; }
  std::span<const int16_t> TickAudio(size_t tick) const;

 private:
  bool quit_ = false;   // ahead of the stage, whose first frame may quit already
  stage::Stage stage_;  // decodes each bitmap on the frame that first draws it
  render::Renderer renderer_;
  render::RenderList list_;
  raster::Pixmap pixmap_;
  render::Matrix stage_to_device_;
  uint64_t shape_generation_ = 0;
  size_t frame_ = 1;
  double tick_ms_ = 0;
  double clock_ms_ = 0;
  std::string clipboard_;       // what scripted input copied, for its pastes
  bool pointer_moved_ = false;  // the input moved the pointer itself

  void MixTick();
  void TextCommand(InputEvent::Command command);
  bool record_audio_ = false;
  std::vector<int16_t> audio_;
  std::vector<size_t> tick_starts_;  // where each tick's samples begin in audio_
};

}  // namespace lumen::tools
