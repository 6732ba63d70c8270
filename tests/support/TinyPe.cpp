#include "tests/support/TinyPe.h"

#include <algorithm>
#include <cstddef>

namespace lumen::testing {

namespace {

constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;

uint32_t Align(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void U16(size_t at, uint32_t v) {
    Grow(at + 2);
    out_[at] = static_cast<uint8_t>(v);
    out_[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void U32(size_t at, uint32_t v) {
    U16(at, v & 0xffff);
    U16(at + 2, v >> 16);
  }
  void Bytes(size_t at, const std::vector<uint8_t>& bytes) {
    Grow(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), out_.begin() + static_cast<ptrdiff_t>(at));
  }
  void Grow(size_t size) {
    if (out_.size() < size) out_.resize(size);
  }

 private:
  std::vector<uint8_t>& out_;
};

// The tree, offsets from its start: the root (the types), then per resource its name and language
// directories, its data entry, its type's text and its data.
std::vector<uint8_t> ResourceTree(const std::vector<TestResource>& resources,
                                  std::vector<uint32_t>& data_entries) {
  std::vector<uint8_t> tree;
  Writer w(tree);
  const size_t count = resources.size();
  size_t named = 0;
  for (const TestResource& r : resources) named += r.type_text.empty() ? 0 : 1;
  w.U16(12, static_cast<uint32_t>(named));
  w.U16(14, static_cast<uint32_t>(count - named));
  uint32_t at = static_cast<uint32_t>(16 + 8 * count);
  for (size_t i = 0; i < count; ++i) {
    const TestResource& r = resources[i];
    const uint32_t name_dir = at, language_dir = at + 24, entry = at + 48;
    uint32_t text = entry + 16;
    uint32_t data = Align(text + 2 + 2 * static_cast<uint32_t>(r.type_text.size()), 8);
    w.U32(16 + 8 * i, r.type_text.empty() ? r.type_id : 0x80000000u | text);
    w.U32(16 + 8 * i + 4, 0x80000000u | name_dir);
    for (uint32_t dir : {name_dir, language_dir}) w.U16(dir + 14, 1);
    w.U32(name_dir + 16, r.id);
    w.U32(name_dir + 20, 0x80000000u | language_dir);
    w.U32(language_dir + 16, 0x409);
    w.U32(language_dir + 20, entry);
    w.U32(entry, TinyPe::kResourceRva + data);
    w.U32(entry + 4, static_cast<uint32_t>(r.data.size()));
    w.U16(text, static_cast<uint32_t>(r.type_text.size()));
    for (size_t c = 0; c < r.type_text.size(); ++c) {
      w.U16(text + 2 + 2 * c, static_cast<uint8_t>(r.type_text[c]));
    }
    w.Bytes(data, r.data);
    data_entries.push_back(TinyPe::kResourceOffset + entry);
    at = Align(data + static_cast<uint32_t>(r.data.size()), 8);
  }
  w.Grow(at);
  return tree;
}

struct SectionSpec {
  const char* name;
  uint32_t rva, raw_offset, size;
};

void Section(Writer& w, int index, const SectionSpec& s) {
  const size_t at = TinyPe::kSectionTable + 40 * static_cast<size_t>(index);
  for (size_t c = 0; s.name[c]; ++c) w.U16(at + c, static_cast<uint8_t>(s.name[c]));
  w.U32(at + 8, s.size);
  w.U32(at + 12, s.rva);
  w.U32(at + 16, Align(s.size, kFileAlign));
  w.U32(at + 20, s.raw_offset);
  w.U32(at + 36, 0x40000040);  // initialised data, readable
}

}  // namespace

TinyPe MakeTinyPe(const std::vector<TestResource>& resources) {
  TinyPe pe;
  Writer w(pe.bytes);
  const std::vector<uint8_t> tree = ResourceTree(resources, pe.data_entries);
  const uint32_t tree_size = static_cast<uint32_t>(tree.size());
  pe.relocation_rva = TinyPe::kResourceRva + Align(tree_size, kSectionAlign);
  const uint32_t relocation_offset = TinyPe::kResourceOffset + Align(tree_size, kFileAlign);
  const uint32_t optional = TinyPe::kNewHeader + 24;

  w.U16(0, 'M' | 'Z' << 8);
  w.U32(0x3c, TinyPe::kNewHeader);
  w.U32(TinyPe::kNewHeader, 'P' | 'E' << 8);
  w.U16(TinyPe::kNewHeader + 4, 0x14c);  // i386
  w.U16(TinyPe::kNewHeader + 6, 3);
  w.U16(TinyPe::kNewHeader + 20, 224);
  w.U16(TinyPe::kNewHeader + 22, 0x102);
  w.U16(optional, 0x10b);
  w.U32(optional + 16, 0x1000);  // entry point
  w.U32(optional + 28, 0x400000);
  w.U32(optional + 32, kSectionAlign);
  w.U32(optional + 36, kFileAlign);
  w.U16(optional + 40, 4);
  w.U32(optional + 56, pe.relocation_rva + kSectionAlign);
  w.U32(optional + 60, 0x200);
  w.U16(optional + 68, 2);  // GUI
  w.U32(optional + 92, 16);
  w.U32(TinyPe::kResourceDirectory, TinyPe::kResourceRva);
  w.U32(TinyPe::kResourceDirectory + 4, tree_size);
  w.U32(TinyPe::kResourceDirectory + 24, pe.relocation_rva);  // base relocations
  w.U32(TinyPe::kResourceDirectory + 28, 12);

  Section(w, 0, {".text", 0x1000, 0x200, 0x10});
  Section(w, 1, {".rsrc", TinyPe::kResourceRva, TinyPe::kResourceOffset, tree_size});
  Section(w, 2, {".reloc", pe.relocation_rva, relocation_offset, 12});
  w.Bytes(0x200, {0xb8, 0, 0, 0x40, 0, 0xc3});  // mov eax, 0x400000; ret
  w.Bytes(TinyPe::kResourceOffset, tree);
  w.U32(relocation_offset, 0x1000);  // page
  w.U32(relocation_offset + 4, 12);  // block size
  w.U16(relocation_offset + 8, 0x3001);
  w.Grow(relocation_offset + kFileAlign);
  return pe;
}

}  // namespace lumen::testing
