// The first movie engine: it reads the movie's head and its background colour and draws the stage
// as a plain area of that colour. Frames are counted but have no content yet.
#include <algorithm>
#include <cmath>
#include <optional>

#include "flash/MovieEngine.h"
#include "stream/InflateStream.h"
#include "stream/MemoryStream.h"
#include "swf/SWFStreamReader.h"

namespace lumen::flash {
namespace {

// A declared length beyond this is refused before anything is inflated.
constexpr uint32_t kMaxMovieBytes = 256u << 20;
constexpr uint16_t kTagEnd = 0;
constexpr uint16_t kTagShowFrame = 1;
constexpr uint16_t kTagSetBackgroundColor = 9;

uint32_t DeclaredLength(std::span<const uint8_t> file) {
  if (file.size() < 8) return 0;
  return file[4] | file[5] << 8 | file[6] << 16 | static_cast<uint32_t>(file[7]) << 24;
}

// Walks the tags of the first frame for SetBackgroundColor; every tag is bounds-checked.
std::optional<uint32_t> FindBackground(std::span<const uint8_t> tags) {
  size_t at = 0;
  while (tags.size() - at >= 2) {
    const uint16_t code_and_length = static_cast<uint16_t>(tags[at] | tags[at + 1] << 8);
    at += 2;
    const uint16_t code = code_and_length >> 6;
    size_t length = code_and_length & 0x3F;
    if (length == 0x3F) {
      if (tags.size() - at < 4) return std::nullopt;
      length = tags[at] | tags[at + 1] << 8 | tags[at + 2] << 16 |
               static_cast<uint32_t>(tags[at + 3]) << 24;
      at += 4;
    }
    if (length > tags.size() - at) return std::nullopt;
    if (code == kTagSetBackgroundColor && length >= 3) {
      return static_cast<uint32_t>(tags[at] << 16 | tags[at + 1] << 8 | tags[at + 2]);
    }
    if (code == kTagShowFrame || code == kTagEnd) return std::nullopt;
    at += length;
  }
  return std::nullopt;
}

// The head reader keeps whole frames per second only; the rate's fraction byte is read here, from
// the frame part behind the fixed 8 bytes (inflated first in a compressed movie).
double FrameRate(std::span<const uint8_t> file, bool compressed) {
  if (file.size() <= 8) return 0;
  MemoryStream source;
  source.WriteBuffer(file.data() + 8, file.size() - 8);
  source.SetPosition(0);
  uint8_t part[20] = {};  // the longest rectangle (17 bytes) and the rate
  size_t got = 0;
  if (compressed) {
    InflateStream view(source);
    got = view.Read(part, sizeof part);
  } else {
    got = source.Read(part, sizeof part);
  }
  const size_t rect_bytes = (5 + 4 * (part[0] >> 3) + 7) / 8;
  if (got < rect_bytes + 2) return 0;
  return part[rect_bytes + 1] + part[rect_bytes] / 256.0;
}

int Clamp(double value, int low, int high) {
  if (!(value > low)) return low;  // also catches NaN
  if (value > high) return high;
  return static_cast<int>(value);
}

class HeadEngine final : public MovieEngine {
 public:
  bool Load(std::span<const uint8_t> file) override;
  void Unload() override { *this = HeadEngine(); }
  bool Loaded() const override { return loaded_; }
  const StageInfo& Stage() const override { return stage_; }
  uint32_t CurrentFrame() const override { return frame_; }
  void GotoFrame(uint32_t frame) override {
    if (frame < stage_.frame_count) frame_ = frame;
  }
  void AdvanceFrame() override { GotoFrame(frame_ + 1); }
  void Render(const PixelTarget& target, const StageView& view, uint32_t background) override;

 private:
  bool loaded_ = false;
  StageInfo stage_;
  uint32_t frame_ = 0;
};

bool HeadEngine::Load(std::span<const uint8_t> file) {
  Unload();
  if (DeclaredLength(file) > kMaxMovieBytes) return false;
  try {
    MemoryStream stream;
    stream.WriteBuffer(file.data(), file.size());
    stream.SetPosition(0);
    TSWFStreamReader reader;
    reader.LoadFromStream(stream);
    if (!reader.HeadValid()) return false;
    const MovieHead& head = reader.Head();
    const TRect& frame = head.FrameRect;
    stage_.x_min = frame.left;
    stage_.y_min = frame.top;
    stage_.width = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(frame.right) - frame.left, 0, INT32_MAX));
    stage_.height = static_cast<int32_t>(
        std::clamp<int64_t>(static_cast<int64_t>(frame.bottom) - frame.top, 0, INT32_MAX));
    stage_.frame_rate = FrameRate(file, reader.Compressed());
    stage_.frame_count = head.FrameCount;
    if (const MemoryStream* body = reader.Body()) {
      stage_.background = FindBackground(body->Bytes()).value_or(stage_.background);
    }
  } catch (const std::exception&) {
    Unload();
    return false;
  }
  loaded_ = true;
  return true;
}

void HeadEngine::Render(const PixelTarget& target, const StageView& view, uint32_t background) {
  if (!loaded_ || !target.pixels) return;
  const int left = Clamp(std::round(view.offset_x), 0, target.width);
  const int top = Clamp(std::round(view.offset_y), 0, target.height);
  const int right = Clamp(std::round(view.offset_x + stage_.width * view.scale_x), 0, target.width);
  const int bottom =
      Clamp(std::round(view.offset_y + stage_.height * view.scale_y), 0, target.height);
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = target.pixels + y * target.stride;
    std::fill(row + left, row + right, background);
  }
}

}  // namespace

std::unique_ptr<MovieEngine> CreateMovieEngine() {
  return std::make_unique<HeadEngine>();
}

}  // namespace lumen::flash
