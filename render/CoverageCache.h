#pragma once

// Coverage of fills drawn again exactly where they were: a caption fading in, a still frame's
// artwork under a changing colour transform. The rasterizer's spans of such a fill are recorded
// the first time and replayed afterwards, so the frame only blends. Only fills with many edges
// are kept (a rectangle costs less to rasterize than to look up), within a byte budget.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "raster/Coverage.h"
#include "render/Geometry.h"

namespace lumen::render {

// What a fill's coverage depends on: the part, its path's fingerprint, the device matrix, the
// target's size and the sampling.
struct CoverageKey {
  const ShapePart* part = nullptr;
  uint64_t fingerprint = 0;
  Matrix m;
  int width = 0, height = 0, grid = 0;
  raster::CoverageMethod method = raster::CoverageMethod::SampledGrid;

  bool operator==(const CoverageKey& o) const;
};

class CoverageCache {
 public:
  static constexpr size_t kMinPoints = 256;              // smaller fills are not kept
  static constexpr size_t kMaxBytes = size_t{24} << 20;  // all recordings together

  // Replays the recorded spans of `key` into `sink`; false when there are none.
  bool Replay(const CoverageKey& key, raster::SpanSink& sink) const;
  // A sink that passes spans on to `out` and records them under `key`, until EndRecord.
  raster::SpanSink& Record(const CoverageKey& key, raster::SpanSink& out);
  void EndRecord();
  void Clear();

 private:
  struct Run {
    int32_t y, x, n;
    int32_t offset;  // into coverage; -1: solid with `solid`
    uint8_t solid;
  };
  struct Recording {
    CoverageKey key;
    std::vector<Run> runs;
    std::vector<uint8_t> coverage;
    size_t Bytes() const { return runs.size() * sizeof(Run) + coverage.size(); }
  };
  class Recorder final : public raster::SpanSink {
   public:
    void Begin(Recording* into, raster::SpanSink* out) {
      into_ = into;
      out_ = out;
    }
    void Span(int y, int x, int n, const uint8_t* cov) override;
    void Solid(int y, int x, int n, uint8_t cov) override;

   private:
    Recording* into_ = nullptr;
    raster::SpanSink* out_ = nullptr;
  };

  std::unordered_map<const ShapePart*, Recording> recordings_;
  size_t bytes_ = 0;
  Recording* recording_ = nullptr;
  Recorder recorder_;
};

}  // namespace lumen::render
