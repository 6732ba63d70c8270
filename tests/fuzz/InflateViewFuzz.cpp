// The decompressing view over arbitrary bytes, read in uneven pieces up to an output cap.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream/InflateStream.h"
#include "stream/MemoryStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  lumen::MemoryStream source;
  source.WriteBuffer(data + 1, size - 1);
  source.SetPosition(0);
  const size_t piece = 1 + data[0];
  std::vector<uint8_t> out(piece);
  size_t total = 0;
  try {
    lumen::InflateStream view(source);
    while (total < (16u << 20)) {
      const size_t got = view.Read(out.data(), out.size());
      if (got == 0) break;
      total += got;
    }
  } catch (const lumen::StreamError&) {
  }
  return 0;
}
