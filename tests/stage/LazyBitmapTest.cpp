// Bitmaps decoded when drawn, through the whole chain: movie bytes, player state, renderer.
#include <gtest/gtest.h>

#include <vector>

#include "authoring/PictureArt.h"
#include "authoring/Slideshow.h"
#include "authoring/SwfWriter.h"
#include "tools/reelrender/MovieRunner.h"

namespace lumen::stage {
namespace {

using authoring::Bytes;

constexpr int kWidth = 160, kHeight = 120;
constexpr size_t kPhotoBytes = size_t{kWidth} * kHeight * 4;

std::shared_ptr<const movie::Movie> Slideshow(int slides) {
  authoring::SlideshowSpec spec;
  spec.width = kWidth;
  spec.height = kHeight;
  spec.slides = slides;
  spec.still_frames = 3;
  spec.transition_frames = 2;
  spec.captions = false;
  movie::LoadResult loaded = movie::LoadMovie(authoring::BuildSlideshow(spec));
  EXPECT_TRUE(loaded.movie) << loaded.error;
  return loaded.movie;
}

std::vector<uint32_t> Pixels(const raster::Pixmap& pixmap) {
  std::vector<uint32_t> out;
  for (int y = 0; y < pixmap.Height(); ++y) {
    out.insert(out.end(), pixmap.Row(y), pixmap.Row(y) + pixmap.Width());
  }
  return out;
}

TEST(LazyBitmaps, LoadingDecodesNoPhotoAndAFrameOnlyItsOwn) {
  const auto movie = Slideshow(12);
  ASSERT_TRUE(movie);
  size_t photos = 0;
  for (const auto& [id, character] : movie->Characters()) photos += character.bitmap ? 1 : 0;
  EXPECT_EQ(photos, 12u);
  tools::MovieRunner runner(movie, {});
  EXPECT_EQ(runner.Bitmaps().Count().decodes, 0u);
  EXPECT_EQ(runner.Bitmaps().Count().bytes, 0u);
  runner.Draw();
  EXPECT_EQ(runner.Bitmaps().Count().decodes, 1u);
  EXPECT_EQ(runner.Bitmaps().Count().bytes, kPhotoBytes);
}

// A budget of two and a half photos: photos are dropped and decoded again as the show loops,
// and every frame comes out as it does with all photos held.
TEST(LazyBitmaps, ABudgetSmallerThanThePhotosDrawsEveryFrameTheSame) {
  const auto movie = Slideshow(6);
  ASSERT_TRUE(movie);
  tools::RunOptions roomy, tight;
  tight.bitmap_bytes = kPhotoBytes * 5 / 2;
  tools::MovieRunner all(movie, roomy), few(movie, tight);
  const size_t frames = movie->root.frames.size() * 3 / 2;
  for (size_t frame = 1; frame <= frames; ++frame) {
    const auto expected = Pixels(all.Draw());
    ASSERT_EQ(Pixels(few.Draw()), expected) << "frame " << frame;
    EXPECT_LE(few.Bitmaps().Count().bytes, tight.bitmap_bytes);
    all.Advance();
    few.Advance();
  }
  EXPECT_EQ(all.Bitmaps().Count().decodes, 6u);
  EXPECT_EQ(all.Bitmaps().Count().evictions, 0u);
  EXPECT_GT(few.Bitmaps().Count().evictions, 0u);
  EXPECT_GT(few.Bitmaps().Count().decodes, 6u);
}

// The size reads, the scan data does not: the photo paints nothing, frame after frame, and is
// not decoded again.
TEST(LazyBitmaps, ADamagedPhotoPaintsNothingAndIsTriedOnce) {
  Bytes jpeg = authoring::EncodeJpeg(authoring::PaintScene(0, 16, 16), 85);
  for (size_t i = 2; i + 21 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) {
      for (size_t k = 0; k < 16; ++k) jpeg[i + 5 + k] = 0x20;  // 512 codes in one table
      break;
    }
  }
  Bytes tags;
  authoring::SetBackgroundColor(tags, {0, 0, 255, 255});
  Bytes body = {1, 0};
  body.insert(body.end(), jpeg.begin(), jpeg.end());
  authoring::WriteTag(tags, 21, body);  // DefineBitsJPEG2
  authoring::PlaceObject(tags, 1, 1);
  for (int i = 0; i < 4; ++i) authoring::ShowFrame(tags);
  authoring::End(tags);
  const auto loaded = movie::LoadMovie(authoring::BuildMovie({}, tags));
  ASSERT_TRUE(loaded.movie);
  ASSERT_TRUE(loaded.movie->Find(1)->shape);
  tools::MovieRunner runner(loaded.movie, {});
  for (int frame = 0; frame < 4; ++frame) {
    for (const uint32_t pixel : Pixels(runner.Draw())) ASSERT_EQ(pixel, 0xFF0000FFu);
    runner.Advance();
  }
  EXPECT_EQ(runner.Bitmaps().Count().failures, 1u);
  EXPECT_EQ(runner.Bitmaps().Count().decodes, 0u);
}

}  // namespace
}  // namespace lumen::stage
