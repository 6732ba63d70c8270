#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumen::authoring {

// An 8-bit RGB picture, rows top to bottom.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// Landscapes painted in code, so the sample slideshow needs no photos from elsewhere. Each scene
// has a title for its caption.
int SceneCount();
std::string SceneTitle(int scene);
RgbImage PaintScene(int scene, int width, int height);

// JPEG bytes (baseline, 4:2:0) of a picture.
std::vector<uint8_t> EncodeJpeg(const RgbImage& image, int quality);

}  // namespace lumen::authoring
