#pragma once

#include <cstdint>
#include <span>

#include "stream/Stream.h"

namespace lumen {

// A growable in-memory byte stream. Capacity grows geometrically with the bytes written, never
// ahead of them, so a lying length cannot make it reserve memory.
class MemoryStream final : public Stream {
 public:
  MemoryStream() = default;
  ~MemoryStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(size_); }
  // Reads straight into the buffer, so an inflating source writes its output only once.
  int64_t CopyFrom(Stream& source, int64_t count) override;

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }
  void Clear();

 private:
  // Makes room for at least `needed` bytes; throws "Out of memory" when it cannot.
  void Reserve(size_t needed);

  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
  size_t position_ = 0;
};

}  // namespace lumen
