#include "stream/InflateStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace lumen {

namespace {
constexpr const char* kInvalidOperation = "Invalid stream operation";
}

InflateStream::InflateStream(Stream& source) : source_(source), zs_(std::make_unique<z_stream>()) {
  const int rc = inflateInit(zs_.get());
  if (rc != Z_OK) throw StreamError(zError(rc));
}

InflateStream::~InflateStream() {
  inflateEnd(zs_.get());
}

bool InflateStream::FillInput() {
  if (source_ended_) return false;
  const size_t got = source_.Read(input_.data(), input_.size());
  if (got == 0) {
    source_ended_ = true;
    return false;
  }
  zs_->next_in = input_.data();
  zs_->avail_in = static_cast<uInt>(got);
  return true;
}

size_t InflateStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < count && !stream_ended_) {
    if (zs_->avail_in == 0 && !FillInput()) break;
    const size_t room = std::min<size_t>(count - done, std::numeric_limits<uInt>::max());
    zs_->next_out = out + done;
    zs_->avail_out = static_cast<uInt>(room);
    const int rc = inflate(zs_.get(), Z_NO_FLUSH);
    done += room - zs_->avail_out;
    if (rc == Z_STREAM_END) {
      stream_ended_ = true;
    } else if (rc == Z_BUF_ERROR) {
      // No progress without more input: the loop fetches it, or stops at the source's end.
      if (zs_->avail_in != 0) break;
    } else if (rc != Z_OK) {
      throw StreamError(zError(rc));
    }
  }
  produced_ += static_cast<int64_t>(done);
  return done;
}

int64_t InflateStream::Seek(int64_t offset, SeekOrigin origin) {
  if (offset == 0 && origin == SeekOrigin::Current) return produced_;
  throw StreamError(kInvalidOperation);
}

int64_t InflateStream::Size() {
  throw StreamError(kInvalidOperation);
}

}  // namespace lumen
