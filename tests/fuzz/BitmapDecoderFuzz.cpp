// The bitmap decoders. The first byte picks one: 0 a JPEG/PNG/GIF stream, 1 a JPEG with a zlib
// alpha plane (split at the next byte's position), 2 a lossless bitmap whose head comes from
// the next six bytes, 3 a JPEG split into tables and image. Streams are sized first, as the
// movie does when it loads, and decoded only when their size reads, as when a frame draws them.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/BitmapDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  const std::span<const uint8_t> rest(data + 2, size - 2);
  const size_t split = data[1] * rest.size() / 256;
  switch (data[0] % 4) {
    case 0:
      if (lumen::codec::ReadImageSize({}, rest)) lumen::codec::DecodeImage(rest, {});
      break;
    case 1:
      if (lumen::codec::ReadImageSize({}, rest.first(split))) {
        lumen::codec::DecodeImage(rest.first(split), rest.subspan(split));
      }
      break;
    case 2: {
      lumen::codec::LosslessHead head;
      head.format = data[1] % 8;
      head.width = data[2] | data[3] << 8;
      head.height = data[4] | data[5] << 8;
      head.palette_size = data[6] + 1;
      head.alpha = data[7] & 1;
      lumen::codec::DecodeLossless(head, std::span(data + 8, size - 8));
      break;
    }
    default:
      if (lumen::codec::ReadImageSize(rest.first(split), rest.subspan(split))) {
        lumen::codec::DecodeJpegWithTables(rest.first(split), rest.subspan(split));
      }
      break;
  }
  return 0;
}
