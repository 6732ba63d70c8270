#pragma once

// The stage's text: the movie's fonts, the pictures of its static texts (made once each), and
// new text fields for the DefineEditText characters the timeline or scripts place.

#include <cstdint>
#include <memory>
#include <unordered_map>

#include "avm1/StageBridge.h"
#include "movie/Movie.h"
#include "render/Geometry.h"
#include "text/DeviceFonts.h"
#include "text/FontLibrary.h"
#include "text/TextField.h"

namespace lumen::stage {

class TextShapes {
 public:
  // Device fonts come from `files`.
  TextShapes(const movie::Movie& movie, std::unique_ptr<text::FontFiles> files)
      : movie_(movie), fonts_(movie), device_fonts_(std::move(files)) {}

  static bool IsField(const movie::Character& c) { return c.tag == kDefineEditText; }
  // The picture of a static text character; null for other characters.
  const render::ShapeGeometry* StaticText(const movie::Character& c);
  // A field for an edit text character; null when its definition does not parse.
  std::unique_ptr<text::TextField> MakeField(const movie::Character& c);
  // A field made by script.
  std::unique_ptr<text::TextField> MakeField(const text::EditTextDef& def);
  // TextFormat.getTextExtent: the room `text` takes in `format`.
  avm1::TextExtent Measure(const avm1::FormatValues& format, std::string_view text, double width);

 private:
  static constexpr uint16_t kDefineEditText = 37;

  const movie::Movie& movie_;
  text::FontLibrary fonts_;
  text::DeviceFonts device_fonts_;
  std::unordered_map<const movie::Character*, std::unique_ptr<const render::ShapeGeometry>>
      static_texts_;
};

}  // namespace lumen::stage
