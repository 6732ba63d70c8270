// Design: edges are kept as device-space lines sorted by their top. Each pixel row gathers the
// edges that touch it and accumulates two numbers per pixel: `area`, the coverage that belongs to
// that pixel alone, and `cover`, a change that holds for it and every pixel to its right. A row is
// then one pass over the few pixels an edge touched; between them the coverage is constant and
// goes out as a Solid run, so wide shapes cost per edge, not per pixel.
//
// SampledGrid evaluates the fill rule on n sample rows per pixel row and counts the sample
// columns between crossings, each crossing turned into a sample index exactly, in whole
// multiples of the 1/256-pixel grid the edge ends are held on. The edges that reach a row are
// kept in the order of where they cross it, so each sample row's crossings come nearly sorted and
// an insertion sort puts them in order in about linear time. ExactArea adds each edge's signed
// area per pixel and applies the fill rule to the sum (non-zero clamps it, even-odd folds it).

#include "raster/Coverage.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace lumen::raster {

void EdgeList::Reset(int width, int height) {
  edges_.clear();
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  valid_ = true;
}

void EdgeList::AddPolygon(const Point* points, size_t n) {
  if (n < 2) return;
  for (size_t i = 0; i + 1 < n; ++i) AddLine(points[i], points[i + 1]);
  AddLine(points[n - 1], points[0]);
}

void EdgeList::AddLine(Point a, Point b) {
  if (!std::isfinite(a.x) || !std::isfinite(a.y) || !std::isfinite(b.x) || !std::isfinite(b.y)) {
    valid_ = false;
    return;
  }
  if (a.y == b.y) return;  // horizontal lines change no winding
  if (a.y < b.y) {
    AddClippedY(a.x, a.y, b.x, b.y, 1);
  } else {
    AddClippedY(b.x, b.y, a.x, a.y, -1);
  }
}

void EdgeList::AddClippedY(double x0, double y0, double x1, double y1, int dir) {
  const double h = height_;
  if (y1 <= 0 || y0 >= h) return;
  const double slope = (x1 - x0) / (y1 - y0);
  if (y0 < 0) {
    x0 += slope * (0 - y0);
    y0 = 0;
  }
  if (y1 > h) {
    x1 -= slope * (y1 - h);
    y1 = h;
  }
  if (!(y1 > y0)) return;
  // Split where the line crosses the left and right borders; outside parts become vertical.
  const double w = width_;
  double cuts[2];
  int cut_count = 0;
  for (double border : {0.0, w}) {
    if ((x0 < border) != (x1 < border) && x0 != x1) cuts[cut_count++] = (border - x0) / (x1 - x0);
  }
  if (cut_count == 2 && cuts[0] > cuts[1]) std::swap(cuts[0], cuts[1]);
  double ts[4] = {0};
  int count = 1;
  for (int i = 0; i < cut_count; ++i) ts[count++] = cuts[i];
  ts[count++] = 1;
  double px = x0, py = y0;
  for (int i = 1; i < count; ++i) {
    const double t = ts[i];
    const double qx = i == count - 1 ? x1 : x0 + (x1 - x0) * t;
    const double qy = i == count - 1 ? y1 : y0 + (y1 - y0) * t;
    Push(std::clamp(px, 0.0, w), py, std::clamp(qx, 0.0, w), qy, dir);
    px = qx;
    py = qy;
  }
}

namespace {

// Edge ends are held on a grid of 1/256 pixel, rounded half up. Such values are exact in a
// float (on targets up to 65536 pixels a side), so which sample a crossing falls on is decided
// exactly (see SampleAt): a sample centre on an edge goes the same way however the edge's ends
// were computed, and where float rounding of the ends would have decided a centre within a hair
// of an edge, the grid decides it as the reference pictures show.
constexpr double kSubpixels = 256;

double OnGrid(double v) {
  return std::floor(v * kSubpixels + 0.5) / kSubpixels;
}

// The first of the sample columns at (k + 0.5) / n pixels that lies at or right of where `e`
// crosses the sample row at `sy`; sy is a multiple of 1/(2n) pixel and n divides 128. Counted
// in 1/256 pixel, every term is a whole number and the numerator stays below 2^49 for any target
// a pixmap can be: exact in a double, and the quotient's rounding error (below 1/16 of 1/den)
// cannot carry it across a whole number, so its ceiling is exact. A double divides faster than
// a 64-bit integer on 32-bit x86.
double SampleAt(const Edge& e, float sy, int n) {
  const double x0 = e.x0 * kSubpixels, y0 = e.y0 * kSubpixels;
  const double dx = e.x1 * kSubpixels - x0, dy = e.y1 * kSubpixels - y0;
  // x = x0 + (ys - y0) * dx / dy; k = ceil((n * x - 128) / 256).
  const double num = n * (x0 * dy + (sy * kSubpixels - y0) * dx) - 128 * dy;
  return std::ceil(num / (256 * dy));
}

}  // namespace

void EdgeList::Push(double x0, double y0, double x1, double y1, int dir) {
  x0 = OnGrid(x0), y0 = OnGrid(y0), x1 = OnGrid(x1), y1 = OnGrid(y1);
  if (!(y1 > y0)) return;
  edges_.push_back({static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1),
                    static_cast<float>(y1), dir});
}

// Sorts `v` by `less`, cheaply when it is nearly sorted already, as a row's edges and crossings
// are after the row before: an insertion sort, which hands over to std::sort once it has moved
// elements a few times as often as there are elements (edges a hostile shape crosses en masse).
template <typename T, typename Less>
void SortNearlySorted(std::vector<T>& v, Less less) {
  size_t budget = 4 * v.size() + 64;
  for (size_t i = 1; i < v.size(); ++i) {
    const T item = v[i];
    size_t j = i;
    for (; j > 0 && less(item, v[j - 1]); --j) {
      if (--budget == 0) {
        v[j] = item;
        std::sort(v.begin(), v.end(), less);
        return;
      }
      v[j] = v[j - 1];
    }
    v[j] = item;
  }
}

void Rasterizer::Touch(int x, float area, float cover) {
  area_[x] += area;
  cover_[x] += cover;
  if (marked_[x] == 0) {
    marked_[x] = 1;
    touched_.push_back(x);
  }
}

// Orders the active edges by where they cross height `y` (their nearest end where they do not).
void Rasterizer::SortActive(float y) {
  for (ActiveEdge& a : active_) {
    const Edge& e = *a.edge;
    const float t = std::clamp((y - e.y0) / (e.y1 - e.y0), 0.0f, 1.0f);
    a.x = e.x0 + (e.x1 - e.x0) * t;
  }
  // Ties go by the edges' places in the list, so that the order, and with it the sums of a row,
  // does not depend on the rows computed before.
  SortNearlySorted(active_, [](const ActiveEdge& a, const ActiveEdge& b) {
    return a.x < b.x || (a.x == b.x && a.edge < b.edge);
  });
}

void Rasterizer::BeginRow(int width) {
  if (area_.size() < static_cast<size_t>(width) + 2) {
    area_.assign(width + 2, 0);
    cover_.assign(width + 2, 0);
    marked_.assign(width + 2, 0);
    row_.assign(width + 2, 0);
  }
  touched_.clear();
}

void Rasterizer::Fill(EdgeList& edges, FillRule rule, CoverageMethod method, int grid,
                      SpanSink& sink, int rows_from, int rows_to) {
  auto& list = edges.MutableEdges();
  if (!edges.Valid() || list.empty()) return;
  grid = std::bit_floor(static_cast<unsigned>(std::clamp(grid, 1, 16)));  // samples on the grid
  const int width = edges.Width();
  std::sort(list.begin(), list.end(), [](const Edge& a, const Edge& b) { return a.y0 < b.y0; });
  float bottom = 0;
  for (const Edge& e : list) bottom = std::max(bottom, e.y1);
  const int y_begin = std::max(rows_from, static_cast<int>(list.front().y0));
  const int y_end = std::min({edges.Height(), rows_to, static_cast<int>(std::ceil(bottom))});
  active_.clear();
  size_t next = 0;
  for (int y = y_begin; y < y_end; ++y) {
    const float top = static_cast<float>(y), below = top + 1;
    std::erase_if(active_, [top](const ActiveEdge& a) { return a.edge->y1 <= top; });
    while (next < list.size() && list[next].y0 < below) active_.push_back({0, &list[next++]});
    if (active_.empty()) continue;
    SortActive(top + 0.5f);
    BeginRow(width);
    if (method == CoverageMethod::SampledGrid) {
      for (int s = 0; s < grid; ++s) {
        AddGridRow(top + (static_cast<float>(s) + 0.5f) / static_cast<float>(grid), rule, grid,
                   width);
      }
    } else {
      AddAreaRow(y, width);
    }
    FinishRow(y, width, rule, method, grid, sink);
  }
}

void Rasterizer::AddGridRow(float sy, FillRule rule, int grid, int width) {
  crossings_.clear();
  const int last_sample = width * grid;
  for (const ActiveEdge& a : active_) {
    const Edge* e = a.edge;
    if (e->y0 <= sy && sy < e->y1) {
      const double k = std::clamp(SampleAt(*e, sy, grid), 0.0, static_cast<double>(last_sample));
      crossings_.emplace_back(static_cast<int>(k), e->dir);
    }
  }
  if (crossings_.size() < 2) return;
  // Crossings at the same sample bound no samples between them, so their order is free.
  SortNearlySorted(crossings_, [](const std::pair<int, int>& a, const std::pair<int, int>& b) {
    return a.first < b.first;
  });
  const float n = static_cast<float>(grid);
  int winding = 0;
  for (size_t i = 0; i + 1 < crossings_.size(); ++i) {
    winding += crossings_[i].second;
    const bool inside = rule == FillRule::NonZero ? winding != 0 : (winding & 1) != 0;
    if (!inside) continue;
    // Sample column k sits at (k + 0.5) / n and is inside when xa <= it < xb.
    const int k0 = crossings_[i].first, k1 = crossings_[i + 1].first;
    if (k1 <= k0) continue;
    const int p0 = k0 / grid, p1 = k1 / grid;
    if (p0 == p1) {
      Touch(p0, static_cast<float>(k1 - k0), 0);
      continue;
    }
    Touch(p0, static_cast<float>(grid * (p0 + 1) - k0), 0);
    Touch(p0 + 1, 0, n);
    Touch(p1, static_cast<float>(k1 - grid * p1), -n);
  }
}

void Rasterizer::AddAreaRow(int y, int width) {
  const float top = static_cast<float>(y), below = top + 1;
  for (const ActiveEdge& a : active_) {
    const Edge* e = a.edge;
    const float ya = std::max(e->y0, top), yb = std::min(e->y1, below);
    if (!(yb > ya)) continue;
    const float inv = (e->x1 - e->x0) / (e->y1 - e->y0);
    const float xa = e->x0 + (ya - e->y0) * inv, xb = e->x0 + (yb - e->y0) * inv;
    AddAreaPiece(xa, ya, xb, yb, e->dir, width);
  }
}

// Splits the line at pixel borders; each piece adds the part of its pixel to the right of it
// (area) and its full height to every pixel further right (cover).
void Rasterizer::AddAreaPiece(float xa, float ya, float xb, float yb, int dir, int width) {
  const float w = static_cast<float>(width);
  xa = std::clamp(xa, 0.0f, w);
  xb = std::clamp(xb, 0.0f, w);
  const float height = (yb - ya) * static_cast<float>(dir);
  if (xa > xb) std::swap(xa, xb);  // the area only depends on the x extent of each piece
  const float dx = xb - xa;
  int column = std::min(static_cast<int>(xa), width);
  float x = xa;
  while (true) {
    const float right = static_cast<float>(column + 1);
    const float x_end = std::min(xb, right);
    const float h = dx > 0 ? height * (x_end - x) / dx : height;
    Touch(column, h * (right - (x + x_end) * 0.5f), 0);
    Touch(column + 1, 0, h);
    if (xb <= right || column >= width) break;
    x = x_end;
    ++column;
  }
}

void Rasterizer::FinishRow(int y, int width, FillRule rule, CoverageMethod method, int grid,
                           SpanSink& sink) {
  SortNearlySorted(touched_, std::less<int>());
  const float full = method == CoverageMethod::SampledGrid ? static_cast<float>(grid * grid) : 1;
  auto to_coverage = [&](float v) -> uint8_t {
    float c;
    if (method == CoverageMethod::SampledGrid) {
      c = v / full;
    } else if (rule == FillRule::NonZero) {
      c = std::min(1.0f, std::fabs(v));
    } else {
      c = std::fmod(std::fabs(v), 2.0f);
      if (c > 1) c = 2 - c;
    }
    return static_cast<uint8_t>(std::clamp(c * 255.0f + 0.5f, 0.0f, 255.0f));
  };
  float running = 0;
  int pos = 0;        // first pixel not yet emitted
  int run_start = 0;  // first pixel of the varying run in row_
  int run_len = 0;
  auto flush = [&] {
    if (run_len > 0) sink.Span(y, run_start, run_len, &row_[run_start]);
    run_len = 0;
  };
  for (int x : touched_) {
    marked_[x] = 0;
    if (x >= width) {
      area_[x] = cover_[x] = 0;
      continue;
    }
    if (x > pos) {
      flush();
      const uint8_t c = to_coverage(running);
      if (c > 0) sink.Solid(y, pos, x - pos, c);
    }
    running += cover_[x];
    const uint8_t c = to_coverage(running + area_[x]);
    area_[x] = cover_[x] = 0;
    if (run_len == 0) run_start = x;
    row_[x] = c;
    ++run_len;
    pos = x + 1;
  }
  flush();
  if (pos < width) {
    const uint8_t c = to_coverage(running);
    if (c > 0) sink.Solid(y, pos, width - pos, c);
  }
}

}  // namespace lumen::raster
