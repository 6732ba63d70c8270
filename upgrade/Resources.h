#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "upgrade/PeImage.h"

namespace lumen::upgrade {

// A resource type or name: a number, or a text (held in upper case, as the loader compares them).
struct ResourceKey {
  std::u16string text;
  uint16_t id = 0;

  static ResourceKey Named(std::string_view ascii);
  static ResourceKey Number(uint16_t number) { return {{}, number}; }
  bool named() const { return !text.empty(); }
  bool operator==(const ResourceKey&) const = default;
};

// One leaf of a resource tree. The data is borrowed: from the program file it was read from, or
// from whoever supplies a replacement.
struct Resource {
  ResourceKey type;
  ResourceKey name;
  uint32_t language = 0;
  uint32_t code_page = 0;
  std::span<const uint8_t> data;
};

// Every resource of a program, in the order of its tree; empty when it has none. A tree that is
// damaged, loops, nests deeper than type, name and language, or points outside the file or its
// section throws FormatError.
std::vector<Resource> ReadResources(const PeImage& image);

// The data of the first language of resource `name` of `type`, as the loader would find it;
// nullptr when there is none.
const Resource* FindResource(const std::vector<Resource>& resources, const ResourceKey& type,
                             const ResourceKey& name);

// A resource section holding `resources`, to be mapped at `section_rva`: the directories sorted as
// the loader searches them (texts before numbers), then data entries, texts and data.
std::vector<uint8_t> BuildResourceSection(std::vector<Resource> resources, uint32_t section_rva);

}  // namespace lumen::upgrade
