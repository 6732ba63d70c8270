#include "stage/ClipRegistry.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace lumen::stage {
namespace {

// Stand-ins for clips: the registry only keeps and compares their addresses.
std::array<char, 64> storage;
Clip* Fake(int i) {
  return reinterpret_cast<Clip*>(&storage[static_cast<size_t>(i)]);
}

std::vector<Clip*> Newest(const ClipRegistry& registry) {
  std::vector<Clip*> seen;
  registry.NewestFirst([&](Clip* clip) { seen.push_back(clip); });
  return seen;
}

// Clips come newest first whatever was removed between them, also after the gaps are closed.
TEST(ClipRegistry, KeepsTheOrderOfMakingThroughRemovals) {
  ClipRegistry registry;
  for (int i = 0; i < 40; ++i) registry.Add(Fake(i));
  for (int i = 0; i < 40; i += 3) registry.Remove(Fake(i));
  registry.Remove(Fake(0));                             // twice: nothing
  for (int i = 40; i < 44; ++i) registry.Add(Fake(i));  // closes the gaps
  std::vector<Clip*> want;
  for (int i = 43; i >= 0; --i) {
    if (i >= 40 || i % 3 != 0) want.push_back(Fake(i));
  }
  EXPECT_EQ(Newest(registry), want);
  EXPECT_FALSE(registry.Contains(Fake(3)));
  EXPECT_TRUE(registry.Contains(Fake(4)));
  for (int i = 0; i < 44; ++i) registry.Remove(Fake(i));
  registry.Add(Fake(50));
  EXPECT_EQ(Newest(registry), std::vector<Clip*>{Fake(50)});
}

}  // namespace
}  // namespace lumen::stage
