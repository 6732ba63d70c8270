#include "stream/MemoryStream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace lumen {

namespace {
constexpr size_t kMinCapacity = 64 * 1024;
constexpr size_t kMaxSize = static_cast<size_t>(std::numeric_limits<std::ptrdiff_t>::max());
}  // namespace

MemoryStream::~MemoryStream() {
  std::free(data_);
}

void MemoryStream::Clear() {
  std::free(data_);
  data_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

void MemoryStream::Reserve(size_t needed) {
  if (needed <= capacity_) return;
  if (needed > kMaxSize) throw StreamError("Out of memory");
  size_t grown = capacity_ < kMaxSize / 2 ? capacity_ * 2 : kMaxSize;
  const size_t capacity = std::max({needed, grown, kMinCapacity});
  // realloc lets large blocks grow in place or by remapping, without copying every byte again.
  auto* data = static_cast<uint8_t*>(std::realloc(data_, capacity));
  if (data == nullptr) throw StreamError("Out of memory");
  data_ = data;
  capacity_ = capacity;
}

size_t MemoryStream::Read(void* buffer, size_t count) {
  if (position_ >= size_) return 0;
  const size_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

size_t MemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (count > kMaxSize - position_) throw StreamError("Out of memory");
  const size_t end = position_ + count;
  Reserve(end);
  if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
  std::memcpy(data_ + position_, buffer, count);
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<int64_t>(position_);
  if (origin == SeekOrigin::End) base = static_cast<int64_t>(size_);
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0 ||
      static_cast<uint64_t>(target) > kMaxSize) {
    throw StreamError("Stream seek error");
  }
  position_ = static_cast<size_t>(target);
  return target;
}

int64_t MemoryStream::CopyFrom(Stream& source, int64_t count) {
  if (count <= 0) return 0;
  if (static_cast<uint64_t>(count) > kMaxSize - position_) throw StreamError("Out of memory");
  if (position_ > size_) {
    Reserve(position_);
    std::memset(data_ + size_, 0, position_ - size_);
    size_ = position_;
  }
  size_t left = static_cast<size_t>(count);
  while (left > 0) {
    if (position_ == capacity_) Reserve(position_ + 1);
    const size_t room = std::min(left, capacity_ - position_);
    const size_t got = source.Read(data_ + position_, room);
    if (got == 0) throw StreamError(kStreamReadError);
    position_ += got;
    size_ = std::max(size_, position_);
    left -= got;
  }
  return count;
}

}  // namespace lumen
