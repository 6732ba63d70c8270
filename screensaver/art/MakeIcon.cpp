// Draws the saver's icon, a film reel, and writes it as an .ico file with 48, 32, 24 and 16 pixel
// images of 32 bits (straight alpha). Built and run on the build machine.
//   make-icon <out.ico>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;
};

// The reel in unit coordinates (0..1 across the icon): a rim, a face with five windows, a hub.
Rgba Sample(double x, double y) {
  const double dx = x - 0.5, dy = y - 0.5;
  const double radius = std::hypot(dx, dy);
  if (radius > 0.47) return {};
  if (radius > 0.42) return {0.55, 0.30, 0.06, 1};  // rim
  if (radius < 0.07) return {0.20, 0.12, 0.05, 1};  // hub
  for (int i = 0; i < 5; ++i) {
    const double angle = -std::numbers::pi / 2 + i * 2 * std::numbers::pi / 5;
    if (std::hypot(dx - 0.25 * std::cos(angle), dy - 0.25 * std::sin(angle)) < 0.105) {
      return {};  // window through the reel
    }
  }
  const double shade = 0.85 + 0.15 * (0.5 - y);
  return {0.93 * shade, 0.62 * shade, 0.16 * shade, 1};
}

// 4 x 4 samples per pixel; colours averaged weighted by coverage. Rows bottom-up, BGRA.
std::vector<uint8_t> Draw(int size) {
  constexpr int kGrid = 4;
  std::vector<uint8_t> pixels;
  for (int row = size - 1; row >= 0; --row) {
    for (int column = 0; column < size; ++column) {
      Rgba sum;
      for (int sy = 0; sy < kGrid; ++sy) {
        for (int sx = 0; sx < kGrid; ++sx) {
          const Rgba s =
              Sample((column + (sx + 0.5) / kGrid) / size, (row + (sy + 0.5) / kGrid) / size);
          sum.r += s.r * s.a;
          sum.g += s.g * s.a;
          sum.b += s.b * s.a;
          sum.a += s.a;
        }
      }
      const double alpha = sum.a / (kGrid * kGrid);
      auto channel = [&](double value) {
        return static_cast<uint8_t>(sum.a > 0 ? std::lround(255 * value / sum.a) : 0);
      };
      pixels.insert(pixels.end(), {channel(sum.b), channel(sum.g), channel(sum.r),
                                   static_cast<uint8_t>(std::lround(255 * alpha))});
    }
  }
  return pixels;
}

void Put16(std::vector<uint8_t>& out, uint32_t value) {
  out.insert(out.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// One icon image: BITMAPINFOHEADER (height doubled for the mask), pixels, an all-clear AND mask.
std::vector<uint8_t> Image(int size) {
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, size);
  Put32(out, 2 * size);
  Put16(out, 1);
  Put16(out, 32);
  for (int i = 0; i < 6; ++i) Put32(out, 0);
  const auto pixels = Draw(size);
  out.insert(out.end(), pixels.begin(), pixels.end());
  const int mask_row = (size + 31) / 32 * 4;
  out.insert(out.end(), static_cast<size_t>(mask_row * size), 0);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-icon <out.ico>\n");
    return 2;
  }
  constexpr std::array<int, 4> kSizes = {48, 32, 24, 16};
  std::vector<uint8_t> file;
  Put16(file, 0);
  Put16(file, 1);  // icon
  Put16(file, kSizes.size());
  std::vector<std::vector<uint8_t>> images;
  uint32_t offset = 6 + 16 * kSizes.size();
  for (const int size : kSizes) {
    images.push_back(Image(size));
    file.insert(file.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size), 0, 0});
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<uint32_t>(images.back().size()));
    Put32(file, offset);
    offset += static_cast<uint32_t>(images.back().size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return out ? 0 : 1;
}
