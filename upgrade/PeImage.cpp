// Reading a program's headers without loading it: the DOS stub points at the "PE" signature, the
// file header gives the section count and the size of the optional header, the optional header
// its alignments and data directories, and the section table places each section in the file and
// in memory. Nothing read is used before it is checked against the file's size, in 64 bits.
#include "upgrade/PeImage.h"

#include <algorithm>

#include "upgrade/ByteView.h"

namespace lumen::upgrade {

namespace {

constexpr uint16_t kPe32 = 0x10b;
constexpr uint16_t kPe32Plus = 0x20b;
constexpr uint16_t kMaxSections = 96;  // the loader's own limit
constexpr uint32_t kMaxDirectories = 16;
constexpr uint64_t kSectionEntrySize = 40;
constexpr char kCut[] = "the program's headers are damaged or cut short";

}  // namespace

uint32_t PeSection::MappedSize() const {
  return virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size);
}

std::optional<PeImage> PeImage::Read(std::span<const uint8_t> file) {
  const ByteView view(file, kCut);
  if (!view.Has(0, 64) || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const uint64_t pe_offset = view.U32(0x3c);
  if (!view.Has(pe_offset, 4)) return std::nullopt;
  const auto signature = view.Slice(pe_offset, 4);
  if (!std::equal(signature.begin(), signature.end(), "PE\0\0")) return std::nullopt;
  PeImage image(file);
  image.ReadHeaders(pe_offset);
  return image;
}

void PeImage::ReadHeaders(uint64_t pe_offset) {
  const ByteView view(file_, kCut);
  const uint64_t coff = pe_offset + 4;
  const uint16_t section_count = view.U16(coff + 2);
  has_symbol_table_ = view.U32(coff + 8) != 0;
  const uint16_t optional_size = view.U16(coff + 16);
  optional_offset_ = coff + 20;
  const ByteView optional(view.Slice(optional_offset_, optional_size),
                          "the program's optional header is too short");
  const uint16_t magic = optional.U16(0);
  if (magic != kPe32 && magic != kPe32Plus) {
    throw FormatError("the program's optional header has an unknown format");
  }
  section_alignment_ = optional.U32(32);
  file_alignment_ = optional.U32(36);
  const uint64_t count_offset = magic == kPe32 ? 92 : 108;
  const uint32_t directory_count = std::min(optional.U32(count_offset), kMaxDirectories);
  directories_offset_ = optional_offset_ + count_offset + 4;
  for (uint32_t i = 0; i < directory_count; ++i) {
    const uint64_t at = count_offset + 4 + 8 * uint64_t{i};
    directories_.push_back({optional.U32(at), optional.U32(at + 4)});
  }
  if (section_count > kMaxSections) throw FormatError("the program claims too many sections");
  ReadSections(optional_offset_ + optional_size, section_count);
}

void PeImage::ReadSections(uint64_t table_offset, uint16_t count) {
  const ByteView table(ByteView(file_, "the program's section table is cut short")
                           .Slice(table_offset, kSectionEntrySize * count),
                       kCut);
  for (uint16_t i = 0; i < count; ++i) {
    const uint64_t entry = kSectionEntrySize * i;
    PeSection section;
    const auto name = table.Slice(entry, 8);
    section.name.assign(name.begin(), std::find(name.begin(), name.end(), 0));
    section.virtual_size = table.U32(entry + 8);
    section.virtual_address = table.U32(entry + 12);
    section.raw_size = table.U32(entry + 16);
    section.raw_offset = table.U32(entry + 20);
    section.header_offset = table_offset + entry;
    if (section.raw_size != 0 && !ByteView(file_, "").Has(section.raw_offset, section.raw_size)) {
      throw FormatError("the program is cut short: its section \"" + section.name +
                        "\" ends beyond the end of the file");
    }
    sections_.push_back(std::move(section));
  }
}

DataDirectory PeImage::Directory(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= directories_.size()) return {};
  return directories_[static_cast<size_t>(index)];
}

const PeSection* PeImage::SectionAt(uint32_t rva) const {
  for (const PeSection& section : sections_) {
    if (rva >= section.virtual_address &&
        uint64_t{rva} < uint64_t{section.virtual_address} + section.MappedSize()) {
      return &section;
    }
  }
  return nullptr;
}

std::span<const uint8_t> PeImage::At(uint32_t rva, uint32_t size) const {
  const PeSection* section = SectionAt(rva);
  if (!section) throw FormatError("the program points at data outside its sections");
  const uint64_t inside = rva - section->virtual_address;
  if (uint64_t{size} > uint64_t{section->MappedSize()} - inside) {
    throw FormatError("the program points at data that runs past the end of its section \"" +
                      section->name + "\"");
  }
  return file_.subspan(section->raw_offset + inside, size);
}

}  // namespace lumen::upgrade
