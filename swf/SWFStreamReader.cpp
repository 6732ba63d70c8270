#include "swf/SWFStreamReader.h"

#include <algorithm>
#include <cstring>

#include "stream/FileStream.h"
#include "stream/InflateStream.h"

namespace lumen {

namespace {
constexpr int32_t kTwipsPerPixel = 20;
constexpr int32_t kFixedPartSize = 8;
}  // namespace

TSWFStreamReader::TSWFStreamReader() {
  head_.Version = 8;
}

TSWFStreamReader::TSWFStreamReader(const std::filesystem::path& fileName) : TSWFStreamReader() {
  if (!fileName.empty()) LoadFromFile(fileName);
}

void TSWFStreamReader::LoadFromFile(const std::filesystem::path& fileName) {
  FileStream file(fileName, FileMode::ReadExclusive);
  LoadFromStream(file);
}

bool TSWFStreamReader::CheckSignature(Stream& stream) {
  bool recognised = false;
  if (stream.Size() > 3) {
    stream.SetPosition(0);
    char text[3] = {0, 0, 0};
    stream.Read(text, sizeof text);
    signature_text_.assign(text, sizeof text);
    if (signature_text_ == "FWS" || signature_text_ == "CWS") {
      compressed_ = signature_text_ == "CWS";
      recognised = true;
    }
  }
  head_valid_ = recognised;
  return recognised;
}

void TSWFStreamReader::LoadFromStream(Stream& stream) {
  if (!CheckSignature(stream)) return;
  stream.SetPosition(0);
  if (!compressed_) {
    ReadHead(stream, HeadWhole);
    GetBody().CopyRemainderFrom(stream);
  } else {
    ReadHead(stream, HeadFixed);
    LoadCompressedBody(stream);
  }
}

void TSWFStreamReader::LoadCompressedBody(Stream& stream) {
  // A declared length that cannot even hold the fixed part promises nothing to inflate.
  const int64_t count = static_cast<int64_t>(head_.FileLength) - kFixedPartSize;
  if (count <= 0) throw StreamError(kStreamReadError);
  InflateStream view(stream);
  // The frame part is inflated on its own and the rest straight into the body, so the movie is
  // held once, not twice, and memory grows only with the bytes that really come out of zlib.
  MemoryStream frame_part;
  frame_part.CopyFrom(view, 1);
  const int64_t rect_bits = 5 + 4 * (frame_part.Bytes()[0] >> 3);
  const int64_t frame_part_size = std::min<int64_t>(count, (rect_bits + 7) / 8 + 4);
  frame_part.CopyFrom(view, frame_part_size - 1);
  frame_part.SetPosition(0);
  ReadHead(frame_part, HeadFrame);
  GetBody().CopyFrom(view, count - frame_part_size);
}

int32_t TSWFStreamReader::ReadHead(Stream& stream, uint8_t mode) {
  if (mode != HeadWhole && mode != HeadFixed && mode != HeadFrame) return 0;
  const int64_t start = stream.Position();
  if (mode != HeadFrame) ReadFixedPart(stream);
  if (mode != HeadFixed) ReadFramePart(stream);
  return static_cast<int32_t>(stream.Position() - start);
}

void TSWFStreamReader::ReadFixedPart(Stream& stream) {
  // One 8-byte read; bytes missing at the end of a short file read as 0.
  uint8_t bytes[kFixedPartSize] = {};
  stream.Read(bytes, sizeof bytes);
  std::memcpy(head_.Signature, bytes, 3);
  head_.Version = bytes[3];
  head_.FileLength = static_cast<int32_t>(static_cast<uint32_t>(bytes[4]) | bytes[5] << 8 |
                                          bytes[6] << 16 | static_cast<uint32_t>(bytes[7]) << 24);
}

void TSWFStreamReader::ReadFramePart(Stream& stream) {
  TBitsEngine bits(stream);
  bits.ReadFrameRect(head_.FrameRect);
  stream.Seek(1, SeekOrigin::Current);  // the fraction byte of the frame rate
  head_.FrameRate = static_cast<uint16_t>(bits.ReadRawByte());
  head_.FrameCount = bits.ReadRawWord();
}

MemoryStream& TSWFStreamReader::GetBody() {
  if (!body_) body_ = std::make_unique<MemoryStream>();
  return *body_;
}

int32_t TSWFStreamReader::MovieWidth() const {
  const TRect& r = head_.FrameRect;
  return static_cast<int32_t>((static_cast<int64_t>(r.right) - r.left) / kTwipsPerPixel);
}

int32_t TSWFStreamReader::MovieHeight() const {
  const TRect& r = head_.FrameRect;
  return static_cast<int32_t>((static_cast<int64_t>(r.bottom) - r.top) / kTwipsPerPixel);
}

}  // namespace lumen
