#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "raster/Coverage.h"
#include "tests/raster/CoverageGrid.h"

namespace lumen::raster::test {
namespace {

constexpr int kSize = 40;

CoverageGrid Rasterize(const std::vector<Point>& poly, FillRule rule, CoverageMethod method,
                       int grid, int size = kSize) {
  EdgeList edges;
  edges.Reset(size, size);
  edges.AddPolygon(poly.data(), poly.size());
  CoverageGrid out(size, size);
  Rasterizer r;
  r.Fill(edges, rule, method, grid, out);
  return out;
}

std::vector<Point> RandomPolygon(std::mt19937& rng) {
  std::uniform_int_distribution<int> count(3, 10);
  // Some points fall outside the canvas so that clipping is exercised too.
  std::uniform_real_distribution<float> coord(-8, kSize + 8);
  std::vector<Point> poly(static_cast<size_t>(count(rng)));
  for (Point& p : poly) p = {coord(rng), coord(rng)};
  return poly;
}

std::string Describe(const std::vector<Point>& poly) {
  std::string s;
  for (const Point& p : poly) s += "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ") ";
  return s;
}

// The sampled grid must count exactly the samples a point-in-polygon test finds inside; a
// sample lying within float rounding of an edge may go either way.
TEST(CoverageDifferential, SampledGridMatchesPointSampling) {
  std::mt19937 rng(20261208);
  for (int shape = 0; shape < 150; ++shape) {
    const std::vector<Point> poly = RandomPolygon(rng);
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      for (int grid : {1, 2, 4}) {
        const CoverageGrid fast = Rasterize(poly, rule, CoverageMethod::SampledGrid, grid);
        int off = 0;
        for (int y = 0; y < kSize; ++y) {
          for (int x = 0; x < kSize; ++x) {
            const int diff = std::abs(fast.At(x, y) - ReferenceCoverage(poly, rule, x, y, grid));
            ASSERT_LE(diff, 255 / (grid * grid) + 1)
                << "shape " << shape << " grid " << grid << " at " << x << "," << y << ": "
                << Describe(poly);
            off += diff != 0;
          }
        }
        EXPECT_LE(off, 2) << "shape " << shape << " grid " << grid << ": " << Describe(poly);
      }
    }
  }
}

// A star-shaped polygon (points sorted by angle around its centre): it never crosses itself.
std::vector<Point> RandomSimplePolygon(std::mt19937& rng) {
  std::vector<Point> poly = RandomPolygon(rng);
  const float cx = kSize / 2.0f, cy = kSize / 2.0f;
  std::sort(poly.begin(), poly.end(), [&](Point a, Point b) {
    return std::atan2(a.y - cy, a.x - cx) < std::atan2(b.y - cy, b.x - cx);
  });
  return poly;
}

// Exact area against 16 x 16 supersampling: equal within the reference's own sampling error for
// simple polygons. Where a polygon crosses itself inside a pixel, the summed signed areas are only
// an estimate, so self-crossing shapes get a bounded number of such pixels.
TEST(CoverageDifferential, ExactAreaMatchesFineSupersampling) {
  std::mt19937 rng(7);
  for (int shape = 0; shape < 80; ++shape) {
    const bool simple = shape % 2 == 0;
    const std::vector<Point> poly = simple ? RandomSimplePolygon(rng) : RandomPolygon(rng);
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      const CoverageGrid area = Rasterize(poly, rule, CoverageMethod::ExactArea, 0);
      int far = 0, edge_pixels = 0;
      for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
          const int ref = ReferenceCoverage(poly, rule, x, y, 16);
          const int diff = std::abs(area.At(x, y) - ref);
          edge_pixels += ref != 0 && ref != 255;
          far += diff > 20;
        }
      }
      EXPECT_LE(far, simple ? 0 : edge_pixels / 8) << "shape " << shape << ": " << Describe(poly);
    }
  }
}

struct ExactCase {
  const char* name;
  std::vector<Point> poly;
  CoverageMethod method;
  int grid;
  int x, y, expected;  // one probed pixel
  long sum;            // total coverage of the picture
};

const ExactCase kExact[] = {
    {"aligned_grid",
     {{2, 2}, {6, 2}, {6, 5}, {2, 5}},
     CoverageMethod::SampledGrid,
     4,
     2,
     2,
     255,
     12 * 255},
    {"aligned_area",
     {{2, 2}, {6, 2}, {6, 5}, {2, 5}},
     CoverageMethod::ExactArea,
     0,
     5,
     4,
     255,
     12 * 255},
    {"half_pixel_grid",
     {{2.5f, 2}, {6, 2}, {6, 3}, {2.5f, 3}},
     CoverageMethod::SampledGrid,
     4,
     2,
     2,
     128,
     3 * 255 + 128},
    {"half_pixel_area",
     {{2.5f, 2}, {6, 2}, {6, 3}, {2.5f, 3}},
     CoverageMethod::ExactArea,
     0,
     2,
     2,
     128,
     3 * 255 + 128},
    {"quarter_low_misses_centre",
     {{2.6f, 2}, {6, 2}, {6, 3}, {2.6f, 3}},
     CoverageMethod::SampledGrid,
     1,
     2,
     2,
     0,
     3 * 255},
    {"medium_quarter",
     {{2.3f, 2}, {6, 2}, {6, 3}, {2.3f, 3}},
     CoverageMethod::SampledGrid,
     2,
     2,
     2,
     128,
     3 * 255 + 128},
    {"reversed_orientation",
     {{2, 5}, {6, 5}, {6, 2}, {2, 2}},
     CoverageMethod::ExactArea,
     0,
     3,
     3,
     255,
     12 * 255},
    {"diagonal_half_area",
     {{0, 0}, {4, 0}, {0, 4}},
     CoverageMethod::ExactArea,
     0,
     1,
     2,
     128,
     8 * 255},
    {"left_of_canvas_clipped",
     {{-10, 1}, {3, 1}, {3, 2}, {-10, 2}},
     CoverageMethod::ExactArea,
     0,
     0,
     1,
     255,
     3 * 255},
    {"right_of_canvas_clipped",
     {{37, 1}, {90, 1}, {90, 2}, {37, 2}},
     CoverageMethod::SampledGrid,
     4,
     39,
     1,
     255,
     3 * 255},
    {"zero_height", {{2, 2}, {30, 2}, {30, 2}}, CoverageMethod::ExactArea, 0, 3, 2, 0, 0},
    {"entirely_above", {{2, -9}, {30, -9}, {30, -1}}, CoverageMethod::SampledGrid, 4, 3, 0, 0, 0},
};

class Exact : public ::testing::TestWithParam<ExactCase> {};

TEST_P(Exact, CoverageIsExact) {
  const ExactCase& c = GetParam();
  const CoverageGrid g = Rasterize(c.poly, FillRule::NonZero, c.method, c.grid);
  EXPECT_EQ(g.At(c.x, c.y), c.expected);
  EXPECT_NEAR(g.Sum(), c.sum, 2);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Exact, ::testing::ValuesIn(kExact),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(FillRules, OverlappingSquaresDifferInTheOverlapOnly) {
  // Two squares drawn as one path in the same direction: the overlap has winding 2.
  std::vector<Point> both = {{2, 2}, {12, 2}, {12, 12}, {2, 12}, {2, 2},
                             {6, 6}, {16, 6}, {16, 16}, {6, 16}, {6, 6}};
  for (CoverageMethod method : {CoverageMethod::SampledGrid, CoverageMethod::ExactArea}) {
    const CoverageGrid nonzero = Rasterize(both, FillRule::NonZero, method, 4);
    const CoverageGrid evenodd = Rasterize(both, FillRule::EvenOdd, method, 4);
    EXPECT_EQ(nonzero.At(8, 8), 255);
    EXPECT_EQ(evenodd.At(8, 8), 0);
    EXPECT_EQ(nonzero.At(3, 3), 255);
    EXPECT_EQ(evenodd.At(3, 3), 255);
    EXPECT_EQ(evenodd.At(14, 14), 255);
  }
}

TEST(EdgeList, PointsThatAreNotFiniteDrawNothing) {
  for (float bad : {NAN, INFINITY, -INFINITY}) {
    EdgeList edges;
    edges.Reset(10, 10);
    const std::vector<Point> poly = {{1, 1}, {8, 1}, {bad, 8}, {1, 8}};
    edges.AddPolygon(poly.data(), poly.size());
    EXPECT_FALSE(edges.Valid());
    CoverageGrid out(10, 10);
    Rasterizer().Fill(edges, FillRule::NonZero, CoverageMethod::SampledGrid, 4, out);
    EXPECT_EQ(out.Sum(), 0);
  }
}

TEST(EdgeList, HugeCoordinatesAreClippedToTheCanvas) {
  const std::vector<Point> poly = {{-3e38f, 2}, {3e38f, 2}, {3e38f, 4}, {-3e38f, 4}};
  for (CoverageMethod method : {CoverageMethod::SampledGrid, CoverageMethod::ExactArea}) {
    const CoverageGrid g = Rasterize(poly, FillRule::NonZero, method, 4);
    EXPECT_EQ(g.Sum(), 2L * kSize * 255);
  }
}

}  // namespace
}  // namespace lumen::raster::test
