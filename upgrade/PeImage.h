#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumen::upgrade {

struct PeSection {
  std::string name;
  uint32_t virtual_address = 0;
  uint32_t virtual_size = 0;
  uint32_t raw_offset = 0;
  uint32_t raw_size = 0;
  uint64_t header_offset = 0;  // of its 40-byte entry in the section table
  // The part of the section both in the file and mapped by the loader.
  uint32_t MappedSize() const;
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

inline constexpr int kResourceDirectory = 2;
inline constexpr int kSecurityDirectory = 4;
inline constexpr int kRelocationDirectory = 5;

// The headers of a Windows program file (PE32 or PE32+), read from borrowed bytes without loading
// anything. Every field that locates something is checked against the file before it is kept.
class PeImage {
 public:
  // nullopt when the bytes are not a Windows program at all; FormatError when they claim to be one
  // but their headers are damaged or cut short.
  static std::optional<PeImage> Read(std::span<const uint8_t> file);

  std::span<const uint8_t> file() const { return file_; }
  const std::vector<PeSection>& sections() const { return sections_; }
  DataDirectory Directory(int index) const;
  // The section whose mapped part holds `rva`, or nullptr.
  const PeSection* SectionAt(uint32_t rva) const;
  // `size` bytes at `rva`, all inside one section's mapped part; FormatError otherwise.
  std::span<const uint8_t> At(uint32_t rva, uint32_t size) const;

  uint32_t section_alignment() const { return section_alignment_; }
  uint32_t file_alignment() const { return file_alignment_; }
  uint64_t optional_header_offset() const { return optional_offset_; }
  uint64_t directory_offset(int index) const { return directories_offset_ + 8 * uint64_t(index); }
  bool has_symbol_table() const { return has_symbol_table_; }

 private:
  explicit PeImage(std::span<const uint8_t> file) : file_(file) {}
  void ReadHeaders(uint64_t pe_offset);
  void ReadSections(uint64_t table_offset, uint16_t count);

  std::span<const uint8_t> file_;
  std::vector<PeSection> sections_;
  std::vector<DataDirectory> directories_;
  uint64_t optional_offset_ = 0;
  uint64_t directories_offset_ = 0;
  uint32_t section_alignment_ = 0;
  uint32_t file_alignment_ = 0;
  bool has_symbol_table_ = false;
};

}  // namespace lumen::upgrade
