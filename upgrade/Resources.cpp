// The resource tree has three levels of directories (type, name, language) whose entries lead to
// data entries; every offset in it counts from the start of the tree, except the data's own
// address, which is an RVA. Reading refuses a directory met twice, so loops and shared subtrees
// end at once, and counts the entries against what the tree's bytes can hold, so overlapping
// directories cannot multiply the work.
#include "upgrade/Resources.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "upgrade/ByteView.h"

namespace lumen::upgrade {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint64_t kDirectorySize = 16;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kDataEntrySize = 16;
constexpr int kLanguageLevel = 2;

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

class TreeReader {
 public:
  TreeReader(const PeImage& image, std::span<const uint8_t> tree)
      : image_(image),
        tree_(tree, "the resource directory points outside its section"),
        entry_budget_(tree.size() / kEntrySize) {}

  std::vector<Resource> Read() {
    Resource path;
    ReadDirectory(0, 0, path);
    return std::move(resources_);
  }

 private:
  void ReadDirectory(uint64_t offset, int level, Resource& path) {
    if (!visited_.insert(offset).second) {
      throw FormatError("the resource directory loops back on itself");
    }
    const uint64_t count = uint64_t{tree_.U16(offset + 12)} + tree_.U16(offset + 14);
    if (count > entry_budget_) {
      throw FormatError("the resource directory claims more entries than it can hold");
    }
    entry_budget_ -= count;
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t entry = offset + kDirectorySize + kEntrySize * i;
      const uint32_t name = tree_.U32(entry);
      const uint32_t target = tree_.U32(entry + 4);
      const bool is_directory = (target & kHighBit) != 0;
      if (is_directory != (level < kLanguageLevel)) {
        throw FormatError("the resource directory is nested wrongly");
      }
      if (level == 0) path.type = Key(name);
      if (level == 1) path.name = Key(name);
      if (is_directory) {
        ReadDirectory(target & ~kHighBit, level + 1, path);
      } else {
        path.language = name;
        ReadData(target, path);
      }
    }
  }

  ResourceKey Key(uint32_t field) const {
    if (!(field & kHighBit)) return ResourceKey::Number(static_cast<uint16_t>(field));
    const uint64_t at = field & ~kHighBit;
    const uint16_t length = tree_.U16(at);
    const auto chars = tree_.Slice(at + 2, 2 * uint64_t{length});
    ResourceKey key;
    for (size_t i = 0; i < length; ++i) {
      key.text.push_back(Upper(static_cast<char16_t>(chars[2 * i] | chars[2 * i + 1] << 8)));
    }
    if (key.text.empty()) throw FormatError("a resource has an empty name");
    return key;
  }

  void ReadData(uint32_t offset, Resource& path) {
    const auto entry = tree_.Slice(offset, kDataEntrySize);
    const ByteView fields(entry, "");
    path.code_page = fields.U32(8);
    // An empty resource has no bytes whose place could be wrong.
    const uint32_t size = fields.U32(4);
    path.data = size == 0 ? std::span<const uint8_t>() : image_.At(fields.U32(0), size);
    resources_.push_back(path);
  }

  const PeImage& image_;
  ByteView tree_;
  uint64_t entry_budget_;
  std::set<uint64_t> visited_;
  std::vector<Resource> resources_;
};

// The loader's order: texts first, compared as upper-case code units, then numbers.
bool KeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.named() != b.named()) return a.named();
  return a.named() ? a.text < b.text : a.id < b.id;
}

uint32_t Align(uint64_t value, uint32_t alignment) {
  return static_cast<uint32_t>((value + alignment - 1) / alignment * alignment);
}

}  // namespace

ResourceKey ResourceKey::Named(std::string_view ascii) {
  ResourceKey key;
  for (char c : ascii) key.text.push_back(Upper(static_cast<unsigned char>(c)));
  return key;
}

std::vector<Resource> ReadResources(const PeImage& image) {
  const DataDirectory directory = image.Directory(kResourceDirectory);
  if (directory.rva == 0) return {};
  const PeSection* section = image.SectionAt(directory.rva);
  if (!section) throw FormatError("the resource directory lies outside the program's sections");
  const uint32_t inside = directory.rva - section->virtual_address;
  return TreeReader(image, image.At(directory.rva, section->MappedSize() - inside)).Read();
}

const Resource* FindResource(const std::vector<Resource>& resources, const ResourceKey& type,
                             const ResourceKey& name) {
  for (const Resource& resource : resources) {
    if (resource.type == type && resource.name == name) return &resource;
  }
  return nullptr;
}

namespace {

// Writes the tree in two passes over the same walk: the first only measures.
class TreeWriter {
 public:
  TreeWriter(const std::vector<Resource>& sorted, uint32_t section_rva)
      : resources_(sorted), section_rva_(section_rva) {}

  std::vector<uint8_t> Write() {
    measuring_ = true;
    Walk(0, 0, 0);  // each region measured from zero
    const uint64_t entries = directory_end_;
    const uint64_t texts = entries + data_entry_end_;
    const uint64_t data = Align(texts + text_end_, 8);
    out_.assign(Align(data + data_end_, 8), 0);
    measuring_ = false;
    Walk(entries, texts, data);
    return std::move(out_);
  }

 private:
  using Range = std::pair<size_t, size_t>;  // [first, last) into resources_

  void Walk(uint64_t entries, uint64_t texts, uint64_t data) {
    directory_end_ = 0;
    data_entry_end_ = entries;
    text_end_ = texts;
    data_end_ = data;
    WriteDirectory({0, resources_.size()}, 0);
  }

  // Splits a run of resources into groups sharing the key of `level`; languages stay apart.
  std::vector<Range> Groups(Range range, int level) const {
    std::vector<Range> groups;
    for (size_t i = range.first; i < range.second;) {
      size_t j = i + 1;
      while (j < range.second && level < kLanguageLevel &&
             Key({i, j}, level) == Key({j, j + 1}, level)) {
        ++j;
      }
      groups.push_back({i, j});
      i = j;
    }
    return groups;
  }

  uint64_t WriteDirectory(Range range, int level) {
    const uint64_t at = directory_end_;
    const std::vector<Range> groups = Groups(range, level);
    directory_end_ += kDirectorySize + kEntrySize * groups.size();
    const auto named = std::count_if(groups.begin(), groups.end(), [&](const Range& g) {
      return level < kLanguageLevel && Key(g, level).named();
    });
    Put16(at + 12, static_cast<uint16_t>(named));
    Put16(at + 14, static_cast<uint16_t>(groups.size() - static_cast<size_t>(named)));
    for (size_t i = 0; i < groups.size(); ++i) {
      const uint64_t entry = at + kDirectorySize + kEntrySize * i;
      const Resource& first = resources_[groups[i].first];
      if (level == kLanguageLevel) {
        Put32(entry, first.language);
        Put32(entry + 4, static_cast<uint32_t>(WriteDataEntry(first)));
      } else {
        Put32(entry, NameField(Key(groups[i], level)));
        Put32(entry + 4, kHighBit | static_cast<uint32_t>(WriteDirectory(groups[i], level + 1)));
      }
    }
    return at;
  }

  const ResourceKey& Key(Range group, int level) const {
    const Resource& first = resources_[group.first];
    return level == 0 ? first.type : first.name;
  }

  uint32_t NameField(const ResourceKey& key) {
    if (!key.named()) return key.id;
    const uint64_t at = text_end_;
    text_end_ += 2 + 2 * key.text.size();
    Put16(at, static_cast<uint16_t>(key.text.size()));
    for (size_t i = 0; i < key.text.size(); ++i) Put16(at + 2 + 2 * i, key.text[i]);
    return kHighBit | static_cast<uint32_t>(at);
  }

  uint64_t WriteDataEntry(const Resource& resource) {
    const uint64_t at = data_entry_end_;
    data_entry_end_ += kDataEntrySize;
    data_end_ = Align(data_end_, 8);
    Put32(at, section_rva_ + static_cast<uint32_t>(data_end_));
    Put32(at + 4, static_cast<uint32_t>(resource.data.size()));
    Put32(at + 8, resource.code_page);
    if (!measuring_ && !resource.data.empty()) {
      std::copy(resource.data.begin(), resource.data.end(), out_.begin() + data_end_);
    }
    data_end_ += resource.data.size();
    return at;
  }

  void Put16(uint64_t at, uint16_t value) {
    if (!measuring_) PutU16(out_, at, value);
  }
  void Put32(uint64_t at, uint32_t value) {
    if (!measuring_) PutU32(out_, at, value);
  }

  const std::vector<Resource>& resources_;
  uint32_t section_rva_;
  std::vector<uint8_t> out_;
  bool measuring_ = true;
  uint64_t directory_end_ = 0, data_entry_end_ = 0, text_end_ = 0, data_end_ = 0;
};

}  // namespace

std::vector<uint8_t> BuildResourceSection(std::vector<Resource> resources, uint32_t section_rva) {
  std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
    if (!(a.type == b.type)) return KeyLess(a.type, b.type);
    if (!(a.name == b.name)) return KeyLess(a.name, b.name);
    return a.language < b.language;
  });
  // Bounds every count and offset the tree stores in 16 and 31 bits.
  uint64_t total = 0;
  for (const Resource& resource : resources) total += resource.data.size() + 64;
  if (resources.size() > 0xffff || total > 0x7fffffffu) {
    throw FormatError("the resources are too large for a program");
  }
  return TreeWriter(resources, section_rva).Write();
}

}  // namespace lumen::upgrade
