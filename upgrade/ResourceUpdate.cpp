// Replacing a resource rewrites the whole resource section: the tree is read, the one resource
// swapped, and the tree written anew at the same address. Only what follows the section in memory
// has to move, so the section must be the last one, or be followed only by the base relocations,
// whose content refers to other sections and which are found through their directory alone. The
// headers then get the new section sizes, addresses, image size and directory entries.
#include "upgrade/ResourceUpdate.h"

#include <algorithm>
#include <bit>

#include "upgrade/ByteView.h"

namespace lumen::upgrade {

namespace {

constexpr uint64_t kMaxImage = 0x80000000u;

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

class ProgramRewriter {
 public:
  // Throws FormatError unless the program is laid out as a rewrite needs.
  explicit ProgramRewriter(const PeImage& image) : image_(image) { CheckLayout(); }

  std::vector<uint8_t> Rewrite(std::span<const uint8_t> section_bytes) {
    const PeSection& resources = image_.sections()[resource_index_];
    const auto file = image_.file();
    std::vector<uint8_t> out(file.begin(), file.begin() + resources.raw_offset);  // headers first
    PutU32(out, image_.directory_offset(kResourceDirectory) + 4,
           static_cast<uint32_t>(section_bytes.size()));
    uint64_t next_rva = resources.virtual_address;
    for (size_t i = resource_index_; i < image_.sections().size(); ++i) {
      const PeSection& section = image_.sections()[i];
      const auto bytes = i == resource_index_ ? section_bytes : FileBytes(section);
      const uint32_t virtual_size =
          i == resource_index_ ? static_cast<uint32_t>(section_bytes.size())
                               : (section.virtual_size ? section.virtual_size : section.raw_size);
      MoveDirectoriesIn(out, section, static_cast<uint32_t>(next_rva));
      Place(out, section, bytes, static_cast<uint32_t>(next_rva), virtual_size);
      next_rva = AlignUp(next_rva + virtual_size, image_.section_alignment());
    }
    if (next_rva > kMaxImage) throw FormatError("the program would grow too large");
    const uint64_t optional = image_.optional_header_offset();
    PutU32(out, optional + 56, static_cast<uint32_t>(next_rva));  // SizeOfImage
    PutU32(out, optional + 64, 0);                                // CheckSum
    return out;
  }

  uint32_t resource_rva() const { return image_.Directory(kResourceDirectory).rva; }

 private:
  // A section's bytes in the file, whose place was checked when the headers were read.
  std::span<const uint8_t> FileBytes(const PeSection& section) const {
    if (section.raw_size == 0) return {};
    return image_.file().subspan(section.raw_offset, section.raw_size);
  }

  void CheckLayout() {
    const auto& sections = image_.sections();
    const uint32_t rva = resource_rva();
    const auto found = std::find_if(sections.begin(), sections.end(),
                                    [&](const PeSection& s) { return s.virtual_address == rva; });
    if (rva == 0 || found == sections.end()) {
      throw FormatError("its resources do not begin a section of their own");
    }
    resource_index_ = static_cast<size_t>(found - sections.begin());
    if (image_.has_symbol_table() || image_.Directory(kSecurityDirectory).rva != 0) {
      throw FormatError("it carries symbols or a signature after its sections");
    }
    // Alignments as the format allows them; a huge one would blow the file up with padding.
    const uint32_t file_alignment = image_.file_alignment();
    const uint32_t section_alignment = image_.section_alignment();
    if (!std::has_single_bit(file_alignment) || file_alignment < 0x200 ||
        file_alignment > 0x10000 || !std::has_single_bit(section_alignment) ||
        section_alignment < file_alignment || section_alignment > 0x10000) {
      throw FormatError("its headers give an unusual alignment");
    }
    const uint64_t headers_end =
        std::max(image_.directory_offset(16), sections.back().header_offset + 40);
    if (headers_end > sections[resource_index_].raw_offset) {
      throw FormatError("its resource section overlaps its headers");
    }
    uint64_t previous_end = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
      const PeSection& s = sections[i];
      if (s.virtual_address < previous_end) throw FormatError("its sections are out of order");
      previous_end = uint64_t{s.virtual_address} + std::max(s.virtual_size, s.raw_size);
      if (i < resource_index_ && s.raw_size != 0 &&
          uint64_t{s.raw_offset} + s.raw_size > sections[resource_index_].raw_offset) {
        throw FormatError("a section lies in the file after its resources");
      }
      if (i > resource_index_ && s.name != ".reloc") {
        throw FormatError("its resource section is followed by the section \"" + s.name + "\"");
      }
    }
  }

  // Data directories pointing into a moving section follow it; only the resource and relocation
  // directories may point there.
  void MoveDirectoriesIn(std::vector<uint8_t>& out, const PeSection& section, uint32_t new_rva) {
    for (int index = 0; index < 16; ++index) {
      const DataDirectory directory = image_.Directory(index);
      if (directory.rva == 0 || directory.rva < section.virtual_address ||
          uint64_t{directory.rva} >= uint64_t{section.virtual_address} +
                                         std::max(section.virtual_size, section.raw_size)) {
        continue;
      }
      const bool own = &section == &image_.sections()[resource_index_]
                           ? index == kResourceDirectory
                           : index == kRelocationDirectory;
      if (!own) {
        throw FormatError("other data lie in the sections that would move");
      }
      PutU32(out, image_.directory_offset(index),
             directory.rva - section.virtual_address + new_rva);
    }
  }

  void Place(std::vector<uint8_t>& out, const PeSection& section, std::span<const uint8_t> bytes,
             uint32_t rva, uint32_t virtual_size) {
    const uint64_t raw_offset = out.size();
    const uint64_t raw_size = AlignUp(bytes.size(), image_.file_alignment());
    if (raw_offset + raw_size > kMaxImage) throw FormatError("the program would grow too large");
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.resize(raw_offset + raw_size, 0);
    const uint64_t header = section.header_offset;
    PutU32(out, header + 8, virtual_size);
    PutU32(out, header + 12, rva);
    PutU32(out, header + 16, static_cast<uint32_t>(raw_size));
    PutU32(out, header + 20, static_cast<uint32_t>(raw_offset));
  }

  const PeImage& image_;
  size_t resource_index_ = 0;
};

}  // namespace

std::vector<uint8_t> ReplaceResource(std::span<const uint8_t> program, const ResourceKey& type,
                                     const ResourceKey& name, std::span<const uint8_t> data) {
  const std::optional<PeImage> image = PeImage::Read(program);
  if (!image) throw FormatError("it is not a Windows program");
  ProgramRewriter rewriter(*image);
  std::vector<Resource> resources = ReadResources(*image);
  // Resources of a real program do not share bytes; shared ones could multiply the output.
  uint64_t total = 0;
  for (const Resource& resource : resources) total += resource.data.size();
  if (total > program.size()) throw FormatError("its resources overlap one another");
  bool replaced = false;
  for (Resource& resource : resources) {
    if (resource.type == type && resource.name == name) {
      resource.data = data;
      replaced = true;
    }
  }
  if (!replaced) resources.push_back({type, name, 0, 0, data});
  const std::vector<uint8_t> section =
      BuildResourceSection(std::move(resources), rewriter.resource_rva());
  return rewriter.Rewrite(section);
}

}  // namespace lumen::upgrade
