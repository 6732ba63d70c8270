#include <windows.h>

#include "stream/FileStream.h"
#include "stream/SystemMessage.h"

namespace lumen {

namespace {

HANDLE Handle(intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

}  // namespace

FileStream::FileStream(const std::filesystem::path& path, FileMode mode) {
  const bool create = mode == FileMode::Create;
  const DWORD access = create ? GENERIC_WRITE : GENERIC_READ;
  const DWORD share =
      mode == FileMode::ReadShared ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  const DWORD disposition = create ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    const char* verb = create ? "create" : "open";
    throw StreamError(std::string("Cannot ") + verb + " file \"" + DisplayPath(path) + "\". " +
                      SystemMessage(error));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
}

FileStream::~FileStream() {
  CloseHandle(Handle(handle_));
}

size_t FileStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(Handle(handle_), out + done, chunk, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

size_t FileStream::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(Handle(handle_), in + done, chunk, &put, nullptr) || put == 0) break;
    done += put;
  }
  return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
  const DWORD method = origin == SeekOrigin::Begin ? FILE_BEGIN
                       : origin == SeekOrigin::End ? FILE_END
                                                   : FILE_CURRENT;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER at;
  if (!SetFilePointerEx(Handle(handle_), distance, &at, method)) {
    throw StreamError("Stream seek error");
  }
  return at.QuadPart;
}

}  // namespace lumen
