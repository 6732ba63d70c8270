#include "swf/BitsEngine.h"

#include <gtest/gtest.h>

#include <vector>

#include "stream/MemoryStream.h"

namespace lumen {
namespace {

class BitsEngineTest : public ::testing::Test {
 protected:
  TBitsEngine& On(std::vector<uint8_t> bytes) {
    stream_.WriteBuffer(bytes.data(), bytes.size());
    stream_.SetPosition(0);
    return engine_;
  }
  int64_t Taken() { return stream_.Position(); }

  MemoryStream stream_;
  TBitsEngine engine_{stream_};
};

TEST_F(BitsEngineTest, ZeroOrNegativeWidthReadsNothing) {
  TBitsEngine& bits = On({0xFF});
  EXPECT_EQ(bits.ReadUnsigned(0), 0u);
  EXPECT_EQ(bits.ReadUnsigned(-3), 0u);
  EXPECT_EQ(bits.ReadSigned(0), 0);
  EXPECT_EQ(Taken(), 0);
  EXPECT_EQ(bits.PendingCount(), 0);
}

TEST_F(BitsEngineTest, FieldsRunAcrossByteBoundaries) {
  TBitsEngine& bits = On({0xB5, 0x80});
  EXPECT_EQ(bits.ReadUnsigned(3), 5u);
  EXPECT_EQ(bits.ReadUnsigned(7), 86u);
  EXPECT_EQ(Taken(), 2);
  EXPECT_EQ(bits.PendingCount(), 6);
  EXPECT_EQ(bits.PendingBits(), 0);
}

TEST_F(BitsEngineTest, ReadEndingOnByteBoundaryDoesNotTouchNextByte) {
  TBitsEngine& bits = On({0xAB, 0xCD});
  EXPECT_EQ(bits.ReadUnsigned(8), 0xABu);
  EXPECT_EQ(Taken(), 1);
  EXPECT_EQ(bits.PendingCount(), 0);
  EXPECT_EQ(bits.PendingBits(), 0);
}

struct SignedCase {
  uint8_t byte;
  int32_t first;
  int32_t second;
};

class SignedNibbles : public BitsEngineTest, public ::testing::WithParamInterface<SignedCase> {};

TEST_P(SignedNibbles, SignExtendsFromTheFieldWidth) {
  TBitsEngine& bits = On({GetParam().byte});
  EXPECT_EQ(bits.ReadSigned(4), GetParam().first);
  EXPECT_EQ(bits.ReadSigned(4), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Bytes, SignedNibbles,
                         ::testing::Values(SignedCase{0xF0, -1, 0}, SignedCase{0x87, -8, 7},
                                           SignedCase{0x7F, 7, -1}));

TEST_F(BitsEngineTest, WideSignedAndUnsignedFields) {
  TBitsEngine& bits = On({0x80, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
  EXPECT_EQ(bits.ReadSigned(32), INT32_MIN);
  EXPECT_EQ(bits.ReadUnsigned(32), 0xFFFFFFFFu);
}

TEST_F(BitsEngineTest, ThirtyTwoBitsAfterThreePendingTakesFourMoreBytes) {
  TBitsEngine& bits = On({0xA0, 0x12, 0x34, 0x56, 0x78});
  EXPECT_EQ(bits.ReadUnsigned(5), 0x14u);  // 10100, leaves 000 pending
  EXPECT_EQ(bits.PendingCount(), 3);
  // 000 then 29 bits of 12 34 56 78: the pending bits are the top bits.
  EXPECT_EQ(bits.ReadUnsigned(32), 0x12345678u >> 3);
  EXPECT_EQ(Taken(), 5);
  EXPECT_EQ(bits.PendingCount(), 3);
  EXPECT_EQ(bits.PendingBits(), 0x78 & 0x7);
}

TEST_F(BitsEngineTest, RawReadsBypassPendingBits) {
  TBitsEngine& bits = On({0xB5, 0x42, 0x34, 0x12});
  EXPECT_EQ(bits.ReadUnsigned(3), 5u);
  EXPECT_EQ(bits.ReadRawByte(), 0x42u);
  EXPECT_EQ(bits.ReadUnsigned(5), 0x15u);  // the rest of B5
  EXPECT_EQ(bits.ReadRawWord(), 0x1234u);
}

TEST_F(BitsEngineTest, MissingBytesReadAsZero) {
  TBitsEngine& bits = On({0x12});
  EXPECT_EQ(bits.ReadRawWord(), 0x0012u);
  EXPECT_EQ(bits.ReadRawByte(), 0u);
  EXPECT_EQ(bits.ReadUnsigned(12), 0u);
}

TEST_F(BitsEngineTest, RectangleOfWidthZeroTakesOneByte) {
  TBitsEngine& bits = On({0x00, 0x99});
  TRect rect{1, 2, 3, 4};
  bits.ReadFrameRect(rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.right, 0);
  EXPECT_EQ(rect.bottom, 0);
  EXPECT_EQ(Taken(), 1);
}

TEST_F(BitsEngineTest, RectangleIsStoredLeftTopRightBottom) {
  TBitsEngine& bits = On({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0xEE});
  TRect rect;
  bits.ReadFrameRect(rect);
  EXPECT_EQ(rect.left, 0);
  EXPECT_EQ(rect.right, 11000);
  EXPECT_EQ(rect.top, 0);
  EXPECT_EQ(rect.bottom, 8000);
  EXPECT_EQ(Taken(), 9);
  EXPECT_EQ(bits.PendingCount(), 0);
  EXPECT_EQ(bits.PendingBits(), 0);
}

TEST_F(BitsEngineTest, RectangleFieldOrderIsXMinXMaxYMinYMax) {
  // N = 4: XMin 1, XMax 2, YMin 3, YMax -1 -> 00100 0001 0010 0011 1111 (+3 padding bits)
  TBitsEngine& bits = On({0x20, 0x91, 0xFC});
  TRect rect;
  bits.ReadFrameRect(rect);
  EXPECT_EQ(rect.left, 1);
  EXPECT_EQ(rect.right, 2);
  EXPECT_EQ(rect.top, 3);
  EXPECT_EQ(rect.bottom, -1);
  EXPECT_EQ(Taken(), 3);
}

}  // namespace
}  // namespace lumen
