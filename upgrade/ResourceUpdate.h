#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "upgrade/Resources.h"

namespace lumen::upgrade {

// A copy of `program` whose resource `name` of `type` holds `data` (every language of it, or a
// new language-neutral one). The program's resource section must be its last one, or followed
// only by its relocations, which move along; the checksum becomes 0. Throws FormatError when the
// program is not laid out so.
std::vector<uint8_t> ReplaceResource(std::span<const uint8_t> program, const ResourceKey& type,
                                     const ResourceKey& name, std::span<const uint8_t> data);

}  // namespace lumen::upgrade
