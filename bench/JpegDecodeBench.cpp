// Times the decode of a 1920 x 1080 photo as a movie's bitmap tags carry it, through the same
// path (marker repair, table checks, decode, pixel packing) the movie loader uses.
//   bench_jpeg_decode [RUNS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/BitmapDecoder.h"

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// Smooth shading with fine grain, which compresses about as well as a photo does.
std::vector<uint8_t> PhotoLikeJpeg(int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int grain = static_cast<int>(seed >> 28) - 8;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(
          std::clamp(128 + static_cast<int>(100 * std::sin(x * 0.004)) + grain, 0, 255));
      p[1] = static_cast<uint8_t>(std::clamp(y * 255 / h + grain, 0, 255));
      p[2] = static_cast<uint8_t>(
          std::clamp(128 + static_cast<int>(90 * std::cos((x + y) * 0.003)) + grain, 0, 255));
    }
  }
  std::vector<uint8_t> jpeg;
  stbi_write_jpg_to_func(Append, &jpeg, w, h, 3, rgb.data(), 85);
  return jpeg;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const std::vector<uint8_t> jpeg = PhotoLikeJpeg(1920, 1080);
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const auto bitmap = lumen::codec::DecodeImage(jpeg, {});
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (!bitmap) {
      std::fputs("bench_jpeg_decode: the test photo did not decode\n", stderr);
      return 1;
    }
    ms.push_back(took.count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf("jpeg_decode_1920x1080: %.1f ms median of %d (file %zu KB)\n", ms[ms.size() / 2],
              runs, jpeg.size() / 1024);
  return 0;
}
