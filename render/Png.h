#pragma once

// PNG files for pictures: written from premultiplied pixmaps (colours un-premultiplied on the
// way out) and read back premultiplied. The library lumen_png also holds the one copy of the stb
// image reader and writer implementations: link it rather than defining them again.

#include <string>

#include "raster/Pixmap.h"

namespace lumen::render {

// False when the pixmap is empty or the file cannot be written.
bool WritePng(const std::string& path, const raster::Pixmap& pixmap);

// An empty pixmap when the file is missing or not a readable image.
raster::Pixmap ReadPng(const std::string& path);

}  // namespace lumen::render
