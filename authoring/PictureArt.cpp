#include "authoring/PictureArt.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

#define STB_PERLIN_IMPLEMENTATION
#include <stb_perlin.h>
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace lumen::authoring {

namespace {

struct Color {
  float r, g, b;
};

Color Mix(Color a, Color b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color Scale(Color c, float k) {
  return {c.r * k, c.g * k, c.b * k};
}

float Smooth(float edge0, float edge1, float x) {
  const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
  return t * t * (3 - 2 * t);
}

// Fractal noise in about -1..1.
float Fbm(float x, float y, int octaves, int seed) {
  return stb_perlin_fbm_noise3(x, y, static_cast<float>(seed) * 7.31f, 2.0f, 0.5f, octaves);
}

// u, v in 0..1 across the picture, v downwards; aspect = width / height.
using Shader = std::function<Color(float u, float v, float aspect)>;

Color Sunrise(float u, float v, float aspect) {
  const float horizon = 0.58f;
  const float sx = (u - 0.5f) * aspect, sy = v - 0.42f;
  const float sun_dist = std::sqrt(sx * sx + sy * sy);
  if (v < horizon) {
    Color sky = Mix({0.98f, 0.62f, 0.32f}, {0.20f, 0.32f, 0.62f}, Smooth(horizon, 0.0f, v) * 1.1f);
    sky = Mix(sky, {1.0f, 0.95f, 0.75f}, std::exp(-sun_dist * 9.0f));
    const float cloud = Smooth(0.15f, 0.55f, Fbm(u * 4 * aspect, v * 12, 5, 1));
    sky = Mix(sky, {1.0f, 0.78f, 0.62f}, cloud * 0.55f * Smooth(horizon, 0.2f, v));
    return sun_dist < 0.055f ? Color{1.0f, 0.97f, 0.85f} : sky;
  }
  const float depth = (v - horizon) / (1 - horizon);
  const float wave = Fbm(u * 40 * aspect / (0.2f + depth), v * 160, 3, 2);
  Color sea = Mix({0.55f, 0.38f, 0.36f}, {0.08f, 0.16f, 0.30f}, depth);
  const float glitter = std::exp(-std::abs(sx) * (14 - 8 * depth)) * Smooth(0.1f, 0.6f, wave);
  return Mix(sea, {1.0f, 0.86f, 0.6f}, glitter * (1 - depth * 0.7f));
}

Color MountainLake(float u, float v, float aspect) {
  const float x = u * aspect;
  Color sky = Mix({0.85f, 0.92f, 0.98f}, {0.30f, 0.52f, 0.85f}, Smooth(0.55f, 0.0f, v));
  const float water = 0.68f;
  const float look_v = v > water ? 2 * water - v : v;  // the lake mirrors the land
  std::array<float, 3> ridge_heights = {0.28f, 0.40f, 0.52f};
  Color c = sky;
  for (int i = 0; i < 3; ++i) {
    const float ridge = ridge_heights[i] + 0.12f * Fbm(x * (1.5f + i), 0.3f * i, 6, 3 + i);
    if (look_v > ridge) {
      const float shade = 0.45f + 0.55f * Fbm(x * 8, look_v * 8, 4, 9 + i) * 0.5f + 0.3f;
      c = Scale(Mix({0.55f, 0.60f, 0.70f}, {0.18f, 0.30f, 0.22f}, i / 2.0f), shade);
      if (i == 0 && look_v < ridge + 0.06f) c = Mix(c, {0.95f, 0.96f, 1.0f}, 0.8f);  // snow
    }
  }
  if (v > water) {
    const float ripple = 0.04f * Fbm(x * 3, v * 90, 3, 12);
    c = Mix(Scale(c, 0.75f + ripple), {0.12f, 0.25f, 0.35f}, 0.35f + (v - water));
  }
  return c;
}

Color AutumnForest(float u, float v, float aspect) {
  const float x = u * aspect;
  Color c = Mix({0.92f, 0.86f, 0.70f}, {0.55f, 0.70f, 0.88f}, Smooth(0.6f, 0.0f, v));
  const float ground = 0.74f + 0.03f * Fbm(x * 3, 1, 3, 20);
  const float canopy = 0.35f + 0.18f * Fbm(x * 2.2f, 2, 5, 21);
  if (v > canopy) {
    const float leaf = Fbm(x * 18, v * 18, 4, 22);
    c = Mix({0.85f, 0.35f, 0.08f}, {0.95f, 0.72f, 0.15f}, leaf * 0.8f + 0.5f);
    c = Scale(c, 0.55f + 0.45f * Smooth(ground, canopy, v));
  }
  const float trunk_phase = std::fmod(x * 5.3f + 0.6f * Fbm(x, 0, 2, 23), 1.0f);
  if (v > canopy + 0.1f && trunk_phase < 0.07f) c = {0.22f, 0.14f, 0.09f};
  if (v > ground) {
    c = Mix({0.55f, 0.28f, 0.10f}, {0.30f, 0.18f, 0.08f}, Fbm(x * 30, v * 30, 3, 24) + 0.5f);
  }
  return c;
}

Color Dunes(float u, float v, float aspect) {
  const float x = u * aspect;
  Color c = Mix({0.98f, 0.90f, 0.78f}, {0.45f, 0.68f, 0.92f}, Smooth(0.5f, 0.0f, v));
  for (int i = 0; i < 4; ++i) {
    const float crest = 0.45f + 0.13f * i + 0.06f * std::sin(x * (2.5f + i) + i * 1.7f) +
                        0.03f * Fbm(x * 2, i, 3, 30 + i);
    if (v > crest) {
      const float slope = std::cos(x * (2.5f + i) + i * 1.7f);
      const float light = 0.65f + 0.35f * slope;
      c = Scale(Mix({0.93f, 0.70f, 0.42f}, {0.80f, 0.50f, 0.28f}, i / 3.0f), light);
      c = Scale(c, 0.92f + 0.08f * Fbm(x * 60, v * 200, 2, 40));  // wind ripples
    }
  }
  return c;
}

Color NightCity(float u, float v, float aspect) {
  const float x = u * aspect;
  Color c = Mix({0.10f, 0.10f, 0.28f}, {0.01f, 0.02f, 0.08f}, Smooth(0.8f, 0.0f, v));
  const float star = Fbm(x * 300, v * 300, 1, 50);
  if (star > 0.55f) c = Mix(c, {1, 1, 0.9f}, (star - 0.55f) * 4);
  const float mx = x - 0.75f * aspect, my = v - 0.2f;
  if (mx * mx + my * my < 0.004f) c = {0.96f, 0.94f, 0.82f};
  const float column = std::floor(x * 14);
  const float top = 0.35f + 0.3f * (0.5f + 0.5f * stb_perlin_noise3(column * 0.71f, 0, 0, 0, 0, 0));
  if (v > top) {
    c = {0.05f, 0.05f, 0.09f};
    const float wx = std::fmod(x * 14 * 6, 1.0f), wy = std::fmod(v * 70, 1.0f);
    const float lit =
        stb_perlin_noise3(std::floor(x * 84) * 0.37f, std::floor(v * 70) * 0.53f, 3, 0, 0, 0);
    if (wx > 0.3f && wx < 0.7f && wy > 0.3f && wy < 0.75f && lit > 0.05f) c = {1.0f, 0.82f, 0.45f};
  }
  return c;
}

struct Scene {
  const char* title;
  Shader shader;
};

const std::array<Scene, 5>& Scenes() {
  static const std::array<Scene, 5> scenes = {{{"Sunrise over the sea", Sunrise},
                                               {"Mountain lake", MountainLake},
                                               {"Autumn forest", AutumnForest},
                                               {"Desert dunes", Dunes},
                                               {"City at night", NightCity}}};
  return scenes;
}

uint8_t ToByte(float value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255));
}

}  // namespace

int SceneCount() {
  return static_cast<int>(Scenes().size());
}

std::string SceneTitle(int scene) {
  return Scenes()[static_cast<size_t>(scene % SceneCount())].title;
}

RgbImage PaintScene(int scene, int width, int height) {
  const Shader& shader = Scenes()[static_cast<size_t>(scene % SceneCount())].shader;
  RgbImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  uint8_t* out = image.rgb.data();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Color c = shader((x + 0.5f) / width, (y + 0.5f) / height, aspect);
      *out++ = ToByte(c.r);
      *out++ = ToByte(c.g);
      *out++ = ToByte(c.b);
    }
  }
  return image;
}

std::vector<uint8_t> EncodeJpeg(const RgbImage& image, int quality) {
  std::vector<uint8_t> bytes;
  auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + size);
  };
  stbi_write_jpg_to_func(append, &bytes, image.width, image.height, 3, image.rgb.data(), quality);
  return bytes;
}

}  // namespace lumen::authoring
