// The header reader over a whole file's bytes: any input must load or fail with StreamError.
#include <cstddef>
#include <cstdint>

#include "stream/MemoryStream.h"
#include "swf/SWFStreamReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lumen::MemoryStream file;
  file.WriteBuffer(data, size);
  lumen::TSWFStreamReader reader;
  try {
    reader.LoadFromStream(file);
  } catch (const lumen::StreamError&) {
    return 0;
  }
  // Every query is defined after any load.
  volatile int32_t sink = reader.MovieWidth() + reader.MovieHeight() + reader.Head().FrameRate;
  (void)sink;
  return 0;
}
