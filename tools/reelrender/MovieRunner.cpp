#include "tools/reelrender/MovieRunner.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <vector>

namespace lumen::tools {

namespace {

constexpr uintmax_t kMaxFileBytes = uintmax_t{512} << 20;
constexpr int kMaxSide = 8192;

bool IsQuit(std::string_view command) {
  return command.size() == 4 &&
         std::equal(command.begin(), command.end(), "quit", [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

}  // namespace

movie::LoadResult LoadMovieFile(const std::filesystem::path& path) {
  movie::LoadResult result;
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  if (error) {
    result.error = "Cannot read " + path.string() + ": " + error.message();
    return result;
  }
  if (size > kMaxFileBytes) {
    result.error = "The file is too large to be a movie";
    return result;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size))) {
    result.error = "Cannot read " + path.string();
    return result;
  }
  return movie::LoadMovie(bytes);
}

void StagePixels(const movie::Movie& movie, int& width, int& height) {
  auto pixels = [](float twips) {
    const float px = std::ceil(twips / 20.0f);
    return std::isfinite(px) ? static_cast<int>(std::clamp(px, 1.0f, float{kMaxSide})) : 1;
  };
  width = pixels(movie.stage.x_max - movie.stage.x_min);
  height = pixels(movie.stage.y_max - movie.stage.y_min);
}

MovieRunner::MovieRunner(std::shared_ptr<const movie::Movie> movie, const RunOptions& options)
    : stage_(movie, true, options.bitmap_bytes,
             stage::ScriptSetup{options.script_limits, options.trace,
                                stage::MovieFolder(options.movie_folder, options.missing_file),
                                [this](std::string_view command, std::string_view) {
                                  if (!IsQuit(command)) return;
                                  quit_ = true;
                                  stage_.Scripts().Halt();
                                },
                                options.viewport_width, options.viewport_height,
                                options.device_fonts}) {
  int width = options.width, height = options.height;
  if (width <= 0 || height <= 0) StagePixels(*movie, width, height);
  pixmap_ = raster::Pixmap(width, height);
  stage_to_device_ = render::StageToDevice(movie->stage, width, height, options.scale);
  renderer_.SetQuality(options.quality);
  renderer_.SetCoverage(options.coverage);
  renderer_.SetThreads(options.threads);
  const double rate = movie->frame_rate > 0 ? movie->frame_rate : 12;
  tick_ms_ = options.tick_ms > 0 ? options.tick_ms : 1000.0 / rate;
  record_audio_ = options.record_audio;
  MixTick();
}

void MovieRunner::Advance() {
  if (quit_) return;
  clock_ms_ += tick_ms_;
  stage_.SetClock(clock_ms_);
  stage_.Advance();
  ++frame_;
  MixTick();
}

// A tick's sound lasts until the next tick's clock; counted from the start, so the ticks' sample
// counts never drift from the clock.
void MovieRunner::MixTick() {
  if (!record_audio_) return;
  const auto due = static_cast<size_t>(std::llround((clock_ms_ + tick_ms_) * 44.1)) * 2;
  tick_starts_.push_back(audio_.size());
  if (due <= audio_.size()) return;
  const size_t start = audio_.size();
  audio_.resize(due);
  stage_.Sound().Mix(std::span<int16_t>(audio_).subspan(start));
}

std::span<const int16_t> MovieRunner::TickAudio(size_t tick) const {
  if (tick == 0 || tick > tick_starts_.size()) return {};
  const size_t start = tick_starts_[tick - 1];
  const size_t end = tick < tick_starts_.size() ? tick_starts_[tick] : audio_.size();
  return std::span<const int16_t>(audio_).subspan(start, end - start);
}

void MovieRunner::RunTicks(size_t ticks, std::span<const InputEvent> events,
                           const std::function<void(size_t tick)>& after) {
  size_t next = 0;
  const size_t first = frame_;
  for (size_t tick = first; tick <= ticks; ++tick) {
    if (tick > first) Advance();
    while (next < events.size() && events[next].kind != InputEvent::Kind::Wait) {
      Deliver(events[next++]);
    }
    if (next < events.size()) ++next;  // the wait that ends this tick's events
    if (after) after(tick);
  }
}

void MovieRunner::Deliver(const InputEvent& event) {
  using Kind = InputEvent::Kind;
  switch (event.kind) {
    case Kind::MouseMove:
      stage_.MouseMove(event.x, event.y);
      pointer_moved_ = true;
      break;
    // A press or release happens where the pointer is. Until the input moves the pointer, the
    // place each one is recorded at puts it there.
    case Kind::MouseDown:
      if (!pointer_moved_) stage_.MouseMove(event.x, event.y);
      stage_.MouseDown(static_cast<stage::Stage::MouseButton>(event.button));
      break;
    case Kind::MouseUp:
      if (!pointer_moved_) stage_.MouseMove(event.x, event.y);
      stage_.MouseUp(static_cast<stage::Stage::MouseButton>(event.button));
      break;
    case Kind::KeyDown:
      stage_.KeyDown(event.code, event.ascii);
      break;
    case Kind::KeyUp:
      stage_.KeyUp(event.code, event.ascii);
      break;
    case Kind::TextControl:
      TextCommand(event.command);
      break;
    case Kind::Clipboard:
      clipboard_ = event.text;
      break;
    case Kind::Text:
    case Kind::Wait:
      break;
  }
}

void MovieRunner::TextCommand(InputEvent::Command command) {
  using Command = InputEvent::Command;
  switch (command) {
    case Command::MoveLeft:
    case Command::SelectLeft:
      stage_.EditText(text::EditKey::Left, command == Command::SelectLeft);
      break;
    case Command::MoveRight:
    case Command::SelectRight:
      stage_.EditText(text::EditKey::Right, command == Command::SelectRight);
      break;
    case Command::SelectAll:
      stage_.SelectAllText();
      break;
    case Command::Paste:
      stage_.PasteText(clipboard_);
      break;
  }
}

const raster::Pixmap& MovieRunner::Draw() {
  stage_.BuildRenderList(list_);
  if (stage_.ShapeGeneration() != shape_generation_) {
    renderer_.ClearCache();
    shape_generation_ = stage_.ShapeGeneration();
  }
  renderer_.Render(list_, stage_to_device_, pixmap_);
  return pixmap_;
}

}  // namespace lumen::tools
