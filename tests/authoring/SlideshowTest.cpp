#include "authoring/Slideshow.h"

#include <gtest/gtest.h>

#include <map>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_image.h>
#pragma GCC diagnostic pop

#include "stream/MemoryStream.h"
#include "swf/SWFStreamReader.h"

namespace lumen::authoring {
namespace {

struct Tag {
  uint16_t code;
  std::span<const uint8_t> body;
};

// Walks the tags of a body, failing the test on any tag that runs past the end.
std::vector<Tag> Tags(std::span<const uint8_t> body) {
  std::vector<Tag> tags;
  size_t at = 0;
  while (at + 2 <= body.size()) {
    const uint16_t head = static_cast<uint16_t>(body[at] | body[at + 1] << 8);
    at += 2;
    size_t length = head & 0x3F;
    if (length == 0x3F) {
      EXPECT_LE(at + 4, body.size());
      length = body[at] | body[at + 1] << 8 | body[at + 2] << 16 | size_t{body[at + 3]} << 24;
      at += 4;
    }
    EXPECT_LE(at + length, body.size()) << "tag " << (head >> 6) << " runs past the end";
    if (at + length > body.size()) break;
    tags.push_back({static_cast<uint16_t>(head >> 6), body.subspan(at, length)});
    at += length;
    if (head >> 6 == 0) break;
  }
  EXPECT_EQ(at, body.size()) << "bytes after the End tag";
  return tags;
}

// The movie as the header reader sees it; the body holds the tags.
std::unique_ptr<TSWFStreamReader> Read(const SlideshowSpec& spec) {
  const auto movie = BuildSlideshow(spec);
  MemoryStream file;
  file.WriteBuffer(movie.data(), movie.size());
  auto reader = std::make_unique<TSWFStreamReader>();
  reader->LoadFromStream(file);
  return reader;
}

TEST(Slideshow, MovieIsWellFormedAndCountsItsFrames) {
  SlideshowSpec spec;
  spec.width = 320;
  spec.height = 240;
  spec.slides = 4;
  spec.still_frames = 10;
  spec.transition_frames = 6;
  const auto reader = Read(spec);
  ASSERT_TRUE(reader->HeadValid());
  EXPECT_TRUE(reader->Compressed());
  EXPECT_EQ(reader->MovieWidth(), 320);
  EXPECT_EQ(reader->MovieHeight(), 240);
  EXPECT_EQ(reader->Head().FrameRate, 24);

  std::map<uint16_t, int> counts;
  for (const Tag& tag : Tags(reader->Body()->Bytes())) ++counts[tag.code];
  EXPECT_EQ(counts[1], reader->Head().FrameCount);
  EXPECT_EQ(counts[1], 4 * (10 + 6));
  EXPECT_EQ(counts[0], 1);
  EXPECT_EQ(counts[21], 4);  // one JPEG per slide
}

TEST(Slideshow, PhotosAreJpegsOfTheStageSize) {
  SlideshowSpec spec;
  spec.width = 200;
  spec.height = 150;
  spec.slides = 5;
  spec.still_frames = 2;
  spec.transition_frames = 2;
  spec.compressed = false;
  const auto reader = Read(spec);
  int photos = 0;
  for (const Tag& tag : Tags(reader->Body()->Bytes())) {
    if (tag.code != 21) continue;
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(
        tag.body.data() + 2, static_cast<int>(tag.body.size() - 2), &width, &height, &channels, 3);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 150);
    // A painted landscape, not a flat fill: the picture's corners differ.
    const stbi_uc* top_left = pixels;
    const stbi_uc* bottom_right = pixels + (width * height - 1) * 3;
    EXPECT_GT(std::abs(top_left[0] - bottom_right[0]) + std::abs(top_left[1] - bottom_right[1]) +
                  std::abs(top_left[2] - bottom_right[2]),
              30);
    stbi_image_free(pixels);
    ++photos;
  }
  EXPECT_EQ(photos, 5);
}

}  // namespace
}  // namespace lumen::authoring
