#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stream/FileStream.h"

namespace lumen {

namespace {

int OpenFlags(FileMode mode) {
  return mode == FileMode::Create ? O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC : O_RDONLY | O_CLOEXEC;
}

}  // namespace

FileStream::FileStream(const std::filesystem::path& path, FileMode mode) {
  const int fd = ::open(path.c_str(), OpenFlags(mode), 0644);
  if (fd < 0) {
    const char* verb = mode == FileMode::Create ? "create" : "open";
    throw StreamError(std::string("Cannot ") + verb + " file \"" + DisplayPath(path) + "\". " +
                      std::strerror(errno));
  }
  handle_ = fd;
}

FileStream::~FileStream() {
  ::close(static_cast<int>(handle_));
}

size_t FileStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::read(static_cast<int>(handle_), out + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

size_t FileStream::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t put = ::write(static_cast<int>(handle_), in + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  const int whence = origin == SeekOrigin::Begin ? SEEK_SET
                     : origin == SeekOrigin::End ? SEEK_END
                                                 : SEEK_CUR;
  const off_t at = ::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence);
  if (at < 0) throw StreamError("Stream seek error");
  return static_cast<int64_t>(at);
}

}  // namespace lumen
