#include "stream/Stream.h"

#include <algorithm>
#include <array>

namespace lumen {

size_t Stream::Write(const void*, size_t) {
  return 0;
}

int64_t Stream::Size() {
  const int64_t saved = Position();
  const int64_t end = Seek(0, SeekOrigin::End);
  Seek(saved, SeekOrigin::Begin);
  return end;
}

void Stream::ReadBuffer(void* buffer, size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const size_t got = Read(out + done, count - done);
    if (got == 0) throw StreamError(kStreamReadError);
    done += got;
  }
}

void Stream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw StreamError(kStreamWriteError);
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
  constexpr size_t kBlock = 64 * 1024;
  std::array<unsigned char, kBlock> block;
  int64_t left = std::max<int64_t>(count, 0);
  while (left > 0) {
    const size_t chunk = static_cast<size_t>(std::min<int64_t>(left, kBlock));
    source.ReadBuffer(block.data(), chunk);
    WriteBuffer(block.data(), chunk);
    left -= static_cast<int64_t>(chunk);
  }
  return std::max<int64_t>(count, 0);
}

int64_t Stream::CopyRemainderFrom(Stream& source) {
  return CopyFrom(source, source.Size() - source.Position());
}

}  // namespace lumen
