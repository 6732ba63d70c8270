#pragma once

#include <array>
#include <memory>

#include "stream/Stream.h"

struct z_stream_s;

namespace lumen {

// A read-only view that inflates the zlib stream starting at the current position of `source`,
// on demand. Borrows the source. Errors carry zlib's text for the returned code ("data error",
// "need dictionary", ...); the end of the compressed data simply ends the view.
class InflateStream final : public Stream {
 public:
  explicit InflateStream(Stream& source);
  ~InflateStream() override;

  size_t Read(void* buffer, size_t count) override;
  // Only asking for the position is supported: the view cannot go back.
  int64_t Seek(int64_t offset, SeekOrigin origin) override;
  int64_t Size() override;

 private:
  bool FillInput();

  Stream& source_;
  std::unique_ptr<z_stream_s> zs_;
  std::array<unsigned char, 64 * 1024> input_{};
  int64_t produced_ = 0;
  bool source_ended_ = false;
  bool stream_ended_ = false;
};

}  // namespace lumen
