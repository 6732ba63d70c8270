#include "movie/ShapeBuilder.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace lumen::movie {

namespace {

struct Edge {
  render::Point from, control, to;
  bool curved = false;

  Edge Reversed() const { return {to, control, from, curved}; }
};

bool Same(render::Point p, render::Point q) {
  return p.x == q.x && p.y == q.y;
}

uint64_t Key(render::Point p) {
  uint32_t x, y;
  std::memcpy(&x, &p.x, 4);
  std::memcpy(&y, &p.y, 4);
  return uint64_t{x} << 32 | y;
}

void Append(render::Path& path, const Edge& e) {
  if (e.curved) {
    path.QuadTo(e.control, e.to);
  } else {
    path.LineTo(e.to);
  }
}

// Chains the edges of one fill style into contours.
render::Path ChainContours(const std::vector<Edge>& edges) {
  std::vector<std::pair<uint64_t, size_t>> starts;
  starts.reserve(edges.size());
  for (size_t i = 0; i < edges.size(); ++i) starts.emplace_back(Key(edges[i].from), i);
  std::sort(starts.begin(), starts.end());
  std::vector<bool> used(edges.size(), false);

  auto next_from = [&](render::Point p) -> const Edge* {
    auto it = std::lower_bound(starts.begin(), starts.end(), std::make_pair(Key(p), size_t{0}));
    for (; it != starts.end() && it->first == Key(p); ++it) {
      if (!used[it->second]) {
        used[it->second] = true;
        return &edges[it->second];
      }
    }
    return nullptr;
  };

  render::Path path;
  for (size_t i = 0; i < edges.size(); ++i) {
    if (used[i]) continue;
    used[i] = true;
    const render::Point start = edges[i].from;
    path.MoveTo(start);
    Append(path, edges[i]);
    render::Point pen = edges[i].to;
    while (!Same(pen, start)) {
      const Edge* e = next_from(pen);
      if (e == nullptr) break;
      Append(path, *e);
      pen = e->to;
    }
  }
  return path;
}

// Edges of one line style become polylines, broken where an edge does not start at the end of
// the previous one.
render::Path StrokePath(const std::vector<Edge>& edges) {
  render::Path path;
  for (size_t i = 0; i < edges.size(); ++i) {
    if (i == 0 || !Same(edges[i - 1].to, edges[i].from)) path.MoveTo(edges[i].from);
    Append(path, edges[i]);
  }
  return path;
}

class LayerBuilder {
 public:
  LayerBuilder(const ShapeData& shape, render::ShapeGeometry& out) : shape_(shape), out_(out) {}

  void Run() {
    Begin(0);
    render::Point pen;
    for (const ShapeRecord& rec : shape_.records) {
      if (rec.kind == ShapeRecord::Kind::StyleChange) {
        Select(rec);
        if (rec.has_move) pen = rec.to;
        continue;
      }
      Edge e{pen, rec.control, rec.to, rec.kind == ShapeRecord::Kind::Curve};
      AddEdge(e);
      pen = rec.to;
    }
    Flush();
  }

 private:
  void Begin(int table) {
    table_ = table;
    const StyleTable& t = Table();
    fills_.assign(t.fills.size(), {});
    lines_.assign(t.lines.size(), {});
    fill0_ = fill1_ = line_ = 0;
  }

  const StyleTable& Table() const { return shape_.tables[static_cast<size_t>(table_)]; }

  void Select(const ShapeRecord& rec) {
    if (rec.new_styles >= 0 && static_cast<size_t>(rec.new_styles) < shape_.tables.size()) {
      Flush();
      Begin(rec.new_styles);
    }
    if (rec.has_fill0) fill0_ = rec.fill0;
    if (rec.has_fill1) fill1_ = rec.fill1;
    if (rec.has_line) line_ = rec.line;
  }

  // Style indices are 1-based; 0 and indices past the table select nothing.
  template <typename T>
  static std::vector<Edge>* Slot(std::vector<T>& lists, uint32_t index) {
    return index >= 1 && index <= lists.size() ? &lists[index - 1] : nullptr;
  }

  void AddEdge(const Edge& e) {
    if (auto* list = Slot(fills_, fill1_)) list->push_back(e);
    if (auto* list = Slot(fills_, fill0_)) list->push_back(e.Reversed());
    if (auto* list = Slot(lines_, line_)) list->push_back(e);
  }

  void Flush() {
    const StyleTable& t = Table();
    for (size_t i = 0; i < fills_.size(); ++i) {
      if (fills_[i].empty()) continue;
      render::ShapePart part;
      part.kind = render::ShapePart::Kind::Fill;
      part.rule = shape_.rule;
      part.fill = t.fills[i];
      part.path = ChainContours(fills_[i]);
      out_.parts.push_back(std::move(part));
    }
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].empty()) continue;
      render::ShapePart part;
      part.kind = render::ShapePart::Kind::Stroke;
      part.line = t.lines[i];
      part.path = StrokePath(lines_[i]);
      out_.parts.push_back(std::move(part));
    }
    fills_.clear();
    lines_.clear();
  }

  const ShapeData& shape_;
  render::ShapeGeometry& out_;
  int table_ = 0;
  uint32_t fill0_ = 0, fill1_ = 0, line_ = 0;
  std::vector<std::vector<Edge>> fills_;
  std::vector<std::vector<Edge>> lines_;
};

}  // namespace

render::ShapeGeometry BuildGeometry(const ShapeData& shape) {
  render::ShapeGeometry geometry;
  geometry.bounds = shape.bounds;
  if (shape.tables.empty()) return geometry;
  LayerBuilder(shape, geometry).Run();
  return geometry;
}

}  // namespace lumen::movie
