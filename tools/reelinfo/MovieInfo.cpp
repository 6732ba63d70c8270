#include "tools/reelinfo/MovieInfo.h"

#include <cstdio>

#include "swf/SWFStreamReader.h"

namespace lumen {

namespace {

// Control bytes (and, unless `keep_utf8`, bytes above ASCII) are shown as \xHH so that a line
// stays one line of text.
std::string Printable(const std::string& text, bool keep_utf8 = false) {
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 0x20 && c < 0x7F) || (keep_utf8 && c >= 0x80)) {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out;
}

std::string FileName(const std::filesystem::path& file) {
  const std::u8string text = file.u8string();
  return Printable({text.begin(), text.end()}, true);
}

}  // namespace

MovieInfoLine DescribeMovie(const std::filesystem::path& file) {
  try {
    TSWFStreamReader reader(file);
    const MovieHead& head = reader.Head();
    std::string line = FileName(file);
    for (const std::string& field :
         {Printable(reader.SignatureText()), std::to_string(head.Version),
          std::to_string(head.FileLength), std::to_string(reader.MovieWidth()),
          std::to_string(reader.MovieHeight()), std::to_string(head.FrameRate),
          std::to_string(head.FrameCount)}) {
      line += '\t' + field;
    }
    return {line, true};
  } catch (const std::exception& error) {
    return {FileName(file) + "\terror\t" + Printable(error.what(), true), false};
  }
}

}  // namespace lumen
