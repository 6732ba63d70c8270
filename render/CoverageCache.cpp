#include "render/CoverageCache.h"

namespace lumen::render {

bool CoverageKey::operator==(const CoverageKey& o) const {
  return part == o.part && fingerprint == o.fingerprint && m.a == o.m.a && m.b == o.m.b &&
         m.c == o.m.c && m.d == o.m.d && m.tx == o.m.tx && m.ty == o.m.ty && width == o.width &&
         height == o.height && grid == o.grid && method == o.method;
}

bool CoverageCache::Replay(const CoverageKey& key, raster::SpanSink& sink) const {
  const auto it = recordings_.find(key.part);
  if (it == recordings_.end() || !(it->second.key == key)) return false;
  const Recording& r = it->second;
  for (const Run& run : r.runs) {
    if (run.offset < 0) {
      sink.Solid(run.y, run.x, run.n, run.solid);
    } else {
      sink.Span(run.y, run.x, run.n, &r.coverage[static_cast<size_t>(run.offset)]);
    }
  }
  return true;
}

raster::SpanSink& CoverageCache::Record(const CoverageKey& key, raster::SpanSink& out) {
  if (bytes_ > kMaxBytes) Clear();
  Recording& r = recordings_[key.part];
  bytes_ -= r.Bytes();
  r.key = key;
  r.runs.clear();
  r.coverage.clear();
  recording_ = &r;
  recorder_.Begin(&r, &out);
  return recorder_;
}

void CoverageCache::EndRecord() {
  if (recording_ != nullptr) bytes_ += recording_->Bytes();
  recording_ = nullptr;
}

void CoverageCache::Recorder::Span(int y, int x, int n, const uint8_t* cov) {
  out_->Span(y, x, n, cov);
  into_->runs.push_back({y, x, n, static_cast<int32_t>(into_->coverage.size()), 0});
  into_->coverage.insert(into_->coverage.end(), cov, cov + n);
}

void CoverageCache::Recorder::Solid(int y, int x, int n, uint8_t cov) {
  out_->Solid(y, x, n, cov);
  into_->runs.push_back({y, x, n, -1, cov});
}

void CoverageCache::Clear() {
  recordings_.clear();
  bytes_ = 0;
  recording_ = nullptr;
}

}  // namespace lumen::render
