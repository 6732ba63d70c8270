#include "raster/FetchCache.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace lumen::raster {
namespace {

// A fill is kept from its second frame in a row on: its spans are then found as stored, a
// changed mapping or another bitmap is not, and a frame without it lets it go.
TEST(FetchCache, KeepsAFillDrawnAlikeInConsecutiveFrames) {
  const auto photo = std::make_shared<const render::Bitmap>();
  const FetchCache::Key key{photo.get(), {0.5, 0, 0, 0.5, 3, 4}, true, false};
  const std::vector<uint32_t> span = {1, 2, 3, 4, 5, 6};
  FetchCache cache;
  cache.BeginFrame();
  cache.Select(key, photo);
  cache.Store(10, 7, 6, span.data());
  EXPECT_EQ(cache.Find(10, 7, 6), nullptr) << "kept from its first frame";

  cache.BeginFrame();
  cache.Select(key, photo);
  EXPECT_EQ(cache.Find(10, 7, 6), nullptr);
  cache.Store(10, 7, 6, span.data());
  const uint32_t* found = cache.Find(12, 7, 3);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found[0], 3u);
  EXPECT_EQ(cache.Find(12, 7, 5), nullptr) << "past the stored span";
  EXPECT_EQ(cache.Find(10, 8, 6), nullptr) << "another row";

  FetchCache::Key moved = key;
  moved.inverse[4] += 0.25;
  cache.Select(moved, photo);
  EXPECT_EQ(cache.Find(10, 7, 6), nullptr);
  const auto other = std::make_shared<const render::Bitmap>();
  cache.Select(key, other);
  EXPECT_EQ(cache.Find(10, 7, 6), nullptr) << "another bitmap under the same key";

  cache.BeginFrame();
  cache.BeginFrame();
  cache.Select(key, photo);
  EXPECT_EQ(cache.Find(10, 7, 6), nullptr) << "kept through a frame it was not drawn in";
}

// What is kept stays within the pixel budget.
TEST(FetchCache, KeepsNoMoreThanItsBudget) {
  const auto photo = std::make_shared<const render::Bitmap>();
  const FetchCache::Key key{photo.get(), {1, 0, 0, 1, 0, 0}, true, false};
  const std::vector<uint32_t> row(4096, 7);
  FetchCache cache;
  for (int frame = 0; frame < 2; ++frame) {
    cache.BeginFrame();
    cache.Select(key, photo);
    for (int y = 0; y < FetchCache::kMaxRows; ++y) cache.Store(0, y, 4096, row.data());
  }
  const size_t rows = FetchCache::kMaxPixels / 4096;
  EXPECT_NE(cache.Find(0, static_cast<int>(rows) - 1, 4096), nullptr);
  EXPECT_EQ(cache.Find(0, static_cast<int>(rows), 4096), nullptr);
}

}  // namespace
}  // namespace lumen::raster
