#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>

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
  std::ostringstream s;
  for (const Point& p : poly) s << "(" << p.x << "," << p.y << ") ";
  return s.str();
}

// The sampled grid counts exactly the samples that a test of each sample against the stored
// edges finds inside, samples lying on an edge included; against the polygon as given (before
// its ends went onto the 1/256-pixel grid) no pixel is off by more than one sample.
TEST(CoverageDifferential, SampledGridMatchesPointSampling) {
  std::mt19937 rng(20261208);
  for (int shape = 0; shape < 150; ++shape) {
    const std::vector<Point> poly = RandomPolygon(rng);
    EdgeList edges;
    edges.Reset(kSize, kSize);
    edges.AddPolygon(poly.data(), poly.size());
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      for (int grid : {1, 2, 4}) {
        const CoverageGrid fast = Rasterize(poly, rule, CoverageMethod::SampledGrid, grid);
        const std::vector<int> exact = StoredEdgeCoverage(edges.Edges(), rule, kSize, grid);
        const std::vector<int> given = ReferenceCoverage(poly, rule, kSize, grid);
        for (int y = 0; y < kSize; ++y) {
          for (int x = 0; x < kSize; ++x) {
            const size_t i = static_cast<size_t>(y) * kSize + x;
            ASSERT_EQ(fast.At(x, y), exact[i]) << "shape " << shape << " grid " << grid << " at "
                                               << x << "," << y << ": " << Describe(poly);
            ASSERT_LE(std::abs(fast.At(x, y) - given[i]), 255 / (grid * grid) + 1)
                << "shape " << shape << " grid " << grid << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// Polygons of hundreds of points, whose edges cross each other in every row and start in crowds
// along the canvas's top: the crossings of a row are put in order however tangled they come,
// and every sample still counts as the stored edges say.
TEST(CoverageDifferential, TangledEdgesCountAsThePointSamplesSay) {
  std::mt19937 rng(20261210);
  std::uniform_real_distribution<float> coord(-8, kSize + 8);
  for (int shape = 0; shape < 6; ++shape) {
    std::vector<Point> poly(300);
    for (Point& p : poly) p = {coord(rng), coord(rng)};
    EdgeList edges;
    edges.Reset(kSize, kSize);
    edges.AddPolygon(poly.data(), poly.size());
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      for (int grid : {1, 4}) {
        const CoverageGrid fast = Rasterize(poly, rule, CoverageMethod::SampledGrid, grid);
        const std::vector<int> exact = StoredEdgeCoverage(edges.Edges(), rule, kSize, grid);
        for (int y = 0; y < kSize; ++y) {
          for (int x = 0; x < kSize; ++x) {
            ASSERT_EQ(fast.At(x, y), exact[static_cast<size_t>(y) * kSize + x])
                << "shape " << shape << " grid " << grid << " at " << x << "," << y;
          }
        }
      }
    }
  }
}

// Samples exactly on an edge go to the side right of it (left edges take them, right edges do
// not), also where the ends come from twips through float arithmetic, as a renderer computes
// them (a shape point times 1/20 plus a placement), and would land the crossing a hair to
// either side. Diagonal edges through pixel centres, leaning either way.
TEST(SampledGrid, SamplesOnAnEdgeBelongToTheSideRightOfIt) {
  constexpr int kCanvas = 64;
  constexpr float kPixelsPerTwip = 1.0f / 20;
  const float place_x = 1234 * kPixelsPerTwip, place_y = 777 * kPixelsPerTwip;
  auto device = [&](int x_twips, int y_twips) {
    return Point{static_cast<float>(x_twips - 1234) * kPixelsPerTwip + place_x,
                 static_cast<float>(y_twips - 777) * kPixelsPerTwip + place_y};
  };
  for (int i = 0; i < 60; ++i) {
    const int px = 8 + (i * 7) % 40, py = 8 + (i * 13) % 40;
    const int cx = 20 * px + 10, cy = 20 * py + 10, d = 2 * (1 + i % 9);
    const int lean = i % 2 ? 1 : -1;  // the edge's x change per unit of y
    const Point top = device(cx - lean * d, cy - d), bottom = device(cx + lean * d, cy + d);
    // The diagonal as the left side of a region, then as its right side.
    const Point far_top = device(cx + 160, cy - d), far_bottom = device(cx + 160, cy + d);
    const Point near_top = device(cx - 160, cy - d), near_bottom = device(cx - 160, cy + d);
    const std::vector<Point> right_of = {top, far_top, far_bottom, bottom};
    const std::vector<Point> left_of = {top, bottom, near_bottom, near_top};
    const CoverageGrid in =
        Rasterize(right_of, FillRule::NonZero, CoverageMethod::SampledGrid, 1, kCanvas);
    const CoverageGrid out =
        Rasterize(left_of, FillRule::NonZero, CoverageMethod::SampledGrid, 1, kCanvas);
    EXPECT_EQ(in.At(px, py), 255) << Describe(right_of);
    EXPECT_EQ(out.At(px, py), 0) << Describe(left_of);
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
  for (int shape = 0; shape < 40; ++shape) {
    const bool simple = shape % 2 == 0;
    const std::vector<Point> poly = simple ? RandomSimplePolygon(rng) : RandomPolygon(rng);
    for (FillRule rule : {FillRule::NonZero, FillRule::EvenOdd}) {
      const CoverageGrid area = Rasterize(poly, rule, CoverageMethod::ExactArea, 0);
      const std::vector<int> fine = ReferenceCoverage(poly, rule, kSize, 16);
      int far = 0, edge_pixels = 0;
      for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
          const int ref = fine[static_cast<size_t>(y) * kSize + x];
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
