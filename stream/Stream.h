#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumen {

// Failure of a stream operation; the message is the text shown to the user.
class StreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class SeekOrigin { Begin, Current, End };

// A readable, seekable sequence of bytes with a 64-bit size and position.
class Stream {
 public:
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  virtual ~Stream() = default;

  // Reads up to `count` bytes and answers how many arrived; 0 at the end.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes `count` bytes and answers how many were written; read-only streams write nothing.
  virtual size_t Write(const void* buffer, size_t count);
  // Moves the position and answers the new one.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, SeekOrigin::Begin); }

  // Like Read and Write, but anything short of `count` bytes fails with "Stream read error" or
  // "Stream write error".
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);

  // Copies `count` bytes from the current position of `source` to this stream; fails with
  // "Stream read error" when the source ends first. Answers the number of bytes copied.
  virtual int64_t CopyFrom(Stream& source, int64_t count);
  // Copies from the current position of `source` to its end.
  int64_t CopyRemainderFrom(Stream& source);
};

inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kStreamWriteError = "Stream write error";

}  // namespace lumen
