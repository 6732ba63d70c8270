#pragma once

// The device fonts of the machine that made the reference pictures and traces: its "_sans" and
// the families it lacked, "Times New Roman" among them, came out in Noto Sans (the ascent of
// 1.069 em and the glyph shapes match). Every device font is asked of Noto Sans first; the
// system's own stand in where Noto Sans is not installed.

#include <memory>

#include "text/DeviceFonts.h"

namespace lumen::tests {

class ReferenceFontFiles final : public text::FontFiles {
 public:
  std::shared_ptr<const std::vector<uint8_t>> Load(std::string_view family, bool bold,
                                                   bool italic) override {
    if (auto noto = system_->Load("Noto Sans", bold, italic)) return noto;
    return system_->Load(family, bold, italic);
  }

 private:
  std::unique_ptr<text::FontFiles> system_ = text::SystemFontFiles();
};

inline text::FontFilesSource ReferenceFonts() {
  return [] { return std::make_unique<ReferenceFontFiles>(); };
}

}  // namespace lumen::tests
