#include "tools/reelrender/MovieRunner.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <vector>

namespace lumen::tools {

namespace {

constexpr uintmax_t kMaxFileBytes = uintmax_t{512} << 20;
constexpr int kMaxSide = 8192;

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
    : stage_(movie, true, options.bitmap_bytes) {
  int width = options.width, height = options.height;
  if (width <= 0 || height <= 0) StagePixels(*movie, width, height);
  pixmap_ = raster::Pixmap(width, height);
  stage_to_device_ = render::StageToDevice(movie->stage, width, height, options.scale);
  renderer_.SetQuality(options.quality);
  renderer_.SetCoverage(options.coverage);
}

void MovieRunner::Advance() {
  stage_.Advance();
  ++frame_;
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
