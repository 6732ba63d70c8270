#include "stage/BitmapCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "stage/BitmapPrefetcher.h"

namespace lumen::stage {
namespace {

using Sources = std::vector<const render::BitmapSource*>;

// Answers after this long at most when polling for another thread's work.
constexpr auto kPatience = std::chrono::seconds(20);

template <typename Condition>
bool PollUntil(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// Opens once; decodes waiting on it go on from then.
class Gate {
 public:
  void Open() {
    const std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  void Pass() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// A square image of one colour that counts its decodes; a damaged one decodes to nothing.
class FakeSource final : public render::BitmapSource {
 public:
  explicit FakeSource(uint32_t color, int side = 10, bool damaged = false, Gate* gate = nullptr)
      : BitmapSource(side, side), color_(color), damaged_(damaged), gate_(gate) {}

  std::optional<render::Bitmap> Decode() const override {
    ++started;
    if (gate_) gate_->Pass();
    if (damaged_) return std::nullopt;
    render::Bitmap b;
    b.width = b.height = Width();
    b.pixels.assign(static_cast<size_t>(Width()) * Height(), color_);
    b.opaque = true;
    return b;
  }

  mutable std::atomic<int> started{0};

 private:
  uint32_t color_;
  bool damaged_;
  Gate* gate_;
};

constexpr size_t kImageBytes = 10 * 10 * 4;

TEST(BitmapCache, DecodesOnceAndKeepsWhatFits) {
  BitmapCache cache(10 * kImageBytes);
  FakeSource a(0xFF0000FF), b(0xFF00FF00);
  const Sources frame{&a, &b};
  for (int i = 0; i < 3; ++i) {
    cache.BeginFrame(frame);
    const auto pa = cache.Pixels(a);
    ASSERT_TRUE(pa);
    EXPECT_EQ(pa->pixels[0], 0xFF0000FFu);
    ASSERT_TRUE(cache.Pixels(b));
  }
  EXPECT_EQ(a.started, 1);
  EXPECT_EQ(b.started, 1);
  const auto counts = cache.Count();
  EXPECT_EQ(counts.decodes, 2u);
  EXPECT_EQ(counts.resident, 2u);
  EXPECT_EQ(counts.bytes, 2 * kImageBytes);
  EXPECT_EQ(counts.evictions, 0u);
}

// Room for two images. Each row draws one frame; the columns say what the cache holds after it.
TEST(BitmapCache, DropsTheLeastRecentlyDrawnButNeverTheCurrentFrames) {
  FakeSource a(1), b(2), c(3);
  struct Step {
    Sources frame;
    bool holds_a, holds_b, holds_c;
    bool all_drawn;
  };
  const Step steps[] = {
      {{&a}, true, false, false, true},         {{&b}, true, true, false, true},
      {{&a}, true, true, false, true},           // a drawn again: b is now the older one
      {{&c}, true, false, true, true},           // b dropped
      {{&b, &c}, false, true, true, true},       // a dropped, c kept: this frame draws it
      {{&a, &b, &c}, false, true, true, false},  // no room for a third: a goes without
      {{&a}, true, true, false, true},           // c, older than b, makes room
  };
  BitmapCache cache(2 * kImageBytes);
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const Step& step = steps[i];
    cache.BeginFrame(step.frame);
    // Drawn in reverse, so that the first of a frame is the one left without room.
    bool all_drawn = true;
    for (auto it = step.frame.rbegin(); it != step.frame.rend(); ++it) {
      all_drawn = cache.Pixels(**it) != nullptr && all_drawn;
    }
    EXPECT_EQ(all_drawn, step.all_drawn);
    EXPECT_EQ(cache.Holds(a), step.holds_a);
    EXPECT_EQ(cache.Holds(b), step.holds_b);
    EXPECT_EQ(cache.Holds(c), step.holds_c);
    EXPECT_LE(cache.Count().bytes, 2 * kImageBytes);
  }
}

TEST(BitmapCache, PixelsOutliveTheirEviction) {
  BitmapCache cache(kImageBytes);
  FakeSource a(0xFF112233), b(2);
  cache.BeginFrame(Sources{&a});
  const auto held = cache.Pixels(a);
  cache.BeginFrame(Sources{&b});
  ASSERT_TRUE(cache.Pixels(b));
  EXPECT_FALSE(cache.Holds(a));
  EXPECT_EQ(held->pixels[99], 0xFF112233u);
}

TEST(BitmapCache, ADamagedImageDecodesToNothingOnce) {
  BitmapCache cache(10 * kImageBytes);
  FakeSource bad(1, 10, true), good(2);
  for (int i = 0; i < 5; ++i) {
    cache.BeginFrame(Sources{&bad, &good});
    EXPECT_FALSE(cache.Pixels(bad));
    EXPECT_TRUE(cache.Pixels(good));
  }
  EXPECT_EQ(bad.started, 1);
  const auto counts = cache.Count();
  EXPECT_EQ(counts.failures, 1u);
  EXPECT_EQ(counts.bytes, kImageBytes);  // the failed decode's room was returned
}

TEST(BitmapCache, AnImageLargerThanTheBudgetIsRefusedWithoutDroppingOthers) {
  BitmapCache cache(2 * kImageBytes);
  FakeSource a(1), huge(2, 30);
  cache.BeginFrame(Sources{&a});
  ASSERT_TRUE(cache.Pixels(a));
  cache.BeginFrame(Sources{&huge});
  EXPECT_FALSE(cache.Pixels(huge));
  EXPECT_TRUE(cache.Holds(a));
  EXPECT_EQ(huge.started, 0);
}

// Ahead of need the cache neither drops the current frame's bitmaps nor those of the same
// request, and stops where the next one does not fit.
TEST(BitmapCache, PrefetchKeepsTheFrameAndItsOwnRequest) {
  BitmapCache cache(3 * kImageBytes);
  FakeSource shown(1), old(2), next1(3), next2(4), next3(5);
  cache.BeginFrame(Sources{&old});
  ASSERT_TRUE(cache.Pixels(old));
  cache.BeginFrame(Sources{&shown});
  ASSERT_TRUE(cache.Pixels(shown));
  cache.Prefetch(Sources{&next1, &next2, &next3}, [] { return false; });
  EXPECT_TRUE(cache.Holds(shown));
  EXPECT_FALSE(cache.Holds(old));
  EXPECT_TRUE(cache.Holds(next1));
  EXPECT_TRUE(cache.Holds(next2));
  EXPECT_FALSE(cache.Holds(next3));
  EXPECT_EQ(next3.started, 0);
  // A frame that needs it still gets it, dropping what was fetched ahead.
  cache.BeginFrame(Sources{&next3});
  EXPECT_TRUE(cache.Pixels(next3));
}

TEST(BitmapCache, PrefetchStopsWhenCancelled) {
  BitmapCache cache(10 * kImageBytes);
  FakeSource a(1), b(2), c(3);
  cache.Prefetch(Sources{&a, &b, &c}, [&a] { return a.started > 0; });
  EXPECT_EQ(a.started + b.started + c.started, 1);
}

// A frame needing a bitmap the worker is decoding waits for that decode instead of repeating it.
TEST(BitmapPrefetcher, AFrameWaitsForTheDecodeUnderWay) {
  BitmapCache cache(10 * kImageBytes);
  Gate gate;
  FakeSource slow(0xFF445566, 10, false, &gate);
  BitmapPrefetcher prefetcher(cache);
  prefetcher.Request(Sources{&slow});
  ASSERT_TRUE(PollUntil([&] { return slow.started == 1; }));
  std::thread opener([&] { gate.Open(); });
  cache.BeginFrame(Sources{&slow});
  const auto pixels = cache.Pixels(slow);
  opener.join();
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->pixels[0], 0xFF445566u);
  EXPECT_EQ(slow.started, 1);
  EXPECT_TRUE(PollUntil([&] { return prefetcher.Idle(); }));
}

// The room a decode ahead holds comes back to a frame that needs it: the frame gets its bitmap.
TEST(BitmapPrefetcher, AFrameWaitsForRoomHeldByADecodeAhead) {
  BitmapCache cache(kImageBytes);
  Gate gate;
  FakeSource ahead(1, 10, false, &gate), shown(0xFF778899);
  BitmapPrefetcher prefetcher(cache);
  prefetcher.Request(Sources{&ahead});
  ASSERT_TRUE(PollUntil([&] { return ahead.started == 1; }));
  std::thread opener([&] { gate.Open(); });
  cache.BeginFrame(Sources{&shown});
  const auto pixels = cache.Pixels(shown);
  opener.join();
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->pixels[0], 0xFF778899u);
  EXPECT_TRUE(PollUntil([&] { return prefetcher.Idle(); }));
  EXPECT_FALSE(cache.Holds(ahead));
}

// Destroying the prefetcher in the middle of a long request stops it between two decodes,
// long before the request is done.
TEST(BitmapPrefetcher, DestructionStopsTheWorker) {
  BitmapCache cache(size_t{64} << 20);
  Gate gate;
  std::vector<std::unique_ptr<FakeSource>> sources;
  Sources request;
  for (uint32_t i = 0; i < 40; ++i) {
    sources.push_back(std::make_unique<FakeSource>(i, 300, false, i == 0 ? &gate : nullptr));
    request.push_back(sources.back().get());
  }
  auto prefetcher = std::make_unique<BitmapPrefetcher>(cache);
  prefetcher->Request(request);
  ASSERT_TRUE(PollUntil([&] { return sources[0]->started == 1; }));
  std::atomic<bool> destroying = false;
  std::thread destroyer([&] {
    destroying = true;
    prefetcher.reset();
  });
  ASSERT_TRUE(PollUntil([&] { return destroying.load(); }));
  gate.Open();
  destroyer.join();
  int started = 0;
  for (const auto& s : sources) started += s->started;
  EXPECT_LT(started, 40);
  EXPECT_EQ(cache.Count().decodes, static_cast<size_t>(started));
}

}  // namespace
}  // namespace lumen::stage
