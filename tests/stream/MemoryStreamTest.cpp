#include "stream/MemoryStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace lumen {
namespace {

// Delivers its bytes a few at a time, as a pipe or a decompressor may.
class DribblingStream final : public Stream {
 public:
  DribblingStream(std::vector<uint8_t> bytes, size_t step)
      : bytes_(std::move(bytes)), step_(step) {}
  size_t Read(void* buffer, size_t count) override {
    const size_t n = std::min({count, step_, bytes_.size() - at_});
    std::copy_n(bytes_.begin() + static_cast<long>(at_), n, static_cast<uint8_t*>(buffer));
    at_ += n;
    return n;
  }
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    if (origin == SeekOrigin::Begin) at_ = static_cast<size_t>(offset);
    if (origin == SeekOrigin::End) at_ = bytes_.size();
    return static_cast<int64_t>(at_);
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t step_;
  size_t at_ = 0;
};

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

std::vector<uint8_t> Contents(const MemoryStream& stream) {
  return {stream.Bytes().begin(), stream.Bytes().end()};
}

TEST(MemoryStream, WriteSeekAndReadBack) {
  MemoryStream stream;
  const std::vector<uint8_t> bytes = {1, 2, 3, 4, 5};
  stream.WriteBuffer(bytes.data(), bytes.size());
  EXPECT_EQ(stream.Size(), 5);
  EXPECT_EQ(stream.Seek(-2, SeekOrigin::End), 3);
  uint8_t two[2];
  stream.ReadBuffer(two, 2);
  EXPECT_EQ(two[0], 4);
  EXPECT_EQ(two[1], 5);
  EXPECT_EQ(stream.Read(two, 2), 0u);
  EXPECT_THROW(stream.ReadBuffer(two, 1), StreamError);
  EXPECT_THROW(stream.Seek(-1, SeekOrigin::Begin), StreamError);
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
  MemoryStream stream;
  stream.SetPosition(3);
  const uint8_t byte = 9;
  stream.WriteBuffer(&byte, 1);
  EXPECT_EQ(Contents(stream), (std::vector<uint8_t>{0, 0, 0, 9}));
}

TEST(MemoryStream, CopiesWholeSourcesThatArriveInPieces) {
  for (size_t size : {0u, 1u, 65535u, 65536u, 300001u}) {
    SCOPED_TRACE(size);
    const std::vector<uint8_t> bytes = Pattern(size);
    DribblingStream source(bytes, 4093);
    MemoryStream stream;
    EXPECT_EQ(stream.CopyFrom(source, static_cast<int64_t>(size)), static_cast<int64_t>(size));
    EXPECT_EQ(Contents(stream), bytes);
  }
}

TEST(MemoryStream, CopyFailsWhenTheSourceEndsEarly) {
  DribblingStream source(Pattern(1000), 100);
  MemoryStream stream;
  EXPECT_THROW(
      {
        try {
          stream.CopyFrom(source, 1001);
        } catch (const StreamError& error) {
          EXPECT_STREQ(error.what(), "Stream read error");
          throw;
        }
      },
      StreamError);
  EXPECT_EQ(stream.Size(), 1000);  // memory follows the bytes that came, not the count asked for
}

TEST(MemoryStream, CopyOfNothingOrANegativeCountCopiesNothing) {
  DribblingStream source(Pattern(10), 10);
  MemoryStream stream;
  EXPECT_EQ(stream.CopyFrom(source, 0), 0);
  EXPECT_EQ(stream.CopyFrom(source, -5), 0);
  EXPECT_EQ(stream.Size(), 0);
}

TEST(Stream, GenericCopyAndRemainderCopyUseTheSourcePosition) {
  MemoryStream source;
  const std::vector<uint8_t> bytes = Pattern(200000);
  source.WriteBuffer(bytes.data(), bytes.size());
  source.SetPosition(1234);
  DribblingStream dribble(bytes, 777);
  MemoryStream target;
  target.CopyRemainderFrom(source);
  EXPECT_EQ(Contents(target), std::vector<uint8_t>(bytes.begin() + 1234, bytes.end()));
}

}  // namespace
}  // namespace lumen
