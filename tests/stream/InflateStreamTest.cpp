#include "stream/InflateStream.h"

#include <gtest/gtest.h>

#include <vector>

#include "authoring/SwfWriter.h"
#include "stream/MemoryStream.h"

namespace lumen {
namespace {

std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> bytes(n);
  for (auto& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24 & 0x0F);  // compressible, not trivially
  }
  return bytes;
}

void Fill(MemoryStream& stream, const std::vector<uint8_t>& bytes) {
  stream.WriteBuffer(bytes.data(), bytes.size());
  stream.SetPosition(0);
}

TEST(InflateStream, InflatesAcrossManyInputBlocks) {
  const std::vector<uint8_t> plain = Noise(1 << 20, 42);
  MemoryStream packed;
  Fill(packed, authoring::Deflate(plain));
  InflateStream view(packed);
  MemoryStream out;
  out.CopyFrom(view, static_cast<int64_t>(plain.size()));
  EXPECT_EQ(std::vector<uint8_t>(out.Bytes().begin(), out.Bytes().end()), plain);
  EXPECT_EQ(view.Position(), static_cast<int64_t>(plain.size()));
  uint8_t more;
  EXPECT_EQ(view.Read(&more, 1), 0u);  // the zlib stream has ended
}

TEST(InflateStream, StartsAtTheSourcePositionAndStopsAtTheStreamEnd) {
  const std::vector<uint8_t> plain = {'h', 'e', 'a', 'd'};
  std::vector<uint8_t> file = {'x', 'y', 'z'};
  const auto packed = authoring::Deflate(plain);
  file.insert(file.end(), packed.begin(), packed.end());
  file.insert(file.end(), {9, 9, 9});
  MemoryStream source;
  Fill(source, file);
  source.SetPosition(3);
  InflateStream view(source);
  uint8_t out[16];
  EXPECT_EQ(view.Read(out, sizeof out), plain.size());
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), plain);
}

TEST(InflateStream, TruncatedInputDeliversWhatItHas) {
  const std::vector<uint8_t> plain = Noise(100000, 7);
  auto packed = authoring::Deflate(plain);
  packed.resize(packed.size() / 2);
  MemoryStream source;
  Fill(source, packed);
  InflateStream view(source);
  std::vector<uint8_t> out(plain.size());
  const size_t got = view.Read(out.data(), out.size());
  EXPECT_GT(got, 0u);
  EXPECT_LT(got, plain.size());
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<long>(got), plain.begin()));
}

TEST(InflateStream, CorruptDataRaisesZlibsText) {
  MemoryStream source;
  Fill(source, {0x78, 0x9C, 0xFF, 0xFF, 0xFF});
  InflateStream view(source);
  uint8_t out[8];
  try {
    view.Read(out, sizeof out);
    FAIL() << "no error";
  } catch (const StreamError& error) {
    EXPECT_STREQ(error.what(), "data error");
  }
}

TEST(InflateStream, CannotSeekOrTellItsSize) {
  MemoryStream source;
  InflateStream view(source);
  EXPECT_EQ(view.Position(), 0);
  EXPECT_THROW(view.Seek(0, SeekOrigin::Begin), StreamError);
  EXPECT_THROW(view.Size(), StreamError);
}

}  // namespace
}  // namespace lumen
