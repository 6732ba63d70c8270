#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "stage/FilterList.h"

namespace lumen::stage {
namespace {

using avm1::FilterSettings;

void Fixed(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A bevel names its highlight before its shadow; sizes are 16.16, strength 8.8, and the flag
// byte carries placement and quality. A record cut short is dropped, the ones before it kept.
TEST(FilterListTest, ReadsRecordsAndKeepsThoseBeforeACut) {
  std::vector<uint8_t> bytes = {2, 3, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80};
  Fixed(bytes, 10 << 16);                                // blur x
  Fixed(bytes, 5 << 16);                                 // blur y
  Fixed(bytes, 0);                                       // angle
  Fixed(bytes, 4 << 16);                                 // distance
  bytes.insert(bytes.end(), {0x80, 0x01, 0x10 | 0x02});  // strength 1.5; on top, 2 passes
  bytes.insert(bytes.end(), {1, 0, 0});                  // a blur cut short
  const std::vector<FilterSettings> filters = ReadFilterList(bytes);
  ASSERT_EQ(filters.size(), 1u);
  const FilterSettings& bevel = filters[0];
  EXPECT_EQ(bevel.kind, FilterSettings::Kind::Bevel);
  EXPECT_EQ(bevel.color, 0x00FF00u);
  EXPECT_EQ(bevel.shadow_color, 0x0000FFu);
  EXPECT_EQ(bevel.shadow_alpha, 0x80);
  EXPECT_EQ(bevel.blur_x, 10);
  EXPECT_EQ(bevel.blur_y, 5);
  EXPECT_EQ(bevel.strength, 1.5);
  EXPECT_EQ(bevel.quality, 2);
  EXPECT_EQ(bevel.placement, FilterSettings::Placement::Full);
  EXPECT_TRUE(ReadFilterList({}).empty());
}

}  // namespace
}  // namespace lumen::stage
