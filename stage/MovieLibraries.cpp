#include "stage/MovieLibraries.h"

namespace lumen::stage {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutTag(std::vector<uint8_t>& out, uint16_t code, size_t length) {
  Put16(out, static_cast<uint32_t>(code << 6 | 0x3F));
  Put16(out, static_cast<uint32_t>(length));
  Put16(out, static_cast<uint32_t>(length >> 16));
}

// A movie of one frame showing the picture `bytes` at its natural size from (0, 0): a
// DefineBitsJPEG2 (which takes PNG and GIF as well) placed at depth 1.
std::vector<uint8_t> PictureMovie(std::string_view bytes) {
  constexpr uint16_t kDefineBitsJpeg2 = 21, kPlaceObject2 = 26, kShowFrame = 1;
  std::vector<uint8_t> out = {'F', 'W', 'S', 8, 0, 0, 0, 0};
  out.push_back(0);  // an empty stage rectangle
  Put16(out, 12 << 8);
  Put16(out, 1);
  PutTag(out, kDefineBitsJpeg2, bytes.size() + 2);
  Put16(out, 1);
  out.insert(out.end(), bytes.begin(), bytes.end());
  PutTag(out, kPlaceObject2, 5);
  out.push_back(0x02);  // a character
  Put16(out, 1);        // depth
  Put16(out, 1);        // character
  PutTag(out, kShowFrame, 0);
  PutTag(out, 0, 0);
  const size_t length = out.size();
  for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  return out;
}

bool IsMovie(std::string_view bytes) {
  return bytes.starts_with("FWS") || bytes.starts_with("CWS");
}

bool IsPicture(std::string_view bytes) {
  return bytes.starts_with("\xFF\xD8") || bytes.starts_with("\x89PNG") || bytes.starts_with("GIF8");
}

}  // namespace

MovieLibraries::MovieLibraries(std::shared_ptr<const movie::Movie> root, MovieFolder folder,
                               text::FontFilesSource fonts)
    : folder_(std::move(folder)), fonts_(std::move(fonts)) {
  all_.push_back(Library(std::move(root)));
  ResolveImports(*all_.front(), folder_, 0);
}

void MovieLibraries::ResolveImports(MovieLibrary& library, const MovieFolder& folder, int depth) {
  for (const movie::Import& import : library.Movie().imports) {
    MovieLibrary* from = Load(folder, import.url, depth + 1);
    if (from == nullptr) continue;
    for (const auto& [id, name] : import.symbols) {
      if (const auto from_id = from->ExportedId(name)) library.Import(id, *from, *from_id);
    }
  }
}

std::unique_ptr<MovieLibrary> MovieLibraries::Library(
    std::shared_ptr<const movie::Movie> movie) const {
  return std::make_unique<MovieLibrary>(std::move(movie),
                                        fonts_ ? fonts_() : text::SystemFontFiles());
}

MovieLibrary* MovieLibraries::Load(const MovieFolder& folder, std::string_view url, int depth) {
  const auto path = folder.Resolve(url);
  if (!path) return nullptr;
  const auto known = by_path_.find(*path);
  if (known != by_path_.end()) return known->second;
  if (depth > kMaxDepth || all_.size() >= kMaxMovies || bytes_ >= kMaxBytes) return nullptr;
  constexpr size_t kMaxFailures = 4096;
  if (by_path_.size() - (all_.size() - 1) < kMaxFailures) by_path_[*path] = nullptr;
  auto bytes = folder.Read(url);
  if (!bytes) return nullptr;
  if (!IsMovie(*bytes)) {
    if (!IsPicture(*bytes)) return nullptr;
    const std::vector<uint8_t> picture = PictureMovie(*bytes);
    bytes->assign(picture.begin(), picture.end());
  }
  auto loaded = movie::LoadMovie({reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()});
  if (!loaded.movie) return nullptr;
  bytes_ += loaded.movie->HeldBytes();
  all_.push_back(Library(std::move(loaded.movie)));
  MovieLibrary* library = all_.back().get();
  by_path_[*path] = library;
  ResolveImports(*library, MovieFolder(path->parent_path()), depth);
  return library;
}

}  // namespace lumen::stage
