#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumen::testing {

// A resource for a test program: a type given by text (when not empty) or number, a number as its
// name, one language.
struct TestResource {
  std::string type_text;
  uint16_t type_id = 0;
  uint16_t id = 0;
  std::vector<uint8_t> data;
};

// A small 32-bit Windows program file laid out as our linker lays out ours: headers, ".text",
// ".rsrc" holding the resources (a tree written by hand, in the order given), and ".reloc" last.
// It is never run; tests read and rewrite it.
struct TinyPe {
  static constexpr uint32_t kNewHeader = 0x40;        // "PE\0\0"
  static constexpr uint32_t kSectionTable = 0x138;    // three 40-byte entries
  static constexpr uint32_t kResourceOffset = 0x400;  // file offset of ".rsrc"
  static constexpr uint32_t kResourceRva = 0x2000;
  static constexpr uint32_t kResourceDirectory = 0xc8;  // file offset of its data directory

  std::vector<uint8_t> bytes;
  std::vector<uint32_t> data_entries;  // file offset of each resource's data entry
  uint32_t relocation_rva = 0;
};

TinyPe MakeTinyPe(const std::vector<TestResource>& resources);

}  // namespace lumen::testing
