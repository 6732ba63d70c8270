// Native builds stand Debian's fonts in for the Windows families movies name: Liberation Sans,
// Serif and Mono have the widths of Arial, Times New Roman and Courier New, so text breaks into
// the same lines; DejaVu covers the other common faces. Noto Sans is found by its own name.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "text/DeviceFonts.h"

namespace lumen::text {

namespace {

constexpr std::streamoff kMaxFileBytes = std::streamoff{64} << 20;

constexpr const char* kFolders[] = {
    "/usr/share/fonts/truetype/liberation2", "/usr/share/fonts/truetype/liberation",
    "/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/noto"};

// File names by style: regular, bold, italic, bold italic.
struct Styles {
  const char* files[4];
};

constexpr Styles kLiberationSans{{"LiberationSans-Regular.ttf", "LiberationSans-Bold.ttf",
                                  "LiberationSans-Italic.ttf", "LiberationSans-BoldItalic.ttf"}};
constexpr Styles kLiberationSerif{{"LiberationSerif-Regular.ttf", "LiberationSerif-Bold.ttf",
                                   "LiberationSerif-Italic.ttf", "LiberationSerif-BoldItalic.ttf"}};
constexpr Styles kLiberationMono{{"LiberationMono-Regular.ttf", "LiberationMono-Bold.ttf",
                                  "LiberationMono-Italic.ttf", "LiberationMono-BoldItalic.ttf"}};
constexpr Styles kDejaVuSans{{"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
                              "DejaVuSans-BoldOblique.ttf"}};
constexpr Styles kDejaVuSerif{{"DejaVuSerif.ttf", "DejaVuSerif-Bold.ttf", "DejaVuSerif-Italic.ttf",
                               "DejaVuSerif-BoldItalic.ttf"}};
constexpr Styles kNotoSans{{"NotoSans-Regular.ttf", "NotoSans-Bold.ttf", "NotoSans-Italic.ttf",
                            "NotoSans-BoldItalic.ttf"}};
constexpr Styles kDejaVuMono{{"DejaVuSansMono.ttf", "DejaVuSansMono-Bold.ttf",
                              "DejaVuSansMono-Oblique.ttf", "DejaVuSansMono-BoldOblique.ttf"}};

struct Family {
  std::string_view name;  // lower case
  const Styles* styles;
};

constexpr Family kFamilies[] = {
    {"arial", &kLiberationSans},
    {"helvetica", &kLiberationSans},
    {"liberation sans", &kLiberationSans},
    {"times new roman", &kLiberationSerif},
    {"times", &kLiberationSerif},
    {"liberation serif", &kLiberationSerif},
    {"courier new", &kLiberationMono},
    {"courier", &kLiberationMono},
    {"liberation mono", &kLiberationMono},
    {"verdana", &kDejaVuSans},
    {"tahoma", &kDejaVuSans},
    {"trebuchet ms", &kDejaVuSans},
    {"segoe ui", &kDejaVuSans},
    {"microsoft sans serif", &kDejaVuSans},
    {"lucida sans unicode", &kDejaVuSans},
    {"dejavu sans", &kDejaVuSans},
    {"georgia", &kDejaVuSerif},
    {"palatino linotype", &kDejaVuSerif},
    {"book antiqua", &kDejaVuSerif},
    {"dejavu serif", &kDejaVuSerif},
    {"lucida console", &kDejaVuMono},
    {"consolas", &kDejaVuMono},
    {"dejavu sans mono", &kDejaVuMono},
    {"noto sans", &kNotoSans},
};

std::shared_ptr<const std::vector<uint8_t>> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return nullptr;
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxFileBytes) return nullptr;
  auto bytes = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(size));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes->data()), size)) return nullptr;
  return bytes;
}

std::shared_ptr<const std::vector<uint8_t>> FindFile(const char* name) {
  for (const char* folder : kFolders) {
    if (auto bytes = ReadFile(std::filesystem::path(folder) / name)) return bytes;
  }
  return nullptr;
}

// The default: Liberation Sans or DejaVu Sans, else the first TrueType file by name.
std::shared_ptr<const std::vector<uint8_t>> AnyFont() {
  for (const Styles* styles : {&kLiberationSans, &kDejaVuSans}) {
    if (auto bytes = FindFile(styles->files[0])) return bytes;
  }
  for (const char* folder : kFolders) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      if (entry.path().extension() == ".ttf") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (auto bytes = ReadFile(file)) return bytes;
    }
  }
  return nullptr;
}

class DebianFontFiles final : public FontFiles {
 public:
  std::shared_ptr<const std::vector<uint8_t>> Load(std::string_view family, bool bold,
                                                   bool italic) override {
    if (family.empty()) return AnyFont();
    std::string lower(family);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const Family& known : kFamilies) {
      if (known.name == lower)
        return FindFile(known.styles->files[(bold ? 1 : 0) + (italic ? 2 : 0)]);
    }
    return nullptr;
  }
};

}  // namespace

std::unique_ptr<FontFiles> SystemFontFiles() {
  return std::make_unique<DebianFontFiles>();
}

}  // namespace lumen::text
